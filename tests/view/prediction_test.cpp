// Prediction: the own ship answers its word in the next frame; a replay from the host's
// snapshots lands where the host's own steps do, also past a lost word and with the round
// trip told wrong; corrections are eased or taken at once past the far limit; slot 2
// predicts nothing.
#include <cmath>
#include <deque>
#include <utility>

#include <gtest/gtest.h>

#include "duel/duel_fixture.h"
#include "duel/packet_handlers.h"
#include "view/prediction.h"

namespace netduel {
namespace {

using test::DT;

float gap(Vec2 a, Vec2 b)
{
    return static_cast<float>(std::hypot(double(a.x) - b.x, double(a.y) - b.y));
}

Vec2 drawnAt(const Prediction& prediction)
{
    Ship drawn;
    EXPECT_TRUE(predictionShip(prediction, drawn));
    return drawn.position;
}

// A host stepping its match through simulateFrame and a copy steering ship 1, both at
// 60 frames/s, the copy's frames a third of a frame after the host's, on a link of a
// fixed one-way delay, whose round trip the copy is told off by `tripError` (s). The copy
// holds `word` for `holdFrames` frames, sending every fourth frame; the word numbered
// `lost` never arrives. Corrections count from frame `measureFrom` on.
struct LinkedDuel {
    MatchState host = test::startState();
    Prediction prediction;
    float worstCorrection = 0.0f;

    void run(double delay, double tripError, KeyFlags word, int holdFrames, int lost, int frames,
             int measureFrom = 11)
    {
        predictionReset(prediction, 1);
        std::deque<std::pair<double, KeyFlags>> words;
        std::deque<std::pair<double, MatchState>> snapshots;
        double carry = 0.0;
        int sent = 0;
        for (int frame = 1; frame <= frames; ++frame) {
            const double hostNow = frame * -DT;
            simulateFrame(host, DT, carry);
            if (frame % 2 == 0) snapshots.emplace_back(hostNow + delay, host);
            for (; !words.empty() && words.front().first <= hostNow; words.pop_front())
                shipApplyControl(host.ships[1], words.front().second);
            const double now = hostNow - DT / 3;
            for (; !snapshots.empty() && snapshots.front().first <= now; snapshots.pop_front()) {
                predictionSnapshot(prediction, snapshots.front().second, now,
                                   2 * delay - DT + tripError);
                if (frame >= measureFrom)
                    worstCorrection = std::max(worstCorrection, prediction.lastCorrection);
            }
            if (frame > 10 && frame <= 10 + holdFrames && frame % 4 == 0) {
                predictionControl(prediction, word, now);
                if (sent++ != lost) words.emplace_back(now + delay, word);
            }
            predictionFrame(prediction, DT);
        }
    }
};

TEST(Prediction, TheOwnShipMovesInTheFrameAfterItsWord)
{
    MatchState match = test::startState();
    Prediction prediction;
    predictionReset(prediction, 1);
    predictionSnapshot(prediction, match, 1.0, 0.1);
    predictionFrame(prediction, DT);
    EXPECT_EQ(drawnAt(prediction), match.ships[1].position);  // at rest, nothing sent

    predictionControl(prediction, KEY_UP | KEY_LEFT, 1.02);
    predictionFrame(prediction, DT);
    Ship drawn = match.ships[1];
    ASSERT_TRUE(predictionShip(prediction, drawn));
    shipApplyControl(match.ships[1], KEY_UP | KEY_LEFT);
    simulateStep(match, DT);  // as the host will step it
    EXPECT_EQ(drawn.position, match.ships[1].position);
    EXPECT_EQ(drawn.heading, match.ships[1].heading);
    EXPECT_LT(drawn.position.y, 384.0f - 4.0f);
}

TEST(Prediction, ReplayingTheWordsTheHostHadNotSeenLandsWhereTheHostDoes)
{
    LinkedDuel duel;
    duel.run(0.05, 0.0, KEY_UP | KEY_LEFT, 60, -1, 150);
    EXPECT_LT(duel.worstCorrection, 0.5f);  // every replay agreed with the frames between
    EXPECT_LT(gap(drawnAt(duel.prediction), duel.host.ships[1].position), 0.5f);
    EXPECT_NEAR(duel.prediction.ship.heading, duel.host.ships[1].heading, 1e-4);
    EXPECT_GT(gap(duel.host.ships[1].position, test::startState().ships[1].position), 100.0f);
}

TEST(Prediction, TheSnapshotsOwnSpeedPlacesTheReplayWhenTheRoundTripIsOff)
{
    for (const double tripError : {-0.025, 0.025}) {
        LinkedDuel duel;
        duel.run(0.05, tripError, KEY_UP, 60, -1, 150);
        EXPECT_LT(duel.worstCorrection, 0.5f) << tripError;
        EXPECT_LT(gap(drawnAt(duel.prediction), duel.host.ships[1].position), 0.5f);
    }
}

TEST(Prediction, WhereSnapshotsMeetTheOwnTraceTeachesALagTheRoundTripGetsWrong)
{
    LinkedDuel duel;  // 2.7 steps off: past what the speed reading may move; learnt by frame 150
    duel.run(0.05, 0.045, KEY_UP | KEY_RIGHT, 240, -1, 300, 150);
    EXPECT_LT(duel.worstCorrection, 0.5f);
    EXPECT_LT(gap(drawnAt(duel.prediction), duel.host.ships[1].position), 0.5f);
}

TEST(Prediction, AWordTheLinkLostIsCorrectedToWhereTheHostIs)
{
    LinkedDuel duel;
    duel.run(0.06, 0.0, KEY_UP | KEY_LEFT, 60, 6, 150);
    EXPECT_GT(duel.worstCorrection, 5.0f);  // the loss showed, a round trip after the word
    EXPECT_LT(gap(drawnAt(duel.prediction), duel.host.ships[1].position), 0.5f);
    EXPECT_NEAR(duel.prediction.ship.heading, duel.host.ships[1].heading, 1e-4);
}

TEST(Prediction, AFarSnapshotIsEasedInStepsUnderTheLimitOrTakenAtOncePastTheFarLimit)
{
    MatchState match = test::startState();
    Prediction prediction;
    predictionReset(prediction, 0);
    predictionSnapshot(prediction, match, 1.0, 0.1);
    const Vec2 start = match.ships[0].position;
    match.ships[0].position = start + Vec2(30.0, 0.0);
    predictionSnapshot(prediction, match, 1.03, 0.1);
    EXPECT_FLOAT_EQ(prediction.lastCorrection, 30.0f);
    Vec2 drawn = drawnAt(prediction);
    EXPECT_EQ(drawn, start);  // nothing snaps
    int frames = 0;
    for (; frames < 30 && !(drawn == match.ships[0].position); ++frames) {
        predictionFrame(prediction, DT);
        const Vec2 next = drawnAt(prediction);
        EXPECT_LE(gap(next, drawn), 3.0f);
        drawn = next;
    }
    EXPECT_GE(frames, 6);   // over about 0.1 s, not less
    EXPECT_LE(frames, 15);

    match.ships[0].position = start + Vec2(30.0 + PREDICTION_SNAP_DISTANCE + 1.0, 0.0);
    predictionSnapshot(prediction, match, 1.5, 0.1);
    EXPECT_EQ(drawnAt(prediction), match.ships[0].position);
}

TEST(Prediction, ACopyInSlotTwoPredictsNothing)
{
    MatchState match = test::startState();
    Prediction prediction;
    predictionReset(prediction, 2);
    predictionControl(prediction, KEY_UP, 1.0);
    predictionSnapshot(prediction, match, 1.05, 0.1);
    predictionFrame(prediction, DT);
    Ship out = match.ships[0];
    out.position = Vec2(123.0, 456.0);
    EXPECT_FALSE(predictionShip(prediction, out));
    EXPECT_EQ(out.position, Vec2(123.0, 456.0));
    EXPECT_EQ(prediction.words.count, 0);
}

}  // namespace
}  // namespace netduel
