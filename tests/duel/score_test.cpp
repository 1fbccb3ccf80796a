// The round's score: hits counted once each from the real simulation, the spare word read
// back warily, the round's end and the texts that name it.
#include <gtest/gtest.h>

#include <vector>

#include "duel/score.h"
#include "duel_fixture.h"

namespace netduel {
namespace {

using test::DT;
using test::startState;

constexpr int TARGET = 5;

// Steps `match` for a second, counting the score after each step as a host's frame does.
void playSecond(MatchState& match)
{
    for (int step = 0; step < 60; ++step) {
        const std::int8_t before[SHIP_COUNT] = {match.ships[0].hitCounter, match.ships[1].hitCounter};
        simulateStep(match, DT);
        scoreCount(match, before, TARGET);
    }
}

// Bullets of `shooter` on the row of the other ship, `gap` px apart, flying through it.
struct HitCase {
    const char* what;
    int shooter;
    int bullets;
    float gap;
    int hits;
};

TEST(Score, EachBulletThroughTheShipCountsOnceForItsShooter)
{
    const HitCase cases[] = {
        {"ship 0 hits ship 1: its counter reads 2 while the bullet lingers", 0, 1, 0.0f, 1},
        {"ship 1 hits ship 0: its counter reads 1 while the bullet lingers", 1, 1, 0.0f, 1},
        {"two bullets, the second while the first's flash still runs", 0, 2, 40.0f, 2},
        {"three bullets a flash apart", 1, 3, 80.0f, 3},
    };
    for (const HitCase& c : cases) {
        SCOPED_TRACE(c.what);
        MatchState match = startState();
        const int target = 1 - c.shooter;
        const Vec2 at = match.ships[target].position;
        const float way = c.shooter == 0 ? -1.0f : 1.0f;  // direction × dt < 0 flies the other way
        for (int b = 0; b < c.bullets; ++b)
            match.ships[c.shooter].bullets[b] =
                Bullet{Vec2(at.x + way * (40.0f + c.gap * float(b)), at.y), Vec2(way, 0.0f), BULLET_ACTIVE};
        playSecond(match);
        playSecond(match);
        EXPECT_EQ(scoreRead(match.ships[c.shooter]), (ShipScore{c.hits, TARGET}));
        EXPECT_EQ(scoreRead(match.ships[target]), (ShipScore{0, TARGET}));
    }
}

TEST(Score, TheRoundEndsWhenAShipReachesTheTarget)
{
    MatchState match = startState();
    EXPECT_EQ(scoreWinner(match), -1) << "no score kept";
    scoreWrite(match.ships[0], {TARGET - 1, TARGET});
    scoreWrite(match.ships[1], {2, TARGET});
    EXPECT_EQ(scoreWinner(match), -1);
    const std::int8_t before[SHIP_COUNT] = {0, 0};
    match.ships[1].hitCounter = 1;  // a new hit on ship 1
    scoreCount(match, before, TARGET);
    EXPECT_EQ(scoreWinner(match), 0);
    EXPECT_EQ(scoreRoundLine(match, 0, "alice", "bob"), "alice wins the round 5-2 against bob");
    scoreWrite(match.ships[0], {1, TARGET});
    scoreWrite(match.ships[1], {TARGET, TARGET});
    EXPECT_EQ(scoreWinner(match), 1);
}

TEST(Score, TheSpareWordCarriesHitsAndTargetAndAStrangersWordReadsAsNone)
{
    Ship ship;
    EXPECT_EQ(scoreRead(ship), (ShipScore{})) << "spare 0: no score";
    for (const ShipScore score : {ShipScore{0, FIRST_TO_MIN}, ShipScore{3, 7}, ShipScore{FIRST_TO_MAX, FIRST_TO_MAX}}) {
        scoreWrite(ship, score);
        EXPECT_EQ(scoreRead(ship), score);
    }
    scoreWrite(ship, {0, 5});
    EXPECT_EQ(ship.spare, 5 << 8) << "the wire's value, which recordings keep";
    for (const std::int32_t strange : {1, 0x0100 | 2, 0x6400, 0xFF05, -1, 0x10503}) {
        ship.spare = strange;
        EXPECT_EQ(scoreRead(ship), (ShipScore{})) << strange;
    }
}

TEST(Score, TheBoardNamesBothShipsAndIsBlankWithoutAScore)
{
    MatchState match = startState();
    EXPECT_EQ(scoreBoardText(match, "alice", "bob"), "");
    scoreWrite(match.ships[0], {2, TARGET});
    EXPECT_EQ(scoreBoardText(match, "alice", "bob"), "") << "one ship's word alone is no score";
    scoreWrite(match.ships[1], {1, TARGET});
    EXPECT_EQ(scoreBoardText(match, "alice", scoreShipName("", 1)), "alice 2 - 1 ship 1  (first to 5)");
    EXPECT_EQ(scoreShipName("bob", 0), "bob");
}

}  // namespace
}  // namespace netduel
