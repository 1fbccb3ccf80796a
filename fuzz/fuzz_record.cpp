// Fuzz target: a recording's reader and its playback with any file. The reader either
// refuses the file or indexes whole blocks in order within the file; whatever decodes
// keeps its limits and its order in time, and playing it, seeking and stepping through
// it stay within the recording.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "record/record_info.h"
#include "record/record_player.h"

using namespace netduel;

namespace {

void check(bool holds)
{
    if (!holds) std::abort();
}

void checkBlocks(RecordReader& reader)
{
    std::vector<RecordEvent> events;
    double last = 0.0;
    for (std::size_t i = 0; i < reader.blocks.size(); ++i) {
        check(reader.blocks[i].offset + RECORD_BLOCK_HEADER + reader.blocks[i].stored <= reader.goodBytes);
        if (!recordReaderBlock(reader, i, events)) continue;  // a block that does not decode plays nothing
        for (const RecordEvent& event : events) {
            check(event.time >= last && event.text.size() <= std::size_t(HISTORY_CHARS));
            for (const std::string& name : event.players) check(name.size() <= std::size_t(NAME_CHARS));
            last = event.time;
        }
    }
    check(reader.length >= 0.0 && (reader.blocks.empty() || reader.length >= reader.blocks.back().base));
}

void checkPlayback(RecordReader& reader)
{
    auto player = std::make_unique<RecordPlayer>();
    recordPlayerStart(*player, reader, true);
    const double points[] = {reader.length / 2, reader.length, 0.0};
    for (const double point : points) {
        recordPlayerSeek(*player, point);
        check(player->position >= 0.0 && player->position <= reader.length);
    }
    for (int i = 0; i < 4 && recordPlayerStep(*player); ++i) check(player->position <= reader.length);
    recordPlayerSpeed(*player, 10);
    player->paused = false;
    for (int frame = 0; frame < 120 && !player->paused; ++frame) recordPlayerFrame(*player, 0.1);
    for (const auto& line : player->panel.history) check(line[HISTORY_CHARS] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;  // fmemopen takes no empty buffer; an empty file is a test's case
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!file) return 0;
    RecordReader reader;
    std::string problem;
    if (!recordReaderOpenStream(reader, file, "fuzz", problem)) {
        check(!problem.empty() && reader.file == nullptr);
        return 0;
    }
    check(reader.goodBytes <= size && (reader.goodBytes == size) == reader.damage.empty());
    checkBlocks(reader);
    RecordSummary summary;
    recordSummarize(reader, summary);
    check(!recordInfoText(reader, summary).empty());
    checkPlayback(reader);
    recordReaderClose(reader);
    return 0;
}
