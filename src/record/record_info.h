// A recording's summary for --replay FILE --info: what it holds, read block by block, and
// the lines that print it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "record/record.h"

namespace netduel {

struct RecordSummary {
    double length = 0.0;
    std::uint64_t snapshots = 0;
    std::uint64_t lines = 0;
    std::array<std::vector<std::string>, SHIP_COUNT> players;  // every name seen per ship
    int slot = -1;                       // the last own slot known
    double bytesPerMinute = 0.0;         // of the whole blocks
};

// Decodes every whole block. False when one fails to decode (`reader.damage` is set).
bool recordSummarize(RecordReader& reader, RecordSummary& summary);

// --info's lines: length, start, program, players, own slot, snapshots, lobby lines,
// size per minute and whether the file was cut. Peers' names are escaped.
std::string recordInfoText(const RecordReader& reader, const RecordSummary& summary);

// --replay FILE --info: prints the summary on standard output. The exit status: 0, or 1
// after one line on standard error when the file is refused.
int recordInfoRun(const std::string& path);

}  // namespace netduel
