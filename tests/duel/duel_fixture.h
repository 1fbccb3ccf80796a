// Shared set-up for duel tests: the start state that the shell places, and a pinned clock.
#pragma once

#include "base/timer.h"
#include "duel/match.h"
#include "duel/simulate.h"

namespace netduel::test {

inline MatchState startState()
{
    MatchState m;
    matchStateInit(m);
    m.ships[0].position = Vec2(50.0, 384.0);
    m.ships[0].colour = 0xFF800000u;
    m.ships[1].position = Vec2(974.0, 384.0);
    m.ships[1].colour = 0xFF000080u;
    return m;
}

inline constexpr double DT = -1.0 / 60.0;

}  // namespace netduel::test
