// Recording writer: records into the open block, the block out whole once a second.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

#include "base/status.h"
#include "record/record.h"
#include "record/record_codec.h"

namespace netduel {

namespace {

// The state a block plays from, at its start.
constexpr RecordKind BLOCK_START[] = {RecordKind::Panel, RecordKind::Slot, RecordKind::Link, RecordKind::Players};

std::uint64_t wallMillis()
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

// Microseconds since the start; never before the newest record.
std::uint64_t writerMicros(const RecordWriter& writer, double now)
{
    const double micros = std::round((now - writer.origin) * 1e6);
    const std::uint64_t at = micros > 0.0 ? static_cast<std::uint64_t>(micros) : 0;
    return std::max(at, writer.lastMicros);
}

void writerFail(RecordWriter& writer, const char* what)
{
    statusWrite("Recording to " + writer.path + " stopped: " + what + ".", true);
    std::fclose(writer.file);
    writer.file = nullptr;
    writer.failed = true;
}

bool writerPut(RecordWriter& writer, std::span<const std::uint8_t> bytes)
{
    if (std::fwrite(bytes.data(), 1, bytes.size(), writer.file) == bytes.size()) return true;
    writerFail(writer, std::strerror(errno));
    return false;
}

void writerFlushBlock(RecordWriter& writer)
{
    if (!writer.file || writer.records == 0) return;
    const RecordBytes stored = recordDeflate(writer.raw);
    RecordBlockHeader header;
    header.raw = static_cast<std::uint32_t>(writer.raw.size());
    header.baseMicros = writer.baseMicros;
    header.records = writer.records;
    writer.raw.clear();
    writer.records = 0;
    if (stored.empty()) return writerFail(writer, "the compression failed");
    const auto head = recordBlockHeaderEncode(header, stored);
    if (!writerPut(writer, head) || !writerPut(writer, stored)) return;
    // Out of this process at once: a copy killed from now on keeps the block.
    if (std::fflush(writer.file) != 0) return writerFail(writer, std::strerror(errno));
    writer.bytesWritten += head.size() + stored.size();
}

// Adds `event` at `now`, opening a block with the state it starts from when none is open.
void writerAdd(RecordWriter& writer, const RecordEvent& event, double now)
{
    if (!writer.file) return;
    const std::uint64_t micros = writerMicros(writer, now);
    if (writer.records > 0 && writer.raw.size() >= RECORD_BLOCK_RAW_MAX - SNAPSHOT_SIZE * 2)
        writerFlushBlock(writer);
    if (!writer.file) return;
    if (writer.records == 0) {
        writer.baseMicros = micros;
        writer.lastMicros = micros;
        writer.trail = RecordTrail{};
        RecordEvent start;
        start.panel = writer.state.panel;
        start.slot = writer.state.slot;
        start.connected = writer.state.connected;
        start.players = writer.state.players;
        for (const RecordKind kind : BLOCK_START) {
            start.kind = kind;
            recordAppend(writer.raw, start, 0, writer.trail);
        }
        writer.records = std::size(BLOCK_START);
    }
    recordAppend(writer.raw, event, micros - writer.lastMicros, writer.trail);
    writer.lastMicros = micros;
    ++writer.records;
}

}  // namespace

bool recordWriterOpen(RecordWriter& writer, const std::string& path, double now)
{
    recordWriterClose(writer);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        statusWrite("Cannot record to " + path + ": " + std::strerror(errno), true);
        writer = RecordWriter{};
        return false;
    }
    return recordWriterOpenStream(writer, file, path, now);
}

bool recordWriterOpenStream(RecordWriter& writer, std::FILE* file, const std::string& path, double now)
{
    recordWriterClose(writer);  // one open before ends whole
    writer = RecordWriter{};
    writer.path = path;
    writer.origin = now;
    writer.file = file;
    RecordHeader header;
    header.startMillis = wallMillis();
    header.programVersion = NETDUEL_VERSION;
    const RecordBytes bytes = recordHeaderEncode(header);
    if (!writerPut(writer, bytes) || std::fflush(writer.file) != 0) {
        if (writer.file) writerFail(writer, std::strerror(errno));
        return false;
    }
    writer.bytesWritten = bytes.size();
    return true;
}

void recordWriterSnapshot(RecordWriter& writer, std::span<const std::uint8_t> bytes, double now)
{
    if (bytes.size() < SNAPSHOT_SIZE) return;
    RecordEvent event;
    event.kind = RecordKind::Snapshot;
    std::copy_n(bytes.begin(), SNAPSHOT_SIZE, event.snapshot.begin());
    writerAdd(writer, event, now);
}

void recordWriterLine(RecordWriter& writer, std::string_view line, double now)
{
    RecordEvent event;
    event.kind = RecordKind::Line;
    event.text = line.substr(0, HISTORY_CHARS);
    writerAdd(writer, event, now);
    // The panel as a block starting now would show it: newest on top.
    auto& panel = writer.state.panel;
    std::move_backward(panel.begin(), panel.end() - 1, panel.end());
    panel[0] = event.text;
}

void recordWriterSlot(RecordWriter& writer, int slot, double now)
{
    RecordEvent event;
    event.kind = RecordKind::Slot;
    event.slot = slot < 0 || slot > 254 ? -1 : slot;
    writerAdd(writer, event, now);
    writer.state.slot = event.slot;
}

void recordWriterLink(RecordWriter& writer, bool connected, double now)
{
    RecordEvent event;
    event.kind = RecordKind::Link;
    event.connected = connected;
    writerAdd(writer, event, now);
    writer.state.connected = connected;
}

void recordWriterPlayers(RecordWriter& writer, const std::array<std::string, SHIP_COUNT>& players,
                         double now)
{
    RecordEvent event;
    event.kind = RecordKind::Players;
    for (int i = 0; i < SHIP_COUNT; ++i) event.players[i] = players[i].substr(0, RECORD_PLAYER_NAME_MAX);
    writerAdd(writer, event, now);
    writer.state.players = event.players;
}

void recordWriterTick(RecordWriter& writer, double now)
{
    if (writer.records == 0) return;
    if (writerMicros(writer, now) - writer.baseMicros >= std::uint64_t(RECORD_BLOCK_SECONDS * 1e6))
        writerFlushBlock(writer);
}

void recordWriterClose(RecordWriter& writer)
{
    writerFlushBlock(writer);
    if (writer.file && std::fclose(writer.file) != 0)
        statusWrite("Recording to " + writer.path + " may be cut: " + std::strerror(errno), true);
    writer.file = nullptr;
    writer.raw.clear();
    writer.records = 0;
}

}  // namespace netduel
