// The round's score: counted from the hit counters, kept in the spare words.
#include "duel/score.h"

#include "duel/simulate.h"

namespace netduel {

namespace {

constexpr std::uint32_t SCORE_FIELD_MASK = 0xFF;  // one byte each: hits, then target
constexpr int SCORE_TARGET_SHIFT = 8;

}  // namespace

ShipScore scoreRead(const Ship& ship)
{
    const auto word = static_cast<std::uint32_t>(ship.spare);
    const ShipScore score{static_cast<int>(word & SCORE_FIELD_MASK),
                          static_cast<int>((word >> SCORE_TARGET_SHIFT) & SCORE_FIELD_MASK)};
    if (word >> (2 * SCORE_TARGET_SHIFT) != 0 || score.target < FIRST_TO_MIN || score.target > FIRST_TO_MAX || score.hits > score.target) return {};
    return score;
}

void scoreWrite(Ship& ship, ShipScore score)
{
    const std::uint32_t word = (static_cast<std::uint32_t>(score.hits) & SCORE_FIELD_MASK) |
                               (static_cast<std::uint32_t>(score.target) & SCORE_FIELD_MASK) << SCORE_TARGET_SHIFT;
    ship.spare = static_cast<std::int32_t>(word);
}

void scoreCount(MatchState& match, const std::int8_t (&before)[SHIP_COUNT], int firstTo)
{
    for (int i = 0; i < SHIP_COUNT; ++i) {
        ShipScore score = scoreRead(match.ships[i]);
        score.target = firstTo;
        const int other = (i + 1) % SHIP_COUNT;
        if (shipHitIsNew(before[other], match.ships[other].hitCounter)) ++score.hits;
        scoreWrite(match.ships[i], score);
    }
}

int scoreWinner(const MatchState& match)
{
    for (int i = 0; i < SHIP_COUNT; ++i) {
        const ShipScore score = scoreRead(match.ships[i]);
        if (score.target > 0 && score.hits >= score.target) return i;
    }
    return -1;
}

std::string scoreShipName(std::string_view holder, int ship)
{
    if (!holder.empty()) return std::string(holder);
    return "ship " + std::to_string(ship);
}

std::string scoreRoundLine(const MatchState& match, int winner, std::string_view winnerName,
                           std::string_view loserName)
{
    const int loser = (winner + 1) % SHIP_COUNT;
    return std::string(winnerName) + " wins the round " + std::to_string(scoreRead(match.ships[winner]).hits) +
           "-" + std::to_string(scoreRead(match.ships[loser]).hits) + " against " + std::string(loserName);
}

std::string scoreBoardText(const MatchState& match, std::string_view name0, std::string_view name1)
{
    const ShipScore score0 = scoreRead(match.ships[0]);
    const ShipScore score1 = scoreRead(match.ships[1]);
    if (score0.target == 0 || score1.target == 0) return {};
    return std::string(name0) + " " + std::to_string(score0.hits) + " - " + std::to_string(score1.hits) + " " +
           std::string(name1) + "  (first to " + std::to_string(score0.target) + ")";
}

}  // namespace netduel
