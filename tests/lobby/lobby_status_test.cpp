// The server over real ENet on loopback: status queries answered on the game port with
// who holds the ships, never with more bytes than were sent and only a few times a second
// per address; and a peer that sends a packet over the host's limit, announced as gone.
#include <chrono>
#include <optional>

#include "lobby_net_fixture.h"

namespace netduel {
namespace {

using test::historyLine;
using test::LobbyNetTest;
using test::spareLoopback;

// A plain UDP socket that asks the test server, bound to `local`.
struct Asker {
    ENetSocket socket = ENET_SOCKET_NULL;

    explicit Asker(std::string_view local = "127.0.0.1")
    {
        socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
        enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
        const ENetAddress address = lobbyAddress(local, 0);
        EXPECT_EQ(enet_socket_bind(socket, &address), 0);
    }
    ~Asker() { enet_socket_destroy(socket); }

    void send(std::uint16_t port, std::span<const std::uint8_t> bytes)
    {
        const ENetAddress to = lobbyAddress("127.0.0.1", port);
        ENetBuffer buffer{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
        EXPECT_EQ(enet_socket_send(socket, &to, &buffer, 1), static_cast<int>(bytes.size()));
    }

    // The next datagram waiting, if any, whole.
    std::optional<std::vector<std::uint8_t>> receive()
    {
        std::vector<std::uint8_t> bytes(2048);
        ENetAddress from{};
        ENetBuffer buffer{bytes.data(), bytes.size()};
        const int length = enet_socket_receive(socket, &from, &buffer, 1);
        if (length <= 0) return std::nullopt;
        bytes.resize(std::size_t(length));
        return bytes;
    }
};

class LobbyStatusTest : public LobbyNetTest {
protected:
    // Sends a query with `nonce` and services the server until an answer arrives.
    std::optional<HostStatus> ask(Asker& asker, std::uint32_t nonce)
    {
        asker.send(port, statusQueryBuild(nonce));
        return awaitAnswer(asker);
    }

    std::optional<HostStatus> awaitAnswer(Asker& asker)
    {
        std::optional<std::vector<std::uint8_t>> answer;
        if (!pumpUntil([&] { return (answer = asker.receive()).has_value(); })) return std::nullopt;
        EXPECT_LE(answer->size(), STATUS_QUERY_BYTES);
        return statusAnswerParse(*answer);
    }

    void rename(LobbyClient& client, int slot, std::string_view name)
    {
        const std::string line = "* Anonymous" + std::to_string(slot) + " is now known as " + std::string(name);
        EXPECT_TRUE(requestUntilLine(client, "REN " + std::string(name), client, line));
    }
};

TEST_F(LobbyStatusTest, AQueryIsAnsweredWithThePlayersAndWhoHoldsEachShip)
{
    startServer(48510);
    server.dedicated = true;
    Asker asker;
    const auto empty = ask(asker, 1);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->nonce, 1u);
    EXPECT_EQ(empty->players, 0);
    EXPECT_EQ(empty->maxPlayers, LOBBY_MAX_PEERS);
    EXPECT_TRUE(empty->dedicated);
    EXPECT_FALSE(empty->version.empty());
    EXPECT_EQ(empty->shipHeld, (std::array<bool, 2>{false, false}));

    LobbyClient& first = joinClient();
    LobbyClient& second = joinClient();
    joinClient();
    rename(first, 0, "alice");
    rename(second, 1, "bob");
    const auto full = ask(asker, 2);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->players, 3);
    EXPECT_EQ(full->shipHeld, (std::array<bool, 2>{true, true}));
    EXPECT_EQ(full->shipName, (std::array<std::string, 2>{"alice", "bob"}));
    EXPECT_EQ(full->token, empty->token);

    lobbyClientDisconnect(first);
    ASSERT_TRUE(pumpUntil([&] { return !server.clients[0].connected; }));
    const auto left = ask(asker, 3);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->players, 2);
    EXPECT_EQ(left->shipHeld, (std::array<bool, 2>{false, true}));
    EXPECT_EQ(left->shipName, (std::array<std::string, 2>{"", "bob"}));
    EXPECT_EQ(server.clients[1].name, std::string_view("bob"));  // the game goes on
}

TEST_F(LobbyStatusTest, AShortOrForeignDatagramGetsNoAnswerAndThePeersKeepPlaying)
{
    startServer(48511);
    LobbyClient& player = joinClient();
    Asker asker;
    const StatusQuery query = statusQueryBuild(10);
    asker.send(port, std::span(query).first(STATUS_QUERY_BYTES - 1));
    asker.send(port, statusAnswerBuild(HostStatus{}));
    // Loopback keeps the order: the first answer to come is the one to the good query.
    const auto answer = ask(asker, 11);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->nonce, 11u);
    EXPECT_TRUE(requestUntilLine(player, "SAY still here", player, "Anonymous0: still here"));
}

TEST_F(LobbyStatusTest, OneAddressGetsOnlyAFewAnswersASecond)
{
    timerSetManual(50.0);  // no allowance refills during the test
    startServer(48512);
    Asker greedy;
    const int sent = static_cast<int>(STATUS_ADDRESS_RULE.burst) + 3;
    for (int i = 0; i < sent; ++i) greedy.send(port, statusQueryBuild(std::uint32_t(i)));
    // Once another address has its answer, the host has read every query sent before.
    Asker other(spareLoopback(0));
    ASSERT_TRUE(ask(other, 99));
    int answered = 0;
    while (const auto bytes = greedy.receive()) answered += statusAnswerParse(*bytes) ? 1 : 0;
    EXPECT_EQ(answered, static_cast<int>(STATUS_ADDRESS_RULE.burst));

    timerSetManual(50.0 + 1.0 / STATUS_ADDRESS_RULE.perSecond);
    EXPECT_TRUE(ask(greedy, 100));
}

TEST_F(LobbyStatusTest, APeerSendingAPacketOverTheLimitIsAnnouncedAsGoneWithinASecond)
{
    startServer(48513);
    LobbyClient& watcher = joinClient();
    LobbyClient& offender = joinClient();
    offender.host->maximumPacketSize = 8 * 1024;  // its own side would refuse to send it
    say(offender, "SAY " + std::string(5000 - 5, 'x'));
    const auto sentAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(pumpUntil([&] { return historyLine(watcher, 0) == "* Anonymous1 disconnected =("; }, 1.0));
    EXPECT_LT(std::chrono::steady_clock::now() - sentAt, std::chrono::seconds(1));
    EXPECT_NE(status.text().find("Cli1 sent a packet over 4096 bytes: disconnected.\nCli1 disconnected.\n"),
              std::string::npos);
    EXPECT_FALSE(server.clients[1].connected);

    // The offender learns it was dropped, and its place is free for the next arrival.
    EXPECT_TRUE(pumpUntil([&] { return !offender.connected; }));
    LobbyClient& next = joinClient(spareLoopback(1));
    EXPECT_EQ(historyLine(next, 0), "* Anonymous1 connected =)");
    EXPECT_TRUE(requestUntilLine(watcher, "SAY hello", next, "Anonymous0: hello"));
}

}  // namespace
}  // namespace netduel
