// Recordings on disk: what is written reads back, a cut or damaged file plays up to the
// damage, foreign and newer files are refused, and a dedicated host's folder rotates.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "record/record.h"
#include "record/record_codec.h"
#include "record_fixture.h"

namespace netduel {
namespace {

using test::RecordFolder;

// A sample recording on disk: its bytes and the index of its blocks.
struct SampleFile {
    std::string path;
    std::vector<std::uint8_t> bytes;
    std::vector<RecordBlockEntry> blocks;
};

SampleFile sampleFile(const RecordFolder& folder, double seconds)
{
    SampleFile sample;
    sample.path = folder.path("sample.ndrec");
    test::writeSampleRecording(sample.path, seconds);
    sample.bytes = test::fileBytes(sample.path);
    RecordReader reader;
    std::string problem;
    EXPECT_TRUE(recordReaderOpen(reader, sample.path, problem)) << problem;
    sample.blocks = reader.blocks;
    recordReaderClose(reader);
    return sample;
}

TEST(RecordFile, ReadsBackEveryRecordWithItsTimeAcrossBlocks)
{
    RecordFolder folder;
    const std::string path = folder.path("all.ndrec");
    const std::vector<RecordEvent> written = test::writeSampleRecording(path, 4.5);
    RecordReader reader;
    std::string problem;
    ASSERT_TRUE(recordReaderOpen(reader, path, problem)) << problem;
    EXPECT_EQ(reader.damage, "");
    EXPECT_GE(reader.blocks.size(), 4u);  // a block a second at most
    EXPECT_EQ(reader.programVersion, NETDUEL_VERSION);
    std::vector<RecordEvent> read;
    std::vector<RecordEvent> block;
    for (std::size_t i = 0; i < reader.blocks.size(); ++i) {
        ASSERT_TRUE(recordReaderBlock(reader, i, block));
        // Each block opens with the state it plays from.
        ASSERT_GE(block.size(), 5u);
        EXPECT_EQ(block[0].kind, RecordKind::Panel);
        EXPECT_EQ(block[0].time, reader.blocks[i].base);
        for (const RecordEvent& event : block)
            if (event.kind == RecordKind::Snapshot || event.kind == RecordKind::Line) read.push_back(event);
    }
    std::vector<RecordEvent> expected;
    for (const RecordEvent& event : written)
        if (event.kind == RecordKind::Snapshot || event.kind == RecordKind::Line) expected.push_back(event);
    ASSERT_EQ(read.size(), expected.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_NEAR(read[i].time, expected[i].time, 1e-6) << i;
        EXPECT_EQ(read[i].snapshot, expected[i].snapshot) << i;
        EXPECT_EQ(read[i].text, expected[i].text) << i;
    }
    EXPECT_NEAR(reader.length, expected.back().time, 1e-6);

    RecordSummary summary;
    ASSERT_TRUE(recordSummarize(reader, summary));
    EXPECT_EQ(summary.snapshots, test::countKind(written, RecordKind::Snapshot));
    EXPECT_EQ(summary.lines, test::countKind(written, RecordKind::Line));
    EXPECT_EQ(summary.slot, 1);
    EXPECT_EQ(summary.players[0], std::vector<std::string>{"alice"});
    EXPECT_EQ(summary.players[1], (std::vector<std::string>{"bob", "carol"}));
    const std::string info = recordInfoText(reader, summary);
    EXPECT_NE(info.find("length 4.5 s\n"), std::string::npos) << info;
    EXPECT_NE(info.find("ship 1 bob, carol\n"), std::string::npos) << info;
    EXPECT_NE(info.find("cut no\n"), std::string::npos) << info;
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
    recordWriterTick(writer, 100.0 + RECORD_BLOCK_SECONDS - 0.01);
    RecordReader reader;
    std::string problem;
    ASSERT_TRUE(recordReaderOpen(reader, path, problem)) << problem;
    EXPECT_EQ(reader.blocks.size(), 0u);
    recordWriterTick(writer, 100.0 + RECORD_BLOCK_SECONDS);
    ASSERT_TRUE(recordReaderOpen(reader, path, problem)) << problem;
    EXPECT_EQ(reader.blocks.size(), 1u);
    EXPECT_EQ(reader.damage, "");
    EXPECT_NEAR(reader.length, 29.0 / 30.0, 1e-6);
    recordReaderClose(reader);
    recordWriterClose(writer);
}

TEST(RecordFile, ACutAtAnyByteOfTheLastBlockPlaysToTheBlockBefore)
{
    RecordFolder folder;
    const SampleFile sample = sampleFile(folder, 3.5);
    const std::vector<std::uint8_t>& bytes = sample.bytes;
    ASSERT_GE(sample.blocks.size(), 2u);
    const RecordBlockEntry last = sample.blocks.back();
    RecordReader whole;
    std::string problem;
    ASSERT_TRUE(recordReaderOpen(whole, sample.path, problem)) << problem;
    std::vector<RecordEvent> before;
    ASSERT_TRUE(recordReaderBlock(whole, whole.blocks.size() - 2, before));
    recordReaderClose(whole);

    const std::string cutPath = folder.path("cut.ndrec");
    for (std::size_t cut = last.offset; cut < bytes.size(); ++cut) {
        test::writeBytes(cutPath, std::span(bytes).first(cut));
        RecordReader reader;
        ASSERT_TRUE(recordReaderOpen(reader, cutPath, problem)) << cut << ": " << problem;
        ASSERT_EQ(reader.blocks.size(), sample.blocks.size() - 1) << cut;
        EXPECT_EQ(reader.length, before.back().time) << cut;
        EXPECT_EQ(reader.goodBytes, last.offset) << cut;
        if (cut == last.offset) {
            EXPECT_EQ(reader.damage, "") << "a file that ends between blocks is whole";
        } else {
            EXPECT_EQ(reader.damage.rfind("cut short at byte " + std::to_string(cut), 0), 0u)
                << cut << ": " << reader.damage;
        }
        recordReaderClose(reader);
    }
}

TEST(RecordFile, AFlippedBitIsFoundByItsBlocksChecksum)
{
    RecordFolder folder;
    const SampleFile sample = sampleFile(folder, 3.5);
    const std::vector<std::uint8_t>& bytes = sample.bytes;
    const std::vector<RecordBlockEntry>& blocks = sample.blocks;
    std::string problem;
    ASSERT_GE(blocks.size(), 3u);
    const RecordBlockEntry& hit = blocks[1];
    // A bit in the base time, in the count, in the checksum itself and in the stream.
    const std::size_t offsets[] = {hit.offset + 9, hit.offset + 16, hit.offset + 21,
                                   hit.offset + RECORD_BLOCK_HEADER + hit.stored / 2};
    const std::string flipped = folder.path("flipped.ndrec");
    for (const std::size_t at : offsets) {
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<std::uint8_t> copy = bytes;
            copy[at] ^= std::uint8_t(1u << bit);
            test::writeBytes(flipped, copy);
            RecordReader reader;
            ASSERT_TRUE(recordReaderOpen(reader, flipped, problem)) << problem;
            EXPECT_EQ(reader.blocks.size(), 1u) << at << " bit " << bit;
            EXPECT_EQ(reader.damage.rfind("damaged at byte " + std::to_string(hit.offset), 0), 0u)
                << at << " bit " << bit << ": " << reader.damage;
            recordReaderClose(reader);
        }
    }
}

TEST(RecordFile, RefusesWhatItCannotPlay)
{
    RecordFolder folder;
    const std::string good = folder.path("good.ndrec");
    test::writeSampleRecording(good, 1.5);
    std::vector<std::uint8_t> newer = test::fileBytes(good);
    newer[8] = RECORD_VERSION + 1;  // the checksum is not looked at: the layout may differ
    const std::vector<std::uint8_t> whole = test::fileBytes(good);
    std::vector<std::uint8_t> header = whole;
    header[14] ^= 0x40;             // the start time, under the header's checksum
    const std::string text = "length 63.4 s\n";
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::string problem;
    };
    const Case cases[] = {
        {"empty", {}, "not a netduel recording"},
        {"text", {text.begin(), text.end()}, "not a netduel recording"},
        {"newer", newer, "recorded in a newer format"},
        {"header", header, "header is damaged"},
        {"short", std::vector<std::uint8_t>(whole.begin(), whole.begin() + 12), "cut before its first block"},
    };
    for (const Case& c : cases) {
        const std::string path = folder.path(c.name);
        test::writeBytes(path, c.bytes);
        RecordReader reader;
        std::string problem;
        EXPECT_FALSE(recordReaderOpen(reader, path, problem)) << c.name;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
        EXPECT_EQ(reader.file, nullptr) << c.name;
    }
    RecordReader reader;
    std::string problem;
    EXPECT_FALSE(recordReaderOpen(reader, folder.path("missing"), problem));
    EXPECT_NE(problem.find("No such file"), std::string::npos) << problem;
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
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the writer never saw the disk fill";
    EXPECT_EQ(std::filesystem::file_size(path), limit);
    RecordReader reader;
    std::string problem;
    ASSERT_TRUE(recordReaderOpen(reader, path, problem)) << problem;
    EXPECT_GE(reader.blocks.size(), 1u);
    EXPECT_GT(reader.length, 0.9);
    EXPECT_NE(reader.damage.find("cut short"), std::string::npos) << reader.damage;
    recordReaderClose(reader);
}

TEST(RecordRoster, FollowsTheShipsHoldersThroughTheLines)
{
    struct Step {
        const char* line;
        const char* ship0;
        const char* ship1;
        bool changed;
    };
    const Step steps[] = {
        {"* Anonymous1 connected =)", "", "Anonymous1", true},
        {"* Anonymous1 is now known as bob", "", "bob", true},
        {"* Anonymous3 connected =)", "", "bob", false},      // a watcher
        {"* Anonymous0 connected =)", "Anonymous0", "bob", true},
        {"bob: * Anonymous0 disconnected =(", "Anonymous0", "bob", false},  // chat, not a notice
        {"* mallory is now known as bob", "Anonymous0", "bob", false},
        {"* bob disconnected =(", "Anonymous0", "", true},
        {"* Anonymous0 is now known as alice", "alice", "", true},
    };
    std::array<std::string, SHIP_COUNT> players;
    for (const Step& step : steps) {
        EXPECT_EQ(recordRosterFollow(players, step.line), step.changed) << step.line;
        EXPECT_EQ(players[0], step.ship0) << step.line;
        EXPECT_EQ(players[1], step.ship1) << step.line;
    }
}

TEST(RecordDir, NamesByStartAndKeepsOnlyTheNewest)
{
    RecordFolder folder;
    const std::int64_t start = 1793547045;  // 2026-11-01 15:30:45 UTC
    const std::string first = recordDirPath(folder.root, start);
    EXPECT_EQ(std::filesystem::path(first).filename(), "match-20261101-153045.ndrec");
    test::writeBytes(first, {});
    const std::string second = recordDirPath(folder.root, start);
    EXPECT_EQ(std::filesystem::path(second).filename(), "match-20261101-153045-2.ndrec");
    test::writeBytes(second, {});
    for (int minute = 1; minute <= 3; ++minute) test::writeBytes(recordDirPath(folder.root, start + 60 * minute), {});
    test::writeBytes(folder.path("notes.txt"), {});
    test::writeBytes(folder.path("match-2026.ndrec"), {});

    EXPECT_EQ(recordDirPrune(folder.root, 4), 1);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.root))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"match-2026.ndrec", "match-20261101-153045-2.ndrec",
                                              "match-20261101-153145.ndrec",
                                              "match-20261101-153245.ndrec", "match-20261101-153345.ndrec",
                                              "notes.txt"}));
}

}  // namespace
}  // namespace netduel
