// Sound: what one device buffer costs the mixer (none, a few and 20 clips at once); the
// delay from the frame that starts a sound to its first sample leaving the mixer, on a
// real SDL device (the disk driver writing to /dev/null, paced like a sound card) at the
// default buffer (goal: at most 25 ms); and an idle windowed host's CPU with that
// device against the same host without one (goal: under 1 % of a core more), with the
// device thread's own share beside it.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "child_process.h"
#include "lobby/lobby.h"
#include "sound/sound.h"

#ifndef NETDUEL_EXE
#error "the build passes the game's path"
#endif

namespace netduel {
namespace {

constexpr double DELAY_GOAL_MS = 25.0;
constexpr double CPU_GOAL_PERCENT = 1.0;
constexpr std::uint16_t SILENT_PORT = 44310;
constexpr std::uint16_t SOUND_PORT = 44311;
constexpr auto SETTLE = std::chrono::seconds(1);
constexpr auto MEASURE = std::chrono::seconds(10);  // a 1 % difference is 10 clock ticks

// One buffer of SOUND_BUFFER_FRAMES, which plays for 10.7 ms: its time over that is the
// mixer's share of a core.
void BM_MixerBuffer(benchmark::State& state)
{
    SoundBank bank;
    soundBankMake(bank);
    SoundMixer mixer;
    soundMixerInit(mixer, 1.0f);
    std::vector<std::int16_t> out(SOUND_BUFFER_FRAMES * SOUND_CHANNELS);
    const auto clip = soundBankClip(bank, SoundEffect::Lost);  // the longest: the voices stay busy
    for (auto _ : state) {
        while (mixer.voiceCount < state.range(0)) soundMixerPlay(mixer, clip, soundPan(0.3f));
        soundMixerRender(mixer, out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_MixerBuffer)->Arg(0)->Arg(4)->Arg(20)->Unit(benchmark::kMicrosecond);

std::uint64_t begunNow(Sound& sound)
{
    sound.backEnd.lock(sound);
    const std::uint64_t begun = sound.mixer.begun;
    sound.backEnd.unlock(sound);
    return begun;
}

// Each iteration: a pause of 0…15 ms (so frames fall anywhere in the device's cycle), then
// a frame that draws a new bullet of the other ship, and the time until the mixer has
// mixed its first sample into a buffer handed to the device.
void BM_FrameToFirstSample(benchmark::State& state)
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    Sound sound;
    if (!soundOpen(sound, SoundSettings{})) {
        state.SkipWithError("SDL's disk audio driver did not open");
        return;
    }
    LobbyClient client;
    MatchState quiet;
    MatchState shot;
    shot.ships[1].position = Vec2(900.0f, 300.0f);
    shot.ships[1].bullets[0] = Bullet{Vec2(900.0f, 285.0f), Vec2(0.0f, 1.0f), BULLET_ACTIVE};
    soundFrame(sound, quiet, client, true, true);
    std::vector<double> delays;
    unsigned seed = 12345;
    for (auto _ : state) {
        seed = seed * 1103515245u + 12345u;
        std::this_thread::sleep_for(std::chrono::microseconds((seed >> 8) % 15000));
        const std::uint64_t before = begunNow(sound);
        const auto start = Clock::now();
        soundFrame(sound, shot, client, true, true);
        while (begunNow(sound) == before) std::this_thread::yield();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        delays.push_back(seconds * 1000.0);
        soundFrame(sound, quiet, client, true, true);
    }
    soundClose(sound);
    std::sort(delays.begin(), delays.end());
    const double worst = delays.back();
    state.counters["p50_ms"] = delays[delays.size() / 2];
    state.counters["p99_ms"] = delays[delays.size() * 99 / 100];
    state.counters["max_ms"] = worst;
    state.SetLabel(std::string("goal <=25 ms: ") + (worst <= DELAY_GOAL_MS ? "met" : "missed"));
}
BENCHMARK(BM_FrameToFirstSample)->Iterations(300)->UseManualTime()->Unit(benchmark::kMillisecond);

// Seconds on a CPU of the threads of `pid` whose name starts with `prefix`.
double threadSeconds(pid_t pid, const std::string& prefix)
{
    double seconds = 0.0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        std::ifstream schedstat(task.path() / "schedstat");
        unsigned long long nanoseconds = 0;
        if (name.rfind(prefix, 0) == 0 && schedstat >> nanoseconds) seconds += nanoseconds * 1e-9;
    }
    return seconds;
}

// A windowed --host joined to its own match, nothing pressed, with SDL's audio `driver`.
void idleHost(benchmark::State& state, const char* driver, std::uint16_t port)
{
    Process xvfb;
    std::string display;
    if (!startXvfb(xvfb, display)) {
        state.SkipWithError("Xvfb is missing or did not start");
        return;
    }
    setenv("SDL_AUDIODRIVER", driver, 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    Process host;
    start(host, {NETDUEL_EXE, "--host", "--port", std::to_string(port)}, display);
    if (!host.await("Cli0 connected")) {
        state.SkipWithError("the host did not start and join itself");
        return;
    }
    std::this_thread::sleep_for(SETTLE);
    for (auto _ : state) {
        const double cpu = cpuSeconds(host.pid);
        const double scheduled = scheduledSeconds(host.pid);
        const double audio = threadSeconds(host.pid, "SDLAudio");
        const auto before = Clock::now();
        std::this_thread::sleep_for(MEASURE);
        const double wall = std::chrono::duration<double>(Clock::now() - before).count();
        state.counters["cpu_%"] = 100.0 * (cpuSeconds(host.pid) - cpu) / wall;
        state.counters["sched_%"] = 100.0 * (scheduledSeconds(host.pid) - scheduled) / wall;
        state.counters["audio_thread_%"] = 100.0 * (threadSeconds(host.pid, "SDLAudio") - audio) / wall;
        state.SetIterationTime(wall);
    }
}

void BM_IdleHostSilent(benchmark::State& state) { idleHost(state, "nosuchdriver", SILENT_PORT); }
BENCHMARK(BM_IdleHostSilent)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_IdleHostWithSound(benchmark::State& state)
{
    idleHost(state, "disk", SOUND_PORT);
    const double thread = state.counters["audio_thread_%"];
    state.SetLabel(std::string("goal: audio thread <1 % of a core: ") + (thread < CPU_GOAL_PERCENT ? "met" : "missed"));
}
BENCHMARK(BM_IdleHostWithSound)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace netduel

BENCHMARK_MAIN();
