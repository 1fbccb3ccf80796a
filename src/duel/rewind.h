// Shots judged where their shooters saw the other ship: each bullet keeps the lag of the
// word that fired it, and every step of its flight it tests the other ship as it stood
// that long ago on the host, as far back as REWIND_MAX.
#pragma once

#include "duel/match.h"
#include "duel/trail.h"

namespace netduel {

// s: the furthest back a shot is judged. A shooter sees the other ship its word's way up,
// the snapshot's way down and its playout delay behind the host: on the awful link
// (120 ms ± 40 each way, 8 % lost) that is up to 320 ms of travel and about 150 ms of
// playout delay, so 0.5 s covers it and nothing older is trusted to a peer's word.
inline constexpr double REWIND_MAX = 0.5;
static_assert(REWIND_MAX < TRAIL_SECONDS, "the trail holds the whole rewind");

struct ShotRewind {
    ShipTrail trail;
    float lag[SHIP_COUNT][BULLETS_PER_SHIP] = {};  // s each bullet in flight is judged back by
    unsigned touched[SHIP_COUNT] = {};  // bits (1 << slot) of each ship's bullets that hit,
                                        // gathered over the steps until the caller clears them
};

// Forgets the trail and every bullet's lag, as for a new match.
void shotRewindReset(ShotRewind& rewind);

// One simulation step of `dt` (negative s) that ends at `now` (s, host's clock): the
// bullets with a lag test the other ship where the trail had it that long before, a new
// bullet takes its ship's match.shotLag (capped at REWIND_MAX), and the ships join the
// trail. Never fails.
void shotRewindStep(ShotRewind& rewind, MatchState& match, double dt, double now);

// simulateFrame's steps of one frame of `frameDt` plus `carry`, each judged as above,
// the last ending at `now` (s). Returns the number of steps; never fails.
int shotRewindFrame(ShotRewind& rewind, MatchState& match, double frameDt, double& carry, double now);

}  // namespace netduel
