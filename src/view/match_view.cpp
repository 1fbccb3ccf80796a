// Smoothed view: a ring of snapshots on the host's clock, drawn at a playout time that
// trails the newest by a delay sized to the arrival jitter.
#include "view/match_view.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "duel/packet_handlers.h"
#include "duel/simulate.h"
#include "view/prediction.h"

namespace netduel {

namespace {

constexpr double INTERVAL_WEIGHT = 0.05;  // share of a new interval in the smoothed one
constexpr double GAP_CAP = 1.5;           // intervals: a longer gap is a loss, not a slower host
constexpr double LOSS_WINDOW = 90.0;      // snapshots (3 s) the loss share is taken over
constexpr double DELAY_MARGIN = 0.004;    // s past the worst lateness seen, for the frame's own jitter
constexpr double LATE_FRAME_SHARE = 0.25;  // of an interval: a gap of 1.75 intervals or more held a loss
// s the delay waits with the target below it before it shrinks: the extremes of a jittery
// link leave the ring and come back, and a delay that swung with them would warp the picture.
constexpr double CALM_WAIT = 3.0;
// Seconds of lateness before one of them can stand out as a stall: until then each counts.
constexpr int LATE_SECONDS_KNOWN = 3;
constexpr double FRAME_WEIGHT = 0.05;      // share of a new frame gap in the smoothed period
constexpr double FRAME_STALL = 1.5;        // periods: a longer gap is this copy running late
constexpr double SLEW_UP = 0.2;           // the delay grows by at most this share of elapsed time,
constexpr double SLEW_DOWN = 0.05;        // and shrinks more gently: too short stalls, too long only lags
constexpr float TELEPORT = 100.0f;        // px between snapshots that no motion explains
constexpr double STEP = SIM_STEP_MAX;     // s: the host's step
constexpr double TURN_SEEN = 1e-3;        // rad between two snapshots: the ship turns

const ViewEntry& entryAt(const MatchView& view, int age)  // age 0: the newest
{
    return ringAt(view.entries, age);
}

// Host seconds of a 32-bit millisecond stamp, unwrapped against the previous one.
double viewStampSeconds(MatchView& view, std::uint32_t stamp)
{
    if (view.lastStamp == 0) view.stampBase = stamp / 1000.0;
    else view.stampBase += static_cast<std::int32_t>(stamp - view.lastStamp) / 1000.0;
    view.lastStamp = stamp;
    return view.stampBase;
}

// The least lateness of the last seconds is the link's own delay; the spread above it up
// to the second most of those seconds' most is jitter: a second held up alone (a stall at
// either end) is flown over rather than waited for, and whole seconds keep the figures
// from swinging with each extreme. Until a few seconds are known none can stand alone, so
// that the delay starts where it settles. Once frames are drawn, a new least moves the
// delay the other way, so that the playout time stays.
void viewMeasure(MatchView& view, double late)
{
    const double second = std::floor(entryAt(view, 0).sent);
    LateSecond* bucket = view.late.count > 0 ? &ringAt(view.late, 0) : nullptr;
    if (!bucket || bucket->second != second) bucket = &ringPush(view.late, LateSecond{second, late, late});
    bucket->least = std::min(bucket->least, late);
    bucket->most = std::max(bucket->most, late);
    constexpr double NONE = std::numeric_limits<double>::infinity();
    double least = NONE, most = -NONE, runnerUp = -NONE;
    for (int age = 0; age < view.late.count; ++age) {
        const LateSecond& each = ringAt(view.late, age);
        least = std::min(least, each.least);
        runnerUp = std::max(runnerUp, std::min(most, each.most));
        most = std::max(most, each.most);
    }
    if (view.late.count < LATE_SECONDS_KNOWN) runnerUp = most;
    if (view.entries.count > 1 && view.drawing) view.delay += view.offset - least;
    view.offset = least;
    view.jitter = runnerUp - least;
}

// A lost snapshot is flown over along the motion the ones before it show rather than
// waited for: a lossy link costs no delay of its own.
double viewTargetDelay(const MatchView& view)
{
    return std::max(1.5 * view.interval, view.interval + view.jitter + DELAY_MARGIN);
}

float lerp(float a, float b, double f) { return static_cast<float>(a + (b - a) * f); }

// A bullet drawn at `at` (s after `from`), flying straight; hidden once it left play.
Bullet bulletDrawnAt(const Bullet& from, double at)
{
    Bullet out = from;
    out.position = bulletFlown(from, at);
    if (!bulletInPlay(out.position)) out.active = 0;
    return out;
}

// How long before snapshot b a bullet new in b left its ship's muzzle, the ship taken at
// its place between a and b at that moment.
double bulletAgeBetween(const Ship& a, const Ship& b, const Bullet& bullet, double span)
{
    double age = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        const Vec2 ship = lerp(a.position, b.position, span > 0.0 ? 1.0 - age / span : 1.0);
        age = std::clamp(bulletAge(bullet, ship), 0.0, span);
    }
    return age;
}

// One bullet slot between snapshots a (at 0) and b (at span), drawn at t.
Bullet bulletBetween(const Ship& shipA, const Ship& shipB, int slot, double span, double t)
{
    const Bullet& a = shipA.bullets[slot];
    const Bullet& b = shipB.bullets[slot];
    const bool same = a.active && b.active &&
                      distance(bulletFlown(a, span), b.position) < SHIP_RADIUS;
    if (same) return bulletDrawnAt(a, t);
    if (b.active && t >= span - bulletAgeBetween(shipA, shipB, b, span)) return bulletDrawnAt(b, t - span);
    if (a.active && !b.active) return bulletDrawnAt(a, t);
    Bullet none = b;
    none.active = 0;
    return none;
}

// A ship flies on past the newest snapshot along the motion the snapshots show: the arc
// from one snapshot a little older to the newest, whatever cadence the other copy's words
// come at. The baseline spans two of a held key's words at the least cadence a sender
// keeps (a computer player's is a little slower still), so that the speed the words keep
// up is their average, not one word's peak.
constexpr double ARC_BASELINE = 2 * CONTROL_SEND_INTERVAL;  // s
// Steps since a thrust word within which the key counts as held: the words' interval, a
// slower sender's few ms and a step of the host's rounding.
constexpr int HELD_STEPS = static_cast<int>(CONTROL_SEND_INTERVAL / STEP) + 2;

using Turn = std::complex<double>;

// The ship's heading vector as a complex number turns by e^(−i·dθ) when its heading grows by dθ.
Turn turnBy(double dTheta) { return std::polar(1.0, -dTheta); }

// Ship b carried `ahead` s on. While thrust is held, along the arc from `base` (`baseSpan`
// s before b) to b, at the speed and the turn the two show; otherwise as the host flies a
// ship no word steers (its speed and turn dying), turning on as it was seen to turn.
void shipFlown(const Ship& base, const Ship& b, double baseSpan, double ahead, Ship& out)
{
    const double turned = double(b.heading) - base.heading;
    const bool turning = b.turnRate != 0.0f || std::fabs(turned) > TURN_SEEN;
    const int sinceThrust = predictionStepsSinceThrust(b);
    if (sinceThrust >= 0 && sinceThrust <= HELD_STEPS && baseSpan > 0.0) {
        const Turn chord(b.position.x - base.position.x, b.position.y - base.position.y);
        // chord = v·(1 − e^(−iθ))/(iω); the way on from b over T: v·e^(−iθ)·(1 − e^(−iωT))/(iω)
        const double omega = turned / baseSpan;
        const Turn denominator = 1.0 - turnBy(turned);
        const Turn on = std::abs(denominator) > 1e-9
                            ? chord * turnBy(turned) * (1.0 - turnBy(omega * ahead)) / denominator
                            : chord * (ahead / baseSpan);
        out.position = Vec2(static_cast<float>(b.position.x + on.real()),
                            static_cast<float>(b.position.y + on.imag()));
        out.heading = static_cast<float>(b.heading + omega * ahead);
        return;
    }
    Ship ship = b, before = b;
    int step = 0;
    for (; step * STEP <= ahead; ++step) {
        before = ship;
        shipStepMotion(ship, -STEP);
    }
    const double f = (ahead - (step - 1) * STEP) / STEP;  // into the last step taken
    out.position = lerp(before.position, ship.position, f);
    out.heading = turning && baseSpan > 0.0 ? static_cast<float>(b.heading + turned / baseSpan * ahead)
                                            : lerp(before.heading, ship.heading, f);
}

// Ship kinematics between a and b at fraction f; past b (f > 1) the ship flies on along
// the motion from `base` to b.
void shipBetween(const Ship& a, const Ship& b, double f, double span, double t, const Ship& base,
                 double baseSpan, Ship& out)
{
    out = b;  // hit flash, colour and the rest: the newest
    if (distance(a.position, b.position) > TELEPORT) f = f < 0.5 ? 0.0 : 1.0;
    if (f > 1.0) {
        shipFlown(base, b, distance(base.position, b.position) > TELEPORT ? 0.0 : baseSpan, t - span, out);
    } else {
        out.position = lerp(a.position, b.position, f);
        out.heading = lerp(a.heading, b.heading, f);
    }
    out.position = shipFieldClamp(out.position);
    for (int j = 0; j < BULLETS_PER_SHIP; ++j) out.bullets[j] = bulletBetween(a, b, j, span, t);
}

// A gap of several intervals means snapshots were lost; the interval itself follows the
// gaps slowly, each shared among the snapshots it held, so that a loss does not move it
// while a slower host still shows.
void viewCountGap(MatchView& view, double gap)
{
    // A host frame that runs late stretches a gap by half an interval (it sends every
    // second frame); only a gap nearer two intervals than that is a snapshot lost.
    const double sent = std::max(1.0, std::floor(gap / view.interval + LATE_FRAME_SHARE));
    view.expected += sent;
    view.lost += sent - 1.0;
    if (view.expected > LOSS_WINDOW) {
        view.expected /= 2.0;
        view.lost /= 2.0;
    }
    view.interval += (std::min(gap / sent, GAP_CAP * view.interval) - view.interval) * INTERVAL_WEIGHT;
}

void viewSlewDelay(MatchView& view, double now)
{
    const double elapsed = std::clamp(now - view.lastFrame, 0.0, 0.1);
    if (view.frame == 0.0) view.frame = STEP;  // a display's usual frame until this one's shows
    else view.frame += (std::min(elapsed, FRAME_STALL * view.frame) - view.frame) * FRAME_WEIGHT;
    view.lastFrame = now;
    const double target = viewTargetDelay(view);
    if (!(target < view.delay)) view.calmSince = now;
    if (!(target > view.delay) && now - view.calmSince < CALM_WAIT && view.late.count >= LATE_SECONDS_KNOWN) return;
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
    if (view.entries.count > 0 && std::fabs(sent - entryAt(view, 0).sent) > VIEW_RESYNC) {
        ringClear(view.entries);  // a host restarted or a clock jumped: what came before is no guide
        ringClear(view.late);
    }
    if (view.entries.count > 0 && !(sent > entryAt(view, 0).sent)) return;  // stale or repeated
    if (view.entries.count > 0) viewCountGap(view, sent - entryAt(view, 0).sent);
    ringPush(view.entries, ViewEntry{snapshot, sent, now});
    ++view.received;
    // A frame of this copy's that came late saw its snapshots late by its own lateness too,
    // which no delay mends: they count as come in the frame that was due, though no earlier
    // than the link's least lateness allows (they may have come during the wait).
    double arrived = now;
    if (view.drawing && now - view.lastFrame > FRAME_STALL * view.frame)
        arrived = std::max(view.lastFrame + view.frame, sent + view.offset);
    viewMeasure(view, arrived - sent);
    if (view.entries.count == 1) view.delay = viewTargetDelay(view);
}

void matchViewAt(MatchView& view, double now, MatchState& out)
{
    if (view.entries.count == 0) return;
    view.drawing = true;
    viewSlewDelay(view, now);
    const ViewEntry& newest = entryAt(view, 0);
    if (!view.smoothing || view.entries.count == 1) {
        for (int i = 0; i < SHIP_COUNT; ++i) out.ships[i] = newest.match.ships[i];
        view.playout = newest.sent;
        return;
    }
    const double render = now - view.offset - view.delay;
    int age = 0;  // the pair (age + 1, age) brackets the playout time, else the oldest two
    while (age + 2 < view.entries.count && entryAt(view, age + 1).sent > render) ++age;
    const ViewEntry& a = entryAt(view, age + 1);
    const ViewEntry& b = entryAt(view, age);
    const double span = b.sent - a.sent;
    const double t = std::clamp(render - a.sent, 0.0, span + VIEW_EXTRAPOLATE_MAX);
    view.playout = a.sent + t;
    const ViewEntry& reached = t >= span ? b : a;  // the newest snapshot not after the playout time
    int baseAge = age + 1;  // the arc a ship flies on along starts a baseline before b
    while (baseAge + 1 < view.entries.count && b.sent - entryAt(view, baseAge).sent < ARC_BASELINE) ++baseAge;
    const ViewEntry& base = entryAt(view, baseAge);
    for (int i = 0; i < SHIP_COUNT; ++i)
        shipBetween(a.match.ships[i], b.match.ships[i], t / span, span, t, base.match.ships[i],
                    b.sent - base.sent, out.ships[i]);
    for (int i = 0; i < SHIP_COUNT; ++i) {
        out.ships[i].hitCounter = reached.match.ships[i].hitCounter;
        out.ships[i].colour = newest.match.ships[i].colour;
    }
}

std::uint32_t matchViewPlayoutStamp(const MatchView& view)
{
    if (view.lastStamp == 0 || !view.drawing || view.entries.count == 0) return 0;
    return static_cast<std::uint32_t>(std::llround(view.playout * 1000.0));
}

int matchViewPerSecond(const MatchView& view, double now)
{
    int n = 0;
    for (int age = 0; age < view.entries.count; ++age) n += entryAt(view, age).arrived > now - 1.0;
    return n;
}

double matchViewLoss(const MatchView& view)
{
    return view.expected > 0.0 ? view.lost / view.expected : 0.0;
}

}  // namespace netduel
