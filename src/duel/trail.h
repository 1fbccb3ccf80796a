// The host's short history of where both ships stood, on its program clock, so that a
// shot can be judged against the other ship as its shooter saw it.
#pragma once

#include "base/ring.h"
#include "duel/match.h"

namespace netduel {

inline constexpr double TRAIL_SPACING = 1.0 / 120.0;  // s: a faster host overwrites its newest place
inline constexpr double TRAIL_SECONDS = 0.6;          // s held: the longest rewind and a frame
inline constexpr int TRAIL_PLACES = static_cast<int>(TRAIL_SECONDS / TRAIL_SPACING) + 2;

struct TrailPlace {
    double at = 0.0;                 // s, host's clock
    Vec2 position[SHIP_COUNT];       // px, ship centres after the step at `at`
};

struct ShipTrail {
    Ring<TrailPlace, TRAIL_PLACES> places;
};

// Forgets every place, as for a new match.
void trailReset(ShipTrail& trail);

// Both ships as they stand at `at` (s); a time not after the newest starts afresh (a clock
// that went back or a new match). Never fails.
void trailRecord(ShipTrail& trail, const MatchState& match, double at);

// Where ship `ship` stood at `at` (s), between the two places about it; before the oldest
// the oldest, after the newest the newest. False and `out` alone while the trail is empty.
bool trailPositionAt(const ShipTrail& trail, int ship, double at, Vec2& out);

}  // namespace netduel
