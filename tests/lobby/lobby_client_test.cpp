// Lobby client: the five-line history, disconnection lines, new attempts after a failed
// or lost connection, the goodbye of a closing pair, and the packets on channels 1 and 2
// reaching the match handlers over real ENet on loopback.
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

TEST(LobbyClientResolves, NamesAndIPv4AddressesButNotEmptyText)
{
    EXPECT_TRUE(lobbyClientResolves("127.0.0.1"));
    EXPECT_TRUE(lobbyClientResolves("192.0.2.10"));
    EXPECT_TRUE(lobbyClientResolves("localhost"));
    EXPECT_FALSE(lobbyClientResolves(""));
}

// Well past a loopback round trip, well short of ENet's 5 s minimum time-out: a peer
// that learns of the end within this was told, not timed out.
constexpr double TOLD_SECONDS = 3.0;

TEST_F(LobbyNetTest, AFailedAttemptFreesThePeerAndTheNextOneReusesTheHost)
{
    port = 43600;  // nobody listens yet
    LobbyClient& client = addClient();
    EXPECT_TRUE(lobbyClientBusy(client));
    EXPECT_EQ(client.peer->timeoutMaximum, CONNECT_ATTEMPT_MS);
    EXPECT_EQ(client.peer->timeoutMinimum, CONNECT_ATTEMPT_MS);
    ENetHost* const host = client.host;
    enet_peer_timeout(client.peer, 1, 50, 200);
    ASSERT_TRUE(pumpUntil([&] { return !lobbyClientBusy(client); }));
    EXPECT_EQ(historyLine(client, 0), "disconected.");
    EXPECT_EQ(client.peer, nullptr);
    EXPECT_FALSE(client.connected);

    startServer(43600);
    ASSERT_TRUE(lobbyClientConnect(client, "127.0.0.1", port, CLIENT_CHANNELS));
    EXPECT_EQ(client.host, host);
    ENetPeer* const attempt = client.peer;
    EXPECT_FALSE(lobbyClientConnect(client, "127.0.0.1", port, CLIENT_CHANNELS));  // never two
    EXPECT_EQ(client.peer, attempt);
    EXPECT_NE(status.text().find("A connection is already being made or is up.\n"), std::string::npos);
    ASSERT_TRUE(pumpUntil([&] { return historyLine(client, 0) == "* Anonymous0 connected =)"; }));
    EXPECT_TRUE(client.connected);
    EXPECT_TRUE(lobbyClientBusy(client));
    // A connection that is up gets ENet's patient time-outs back.
    EXPECT_EQ(client.peer->timeoutMaximum, static_cast<enet_uint32>(ENET_PEER_TIMEOUT_MAXIMUM));
    EXPECT_EQ(client.peer->timeoutMinimum, static_cast<enet_uint32>(ENET_PEER_TIMEOUT_MINIMUM));
    EXPECT_EQ(historyLine(client, 2), "disconected.");
}

TEST_F(LobbyNetTest, TheServersGoodbyeEndsTheConnectionAndJoiningWorksAgain)
{
    startServer(43601);
    LobbyClient& client = joinClient();
    ASSERT_TRUE(client.connected);
    lobbyServerDisconnectAll(server);
    ASSERT_TRUE(pumpUntil([&] { return !client.connected && !server.clients[0].connected; },
                          TOLD_SECONDS));
    EXPECT_EQ(historyLine(client, 0), "Client informationdisconected.");
    EXPECT_EQ(client.peer, nullptr);
    EXPECT_NE(status.text().find("Cli0 disconnected.\n"), std::string::npos);

    ASSERT_TRUE(lobbyClientConnect(client, "127.0.0.1", port, CLIENT_CHANNELS));
    EXPECT_TRUE(pumpUntil([&] { return historyLine(client, 0) == "* Anonymous0 connected =)"; }));
}

TEST(LobbyClientOwnSlot, OnlyTheArrivalNamesTheServerWritesNameASlot)
{
    EXPECT_EQ(anonymousSlot("Anonymous0"), 0);
    EXPECT_EQ(anonymousSlot("Anonymous24"), 24);
    EXPECT_EQ(anonymousSlot(anonymousName(123456)), 123456);
    for (std::string_view other : {"Anonymous", "Anonymous01", "Anonymous-1", "Anonymous+1",
                                   "Anonymous1x", "anonymous1", "Pilot1", "Anonymous99999999999"})
        EXPECT_EQ(anonymousSlot(other), -1) << other;
}

TEST_F(LobbyNetTest, EachClientLearnsItsOwnSlotAndNotTheNextArrivals)
{
    startServer(48000);
    LobbyClient& first = addClient();
    EXPECT_EQ(lobbyClientOwnSlot(first), -1);  // not before the server has said
    ASSERT_TRUE(pumpUntil([&] { return lobbyClientOwnSlot(first) == 0; }));
    LobbyClient& second = joinClient();
    LobbyClient& third = joinClient();
    ASSERT_TRUE(pumpUntil([&] { return lobbyClientOwnSlot(third) == 2; }));
    EXPECT_EQ(lobbyClientOwnSlot(second), 1);

    // The freed slot 1 goes to the next arrival; the others' "NEW Anonymous1" is not theirs.
    lobbyClientDisconnect(second);
    ASSERT_TRUE(pumpUntil([&] { return lobbyClientOwnSlot(second) == -1 && !second.connected; }));
    LobbyClient& fourth = joinClient();
    ASSERT_TRUE(pumpUntil([&] { return lobbyClientOwnSlot(fourth) == 1; }));
    EXPECT_EQ(historyLine(first, 0), "* Anonymous1 connected =)");
    EXPECT_EQ(lobbyClientOwnSlot(first), 0);
    EXPECT_EQ(lobbyClientOwnSlot(third), 2);
}

TEST_F(LobbyNetTest, ClosingAPairTellsItsServersPeersAndItsClientsServer)
{
    // The pair's client on its own server, as on a windowed host: both ends are told.
    LobbyPair net;
    lobbyPairInit(net);
    ASSERT_TRUE(lobbyServerCreate(net.server, "", 43602, LOBBY_MAX_PEERS));
    ASSERT_TRUE(lobbyClientConnect(net.client, "127.0.0.1", 43602, CLIENT_CHANNELS));
    ASSERT_TRUE(pumpUntil([&] {
        lobbyServerService(net.server);
        lobbyClientService(net.client);
        return net.client.connected && !net.server.clients.empty();
    }));
    lobbyPairClose(net);
    EXPECT_NE(status.text().find("Cli0 disconnected.\n"), std::string::npos);
    EXPECT_EQ(historyLine(net.client, 0), "Client informationdisconected.");
    EXPECT_EQ(net.server.host, nullptr);
    EXPECT_EQ(net.client.host, nullptr);
    lobbyPairDestroy(net);

    // The pair's client on another server, which nobody services during the close.
    startServer(43603);
    lobbyPairInit(net);
    ASSERT_TRUE(lobbyClientConnect(net.client, "127.0.0.1", port, CLIENT_CHANNELS));
    ASSERT_TRUE(pumpUntil([&] {
        lobbyClientService(net.client);
        return net.client.connected && !server.clients.empty();
    }));
    lobbyPairClose(net);
    EXPECT_EQ(net.client.host, nullptr);
    EXPECT_TRUE(pumpUntil([&] { return !server.clients[0].connected; }, TOLD_SECONDS));
    lobbyPairClose(net);  // nothing left to close
    lobbyPairDestroy(net);
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
    return test::viewSnapshotHandler(event);
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
    static ClientView views[3];
    for (int i = 0; i < 3; ++i) {
        matchStateInit(local[i]);
        clientViewReset(views[i], &local[i]);
        LobbyClient& client = joinClient();
        lobbyClientSetCallback(client, checkedSnapshotHandler);
        lobbyClientSetUserData(client, &views[i]);
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
