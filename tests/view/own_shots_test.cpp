// Own shots through the client view, against a host stepping the real simulation on a
// link of a fixed delay: the shot leaves the drawn muzzle in the frame its word leaves
// in, the host's bullet takes it over in the same slot without a jump, a shot the shared
// cooldown refused vanishes, and a copy that steers no ship predicts none.
#include <cmath>
#include <deque>
#include <utility>

#include <gtest/gtest.h>

#include "duel/duel_fixture.h"
#include "duel/packet_handlers.h"
#include "view/client_view.h"

namespace netduel {
namespace {

using test::DT;

constexpr double DELAY = 0.06;  // s one way
constexpr double START = 100.0; // s on the pinned clock

Vec2 muzzleOf(const Ship& ship)
{
    return ship.position - Vec2(std::sin(double(ship.heading)), std::cos(double(ship.heading))) * MUZZLE_OFFSET;
}

int activeBullets(const Ship& ship)
{
    int n = 0;
    for (const Bullet& b : ship.bullets) n += b.active != 0;
    return n;
}

// The host at 60 frames/s and a copy steering ship 0 a half frame after it. The copy
// circles and sends fire with the word of frame `fireFrame`; with `otherFirst`, the host
// has ship 1 fire 0.04 s before that word arrives.
struct ShotDuel {
    MatchState host = test::startState();
    MatchState match;
    bool hostFired[SHIP_COUNT] = {};
    ClientView view;
    std::vector<MatchState> drawn;
    std::vector<double> times;
    int fireFrame = 40;

    void run(int slot, bool otherFirst, int frames)
    {
        nextShotTime = 0.0;
        host.ships[0].position = Vec2(512.0f, 600.0f);  // its bullets stay in play to the end
        clientViewReset(view, &match);
        clientViewSetSlot(view, slot);
        view.roundTrip = 2 * DELAY;
        std::deque<std::pair<double, KeyFlags>> words;
        std::deque<std::pair<double, Snapshot>> snapshots;
        double carry = 0.0;
        double otherFires = -1.0;
        for (int frame = 1; frame <= frames; ++frame) {
            const double hostNow = START + frame * -DT;
            timerSetManual(hostNow);
            if (otherFires > 0.0 && hostNow >= otherFires) {
                shipApplyControl(host.ships[1], KEY_FIRE);
                otherFires = -1.0;
            }
            simulateFrame(host, DT, carry);
            for (int i = 0; i < SHIP_COUNT; ++i) hostFired[i] = hostFired[i] || activeBullets(host.ships[i]) > 0;
            if (frame % 2 == 0) {
                Snapshot bytes = snapshotEncode(host);
                snapshotStampWrite(bytes, static_cast<std::uint32_t>(hostNow * 1000.0));
                snapshots.emplace_back(hostNow + DELAY, bytes);
            }
            for (; !words.empty() && words.front().first <= hostNow; words.pop_front())
                shipApplyControl(host.ships[0], words.front().second);
            const double now = hostNow - DT / 2;
            for (; !snapshots.empty() && snapshots.front().first <= now; snapshots.pop_front())
                clientViewReceive(view, snapshots.front().second, now);
            if (frame % 4 == 0) {
                const KeyFlags word = KEY_UP | KEY_RIGHT | (frame == fireFrame ? KEY_FIRE : 0);
                clientViewControlSent(view, word, now);
                words.emplace_back(now + DELAY, word);
                if (frame == fireFrame && otherFirst) otherFires = now + DELAY - 0.04;
            }
            drawn.push_back(clientViewFrame(view, DT, now));
            times.push_back(now);
        }
    }
};

class OwnShotsTest : public ::testing::Test {
protected:
    void TearDown() override { timerSetReal(); }
};

TEST_F(OwnShotsTest, TheShotLeavesTheDrawnMuzzleAndTheHostsBulletTakesItOverWithoutAJump)
{
    ShotDuel duel;
    duel.run(0, false, 100);
    const int fired = duel.fireFrame - 1;  // the frame index whose word carried fire
    ASSERT_EQ(activeBullets(duel.drawn[fired - 1].ships[0]), 0);
    ASSERT_EQ(activeBullets(duel.drawn[fired].ships[0]), 1);
    int slot = 0;
    while (!duel.drawn[fired].ships[0].bullets[slot].active) ++slot;
    EXPECT_LT(distance(duel.drawn[fired].ships[0].bullets[slot].position, muzzleOf(duel.drawn[fired].ships[0])),
              0.01f);
    // It stays in its slot, flying on, past the moment the host's bullet reached the copy.
    for (std::size_t f = fired + 1; f < duel.drawn.size(); ++f) {
        const Bullet& was = duel.drawn[f - 1].ships[0].bullets[slot];
        const Bullet& is = duel.drawn[f].ships[0].bullets[slot];
        ASSERT_TRUE(is.active) << f;
        const Vec2 flown = was.position + is.direction * -BULLET_SPEED * (duel.times[f] - duel.times[f - 1]);
        EXPECT_LT(distance(flown, is.position), 3.0f) << f;
    }
    EXPECT_EQ(duel.view.shots.shots[slot].hostSlot, 0);  // followed the host's
    EXPECT_EQ(activeBullets(duel.drawn.back().ships[0]), 1);
    EXPECT_EQ(duel.view.shots.phantoms, 0);
    // On the host's bullet's line, further along by the time the host takes to hear a
    // word: the own ship's time frame is that far ahead of the host's (the one-way delay
    // and the frames a word waits for the host's step).
    const Bullet& host = duel.host.ships[0].bullets[0];
    const Vec2 off = duel.drawn.back().ships[0].bullets[slot].position - host.position;
    const Vec2 along = host.direction * -1.0f;
    EXPECT_LT(std::fabs(cross(off, along)), 1.0f);
    EXPECT_GT(dot(off, along) / BULLET_SPEED, DELAY);
    EXPECT_LT(dot(off, along) / BULLET_SPEED, DELAY + 3 * -DT);
}

TEST_F(OwnShotsTest, AShotTheSharedCooldownRefusedVanishesWithinTheRoundTripAndALittleMore)
{
    ShotDuel duel;
    duel.run(0, true, 120);
    ASSERT_FALSE(duel.hostFired[0]);  // the host refused it
    ASSERT_TRUE(duel.hostFired[1]);
    const int fired = duel.fireFrame - 1;
    ASSERT_EQ(activeBullets(duel.drawn[fired].ships[0]), 1);
    std::size_t gone = fired;
    while (gone < duel.drawn.size() && activeBullets(duel.drawn[gone].ships[0]) > 0) ++gone;
    ASSERT_LT(gone, duel.drawn.size());
    EXPECT_LE(duel.times[gone] - duel.times[fired], 2 * DELAY + OWN_SHOT_GIVE_UP + 0.02);
    EXPECT_EQ(duel.view.shots.phantoms, 1);
    for (std::size_t f = gone; f < duel.drawn.size(); ++f) EXPECT_EQ(activeBullets(duel.drawn[f].ships[0]), 0) << f;
}

TEST_F(OwnShotsTest, ACopyThatSteersNoShipOrPredictsNothingDrawsTheHostsBulletsLate)
{
    for (const bool predicting : {false, true}) {
        ShotDuel duel;
        duel.view.prediction = predicting;
        duel.run(predicting ? 2 : 0, false, 80);
        const int fired = duel.fireFrame - 1;
        for (int f = fired; f < fired + 6; ++f)  // the host's bullet is a round trip away
            EXPECT_EQ(activeBullets(duel.drawn[f].ships[0]), 0) << predicting << " " << f;
        EXPECT_EQ(activeBullets(duel.drawn.back().ships[0]), 1) << predicting;
    }
}

}  // namespace
}  // namespace netduel
