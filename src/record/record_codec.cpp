// Byte level of recordings: fields, varints, headers, records and zlib.
#include "record/record_codec.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace netduel {

namespace {

constexpr int DEFLATE_LEVEL = 9;        // a block is small and closes once a second: take the best
constexpr int VARINT_BYTES_MAX = 10;    // of a 64-bit value
constexpr std::size_t SNAPSHOT_WORDS = SNAPSHOT_SIZE / 4;  // little-endian 32-bit words
static_assert(SNAPSHOT_WORDS * 4 == SNAPSHOT_SIZE);

void putLe(RecordBytes& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t getLe(std::span<const std::uint8_t> in, std::size_t at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= std::uint64_t(in[at + std::size_t(i)]) << (8 * i);
    return value;
}

void putVarint(RecordBytes& out, std::uint64_t value)
{
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

// A residual as a small unsigned number whatever its sign: 0, −1, 1, −2, … → 0, 1, 2, 3, …
std::uint64_t zigzag(std::uint32_t residual)
{
    const auto value = static_cast<std::int32_t>(residual);
    return (static_cast<std::uint32_t>(value) << 1) ^ static_cast<std::uint32_t>(value >> 31);
}

std::uint32_t unzigzag(std::uint32_t stored) { return (stored >> 1) ^ (0u - (stored & 1u)); }

void putText(RecordBytes& out, std::string_view text, std::size_t most)
{
    const std::size_t length = std::min(text.size(), most);
    out.push_back(static_cast<std::uint8_t>(length));
    out.insert(out.end(), text.begin(), text.begin() + std::ptrdiff_t(length));
}

// Reads a block's records front to back; every read checks what is left first.
struct Cursor {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    bool ok = true;

    std::uint8_t byte()
    {
        if (at >= bytes.size()) {
            ok = false;
            return 0;
        }
        return bytes[at++];
    }
    std::uint64_t varint()
    {
        std::uint64_t value = 0;
        for (int i = 0; i < VARINT_BYTES_MAX && ok; ++i) {
            const std::uint8_t b = byte();
            value |= std::uint64_t(b & 0x7F) << (7 * i);
            if ((b & 0x80) == 0) return value;
        }
        ok = false;
        return 0;
    }
    std::uint32_t word()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= std::uint32_t(byte()) << (8 * i);
        return value;
    }
    std::uint32_t varint32()
    {
        const std::uint64_t value = varint();
        if (value > UINT32_MAX) ok = false;
        return static_cast<std::uint32_t>(value);
    }
    std::string text(std::size_t most)
    {
        const std::size_t length = byte();
        if (!ok || length > most || bytes.size() - at < length) {
            ok = false;
            return {};
        }
        std::string out(reinterpret_cast<const char*>(bytes.data() + at), length);
        at += length;
        return out;
    }
};

std::uint32_t wordAt(const Snapshot& snapshot, std::size_t word)
{
    return static_cast<std::uint32_t>(getLe(snapshot, word * 4, 4));
}

// Word `word` of the next snapshot as the trail predicts it: nothing before the first,
// the last one's after it, then a straight line through the last two.
std::uint32_t trailPredict(const RecordTrail& trail, std::size_t word)
{
    if (trail.count == 0) return 0;
    const std::uint32_t last = wordAt(trail.last, word);
    return trail.count == 1 ? last : 2 * last - wordAt(trail.before, word);
}

void trailPush(RecordTrail& trail, const Snapshot& snapshot)
{
    trail.before = trail.last;
    trail.last = snapshot;
    ++trail.count;
}

}  // namespace

std::uint32_t recordCrc(std::uint32_t crc, std::span<const std::uint8_t> bytes)
{
    return static_cast<std::uint32_t>(crc32_z(crc, bytes.data(), bytes.size()));
}

RecordBytes recordHeaderEncode(const RecordHeader& header)
{
    RecordBytes out(std::begin(RECORD_MAGIC), std::end(RECORD_MAGIC));
    const std::size_t textLength = std::min(header.programVersion.size(), RECORD_VERSION_TEXT_MAX);
    putLe(out, header.version, 2);
    putLe(out, RECORD_HEADER_FIXED + textLength + 4, 2);
    putLe(out, header.startMillis, 8);
    putText(out, header.programVersion, RECORD_VERSION_TEXT_MAX);
    putLe(out, recordCrc(0, out), 4);
    return out;
}

RecordHeaderFault recordHeaderDecode(std::span<const std::uint8_t> bytes, RecordHeader& header)
{
    const std::size_t magic = sizeof(RECORD_MAGIC);
    if (bytes.empty()) return RecordHeaderFault::NotRecording;
    if (bytes.size() < magic + 2) {
        const std::size_t seen = std::min(bytes.size(), magic);
        return std::memcmp(bytes.data(), RECORD_MAGIC, seen) == 0 ? RecordHeaderFault::Short
                                                                  : RecordHeaderFault::NotRecording;
    }
    if (std::memcmp(bytes.data(), RECORD_MAGIC, magic) != 0) return RecordHeaderFault::NotRecording;
    header.version = static_cast<std::uint16_t>(getLe(bytes, 8, 2));
    if (header.version > RECORD_VERSION) return RecordHeaderFault::Newer;
    if (header.version == 0) return RecordHeaderFault::Damaged;
    if (bytes.size() < RECORD_HEADER_FIXED) return RecordHeaderFault::Short;
    header.length = static_cast<std::uint16_t>(getLe(bytes, 10, 2));
    header.startMillis = getLe(bytes, 12, 8);
    const std::size_t textLength = bytes[20];
    if (textLength > RECORD_VERSION_TEXT_MAX || header.length != RECORD_HEADER_FIXED + textLength + 4)
        return RecordHeaderFault::Damaged;
    if (bytes.size() < header.length) return RecordHeaderFault::Short;
    const std::size_t crcAt = header.length - 4;
    if (recordCrc(0, bytes.first(crcAt)) != getLe(bytes, crcAt, 4)) return RecordHeaderFault::Damaged;
    header.programVersion.assign(reinterpret_cast<const char*>(bytes.data() + RECORD_HEADER_FIXED),
                                 textLength);
    return RecordHeaderFault::Ok;
}

std::uint32_t recordBlockCrc(std::span<const std::uint8_t> headerBytes,
                             std::span<const std::uint8_t> stored)
{
    return recordCrc(recordCrc(0, headerBytes.first(20)), stored);
}

std::array<std::uint8_t, RECORD_BLOCK_HEADER> recordBlockHeaderEncode(
    RecordBlockHeader header, std::span<const std::uint8_t> stored)
{
    RecordBytes out;
    header.stored = static_cast<std::uint32_t>(stored.size());
    putLe(out, header.stored, 4);
    putLe(out, header.raw, 4);
    putLe(out, header.baseMicros, 8);
    putLe(out, header.records, 4);
    putLe(out, recordBlockCrc(out, stored), 4);
    std::array<std::uint8_t, RECORD_BLOCK_HEADER> bytes{};
    std::copy(out.begin(), out.end(), bytes.begin());
    return bytes;
}

bool recordBlockHeaderDecode(std::span<const std::uint8_t> bytes, RecordBlockHeader& header)
{
    if (bytes.size() < RECORD_BLOCK_HEADER) return false;
    header.stored = static_cast<std::uint32_t>(getLe(bytes, 0, 4));
    header.raw = static_cast<std::uint32_t>(getLe(bytes, 4, 4));
    header.baseMicros = getLe(bytes, 8, 8);
    header.records = static_cast<std::uint32_t>(getLe(bytes, 16, 4));
    header.crc = static_cast<std::uint32_t>(getLe(bytes, 20, 4));
    return header.stored >= 1 && header.stored <= RECORD_BLOCK_STORED_MAX && header.raw >= 1 &&
           header.raw <= RECORD_BLOCK_RAW_MAX && header.records >= 1 && header.records <= header.raw;
}

void recordAppend(RecordBytes& raw, const RecordEvent& event, std::uint64_t stepMicros, RecordTrail& trail,
                  std::uint16_t version)
{
    raw.push_back(static_cast<std::uint8_t>(event.kind));
    putVarint(raw, stepMicros);
    switch (event.kind) {
    case RecordKind::Snapshot:
        for (std::size_t word = 0; word < SNAPSHOT_WORDS; ++word) {
            const std::uint32_t residual = wordAt(event.snapshot, word) - trailPredict(trail, word);
            if (version == 1) putLe(raw, residual, 4);
            else putVarint(raw, zigzag(residual));
        }
        trailPush(trail, event.snapshot);
        break;
    case RecordKind::Line: putText(raw, event.text, HISTORY_CHARS); break;
    case RecordKind::Slot: raw.push_back(static_cast<std::uint8_t>(event.slot < 0 ? 0 : event.slot + 1)); break;
    case RecordKind::Link: raw.push_back(event.connected ? 1 : 0); break;
    case RecordKind::Players:
        for (const std::string& name : event.players) putText(raw, name, RECORD_PLAYER_NAME_MAX);
        break;
    case RecordKind::Panel:
        for (const std::string& line : event.panel) putText(raw, line, HISTORY_CHARS);
        break;
    }
}

RecordBytes recordBlockEncode(std::span<const RecordEvent> events, std::uint64_t baseMicros, std::uint16_t version)
{
    RecordBytes raw;
    RecordTrail trail;
    std::uint64_t micros = baseMicros;
    for (const RecordEvent& event : events) {
        const auto at = static_cast<std::uint64_t>(std::llround(event.time * 1e6));
        recordAppend(raw, event, at - std::min(at, micros), trail, version);
        micros = std::max(micros, at);
    }
    return raw;
}

RecordBytes recordDeflate(std::span<const std::uint8_t> raw)
{
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    RecordBytes out(length);
    if (compress2(out.data(), &length, raw.data(), static_cast<uLong>(raw.size()), DEFLATE_LEVEL) != Z_OK)
        return {};
    out.resize(length);
    return out;
}

bool recordInflate(std::span<const std::uint8_t> stored, std::size_t rawLength, RecordBytes& raw)
{
    raw.resize(rawLength);
    uLongf length = static_cast<uLongf>(rawLength);
    uLong used = static_cast<uLong>(stored.size());
    const int result = uncompress2(raw.data(), &length, stored.data(), &used);
    return result == Z_OK && length == rawLength && used == stored.size();
}

bool recordDecodeBlock(std::span<const std::uint8_t> raw, std::uint16_t version, std::uint64_t baseMicros,
                       std::uint32_t records, std::vector<RecordEvent>& events)
{
    events.clear();
    Cursor in{raw};
    RecordTrail trail;
    std::uint64_t micros = baseMicros;
    while (in.at < raw.size()) {
        RecordEvent event;
        const std::uint8_t kind = in.byte();
        const std::uint64_t step = in.varint();
        if (!in.ok || step > UINT64_MAX - micros) return false;
        micros += step;
        event.time = double(micros) / 1e6;
        switch (kind) {
        case std::uint8_t(RecordKind::Snapshot):
            for (std::size_t word = 0; word < SNAPSHOT_WORDS && in.ok; ++word) {
                const std::uint32_t residual = version == 1 ? in.word() : unzigzag(in.varint32());
                const std::uint32_t value = residual + trailPredict(trail, word);
                for (std::size_t i = 0; i < 4; ++i)
                    event.snapshot[word * 4 + i] = static_cast<std::uint8_t>(value >> (8 * i));
            }
            trailPush(trail, event.snapshot);
            break;
        case std::uint8_t(RecordKind::Line): event.text = in.text(HISTORY_CHARS); break;
        case std::uint8_t(RecordKind::Slot): event.slot = int(in.byte()) - 1; break;
        case std::uint8_t(RecordKind::Link): {
            const std::uint8_t up = in.byte();
            if (up > 1) return false;
            event.connected = up == 1;
            break;
        }
        case std::uint8_t(RecordKind::Players):
            for (std::string& name : event.players) name = in.text(RECORD_PLAYER_NAME_MAX);
            break;
        case std::uint8_t(RecordKind::Panel):
            for (std::string& line : event.panel) line = in.text(HISTORY_CHARS);
            break;
        default: return false;
        }
        if (!in.ok) return false;
        event.kind = static_cast<RecordKind>(kind);
        events.push_back(std::move(event));
        if (events.size() > records) return false;
    }
    return events.size() == records;
}

}  // namespace netduel
