// Computer player against a ship that circles as a player's copy makes it circle: its
// words reach the host's steps at a drifting phase, the snapshots reach the bot after a
// jittered delay. The host's own simulation moves both ships; the bot sees only the
// snapshots. Its aim is judged by where the circler really went, its play by the hits
// the simulation marks.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

#include "base/timer.h"
#include "bot/bot_brain.h"
#include "duel/packet_handlers.h"
#include "duel/rewind.h"
#include "duel/simulate.h"

namespace netduel {
namespace {

constexpr double TICK = 0.001;          // s: the harness's clock
constexpr double WORD_SPACING = CONTROL_SEND_INTERVAL;  // s: the circler's words, each up to WORD_LATE later
constexpr double WORD_LATE = 0.008;
constexpr int OWN = 1;

struct Snapshot {
    double due;  // s: when it reaches the bot
    int step;    // host steps before it was sent
    MatchState ships;
};

struct UnsteadyCircle {
    MatchState match;
    BotBrain brain;
    std::mt19937 random{3};
    double sightDelay = 0.0;   // s every snapshot's way takes …
    double sightJitter = 0.0;  // s: … and up to this longer, in order
    bool plays = false;        // the bot steers ship 1; else it only watches
    std::vector<Vec2> path;    // ship 0 after each host step
    int hits = 0;              // on ship 0
    ShotRewind rewind;         // the host judges the bot's shots where it saw ship 0

    // The host's clock stamp at `now` (s): never 0.
    static std::uint32_t hostMs(double now) { return static_cast<std::uint32_t>(now * 1000.0 + 1.0); }

    UnsteadyCircle(Vec2 circler, Vec2 bot, int level)
    {
        matchStateInit(match);
        match.ships[0].position = circler;
        match.ships[OWN].position = bot;
        match.ships[OWN].heading = 1.5f;
        botBrainReset(brain, botLevel(level), 11);
    }

    // `seconds` of play; `seen(step)` follows each snapshot the bot takes in, sent after
    // host step `step`.
    template <class Seen>
    void run(double seconds, Seen seen)
    {
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        std::deque<Snapshot> onTheWay;
        double nextStep = 0.0, nextWord = 0.013, nextDecide = 0.0, lastDue = 0.0;
        KeyFlags arrived[SHIP_COUNT] = {};
        nextShotTime = 0.0;
        for (int tick = 0; tick * TICK < seconds; ++tick) {
            const double now = tick * TICK;
            if (now >= nextWord) {
                arrived[0] = KEY_UP | KEY_RIGHT;
                nextWord = now + WORD_SPACING + WORD_LATE * unit(random);
            }
            if (now >= nextStep) {
                timerSetManual(now);  // the shared fire cooldown runs on this clock
                const std::int8_t flashed = match.ships[0].hitCounter;
                shotRewindStep(rewind, match, -BOT_STEP, now);
                hits += match.ships[0].hitCounter == 1 && flashed != 1;
                path.push_back(match.ships[0].position);
                if (path.size() % 2 == 0) {
                    lastDue = std::max(lastDue, now + sightDelay + sightJitter * unit(random));
                    onTheWay.push_back({lastDue, int(path.size()), match});
                }
                // Words that came during the frame are served after its step and broadcast.
                for (int i = 0; i < SHIP_COUNT; ++i) shipApplyControl(match.ships[i], arrived[i]);
                arrived[0] = arrived[OWN] = 0;
                nextStep += BOT_STEP;
            }
            for (; !onTheWay.empty() && onTheWay.front().due <= now; onTheWay.pop_front()) {
                const auto stamp = hostMs(onTheWay.front().step * BOT_STEP - BOT_STEP);
                botBrainSee(brain, onTheWay.front().ships, stamp, OWN, now);
                seen(onTheWay.front().step);
            }
            if (plays && now >= nextDecide) {
                nextDecide = now + 0.004;
                if (const auto word = botBrainDecide(brain, OWN, now)) {
                    arrived[OWN] |= *word;
                    // The host judges its shot by the stamp, as the handler does.
                    if (*word & KEY_FIRE) match.shotLag[OWN] = float(controlStampLag(brain.wordStamp, hostMs(now)));
                }
            }
        }
        timerSetReal();
        nextShotTime = 0.0;  // the real clock is far behind the one it ran on
    }
};

TEST(BotCircle, ItsAimFollowsACircleFlownAtADriftingPhaseAndSeenThroughJitter)
{
    // Where the circler is expected 0.4 s (about a bullet's flight) after each snapshot,
    // against where it went: a hit needs 10 px, level 3 fires at 8.
    constexpr double AHEAD = 0.4;
    const int aheadSteps = int(AHEAD / BOT_STEP + 0.5);
    for (const double jitter : {0.0, 0.04}) {
        UnsteadyCircle circle({512.0f, 414.0f}, {850.0f, 414.0f}, 3);
        circle.sightJitter = jitter;
        std::vector<std::pair<int, Vec2>> expected;  // (host step, where)
        circle.run(20.0, [&](int step) {
            const BotTrack track = botTrack(circle.brain, 0, 0);
            if (step * BOT_STEP > 1.0) expected.push_back({step + aheadSteps, botTrackAt(track, AHEAD, true)});
        });
        float worst = 0.0f;
        int judged = 0;
        for (const auto& [step, where] : expected) {
            if (step > int(circle.path.size())) continue;
            worst = std::max(worst, distance(where, circle.path[step - 1]));
            ++judged;
        }
        EXPECT_GT(judged, 400) << "jitter " << jitter;
        EXPECT_LT(worst, 6.0f) << "jitter " << jitter;
    }
}

TEST(BotCircle, TheLevelsHitACirclingShipInOrderAndLevelThreeFromOutsideItsCircle)
{
    // A minute each; the last level 3 starts in the middle of the circle, 105 px to the
    // right of the circler's start, and must get out to hit. The host judges by the stamp:
    // seen 0.15 s late, level 3 aims at the circler as it saw it and hits as often.
    const Vec2 circler{300.0f, 414.0f};
    const struct {
        int level;
        Vec2 bot;
    } cases[] = {{1, {800.0f, 414.0f}}, {2, {800.0f, 414.0f}}, {3, {800.0f, 414.0f}}, {3, {405.0f, 414.0f}}};
    int hits[5] = {};
    for (int i = 0; i < 5; ++i) {
        const int c = i < 4 ? i : 2;  // the fifth: level 3 from outside, seen late
        UnsteadyCircle circle(circler, cases[c].bot, cases[c].level);
        circle.plays = true;
        circle.sightDelay = i == 4 ? 0.15 : 0.0;
        circle.run(60.0, [](int) {});
        hits[i] = circle.hits;
    }
    EXPECT_LT(hits[0], hits[1]);
    EXPECT_LT(hits[1], hits[2]);
    EXPECT_GE(hits[2], 3 * hits[0]);
    EXPECT_GE(hits[2], 60);
    EXPECT_GE(hits[3], 60);
    EXPECT_GE(4 * hits[4], 3 * hits[2]) << "seen late: " << hits[4] << " vs " << hits[2];
}

}  // namespace
}  // namespace netduel
