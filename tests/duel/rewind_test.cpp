// Shots judged where the shooter saw the other ship: ship 0 fires straight up across the
// lane where ship 1 drives right, aimed at where ship 1 stood `aim` s before the bullet
// crossed, and the host told the shot's lag by the word's stamp.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "duel/packet_handlers.h"
#include "duel/rewind.h"
#include "duel_fixture.h"

namespace netduel {
namespace {

using test::DT;

constexpr Vec2 GUN{600.0f, 600.0f};
constexpr float LANE_Y = 300.0f;
constexpr double WARM = TRAIL_SECONDS;  // s ship 1 drives before the shot

// True when the shot, told `lag` s, marks ship 1 in its flight.
bool shotHits(double aim, float lag)
{
    nextShotTime = 0.0;
    MatchState match = test::startState();
    ShotRewind rewind;
    match.ships[0].position = GUN;
    match.ships[1].heading = -std::numbers::pi_v<float> / 2;  // the nose to the left: drives right
    const int fireStep = static_cast<int>(std::lround(WARM / -DT));
    const double flight = (GUN.y - MUZZLE_OFFSET - LANE_Y) / BULLET_SPEED;
    match.ships[1].position = Vec2(static_cast<float>(GUN.x - THRUST_SPEED * (flight - aim + WARM)), LANE_Y);
    bool hit = false;
    for (int step = 1; step < fireStep + 90 && !hit; ++step) {
        const double now = 100.0 - step * DT;
        timerSetManual(now);
        match.ships[1].speed = THRUST_SPEED;
        if (step == fireStep) {
            match.ships[0].fireRequest = FIRE_REQUESTED;
            match.shotLag[0] = lag;
        }
        shotRewindStep(rewind, match, DT, now);
        hit = match.ships[1].hitCounter != 0;
    }
    timerSetReal();
    return hit;
}

TEST(ShotRewind, JudgesTheOtherShipWhereTheShooterSawIt)
{
    struct Case {
        double aim;  // s before the crossing that the bullet meets ship 1's path
        float lag;   // the shot's stamped lag
        bool hit;
    } const cases[] = {
        {0.0, 0.0f, true},     // no stamp, aimed at the ship as it stands: as today
        {0.15, 0.0f, false},   // no stamp, aimed where it was 150 ms ago: a miss as today
        {0.15, 0.15f, true},   // stamped 150 ms: where the shooter saw it counts
        {0.0, 0.15f, false},   // the ship as it stands is not what that shooter saw
        {0.5, 2.0f, true},     // a longer lag is judged at the cap …
        {1.0, 1.0f, false},    // … and never further back
    };
    for (const Case& c : cases) EXPECT_EQ(shotHits(c.aim, c.lag), c.hit) << c.aim << " s aimed, lag " << c.lag;
}

TEST(ShipTrail, PlacesBetweenStepsAndAtTheEnds)
{
    ShipTrail trail;
    MatchState match = test::startState();
    Vec2 out;
    EXPECT_FALSE(trailPositionAt(trail, 1, 1.0, out));
    for (int k = 0; k <= 2 * TRAIL_PLACES; ++k) {  // a host at 240 frames/s, 1 px a frame
        match.ships[1].position = Vec2(static_cast<float>(k), 100.0f);
        trailRecord(trail, match, k / 240.0);
    }
    const double newest = 2 * TRAIL_PLACES / 240.0;
    ASSERT_TRUE(trailPositionAt(trail, 1, newest - 0.1, out));
    EXPECT_NEAR(out.x, 2 * TRAIL_PLACES - 24, 1e-3);
    ASSERT_TRUE(trailPositionAt(trail, 1, newest + 1.0, out));
    EXPECT_EQ(out.x, 2 * TRAIL_PLACES);
    ASSERT_TRUE(trailPositionAt(trail, 1, newest - TRAIL_SECONDS, out));  // held at this age
    EXPECT_NEAR(out.x, 2 * TRAIL_PLACES - TRAIL_SECONDS * 240, 2.0);
    trailRecord(trail, match, 0.5);  // a clock that went back starts afresh
    ASSERT_TRUE(trailPositionAt(trail, 1, 0.0, out));
    EXPECT_EQ(out.x, 2 * TRAIL_PLACES);
}

}  // namespace
}  // namespace netduel
