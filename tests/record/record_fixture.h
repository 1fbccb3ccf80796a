// Recording tests' helpers: a scratch folder, sample snapshots from the real simulation
// and a sample recording written through the real writer.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "duel/simulate.h"
#include "record/record.h"
#include "shell/host.h"

namespace netduel::test {

struct RecordFolder {
    std::string root;
    RecordFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "netduel-record-XXXXXX").string();
        root = mkdtemp(pattern.data()) ? pattern : std::string();
        EXPECT_FALSE(root.empty());
    }
    ~RecordFolder() { std::filesystem::remove_all(root); }
    std::string path(const std::string& name) const { return root + "/" + name; }
};

inline std::vector<std::uint8_t> fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::string& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The host's match at 60 frames a second, both ships circling and firing, one snapshot
// every second frame stamped with its send time in ms.
struct SampleMatch {
    MatchState match;
    double carry = 0.0;
    int index = 0;
    SampleMatch() { hostMatchStart(match); }
    Snapshot next()
    {
        Snapshot snapshot = snapshotEncode(match);
        snapshotStampWrite(snapshot, static_cast<std::uint32_t>(5000 + index * 1000 / 30));
        for (int frame = 2 * index; frame < 2 * index + 2; ++frame) {
            for (Ship& ship : match.ships) {
                ship.speed = 250.0f;
                ship.turnRate = frame % 120 < 60 ? -5.0f : 5.0f;
                if (frame % 12 == 0) ship.fireRequest = FIRE_REQUESTED;
            }
            simulateFrame(match, -1.0 / 60.0, carry);
        }
        ++index;
        return snapshot;
    }
};

inline std::uint64_t countKind(const std::vector<RecordEvent>& events, RecordKind kind)
{
    std::uint64_t n = 0;
    for (const RecordEvent& event : events) n += event.kind == kind;
    return n;
}

// s: every third snapshot of the sample arrives this late, a jitter that lengthens the
// view's playout delay past its least.
inline constexpr double LATE = 0.03;

// `seconds` of a match as a client hears it: its slot, 30 snapshots a second with that
// jitter, a lobby line every 0.7 s, and ship 1 changing hands at 2 s. The snapshots and
// lines as written, with their times since the start in the file's microseconds.
inline std::vector<RecordEvent> writeSampleRecording(const std::string& path, double seconds)
{
    const double origin = 50.0;
    RecordWriter writer;
    EXPECT_TRUE(recordWriterOpen(writer, path, origin));
    recordWriterLink(writer, true, origin);
    recordWriterSlot(writer, 1, origin);
    recordWriterPlayers(writer, {"alice", "bob"}, origin);
    std::vector<RecordEvent> events;
    SampleMatch sample;
    const int count = static_cast<int>(std::lround(seconds * 30.0));
    for (int i = 0; i <= count; ++i) {
        const double at = std::round((i / 30.0 + (i % 3 == 1 && i < count ? LATE : 0.0)) * 1e6) / 1e6;
        if (i == 60) recordWriterPlayers(writer, {"alice", "carol"}, origin + at);
        if (at >= 0.7 * double(countKind(events, RecordKind::Line) + 1)) {
            RecordEvent& line = events.emplace_back();
            line.kind = RecordKind::Line;
            line.time = at;
            line.text = "alice: line " + std::to_string(countKind(events, RecordKind::Line));
            recordWriterLine(writer, line.text, origin + at);
        }
        RecordEvent& snapshot = events.emplace_back();
        snapshot.kind = RecordKind::Snapshot;
        snapshot.time = at;
        snapshot.snapshot = sample.next();
        recordWriterSnapshot(writer, snapshot.snapshot, origin + at);
        recordWriterTick(writer, origin + at);
    }
    recordWriterClose(writer);
    return events;
}

}  // namespace netduel::test
