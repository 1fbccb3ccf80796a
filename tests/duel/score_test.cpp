// The round's score: hits counted once each from the real simulation, the round's end,
// and a stranger's spare word read as no score.
#include <gtest/gtest.h>

#include "duel/score.h"
#include "duel_fixture.h"

namespace netduel {
namespace {

constexpr int TARGET = 5;

TEST(Score, EachBulletThroughTheShipCountsOnceForItsShooter)
{
    struct Case {
        const char* what;
        int shooter;
        int bullets;
        float gap;  // px between the bullets on the other ship's row
        int hits;
    };
    const Case cases[] = {
        {"ship 0 hits ship 1: its counter reads 2 while the bullet lingers", 0, 1, 0.0f, 1},
        {"ship 1 hits ship 0: its counter reads 1 while the bullet lingers", 1, 1, 0.0f, 1},
        {"the second bullet while the first's flash still runs", 0, 2, 40.0f, 2},
        {"three bullets a flash apart", 1, 3, 80.0f, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MatchState match = test::startState();
        const int target = 1 - c.shooter;
        const Vec2 at = match.ships[target].position;
        const float way = c.shooter == 0 ? -1.0f : 1.0f;  // direction × dt < 0 flies the other way
        for (int b = 0; b < c.bullets; ++b)
            match.ships[c.shooter].bullets[b] =
                Bullet{Vec2(at.x + way * (40.0f + c.gap * float(b)), at.y), Vec2(way, 0.0f), BULLET_ACTIVE};
        for (int step = 0; step < 120; ++step) {  // the bullets' whole flight, a host's frame a step
            const std::int8_t before[SHIP_COUNT] = {match.ships[0].hitCounter, match.ships[1].hitCounter};
            simulateStep(match, test::DT);
            scoreCount(match, before, TARGET);
            EXPECT_EQ(scoreWinner(match), -1);
        }
        EXPECT_EQ(scoreRead(match.ships[c.shooter]), (ShipScore{c.hits, TARGET}));
        EXPECT_EQ(scoreRead(match.ships[target]), (ShipScore{0, TARGET}));
        scoreWrite(match.ships[c.shooter], {TARGET, TARGET});
        EXPECT_EQ(scoreWinner(match), c.shooter) << "at the target";
    }
}

TEST(Score, AStrangersSpareWordReadsAsNoScore)
{
    Ship ship;
    for (const std::int32_t strange : {0, 1, 0x0100 | 2, 0x6400, 0xFF05, -1, 0x10503}) {
        ship.spare = strange;
        EXPECT_EQ(scoreRead(ship), (ShipScore{})) << strange;
    }
    scoreWrite(ship, {FIRST_TO_MAX, FIRST_TO_MAX});
    EXPECT_EQ(scoreRead(ship), (ShipScore{FIRST_TO_MAX, FIRST_TO_MAX}));
}

}  // namespace
}  // namespace netduel
