// Program clock: monotonic seconds that the simulation, the lobby and the shell all read.
#pragma once

namespace netduel {

// Seconds since the program started (steady clock, origin taken at static
// initialisation); never fails.
double timerSeconds();

// Tests only: pin the clock at `seconds` until timerSetReal() (the real clock keeps no offset).
void timerSetManual(double seconds);

// Tests only: return to the real steady clock.
void timerSetReal();

}  // namespace netduel
