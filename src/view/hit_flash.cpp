// The shooter's flash: a drawn touch lights it, the host's later flash of it is its echo.
#include "view/hit_flash.h"

#include <algorithm>
#include <cmath>

#include "duel/rewind.h"
#include "duel/simulate.h"

namespace netduel {

namespace {

// s a flash runs past the last touch: the host counts HIT_FLASH_LIMIT steps.
constexpr double FLASH_SECONDS = HIT_FLASH_LIMIT * SIM_STEP_MAX;
// s from a flash lit here to the host's flash of it: the shooter's lag, which the host
// rewinds at most REWIND_MAX, and a flash's length for the snapshots' spacing.
constexpr double ECHO_SECONDS = REWIND_MAX + FLASH_SECONDS;

}  // namespace

void hitFlashReset(HitFlash& flash) { flash = HitFlash{}; }

void hitFlashFrame(HitFlash& flash, Ship& other, const Ship& own, double now)
{
    const std::int8_t host = other.hitCounter;
    if (shipHitIsNew(flash.hostSeen, host)) {
        flash.hostEchoes = now - flash.waitingSince <= ECHO_SECONDS;
        if (flash.hostEchoes) flash.waitingSince = -1e9;
    }
    flash.hostSeen = host;

    const bool touching = std::any_of(std::begin(own.bullets), std::end(own.bullets), [&](const Bullet& b) {
        return b.active && bulletTouches(other.position, b.position);
    });
    if (touching) {
        if (now - flash.touchedAt > FLASH_SECONDS) flash.waitingSince = now;  // a new flash
        flash.touchedAt = now;
    }
    const double since = now - flash.touchedAt;
    if (since <= FLASH_SECONDS) {
        other.hitCounter = static_cast<std::int8_t>(1 + std::floor(since / SIM_STEP_MAX));
    } else if (flash.hostEchoes) {
        other.hitCounter = 0;
    }
}

}  // namespace netduel
