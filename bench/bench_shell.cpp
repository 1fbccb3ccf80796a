// Frame drawing cost: a busy frame (both ships, twenty bullets, five full history
// lines, chat prompt) beside a bare clear of the surface; drawFrame should stay
// within about three clears. The same frame with two ships whose headings are not
// numbers should cost no more than 1.2 times the busy one: their heading lines are
// cut to the surface, not walked for a million off-surface steps.
#include <benchmark/benchmark.h>

#include <limits>
#include <memory>
#include <string>

#include "lobby/lobby_protocol.h"
#include "shell/draw_frame.h"
#include "shell/shell.h"

namespace netduel {
namespace {

void BM_DisplayClear(benchmark::State& state)
{
    auto display = std::make_unique<Display>();
    for (auto _ : state) {
        displayClear(*display);
        benchmark::DoNotOptimize(display->pixels.data());
    }
}
BENCHMARK(BM_DisplayClear);

MatchState busyMatch()
{
    MatchState match;
    hostMatchStart(match);
    match.ships[1].hitCounter = 5;
    for (int s = 0; s < SHIP_COUNT; ++s)
        for (int b = 0; b < BULLETS_PER_SHIP; ++b) {
            Bullet& bullet = match.ships[s].bullets[b];
            bullet.position = Vec2{100.0f + 80.0f * b, 200.0f + 300.0f * s};
            bullet.active = BULLET_ACTIVE;
        }
    return match;
}

void drawFrames(benchmark::State& state, const MatchState& match)
{
    auto display = std::make_unique<Display>();
    LobbyClient client;
    client.host = reinterpret_cast<ENetHost*>(&client);  // drawFrame only tests it for presence
    for (auto& line : client.history) fixedTextSet(line, std::string(HISTORY_CHARS, 'W'));
    for (auto _ : state) {
        drawFrame(*display, match, client, true, "a chat line being typed");
        benchmark::DoNotOptimize(display->pixels.data());
    }
}

void BM_DrawFrameBusy(benchmark::State& state)
{
    drawFrames(state, busyMatch());
}
BENCHMARK(BM_DrawFrameBusy);

void BM_DrawFrameHeadingsNotFinite(benchmark::State& state)
{
    MatchState match = busyMatch();
    match.ships[0].heading = std::numeric_limits<float>::quiet_NaN();
    match.ships[1].heading = std::numeric_limits<float>::infinity();
    drawFrames(state, match);
}
BENCHMARK(BM_DrawFrameHeadingsNotFinite);

// One line across the surface, corner to corner, against lines whose end points lie
// far off it or are not numbers: those should cost no more.
void drawLines(benchmark::State& state, double x1, double y1, double x2, double y2)
{
    auto display = std::make_unique<Display>();
    for (auto _ : state) {
        drawLine(*display, x1, y1, x2, y2);
        benchmark::DoNotOptimize(display->pixels.data());
    }
}

void BM_DrawLineAcross(benchmark::State& state)
{
    drawLines(state, 0, 0, DISPLAY_WIDTH - 1, DISPLAY_HEIGHT - 1);
}
BENCHMARK(BM_DrawLineAcross);

void BM_DrawLineHuge(benchmark::State& state)
{
    drawLines(state, -1e9, -1e9, 1e9, 1e9);
}
BENCHMARK(BM_DrawLineHuge);

void BM_DrawLineToInfinity(benchmark::State& state)
{
    drawLines(state, 500, 400, std::numeric_limits<double>::infinity(), -1e7);
}
BENCHMARK(BM_DrawLineToInfinity);

void BM_DrawLineNotANumber(benchmark::State& state)
{
    drawLines(state, 500, 400, std::numeric_limits<double>::quiet_NaN(), 400);
}
BENCHMARK(BM_DrawLineNotANumber);

}  // namespace
}  // namespace netduel

BENCHMARK_MAIN();
