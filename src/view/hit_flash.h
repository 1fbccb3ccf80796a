// The other ship's flash as a shooter's copy draws it: lit in the frame the own drawn
// bullet touches the drawn ship, which is where the host, judging the shot at the moment
// this copy drew, counts the hit; the host's own flash of that hit, which the playout time
// reaches a round trip and a playout delay later, is not drawn a second time.
#pragma once

#include <cstdint>

#include "duel/match.h"

namespace netduel {

struct HitFlash {
    double touchedAt = -1e9;    // s, this copy's clock: the last frame a drawn bullet touched
    double waitingSince = -1e9; // s: a flash lit here that the host has not flashed back yet
    std::int8_t hostSeen = 0;   // the host's counter of the other ship in the last frame
    bool hostEchoes = false;    // the host's running flash is one lit here already
};

// Forgets every flash, as for a new connection or another ship.
void hitFlashReset(HitFlash& flash);

// The frame at `now` (s): `other` as drawn at the playout time, its hitCounter the host's
// there; `own` the own ship as drawn, with its predicted bullets. Leaves in
// other.hitCounter the flash this frame draws.
void hitFlashFrame(HitFlash& flash, Ship& other, const Ship& own, double now);

}  // namespace netduel
