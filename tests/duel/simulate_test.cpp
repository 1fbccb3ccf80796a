// Simulation step at dt = −1/60 with the clock pinned: turning, gliding, the arena,
// firing under the shared cooldown, the bullet pass, hits and the not-a-number rules.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "duel_fixture.h"

namespace netduel {
namespace {

using test::DT;

class SimulateStep : public ::testing::Test {
protected:
    void SetUp() override
    {
        match = test::startState();
        nextShotTime = 0.0;
        timerSetManual(100.0);
    }
    void TearDown() override
    {
        timerSetReal();
        nextShotTime = 0.0;
    }
    void step() { simulateStep(match, DT); }
    Ship& ship(int i) { return match.ships[i]; }
    int activeBullets(int i)
    {
        int n = 0;
        for (const Bullet& b : match.ships[i].bullets) n += b.active != 0;
        return n;
    }

    MatchState match;
};

TEST_F(SimulateStep, TurnRateDampsAndSnapsToZero)
{
    ship(0).turnRate = -5.0f;
    step();
    EXPECT_NEAR(ship(0).heading, 0.083333, 1e-6);
    EXPECT_FLOAT_EQ(ship(0).turnRate, -1.25f);
    step();
    EXPECT_NEAR(ship(0).heading, 0.104167, 1e-6);
    EXPECT_FLOAT_EQ(ship(0).turnRate, -0.3125f);
    step();
    EXPECT_NEAR(ship(0).heading, 0.109375, 1e-6);
    EXPECT_EQ(ship(0).turnRate, 0.0f);  // −0.078125 snapped
    const float settled = ship(0).heading;
    step();
    step();
    EXPECT_EQ(ship(0).heading, settled);
}

TEST_F(SimulateStep, ThrustMovesTowardsTheNoseAndDecays)
{
    ship(0).speed = 250.0f;
    step();
    EXPECT_FLOAT_EQ(ship(0).position.x, 50.0f);
    EXPECT_NEAR(ship(0).position.y, 379.8333, 1e-4);
    EXPECT_NEAR(ship(0).speed, 208.3333, 1e-4);
    const float y = ship(0).position.y;
    step();
    EXPECT_NEAR(y - ship(0).position.y, 3.4722, 1e-4);
    // Ship 1, untouched, stays put.
    EXPECT_EQ(ship(1).position, Vec2(974.0f, 384.0f));
}

TEST_F(SimulateStep, ATurningShipMovesAlongItsNewHeading)
{
    ship(0).turnRate = -5.0f;
    ship(0).speed = 250.0f;
    step();
    // Heading 0 turned to 1/12 in this step, and the ship moved that way: towards smaller x.
    const double heading = 1.0 / 12.0;
    EXPECT_NEAR(ship(0).heading, heading, 1e-6);
    EXPECT_NEAR(ship(0).position.x, 50.0 - 250.0 / 60.0 * std::sin(heading), 1e-4);
    EXPECT_NEAR(ship(0).position.y, 384.0 - 250.0 / 60.0 * std::cos(heading), 1e-4);
}

TEST_F(SimulateStep, AGlidingShipSlowsButNeverSnapsToRest)
{
    ship(0).speed = 0.09f;  // below the turn rate's snap
    step();
    EXPECT_NEAR(ship(0).speed, 0.075, 1e-7);
    EXPECT_LT(ship(0).position.y, 384.0f);
    for (int i = 0; i < 10; ++i) step();
    EXPECT_GT(ship(0).speed, 0.0f);
}

TEST_F(SimulateStep, ArenaClampsEachAxisStrictly)
{
    ship(0).position = Vec2(5.0f, 800.0f);
    ship(1).position = Vec2(1014.0f, 70.0f);
    step();
    EXPECT_EQ(ship(0).position, Vec2(10.0f, 758.0f));
    EXPECT_EQ(ship(1).position, Vec2(1014.0f, 70.0f));
    ship(0).position = Vec2(2000.0f, -3.0f);
    step();
    EXPECT_EQ(ship(0).position, Vec2(1014.0f, 70.0f));
}

TEST_F(SimulateStep, NotANumberGoesToTheLowerBound)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ship(0).position = Vec2(nan, nan);
    ship(1).turnRate = nan;
    step();
    EXPECT_EQ(ship(0).position, Vec2(10.0f, 70.0f));
    EXPECT_EQ(ship(1).turnRate, 0.0f);

    // A bullet with a NaN coordinate is retired, and its NaN distance counts as a hit.
    ship(0).bullets[0] = Bullet{Vec2(nan, 300.0f), Vec2(0.0f, 1.0f), 255};
    step();
    EXPECT_EQ(ship(0).bullets[0].active, 0);
    EXPECT_EQ(ship(1).hitCounter, 2);  // set to 1 by ship 0's pass, counted up by its own step
}

TEST_F(SimulateStep, FiringPlacesTheBulletAtTheNose)
{
    ship(0).fireRequest = -1;
    step();
    const Bullet& b = ship(0).bullets[0];
    EXPECT_EQ(b.active, 255);
    EXPECT_EQ(b.position, Vec2(50.0f, 369.0f));
    EXPECT_EQ(b.direction, Vec2(0.0f, 1.0f));
    EXPECT_EQ(ship(0).fireRequest, 0);
    EXPECT_DOUBLE_EQ(nextShotTime, 100.0 + FIRE_COOLDOWN);

    // It flies towards smaller y at 350·|dt| a step and retires once its y is below 60.
    int steps = 0;
    float y = b.position.y;
    while (ship(0).bullets[0].active && steps < 200) {
        step();
        ++steps;
        if (ship(0).bullets[0].active) {
            EXPECT_NEAR(y - ship(0).bullets[0].position.y, 350.0 / 60.0, 1e-3);
            y = ship(0).bullets[0].position.y;
            EXPECT_GE(y, 60.0f);
        }
    }
    EXPECT_LT(ship(0).bullets[0].position.y, 60.0f);
    EXPECT_EQ(steps, 53);  // (369 − 60) ÷ (350/60) = 52.97: the 53rd step ends below 60
}

TEST_F(SimulateStep, CooldownIsSharedAndShipZeroIsServedFirst)
{
    ship(0).fireRequest = -1;
    ship(1).fireRequest = -1;
    step();
    EXPECT_EQ(activeBullets(0), 1);
    EXPECT_EQ(activeBullets(1), 0);
    EXPECT_EQ(ship(1).fireRequest, 0);  // dropped, not kept

    timerSetManual(100.05);
    ship(1).fireRequest = -1;
    step();
    EXPECT_EQ(activeBullets(1), 0);

    timerSetManual(100.0 + FIRE_COOLDOWN);  // exactly the end of the cooldown: not yet
    ship(1).fireRequest = -1;
    step();
    EXPECT_EQ(activeBullets(1), 0);

    timerSetManual(100.1001);
    ship(1).fireRequest = -1;
    step();
    EXPECT_EQ(activeBullets(1), 1);
}

TEST_F(SimulateStep, FiringEndsTheBulletPassEarly)
{
    Ship& s = ship(0);
    s.heading = 1.5707964f;  // nose towards smaller x
    s.bullets[0] = Bullet{Vec2(500.0f, 300.0f), Vec2(1.0f, 0.0f), 255};
    s.bullets[1] = Bullet{Vec2(500.0f, 400.0f), Vec2(1.0f, 0.0f), 255};
    s.bullets[3] = Bullet{Vec2(500.0f, 500.0f), Vec2(1.0f, 0.0f), 255};
    s.bullets[4] = Bullet{Vec2(-5.0f, 500.0f), Vec2(1.0f, 0.0f), 255};  // would retire if reached
    s.fireRequest = -1;
    step();
    const float flown = 500.0f - 350.0f / 60.0f;
    EXPECT_FLOAT_EQ(s.bullets[0].position.x, flown);
    EXPECT_FLOAT_EQ(s.bullets[1].position.x, flown);
    EXPECT_EQ(s.bullets[2].active, 255);  // the new bullet, in the lowest free slot
    EXPECT_EQ(s.bullets[3].position.x, 500.0f);  // neither flown …
    EXPECT_EQ(s.bullets[4].active, 255);         // … nor bounds-tested
}

TEST_F(SimulateStep, AllSlotsInFlightDropTheRequest)
{
    for (Bullet& b : ship(1).bullets) b = Bullet{Vec2(500.0f, 400.0f), Vec2(0.0f, 1.0f), 255};
    ship(1).fireRequest = -1;
    step();
    EXPECT_EQ(activeBullets(1), 10);
    EXPECT_EQ(nextShotTime, 0.0);
    EXPECT_EQ(ship(1).fireRequest, 0);
}

TEST_F(SimulateStep, HitBoundaryIsTenPixels)
{
    // Ship 1 is tested after ship 0 moved; ship 0 sits still here, so positions are exact.
    ship(1).bullets[0] = Bullet{Vec2(50.0f, 374.0f), Vec2(0.0f, 0.0f), 255};  // exactly 10 away
    step();
    EXPECT_EQ(ship(0).hitCounter, 0);
    ship(1).bullets[0].position = Vec2(50.0f, 374.01f);  // 9.99 away
    step();
    EXPECT_EQ(ship(0).hitCounter, 1);
    // A hit does not retire the bullet, and a ship's own bullets never hit it.
    EXPECT_EQ(ship(1).bullets[0].active, 255);
    EXPECT_EQ(ship(1).hitCounter, 0);
}

TEST_F(SimulateStep, HitTestUsesTheBulletWhereItWasBeforeItsFlight)
{
    // 9 px below ship 0 and flying away (14.8 px after the step): a hit.
    ship(1).bullets[0] = Bullet{Vec2(50.0f, 393.0f), Vec2(0.0f, -1.0f), 255};
    step();
    EXPECT_EQ(ship(0).hitCounter, 1);
    EXPECT_NEAR(ship(1).bullets[0].position.y, 393.0 + 350.0 / 60.0, 1e-4);

    // 12 px below and flying closer (6.2 px after the step): no hit until the next step.
    ship(0).hitCounter = 0;
    ship(1).bullets[0] = Bullet{Vec2(50.0f, 396.0f), Vec2(0.0f, 1.0f), 255};
    step();
    EXPECT_EQ(ship(0).hitCounter, 0);
    step();
    EXPECT_EQ(ship(0).hitCounter, 1);
}

TEST_F(SimulateStep, BulletsLeavePlayOnlyBeyondTheFieldsEdges)
{
    // Standing bullets (no direction) on and just inside the edges stay in play.
    const Vec2 stay[] = {{0.0f, 300.0f},  {5.0f, 300.0f},   {1020.0f, 300.0f}, {1024.0f, 300.0f},
                         {500.0f, 60.0f}, {500.0f, 763.0f}, {500.0f, 768.0f}};
    const Vec2 leave[] = {{-0.01f, 300.0f}, {1024.01f, 300.0f}, {500.0f, 59.99f}, {500.0f, 768.01f}};
    Bullet* slot = ship(0).bullets;
    for (Vec2 p : stay) *slot++ = Bullet{p, Vec2(0.0f, 0.0f), 255};
    slot = ship(1).bullets;
    for (Vec2 p : leave) *slot++ = Bullet{p, Vec2(0.0f, 0.0f), 255};
    step();
    for (int j = 0; j < 7; ++j) EXPECT_EQ(ship(0).bullets[j].active, 255) << j;
    for (int j = 0; j < 4; ++j) EXPECT_EQ(ship(1).bullets[j].active, 0) << j;
}

TEST_F(SimulateStep, HitCounterRunsOneToTenThenZero)
{
    ship(1).bullets[0] = Bullet{Vec2(50.0f, 380.0f), Vec2(0.0f, 0.0f), 255};
    step();
    EXPECT_EQ(ship(0).hitCounter, 1);
    ship(1).bullets[0].active = 0;
    for (int expected = 2; expected <= 10; ++expected) {
        step();
        EXPECT_EQ(ship(0).hitCounter, expected);
    }
    step();
    EXPECT_EQ(ship(0).hitCounter, 0);
    step();
    EXPECT_EQ(ship(0).hitCounter, 0);
}

// The view and the computer player fly, place and date bullets with these: each must agree
// with what the host's own steps do to a shot, at every heading.
TEST_F(SimulateStep, ABulletsSpawnFlightAndAgeAreTheHostsOwn)
{
    const struct {
        float heading;  // rad
        Vec2 nose;      // the way the nose points
    } table[] = {{0.0f, {0.0f, -1.0f}}, {1.5707964f, {-1.0f, 0.0f}}, {-1.5707964f, {1.0f, 0.0f}},
                 {3.1415927f, {0.0f, 1.0f}}, {0.7853982f, {-0.70710677f, -0.70710677f}}};
    for (const auto& row : table) {
        match = test::startState();
        nextShotTime = 0.0;
        ship(0).position = Vec2(500.0f, 400.0f);
        ship(0).heading = row.heading;
        EXPECT_NEAR(shipFacing(row.heading).x, row.nose.x, 1e-6) << row.heading;
        EXPECT_NEAR(shipFacing(row.heading).y, row.nose.y, 1e-6) << row.heading;
        EXPECT_NEAR(std::remainder(shipHeadingAlong(row.nose * 7.0f) - row.heading, 2 * M_PI), 0.0, 1e-6);
        ship(0).fireRequest = -1;
        step();
        const Bullet fired = ship(0).bullets[0];
        const Bullet spawned = bulletSpawn(Vec2(500.0f, 400.0f), row.heading);
        EXPECT_EQ(fired.position, spawned.position) << row.heading;
        EXPECT_EQ(fired.direction, spawned.direction) << row.heading;
        EXPECT_NEAR(distance(spawned.position, Vec2(500.0f, 400.0f) + row.nose * MUZZLE_OFFSET), 0.0f, 1e-4);
        EXPECT_NEAR(bulletAge(fired, ship(0).position), 0.0, 1e-6);
        for (int n = 1; n <= 3; ++n) step();
        const Bullet& flown = ship(0).bullets[0];
        EXPECT_NEAR(distance(bulletFlown(fired, 3 * -DT), flown.position), 0.0f, 1e-3) << row.heading;
        EXPECT_NEAR(bulletAge(flown, Vec2(500.0f, 400.0f)), 3 * -DT, 1e-5) << row.heading;
        EXPECT_NEAR(bulletAge(fired, bulletFlown(fired, 0.1) - row.nose * MUZZLE_OFFSET), -0.1, 1e-5);
    }
}

// Snapshots every second step of a ship that fires whenever the cooldown lets it, its
// slots refilled as bullets leave play: each shot shows as one new bullet, and only once.
TEST_F(SimulateStep, EachShotIsOneNewBulletInTheSnapshotsThatFollow)
{
    ship(0).position = Vec2(300.0f, 700.0f);
    ship(0).turnRate = 0.0f;
    int fired = 0, seen = 0;
    MatchState before = match;
    for (int n = 1; n <= 600; ++n) {
        timerSetManual(100.0 + n * -DT);
        const double cooldown = nextShotTime;
        ship(0).fireRequest = -1;
        ship(0).heading = toF32(0.3 * std::sin(n * 0.05));  // now and then a shot near the last one's line
        step();
        fired += nextShotTime != cooldown;
        if (n % 2 != 0) continue;
        for (int j = 0; j < BULLETS_PER_SHIP; ++j) seen += bulletIsNew(before.ships[0].bullets[j], ship(0).bullets[j]);
        before = match;
    }
    ASSERT_GT(fired, 50);
    EXPECT_EQ(seen, fired);
}

// A frame's time reaches the step in pieces that keep the per-step damping sound.
class SimulateFrame : public SimulateStep {};

TEST_F(SimulateFrame, AFrameOfSixtiethOrLessIsOneStepOfItsOwnLength)
{
    MatchState stepped = match;
    ship(0).speed = stepped.ships[0].speed = 250.0f;
    double carry = 0.0;
    EXPECT_EQ(simulateFrame(match, -0.0180, carry), 1);
    simulateStep(stepped, -0.0180);
    EXPECT_EQ(ship(0).position, stepped.ships[0].position);
    EXPECT_EQ(ship(0).speed, stepped.ships[0].speed);
    EXPECT_EQ(carry, 0.0);
}

TEST_F(SimulateFrame, ThirtyFramesASecondMoveAShipAsSixtyDo)
{
    MatchState at60 = match;
    double carry30 = 0.0, carry60 = 0.0;
    for (int frame = 0; frame < 30; ++frame) {
        ship(0).speed = at60.ships[0].speed = 250.0f;  // thrust held, a word every 0.05 s or so
        ship(0).turnRate = at60.ships[0].turnRate = 5.0f;
        simulateFrame(match, -2.0 * SIM_STEP_MAX, carry30);
        simulateFrame(at60, -SIM_STEP_MAX, carry60);
        simulateFrame(at60, -SIM_STEP_MAX, carry60);
    }
    EXPECT_NEAR(ship(0).position.x, at60.ships[0].position.x, 1e-3);
    EXPECT_NEAR(ship(0).position.y, at60.ships[0].position.y, 1e-3);
    EXPECT_NEAR(ship(0).heading, at60.ships[0].heading, 1e-5);
}

TEST_F(SimulateFrame, TheRemainderCarriesAndALongStallIsCutOff)
{
    double carry = 0.0;
    EXPECT_EQ(simulateFrame(match, -0.0250, carry), 1);  // 45 frames/s
    EXPECT_NEAR(carry, 0.0250 - SIM_STEP_MAX, 1e-12);
    EXPECT_EQ(simulateFrame(match, -0.0250, carry), 2);
    EXPECT_NEAR(carry, 0.0500 - 3 * SIM_STEP_MAX, 1e-12);

    ship(0).speed = 250.0f;
    carry = 0.0;
    EXPECT_EQ(simulateFrame(match, -5.0, carry), SIM_STEPS_PER_FRAME_MAX);
    EXPECT_EQ(carry, 0.0);  // dropped, not owed to the next frames
    EXPECT_LT(ship(0).speed, 250.0f);
}

}  // namespace
}  // namespace netduel
