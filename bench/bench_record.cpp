// Recordings: the file size and the recorder's CPU for a minute of a real duel, against
// the raw snapshots and against format 1's layout of the same records, and the time to
// seek to any point of a 60-minute recording.
//
// The duel is the host's simulation at 60 frames a second with two computer players
// (levels 3 and 2) steering it, each seeing every snapshot, as over a lobby; a snapshot
// goes out every second frame and a chat line every 10 s. The two-bot case plays two
// level 3 players for five minutes on a host whose frame times jitter.
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
#include "record/record_codec.h"
#include "record/record_player.h"
#include "shell/host.h"

namespace {

using namespace netduel;

constexpr double FRAME = 1.0 / 60.0;
constexpr int SNAPSHOTS_PER_MINUTE = 1800;

// ms: the spread of a real host's frame times about 1/60 s (its pace on the steady clock,
// the scheduler, the other programs of the machine); 0: every frame exactly 1/60 s.
constexpr double HOST_JITTER_MS = 1.5;
constexpr double FRAME_SHORTEST = 0.010;  // s: the jittered frame's bounds
constexpr double FRAME_LONGEST = 0.025;

struct Duel {
    MatchState match;
    BotBrain brains[SHIP_COUNT];
    double carry = 0.0;
    double now = 0.0;
    int frame = 0;
    std::mt19937 random{3};
    std::normal_distribution<double> frameTime;

    explicit Duel(double jitterMs = 0.0, int level0 = 3, int level1 = 2) : frameTime(FRAME, jitterMs / 1000.0)
    {
        hostMatchStart(match);
        botBrainReset(brains[0], botLevel(level0), 7);
        botBrainReset(brains[1], botLevel(level1), 11);
    }

    // One host frame; true with `snapshot` set on the frames that send one.
    bool step(Snapshot& snapshot)
    {
        for (int ship = 0; ship < SHIP_COUNT; ++ship)
            if (const auto word = botBrainDecide(brains[ship], ship, now)) shipApplyControl(match.ships[ship], *word);
        timerSetManual(now);  // the shared fire cooldown runs on the program clock
        const double dt = frameTime.stddev() > 0.0 ? std::clamp(frameTime(random), FRAME_SHORTEST, FRAME_LONGEST) : FRAME;
        simulateFrame(match, -dt, carry);
        now += dt;
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

// The same recording's bytes in format 1's layout (each snapshot's differences in four
// bytes a word): the baseline the current layout is measured against.
std::uint64_t formatOneBytes(const std::string& path)
{
    RecordReader reader;
    std::string problem;
    if (!recordReaderOpen(reader, path, problem)) return 0;
    std::uint64_t bytes = reader.blocks.empty() ? reader.size : reader.blocks.front().offset;
    std::vector<RecordEvent> events;
    for (std::size_t block = 0; block < reader.blocks.size(); ++block) {
        recordReaderBlock(reader, block, events);
        bytes += RECORD_BLOCK_HEADER + recordDeflate(recordBlockEncode(events, reader.blocks[block].baseMicros, 1)).size();
    }
    recordReaderClose(reader);
    return bytes;
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
    state.counters["v1_kB_per_minute"] = double(formatOneBytes(path)) / 1000.0;
    std::filesystem::remove(path);
    state.counters["kB_per_minute"] = bytes / 1000.0;
    state.counters["raw_kB_per_minute"] = double(SNAPSHOTS_PER_MINUTE * SNAPSHOT_SIZE) / 1000.0;
    state.counters["cpu_share_percent"] = cpu / double(state.iterations()) / 60.0 * 100.0;
}
BENCHMARK(BM_RecordOneMinute)->Unit(benchmark::kMillisecond)->Iterations(20);

// Bytes a minute of a duel of two computer players at level 3 on a host whose frames
// jitter as a real one's do, over its first five minutes, recorded as a dedicated host
// records: each snapshot at the frame that sent it.
void BM_RecordTwoBotDuel(benchmark::State& state)
{
    constexpr double MINUTES = 5.0;
    const std::string path = scratchPath("two-bots.ndrec");
    for (auto _ : state) {
        Duel duel(HOST_JITTER_MS, 3, 3);
        RecordWriter writer;
        recordWriterOpen(writer, path, 0.0);
        recordWriterLink(writer, true, 0.0);
        recordWriterPlayers(writer, {"Computer", "Computer"}, 0.0);
        Snapshot snapshot;
        while (duel.now < MINUTES * 60.0) {
            if (duel.step(snapshot)) recordWriterSnapshot(writer, snapshot, duel.now);
            recordWriterTick(writer, duel.now);
        }
        recordWriterClose(writer);
    }
    state.counters["kB_per_minute"] = double(std::filesystem::file_size(path)) / 1000.0 / MINUTES;
    state.counters["v1_kB_per_minute"] = double(formatOneBytes(path)) / 1000.0 / MINUTES;
    std::filesystem::remove(path);
}
BENCHMARK(BM_RecordTwoBotDuel)->Unit(benchmark::kMillisecond)->Iterations(1);

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
