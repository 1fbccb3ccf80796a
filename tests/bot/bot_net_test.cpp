// Computer player over real ENet on loopback against a real host's frames: it takes the
// ship its slot gives it and hits a ship that stands still; a third one finds both ships
// taken and leaves with its status line; with a score kept, its hits end a round that a
// watcher who joins late sees counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "base/status.h"
#include "base/timer.h"
#include "bot/bot_client.h"
#include "duel/score.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "shell/dedicated.h"
#include "shell/host.h"

namespace netduel {
namespace {

constexpr double DEADLINE_SECONDS = 20.0;

// A watcher's copy keeps the snapshots it hears whole, as any copy does.
std::int32_t keepSnapshot(PacketEvent& event)
{
    if (event.event->channelID == CHANNEL_SNAPSHOT)
        snapshotApply(*static_cast<MatchState*>(event.client->userData), packetBytes(*event.event));
    return 0;
}

// The host's lines to everyone, and the match as the frame that said each line left it.
struct HeardLines {
    std::vector<std::string> lines;
    std::vector<MatchState> after;
};

void hearLine(void* context, std::string_view text)
{
    static_cast<HeardLines*>(context)->lines.emplace_back(text);
}

class BotNetTest : public testing::Test {
protected:
    void SetUp() override
    {
        statusOut = stream = open_memstream(&buffer, &length);
        host = std::make_unique<DedicatedHost>();
    }
    void TearDown() override
    {
        for (auto& bot : bots) botClientStop(*bot);
        lobbyClientDestroy(still);
        lobbyClientDestroy(watcher);
        dedicatedStop(*host);
        statusOut = stdout;
        std::fclose(stream);
        std::free(buffer);
    }
    std::string status()
    {
        std::fflush(stream);
        return std::string(buffer, length);
    }

    BotClient& addBot(int level)
    {
        auto& bot = bots.emplace_back(std::make_unique<BotClient>());
        botClientSetup(*bot, "127.0.0.1", port, botLevel(level), "", 42);
        return *bot;
    }

    // Host frames at 60 a second with every client serviced, until `done` or the deadline;
    // bots that leave are no longer played.
    bool playUntil(const std::function<bool()>& done, double seconds = DEADLINE_SECONDS)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            dedicatedFrame(*host);
            if (heard.after.size() < heard.lines.size()) heard.after.resize(heard.lines.size(), host->match);
            lobbyClientService(still);
            lobbyClientService(watcher);
            for (std::size_t i = 0; i < bots.size(); ++i)
                if (playing[i] && !botClientPlay(*bots[i], timerSeconds())) playing[i] = false;
            if (done()) return true;
            dedicatedPace(*host);
        }
        return done();
    }

    std::FILE* stream = nullptr;
    char* buffer = nullptr;
    std::size_t length = 0;
    std::uint16_t port = 0;
    std::unique_ptr<DedicatedHost> host;
    LobbyClient still;  // ship 0: connected, never steers
    LobbyClient watcher;  // slot 2: joins late, steers nothing
    MatchState watched;   // the watcher's snapshots
    HeardLines heard;     // what the host says to everyone, once a test listens
    std::vector<std::unique_ptr<BotClient>> bots;
    bool playing[4] = {true, true, true, true};
};

TEST_F(BotNetTest, ABotOnShipOneHitsAShipThatStandsStill)
{
    port = 48010;
    ASSERT_TRUE(dedicatedStart(*host, port));
    ASSERT_TRUE(lobbyClientConnect(still, "127.0.0.1", port, CLIENT_CHANNELS));
    ASSERT_TRUE(playUntil([&] { return lobbyClientOwnSlot(still) == 0; }));
    BotClient& bot = addBot(3);
    ASSERT_TRUE(playUntil([&] { return botClientShip(bot) == 1; }));
    const Vec2 start = host->match.ships[0].position;
    ASSERT_TRUE(playUntil([&] { return host->match.ships[0].hitCounter > 0; }));
    EXPECT_EQ(host->match.ships[0].position, start);  // it stood still: the bot hit it
    EXPECT_EQ(host->match.ships[1].spare, 0) << "no score without --first-to";
    EXPECT_GT(bot.wordsSent, 0);
    const Ship& shooter = host->match.ships[1];
    EXPECT_LT(distance(shooter.position, start), distance(SHIP1_START, start));  // it closed in
}

TEST_F(BotNetTest, WithAScoreTheBotsHitsEndARoundThatAWatcherWhoJoinedLateSeesCounted)
{
    constexpr int FIRST_TO = 2;
    port = 48013;
    ASSERT_TRUE(dedicatedStart(*host, port, {}, RECORD_KEEP_DEFAULT, {}, false, FIRST_TO));
    host->net.server.told = LobbyTap{hearLine, &heard};
    ASSERT_TRUE(lobbyClientConnect(still, "127.0.0.1", port, CLIENT_CHANNELS));
    ASSERT_TRUE(playUntil([&] { return lobbyClientOwnSlot(still) == 0; }));
    BotClient& bot = addBot(3);
    ASSERT_TRUE(playUntil([&] { return botClientShip(bot) == 1; }));
    ASSERT_TRUE(playUntil([&] { return scoreRead(host->match.ships[1]).hits > 0; }, 2 * DEADLINE_SECONDS));

    lobbyClientSetCallback(watcher, keepSnapshot);
    lobbyClientSetUserData(watcher, &watched);
    ASSERT_TRUE(lobbyClientConnect(watcher, "127.0.0.1", port, CLIENT_CHANNELS));
    ASSERT_TRUE(playUntil([&] { return scoreRead(watched.ships[1]).hits > 0; }, 2 * DEADLINE_SECONDS));
    EXPECT_EQ(scoreRead(watched.ships[0]), (ShipScore{0, FIRST_TO}));

    // The bot may have won a round before the watcher came: the watcher hears the next.
    const std::string line = sayNotice(LOBBY_SENDER, anonymousName(1) + " wins the round 2-0 against " + anonymousName(0));
    const std::string shown = noticeHistoryLine(line).value_or("");
    ASSERT_TRUE(playUntil([&] { return fixedTextView(watcher.history[0]) == shown; }, 2 * DEADLINE_SECONDS));
    const auto said = std::find(heard.lines.begin(), heard.lines.end(), line);
    ASSERT_NE(said, heard.lines.end());
    const MatchState& next = heard.after[std::size_t(said - heard.lines.begin())];
    for (int i = 0; i < SHIP_COUNT; ++i) EXPECT_EQ(scoreRead(next.ships[i]), (ShipScore{0, FIRST_TO})) << i;
    EXPECT_EQ(next.ships[0].position, SHIP0_START);
    EXPECT_EQ(next.ships[1].position, SHIP1_START) << "the bot had closed in";
    EXPECT_GT(next.ships[0].hitCounter, 0) << "the winning hit still flashes";
}

TEST_F(BotNetTest, ABotGivenSlotTwoSaysSoAndLeaves)
{
    port = 48011;
    ASSERT_TRUE(dedicatedStart(*host, port));
    ASSERT_TRUE(lobbyClientConnect(still, "127.0.0.1", port, CLIENT_CHANNELS));
    ASSERT_TRUE(playUntil([&] { return lobbyClientOwnSlot(still) == 0; }));
    BotClient& first = addBot(1);
    ASSERT_TRUE(playUntil([&] { return botClientShip(first) == 1; }));
    addBot(1);
    ASSERT_TRUE(playUntil([&] { return !playing[1]; }));
    EXPECT_TRUE(playing[0]);
    EXPECT_NE(status().find("Both ships are taken (this computer player got slot 2): it leaves.\n"),
              std::string::npos);
    EXPECT_TRUE(playUntil([&] { return host->net.server.clients.size() == 3 && !host->net.server.clients[2].connected; }));
}

TEST_F(BotNetTest, AfterALostConnectionItJoinsAgainAndPlaysTheShipItsNewSlotGives)
{
    port = 48012;
    ASSERT_TRUE(dedicatedStart(*host, port));
    ASSERT_TRUE(lobbyClientConnect(still, "127.0.0.1", port, CLIENT_CHANNELS));
    ASSERT_TRUE(playUntil([&] { return lobbyClientOwnSlot(still) == 0; }));
    BotClient& bot = addBot(2);
    ASSERT_TRUE(playUntil([&] { return botClientShip(bot) == 1; }));
    const auto restarted = std::chrono::steady_clock::now();
    dedicatedStop(*host);  // the host goes away, and comes back without the still ship
    lobbyClientDestroy(still);
    host = std::make_unique<DedicatedHost>();
    ASSERT_TRUE(dedicatedStart(*host, port));
    ASSERT_TRUE(playUntil([&] { return botClientShip(bot) == 0; }));
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count();
    EXPECT_GT(waited, BOT_RETRY_SECONDS - 2.0);  // it waited before trying again, not flooding
    EXPECT_TRUE(playUntil([&] { return host->match.ships[0].position != SHIP0_START ||
                                       host->match.ships[0].heading != 0.0f; }));
}

}  // namespace
}  // namespace netduel
