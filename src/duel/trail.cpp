// Ship trail: a ring of the ships' places at least TRAIL_SPACING apart, the newest always current.
#include "duel/trail.h"

namespace netduel {

void trailReset(ShipTrail& trail)
{
    trail = ShipTrail{};
}

void trailRecord(ShipTrail& trail, const MatchState& match, double at)
{
    auto& places = trail.places;
    if (places.count > 0 && !(at > ringAt(places, 0).at)) trailReset(trail);
    // The newest place is kept current; it becomes history once it is a spacing past the one before.
    const bool overwrite = places.count >= 2 && ringAt(places, 0).at - ringAt(places, 1).at < TRAIL_SPACING;
    TrailPlace& place = overwrite ? ringAt(places, 0) : ringPush(places, TrailPlace{});
    place.at = at;
    for (int i = 0; i < SHIP_COUNT; ++i) place.position[i] = match.ships[i].position;
}

bool trailPositionAt(const ShipTrail& trail, int ship, double at, Vec2& out)
{
    const auto& places = trail.places;
    if (places.count == 0 || ship < 0 || ship >= SHIP_COUNT) return false;
    int age = 0;  // the newest place not after `at`, else the oldest
    while (age + 1 < places.count && ringAt(places, age).at > at) ++age;
    const TrailPlace& before = ringAt(places, age);
    if (age == 0 || !(at > before.at)) {
        out = before.position[ship];
        return true;
    }
    const TrailPlace& after = ringAt(places, age - 1);
    const double f = (at - before.at) / (after.at - before.at);
    out = lerp(before.position[ship], after.position[ship], f);
    return true;
}

}  // namespace netduel
