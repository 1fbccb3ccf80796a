// The byte level of record.h's format, shared by its writer and reader: little-endian
// fields, varints, the header and block headers, and one block's records both ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "record/record.h"

namespace netduel {

using RecordBytes = std::vector<std::uint8_t>;

struct RecordHeader {
    std::uint16_t version = RECORD_VERSION;
    std::uint16_t length = 0;  // bytes up to the first block
    std::uint64_t startMillis = 0;
    std::string programVersion;
};

struct RecordBlockHeader {
    std::uint32_t stored = 0;
    std::uint32_t raw = 0;
    std::uint64_t baseMicros = 0;
    std::uint32_t records = 0;
    std::uint32_t crc = 0;
};

// CRC-32 of `bytes` continued from `crc` (0 to start).
std::uint32_t recordCrc(std::uint32_t crc, std::span<const std::uint8_t> bytes);

RecordBytes recordHeaderEncode(const RecordHeader& header);

// Why a header cannot be read; Ok when it can.
enum class RecordHeaderFault { Ok, Short, NotRecording, Newer, Damaged };

// Reads a header from the first bytes of a file (at least RECORD_HEADER_FIXED + the
// version text + 4 when there are that many).
RecordHeaderFault recordHeaderDecode(std::span<const std::uint8_t> bytes, RecordHeader& header);

// The 24 block header bytes for `stored` zlib bytes, CRC included.
std::array<std::uint8_t, RECORD_BLOCK_HEADER> recordBlockHeaderEncode(
    RecordBlockHeader header, std::span<const std::uint8_t> stored);

// Reads 24 block header bytes; false when a length or the count is out of its range.
bool recordBlockHeaderDecode(std::span<const std::uint8_t> bytes, RecordBlockHeader& header);

// The CRC a block with this header and these stream bytes must carry.
std::uint32_t recordBlockCrc(std::span<const std::uint8_t> headerBytes,
                             std::span<const std::uint8_t> stored);

// Appends one record's type, time step and body to `raw` in the layout of format
// `version`; a snapshot is stored against the prediction from the block's snapshots
// before it in `trail`, and joins it.
void recordAppend(RecordBytes& raw, const RecordEvent& event, std::uint64_t stepMicros, RecordTrail& trail,
                  std::uint16_t version = RECORD_VERSION);

// A whole block's raw bytes for `events` (read back, or made) in the layout of format
// `version`, their times stepped from `baseMicros`: what the writer writes for them, and
// for version 1 what an older writer wrote.
RecordBytes recordBlockEncode(std::span<const RecordEvent> events, std::uint64_t baseMicros, std::uint16_t version);

// zlib both ways. Inflation fails unless it yields exactly `rawLength` bytes.
RecordBytes recordDeflate(std::span<const std::uint8_t> raw);
bool recordInflate(std::span<const std::uint8_t> stored, std::size_t rawLength, RecordBytes& raw);

// Decodes a block's raw records in the layout of format `version` (base time in µs).
// False, with `events` cut to what decoded, when a record is unknown, cut short or
// breaks a limit, or the count differs.
bool recordDecodeBlock(std::span<const std::uint8_t> raw, std::uint16_t version, std::uint64_t baseMicros,
                       std::uint32_t records, std::vector<RecordEvent>& events);

}  // namespace netduel
