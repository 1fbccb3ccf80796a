// Finding hosts: two real lobby servers on loopback found through the loopback network's
// broadcast address, one line per host however many ways it was reached; answers matched
// to the queries sent, never moving a host to another address; a flood at the search's
// port; the host --find joins; the table line and its escaping.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "base/status.h"
#include "base/timer.h"
#include "find/host_finder.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"

namespace netduel {
namespace {

constexpr std::uint16_t PORT_A = 48520;
constexpr std::uint16_t PORT_B = 48521;
constexpr std::uint16_t PORT_JUNK_HOST = 44210;

HostStatus statusOf(std::uint32_t token, bool ship0, bool ship1)
{
    HostStatus status;
    status.token = token;
    status.maxPlayers = 25;
    status.version = "0.1.0";
    status.shipHeld = {ship0, ship1};
    return status;
}

FoundHost foundAt(std::uint16_t port, HostStatus status, double roundTripMs)
{
    FoundHost host;
    host.address.host = ENET_HOST_TO_NET_32(0x7F000001);
    host.address.port = port;
    host.status = std::move(status);
    host.roundTripMs = roundTripMs;
    return host;
}

TEST(HostFinder, FindsTwoHostsOnTwoPortsThroughTheLoopbackBroadcastAddressOnceEach)
{
    statusOut = nullptr;  // the servers' lines are not what this test reads
    LobbyServer a;
    LobbyServer b;
    ASSERT_TRUE(lobbyServerCreate(a, "", PORT_A, LOBBY_MAX_PEERS));
    ASSERT_TRUE(lobbyServerCreate(b, "", PORT_B, LOBBY_MAX_PEERS));
    b.dedicated = true;
    // Host A is asked twice, through the broadcast address and directly.
    const FindTarget targets[] = {{"127.255.255.255", PORT_A}, {"127.255.255.255", PORT_B}, {"127.0.0.1", PORT_A}};
    HostFinder finder;
    ASSERT_TRUE(hostFinderStart(finder, targets, timerSeconds()));
    while (!hostFinderDone(finder, timerSeconds())) {
        lobbyServerService(a);
        lobbyServerService(b);
        hostFinderPoll(finder, timerSeconds());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(finder.roundsSent, FIND_ROUNDS);
    ASSERT_EQ(finder.found.size(), 2u);
    const FoundHost& first = finder.found[0];
    const FoundHost& second = finder.found[1];
    EXPECT_LE(first.roundTripMs, second.roundTripMs);
    const FoundHost& foundA = first.address.port == PORT_A ? first : second;
    const FoundHost& foundB = first.address.port == PORT_A ? second : first;
    EXPECT_EQ(foundA.address.port, PORT_A);
    EXPECT_EQ(foundB.address.port, PORT_B);
    EXPECT_EQ(findAddressText(foundA.address), "127.0.0.1");
    EXPECT_FALSE(foundA.status.dedicated);
    EXPECT_TRUE(foundB.status.dedicated);
    EXPECT_EQ(foundA.status.token, a.statusToken);
    hostFinderClose(finder);
    hostFinderClose(finder);  // twice is harmless
    lobbyServerDestroy(a);
    lobbyServerDestroy(b);
    statusOut = stdout;
}

TEST(HostFinder, OnlyAnswersToQueriesSentCountAndAHostKeepsItsQuickestAnswer)
{
    HostFinder finder;
    finder.sent = {{10, 1.0}, {11, 1.2}};
    ENetAddress from{};
    from.port = PORT_A;
    HostStatus status = statusOf(5, false, false);
    status.nonce = 12;  // never sent
    hostFinderTake(finder, from, statusAnswerBuild(status), 1.3);
    EXPECT_TRUE(finder.found.empty());
    status.nonce = 10;
    std::vector<std::uint8_t> cut = statusAnswerBuild(status);
    cut.pop_back();
    hostFinderTake(finder, from, cut, 1.3);
    EXPECT_TRUE(finder.found.empty());

    hostFinderTake(finder, from, statusAnswerBuild(status), 1.3);  // 300 ms
    ASSERT_EQ(finder.found.size(), 1u);
    EXPECT_NEAR(finder.found[0].roundTripMs, 300.0, 1e-6);
    status.nonce = 11;
    hostFinderTake(finder, from, statusAnswerBuild(status), 1.25);  // the same host in 50 ms
    ASSERT_EQ(finder.found.size(), 1u);
    EXPECT_NEAR(finder.found[0].roundTripMs, 50.0, 1e-6);
    status.nonce = 10;
    hostFinderTake(finder, from, statusAnswerBuild(status), 1.9);  // slower again: kept
    EXPECT_NEAR(finder.found[0].roundTripMs, 50.0, 1e-6);

    // Another host, on another port and quicker still, goes first.
    HostStatus other = statusOf(6, true, true);
    other.nonce = 11;
    ENetAddress otherPort = from;
    otherPort.port = PORT_B;
    hostFinderTake(finder, otherPort, statusAnswerBuild(other), 1.21);
    ASSERT_EQ(finder.found.size(), 2u);
    EXPECT_EQ(finder.found[0].status.token, 6u);
    EXPECT_EQ(finder.found[1].status.token, 5u);

    // Host 5's token from another address, quicker still: a forger, which moves nothing.
    ENetAddress forger = from;
    forger.host = ENET_HOST_TO_NET_32(0x7F000063);
    status.nonce = 11;
    hostFinderTake(finder, forger, statusAnswerBuild(status), 1.201);
    ASSERT_EQ(finder.found.size(), 2u);
    EXPECT_EQ(finder.found[1].address.host, from.host);
    EXPECT_NEAR(finder.found[1].roundTripMs, 50.0, 1e-6);
}

// Junk as fast as one thread sends it at the search's own port, while a real host answers:
// the host is still found, and the search ends on time.
TEST(HostFinder, AFloodAtTheSearchsPortNeitherHidesAHostNorHoldsTheSearch)
{
    statusOut = nullptr;
    LobbyServer server;
    ASSERT_TRUE(lobbyServerCreate(server, "", PORT_JUNK_HOST, LOBBY_MAX_PEERS));
    const FindTarget targets[] = {{"127.0.0.1", PORT_JUNK_HOST}};
    HostFinder finder;
    const double started = timerSeconds();
    ASSERT_TRUE(hostFinderStart(finder, targets, started));
    ENetAddress finderAddress{};
    ASSERT_EQ(enet_socket_get_address(finder.socket, &finderAddress), 0);
    finderAddress.host = ENET_HOST_TO_NET_32(0x7F000001);

    const std::uint32_t foreignNonce = finder.nextNonce + 1000;
    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::thread flood([&] {
        ENetSocket junk = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
        HostStatus forged = statusOf(7, false, false);  // well formed, answering no query
        forged.nonce = foreignNonce;
        const std::vector<std::uint8_t> answer = statusAnswerBuild(forged);
        const std::vector<std::uint8_t> big(65507, 0xFF), medium(5000, 0xFF);
        const std::vector<std::uint8_t>* kinds[] = {&big, &medium, &answer};
        for (std::size_t i = 0; !stop; ++i) {
            const std::vector<std::uint8_t>& bytes = *kinds[i % 3];
            ENetBuffer buffer{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
            enet_socket_send(junk, &finderAddress, &buffer, 1);
            ++sent;
        }
        enet_socket_destroy(junk);
    });
    // The host answers only once junk has filled the search's socket buffer many times over.
    while (sent < 3000 && timerSeconds() - started < 0.5) std::this_thread::yield();
    std::thread host([&] {
        while (!stop) lobbyServerWaitUntil(server, std::chrono::steady_clock::now() + std::chrono::milliseconds(10));
    });
    hostFinderFinish(finder);
    const double took = timerSeconds() - started;
    stop = true;
    flood.join();
    host.join();
    ASSERT_EQ(finder.found.size(), 1u);
    EXPECT_EQ(finder.found[0].status.token, server.statusToken);
    EXPECT_LT(took, FIND_SECONDS + 0.2);
    hostFinderClose(finder);
    lobbyServerDestroy(server);
    statusOut = stdout;
}

TEST(HostFinder, FindJoinsTheQuickestHostWithAShipFreeElseTheQuickest)
{
    EXPECT_EQ(foundHostPick({}), nullptr);
    const std::vector<FoundHost> found = {foundAt(1, statusOf(1, true, true), 1.0),
                                          foundAt(2, statusOf(2, true, false), 2.0),
                                          foundAt(3, statusOf(3, false, true), 3.0)};
    EXPECT_EQ(foundHostPick(found), &found[1]);
    const std::vector<FoundHost> shipOneFree = {found[0], foundAt(3, statusOf(3, false, true), 3.0)};
    EXPECT_EQ(foundHostPick(shipOneFree), &shipOneFree[1]);
    const std::vector<FoundHost> full = {found[0], foundAt(4, statusOf(4, true, true), 2.0)};
    EXPECT_EQ(foundHostPick(full), &full[0]);
}

TEST(HostFinder, ATableLineShowsEveryFieldAndNoNameBreaksIt)
{
    HostStatus status = statusOf(1, true, false);
    status.players = 3;
    status.shipName[0] = "alice";
    EXPECT_EQ(foundHostLine(foundAt(42069, status, 1.24)), "127.0.0.1:42069  3/25  1.2 ms  alice -");
    status.dedicated = true;
    status.shipHeld = {true, true};
    status.shipName = {"a b\x1b[2J\"\\", ""};
    EXPECT_EQ(foundHostLine(foundAt(5, status, 12.0)),
              "127.0.0.1:5  3/25  12.0 ms  a\\x20b\\x1b[2J\\x22\\x5c \"\"  dedicated");
    status.shipName = {"'it'", "\x9b"};
    EXPECT_EQ(foundHostLine(foundAt(5, status, 0.0)), "127.0.0.1:5  3/25  0.0 ms  \\x27it\\x27 \\x9b  dedicated");
    status.shipName = {"-", "\x9b"};
    EXPECT_EQ(foundHostLine(foundAt(5, status, 0.0)), "127.0.0.1:5  3/25  0.0 ms  \\x2d \\x9b  dedicated");
}

}  // namespace
}  // namespace netduel
