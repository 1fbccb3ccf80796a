// Recordings: the file size and the recorder's CPU for a minute of a real duel, against
// the raw snapshots, and the time to seek to any point of a 60-minute recording.
//
// The duel is the host's simulation at 60 frames a second with two computer players
// (levels 3 and 2) steering it, each seeing every snapshot, as over a lobby; a snapshot
// goes out every second frame and a chat line every 10 s.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "base/timer.h"
#include "bot/bot_brain.h"
#include "duel/packet_handlers.h"
#include "duel/simulate.h"
#include "record/record_player.h"
#include "shell/host.h"

namespace {

using namespace netduel;

constexpr double FRAME = 1.0 / 60.0;
constexpr int SNAPSHOTS_PER_MINUTE = 1800;

struct Duel {
    MatchState match;
    BotBrain brains[SHIP_COUNT];
    double carry = 0.0;
    double now = 0.0;
    int frame = 0;

    Duel()
    {
        hostMatchStart(match);
        botBrainReset(brains[0], botLevel(3), 7);
        botBrainReset(brains[1], botLevel(2), 11);
    }

    // One host frame; true with `snapshot` set on the frames that send one.
    bool step(Snapshot& snapshot)
    {
        for (int ship = 0; ship < SHIP_COUNT; ++ship)
            if (const auto word = botBrainDecide(brains[ship], ship, now)) shipApplyControl(match.ships[ship], *word);
        timerSetManual(now);  // the shared fire cooldown runs on the program clock
        simulateFrame(match, -FRAME, carry);
        now += FRAME;
        if (++frame % 2 != 0) return false;
        snapshot = snapshotEncode(match);
        const auto stamp = static_cast<std::uint32_t>(now * 1000.0);
        snapshotStampWrite(snapshot, stamp);
        for (int ship = 0; ship < SHIP_COUNT; ++ship) botBrainSee(brains[ship], match, stamp, ship, now);
        return true;
    }
};

double processSeconds()
{
    timespec at{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &at);
    return double(at.tv_sec) + double(at.tv_nsec) / 1e9;
}

std::string scratchPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / ("netduel-bench-" + std::to_string(getpid()) + "-" + name))
        .string();
}

// `minutes` of the duel through the real writer, the way a copy records: every snapshot
// at its time, a tick every frame.
void recordDuel(const std::string& path, double minutes)
{
    Duel duel;
    RecordWriter writer;
    recordWriterOpen(writer, path, 0.0);
    recordWriterLink(writer, true, 0.0);
    recordWriterPlayers(writer, {"alice", "Computer"}, 0.0);
    Snapshot snapshot;
    const int frames = static_cast<int>(minutes * 3600);
    for (int i = 0; i < frames; ++i) {
        if (duel.step(snapshot)) recordWriterSnapshot(writer, snapshot, duel.now);
        if (i % 600 == 0) recordWriterLine(writer, "alice: nice shot " + std::to_string(i), duel.now);
        recordWriterTick(writer, duel.now);
    }
    recordWriterClose(writer);
}

// Bytes a minute and the recorder's share of a core: the writer's work for one minute of
// snapshots (recorded as they came), lines and frame ticks, file writes included.
void BM_RecordOneMinute(benchmark::State& state)
{
    Duel duel;
    std::vector<Snapshot> snapshots;
    Snapshot snapshot;
    while (snapshots.size() < SNAPSHOTS_PER_MINUTE)
        if (duel.step(snapshot)) snapshots.push_back(snapshot);
    const std::string path = scratchPath("minute.ndrec");
    double cpu = 0.0;
    for (auto _ : state) {
        const double start = processSeconds();
        RecordWriter writer;
        recordWriterOpen(writer, path, 0.0);
        for (int frame = 0; frame < 2 * SNAPSHOTS_PER_MINUTE; ++frame) {
            const double now = frame * FRAME;
            if (frame % 2 == 1) recordWriterSnapshot(writer, snapshots[std::size_t(frame / 2)], now);
            if (frame % 600 == 0) recordWriterLine(writer, "alice: nice shot", now);
            recordWriterTick(writer, now);
        }
        recordWriterClose(writer);
        cpu += processSeconds() - start;
    }
    const double bytes = double(std::filesystem::file_size(path));
    std::filesystem::remove(path);
    state.counters["kB_per_minute"] = bytes / 1000.0;
    state.counters["raw_kB_per_minute"] = double(SNAPSHOTS_PER_MINUTE * SNAPSHOT_SIZE) / 1000.0;
    state.counters["cpu_share_percent"] = cpu / double(state.iterations()) / 60.0 * 100.0;
}
BENCHMARK(BM_RecordOneMinute)->Unit(benchmark::kMillisecond)->Iterations(20);

// A seek to a random point of a 60-minute recording: the block found in the index, the
// lead-in decoded and played into the view, and the frame drawn there. The worst of them
// beside the mean, and the opening that builds the index once.
void BM_SeekSixtyMinutes(benchmark::State& state)
{
    const std::string path = scratchPath("hour.ndrec");
    recordDuel(path, 60.0);
    RecordReader reader;
    std::string problem;
    const double opening = processSeconds();
    const bool opened = recordReaderOpen(reader, path, problem);
    state.counters["open_ms"] = (processSeconds() - opening) * 1000.0;  // the index, every checksum
    if (!opened) {
        state.SkipWithError(problem.c_str());
        return;
    }
    auto player = std::make_unique<RecordPlayer>();
    recordPlayerStart(*player, reader, true);
    std::mt19937 random(1);
    std::uniform_real_distribution<double> anywhere(0.0, reader.length);
    double worst = 0.0;
    for (auto _ : state) {
        const double start = processSeconds();
        recordPlayerSeek(*player, anywhere(random));
        benchmark::DoNotOptimize(recordPlayerFrame(*player, 0.0));
        worst = std::max(worst, processSeconds() - start);
    }
    state.counters["worst_ms"] = worst * 1000.0;
    state.counters["length_min"] = reader.length / 60.0;
    state.counters["file_MB"] = double(reader.size) / 1e6;
    recordReaderClose(reader);
    std::filesystem::remove(path);
}
BENCHMARK(BM_SeekSixtyMinutes)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
