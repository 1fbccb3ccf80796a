// Recordings, the format: what a copy heard during a match (snapshots with their arrival
// times, lobby lines, its own slot, the connection coming and going) written as it
// happens, and read back with an index that seeks to any moment. Recording a running
// copy is record_live.h's, playing back record_player.h's, --info record_info.h's.
//
// File format, version 2 (a reader plays version 1 too). All integers little-endian.
//
// Header, at offset 0:
//     0  8  magic "NDREC\r\n\x1a"
//     8  2  format version (2); a reader refuses a newer one
//    10  2  header length H, bytes: the first block starts at H
//    12  8  start time, milliseconds since 1970-01-01 UTC
//    20  1  length V of the program version text, at most 32
//    21  V  the program version text ("0.1.0")
//  21+V  4  CRC-32 (zlib's) of bytes 0…20+V
//
// Then blocks, one after the other to the end of the file, each written whole and
// flushed at once; a block closes one second after its first record at the latest, or
// when RECORD_BLOCK_RAW_MAX bytes of records wait:
//     0  4  stored length S: bytes of the zlib stream below, 1…RECORD_BLOCK_STORED_MAX
//     4  4  raw length R: bytes of records the stream inflates to, 1…RECORD_BLOCK_RAW_MAX
//     8  8  base time, microseconds since the recording started: the first record's time
//    16  4  record count, at least 1
//    20  4  CRC-32 of bytes 0…19 of the block and of its S stream bytes
//    24  S  the records, zlib-compressed (RFC 1950)
//
// A record is a type byte, a time and a body. The time is an unsigned LEB128 varint:
// microseconds after the previous record of the block (after the base time for the first).
//     1 snapshot  the snapshot as it arrived, as 116 little-endian 32-bit words, each
//                 stored as its difference (modulo 2^32) from a prediction from the
//                 block's snapshots before it: none for the block's first (a key
//                 snapshot, stored as it is), the one before for its second, and for the
//                 others 2·last − the one before last, the straight line on which
//                 bullets and gliding ships move. Each difference, read as a signed
//                 32-bit number, is zigzag-mapped (0, −1, 1, −2 … to 0, 1, 2, 3 …) and
//                 stored as an unsigned LEB128 varint of at most 5 bytes, so that the
//                 small misses of a jittery frame clock take a byte or two. (Version 1
//                 stores the 116 differences as 4 little-endian bytes each.)
//     2 line      u8 length (at most 150), the bytes: a lobby line as the history took it
//     3 slot      u8: the copy's own slot + 1 (0: none known)
//     4 link      u8: 1 the connection came up, 0 it went
//     5 players   two texts (u8 length, at most 32, then the bytes): who holds ship 0 and
//                 ship 1, empty when nobody or not known
//     6 panel     five texts (u8 length, at most 150, then the bytes): the history as it
//                 stands, newest first
// Every block begins with a panel, a slot, a link and a players record (all at time 0
// after the base), so that a block plays without any block before it: a seek decodes
// one block. Times never go back, across blocks too.
//
// A file needs no finishing step: a copy that is killed, or a disk that fills, leaves
// every block that was written whole. A reader plays the blocks up to the first one that
// is cut short or fails its checksum, and says where that is.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "duel/match.h"
#include "lobby/lobby.h"

namespace netduel {

inline constexpr std::uint8_t RECORD_MAGIC[8] = {'N', 'D', 'R', 'E', 'C', '\r', '\n', 0x1A};
inline constexpr std::uint16_t RECORD_VERSION = 2;
inline constexpr std::size_t RECORD_HEADER_FIXED = 21;   // bytes before the version text
inline constexpr std::size_t RECORD_VERSION_TEXT_MAX = 32;
inline constexpr std::size_t RECORD_BLOCK_HEADER = 24;
inline constexpr std::size_t RECORD_BLOCK_RAW_MAX = 64 * 1024;
// zlib's bound for the largest raw block, rounded up: nothing longer is a block.
inline constexpr std::size_t RECORD_BLOCK_STORED_MAX = RECORD_BLOCK_RAW_MAX + 1024;
inline constexpr double RECORD_BLOCK_SECONDS = 1.0;      // a block closes this long after its first record
inline constexpr int RECORD_PLAYER_NAME_MAX = NAME_CHARS;

enum class RecordKind : std::uint8_t {
    Snapshot = 1,
    Line = 2,
    Slot = 3,
    Link = 4,
    Players = 5,
    Panel = 6,
};

// One record as read back; only the fields of its kind are set.
struct RecordEvent {
    RecordKind kind = RecordKind::Snapshot;
    double time = 0.0;                        // s since the recording started
    Snapshot snapshot{};                      // Snapshot: the bytes as they arrived
    std::string text;                         // Line
    int slot = -1;                            // Slot: -1 none known
    bool connected = false;                   // Link
    std::array<std::string, SHIP_COUNT> players;     // Players
    std::array<std::string, HISTORY_LINES> panel;    // Panel: newest first
};

// What a block's first records say: the state a replay starts from there.
struct RecordState {
    std::array<std::string, HISTORY_LINES> panel;
    int slot = -1;
    bool connected = false;
    std::array<std::string, SHIP_COUNT> players;
};

// ---- Writer ---------------------------------------------------------------------------

// A block's last two snapshots, from which the next one is predicted.
struct RecordTrail {
    Snapshot last{};
    Snapshot before{};
    int count = 0;  // snapshots in the block so far
};

struct RecordWriter {
    std::FILE* file = nullptr;        // null before open, after close and after a failure
    std::string path;
    double origin = 0.0;              // s of the caller's clock at which the recording starts
    std::vector<std::uint8_t> raw;    // records of the open block
    std::uint64_t baseMicros = 0;     // the open block's first record
    std::uint64_t lastMicros = 0;     // the newest record's time
    std::uint32_t records = 0;        // in the open block; 0: no block open
    RecordTrail trail;                // the block's snapshots, for the next one's prediction
    RecordState state;                // as the records so far leave it
    std::uint64_t bytesWritten = 0;   // header and blocks
    bool failed = false;              // a write failed: nothing more is written
};

// Creates `path` (replacing a file there) and writes the header with the wall clock's
// start time and this program's version; `now` (s, the caller's clock) is time 0. False,
// with one status line and nothing open, when the file cannot be written. A recording
// the writer had open is ended whole first.
bool recordWriterOpen(RecordWriter& writer, const std::string& path, double now);

// As recordWriterOpen, on a file already open for writing (the writer closes it, also on
// failure); `path` names it in messages.
bool recordWriterOpenStream(RecordWriter& writer, std::FILE* file, const std::string& path, double now);

// Adds one record at `now` (s, the caller's clock; an earlier time counts as the newest).
// A snapshot shorter than 464 bytes is not kept; texts are cut to their limits.
void recordWriterSnapshot(RecordWriter& writer, std::span<const std::uint8_t> bytes, double now);
void recordWriterLine(RecordWriter& writer, std::string_view line, double now);
void recordWriterSlot(RecordWriter& writer, int slot, double now);
void recordWriterLink(RecordWriter& writer, bool connected, double now);
void recordWriterPlayers(RecordWriter& writer, const std::array<std::string, SHIP_COUNT>& players,
                         double now);

// Writes the open block once it is RECORD_BLOCK_SECONDS old at `now`; call every frame.
void recordWriterTick(RecordWriter& writer, double now);

// Writes the open block and closes the file; safe in any state.
void recordWriterClose(RecordWriter& writer);

// ---- Reader ---------------------------------------------------------------------------

struct RecordBlockEntry {
    std::uint64_t offset = 0;      // of the block header in the file
    double base = 0.0;             // s, its first record's time
    std::uint64_t baseMicros = 0;  // the same in the file's microseconds
    std::uint32_t stored = 0;
    std::uint32_t raw = 0;
    std::uint32_t records = 0;
};

struct RecordReader {
    std::FILE* file = nullptr;
    std::string path;
    std::uint16_t version = 0;
    std::uint64_t startMillis = 0;       // wall clock of the start
    std::string programVersion;
    std::vector<RecordBlockEntry> blocks;  // every whole block, in order
    double length = 0.0;                 // s: the last whole block's last record
    std::uint64_t size = 0;              // bytes of the file
    std::uint64_t goodBytes = 0;         // header and whole blocks
    std::string damage;                  // empty, or where and how the file stops being whole
};

// Opens `path`, reads its header and indexes every block, checking each checksum and
// decoding each, up to the first that is cut or damaged (`damage` then says where).
// False with `problem` set to one line when the file cannot be read, is not a recording,
// has a damaged header or is of a newer format; nothing is left open then.
bool recordReaderOpen(RecordReader& reader, const std::string& path, std::string& problem);

// As recordReaderOpen, on a stream already open for reading (the reader closes it, also
// on failure); `name` stands for it in messages.
bool recordReaderOpenStream(RecordReader& reader, std::FILE* file, const std::string& name,
                            std::string& problem);

// The block to start from to be at `time` (s): the last whose base is not after it.
std::size_t recordReaderBlockAt(const RecordReader& reader, double time);

// Reads and decodes block `index`. False, with nothing in `events`, when it cannot be
// read or decoded (a file changed since it was opened), or its records run past the next
// block's base time.
bool recordReaderBlock(RecordReader& reader, std::size_t index, std::vector<RecordEvent>& events);

// Closes the file; safe in any state.
void recordReaderClose(RecordReader& reader);

}  // namespace netduel
