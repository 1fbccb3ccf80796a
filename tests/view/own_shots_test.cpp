// Own shots through the client view, against a host stepping the real simulation on a
// link of a fixed delay: the shot leaves the drawn muzzle in the frame its word leaves
// in, the host's bullet takes it over in the same slot without a jump, a shot the shared
// cooldown refused vanishes, and a copy that steers no ship predicts none.
#include <algorithm>
#include <cmath>
#include <deque>
#include <initializer_list>
#include <utility>
#include <vector>

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

// A copy fires from (500, 400), nose up, at each of `fired` (s); a snapshot at `now`, the
// own ship LEAD s ahead of it, holds one host bullet of the own ship flying `heading`,
// fired at `hostFired` in the own ship's time frame and drawn at `target` now. Returns the
// index in `fired` of the predicted shot it took over, -1 for none.
constexpr double LEAD = 0.05;
int predictedShotTakenOver(std::initializer_list<double> fired, double now, double heading, double hostFired,
                           Vec2 target)
{
    OwnShots shots;
    Ship drawn;
    drawn.position = Vec2(500.0f, 400.0f);
    std::vector<int> slots;  // of each predicted shot
    for (const double at : fired) {
        ownShotsControl(shots, KEY_FIRE, at);
        ownShotsFrame(shots, drawn, 0.0f, 1.0, at);
        for (int j = 0; j < BULLETS_PER_SHIP; ++j)
            if (shots.shots[j].used && std::find(slots.begin(), slots.end(), j) == slots.end()) slots.push_back(j);
    }
    const Vec2 nose = shipFacing(heading);
    MatchState snapshot = test::startState();
    Bullet& host = snapshot.ships[0].bullets[0];
    host = bulletSpawn(Vec2(), heading);
    host.position = target - nose * (BULLET_SPEED * LEAD);
    const double age = now - LEAD - hostFired;
    snapshot.ships[0].position = host.position - nose * (MUZZLE_OFFSET + BULLET_SPEED * age);
    ownShotsSnapshot(shots, snapshot, 0, LEAD, now);
    for (int i = 0; i < int(slots.size()); ++i)
        if (shots.shots[slots[i]].hostSlot == 0) return i;
    return -1;
}

// Where the predicted shot fired at 10 s is drawn at `now`.
Vec2 predictedAt(double now, double fired = 10.0)
{
    return bulletFlown(bulletSpawn(Vec2(500.0f, 400.0f), 0.0), now - fired);
}

// A host bullet takes over the predicted shot it answers: flying its way within the turn
// of three lost steering words, and near it in time or in place, not past the snap.
TEST(OwnShotsTakeover, OnlyAHostBulletFlyingThePredictedShotsWayAndNearItInTimeOrPlaceTakesItOver)
{
    const Vec2 drawn = predictedAt(10.1);
    const Vec2 aside(1.0f, 0.0f);
    const float between = (OWN_SHOT_MATCH_DISTANCE + OWN_SHOT_SNAP_DISTANCE) / 2;
    const double late = 1.5 * OWN_SHOT_MATCH_TIME;
    const struct {
        const char* what;
        double heading, hostFired;
        Vec2 target;
        bool taken;
    } cases[] = {
        {"on its line, in time and in place", 0.0, 10.0, drawn, true},
        {"turned by three lost words", 0.4, 10.0, drawn, true},
        {"turned further", 0.5, 10.0, drawn, false},
        {"flying across it", 1.5707963, 10.0, drawn, false},
        {"flying back", 3.1415926, 10.0, drawn, false},
        {"late, but near in place", 0.0, 10.0 - late, drawn + aside * (OWN_SHOT_MATCH_DISTANCE / 2), true},
        {"in time, farther off", 0.0, 10.0, drawn + aside * between, true},
        {"late and farther off", 0.0, 10.0 - late, drawn + aside * between, false},
        {"in time, past the snap", 0.0, 10.0, drawn + aside * (OWN_SHOT_SNAP_DISTANCE + 5.0f), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(predictedShotTakenOver({10.0}, 10.1, c.heading, c.hostFired, c.target) == 0, c.taken) << c.what;
}

// Two predicted shots a cooldown apart, the host's bullet as old as the first and drawn
// where the second is: it is the first one's, which it answers in time.
TEST(OwnShotsTakeover, OfTwoCandidatesTheOneNearerInTimeWinsOverTheOneNearerInPlace)
{
    const double second = 10.0 + FIRE_COOLDOWN + 0.01;
    ASSERT_LT(distance(predictedAt(10.2), predictedAt(10.2, second)), OWN_SHOT_SNAP_DISTANCE);
    EXPECT_EQ(predictedShotTakenOver({10.0, second}, 10.2, 0.0, 10.0, predictedAt(10.2, second)), 0);
    EXPECT_EQ(predictedShotTakenOver({10.0, second}, 10.2, 0.0, second, predictedAt(10.2)), 1);
}

}  // namespace
}  // namespace netduel
