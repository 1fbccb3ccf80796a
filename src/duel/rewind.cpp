// Rewound hit test: the judge of each step filled from the trail, the lags of new bullets kept.
#include "duel/rewind.h"

#include <algorithm>

#include "duel/simulate.h"

namespace netduel {

void shotRewindReset(ShotRewind& rewind)
{
    rewind = ShotRewind{};
}

void shotRewindStep(ShotRewind& rewind, MatchState& match, double dt, double now)
{
    HitJudge judge;
    const double stepStart = now + dt;  // the ships the step tests are those it starts from
    for (int i = 0; i < SHIP_COUNT; ++i) {
        const int other = (i + 1) % SHIP_COUNT;
        for (int j = 0; j < BULLETS_PER_SHIP; ++j) {
            if (match.ships[i].bullets[j].active == 0 || !(rewind.lag[i][j] > 0.0f)) continue;
            judge.rewound[i][j] =
                trailPositionAt(rewind.trail, other, stepStart - rewind.lag[i][j], judge.target[i][j]);
        }
    }
    simulateStep(match, dt, &judge);
    for (int i = 0; i < SHIP_COUNT; ++i) {
        rewind.touched[i] |= judge.touched[i];
        if (judge.fired[i] < 0) continue;
        const float lag = match.shotLag[i] > 0.0f ? match.shotLag[i] : 0.0f;  // NaN: as today
        rewind.lag[i][judge.fired[i]] = std::min(lag, static_cast<float>(REWIND_MAX));
    }
    trailRecord(rewind.trail, match, now);
}

int shotRewindFrame(ShotRewind& rewind, MatchState& match, double frameDt, double& carry, double now)
{
    const FrameSteps steps = simulateFrameSteps(frameDt, carry);
    for (int k = 0; k < steps.count; ++k)
        shotRewindStep(rewind, match, steps.dt, now + (steps.count - 1 - k) * steps.dt);
    return steps.count;
}

}  // namespace netduel
