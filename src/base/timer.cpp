// Program clock on std::chrono::steady_clock, with a pin for deterministic tests.
#include "timer.h"

#include <chrono>

namespace netduel {

namespace {
bool manualClock = false;
double manualSeconds = 0.0;
}  // namespace

double timerSeconds()
{
    if (manualClock) return manualSeconds;
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
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
