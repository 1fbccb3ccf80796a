// Recording reader: the header, the index of whole blocks, one block decoded on demand.
#include <cerrno>
#include <cstring>

#include "record/record.h"
#include "record/record_codec.h"

namespace netduel {

namespace {

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

bool readAt(std::FILE* file, std::uint64_t offset, std::size_t count, RecordBytes& out)
{
    out.resize(count);
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
    out.resize(std::fread(out.data(), 1, count, file));
    return out.size() == count;
}

std::string headerProblem(RecordHeaderFault fault, const std::string& path)
{
    switch (fault) {
    case RecordHeaderFault::Newer: return path + ": recorded in a newer format; a newer netduel plays it";
    case RecordHeaderFault::Damaged: return path + ": the recording's header is damaged";
    case RecordHeaderFault::Short: return path + ": the recording is cut before its first block";
    default: return path + ": not a netduel recording";
    }
}

// Indexes blocks from `offset` on until the end of the file or the first that is not whole.
void readerIndex(RecordReader& reader, std::uint64_t offset)
{
    RecordBytes head;
    RecordBytes stored;
    while (offset < reader.size) {
        RecordBlockHeader header;
        if (!readAt(reader.file, offset, RECORD_BLOCK_HEADER, head)) {
            reader.damage = "cut short at byte " + std::to_string(offset + head.size());
            return;
        }
        const bool decoded = recordBlockHeaderDecode(head, header);
        if (!decoded || (!reader.blocks.empty() && header.baseMicros < reader.blocks.back().baseMicros)) {
            reader.damage = "damaged at byte " + std::to_string(offset) + ": not a block header";
            return;
        }
        if (!readAt(reader.file, offset + RECORD_BLOCK_HEADER, header.stored, stored)) {
            reader.damage = "cut short at byte " + std::to_string(offset + RECORD_BLOCK_HEADER + stored.size());
            return;
        }
        if (recordBlockCrc(head, stored) != header.crc) {
            reader.damage = "damaged at byte " + std::to_string(offset) + ": the block fails its checksum";
            return;
        }
        reader.blocks.push_back(RecordBlockEntry{offset, double(header.baseMicros) / 1e6, header.baseMicros,
                                                 header.stored, header.raw, header.records});
        offset += RECORD_BLOCK_HEADER + header.stored;
        reader.goodBytes = offset;
    }
}

}  // namespace

bool recordReaderOpen(RecordReader& reader, const std::string& path, std::string& problem)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        recordReaderClose(reader);
        problem = path + ": " + std::strerror(errno);
        return false;
    }
    return recordReaderOpenStream(reader, file, path, problem);
}

bool recordReaderOpenStream(RecordReader& reader, std::FILE* file, const std::string& name,
                            std::string& problem)
{
    recordReaderClose(reader);
    reader = RecordReader{};
    reader.path = name;
    reader.file = file;
    if (std::fseek(reader.file, 0, SEEK_END) == 0) reader.size = static_cast<std::uint64_t>(std::ftell(reader.file));
    RecordBytes bytes;
    readAt(reader.file, 0, RECORD_HEADER_FIXED + RECORD_VERSION_TEXT_MAX + 4, bytes);
    RecordHeader header;
    const RecordHeaderFault fault = recordHeaderDecode(bytes, header);
    if (fault != RecordHeaderFault::Ok) {
        problem = headerProblem(fault, name);
        recordReaderClose(reader);
        return false;
    }
    reader.version = header.version;
    reader.startMillis = header.startMillis;
    reader.programVersion = header.programVersion;
    reader.goodBytes = header.length;
    readerIndex(reader, header.length);
    // A block that passes its checksum and still does not decode ends the file where it
    // starts; the length is the last whole block's last record.
    std::vector<RecordEvent> events;
    for (std::size_t block = 0; block < reader.blocks.size(); ++block) {
        if (!recordReaderBlock(reader, block, events)) {
            reader.goodBytes = reader.blocks[block].offset;
            reader.damage = "damaged at byte " + std::to_string(reader.goodBytes) + ": the block does not decode";
            reader.blocks.resize(block);
            break;
        }
        reader.length = events.back().time;
    }
    if (!reader.damage.empty()) reader.damage += ", plays to " + secondsText(reader.length);
    return true;
}

std::size_t recordReaderBlockAt(const RecordReader& reader, double time)
{
    std::size_t low = 0;
    std::size_t high = reader.blocks.size();
    while (high - low > 1) {
        const std::size_t middle = (low + high) / 2;
        if (reader.blocks[middle].base <= time) low = middle;
        else high = middle;
    }
    return low;
}

bool recordReaderBlock(RecordReader& reader, std::size_t index, std::vector<RecordEvent>& events)
{
    events.clear();
    if (!reader.file || index >= reader.blocks.size()) return false;
    const RecordBlockEntry& block = reader.blocks[index];
    RecordBytes stored;
    RecordBytes raw;
    if (!readAt(reader.file, block.offset + RECORD_BLOCK_HEADER, block.stored, stored) ||
        !recordInflate(stored, block.raw, raw) ||
        !recordDecodeBlock(raw, reader.version, block.baseMicros, block.records, events) || events.empty() ||
        (index + 1 < reader.blocks.size() && events.back().time > reader.blocks[index + 1].base)) {
        events.clear();  // times never go back, across blocks too
        return false;
    }
    return true;
}

void recordReaderClose(RecordReader& reader)
{
    if (reader.file) std::fclose(reader.file);
    reader.file = nullptr;
}

}  // namespace netduel
