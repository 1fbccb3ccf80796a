// The words a copy sends: a press of fire leaves in the frame that saw it, whatever else is
// held, and fires once; held keys keep the cadence (every second frame, 0.05 s apart).
#include "view/control_outbox.h"

#include <gtest/gtest.h>

#include <vector>

namespace netduel {
namespace {

struct Sent {
    int frame = 0;
    double time = 0.0;
    KeyFlags word = 0;
};

// Frames at `rate` per second for `seconds`, `held` throughout; a key in `taps` is pressed
// and let go within frame f for every f in `tapFrames`.
std::vector<Sent> play(double rate, double seconds, KeyFlags held, KeyFlags taps, const std::vector<int>& tapFrames)
{
    ControlOutbox outbox;
    controlOutboxReset(outbox);
    std::vector<Sent> sent;
    bool toggle = true;
    std::size_t nextTap = 0;
    for (int frame = 0; frame < int(seconds * rate); ++frame) {
        toggle = !toggle;  // the first frame is no sending one, as in the game
        const double now = 1.0 + frame / rate;
        if (nextTap < tapFrames.size() && tapFrames[nextTap] == frame) {
            controlOutboxPress(outbox, taps);
            ++nextTap;
        }
        if (const auto word = controlOutboxDue(outbox, held, toggle, now)) sent.push_back({frame, now, *word});
    }
    return sent;
}

TEST(ControlOutbox, APressOfFireLeavesInItsOwnFrameWithTheTurnHeldAndFiresOnce)
{
    for (const double rate : {60.0, 144.0}) {
        const std::vector<Sent> turning = play(rate, 1.0, KEY_LEFT, 0, {});
        ASSERT_GE(turning.size(), 3u);
        // The worst frame for the cadence: the one right after a word, which sends nothing.
        const int press = turning[1].frame + 1;
        const std::vector<Sent> sent = play(rate, 1.0, KEY_LEFT, KEY_FIRE, {press});
        int firing = 0;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            if (!(sent[i].word & KEY_FIRE)) continue;
            ++firing;
            EXPECT_EQ(sent[i].frame, press) << rate;
            EXPECT_EQ(sent[i].word, KEY_LEFT | KEY_FIRE) << rate;
            // The cadence goes on from the shot's word.
            ASSERT_LT(i + 1, sent.size());
            EXPECT_GT(sent[i + 1].time - sent[i].time, CONTROL_SEND_INTERVAL) << rate;
            EXPECT_EQ(sent[i + 1].word, KEY_LEFT) << rate;
        }
        EXPECT_EQ(firing, 1) << rate;
        // A tap of a turn or of thrust still waits for the cadence.
        const std::vector<Sent> thrust = play(rate, 1.0, KEY_LEFT, KEY_UP, {press});
        for (const Sent& s : thrust) EXPECT_NE(s.frame, press) << rate;
    }
}

TEST(ControlOutbox, HeldKeysKeepTheCadenceAndEachPressAddsAtMostOneWord)
{
    for (const double rate : {60.0, 144.0}) {
        const std::vector<Sent> held = play(rate, 3.0, KEY_LEFT | KEY_FIRE, 0, {});
        for (std::size_t i = 1; i < held.size(); ++i) {
            EXPECT_GT(held[i].time - held[i - 1].time, CONTROL_SEND_INTERVAL) << rate;
            EXPECT_EQ(held[i].frame % 2, 1) << rate;  // sending frames only
        }
        // Its count is the cadence's: one word a sending frame past the interval.
        const int framesApart = held[1].frame - held[0].frame;
        EXPECT_EQ(int(held.size()), (int(3.0 * rate) - 1 - held[0].frame) / framesApart + 1) << rate;
        // X tapped every 0.45 s over the turn held: each press one word more at most.
        std::vector<int> taps;
        for (double t = 0.1; t < 3.0; t += 0.45) taps.push_back(int(t * rate));
        const std::vector<Sent> shooting = play(rate, 3.0, KEY_LEFT, KEY_FIRE, taps);
        const std::vector<Sent> turning = play(rate, 3.0, KEY_LEFT, 0, {});
        EXPECT_EQ(turning.size(), held.size()) << rate;
        EXPECT_LE(shooting.size(), turning.size() + taps.size()) << rate;
        int firing = 0;
        for (const Sent& s : shooting) firing += (s.word & KEY_FIRE) != 0;
        EXPECT_EQ(firing, int(taps.size())) << rate;
    }
}

}  // namespace
}  // namespace netduel
