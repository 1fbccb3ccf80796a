// Smoothed view: a ring of snapshots on the host's clock, drawn at a playout time that
// trails the newest by a delay sized to the arrival jitter.
#include "view/match_view.h"

#include <algorithm>
#include <cmath>

#include "duel/simulate.h"

namespace netduel {

namespace {

constexpr double INTERVAL_WEIGHT = 0.05;  // share of a new interval in the smoothed one
constexpr double GAP_CAP = 1.5;           // intervals: a longer gap is a loss, not a slower host
constexpr double LOSS_WINDOW = 90.0;      // snapshots (3 s) the loss share is taken over
constexpr double DELAY_MARGIN = 0.004;    // s past the worst lateness seen, for the frame's own jitter
constexpr double SLEW_UP = 0.2;           // the delay grows by at most this share of elapsed time,
constexpr double SLEW_DOWN = 0.05;        // and shrinks more gently: too short stalls, too long only lags
constexpr float TELEPORT = 100.0f;        // px between snapshots that no motion explains

const ViewEntry& entryAt(const MatchView& view, int age)  // age 0: the newest
{
    return view.entries[(view.newest - age + VIEW_SNAPSHOTS) % VIEW_SNAPSHOTS];
}

// Host seconds of a 32-bit millisecond stamp, unwrapped against the previous one.
double viewStampSeconds(MatchView& view, std::uint32_t stamp)
{
    if (view.lastStamp == 0) view.stampBase = stamp / 1000.0;
    else view.stampBase += static_cast<std::int32_t>(stamp - view.lastStamp) / 1000.0;
    view.lastStamp = stamp;
    return view.stampBase;
}

// The least lateness in the ring is the link's own delay; the spread above it is jitter.
void viewMeasure(MatchView& view)
{
    double least = entryAt(view, 0).arrived - entryAt(view, 0).sent, most = least;
    for (int age = 1; age < view.count; ++age) {
        const double late = entryAt(view, age).arrived - entryAt(view, age).sent;
        least = std::min(least, late);
        most = std::max(most, late);
    }
    view.offset = least;
    view.jitter = most - least;
}

double viewTargetDelay(const MatchView& view)
{
    return std::max(1.5 * view.interval, view.interval + view.jitter + DELAY_MARGIN);
}

float lerp(float a, float b, double f) { return static_cast<float>(a + (b - a) * f); }

Vec2 lerp(Vec2 a, Vec2 b, double f) { return Vec2(lerp(a.x, b.x, f), lerp(a.y, b.y, f)); }

Vec2 bulletVelocity(const Bullet& bullet) { return bullet.direction * -BULLET_SPEED; }

// A bullet drawn at `at` (s after `from`), flying straight; hidden once it left play.
Bullet bulletFlown(const Bullet& from, double at)
{
    Bullet out = from;
    out.position = from.position + bulletVelocity(from) * static_cast<float>(at);
    if (!bulletInPlay(out.position)) out.active = 0;
    return out;
}

// How long before snapshot b a bullet new in b left its ship's muzzle, the ship taken at
// its place between a and b at that moment.
double bulletAge(const Ship& a, const Ship& b, const Bullet& bullet, double span)
{
    double age = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        const Vec2 ship = lerp(a.position, b.position, span > 0.0 ? 1.0 - age / span : 1.0);
        const Vec2 muzzle = ship - bullet.direction * MUZZLE_OFFSET;
        age = dot(bullet.position - muzzle, bullet.direction * -1.0f) / BULLET_SPEED;
        age = std::clamp(age, 0.0, span);
    }
    return age;
}

// One bullet slot between snapshots a (at 0) and b (at span), drawn at t.
Bullet bulletBetween(const Ship& shipA, const Ship& shipB, int slot, double span, double t)
{
    const Bullet& a = shipA.bullets[slot];
    const Bullet& b = shipB.bullets[slot];
    const bool same = a.active && b.active &&
                      distance(bulletFlown(a, span).position, b.position) < SHIP_RADIUS;
    if (same) return bulletFlown(a, t);
    if (b.active && t >= span - bulletAge(shipA, shipB, b, span)) return bulletFlown(b, t - span);
    if (a.active && !b.active) return bulletFlown(a, t);
    Bullet none = b;
    none.active = 0;
    return none;
}

// Ship kinematics between a and b at fraction f; f > 1 extrapolates along a→b.
void shipBetween(const Ship& a, const Ship& b, double f, double span, double t, Ship& out)
{
    out = b;  // hit flash, colour and the rest: the newest
    if (distance(a.position, b.position) > TELEPORT) f = f < 0.5 ? 0.0 : 1.0;
    out.position = lerp(a.position, b.position, f);
    out.heading = lerp(a.heading, b.heading, f);
    out.position = shipFieldClamp(out.position);
    for (int j = 0; j < BULLETS_PER_SHIP; ++j) out.bullets[j] = bulletBetween(a, b, j, span, t);
}

// A gap of several intervals means snapshots were lost; the interval itself follows the
// gaps slowly, capped so that a loss barely moves it while a slower host still shows.
void viewCountGap(MatchView& view, double gap)
{
    const double sent = std::max(1.0, std::round(gap / view.interval));
    view.expected += sent;
    view.lost += sent - 1.0;
    if (view.expected > LOSS_WINDOW) {
        view.expected /= 2.0;
        view.lost /= 2.0;
    }
    view.interval += (std::min(gap, GAP_CAP * view.interval) - view.interval) * INTERVAL_WEIGHT;
}

void viewSlewDelay(MatchView& view, double now)
{
    const double elapsed = std::clamp(now - view.lastFrame, 0.0, 0.1);
    view.lastFrame = now;
    const double target = viewTargetDelay(view);
    const double step = (target > view.delay ? SLEW_UP : SLEW_DOWN) * elapsed;
    view.delay = std::clamp(target, view.delay - step, view.delay + step);
}

}  // namespace

void matchViewReset(MatchView& view)
{
    const bool smoothing = view.smoothing;
    view = MatchView{};
    view.smoothing = smoothing;
}

void matchViewReceive(MatchView& view, const MatchState& snapshot, std::uint32_t stamp, double now)
{
    const double sent = stamp != 0 ? viewStampSeconds(view, stamp) : now;
    if (view.count > 0 && std::fabs(sent - entryAt(view, 0).sent) > VIEW_RESYNC) {
        view.count = 0;  // a host restarted or a clock jumped: what came before is no guide
        view.newest = -1;
    }
    if (view.count > 0 && !(sent > entryAt(view, 0).sent)) return;  // stale or repeated
    if (view.count > 0) viewCountGap(view, sent - entryAt(view, 0).sent);
    view.newest = (view.newest + 1) % VIEW_SNAPSHOTS;
    view.entries[view.newest] = ViewEntry{snapshot, sent, now};
    view.count = std::min(view.count + 1, VIEW_SNAPSHOTS);
    ++view.received;
    viewMeasure(view);
    if (view.count == 1) view.delay = viewTargetDelay(view);
}

void matchViewAt(MatchView& view, double now, MatchState& out)
{
    if (view.count == 0) return;
    viewSlewDelay(view, now);
    const ViewEntry& newest = entryAt(view, 0);
    if (!view.smoothing || view.count == 1) {
        for (int i = 0; i < SHIP_COUNT; ++i) out.ships[i] = newest.match.ships[i];
        return;
    }
    const double render = now - view.offset - view.delay;
    int age = 0;  // the pair (age + 1, age) brackets the playout time, else the oldest two
    while (age + 2 < view.count && entryAt(view, age + 1).sent > render) ++age;
    const ViewEntry& a = entryAt(view, age + 1);
    const ViewEntry& b = entryAt(view, age);
    const double span = b.sent - a.sent;
    const double t = std::clamp(render - a.sent, 0.0, span + VIEW_EXTRAPOLATE_MAX);
    for (int i = 0; i < SHIP_COUNT; ++i)
        shipBetween(a.match.ships[i], b.match.ships[i], t / span, span, t, out.ships[i]);
    for (int i = 0; i < SHIP_COUNT; ++i) {
        out.ships[i].hitCounter = newest.match.ships[i].hitCounter;
        out.ships[i].colour = newest.match.ships[i].colour;
    }
}

int matchViewPerSecond(const MatchView& view, double now)
{
    int n = 0;
    for (int age = 0; age < view.count; ++age) n += entryAt(view, age).arrived > now - 1.0;
    return n;
}

double matchViewLoss(const MatchView& view)
{
    return view.expected > 0.0 ? view.lost / view.expected : 0.0;
}

}  // namespace netduel
