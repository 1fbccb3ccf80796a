// Link emulator: the fate of datagrams in numbers, then real datagrams across loopback
// through the running link (delay, loss, duplication, order, both directions, counts).
// UDP ports 49000–49049.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <set>
#include <vector>

#include "base/status.h"
#include "link/link.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"

namespace netduel {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto DEADLINE = std::chrono::seconds(20);

double sinceEpoch()
{
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = Clock::now() + DEADLINE;
    while (Clock::now() < deadline) {
        if (done()) return true;
        usleep(1000);
    }
    return done();
}

// --- Fates, without sockets ----------------------------------------------------------------

struct FateStats {
    int lost = 0, doubled = 0, delivered = 0;
    std::vector<double> delays;  // s, every copy
    bool ordered = true;
};

FateStats fates(const LinkImpairment& impairment, int datagrams, double spacing)
{
    std::mt19937_64 random(7);
    FateStats stats;
    double lastDue = 0.0, previous = 0.0;
    for (int i = 0; i < datagrams; ++i) {
        const double now = i * spacing;
        const LinkFate fate = linkFate(impairment, random, now, lastDue);
        stats.lost += fate.copies == 0;
        stats.doubled += fate.copies == 2;
        for (int copy = 0; copy < fate.copies; ++copy) {
            ++stats.delivered;
            stats.delays.push_back(fate.due[copy] - now);
            stats.ordered = stats.ordered && fate.due[copy] >= previous;
            previous = fate.due[copy];
        }
    }
    return stats;
}

double mean(const std::vector<double>& values)
{
    double sum = 0.0;
    for (double value : values) sum += value;
    return sum / double(values.size());
}

TEST(LinkFate, LossDuplicationAndDelayFollowTheImpairment)
{
    const LinkImpairment impairment{0.060, 0.020, 0.03, 0.05, false};
    const FateStats stats = fates(impairment, 20000, 0.001);
    EXPECT_NEAR(stats.lost / 20000.0, 0.03, 0.006);
    EXPECT_NEAR(stats.doubled / (20000.0 - stats.lost), 0.05, 0.008);
    EXPECT_EQ(stats.delivered, 20000 - stats.lost + stats.doubled);
    const auto [low, high] = std::minmax_element(stats.delays.begin(), stats.delays.end());
    EXPECT_GE(*low, 0.040 - 1e-9);
    EXPECT_LE(*high, 0.080 + 1e-9);
    EXPECT_LT(*low, 0.041);  // the whole ± range is used, evenly
    EXPECT_GT(*high, 0.079);
    EXPECT_NEAR(mean(stats.delays), 0.060, 0.001);
    EXPECT_FALSE(stats.ordered);  // 1 ms apart with ±20 ms: some overtake
}

TEST(LinkFate, KeptOrderNeverOvertakesAndNeverArrivesEarly)
{
    const LinkImpairment impairment{0.060, 0.020, 0.0, 0.05, true};
    const FateStats stats = fates(impairment, 5000, 0.001);
    EXPECT_TRUE(stats.ordered);
    EXPECT_GE(*std::min_element(stats.delays.begin(), stats.delays.end()), 0.040 - 1e-9);
}

TEST(LinkFate, ProfilesByName)
{
    LinkImpairment impairment;
    ASSERT_TRUE(linkProfileFind("poor", impairment));
    EXPECT_DOUBLE_EQ(impairment.delay, 0.060);
    EXPECT_DOUBLE_EQ(impairment.jitter, 0.020);
    EXPECT_DOUBLE_EQ(impairment.loss, 0.03);
    ASSERT_TRUE(linkProfileFind("awful", impairment));
    EXPECT_DOUBLE_EQ(impairment.delay, 0.120);
    EXPECT_DOUBLE_EQ(impairment.loss, 0.08);
    ASSERT_TRUE(linkProfileFind("lan", impairment));
    EXPECT_EQ(impairment.delay, 0.0);
    EXPECT_EQ(impairment.loss, 0.0);
    impairment.delay = 1.0;
    EXPECT_FALSE(linkProfileFind("Poor", impairment));
    EXPECT_EQ(impairment.delay, 1.0);
}

// --- Real datagrams --------------------------------------------------------------------------

struct Udp {
    explicit Udp(std::uint16_t port = 0)
    {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Udp() { close(fd); }

    void sendTo(std::uint16_t port, const void* bytes, std::size_t length)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(fd, bytes, length, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    void replyTo(const sockaddr_in& to, const void* bytes, std::size_t length)
    {
        sendto(fd, bytes, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    // One datagram within 1 ms, or false.
    bool receive(void* bytes, std::size_t length, sockaddr_in* from = nullptr)
    {
        pollfd poll{fd, POLLIN, 0};
        if (::poll(&poll, 1, 1) <= 0) return false;
        socklen_t fromLength = sizeof(sockaddr_in);
        return recvfrom(fd, bytes, length, 0, reinterpret_cast<sockaddr*>(from), from ? &fromLength : nullptr) ==
               ssize_t(length);
    }

    int fd = -1;
    bool bound = false;
};

struct Probe {
    std::uint32_t sequence = 0;
    double sent = 0.0;  // s
};

struct Arrival {
    std::uint32_t sequence = 0;
    double delay = 0.0;  // s
    sockaddr_in from{};
};

LinkConfig config(std::uint16_t listenPort, std::uint16_t hostPort, const LinkImpairment& toHost,
                  const LinkImpairment& toClient = {})
{
    LinkConfig out;
    out.listenPort = listenPort;
    out.hostPort = hostPort;
    out.impairment[LINK_TO_HOST] = toHost;
    out.impairment[LINK_TO_CLIENT] = toClient;
    out.seed = 42;
    return out;
}

// Sends `count` probes from `client` through the link, a few at a time so that no socket
// buffer overflows, and collects what reaches `host` until the link has nothing in flight.
std::vector<Arrival> cross(Link& link, Udp& client, Udp& host, int count)
{
    std::vector<Arrival> arrivals;
    auto drain = [&] {
        Probe probe;
        sockaddr_in from{};
        while (host.receive(&probe, sizeof probe, &from)) arrivals.push_back({probe.sequence, sinceEpoch() - probe.sent, from});
    };
    for (int i = 0; i < count; ++i) {
        const Probe probe{std::uint32_t(i), sinceEpoch()};
        client.sendTo(linkPort(link), &probe, sizeof probe);
        if (i % 20 == 19) {
            EXPECT_TRUE(waitFor([&] { drain(); return linkCounts(link, LINK_TO_HOST).sent == std::uint64_t(i + 1); }));
        }
    }
    EXPECT_TRUE(waitFor([&] {
        drain();
        const LinkCounts counts = linkCounts(link, LINK_TO_HOST);
        return counts.sent == std::uint64_t(count) && arrivals.size() == counts.delivered &&
               counts.delivered == counts.sent - counts.dropped + counts.duplicated;
    }));
    return arrivals;
}

// A link from `port` to a host socket on port + 1, with `count` probes sent across.
struct Crossing {
    Crossing(std::uint16_t port, const LinkImpairment& toHost, int count) : host(std::uint16_t(port + 1))
    {
        started = host.bound && linkStart(link, config(port, std::uint16_t(port + 1), toHost));
        if (started) arrivals = cross(link, client, host, count);
    }
    ~Crossing() { linkStop(link); }

    Udp host, client;
    Link link;
    bool started = false;
    std::vector<Arrival> arrivals;
};

TEST(Link, DelaysEveryDatagramByItsDelayAndJitter)
{
    const Crossing crossing(49000, {0.030, 0.010, 0.0, 0.0, false}, 300);
    ASSERT_TRUE(crossing.started);
    ASSERT_EQ(crossing.arrivals.size(), 300u);
    std::vector<double> delays;
    for (const Arrival& arrival : crossing.arrivals) delays.push_back(arrival.delay);
    std::sort(delays.begin(), delays.end());
    EXPECT_GE(delays.front(), 0.020);       // never early
    EXPECT_NEAR(delays[150], 0.030, 0.005); // centred on the delay
    EXPECT_GT(delays[270] - delays[30], 0.010);  // spread by the jitter
    EXPECT_LT(delays[270], 0.050);
}

TEST(Link, LossAndDuplicationAreCountedAndMatchWhatArrives)
{
    const Crossing crossing(49002, {0.002, 0.0, 0.10, 0.05, true}, 1000);
    ASSERT_TRUE(crossing.started);
    const LinkCounts counts = linkCounts(crossing.link, LINK_TO_HOST);
    EXPECT_EQ(counts.sent, 1000u);
    EXPECT_NEAR(double(counts.dropped), 100.0, 30.0);
    EXPECT_NEAR(double(counts.duplicated), 45.0, 20.0);
    std::set<std::uint32_t> unique;
    std::uint32_t previous = 0;
    bool ordered = true;
    for (const Arrival& arrival : crossing.arrivals) {
        unique.insert(arrival.sequence);
        ordered = ordered && arrival.sequence >= previous;
        previous = arrival.sequence;
    }
    EXPECT_EQ(unique.size(), counts.sent - counts.dropped);
    EXPECT_EQ(crossing.arrivals.size() - unique.size(), counts.duplicated);
    EXPECT_TRUE(ordered);
    EXPECT_EQ(linkCounts(crossing.link, LINK_TO_CLIENT).sent, 0u);
}

TEST(Link, ReordersOnlyWhenAllowed)
{
    {
        const Crossing crossing(49004, {0.020, 0.015, 0.0, 0.0, false}, 400);
        ASSERT_TRUE(crossing.started);
        int overtaken = 0;
        for (std::size_t i = 1; i < crossing.arrivals.size(); ++i)
            overtaken += crossing.arrivals[i].sequence < crossing.arrivals[i - 1].sequence;
        EXPECT_GT(overtaken, 10);
    }
    const Crossing crossing(49004, {0.020, 0.015, 0.0, 0.0, true}, 400);
    ASSERT_TRUE(crossing.started);
    ASSERT_EQ(crossing.arrivals.size(), 400u);
    for (std::size_t i = 0; i < crossing.arrivals.size(); ++i) EXPECT_EQ(crossing.arrivals[i].sequence, i);
}

// The host answers each client at the address it saw; each client gets its own address
// at the host, and the answers come back with the other direction's delay.
TEST(Link, AnswersReturnToEachClientWithTheirOwnDelay)
{
    Udp host(49007), first, second;
    ASSERT_TRUE(host.bound);
    Link link;
    ASSERT_TRUE(linkStart(link, config(49006, 49007, {0.010, 0.0, 0.0, 0.0, true},
                                       {0.040, 0.0, 0.0, 0.0, true})));
    std::set<std::uint16_t> sources;
    for (int round = 0; round < 10; ++round) {
        for (Udp* client : {&first, &second}) {
            Probe probe{std::uint32_t(round), sinceEpoch()};
            client->sendTo(linkPort(link), &probe, sizeof probe);
            sockaddr_in from{};
            ASSERT_TRUE(waitFor([&] { return host.receive(&probe, sizeof probe, &from); }));
            EXPECT_GE(sinceEpoch() - probe.sent, 0.010);  // the way to the host is the short one
            EXPECT_LT(sinceEpoch() - probe.sent, 0.040);
            sources.insert(ntohs(from.sin_port));
            host.replyTo(from, &probe, sizeof probe);
            Probe echo;
            ASSERT_TRUE(waitFor([&] { return client->receive(&echo, sizeof echo); }));
            EXPECT_EQ(echo.sequence, std::uint32_t(round));
            EXPECT_GE(sinceEpoch() - echo.sent, 0.050);
        }
    }
    EXPECT_EQ(sources.size(), 2u);
    // The emulator's thread counts a delivery just after it sends it: the last echo may
    // arrive here first.
    EXPECT_TRUE(waitFor([&] { return linkCounts(link, LINK_TO_CLIENT).delivered == 20u; }))
        << linkCounts(link, LINK_TO_CLIENT).delivered;
    linkStop(link);
}

TEST(Link, FailsToStartOnABusyPortAndStopsInAnyState)
{
    statusOut = nullptr;
    Udp busy(49008);
    ASSERT_TRUE(busy.bound);
    Link link;
    EXPECT_FALSE(linkStart(link, config(49008, 49009, {})));
    EXPECT_EQ(link.worker, nullptr);
    EXPECT_EQ(linkPort(link), 0);
    EXPECT_EQ(linkCounts(link, LINK_TO_HOST).sent, 0u);
    LinkConfig unresolvable = config(49010, 49009, {});
    unresolvable.hostAddress = "no.such.host.invalid";
    EXPECT_FALSE(linkStart(link, unresolvable));
    linkStop(link);
    ASSERT_TRUE(linkStart(link, config(0, 49009, {})));
    EXPECT_NE(linkPort(link), 0);
    linkStop(link);
    linkStop(link);
    statusOut = stdout;
}

// Real ENet across a lossy, jittery link: two clients behind it are two peers to the host,
// and chat goes both ways through it.
TEST(Link, CarriesEnetConnectionsOfTwoClientsAsTwoPeers)
{
    statusOut = nullptr;
    const LinkImpairment lossy{0.030, 0.010, 0.05, 0.02, true};
    LobbyServer server;
    ASSERT_TRUE(lobbyServerCreate(server, "127.0.0.1", 49012, LOBBY_MAX_PEERS));
    Link link;
    ASSERT_TRUE(linkStart(link, config(49011, 49012, lossy, lossy)));
    LobbyClient clients[2];
    for (LobbyClient& client : clients)
        ASSERT_TRUE(lobbyClientConnect(client, "127.0.0.1", 49011, CLIENT_CHANNELS));
    auto pump = [&] {
        lobbyServerService(server);
        for (LobbyClient& client : clients) lobbyClientService(client);
        return clients[0].connected && clients[1].connected;
    };
    EXPECT_TRUE(waitFor(pump));
    lobbyClientSendBytes(clients[0], CHANNEL_TEXT, lobbyFrame("SAY across"), true);
    EXPECT_TRUE(waitFor([&] {
        pump();
        return fixedTextView(clients[1].history[0]).ends_with(": across");
    }));
    int peers = 0;
    for (const ClientSlot& slot : server.clients) peers += slot.connected;
    EXPECT_EQ(peers, 2);
    EXPECT_GT(linkCounts(link, LINK_TO_HOST).delivered, 0u);
    EXPECT_GT(linkCounts(link, LINK_TO_CLIENT).delivered, 0u);
    for (LobbyClient& client : clients) lobbyClientDestroy(client);
    lobbyServerDestroy(server);
    linkStop(link);
    statusOut = stdout;
}

}  // namespace
}  // namespace netduel
