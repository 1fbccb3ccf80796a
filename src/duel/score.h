// The score of --first-to: the hits each ship lands in a round, kept by the host in the
// ships' spare words so that every snapshot carries it, and the round's end at N.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "duel/match.h"

namespace netduel {

inline constexpr int FIRST_TO_MIN = 1;   // --first-to's range: hits that win a round
inline constexpr int FIRST_TO_MAX = 99;

// What one ship's spare word says: bits 0–7 the hits it has landed on the other ship in
// this round, bits 8–15 the round's target N, bits 16–31 zero; a target of 0 means no
// score is kept.
struct ShipScore {
    int hits = 0;
    int target = 0;
    bool operator==(const ShipScore&) const = default;
};

// The score in `ship`'s spare word; a word from a stranger reads as no score unless its
// target lies in FIRST_TO_MIN…FIRST_TO_MAX, its hits at or below the target and its high
// half is zero.
ShipScore scoreRead(const Ship& ship);

// Writes `score` into `ship`'s spare word.
void scoreWrite(Ship& ship, ShipScore score);

// After a frame in which the hit counters went from `before` to what `match` holds: each
// ship that took a new hit (shipHitIsNew) adds one to the other ship's hits, and both
// words carry the target `firstTo`.
void scoreCount(MatchState& match, const std::int8_t (&before)[SHIP_COUNT], int firstTo);

// The ship whose hits reached its target, or −1 while the round goes on (or no score is kept).
int scoreWinner(const MatchState& match);

// The name a line or the frame gives ship `ship`: its holder's, else "ship 0" or "ship 1".
std::string scoreShipName(std::string_view holder, int ship);

// The line the lobby hears when `winner` has won the round: "NAME wins the round 5-3
// against NAME".
std::string scoreRoundLine(const MatchState& match, int winner, std::string_view winnerName,
                           std::string_view loserName);

// What the frame shows: "NAME 2 - 1 NAME  (first to 5)", ship 0 on the left; empty when
// no score is kept.
std::string scoreBoardText(const MatchState& match, std::string_view name0, std::string_view name1);

}  // namespace netduel
