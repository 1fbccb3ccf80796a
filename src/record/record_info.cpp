// A recording's summary for --info.
#include <algorithm>
#include <ctime>

#include "base/status.h"
#include "record/record_info.h"

namespace netduel {

namespace {


std::string formatted(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string startText(std::uint64_t millis)
{
    const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
    std::tm utc{};
    if (!gmtime_r(&seconds, &utc)) return "?";
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

std::string namesText(const std::vector<std::string>& names)
{
    if (names.empty()) return "-";
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + statusEscape(name);
    return text;
}

}  // namespace

bool recordSummarize(RecordReader& reader, RecordSummary& summary)
{
    summary = RecordSummary{};
    summary.length = reader.length;
    std::vector<RecordEvent> events;
    for (std::size_t block = 0; block < reader.blocks.size(); ++block) {
        if (!recordReaderBlock(reader, block, events)) return false;
        for (const RecordEvent& event : events) {
            switch (event.kind) {
            case RecordKind::Snapshot: ++summary.snapshots; break;
            case RecordKind::Line: ++summary.lines; break;
            case RecordKind::Slot:
                if (event.slot >= 0) summary.slot = event.slot;
                break;
            case RecordKind::Players:
                for (int ship = 0; ship < SHIP_COUNT; ++ship) {
                    std::vector<std::string>& seen = summary.players[std::size_t(ship)];
                    const std::string& name = event.players[std::size_t(ship)];
                    if (!name.empty() && std::find(seen.begin(), seen.end(), name) == seen.end())
                        seen.push_back(name);
                }
                break;
            default: break;
            }
        }
    }
    const double minutes = reader.length / 60.0;
    summary.bytesPerMinute = minutes > 0.0 ? double(reader.goodBytes) / minutes : 0.0;
    return true;
}

std::string recordInfoText(const RecordReader& reader, const RecordSummary& summary)
{
    std::string text;
    text += "length " + formatted("%.1f s", summary.length) + "\n";
    text += "started " + startText(reader.startMillis) + "\n";
    text += "recorded by netduel " + statusEscape(reader.programVersion) + " (format " +
            std::to_string(reader.version) + ")\n";
    for (int ship = 0; ship < SHIP_COUNT; ++ship)
        text += "ship " + std::to_string(ship) + " " + namesText(summary.players[std::size_t(ship)]) + "\n";
    text += "own slot " + (summary.slot >= 0 ? std::to_string(summary.slot) : std::string("-")) + "\n";
    text += "snapshots " + std::to_string(summary.snapshots) + "\n";
    text += "lobby lines " + std::to_string(summary.lines) + "\n";
    text += "size " + formatted("%.1f kB", double(reader.goodBytes) / 1000.0) + ", " +
            formatted("%.1f kB per minute", summary.bytesPerMinute / 1000.0) + "\n";
    text += "cut " + (reader.damage.empty() ? std::string("no") : "yes: " + reader.damage) + "\n";
    return text;
}

int recordInfoRun(const std::string& path)
{
    RecordReader reader;
    std::string problem;
    if (!recordReaderOpen(reader, path, problem)) {
        std::fprintf(stderr, "netduel: %s\n", statusEscape(problem).c_str());
        return 1;
    }
    RecordSummary summary;
    recordSummarize(reader, summary);
    std::fputs(recordInfoText(reader, summary).c_str(), stdout);
    recordReaderClose(reader);
    return 0;
}

}  // namespace netduel
