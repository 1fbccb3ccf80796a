// Computer player's decisions as pure functions: where it aims at a moving ship, when it
// fires, how it turns (and remembers the turns it sent), walls and bullets it gets away
// from, and the pace of its words.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "bot/bot_brain.h"
#include "duel/packet_handlers.h"
#include "duel/simulate.h"

namespace netduel {
namespace {

constexpr double PI = std::numbers::pi;
constexpr int OWN = 1;
constexpr int ENEMY = 0;

// A brain at `level` that has seen the enemy at `enemy` and itself at `own` with `heading`,
// both at rest, in one snapshot at time 0 (and an equal one 0.2 s before).
struct Scene {
    BotBrain brain;
    MatchState match;

    Scene(Vec2 own, double heading, Vec2 enemy, BotLevel level = botLevel(3))
    {
        botBrainReset(brain, level, 7);
        matchStateInit(match);
        match.ships[OWN].position = own;
        match.ships[OWN].heading = static_cast<float>(heading);
        match.ships[ENEMY].position = enemy;
        see(-0.2);
        see(0.0);
    }
    void see(double now) { botBrainSee(brain, match, 0, OWN, now); }
    KeyFlags decide(double now)
    {
        const auto word = botBrainDecide(brain, OWN, now);
        return word ? *word : 0;
    }
};

BotTrack moving(Vec2 position, Vec2 velocity, double turning = 0.0)
{
    BotTrack track;
    track.position = position;
    track.velocity = velocity;
    track.turning = turning;
    return track;
}

TEST(BotAim, LeadsAMovingShipSoThatTheBulletAndTheShipMeet)
{
    const BotTrack track = moving({600.0f, 400.0f}, {0.0f, 120.0f});
    const Vec2 shooter{300.0f, 400.0f};
    const Vec2 aim = botAimPoint(track, shooter, 0.1, true, false);
    const double flight = (distance(shooter, aim) - MUZZLE_OFFSET) / BULLET_SPEED;
    EXPECT_NEAR(aim.x, 600.0, 0.01);
    EXPECT_NEAR(aim.y, 400.0 + 120.0 * (0.1 + flight), 0.5);
    EXPECT_GT(aim.y, 500.0f);  // not where it is: 300 px at 350 px/s is most of a second
    EXPECT_EQ(botAimPoint(track, shooter, 0.1, false, false), track.position);
    // Aimed so, the shot meets it; aimed at where it is, it passes far behind.
    EXPECT_LT(botShotMiss(track, shooter, shipHeadingAlong(aim - shooter), 0.1, false), 3.0f);
    EXPECT_GT(botShotMiss(track, shooter, shipHeadingAlong(track.position - shooter), 0.1, false), 50.0f);
}

TEST(BotAim, ATurningShipIsExpectedOnItsCircleAndNeverPastTheWalls)
{
    // 200 px/s turning at 2 rad/s: a circle of 100 px radius, across it after half a turn.
    const BotTrack circling = moving({500.0f, 400.0f}, {0.0f, -200.0f}, 2.0);
    EXPECT_NEAR(distance(botTrackAt(circling, PI / 2.0, true), circling.position), 200.0, 1.0);
    EXPECT_NEAR(distance(botTrackAt(circling, PI, true), circling.position), 0.0, 1.0);
    EXPECT_NEAR(distance(botTrackAt(circling, 1.0, false), circling.position), 200.0, 1.0);  // straight on
    const Vec2 kept = botTrackAt(moving({20.0f, 400.0f}, {-300.0f, 0.0f}), 1.0, false);
    EXPECT_EQ(kept.x, SHIP_MIN_X);
}

TEST(BotAim, AShotDeadAheadMeetsAStillTarget)
{
    const Vec2 from{500.0f, 400.0f};
    // A still target dead ahead is met; 0.1 rad off at 300 px passes 30 px wide.
    const BotTrack still = moving({500.0f, 100.0f}, {});
    EXPECT_LT(botShotMiss(still, from, 0.0, 0.0, false), 1.0f);
    EXPECT_NEAR(botShotMiss(still, from, 0.1, 0.0, false), 300.0 * std::sin(0.1), 1.5);
}

TEST(BotAim, ItsTurnQuantaAreWhatTheHostsStepsTurnAShip)
{
    for (const KeyFlags word : {KEY_LEFT, KEY_RIGHT}) {
        Ship ship;
        shipApplyControl(ship, word);
        shipStepMotion(ship, -BOT_STEP);
        const float sense = word == KEY_LEFT ? 1.0f : -1.0f;
        EXPECT_FLOAT_EQ(ship.heading, sense * BOT_TURN_FIRST_STEP);
        for (int i = 0; i < 10; ++i) shipStepMotion(ship, -BOT_STEP);
        EXPECT_FLOAT_EQ(ship.heading, sense * BOT_TURN_QUANTUM);
    }
}

TEST(BotDecide, FiresWhenTheShotMeetsTheEnemyAndTurnsTowardsItOtherwise)
{
    Scene aimed({600.0f, 400.0f}, PI / 2.0, {450.0f, 400.0f});  // nose left, enemy left
    EXPECT_TRUE(aimed.decide(0.0) & KEY_FIRE);

    Scene above({600.0f, 400.0f}, PI / 2.0, {600.0f, 250.0f});  // the enemy straight up
    const KeyFlags word = above.decide(0.0);
    EXPECT_FALSE(word & KEY_FIRE);
    EXPECT_EQ(word & (KEY_LEFT | KEY_RIGHT), KEY_RIGHT);  // heading falls towards 0
    Scene below({600.0f, 400.0f}, PI / 2.0, {600.0f, 550.0f});
    EXPECT_EQ(below.decide(0.0) & (KEY_LEFT | KEY_RIGHT), KEY_LEFT);
}

TEST(BotDecide, ATurnItSentCountsUntilTheSnapshotsShowIt)
{
    // The enemy one turn quantum round: one LEFT word, then no second while the first is
    // not yet visible in what it has seen.
    const Vec2 own{600.0f, 400.0f};
    const double heading = PI / 2.0;
    const double bearing = heading + BOT_TURN_QUANTUM;
    const Vec2 enemy(own.x - 300.0 * std::sin(bearing), own.y - 300.0 * std::cos(bearing));
    BotLevel level = botLevel(3);
    level.shootsWhileTurning = false;
    Scene scene(own, heading, enemy, level);
    EXPECT_EQ(scene.decide(0.0) & (KEY_LEFT | KEY_RIGHT), KEY_LEFT);
    EXPECT_EQ(scene.decide(BOT_SEND_INTERVAL) & (KEY_LEFT | KEY_RIGHT), 0u);
}

TEST(BotDecide, WordsKeepTheIntervalOfAPersonsCopy)
{
    // Aimed and still: it fires, then has nothing to say until the shot spacing is over.
    Scene scene({600.0f, 400.0f}, PI / 2.0, {450.0f, 400.0f});
    EXPECT_EQ(scene.decide(1.0), KEY_FIRE);
    EXPECT_EQ(scene.decide(1.0 + BOT_SEND_INTERVAL * 0.9), 0u);
    EXPECT_EQ(scene.decide(1.0 + BOT_SEND_INTERVAL), 0u);
    // A snapshot shows its bullet: the shot went out, the spacing holds until it is over.
    Bullet& bullet = scene.match.ships[OWN].bullets[0];
    bullet.position = {585.0f, 400.0f};
    bullet.direction = {1.0f, 0.0f};
    bullet.active = BULLET_ACTIVE;
    scene.see(1.06);
    EXPECT_EQ(scene.decide(1.1), 0u);
    EXPECT_EQ(scene.decide(1.0 + BOT_SHOT_SPACING), KEY_FIRE);
    // No bullet answers that one: the cooldown was lost, and the next word tries again.
    const double fired = 1.0 + BOT_SHOT_SPACING;
    EXPECT_EQ(scene.decide(fired + BOT_SEND_INTERVAL), 0u);
    EXPECT_EQ(scene.decide(fired + BOT_SHOT_SPACING - 0.001), KEY_FIRE);
    BotBrain blind;  // nothing seen: nothing to say
    botBrainReset(blind, botLevel(3), 1);
    EXPECT_FALSE(botBrainDecide(blind, OWN, 5.0));
    EXPECT_FALSE(botBrainDecide(scene.brain, 2, 5.0));  // slot 2 steers no ship
}

TEST(BotDecide, NeverThrustsIntoAWallAndTurnsAwayFromItAndFromAShipItIsOver)
{
    // Pressed against the left wall with the nose into it, the enemy far to the left side
    // is not worth it: turn towards the middle, no thrust yet.
    Scene pressed({SHIP_MIN_X, 400.0f}, PI / 2.0, {SHIP_MIN_X, 700.0f});
    const KeyFlags turning = pressed.decide(0.0);
    EXPECT_FALSE(turning & KEY_UP);
    EXPECT_NE(turning & (KEY_LEFT | KEY_RIGHT), 0u);
    // Nose towards the middle: off it goes.
    Scene free({SHIP_MIN_X, 400.0f}, -PI / 2.0, {SHIP_MIN_X, 700.0f});
    EXPECT_TRUE(free.decide(0.0) & KEY_UP);
    // Far from the enemy in the open, nose on it: it closes in.
    Scene far({900.0f, 400.0f}, PI / 2.0, {100.0f, 400.0f});
    EXPECT_TRUE(far.decide(0.0) & KEY_UP);
    // Already at its fighting distance: it holds.
    Scene near({600.0f, 400.0f}, PI / 2.0, {500.0f, 400.0f});
    EXPECT_FALSE(near.decide(0.0) & KEY_UP);
    // Right over the enemy, where its bullets would leave the muzzle past it: it turns
    // away, and off it goes once its nose points away.
    Scene over({600.0f, 400.0f}, PI / 2.0, {594.0f, 400.0f});
    const KeyFlags turningAway = over.decide(0.0);
    EXPECT_FALSE(turningAway & (KEY_UP | KEY_FIRE));
    EXPECT_NE(turningAway & (KEY_LEFT | KEY_RIGHT), 0u);
    Scene away({600.0f, 400.0f}, -PI / 2.0, {594.0f, 400.0f});
    EXPECT_TRUE(away.decide(0.0) & KEY_UP);
}

TEST(BotDecide, ComesCloserWhenItsShotsHaveHitNothingForAWhile)
{
    // 100 px off with its nose on the enemy, firing all along: it holds while its shots
    // hit (the enemy's flash counter starts again), and closes in once none has for a while.
    for (const bool hitting : {true, false}) {
        Scene scene({600.0f, 400.0f}, PI / 2.0, {500.0f, 400.0f});
        KeyFlags word = 0;
        for (int i = 1; i * 0.25 < BOT_HITLESS_SECONDS + 0.5; ++i) {
            scene.match.ships[ENEMY].hitCounter = hitting && i % 2 ? 1 : 0;
            scene.see(i * 0.25);
            word = scene.decide(i * 0.25 + 0.01);
            ASSERT_TRUE(word & KEY_FIRE);
        }
        EXPECT_EQ(bool(word & KEY_UP), !hitting);
    }
}

TEST(BotDecide, ThrustsOutOfTheWayOfABulletComingStraightAtIt)
{
    // Nose up, a bullet coming from the left along the ship's row: thrust moves it off.
    Scene scene({600.0f, 400.0f}, 0.0, {600.0f, 300.0f}, botLevel(3));
    Bullet& bullet = scene.match.ships[ENEMY].bullets[0];
    bullet.position = {500.0f, 400.0f};
    bullet.direction = {-1.0f, 0.0f};  // flies towards +x
    bullet.active = BULLET_ACTIVE;
    scene.see(0.01);
    EXPECT_TRUE(scene.decide(0.01) & KEY_UP);
    Scene calm({600.0f, 400.0f}, 0.0, {600.0f, 300.0f}, botLevel(3));  // the same, no bullet
    EXPECT_FALSE(calm.decide(0.01) & KEY_UP);
}

TEST(BotLevels, TheHigherLevelReactsSoonerAimsTruerAndFiresMoreSparingly)
{
    const BotLevel one = botLevel(1), two = botLevel(2), three = botLevel(3);
    EXPECT_GT(one.reactionDelay, two.reactionDelay);
    EXPECT_GT(two.reactionDelay, three.reactionDelay);
    EXPECT_GT(one.aimWobble, two.aimWobble);
    EXPECT_GT(two.aimWobble, three.aimWobble);
    EXPECT_GT(one.fireMiss, three.fireMiss);
    EXPECT_LT(three.fireMiss, SHIP_RADIUS);  // it fires only at what it hits
    EXPECT_EQ(botLevel(0).fireMiss, two.fireMiss);

    // Level 1 does not act on a snapshot (the first came at −0.2 s) before its reaction
    // delay has passed; level 3 acts at once.
    Scene slow({600.0f, 400.0f}, PI / 2.0, {450.0f, 400.0f}, one);
    EXPECT_EQ(slow.decide(0.01), 0u);
    EXPECT_NE(slow.decide(-0.2 + one.reactionDelay + 0.01), 0u);
    Scene quick({600.0f, 400.0f}, PI / 2.0, {450.0f, 400.0f}, three);
    EXPECT_NE(quick.decide(0.01), 0u);
}

}  // namespace
}  // namespace netduel
