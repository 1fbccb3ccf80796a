// Ship trail: a ring of the ships' places at least TRAIL_SPACING apart, the newest always current.
#include "duel/trail.h"

namespace netduel {

namespace {

const TrailPlace& placeAt(const ShipTrail& trail, int age)  // age 0: the newest
{
    return trail.places[(trail.newest - age + TRAIL_PLACES) % TRAIL_PLACES];
}

}  // namespace

void trailReset(ShipTrail& trail)
{
    trail = ShipTrail{};
}

void trailRecord(ShipTrail& trail, const MatchState& match, double at)
{
    if (trail.count > 0 && !(at > placeAt(trail, 0).at)) trailReset(trail);
    // The newest place is kept current; it becomes history once it is a spacing past the one before.
    const bool overwrite = trail.count >= 2 && placeAt(trail, 0).at - placeAt(trail, 1).at < TRAIL_SPACING;
    if (!overwrite) {
        trail.newest = (trail.newest + 1) % TRAIL_PLACES;
        if (trail.count < TRAIL_PLACES) ++trail.count;
    }
    TrailPlace& place = trail.places[trail.newest];
    place.at = at;
    for (int i = 0; i < SHIP_COUNT; ++i) place.position[i] = match.ships[i].position;
}

bool trailPositionAt(const ShipTrail& trail, int ship, double at, Vec2& out)
{
    if (trail.count == 0 || ship < 0 || ship >= SHIP_COUNT) return false;
    int age = 0;  // the newest place not after `at`, else the oldest
    while (age + 1 < trail.count && placeAt(trail, age).at > at) ++age;
    const TrailPlace& before = placeAt(trail, age);
    if (age == 0 || !(at > before.at)) {
        out = before.position[ship];
        return true;
    }
    const TrailPlace& after = placeAt(trail, age - 1);
    const double f = (at - before.at) / (after.at - before.at);
    const Vec2 a = before.position[ship], b = after.position[ship];
    out = Vec2(static_cast<float>(a.x + (b.x - a.x) * f), static_cast<float>(a.y + (b.y - a.y) * f));
    return true;
}

}  // namespace netduel
