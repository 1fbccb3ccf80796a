// Client view: every snapshot still lands whole in the match, and the frame draws the
// own ship from the prediction (only for ship 0 or 1, only while prediction is on).
#include <vector>

#include <gtest/gtest.h>

#include "base/timer.h"
#include "duel/duel_fixture.h"
#include "view/client_view.h"
#include "view/control_outbox.h"

namespace netduel {
namespace {

class ClientViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        timerSetManual(10.0);
        clientViewReset(view, &match);
    }
    void TearDown() override { timerSetReal(); }

    // The host's start state, sent at `hostTime` (s) and arriving at once.
    void deliver(double hostTime)
    {
        Snapshot bytes = snapshotEncode(test::startState());
        snapshotStampWrite(bytes, static_cast<std::uint32_t>(hostTime * 1000.0));
        ASSERT_TRUE(clientViewReceive(view, bytes, hostTime));
    }

    MatchState match;
    ClientView view;
};

// The view replays the other copy's held key on controlWordFrames' cadence: the outbox
// must send it so at any display rate.
TEST(ControlOutbox, AHeldKeysWordsComeAsManyFramesApartAsTheViewExpects)
{
    for (const double frame : {1.0 / 60, 1.0 / 30, 1.0 / 50, 1.0 / 144}) {
        ControlOutbox outbox;
        bool sending = false;
        int last = 0, words = 0;
        for (int n = 1; n <= 400; ++n) {
            sending = !sending;
            if (!controlOutboxDue(outbox, KEY_UP, sending, 100.0 + n * frame)) continue;
            if (words++ > 0) {
                EXPECT_EQ(n - last, controlWordFrames(frame)) << frame << " " << n;
            }
            last = n;
        }
        EXPECT_GT(words, 400 / controlWordFrames(frame) - 1) << frame;
    }
}

// Every ship field the host sends lands, a longer payload's tail is ignored, and the rest
// of the match stays this copy's own.
TEST_F(ClientViewTest, ASnapshotReplacesEveryShipFieldAndNothingElse)
{
    MatchState host = test::startState();
    for (Ship& ship : host.ships) {
        ship.speed = 250.0f;
        ship.heading = 1.25f;
        ship.turnRate = -5.0f;
        ship.bullets[9] = {Vec2(3.0f, 4.0f), Vec2(0.0f, 1.0f), BULLET_ACTIVE};
        ship.fireRequest = FIRE_REQUESTED;
        ship.hitCounter = 7;
        ship.colour = 0xFFABCDEFu;
    }
    const Snapshot bytes = snapshotEncode(host);
    std::vector<std::uint8_t> longer(bytes.begin(), bytes.end());
    longer.push_back(0x5A);
    match.reserved = 9;
    match.pairs[2].first = Vec2(1.0f, 2.0f);
    EXPECT_TRUE(clientViewReceive(view, longer, 10.0));
    EXPECT_EQ(snapshotEncode(match), bytes);
    EXPECT_EQ(match.reserved, 9);
    EXPECT_EQ(match.pairs[2].first, Vec2(1.0f, 2.0f));
    EXPECT_FALSE(clientViewReceive(view, {}, 10.1));
    EXPECT_EQ(snapshotEncode(match), bytes);
}

TEST_F(ClientViewTest, TheOwnShipMovesInTheFrameAfterItsWordTheOtherWaits)
{
    clientViewSetSlot(view, 0);
    for (int i = 0; i < 4; ++i) deliver(10.0 + i / 30.0);
    EXPECT_EQ(match.ships[1].position, test::startState().ships[1].position);
    const Vec2 start = clientViewFrame(view, -1.0 / 60, 10.1).ships[0].position;
    clientViewControlSent(view, KEY_UP, 10.1);
    const MatchState& drawn = clientViewFrame(view, -1.0 / 60, 10.1 + 1.0 / 60);
    EXPECT_LT(drawn.ships[0].position.y, start.y - 1.0f);
    EXPECT_EQ(drawn.ships[1].position, test::startState().ships[1].position);

    view.prediction = false;
    EXPECT_EQ(clientViewFrame(view, -1.0 / 60, 10.1 + 2.0 / 60).ships[0].position, start);
}

TEST_F(ClientViewTest, ASlotPastTheShipsPredictsNothing)
{
    clientViewSetSlot(view, 2);
    EXPECT_EQ(view.predicted.slot, -1);
    deliver(10.0);
    EXPECT_EQ(view.smoothed.received, 1);
    EXPECT_EQ(match.ships[0].position, test::startState().ships[0].position);
    clientViewControlSent(view, KEY_UP, 10.0);
    EXPECT_EQ(clientViewFrame(view, -1.0 / 60, 10.02).ships[0].position,
              test::startState().ships[0].position);
}

TEST_F(ClientViewTest, ASnapshotIsParsedOnceAndArrivesAtTheClockTheFrameGave)
{
    timerSetManual(50.0);  // the program clock is not the arrival time
    clientViewSetSlot(view, 1);
    match.ships[0].speed = 9.0f;
    deliver(10.0);
    EXPECT_EQ(ringAt(view.smoothed.entries, 0).arrived, 10.0);
    EXPECT_EQ(match.ships[0].speed, 0.0f);
    EXPECT_TRUE(view.predicted.started);

    const Snapshot bytes = snapshotEncode(test::startState());
    match.ships[0].speed = 9.0f;
    EXPECT_FALSE(clientViewReceive(view, std::span(bytes).first(SNAPSHOT_SIZE - 1), 11.0));
    EXPECT_EQ(view.smoothed.received, 1);
    EXPECT_EQ(match.ships[0].speed, 9.0f);

    // Without a match to replace, the smoothed view and the prediction still take it.
    clientViewReset(view, nullptr);
    EXPECT_TRUE(clientViewReceive(view, bytes, 12.0));
    EXPECT_EQ(view.smoothed.received, 1);
    EXPECT_TRUE(view.predicted.started);
}

}  // namespace
}  // namespace netduel
