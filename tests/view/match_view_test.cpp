// Smoothed view: interpolation at the playout time, flying over a loss, the extrapolation
// limit and the hold, the delay following jitter, bullets fired and retired in between.
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "duel/packet_handlers.h"
#include "duel/simulate.h"
#include "view/match_view.h"

namespace netduel {
namespace {

constexpr double INTERVAL = 1.0 / 30;
constexpr double LINK = 0.040;       // s one way
constexpr float SPEED = 200.0f;      // px/s along x, ship 0
constexpr double TURN = 1.5;         // rad/s, ship 1 turning on the spot

float trueX(double hostTime) { return static_cast<float>(100.0 + SPEED * hostTime); }

// The snapshot's bytes as the client view hands them over: parsed, with their stamp.
void take(MatchView& view, const Snapshot& bytes, double now)
{
    MatchState snapshot;
    ASSERT_TRUE(snapshotApply(snapshot, bytes));
    matchViewReceive(view, snapshot, snapshotStampRead(bytes), now);
}

class MatchViewTest : public ::testing::Test {
protected:
    // The host's snapshot sent at `hostTime` (s), ship 0 gliding along x.
    Snapshot sentAt(double hostTime)
    {
        MatchState match;
        match.ships[0].position = Vec2(trueX(hostTime), 300.0f);
        match.ships[0].heading = static_cast<float>(-M_PI / 2);  // nose towards larger x
        match.ships[0].speed = SPEED;
        // Drifting down with no speed of its own: nothing the host does moves it on.
        match.ships[1].position = Vec2(900.0f, static_cast<float>(300.0 + 50.0 * hostTime));
        match.ships[1].heading = static_cast<float>(-TURN * hostTime);  // turning right
        match.ships[1].turnRate = 1.25f;
        match.ships[1].hitCounter = static_cast<std::int8_t>(hostTime > 1.0);
        Snapshot bytes = snapshotEncode(match);
        snapshotStampWrite(bytes, static_cast<std::uint32_t>(std::lround(hostTime * 1000.0)) + 5000);
        return bytes;
    }
    // Snapshots every INTERVAL from host time `from` up to `to`, late by LINK plus `late(i)`.
    template <class Late>
    void receive(double from, double to, Late late)
    {
        for (int i = 0; from + i * INTERVAL < to + 1e-9; ++i) {
            const double sent = from + i * INTERVAL;
            take(view, sentAt(sent), sent + LINK + late(i));
        }
    }
    float drawnX(double now)
    {
        matchViewAt(view, now, drawn);
        return drawn.ships[0].position.x;
    }
    // The same snapshots as a copy's frame loop takes them: in order, each in the first of
    // its frames (every `frame(k)` s on from `clock`) after it came, then drawn; until the
    // last came.
    template <class Late, class Frame>
    void play(double from, double to, Late late, Frame frame)
    {
        std::vector<std::pair<double, double>> due;  // (arrival, sent), s
        for (int i = 0; from + i * INTERVAL < to + 1e-9; ++i)
            due.emplace_back(std::max(from + i * INTERVAL + LINK + late(i), due.empty() ? 0.0 : due.back().first),
                             from + i * INTERVAL);
        for (std::size_t next = 0; next < due.size(); clock += frame(frames++)) {
            for (; next < due.size() && due[next].first <= clock; ++next) take(view, sentAt(due[next].second), clock);
            drawnX(clock);
            totals.push_back(view.offset + view.delay);
        }
    }
    template <class Late>
    void play(double from, double to, Late late)
    {
        play(from, to, late, [](int) { return 1.0 / 60; });
    }

    MatchView view;
    MatchState drawn;
    double clock = 0.0;           // s, the frames'
    int frames = 0;
    std::vector<double> totals;   // s: link delay and playout delay at each frame
};

TEST_F(MatchViewTest, SteadyLinkDrawsThePathAtOneAndAHalfIntervalsBehind)
{
    receive(0.0, 2.0, [](int) { return 0.0; });
    EXPECT_NEAR(view.delay, 1.5 * INTERVAL, 1e-3);
    for (double now = 1.95; now < 2.04; now += 1.0 / 60) {
        const double shown = now - LINK - 1.5 * INTERVAL;
        EXPECT_NEAR(drawnX(now), trueX(shown), 0.5) << now;
    }
    EXPECT_EQ(drawn.ships[1].hitCounter, 1);  // the newest flash, not the interpolated time's
    view.smoothing = false;
    EXPECT_FLOAT_EQ(drawnX(2.0), trueX(2.0));

    // A stamp from far behind (a restarted host) starts afresh instead of being ignored.
    view.smoothing = true;
    take(view, sentAt(-3.0), 2.1);
    EXPECT_EQ(view.entries.count, 1);
    EXPECT_FLOAT_EQ(drawnX(2.1), trueX(-3.0));
}

TEST_F(MatchViewTest, ALostSnapshotIsBridgedAndADryBufferHoldsAfterTheLimit)
{
    receive(0.0, 1.0, [](int) { return 0.0; });
    EXPECT_EQ(matchViewLoss(view), 0.0);
    receive(1.0 + 2 * INTERVAL, 1.5, [](int) { return 0.0; });  // one lost
    EXPECT_NEAR(matchViewLoss(view), 1.0 / 45, 1e-3);              // of 45 sent
    EXPECT_EQ(matchViewPerSecond(view, 1.5 + LINK), 30 - 1);
    for (double now = 1.0 + LINK; now < 1.0 + LINK + 4 * INTERVAL; now += 1.0 / 60) {
        const float x = drawnX(now);
        EXPECT_NEAR(x, trueX(now - LINK - view.delay), 0.5) << now;
    }

    // Past the newest the ships fly on as the host flies them: ship 0 on its speed (damped,
    // a thrust word seen lately coming again), ship 1 turning on; then they hold.
    const float newest = trueX(1.5);
    const float newestHeading = static_cast<float>(-TURN * 1.5);
    const double dry = 1.5 + LINK + view.delay;  // the playout time reaches the newest here
    const float glided = drawnX(dry + 0.05) - newest;
    EXPECT_GT(glided, SPEED * 0.05f * 0.7f);
    EXPECT_LT(glided, THRUST_SPEED * 0.05f);
    EXPECT_LT(drawn.ships[1].heading, newestHeading - 0.02f);
    EXPECT_GT(drawnX(dry + 0.5), newest + SPEED * VIEW_EXTRAPOLATE_MAX * 0.7f);
    EXPECT_LT(drawn.ships[1].heading, newestHeading - 0.1f);  // a turn word came again
    EXPECT_FLOAT_EQ(drawn.ships[1].position.y, 300.0f + 50.0f * 1.5f);
    EXPECT_FLOAT_EQ(drawnX(dry + 1.0), drawnX(dry + 0.5));
}

// A lossy link is flown over, not waited for: through one loss in ten and a burst of a
// quarter second lost the delay stays where the link's lateness puts it, and comes back
// to it after the burst.
TEST_F(MatchViewTest, TheDelayComesBackAfterALossBurst)
{
    double now = 0.0;
    const auto run = [&](double from, double to, auto lost) {
        for (int i = 0; from + i * INTERVAL < to; ++i) {
            const double sent = from + i * INTERVAL;
            if (!lost(i)) take(view, sentAt(sent), sent + LINK);
            for (; now < sent + INTERVAL; now += 1.0 / 60) drawnX(now);
        }
    };
    run(0.0, 3.0, [](int) { return false; });
    const double steady = view.delay;
    EXPECT_NEAR(steady, 1.5 * INTERVAL, 2e-3);
    run(3.0, 6.0, [](int i) { return i % 10 == 0; });
    EXPECT_GT(matchViewLoss(view), 0.05);
    EXPECT_NEAR(view.delay, steady, 2e-3);
    run(6.0, 6.25, [](int) { return true; });
    run(6.25, 12.0, [](int) { return false; });
    EXPECT_NEAR(view.delay, steady, 1e-3);
}

// The host flies ship 0 round with thrust and a turn held, the other copy's words on its
// own clock; snapshots reach this copy 40–60 ms late and 8 % never do, two
// at a time. The ship drawn in
// each frame stays near where the host had it at the moment the frame draws, whatever the
// words' cadence: it is never guessed.
TEST(MatchViewPath, TheDrawnPathFollowsTheHostsThroughLossAtAnySendersCadence)
{
    constexpr double STEP = SIM_STEP_MAX;
    for (const double cadence : {0.052, 1.0 / 22}) {
        MatchView view;
        std::mt19937 random(7);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        MatchState host;
        host.ships[0].position = Vec2(512.0f, 384.0f);
        std::vector<Vec2> path;  // ship 0 after each host step
        struct Arrival {
            double at;
            Snapshot bytes;
        };
        std::vector<Arrival> arrivals;
        double nextWord = 0.003;
        int dropping = 0;
        for (int step = 0; step * STEP < 12.0; ++step) {
            const double t = step * STEP;
            for (; nextWord <= t; nextWord += cadence) shipApplyControl(host.ships[0], KEY_UP | KEY_LEFT);
            simulateStep(host, -STEP);
            path.push_back(host.ships[0].position);
            if (step % 2 != 0) continue;
            if (dropping > 0 || unit(random) < 0.04) {  // lost two at a time
                dropping = dropping > 0 ? dropping - 1 : 1;
                continue;
            }
            Snapshot bytes = snapshotEncode(host);
            snapshotStampWrite(bytes, static_cast<std::uint32_t>(std::lround(t * 1000.0)) + 5000);
            arrivals.push_back({t + 0.040 + 0.020 * unit(random), bytes});
        }
        std::stable_sort(arrivals.begin(), arrivals.end(),
                         [](const Arrival& x, const Arrival& y) { return x.at < y.at; });
        MatchState drawn;
        double squares = 0.0, worst = 0.0;
        int frames = 0;
        std::size_t next = 0;
        for (double now = 0.0; now < 12.0; now += 1.0 / 60) {
            for (; next < arrivals.size() && arrivals[next].at <= now; ++next) {
                MatchState snapshot;
                ASSERT_TRUE(snapshotApply(snapshot, arrivals[next].bytes));
                matchViewReceive(view, snapshot, snapshotStampRead(arrivals[next].bytes), now);
            }
            matchViewAt(view, now, drawn);
            if (now < 2.0) continue;
            const double hostSteps = (matchViewPlayoutStamp(view) - 5000) / 1000.0 / STEP;
            const std::size_t k = static_cast<std::size_t>(hostSteps);
            ASSERT_LT(k + 1, path.size());
            const float f = static_cast<float>(hostSteps - k);
            const Vec2 truth = path[k] + (path[k + 1] - path[k]) * f;
            const double off = distance(drawn.ships[0].position, truth);
            squares += off * off;
            worst = std::max(worst, off);
            ++frames;
        }
        EXPECT_LT(std::sqrt(squares / frames), 0.4) << cadence;  // px
        EXPECT_LT(worst, 2.5) << cadence;
        EXPECT_LT(view.delay, INTERVAL + 0.020 + 0.010) << cadence;  // an interval and the jitter, no more
    }
}

TEST_F(MatchViewTest, AHostFrameRunningLateIsNoLoss)
{
    receive(0.0, 1.0, [](int) { return 0.0; });
    receive(1.0 + 1.5 * INTERVAL, 1.5, [](int) { return 0.0; });  // one frame late
    EXPECT_EQ(matchViewLoss(view), 0.0);
}

TEST_F(MatchViewTest, TheDelayGrowsWithJitterAndShrinksWhenTheLinkCalms)
{
    receive(0.0, 2.0, [](int i) { return (i * 7919 % 41) / 1000.0; });  // 0…40 ms late
    for (double now = 0.5; now < 2.0; now += 1.0 / 60) drawnX(now);
    EXPECT_GT(view.delay, INTERVAL + 0.035);
    EXPECT_LT(view.delay, INTERVAL + 0.050);
    // Calm for longer than the seconds the lateness is taken over and the wait after them.
    receive(2.0 + INTERVAL, 14.0, [](int) { return 0.0; });
    for (double now = 2.0; now < 14.0; now += 1.0 / 60) drawnX(now);
    EXPECT_NEAR(view.delay, 1.5 * INTERVAL, 2e-3);
}

TEST_F(MatchViewTest, OneSnapshotHeldUpAloneDoesNotRaiseTheDelayTwoDo)
{
    play(0.0, 4.0, [](int i) { return i == 105 ? 0.050 : 0.0; });
    EXPECT_NEAR(view.delay, 1.5 * INTERVAL, 2e-3);
    play(4.0 + INTERVAL, 5.5, [](int i) { return i == 3 || i == 30 ? 0.050 : 0.0; });
    EXPECT_GT(view.delay, INTERVAL + 0.045);
}

// Snapshots and frames interleaved, as they come: a calm second after a jittery spell does
// not shrink the delay yet, and a snapshot earlier than any before does not move the
// playout time although the link's least lateness moved.
TEST_F(MatchViewTest, TheDelayHoldsThroughAShortCalmAndThePlayoutTimeThroughANewLeast)
{
    play(0.0, 2.0, [](int i) { return (i * 7919 % 51) / 1000.0; });  // 0…50 ms late
    play(2.0 + INTERVAL, 3.0, [](int) { return 0.0; });
    EXPECT_GT(view.delay, INTERVAL + 0.045);
    const float before = drawnX(clock);
    take(view, sentAt(3.0 + INTERVAL), clock - 0.010);
    EXPECT_NEAR(drawnX(clock), before, 0.05f);
}

// A match's first seconds: over links of several spreads, whatever second of the host's the
// copy joins in and whether its first snapshot came at the spread's foot or top, the delay
// that the first second's snapshots set is the one it keeps.
TEST_F(MatchViewTest, TheDelayStartsWhereItSettles)
{
    for (const double spread : {1.0 / 60, 0.040, 0.080}) {
        for (const double join : {0.0, 0.4, 0.9}) {
            for (const double first : {0.0, spread}) {
                std::mt19937 random(11);
                std::uniform_real_distribution<double> unit(0.0, spread);
                view = MatchView{};
                clock = join + LINK + 0.008;  // frames at a phase of their own
                totals.clear();
                play(join, join + 10.0, [&](int i) { return i == 0 ? first : unit(random); });
                double worst = 0.0;  // s, after the first second
                for (std::size_t i = 60; i < totals.size(); ++i) worst = std::max(worst, std::fabs(totals[i] - totals.back()));
                EXPECT_LT(worst, 0.004) << spread << " from " << join << ", first " << first;
            }
        }
    }
}

// Frames of this copy's that come late (here every twentieth, by two frames) show the
// snapshots they take late, which no delay would mend: the delay stays the link's.
TEST_F(MatchViewTest, ThisCopysLateFramesDoNotRaiseTheDelay)
{
    play(0.0, 6.0, [](int) { return 0.0; }, [](int k) { return (k % 20 == 19 ? 3.0 : 1.0) / 60; });
    EXPECT_NEAR(view.delay, 1.5 * INTERVAL, 2e-3);
}

// Ship 1 is hit in the snapshots after host time 1.0: the flash waits until the playout
// time reaches the first of them, and a word sent after a frame names the moment it drew.
TEST_F(MatchViewTest, TheFlashWaitsForThePlayoutTimeAndWordsCarryIt)
{
    EXPECT_EQ(matchViewPlayoutStamp(view), 0u);
    receive(0.0, 1.1, [](int) { return 0.0; });  // the newest holds the hit
    struct Case {
        double playout;  // s, host's clock
        int flash;
    } const cases[] = {{0.98, 0}, {1.02, 0}, {1.04, 1}, {1.09, 1}};
    for (const Case& c : cases) {
        matchViewAt(view, c.playout + LINK + view.delay, drawn);
        EXPECT_EQ(drawn.ships[1].hitCounter, c.flash) << c.playout;
        EXPECT_NEAR(double(matchViewPlayoutStamp(view)), 5000.0 + c.playout * 1000.0, 1.0) << c.playout;
    }
}

TEST_F(MatchViewTest, ABulletAppearsAtTheMuzzleAndVanishesWhenItLeavesPlay)
{
    MatchState a;
    a.ships[0].position = Vec2(500.0f, 400.0f);
    a.ships[0].heading = static_cast<float>(M_PI / 2);  // nose towards smaller x
    MatchState b = a;
    Bullet& shot = b.ships[0].bullets[3];
    shot = Bullet{Vec2(500.0f - MUZZLE_OFFSET - 7.0f, 400.0f), Vec2(1.0f, 0.0f), BULLET_ACTIVE};
    MatchState c = b;
    c.ships[0].bullets[3].active = 0;  // left play
    Snapshot bytes[3] = {snapshotEncode(a), snapshotEncode(b), snapshotEncode(c)};
    for (int i = 0; i < 3; ++i) {
        snapshotStampWrite(bytes[i], 1000 + 20 * i);
        take(view, bytes[i], 1.0 + 0.02 * i);
    }
    const auto bulletAt = [&](double hostTime) {
        view.delay = 0.02;  // held still: no time passes for the slew
        view.lastFrame = hostTime + view.offset + view.delay;
        matchViewAt(view, view.lastFrame, drawn);
        return drawn.ships[0].bullets[3];
    };
    const double fired = 1.02 - 7.0 / BULLET_SPEED;
    EXPECT_EQ(bulletAt(fired - 0.002).active, 0);
    EXPECT_NEAR(bulletAt(fired + 0.002).position.x, 500.0f - MUZZLE_OFFSET - 0.7f, 0.2f);
    EXPECT_NE(bulletAt(1.03).active, 0);
    EXPECT_NEAR(drawn.ships[0].bullets[3].position.x, 500.0f - MUZZLE_OFFSET - 10.5f, 0.2f);
}

}  // namespace
}  // namespace netduel
