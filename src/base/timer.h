// Program clock: monotonic seconds that the simulation, the lobby and the shell all read.
#pragma once

#include <chrono>

namespace netduel {

// Seconds since the program started (steady clock, origin taken at static
// initialisation); never fails.
double timerSeconds();

// The steady clock's time `seconds` from now: the end of a budget that a loop reading a
// socket checks against the wall clock, whatever the program clock is pinned to.
inline std::chrono::steady_clock::time_point timerDeadline(double seconds)
{
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

// Tests only: pin the clock at `seconds` until timerSetReal() (the real clock keeps no offset).
void timerSetManual(double seconds);

// Tests only: return to the real steady clock.
void timerSetReal();

}  // namespace netduel
