// Lobby server over real ENet on loopback: slots, greeting, relay, renames, who-is-here,
// ignored codes, keep-alive, status lines.
#include <cctype>
#include <vector>

#include "lobby_net_fixture.h"

namespace netduel {
namespace {

using test::historyLine;
using test::LobbyNetTest;

std::uint16_t clientPort(const LobbyClient& client)
{
    ENetAddress address{};
    enet_socket_get_address(client.host->socket, &address);
    return address.port;
}

// The three status lines that every text the server sends leaves behind.
std::string sendBlock(std::string_view text)
{
    return std::string(75, '-') + "\nDATA TO SEND:           " + std::string(text) +
           "\nDATA ENET WANTS TO SEND:" + std::string(text) + "\n";
}

// True when `text` is `pattern`, where each '9' in the pattern stands for one or more digits.
bool matchesDigits(std::string_view text, std::string_view pattern)
{
    std::size_t at = 0;
    for (char want : pattern) {
        if (want != '9') {
            if (at >= text.size() || text[at++] != want) return false;
            continue;
        }
        const std::size_t start = at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
        if (at == start) return false;
    }
    return at == text.size();
}

using Bytes = std::vector<std::uint8_t>;

Bytes textPayload(std::string_view text)
{
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// A bare ENet client that keeps every payload exactly as it arrived.
class BareClient {
public:
    explicit BareClient(std::uint16_t port) : host(enet_host_create(nullptr, 1, 0, 0, 0))
    {
        ENetAddress address{};
        enet_address_set_host(&address, "127.0.0.1");
        address.port = port;
        if (host) peer = enet_host_connect(host, &address, CLIENT_CHANNELS, 0);
    }
    ~BareClient()
    {
        if (host) enet_host_destroy(host);
    }
    BareClient(const BareClient&) = delete;
    BareClient& operator=(const BareClient&) = delete;

    void service()
    {
        ENetEvent event;
        while (host && enet_host_service(host, &event, 0) > 0) {
            if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
            const ENetPacket& packet = *event.packet;
            received.push_back({event.channelID, (packet.flags & ENET_PACKET_FLAG_RELIABLE) != 0,
                                Bytes(packet.data, packet.data + packet.dataLength)});
            enet_packet_destroy(event.packet);
        }
    }

    struct Payload {
        std::uint8_t channel;
        bool reliable;
        Bytes bytes;
    };
    ENetHost* host;
    ENetPeer* peer = nullptr;
    std::vector<Payload> received;
};

// Packets the server handed its callback.
int callbackPackets = 0;

class LobbyServerTest : public LobbyNetTest {
protected:
    bool leave(LobbyClient& client, std::size_t slot)
    {
        enet_peer_disconnect(client.peer, 0);
        return pumpUntil([&] {
            return !server.clients[slot].connected &&
                   historyLine(client, 0) == "Client informationdisconected.";
        });
    }

    // Three peers joined in turn; the second has left and the third has heard of it.
    std::pair<LobbyClient*, LobbyClient*> threeWithTheSecondGone()
    {
        LobbyClient& first = joinClient();
        LobbyClient& second = joinClient();
        LobbyClient& third = joinClient();
        EXPECT_TRUE(leave(second, 1));
        EXPECT_TRUE(pumpUntil([&] { return historyLine(third, 0) == "* Anonymous1 disconnected =("; }));
        return {&first, &third};
    }
};

TEST_F(LobbyServerTest, FirstConnectionGetsSlotZeroWelcomeThenNew)
{
    startServer(43401);
    LobbyClient& client = addClient();
    ASSERT_TRUE(pumpUntil([&] { return historyLine(client, 0) == "* Anonymous0 connected =)"; }));
    EXPECT_EQ(historyLine(client, 1), "Lobby whispers: Welcome to the lobby!");
    EXPECT_EQ(historyLine(client, 2), "");
    ASSERT_EQ(server.clients.size(), 1u);
    EXPECT_TRUE(server.clients[0].connected);
    EXPECT_EQ(server.clients[0].id, 0);
    EXPECT_STREQ(server.clients[0].name, "Anonymous0");
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(server.clients[0].peer->data), 0u);
    EXPECT_EQ(status.text(), "Cli0 connected from 16777343:" + std::to_string(clientPort(client)) +
                                 "\n" + sendBlock("WSP Lobby Welcome to the lobby!") +
                                 sendBlock("NEW Anonymous0"));
}

TEST_F(LobbyServerTest, FreedSlotGoesToTheNextArrival)
{
    startServer(43402);
    LobbyClient* first = threeWithTheSecondGone().first;
    ASSERT_TRUE(pumpUntil([&] { return historyLine(*first, 0) == "* Anonymous1 disconnected =("; }));
    EXPECT_NE(status.text().find("Cli1 disconnected.\n"), std::string::npos);
    EXPECT_EQ(server.clients[1].id, -1);
    EXPECT_STREQ(server.clients[1].name, "");

    LobbyClient& fourth = addClient();
    ASSERT_TRUE(pumpUntil([&] { return historyLine(fourth, 0) == "* Anonymous1 connected =)"; }));
    EXPECT_EQ(server.clients.size(), 3u);
    EXPECT_TRUE(server.clients[1].connected);
    EXPECT_EQ(server.clients[1].id, 1);
    EXPECT_STREQ(server.clients[1].name, "Anonymous1");
    EXPECT_EQ(server.clients[1].peer->data, reinterpret_cast<void*>(1));
}

TEST_F(LobbyServerTest, ANewcomerTakesTheLowestFreeSlot)
{
    startServer(43702);
    for (int i = 0; i < 4; ++i) joinClient();
    ASSERT_TRUE(leave(clients[2], 2));
    ASSERT_TRUE(leave(clients[1], 1));

    LobbyClient& fifth = addClient();
    ASSERT_TRUE(pumpUntil([&] { return historyLine(fifth, 0) == "* Anonymous1 connected =)"; }));
    EXPECT_TRUE(server.clients[1].connected);
    EXPECT_FALSE(server.clients[2].connected);
    LobbyClient& sixth = addClient();
    ASSERT_TRUE(pumpUntil([&] { return historyLine(sixth, 0) == "* Anonymous2 connected =)"; }));
    EXPECT_EQ(server.clients.size(), 4u);
}

TEST_F(LobbyServerTest, TextsLeaveReliablyOnChannelZeroWithExactlyOneNul)
{
    startServer(43701);
    BareClient bare(port);
    ASSERT_NE(bare.peer, nullptr);
    ASSERT_TRUE(pumpUntil([&] {
        bare.service();
        return bare.received.size() >= 2;
    }));
    const std::string said = "SAY hi";
    enet_peer_send(bare.peer, CHANNEL_TEXT,
                   enet_packet_create(said.c_str(), said.size() + 1, ENET_PACKET_FLAG_RELIABLE));
    ASSERT_TRUE(pumpUntil([&] {
        bare.service();
        return bare.received.size() >= 3;
    }));
    EXPECT_EQ(bare.received[0].bytes, textPayload("WSP Lobby Welcome to the lobby!"));
    EXPECT_EQ(bare.received[1].bytes, textPayload("NEW Anonymous0"));
    EXPECT_EQ(bare.received[2].bytes, textPayload("SAY Anonymous0 hi"));
    for (const BareClient::Payload& payload : bare.received) {
        EXPECT_EQ(payload.channel, CHANNEL_TEXT);
        EXPECT_TRUE(payload.reliable);
    }
}

TEST_F(LobbyServerTest, PacketsFromAPeerThatDoesNotHoldItsSlotAreDropped)
{
    startServer(43703);
    callbackPackets = 0;
    lobbyServerSetCallback(server, [](PacketEvent&) {
        ++callbackPackets;
        return std::int32_t{0};
    });
    LobbyClient& first = joinClient();
    LobbyClient& second = joinClient();
    LobbyClient& third = joinClient();
    ASSERT_TRUE(leave(second, 1));
    ENetPeer* thirdOnServer = server.clients[2].peer;
    const auto droppedLines = [&] {
        const std::string text = status.text();
        const std::string line = "Packet from unconnected or dead client. Destroying...\n";
        int count = 0;
        for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
        return count;
    };
    // The third peer bound to the first one's slot, to a released slot, past the table.
    for (std::uintptr_t slot : {0u, 1u, 7u}) {
        thirdOnServer->data = reinterpret_cast<void*>(slot);
        const int before = droppedLines();
        say(third, "SAY spoofed");
        EXPECT_TRUE(lobbyClientSendBytes(third, CHANNEL_CONTROL, lobbyFrame("key"), true));
        EXPECT_TRUE(pumpUntil([&] { return droppedLines() == before + 2; })) << slot;
    }
    // Nothing was relayed: the first peer's next line follows the departure notice.
    ASSERT_TRUE(requestUntilLine(first, "SAY after", first, "Anonymous0: after"));
    EXPECT_EQ(historyLine(first, 1), "* Anonymous1 disconnected =(");
    EXPECT_EQ(callbackPackets, 0);

    // Bound to its own slot again, the same peer gets through.
    thirdOnServer->data = reinterpret_cast<void*>(2);
    EXPECT_TRUE(lobbyClientSendBytes(third, CHANNEL_CONTROL, lobbyFrame("key"), true));
    EXPECT_TRUE(pumpUntil([&] { return callbackPackets == 1; }));
}

TEST_F(LobbyServerTest, SayReachesEveryPeerIncludingTheSpeaker)
{
    startServer(43403);
    LobbyClient& speaker = joinClient();
    LobbyClient& listener = joinClient();
    say(speaker, "SAY hello there");
    ASSERT_TRUE(pumpUntil([&] {
        return historyLine(speaker, 0) == "Anonymous0: hello there" &&
               historyLine(listener, 0) == "Anonymous0: hello there";
    }));
    say(listener, "SAY ");
    ASSERT_TRUE(pumpUntil([&] {
        return historyLine(speaker, 0) == "Anonymous1: " && historyLine(listener, 0) == "Anonymous1: ";
    }));
    EXPECT_NE(status.text().find(sendBlock("SAY Anonymous1 ")), std::string::npos);
    // Only the first four bytes select the request; the rest is the chat text as sent.
    say(speaker, std::string_view("SAY \x01\x02 bin\0tail", 13));
    ASSERT_TRUE(pumpUntil([&] { return historyLine(listener, 0) == "Anonymous0: \x01\x02 bin"; }));
}

TEST_F(LobbyServerTest, RenameCutsAndReplacesNames)
{
    timerSetManual(1234.75);
    startServer(43404);
    LobbyClient& client = joinClient();
    LobbyClient& other = joinClient();
    EXPECT_TRUE(requestUntilLine(client, "REN Pilot", other, "* Anonymous0 is now known as Pilot"));
    EXPECT_STREQ(server.clients[0].name, "Pilot");

    const std::string forty(40, 'n');
    EXPECT_TRUE(requestUntilLine(client, "REN " + forty, client,
                                 "* Pilot is now known as " + std::string(32, 'n')));
    EXPECT_TRUE(requestUntilLine(client, "REN Red Baron", client,
                                 "* " + std::string(32, 'n') + " is now known as Lamer1234"));
    EXPECT_STREQ(server.clients[0].name, "Lamer1234");
    // The only space is the 35th character, so it falls away with the cut.
    const std::string cutAway = std::string(34, 'c') + " tail";
    EXPECT_TRUE(requestUntilLine(client, "REN " + cutAway, other,
                                 "* Lamer1234 is now known as " + std::string(32, 'c')));
    EXPECT_TRUE(requestUntilLine(client, "REN ", other, "* " + std::string(32, 'c') + " is now known as "));
    EXPECT_STREQ(server.clients[0].name, "");
    EXPECT_NE(status.text().find(sendBlock("NME " + std::string(32, 'c') + " ")), std::string::npos);

    EXPECT_TRUE(requestUntilLine(client, "REN Twin", other, "*  is now known as Twin"));
    EXPECT_TRUE(requestUntilLine(other, "REN Twin", client, "* Anonymous1 is now known as Lamer1234"));
    EXPECT_STREQ(server.clients[0].name, "Twin");
    EXPECT_STREQ(server.clients[1].name, "Lamer1234");
}

TEST_F(LobbyServerTest, WhoAnswersTheAskerOnlyWithOneLinePerConnectedSlot)
{
    startServer(43405);
    auto [firstPeer, askerPeer] = threeWithTheSecondGone();
    LobbyClient& first = *firstPeer;
    LobbyClient& asker = *askerPeer;

    say(asker, "WHO and whatever follows");
    ASSERT_TRUE(pumpUntil([&] { return historyLine(asker, 0).starts_with("Lobby whispers: Chatters:"); }));
    const std::string line = historyLine(asker, 0);
    EXPECT_TRUE(matchesDigits(line, "Lobby whispers: Chatters:\r\n"
                                    "Anonymous0 (#0, 9 +/- 9, 9, 9, 9)\r\n"
                                    "Anonymous2 (#2, 9 +/- 9, 9, 9, 9)\r\n"))
        << line;

    // A later broadcast reaches the first peer after anything sent to it before.
    say(asker, "SAY after");
    ASSERT_TRUE(pumpUntil([&] { return historyLine(first, 0) == "Anonymous2: after"; }));
    EXPECT_EQ(historyLine(first, 1), "* Anonymous1 disconnected =(");
}

TEST(LobbyServerSlotStats, EachFigureComesFromItsOwnPeerField)
{
    ENetPeer peer{};
    peer.roundTripTime = 11;
    peer.roundTripTimeVariance = 22;
    peer.packetLoss = 33;
    peer.packetsLost = 44;
    peer.packetsSent = 55;
    ClientSlot slot;
    slot.id = 3;
    slot.connected = true;
    slot.peer = &peer;
    fixedTextSet(slot.name, "Pilot");
    const PeerStats stats = lobbyServerSlotStats(slot);
    EXPECT_EQ(whoNotice(std::span(&stats, 1)), "WSP Lobby Chatters:\r\nPilot (#3, 11 +/- 22, 33, 44, 55)\r\n");
}

TEST_F(LobbyServerTest, UnknownAndMalformedCodesAreIgnored)
{
    startServer(43406);
    LobbyClient& client = joinClient();
    for (std::string_view ignored : {"who ", "WHO", "SAY", "SA", "", "XYZ hi", "/who", "/name x",
                                     "WSP Lobby x", "NEW x", "OLD x", "NME a b", "say hi"}) {
        say(client, ignored);
    }
    const std::string before = status.text();
    ASSERT_TRUE(requestUntilLine(client, "SAY done", client, "Anonymous0: done"));
    EXPECT_EQ(historyLine(client, 1), "* Anonymous0 connected =)");
    EXPECT_EQ(status.text(), before + sendBlock("SAY Anonymous0 done"));
}

TEST_F(LobbyServerTest, KeepAlivePingsOnlyAfterTheDeadlinePassed)
{
    timerSetManual(100.0);
    startServer(43407);
    EXPECT_EQ(server.nextPingTime, 105.0);
    joinClient();
    ENetPeer* peer = server.clients[0].peer;
    ASSERT_TRUE(pumpUntil([&] { return enet_list_empty(&peer->outgoingCommands); }));

    timerSetManual(105.0);
    lobbyServerService(server);
    EXPECT_EQ(server.nextPingTime, 105.0);
    EXPECT_TRUE(enet_list_empty(&peer->outgoingCommands));

    timerSetManual(105.5);
    lobbyServerService(server);
    EXPECT_EQ(server.nextPingTime, 110.5);
    ASSERT_FALSE(enet_list_empty(&peer->outgoingCommands));
    const auto* queued = reinterpret_cast<ENetOutgoingCommand*>(enet_list_front(&peer->outgoingCommands));
    EXPECT_EQ(queued->command.header.command & ENET_PROTOCOL_COMMAND_MASK, ENET_PROTOCOL_COMMAND_PING);
}

TEST_F(LobbyServerTest, SecondServerOnATakenPortFailsWithItsLine)
{
    startServer(43408);
    LobbyServer second;
    EXPECT_FALSE(lobbyServerCreate(second, "", 43408, 2));
    EXPECT_EQ(second.host, nullptr);
    EXPECT_EQ(status.text(), "An error occurred while trying to create an ENet server host.\n");
    lobbyServerService(second);  // no host: nothing happens
    EXPECT_FALSE(lobbyServerBroadcastBytes(second, CHANNEL_SNAPSHOT, lobbyFrame("x")));
    lobbyServerDestroy(second);
    lobbyServerDestroy(second);
}

}  // namespace
}  // namespace netduel
