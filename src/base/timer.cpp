// Program clock on std::chrono::steady_clock, with a pin for deterministic tests.
#include "timer.h"

#include <chrono>

namespace netduel {

namespace {

using Clock = std::chrono::steady_clock;

bool manualClock = false;
double manualSeconds = 0.0;

// The origin is read on first use, so a static initialiser elsewhere that reads the
// clock before this file's own initialisers ran still gets the same origin.
Clock::time_point programStart()
{
    static const Clock::time_point start = Clock::now();
    return start;
}

// Takes the origin while the program starts, before main and before any frame.
const Clock::time_point startedAt = programStart();

}  // namespace

double timerSeconds()
{
    if (manualClock) return manualSeconds;
    return std::chrono::duration<double>(Clock::now() - programStart()).count();
}

void timerSetManual(double seconds)
{
    manualClock = true;
    manualSeconds = seconds;
}

void timerSetReal()
{
    manualClock = false;
}

}  // namespace netduel
