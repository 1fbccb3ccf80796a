// Recordings on disk: what is written reads back, a cut or damaged file plays up to the
// damage, foreign and newer files are refused, and a dedicated host's folder rotates.
#include <gtest/gtest.h>

#include <filesystem>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "record/record_codec.h"
#include "record/record_info.h"
#include "record/record_live.h"
#include "record_fixture.h"

namespace netduel {
namespace {

using test::RecordFolder;

// Opens `path`, expecting it to open; the caller closes it.
RecordReader opened(const std::string& path)
{
    RecordReader reader;
    std::string problem;
    EXPECT_TRUE(recordReaderOpen(reader, path, problem)) << path << ": " << problem;
    return reader;
}

// The bytes of a sample recording of `seconds` written to `path` in `folder`.
std::vector<std::uint8_t> sampleBytes(const RecordFolder& folder, const char* name, double seconds,
                                      std::string& path)
{
    path = folder.path(name);
    test::writeSampleRecording(path, seconds);
    return test::fileBytes(path);
}

TEST(RecordFile, ReadsBackEveryRecordWithItsTimeAcrossBlocks)
{
    RecordFolder folder;
    const std::string path = folder.path("all.ndrec");
    const std::vector<RecordEvent> written = test::writeSampleRecording(path, 4.5);
    RecordReader reader = opened(path);
    EXPECT_EQ(reader.damage, "");
    EXPECT_GE(reader.blocks.size(), 4u);  // a block a second at most
    EXPECT_EQ(reader.programVersion, NETDUEL_VERSION);
    std::vector<RecordEvent> read;
    std::vector<RecordEvent> block;
    for (std::size_t i = 0; i < reader.blocks.size(); ++i) {
        ASSERT_TRUE(recordReaderBlock(reader, i, block));
        EXPECT_EQ(block.at(0).kind, RecordKind::Panel) << "each block opens with the state it plays from";
        EXPECT_EQ(block[0].time, reader.blocks[i].base);
        for (const RecordEvent& event : block)
            if (event.kind == RecordKind::Snapshot || event.kind == RecordKind::Line) read.push_back(event);
    }
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].time, written[i].time) << i;
        EXPECT_EQ(read[i].snapshot, written[i].snapshot) << i;
        EXPECT_EQ(read[i].text, written[i].text) << i;
    }
    EXPECT_EQ(reader.length, written.back().time);

    RecordSummary summary;
    ASSERT_TRUE(recordSummarize(reader, summary));
    EXPECT_EQ(summary.snapshots, test::countKind(written, RecordKind::Snapshot));
    EXPECT_EQ(summary.lines, test::countKind(written, RecordKind::Line));
    EXPECT_EQ(summary.slot, 1);
    EXPECT_EQ(summary.players[1], (std::vector<std::string>{"bob", "carol"}));
    const std::string info = recordInfoText(reader, summary);
    for (const char* line : {"length 4.5 s\n", "ship 0 alice\n", "ship 1 bob, carol\n", "cut no\n"})
        EXPECT_NE(info.find(line), std::string::npos) << info;
    recordReaderClose(reader);
}

// A recording of format 1 (each snapshot's differences in four bytes a word) still plays: the same
// records, block by block, as the file of today's layout they are made from.
TEST(RecordFile, AFileOfFormatOneReadsAsTheCurrentOne)
{
    RecordFolder folder;
    std::string path;
    const std::vector<std::uint8_t> bytes = sampleBytes(folder, "now.ndrec", 2.5, path);
    RecordReader now = opened(path);
    RecordHeader header;
    ASSERT_EQ(recordHeaderDecode(bytes, header), RecordHeaderFault::Ok);
    EXPECT_EQ(header.version, RECORD_VERSION);
    header.version = 1;
    RecordBytes old = recordHeaderEncode(header);
    std::vector<std::vector<RecordEvent>> blocks(now.blocks.size());
    for (std::size_t i = 0; i < now.blocks.size(); ++i) {
        const RecordBlockEntry& entry = now.blocks[i];
        ASSERT_TRUE(recordReaderBlock(now, i, blocks[i]));
        RecordBytes raw;
        ASSERT_TRUE(recordInflate(std::span(bytes).subspan(entry.offset + RECORD_BLOCK_HEADER, entry.stored), entry.raw, raw));
        EXPECT_EQ(recordBlockEncode(blocks[i], entry.baseMicros, RECORD_VERSION), raw) << "block " << i;
        const RecordBytes stored = recordDeflate(recordBlockEncode(blocks[i], entry.baseMicros, 1));
        RecordBlockHeader head{0, std::uint32_t(recordBlockEncode(blocks[i], entry.baseMicros, 1).size()),
                               entry.baseMicros, entry.records, 0};
        const auto headBytes = recordBlockHeaderEncode(head, stored);
        old.insert(old.end(), headBytes.begin(), headBytes.end());
        old.insert(old.end(), stored.begin(), stored.end());
    }
    recordReaderClose(now);
    const std::string oldPath = folder.path("old.ndrec");
    test::writeBytes(oldPath, old);
    RecordReader reader = opened(oldPath);
    EXPECT_EQ(reader.version, 1);
    EXPECT_EQ(reader.damage, "");
    ASSERT_EQ(reader.blocks.size(), blocks.size());
    std::vector<RecordEvent> events;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        ASSERT_TRUE(recordReaderBlock(reader, i, events)) << "block " << i;
        ASSERT_EQ(events.size(), blocks[i].size());
        for (std::size_t j = 0; j < events.size(); ++j) {
            EXPECT_EQ(events[j].kind, blocks[i][j].kind);
            EXPECT_EQ(events[j].time, blocks[i][j].time);
            EXPECT_EQ(events[j].snapshot, blocks[i][j].snapshot);
            EXPECT_EQ(events[j].text, blocks[i][j].text);
        }
    }
    recordReaderClose(reader);
}

// The block on disk is all a killed copy leaves: it must be there within a second of its
// first record, before the writer closes.
TEST(RecordFile, ABlockReachesTheFileWithinASecondWhileRecording)
{
    RecordFolder folder;
    const std::string path = folder.path("live.ndrec");
    RecordWriter writer;
    ASSERT_TRUE(recordWriterOpen(writer, path, 100.0));
    const Snapshot snapshot = test::SampleMatch().next();
    for (int i = 0; i < 30; ++i) recordWriterSnapshot(writer, snapshot, 100.0 + i / 30.0);
    for (const auto& [now, blocks] : {std::pair{RECORD_BLOCK_SECONDS - 0.01, 0u}, {RECORD_BLOCK_SECONDS, 1u}}) {
        recordWriterTick(writer, 100.0 + now);
        RecordReader reader = opened(path);
        EXPECT_EQ(reader.blocks.size(), blocks) << now;
        EXPECT_EQ(reader.damage, "");
        recordReaderClose(reader);
    }
    recordWriterClose(writer);
}

// A writer opened again ends the recording it had open, whole, before the new one.
TEST(RecordFile, OpeningAgainEndsTheOpenRecordingWhole)
{
    RecordFolder folder;
    RecordWriter writer;
    ASSERT_TRUE(recordWriterOpen(writer, folder.path("first.ndrec"), 0.0));
    recordWriterLine(writer, "before", 0.25);
    ASSERT_TRUE(recordWriterOpen(writer, folder.path("second.ndrec"), 1.0));
    recordWriterClose(writer);
    RecordReader reader = opened(folder.path("first.ndrec"));
    std::vector<RecordEvent> events;
    ASSERT_TRUE(recordReaderBlock(reader, 0, events)) << "the first recording's open block was lost";
    EXPECT_EQ(events.back().text, "before");
    recordReaderClose(reader);
}

TEST(RecordFile, ACutOrAFlippedBitEndsTheFileAtItsBlock)
{
    RecordFolder folder;
    std::string path;
    const std::vector<std::uint8_t> bytes = sampleBytes(folder, "whole.ndrec", 3.5, path);
    RecordReader whole = opened(path);
    const std::vector<RecordBlockEntry> blocks = whole.blocks;
    ASSERT_GE(blocks.size(), 3u);
    std::vector<RecordEvent> before;
    ASSERT_TRUE(recordReaderBlock(whole, blocks.size() - 2, before));
    recordReaderClose(whole);

    // Every byte offset of the last block: it plays to the block before. A bit of block
    // 1's base time, count, checksum or stream: it plays block 0 only.
    struct Damage {
        std::vector<std::uint8_t> bytes;
        std::size_t blocks;
        std::string says;  // how `damage` begins; empty: the file is whole
    };
    std::vector<Damage> damages;
    const RecordBlockEntry& last = blocks.back();
    for (std::size_t cut = last.offset; cut < bytes.size(); ++cut)
        damages.push_back({std::vector(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)), blocks.size() - 1,
                           cut == last.offset ? "" : "cut short at byte " + std::to_string(cut)});
    const RecordBlockEntry& hit = blocks[1];
    for (const std::size_t at : {hit.offset + 9, hit.offset + 16, hit.offset + 21,
                                 hit.offset + RECORD_BLOCK_HEADER + hit.stored / 2})
        for (int bit = 0; bit < 8; ++bit) {
            damages.push_back({bytes, 1, "damaged at byte " + std::to_string(hit.offset)});
            damages.back().bytes[at] ^= std::uint8_t(1u << bit);
        }
    // Block 1's records spoilt under a checksum that holds: it no longer decodes.
    {
        RecordBlockHeader header;
        ASSERT_TRUE(recordBlockHeaderDecode(std::span(bytes).subspan(hit.offset, RECORD_BLOCK_HEADER), header));
        RecordBytes raw;
        ASSERT_TRUE(recordInflate(std::span(bytes).subspan(hit.offset + RECORD_BLOCK_HEADER, hit.stored), hit.raw, raw));
        raw[0] = 0xFF;  // no record type
        const RecordBytes stored = recordDeflate(raw);
        header.stored = std::uint32_t(stored.size());
        const auto head = recordBlockHeaderEncode(header, stored);
        std::vector<std::uint8_t> spoilt(bytes.begin(), bytes.begin() + std::ptrdiff_t(hit.offset));
        spoilt.insert(spoilt.end(), head.begin(), head.end());
        spoilt.insert(spoilt.end(), stored.begin(), stored.end());
        spoilt.insert(spoilt.end(), bytes.begin() + std::ptrdiff_t(hit.offset + RECORD_BLOCK_HEADER + hit.stored),
                      bytes.end());
        damages.push_back({spoilt, 1, "damaged at byte " + std::to_string(hit.offset) + ": the block does not decode"});
    }
    // Block 2 dated before block 1 under a checksum that holds: block times only grow.
    {
        const RecordBlockEntry& late = blocks[2];
        RecordBlockHeader header;
        ASSERT_TRUE(recordBlockHeaderDecode(std::span(bytes).subspan(late.offset, RECORD_BLOCK_HEADER), header));
        header.baseMicros = blocks[1].baseMicros - 1;
        const auto head = recordBlockHeaderEncode(header, std::span(bytes).subspan(late.offset + RECORD_BLOCK_HEADER, late.stored));
        std::vector<std::uint8_t> redated = bytes;
        std::copy(head.begin(), head.end(), redated.begin() + std::ptrdiff_t(late.offset));
        damages.push_back({redated, 2, "damaged at byte " + std::to_string(late.offset) + ": not a block header"});
    }
    const std::string damaged = folder.path("damaged.ndrec");
    for (const Damage& damage : damages) {
        test::writeBytes(damaged, damage.bytes);
        RecordReader reader = opened(damaged);
        const std::string where = std::to_string(damage.bytes.size()) + " bytes, " + damage.says;
        ASSERT_EQ(reader.blocks.size(), damage.blocks) << where;
        EXPECT_EQ(reader.goodBytes, blocks[damage.blocks].offset) << where;
        EXPECT_EQ(reader.damage.substr(0, damage.says.size()), damage.says) << where << ": " << reader.damage;
        EXPECT_EQ(reader.damage.empty(), damage.says.empty()) << where << ": " << reader.damage;
        if (damage.blocks == blocks.size() - 1) {
            EXPECT_EQ(reader.length, before.back().time) << where;
        }
        // --info tells the same.
        RecordSummary summary;
        EXPECT_TRUE(recordSummarize(reader, summary)) << where;
        const std::string info = recordInfoText(reader, summary);
        EXPECT_NE(info.find(damage.says.empty() ? "\ncut no\n" : "\ncut yes: " + damage.says), std::string::npos)
            << where << ":\n" << info;
        recordReaderClose(reader);
    }
}

// The executable's refusals (no recording, a newer format, no file) are its end-to-end
// test's; here the header's own faults.
TEST(RecordFile, RefusesAFileWithoutAWholeHeader)
{
    RecordFolder folder;
    std::string good;
    const std::vector<std::uint8_t> whole = sampleBytes(folder, "good.ndrec", 1.5, good);
    std::vector<std::uint8_t> header = whole;
    header[14] ^= 0x40;  // the start time, under the header's checksum
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {{}, "not a netduel recording"},
        {header, "header is damaged"},
        {std::vector<std::uint8_t>(whole.begin(), whole.begin() + 12), "cut before its first block"},
    };
    for (const auto& [bytes, says] : cases) {
        const std::string path = folder.path("refused");
        test::writeBytes(path, bytes);
        RecordReader reader;
        std::string problem;
        EXPECT_FALSE(recordReaderOpen(reader, path, problem)) << says;
        EXPECT_NE(problem.find(says), std::string::npos) << problem;
        EXPECT_EQ(reader.file, nullptr) << says;
    }
}

// A disk that fills mid-recording: the file size limit stops the writes of a child
// process part-way through a block, as a full disk would.
TEST(RecordFile, AFullDiskLeavesTheBlocksWrittenBeforeIt)
{
    RecordFolder folder;
    const std::string path = folder.path("full.ndrec");
    const rlim_t limit = 2500;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
        RecordWriter writer;
        if (!recordWriterOpen(writer, path, 0.0)) _exit(3);
        test::SampleMatch sample;
        for (int i = 0; i < 30 * 60 && !writer.failed; ++i) {
            recordWriterSnapshot(writer, sample.next(), i / 30.0);
            recordWriterTick(writer, i / 30.0);
        }
        recordWriterClose(writer);
        _exit(writer.failed ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the writer never saw the disk fill";
    EXPECT_EQ(std::filesystem::file_size(path), limit);
    RecordReader reader = opened(path);
    EXPECT_GT(reader.length, 0.9);
    EXPECT_NE(reader.damage.find("cut short"), std::string::npos) << reader.damage;
    recordReaderClose(reader);
}

TEST(RecordRoster, FollowsTheShipsHoldersThroughTheLines)
{
    struct Step {
        const char* line;
        std::array<std::string, SHIP_COUNT> after;
        bool changed;
    };
    const Step steps[] = {
        {"* Anonymous1 connected =)", {"", "Anonymous1"}, true},
        {"* Anonymous1 is now known as bob", {"", "bob"}, true},
        {"* Anonymous3 connected =)", {"", "bob"}, false},  // a watcher
        {"* Anonymous0 connected =)", {"Anonymous0", "bob"}, true},
        {"bob: * Anonymous0 disconnected =(", {"Anonymous0", "bob"}, false},  // chat, not a notice
        {"* mallory is now known as bob", {"Anonymous0", "bob"}, false},
        {"* bob disconnected =(", {"Anonymous0", ""}, true},
        {"* Anonymous0 is now known as alice", {"alice", ""}, true},
    };
    std::array<std::string, SHIP_COUNT> players;
    for (const Step& step : steps) {
        EXPECT_EQ(recordRosterFollow(players, step.line), step.changed) << step.line;
        EXPECT_EQ(players, step.after) << step.line;
    }
}

TEST(RecordDir, NamesByStartAndKeepsOnlyTheNewest)
{
    RecordFolder folder;
    const std::int64_t start = 1793547045;  // 2026-11-01 15:30:45 UTC
    // Two hosts starting in one second into one folder: each file its own, both whole.
    RecordWriter writers[2];
    for (RecordWriter& writer : writers) ASSERT_TRUE(recordDirOpen(writer, folder.root, start, 0.0));
    for (int i = 0; i < 2; ++i) recordWriterLine(writers[i], "host " + std::to_string(i), 0.5);
    for (RecordWriter& writer : writers) recordWriterClose(writer);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(std::filesystem::path(writers[i].path).filename(),
                  i == 0 ? "match-20261101-153045.ndrec" : "match-20261101-153045-2.ndrec");
        RecordReader reader = opened(writers[i].path);
        std::vector<RecordEvent> events;
        ASSERT_TRUE(recordReaderBlock(reader, 0, events));
        EXPECT_EQ(events.back().text, "host " + std::to_string(i));
        recordReaderClose(reader);
    }
    // A name taken by a link that leads nowhere: skipped, and nothing made where it leads.
    std::filesystem::create_symlink(folder.path("elsewhere"), recordDirPath(folder.root, start + 60));
    RecordWriter writer;
    ASSERT_TRUE(recordDirOpen(writer, folder.root, start + 60, 0.0));
    EXPECT_EQ(writer.path, recordDirPath(folder.root, start + 60, 2));
    recordWriterClose(writer);
    EXPECT_FALSE(std::filesystem::exists(folder.path("elsewhere")));
    std::filesystem::remove(recordDirPath(folder.root, start + 60));
    std::filesystem::remove(writer.path);
    for (int minute = 1; minute <= 3; ++minute) test::writeBytes(recordDirPath(folder.root, start + 60 * minute), {});
    test::writeBytes(folder.path("notes.txt"), {});
    test::writeBytes(folder.path("match-2026.ndrec"), {});

    EXPECT_EQ(recordDirPrune(folder.root, 4), 1);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.root))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"match-2026.ndrec", "match-20261101-153045-2.ndrec",
                                              "match-20261101-153145.ndrec", "match-20261101-153245.ndrec",
                                              "match-20261101-153345.ndrec", "notes.txt"}));
}

}  // namespace
}  // namespace netduel
