// The server against hostile peers over real ENet on loopback: escaped status lines,
// the name rules, the program-clock Lamer number, flooders dropped and announced, the text
// limit, half-open attempts, and the host limits.
#include <linux/sock_diag.h>
#include <sys/socket.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "lobby_net_fixture.h"

namespace netduel {
namespace {

using test::historyLine;
using test::LobbyNetTest;
using test::spareLoopback;

// The three status lines that every text the server sends leaves behind, as logged.
std::string sendBlock(std::string_view logged)
{
    return std::string(75, '-') + "\nDATA TO SEND:           " + std::string(logged) +
           "\nDATA ENET WANTS TO SEND:" + std::string(logged) + "\n";
}

std::size_t countOf(std::string_view text, std::string_view part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The status lines every text of the server and every arrival and departure leave; a line
// that starts otherwise would be forged.
bool knownStatusLine(std::string_view line)
{
    const std::string_view starts[] = {"----", "DATA TO SEND:", "DATA ENET WANTS TO SEND:", "Cli"};
    return std::any_of(std::begin(starts), std::end(starts),
                       [&](std::string_view start) { return line.starts_with(start); });
}

class HostileTest : public LobbyNetTest {
protected:
    std::int32_t delivered[LOBBY_MAX_PEERS] = {};

    static std::int32_t countBySlot(PacketEvent& event)
    {
        auto* self = static_cast<HostileTest*>(event.server->userData);
        ++self->delivered[reinterpret_cast<std::uintptr_t>(event.event->peer->data)];
        return 0;
    }

    void countDeliveries()
    {
        lobbyServerSetUserData(server, this);
        lobbyServerSetCallback(server, countBySlot);
    }

    // Pins the clock at `clock`, starts the server on `port` counting deliveries per slot,
    // and joins two peers, slots 0 and 1.
    std::pair<LobbyClient*, LobbyClient*> startWithTwo(std::uint16_t port, double clock)
    {
        timerSetManual(clock);
        startServer(port);
        countDeliveries();
        LobbyClient* first = &joinClient();
        return {first, &joinClient()};
    }

    void sendReliable(LobbyClient& client, std::uint8_t channel, std::string_view text, int times)
    {
        for (int i = 0; i < times; ++i) {
            EXPECT_TRUE(lobbyClientSendBytes(client, channel, lobbyFrame(text), true));
        }
    }

    // Waits until the slot's `allowance` has dropped `drops` packets in its current window.
    bool dropsReach(std::size_t slot, RateLimiter ClientSlot::*allowance, int drops)
    {
        return pumpUntil([&] { return (server.clients[slot].*allowance).windowDrops == drops; });
    }

    // Every byte that reached the log is printable or a line end, and every line is one
    // the server writes.
    void expectCleanLog()
    {
        const std::string log = status.text();
        for (unsigned char byte : log) {
            EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte != 0x7F && (byte < 0x80 || byte > 0x9F)))
                << int(byte);
        }
        std::size_t start = 0;
        for (std::size_t end = log.find('\n'); end != std::string::npos; end = log.find('\n', start)) {
            EXPECT_TRUE(knownStatusLine(std::string_view(log).substr(start, end - start)))
                << log.substr(start, end - start);
            start = end + 1;
        }
    }
};

TEST_F(HostileTest, ControlBytesFromPeersAreEscapedInTheLogAndRelayedAsSent)
{
    double clock = 61.5;
    timerSetManual(clock);
    startServer(43500);
    LobbyClient& speaker = joinClient();
    LobbyClient& listener = joinClient();
    const std::string chat = "esc\x1b[2J bel\a cr\r lf\nCli9 connected from 1:2 del\x7f csi\x9b end";
    say(speaker, "SAY " + chat);
    ASSERT_TRUE(pumpUntil([&] { return historyLine(listener, 0) == "Anonymous0: " + chat; }));
    EXPECT_NE(status.text().find(sendBlock("SAY Anonymous0 esc\\x1b[2J bel\\x07 cr\\x0d lf\\x0a"
                                           "Cli9 connected from 1:2 del\\x7f csi\\x9b end")),
              std::string::npos);

    // A name with any of them is replaced, so the NME line holds nothing to escape. Each
    // round spends two texts and the clock moves on by as many texts' allowance.
    for (std::string_view bad : {"a\x1b" "b", "a\ab", "a\rb", "a\nCli9", "a\x7f", "a\x9b"}) {
        timerSetManual(clock += 2.0 / TEXT_RULE.perSecond);
        const std::string lamer = "Lamer" + std::to_string(int(clock));
        const std::string before(fixedTextView(server.clients[0].name));
        EXPECT_TRUE(requestUntilLine(speaker, "REN " + std::string(bad), listener,
                                     "* " + before + " is now known as " + lamer));
        EXPECT_EQ(fixedTextView(server.clients[0].name), lamer);
        EXPECT_TRUE(requestUntilLine(speaker, "REN Plain", listener, "* " + lamer + " is now known as Plain"));
    }
    expectCleanLog();
    EXPECT_EQ(countOf(status.text(), "\nCli9"), 0u);
}

TEST_F(HostileTest, NamesMustBePrintableAndUnlikeAnyOtherChattersName)
{
    const auto [firstPeer, secondPeer] = startWithTwo(43501, 777.9);
    LobbyClient& first = *firstPeer;
    LobbyClient& second = *secondPeer;
    // The forged whisper: a name that would read as "Lobby whispers".
    EXPECT_TRUE(requestUntilLine(first, "REN Lobby\xFFwhispers", second, "* Anonymous0 is now known as Lamer777"));
    EXPECT_TRUE(requestUntilLine(first, "REN Pilot", second, "* Lamer777 is now known as Pilot"));
    EXPECT_TRUE(requestUntilLine(second, "REN Pilot", first, "* Anonymous1 is now known as Lamer777"));
    EXPECT_TRUE(requestUntilLine(first, "REN Pilot", second, "* Pilot is now known as Pilot"));
    EXPECT_TRUE(requestUntilLine(second, "REN ", first, "* Lamer777 is now known as "));
    EXPECT_TRUE(requestUntilLine(first, "REN ", second, "* Pilot is now known as "));  // empty twice
    EXPECT_STREQ(server.clients[0].name, "");
    EXPECT_STREQ(server.clients[1].name, "");

    // A name is free again once its holder has left.
    EXPECT_TRUE(requestUntilLine(first, "REN Pilot", second, "*  is now known as Pilot"));
    enet_peer_disconnect(first.peer, 0);
    ASSERT_TRUE(pumpUntil([&] { return historyLine(second, 0) == "* Pilot disconnected =("; }));
    EXPECT_TRUE(requestUntilLine(second, "REN Pilot", second, "*  is now known as Pilot"));
}

TEST_F(HostileTest, LamerNumberIsWholeSecondsOfTheProgramClock)
{
    startServer(43502);
    LobbyClient& client = joinClient();
    const double before = timerSeconds();
    say(client, "REN a b");
    ASSERT_TRUE(pumpUntil([&] { return historyLine(client, 0).starts_with("* Anonymous0 is now known as Lamer"); }));
    const double after = timerSeconds();
    const std::string number = historyLine(client, 0).substr(std::string("* Anonymous0 is now known as Lamer").size());
    ASSERT_FALSE(number.empty());
    ASSERT_TRUE(std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }));
    EXPECT_GE(std::stod(number), std::floor(before));
    EXPECT_LE(std::stod(number), std::floor(after));
}

TEST_F(HostileTest, AControlFlooderIsDroppedAndAnnouncedWhileASteadyPeerStays)
{
    double clock = 3000.0;
    const auto [steadyPeer, flooderPeer] = startWithTwo(43503, clock);
    LobbyClient& steady = *steadyPeer;
    LobbyClient& flooder = *flooderPeer;
    const std::string control = "ctrl";
    const int flood = int(CONTROL_RULE.burst) + 2 * CONTROL_RULE.floodDrops;
    for (int window = 0; window < FLOOD_WINDOWS; ++window) {
        // The steady peer sends a burst's worth once a window: within its allowance.
        sendReliable(steady, CHANNEL_CONTROL, control, int(CONTROL_RULE.burst));
        sendReliable(flooder, CHANNEL_CONTROL, control, flood);
        ASSERT_TRUE(dropsReach(1, &ClientSlot::controlAllowance, flood - int(CONTROL_RULE.burst)));
        ASSERT_TRUE(pumpUntil([&] { return delivered[0] == (window + 1) * int(CONTROL_RULE.burst); }));
        EXPECT_EQ(delivered[1], (window + 1) * int(CONTROL_RULE.burst));
        EXPECT_TRUE(server.clients[1].connected);
        timerSetManual(clock += RATE_WINDOW_SECONDS);
    }
    sendReliable(steady, CHANNEL_CONTROL, control, 1);
    sendReliable(flooder, CHANNEL_CONTROL, control, 1);
    ASSERT_TRUE(pumpUntil([&] {
        return historyLine(steady, 0) == "* Anonymous1 disconnected =(" &&
               historyLine(flooder, 0) == "Client informationdisconected.";
    }));
    ASSERT_TRUE(pumpUntil([&] { return delivered[0] == FLOOD_WINDOWS * int(CONTROL_RULE.burst) + 1; }));
    EXPECT_TRUE(server.clients[0].connected);
    EXPECT_FALSE(server.clients[1].connected);
    const std::string log = status.text();
    EXPECT_NE(log.find("Cli1 flooded the server: disconnected.\nCli1 disconnected.\n" + sendBlock("OLD Anonymous1")),
              std::string::npos);
    EXPECT_EQ(countOf(log, "flooded"), 1u);
    EXPECT_EQ(countOf(log, "Cli0 disconnected."), 0u);
}

TEST_F(HostileTest, ATextFloodersSlotGoesToTheNextArrivalWithAFreshAllowance)
{
    double clock = 4000.0;
    const auto [flooderPeer, watcherPeer] = startWithTwo(43504, clock);
    LobbyClient& flooder = *flooderPeer;
    LobbyClient& watcher = *watcherPeer;
    const int flood = int(TEXT_RULE.burst) + TEXT_RULE.floodDrops;
    for (int window = 0; window < FLOOD_WINDOWS; ++window) {
        sendReliable(flooder, CHANNEL_TEXT, "SAY spam", flood);
        const int allowed = window == 0 ? int(TEXT_RULE.burst) : int(TEXT_RULE.perSecond);
        ASSERT_TRUE(dropsReach(0, &ClientSlot::textAllowance, flood - allowed));
        timerSetManual(clock += RATE_WINDOW_SECONDS);
    }
    ASSERT_TRUE(pumpUntil([&] { return historyLine(watcher, 0) == "Anonymous0: spam"; }));
    sendReliable(flooder, CHANNEL_TEXT, "SAY spam", 1);
    ASSERT_TRUE(pumpUntil([&] { return historyLine(watcher, 0) == "* Anonymous0 disconnected =("; }));
    EXPECT_EQ(countOf(status.text(), "Cli0 flooded the server: disconnected.\n"), 1u);

    // The newcomer takes slot 0 and may speak at once, on the same pinned clock.
    LobbyClient& newcomer = joinClient(spareLoopback(0));
    EXPECT_EQ(historyLine(watcher, 0), "* Anonymous0 connected =)");
    EXPECT_EQ(server.clients.size(), 2u);
    EXPECT_TRUE(requestUntilLine(newcomer, "SAY hello", watcher, "Anonymous0: hello"));
    EXPECT_TRUE(server.clients[0].connected);
}

TEST_F(HostileTest, TextsOverTheLimitAreNotRelayedAndSpendTheAllowance)
{
    const auto [speakerPeer, listenerPeer] = startWithTwo(43505, 5000.0);
    LobbyClient& speaker = *speakerPeer;
    LobbyClient& listener = *listenerPeer;
    const std::string atLimit = "SAY " + std::string(TEXT_REQUEST_LIMIT - 4, 'k');
    const std::string overLimit = "SAY " + std::string(TEXT_REQUEST_LIMIT - 3, 'o');
    const std::string kiB = "SAY " + std::string(1024, 'K');
    say(speaker, overLimit);
    say(speaker, kiB);
    EXPECT_TRUE(requestUntilLine(speaker, atLimit, listener, ("Anonymous0: " + atLimit.substr(4)).substr(0, HISTORY_CHARS)));
    EXPECT_EQ(historyLine(listener, 1), "* Anonymous1 connected =)");

    // Three texts spent so far; over-limit ones use up the rest, then even a short line waits.
    for (int i = 3; i < int(TEXT_RULE.burst); ++i) say(speaker, kiB);
    say(speaker, "SAY dropped");
    ASSERT_TRUE(dropsReach(0, &ClientSlot::textAllowance, 1));
    timerSetManual(5000.0 + 1.0 / TEXT_RULE.perSecond);
    EXPECT_TRUE(requestUntilLine(speaker, "SAY kept", listener, "Anonymous0: kept"));
    EXPECT_EQ(historyLine(listener, 1), ("Anonymous0: " + atLimit.substr(4)).substr(0, HISTORY_CHARS));
    EXPECT_EQ(status.text().find("KKKK"), std::string::npos);
}

// A connection attempt from `localAddress` that nobody completes: the request leaves once
// and the host is never serviced again, so the server's reply is never acknowledged.
ENetHost* halfOpenAttempt(std::string_view localAddress, std::uint16_t port)
{
    const ENetAddress local = lobbyAddress(localAddress, 0);
    ENetHost* host = enet_host_create(&local, 1, 0, 0, 0);
    if (!host) return nullptr;
    const ENetAddress serverAddress = lobbyAddress(test::CLIENT_ADDRESS, port);
    enet_host_connect(host, &serverAddress, CLIENT_CHANNELS, 0);
    enet_host_flush(host);
    return host;
}

TEST_F(HostileTest, HalfOpenAttemptsFillOnlyTheirAddressAndAreDroppedInTime)
{
    double clock = 6000.0;
    timerSetManual(clock);
    startServer(43506);
    const std::string attacker = spareLoopback(10);
    const ENetAddress attackerAddress = lobbyAddress(attacker, 0);
    std::vector<ENetHost*> attempts;
    auto halfOpenFromAttacker = [&] {
        std::size_t count = 0;
        for (std::size_t i = 0; i < server.host->peerCount; ++i) {
            const ENetPeer& peer = server.host->peers[i];
            count += peer.state == ENET_PEER_STATE_ACKNOWLEDGING_CONNECT &&
                     peer.address.host == attackerAddress.host;
        }
        return count;
    };
    for (std::size_t i = 0; i < PEERS_PER_ADDRESS; ++i) {
        attempts.push_back(halfOpenAttempt(attacker, port));
        ASSERT_NE(attempts.back(), nullptr);
    }
    ASSERT_TRUE(pumpUntil([&] { return halfOpenFromAttacker() == PEERS_PER_ADDRESS; }));

    // One more from the same address finds no place; a second address joins regardless,
    // and by then the extra attempt's request has long been read.
    attempts.push_back(halfOpenAttempt(attacker, port));
    ENetAddress extra{};
    enet_socket_get_address(attempts.back()->socket, &extra);
    LobbyClient& other = joinClient(spareLoopback(11));
    EXPECT_EQ(halfOpenFromAttacker(), PEERS_PER_ADDRESS);
    for (std::size_t i = 0; i < server.host->peerCount; ++i) {
        EXPECT_FALSE(server.host->peers[i].state != ENET_PEER_STATE_DISCONNECTED &&
                     server.host->peers[i].address.port == extra.port);
    }

    timerSetManual(clock += HALF_OPEN_SECONDS - 0.5);
    pumpOnce();
    EXPECT_EQ(halfOpenFromAttacker(), PEERS_PER_ADDRESS);
    timerSetManual(clock += 1.0);
    ASSERT_TRUE(pumpUntil([&] { return halfOpenFromAttacker() == 0; }));
    LobbyClient& returning = joinClient(attacker);
    EXPECT_TRUE(server.clients[0].connected);
    EXPECT_TRUE(server.clients[1].connected);
    EXPECT_EQ(historyLine(other, 0), "* Anonymous1 connected =)");
    EXPECT_EQ(historyLine(returning, 0), "* Anonymous1 connected =)");
    for (ENetHost* host : attempts) enet_host_destroy(host);
}

TEST_F(HostileTest, OneAddressHoldsOnlyAFewPeersAndBothHostsAreCapped)
{
    startServer(43507);
    EXPECT_EQ(server.host->maximumPacketSize, LOBBY_PACKET_LIMIT);
    EXPECT_EQ(server.host->maximumWaitingData, LOBBY_WAITING_LIMIT);
    for (std::size_t i = 0; i < PEERS_PER_ADDRESS; ++i) joinClient();
    EXPECT_EQ(clients.front().host->maximumPacketSize, LOBBY_PACKET_LIMIT);
    EXPECT_EQ(clients.front().host->maximumWaitingData, LOBBY_WAITING_LIMIT);

    // The next one from 127.0.0.1 gets no place, one from elsewhere does; by the time that
    // one is in, the refused request has long been read.
    LobbyClient& refused = addClient();
    LobbyClient& elsewhere = joinClient(spareLoopback(0));
    EXPECT_EQ(historyLine(elsewhere, 0), "* Anonymous" + std::to_string(PEERS_PER_ADDRESS) + " connected =)");
    EXPECT_EQ(historyLine(refused, 0), "");
    EXPECT_EQ(server.clients.size(), PEERS_PER_ADDRESS + 1);

    // Once a place of 127.0.0.1 is free, a new copy there gets in.
    enet_peer_disconnect(clients.front().peer, 0);
    ASSERT_TRUE(pumpUntil([&] { return !server.clients[0].connected; }));
    joinClient();
    EXPECT_TRUE(server.clients[0].connected);
}

TEST_F(HostileTest, TextsSentOutsideServiceLeaveAtOnce)
{
    startServer(43508);
    joinClient();
    joinClient(spareLoopback(0));
    auto allSent = [&] {
        return std::all_of(server.clients.begin(), server.clients.end(), [](const ClientSlot& c) {
            return enet_list_empty(&c.peer->outgoingCommands);
        });
    };
    ASSERT_TRUE(pumpUntil(allSent));
    lobbyServerBroadcastText(server, CHANNEL_TEXT, "SAY Lobby broadcast");
    EXPECT_TRUE(allSent());
    lobbyServerSendText(server, 1, "WSP Lobby just you");
    EXPECT_TRUE(allSent());
    ASSERT_TRUE(pumpUntil([&] { return historyLine(clients[1], 0) == "Lobby whispers: just you"; }));
    EXPECT_EQ(historyLine(clients[1], 1), "Lobby: broadcast");
}

TEST_F(HostileTest, APeerPastItsByteAllowanceIsCutOffUnreadAndThenDropped)
{
    double clock = 7000.0;
    const auto [steadyPeer, flooderPeer] = startWithTwo(43509, clock);
    LobbyClient& steady = *steadyPeer;
    LobbyClient& flooder = *flooderPeer;
    const ENetPeer& flooderAtHost = *server.clients[1].peer;
    const std::string kiB(1024, 'B');  // one datagram each: two do not fit the MTU
    constexpr int BURST_KIB = 64;
    for (int window = 0; window <= FLOOD_WINDOWS; ++window) {
        const enet_uint32 before = server.host->totalReceivedData;
        for (int i = 0; i < BURST_KIB; ++i) {
            EXPECT_TRUE(lobbyClientSendBytes(flooder, 3, lobbyFrame(kiB), false));
        }
        lobbyClientService(flooder);  // sends what the last call left queued
        ASSERT_TRUE(pumpUntil([&] {
            return !server.clients[1].connected ||
                   server.host->totalReceivedData - before >= BURST_KIB * kiB.size();
        }));
        // ENet read every datagram, but counted (and so passed on) only the allowance and
        // the one that crossed it.
        if (server.clients[1].connected) {
            EXPECT_LE(flooderAtHost.incomingDataTotal, PEER_BYTES_PER_SECOND + 2 * kiB.size());
            EXPECT_EQ(historyLine(steady, 0), "* Anonymous1 connected =)");
        }
        timerSetManual(clock += RATE_WINDOW_SECONDS);
    }
    ASSERT_TRUE(pumpUntil([&] { return historyLine(steady, 0) == "* Anonymous1 disconnected =("; }));
    EXPECT_EQ(countOf(status.text(), "Cli1 flooded the server: disconnected.\n"), 1u);
    EXPECT_LE(delivered[1], int(PEER_BYTES_PER_SECOND / kiB.size()) * (FLOOD_WINDOWS + 1));
    EXPECT_TRUE(server.clients[0].connected);
}

TEST_F(HostileTest, ServiceReadsOnPastDatagramsThatMakeNoEvent)
{
    startServer(43510);
    countDeliveries();
    LobbyClient& steady = joinClient();
    ENetPeer* peer = server.clients[0].peer;
    ASSERT_TRUE(pumpUntil([&] { return enet_list_empty(&peer->outgoingCommands) && enet_list_empty(&peer->sentReliableCommands); }));

    // More than ENet reads in one call, each naming a peer the host does not have.
    ENetSocket junk = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    ASSERT_NE(junk, ENET_SOCKET_NULL);
    const ENetAddress serverAddress = lobbyAddress(test::CLIENT_ADDRESS, port);
    std::uint8_t header[2] = {0x01, 0x00};  // peer 256 of 25
    ENetBuffer buffer{header, sizeof header};
    for (int i = 0; i < 300; ++i) ASSERT_EQ(enet_socket_send(junk, &serverAddress, &buffer, 1), 2);
    enet_socket_destroy(junk);
    ASSERT_TRUE(lobbyClientSendBytes(steady, CHANNEL_CONTROL, lobbyFrame("word"), true));

    lobbyServerService(server);
    EXPECT_EQ(delivered[0], 1);
}

// Datagrams that the socket holds, bytes dropped as the kernel counts them.
std::uint32_t socketDrops(ENetSocket socket)
{
    std::uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t size = sizeof info;
    EXPECT_EQ(getsockopt(socket, SOL_SOCKET, SO_MEMINFO, info, &size), 0);
    return info[SK_MEMINFO_DROPS];
}

// A datagram longer than ENet's 4 KiB buffer would fail ENet's receive call before any
// hook sees it. The kernel drops it before it takes any of the socket's buffer, none
// shorter; and where that filter is missing, the datagrams around it are still read in
// the same service call, on the server's side and on the client's.
TEST_F(HostileTest, DatagramsTooLongForENetAreDroppedUnqueuedOrReadPastInOneCall)
{
    startServer(44200);
    countDeliveries();
    LobbyClient& steady = joinClient();
    int clientDeliveries = 0;
    lobbyClientSetUserData(steady, &clientDeliveries);
    lobbyClientSetCallback(steady, [](PacketEvent& event) {
        ++*static_cast<int*>(event.client->userData);
        return 0;
    });
    ENetPeer* peer = server.clients[0].peer;
    const auto quiet = [&] {
        return enet_list_empty(&peer->outgoingCommands) && enet_list_empty(&peer->sentReliableCommands) &&
               enet_list_empty(&steady.peer->outgoingCommands) && enet_list_empty(&steady.peer->sentReliableCommands);
    };
    ENetAddress clientAddress{};
    ASSERT_EQ(enet_socket_get_address(steady.host->socket, &clientAddress), 0);
    const ENetAddress serverAddress = lobbyAddress(test::CLIENT_ADDRESS, port);
    ENetSocket junk = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    ASSERT_NE(junk, ENET_SOCKET_NULL);
    const auto sendJunk = [&](const ENetAddress& to, std::size_t size) {
        std::vector<std::uint8_t> bytes(size, 0x5A);  // names peer 0xA5A: none of ENet's
        ENetBuffer buffer{bytes.data(), bytes.size()};
        EXPECT_EQ(enet_socket_send(junk, &to, &buffer, 1), int(size));
    };
    const std::vector<std::uint8_t> snapshot(64, 0);
    for (const bool filtered : {true, false}) {
        const int none = 0;
        for (ENetSocket socket : {server.host->socket, steady.host->socket}) {
            if (filtered) continue;
            ASSERT_EQ(setsockopt(socket, SOL_SOCKET, SO_DETACH_FILTER, &none, sizeof none), 0);
        }
        for (const std::size_t size : {std::size_t(5000), std::size_t(65507)}) {
            SCOPED_TRACE(testing::Message() << size << (filtered ? " bytes, filtered" : " bytes"));
            ASSERT_TRUE(pumpUntil(quiet));
            delivered[0] = 0;
            const std::uint32_t serverDrops = socketDrops(server.host->socket);
            ASSERT_TRUE(lobbyClientSendBytes(steady, CHANNEL_CONTROL, lobbyFrame("word"), true));
            sendJunk(serverAddress, size);
            ASSERT_TRUE(lobbyClientSendBytes(steady, CHANNEL_CONTROL, lobbyFrame("word"), true));
            lobbyServerService(server);
            EXPECT_EQ(delivered[0], 2);
            EXPECT_EQ(socketDrops(server.host->socket) - serverDrops, filtered ? 1u : 0u);

            ASSERT_TRUE(pumpUntil(quiet));
            clientDeliveries = 0;
            const std::uint32_t clientDrops = socketDrops(steady.host->socket);
            ASSERT_TRUE(lobbyServerBroadcastBytes(server, CHANNEL_SNAPSHOT, snapshot));
            sendJunk(clientAddress, size);
            ASSERT_TRUE(lobbyServerBroadcastBytes(server, CHANNEL_SNAPSHOT, snapshot));
            lobbyClientService(steady);
            EXPECT_EQ(clientDeliveries, 2);
            EXPECT_EQ(socketDrops(steady.host->socket) - clientDrops, filtered ? 1u : 0u);
        }
    }
    // The filter's edge: a datagram as long as ENet reads is queued, one byte more is not.
    ASSERT_TRUE(lobbySocketRefuseLonger(server.host->socket, LOBBY_DATAGRAM_LIMIT));
    const std::uint32_t before = socketDrops(server.host->socket);
    sendJunk(serverAddress, LOBBY_DATAGRAM_LIMIT);
    EXPECT_EQ(socketDrops(server.host->socket), before);
    sendJunk(serverAddress, LOBBY_DATAGRAM_LIMIT + 1);
    EXPECT_EQ(socketDrops(server.host->socket), before + 1);
    enet_socket_destroy(junk);
}

// Waiting for the next frame, the host reads what arrives instead of leaving it to the
// socket's buffer, which holds only a few datagrams of 64 KiB.
TEST_F(HostileTest, AHostWaitingForItsNextFrameServesWhatArrives)
{
    startServer(44201);
    countDeliveries();
    LobbyClient& steady = joinClient();
    ASSERT_TRUE(lobbyClientSendBytes(steady, CHANNEL_CONTROL, lobbyFrame("word"), true));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(int(test::DEADLINE_SECONDS));
    while (delivered[0] == 0 && std::chrono::steady_clock::now() < until)
        lobbyServerWaitUntil(server, std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    EXPECT_EQ(delivered[0], 1);
}

TEST_F(HostileTest, TheHostKeepsSnapshotsFlowingAndAsksForALargeSocketBuffer)
{
    startServer(43511);
    joinClient();
    // Unreliable sends to a peer are never slowed down by ENet's throttle.
    EXPECT_EQ(server.clients[0].peer->packetThrottleDeceleration, 0u);

    long systemMax = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> systemMax;
    int granted = 0;
    socklen_t size = sizeof granted;
    ASSERT_EQ(getsockopt(server.host->socket, SOL_SOCKET, SO_RCVBUF, &granted, &size), 0);
    // Linux doubles what it grants for its own bookkeeping.
    EXPECT_GE(granted, 2 * std::min<long>(SERVER_RECEIVE_BUFFER, systemMax));
}

}  // namespace
}  // namespace netduel
