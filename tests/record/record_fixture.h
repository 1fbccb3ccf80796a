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

// `seconds` of a match as a client hears it, 30 snapshots a second with that jitter,
// a lobby line every 0.7 s, its slot, and ship 1 changing hands at 2 s. The events as
// written, with their times since the start.
inline std::vector<RecordEvent> writeSampleRecording(const std::string& path, double seconds)
{
    const double origin = 50.0;
    std::vector<RecordEvent> events;
    RecordWriter writer;
    EXPECT_TRUE(recordWriterOpen(writer, path, origin));
    auto add = [&](RecordEvent event) {
        event.time = std::round(event.time * 1e6) / 1e6;  // the file's microseconds
        const double now = origin + event.time;
        switch (event.kind) {
        case RecordKind::Snapshot: recordWriterSnapshot(writer, event.snapshot, now); break;
        case RecordKind::Line: recordWriterLine(writer, event.text, now); break;
        case RecordKind::Slot: recordWriterSlot(writer, event.slot, now); break;
        case RecordKind::Link: recordWriterLink(writer, event.connected, now); break;
        case RecordKind::Players: recordWriterPlayers(writer, event.players, now); break;
        case RecordKind::Panel: break;
        }
        recordWriterTick(writer, now);
        events.push_back(std::move(event));
    };
    RecordEvent link;
    link.kind = RecordKind::Link;
    link.connected = true;
    add(link);
    RecordEvent slot;
    slot.kind = RecordKind::Slot;
    slot.slot = 1;
    add(slot);
    RecordEvent players;
    players.kind = RecordKind::Players;
    players.players = {"alice", "bob"};
    add(players);
    const int count = static_cast<int>(std::lround(seconds * 30.0));
    int lines = 0;
    SampleMatch sample;
    for (int i = 0; i <= count; ++i) {
        RecordEvent snapshot;
    snapshot.kind = RecordKind::Snapshot;
        snapshot.time = i / 30.0 + (i % 3 == 1 ? LATE : 0.0);
        if (i == count) snapshot.time = i / 30.0;
        snapshot.snapshot = sample.next();
        if (snapshot.time >= 2.0 && players.players[1] == "bob") {
            players.time = snapshot.time;
            players.players[1] = "carol";
            add(players);
        }
        if (snapshot.time >= 0.7 * (lines + 1)) {
            RecordEvent line;
    line.kind = RecordKind::Line;
            line.time = snapshot.time;
            line.text = "alice: line " + std::to_string(++lines);
            add(line);
        }
        add(snapshot);
    }
    recordWriterClose(writer);
    return events;
}

}  // namespace netduel::test
