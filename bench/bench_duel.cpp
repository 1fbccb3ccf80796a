// Duel hot paths: one simulation step with all twenty bullets in flight, and a snapshot round trip.
#include <benchmark/benchmark.h>

#include "base/timer.h"
#include "duel/match.h"
#include "duel/simulate.h"

namespace {

using namespace netduel;

MatchState busyMatch()
{
    MatchState m;
    matchStateInit(m);
    m.ships[0].position = Vec2(300.0, 400.0);
    m.ships[1].position = Vec2(700.0, 400.0);
    for (int i = 0; i < SHIP_COUNT; ++i) {
        m.ships[i].speed = 250.0f;
        m.ships[i].turnRate = 5.0f;
        for (int j = 0; j < BULLETS_PER_SHIP; ++j)
            m.ships[i].bullets[j] = Bullet{Vec2(100.0 + 80.0 * j, 100.0 + 50.0 * i), Vec2(0.0, 0.0), 255};
    }
    return m;
}

// Bullets have no direction here, so they stay in flight however many steps run.
void BM_SimulateStepTwentyBullets(benchmark::State& state)
{
    MatchState m = busyMatch();
    const double dt = -1.0 / 60.0;
    for (auto _ : state) {
        m.ships[0].speed = m.ships[1].speed = 250.0f;
        simulateStep(m, dt);
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_SimulateStepTwentyBullets);

void BM_SnapshotEncodeApply(benchmark::State& state)
{
    const MatchState host = busyMatch();
    MatchState client;
    matchStateInit(client);
    for (auto _ : state) {
        const Snapshot bytes = snapshotEncode(host);
        benchmark::DoNotOptimize(snapshotApply(client, bytes));
    }
}
BENCHMARK(BM_SnapshotEncodeApply);

}  // namespace

BENCHMARK_MAIN();
