// Frame drawing cost: a busy frame (both ships, twenty bullets, five full history
// lines, chat prompt) beside a bare clear of the surface; drawFrame should stay
// within about three clears.
#include <benchmark/benchmark.h>

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

void BM_DrawFrameBusy(benchmark::State& state)
{
    auto display = std::make_unique<Display>();
    MatchState match;
    matchStateInit(match);
    match.ships[0].position = SHIP0_START;
    match.ships[0].colour = SHIP0_COLOUR;
    match.ships[1].position = SHIP1_START;
    match.ships[1].colour = SHIP1_COLOUR;
    match.ships[1].hitCounter = 5;
    for (int s = 0; s < SHIP_COUNT; ++s)
        for (int b = 0; b < BULLETS_PER_SHIP; ++b) {
            Bullet& bullet = match.ships[s].bullets[b];
            bullet.position = Vec2{100.0f + 80.0f * b, 200.0f + 300.0f * s};
            bullet.active = BULLET_ACTIVE;
        }
    LobbyClient client;
    client.host = reinterpret_cast<ENetHost*>(&client);  // drawFrame only tests it for presence
    for (auto& line : client.history) fixedTextSet(line, std::string(HISTORY_CHARS, 'W'));
    for (auto _ : state) {
        drawFrame(*display, match, client, true, "a chat line being typed");
        benchmark::DoNotOptimize(display->pixels.data());
    }
}
BENCHMARK(BM_DrawFrameBusy);

}  // namespace
}  // namespace netduel

BENCHMARK_MAIN();
