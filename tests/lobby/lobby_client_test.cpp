// Lobby client: the five-line history, disconnection lines, and the packets on channels 1
// and 2 reaching the match handlers over real ENet on loopback.
#include <algorithm>

#include "duel/packet_handlers.h"
#include "lobby_net_fixture.h"

namespace netduel {
namespace {

using test::historyLine;
using test::LobbyNetTest;

TEST(LobbyClientHistory, NewestLineOnTopAndTheSixthPushDropsTheOldest)
{
    LobbyClient client;
    for (int i = 1; i <= 6; ++i) lobbyClientPushHistory(client, "line " + std::to_string(i));
    for (int i = 0; i < HISTORY_LINES; ++i) EXPECT_EQ(historyLine(client, i), "line " + std::to_string(6 - i));
}

TEST(LobbyClientHistory, KeepsTheFirst150CharactersZeroFilled)
{
    LobbyClient client;
    lobbyClientPushHistory(client, std::string(200, 'x'));
    lobbyClientPushHistory(client, "short");
    EXPECT_EQ(historyLine(client, 1), std::string(150, 'x'));
    EXPECT_EQ(client.history[1][150], '\0');
    EXPECT_EQ(historyLine(client, 0), "short");
    for (int i = 5; i <= HISTORY_CHARS; ++i) EXPECT_EQ(client.history[0][i], '\0') << i;
}

TEST(LobbyClientUnconnected, RefusesToSendAndDestroysSafely)
{
    LobbyClient client;
    lobbyClientService(client);
    EXPECT_FALSE(lobbyClientSendBytes(client, CHANNEL_CONTROL, controlEncode(KEY_UP), false));
    lobbyClientDestroy(client);
    lobbyClientDestroy(client);
    EXPECT_EQ(client.host, nullptr);
}

TEST_F(LobbyNetTest, FailedFirstAttemptPushesDisconectedOnly)
{
    port = 43420;  // nobody listens here
    LobbyClient& client = addClient();
    enet_peer_timeout(client.peer, 1, 50, 200);  // give up within a fraction of a second
    ASSERT_TRUE(pumpUntil([&] { return historyLine(client, 0) == "disconected."; }));
    EXPECT_EQ(historyLine(client, 1), "");
    EXPECT_NE(client.host, nullptr);  // a client connects once per run
    EXPECT_FALSE(lobbyClientSendBytes(client, CHANNEL_TEXT, lobbyFrame("SAY x"), true));
}

// Delegates to the real handler after checking what the client hands its callback.
int clientCalls = 0;
std::int32_t checkedSnapshotHandler(PacketEvent& event)
{
    ++clientCalls;
    EXPECT_NE(event.client, nullptr);
    EXPECT_EQ(event.server, nullptr);
    EXPECT_EQ(event.unused1, 0u);
    // A late snapshot is worth nothing: they travel unreliable, never resent.
    EXPECT_EQ(event.event->packet->flags & ENET_PACKET_FLAG_RELIABLE, 0u);
    return clientSnapshotHandler(event);
}

MatchState busyMatch()
{
    MatchState match;
    matchStateInit(match);
    for (int s = 0; s < SHIP_COUNT; ++s) {
        Ship& ship = match.ships[s];
        ship.position = Vec2(100.0f + s, 200.5f);
        ship.speed = 33.0f;
        ship.heading = -2.5f + s;
        ship.turnRate = 5.0f;
        ship.bullets[3 + s] = {Vec2(7.0f, 8.0f), Vec2(0.6f, 0.8f), BULLET_ACTIVE};
        ship.fireRequest = FIRE_REQUESTED;
        ship.hitCounter = static_cast<std::int8_t>(4 + s);
        ship.colour = 0xFF123456u + s;
    }
    return match;
}

TEST_F(LobbyNetTest, SnapshotsReplaceEveryClientsShipsAndSkipTheHistory)
{
    startServer(43421);
    MatchState local[3];
    for (MatchState& match : local) {
        matchStateInit(match);
        LobbyClient& client = joinClient();
        lobbyClientSetCallback(client, checkedSnapshotHandler);
        lobbyClientSetUserData(client, &match);
    }
    const std::string newest = historyLine(clients[0], 0);
    const MatchState host = busyMatch();
    const Snapshot bytes = snapshotEncode(host);
    auto allMatch = [&] {
        for (const MatchState& match : local) {
            if (snapshotEncode(match) != bytes) return false;
        }
        return true;
    };
    // Snapshots are unreliable; keep sending as the host does until each copy has one.
    ASSERT_TRUE(pumpUntil([&] {
        lobbyServerBroadcastBytes(server, CHANNEL_SNAPSHOT, bytes);
        return allMatch();
    }));
    EXPECT_GE(clientCalls, 3);
    EXPECT_EQ(historyLine(clients[0], 0), newest);
}

TEST_F(LobbyNetTest, ControlWordsSteerTheShipOfTheSendersSlot)
{
    static int serverCalls = 0;
    startServer(43422);
    MatchState match;
    matchStateInit(match);
    lobbyServerSetUserData(server, &match);
    lobbyServerSetCallback(server, [](PacketEvent& event) {
        ++serverCalls;
        EXPECT_EQ(event.client, nullptr);
        return serverKeyHandler(event);
    });
    LobbyClient& first = joinClient();
    LobbyClient& second = joinClient();
    LobbyClient& third = joinClient();
    // Reliable here so that every word arrives and the count says when it was handled.
    auto send = [&](LobbyClient& client, KeyFlags word) {
        const int expected = serverCalls + 1;
        EXPECT_TRUE(lobbyClientSendBytes(client, CHANNEL_CONTROL, controlEncode(word), true));
        EXPECT_TRUE(pumpUntil([&] { return serverCalls == expected; }));
    };
    const Snapshot start = snapshotEncode(match);

    send(second, KEY_LEFT | KEY_UP);
    EXPECT_EQ(match.ships[1].turnRate, -5.0f);
    EXPECT_EQ(match.ships[1].speed, 250.0f);
    const Snapshot afterFirst = snapshotEncode(match);
    EXPECT_TRUE(std::equal(start.begin(), start.begin() + SHIP_WIRE_SIZE, afterFirst.begin()));

    send(first, KEY_LEFT | KEY_RIGHT);
    EXPECT_EQ(match.ships[0].turnRate, 5.0f);
    EXPECT_EQ(match.ships[0].speed, 0.0f);
    send(first, KEY_FIRE);
    EXPECT_EQ(match.ships[0].fireRequest, FIRE_REQUESTED);

    const Snapshot steered = snapshotEncode(match);
    send(first, KEY_DOWN);
    send(first, 0xFFFFFFE0u);
    send(third, KEY_LEFT | KEY_RIGHT | KEY_UP | KEY_FIRE);
    EXPECT_EQ(snapshotEncode(match), steered);
}

}  // namespace
}  // namespace netduel
