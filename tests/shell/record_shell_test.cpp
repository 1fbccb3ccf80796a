// Recording over real ENet on loopback: a dedicated host records each stretch in which
// both ships are held to a file of its own and keeps the newest. (A window's recording is
// the replay's end-to-end test's.)
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "base/status.h"
#include "lobby/chat_input.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "record/record_fixture.h"
#include "shell/dedicated.h"

namespace netduel {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto DEADLINE = std::chrono::seconds(20);
constexpr std::uint16_t DEDICATED_PORT = 44401;

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every event of a recording, block after block.
std::vector<RecordEvent> readAll(const std::string& path)
{
    RecordReader reader;
    std::string problem;
    std::vector<RecordEvent> all;
    EXPECT_TRUE(recordReaderOpen(reader, path, problem)) << problem;
    EXPECT_EQ(reader.damage, "") << path;
    std::vector<RecordEvent> block;
    for (std::size_t i = 0; i < reader.blocks.size() && recordReaderBlock(reader, i, block); ++i)
        all.insert(all.end(), block.begin(), block.end());
    recordReaderClose(reader);
    return all;
}

bool hasLine(const std::vector<RecordEvent>& events, std::string_view line)
{
    return std::any_of(events.begin(), events.end(),
                       [&](const RecordEvent& e) { return e.kind == RecordKind::Line && e.text == line; });
}

class RecordShellTest : public ::testing::Test {
protected:
    test::RecordFolder folder;
    std::unique_ptr<DedicatedHost> host = std::make_unique<DedicatedHost>();
    LobbyClient players[2];

    void TearDown() override
    {
        for (LobbyClient& player : players) lobbyClientDestroy(player);
        dedicatedStop(*host);
    }

    bool framesUntil(const std::function<bool()>& done)
    {
        for (const auto deadline = Clock::now() + DEADLINE; Clock::now() < deadline;) {
            dedicatedFrame(*host);
            for (LobbyClient& player : players) lobbyClientService(player);
            if (done()) return true;
        }
        return false;
    }
    bool join(int which)
    {
        LobbyClient& player = players[which];
        if (!lobbyClientConnect(player, "127.0.0.1", DEDICATED_PORT, CLIENT_CHANNELS)) return false;
        return framesUntil([&] { return lobbyClientOwnSlot(player) == which; });
    }
    bool leave(int which)
    {
        lobbyClientDisconnect(players[which]);
        return framesUntil([&] { return !lobbyClientBusy(players[which]) && !host->recording.writer.file; });
    }
};

TEST_F(RecordShellTest, ADedicatedHostRecordsEachStretchWithBothShipsHeldAndKeepsTheNewest)
{
    ASSERT_TRUE(dedicatedStart(*host, DEDICATED_PORT, folder.root, 2));
    ASSERT_TRUE(join(0));
    EXPECT_TRUE(framesUntil([] { return true; }));
    EXPECT_TRUE(filesIn(folder.root).empty()) << "one ship held is no stretch";
    ASSERT_TRUE(join(1));
    EXPECT_TRUE(host->recording.writer.file);
    chatSendLine(players[0], "/name alice");
    chatSendLine(players[1], "good luck");
    ASSERT_TRUE(framesUntil([&] { return fixedTextView(players[0].history[0]) == "Anonymous1: good luck"; }));
    ASSERT_TRUE(leave(1));

    std::vector<std::string> files = filesIn(folder.root);
    ASSERT_EQ(files.size(), 1u);
    const std::vector<RecordEvent> first = readAll(files[0]);
    EXPECT_GT(test::countKind(first, RecordKind::Snapshot), 0u);
    EXPECT_TRUE(hasLine(first, "* Anonymous0 is now known as alice"));
    EXPECT_TRUE(hasLine(first, "Anonymous1: good luck"));
    const auto named = std::find_if(first.begin(), first.end(), [](const RecordEvent& e) {
        return e.kind == RecordKind::Players && e.players[0] == "alice";
    });
    ASSERT_NE(named, first.end());
    EXPECT_EQ(named->players[1], "Anonymous1");

    // Two more stretches: the oldest file goes.
    for (int stretch = 0; stretch < 2; ++stretch) {
        ASSERT_TRUE(join(1));
        ASSERT_TRUE(leave(1));
    }
    const std::string firstPath = files[0];
    files = filesIn(folder.root);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(firstPath));
    for (const std::string& file : files) EXPECT_GT(test::countKind(readAll(file), RecordKind::Snapshot), 0u) << file;
}

}  // namespace
}  // namespace netduel
