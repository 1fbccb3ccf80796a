// Port mapping against a NAT-PMP stand-in on 127.0.0.1:5351 (the test runs in a network
// namespace of its own): the grant and its line, the renewal before the lease ends, the
// removal on stop, and a gateway that is not there.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/status.h"
#include "portmap/port_map.h"

namespace netduel {
namespace {

constexpr std::uint16_t NATPMP_PORT = 5351;
constexpr std::uint16_t GAME_PORT = 43069;
constexpr std::uint16_t GRANTED_PORT = 53069;
constexpr std::uint32_t GRANTED_LEASE = 2;  // s: a renewal within the test's patience

bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

// A gateway that speaks NAT-PMP (RFC 6886) and grants every UDP mapping.
struct NatpmpGateway {
    int socket = -1;
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<std::uint32_t> lifetimes;  // of each UDP mapping request, in order
    std::thread thread;

    NatpmpGateway()
    {
        socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{AF_INET, htons(NATPMP_PORT), {htonl(INADDR_LOOPBACK)}, {}};
        EXPECT_EQ(bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        timeval wait{0, 20000};
        setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        thread = std::thread([this] { serve(); });
    }
    ~NatpmpGateway()
    {
        stop = true;
        thread.join();
        close(socket);
    }
    std::vector<std::uint32_t> seen()
    {
        const std::lock_guard guard(lock);
        return lifetimes;
    }
    void serve()
    {
        while (!stop) {
            std::uint8_t in[16];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t count = recvfrom(socket, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (count < 2 || in[0] != 0) continue;
            std::vector<std::uint8_t> out = {0, std::uint8_t(128 + in[1]), 0, 0, 0, 0, 0, 1};  // success, epoch 1
            if (in[1] == 0 && count == 2) {
                out.insert(out.end(), {203, 0, 113, 7});
            } else if (in[1] == 1 && count == 12) {
                const std::uint32_t lifetime = std::uint32_t(in[8]) << 24 | in[9] << 16 | in[10] << 8 | in[11];
                {
                    const std::lock_guard guard(lock);
                    lifetimes.push_back(lifetime);
                }
                const std::uint32_t granted = lifetime == 0 ? 0 : GRANTED_LEASE;
                const std::uint16_t external = lifetime == 0 ? 0 : GRANTED_PORT;
                out.insert(out.end(), {in[4], in[5], std::uint8_t(external >> 8), std::uint8_t(external),
                                       std::uint8_t(granted >> 24), std::uint8_t(granted >> 16),
                                       std::uint8_t(granted >> 8), std::uint8_t(granted)});
            } else {
                continue;
            }
            sendto(socket, out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }
};

// Status lines written during the test.
struct StatusCapture {
    std::FILE* file = std::tmpfile();
    StatusCapture() { statusOut = file; }
    ~StatusCapture()
    {
        statusOut = nullptr;
        std::fclose(file);
    }
    std::string text()
    {
        std::fflush(file);
        std::rewind(file);
        std::string all;
        for (int c; (c = std::fgetc(file)) != EOF;) all += char(c);
        return all;
    }
};

const PortMapConfig STAND_IN{false, true, htonl(INADDR_LOOPBACK)};

TEST(PortMap, NatpmpGrantIsToldRenewedBeforeItsLeaseEndsAndRemovedOnStop)
{
    NatpmpGateway gateway;
    StatusCapture status;
    PortMapper mapper;
    portMapperStart(mapper, GAME_PORT, STAND_IN);
    std::optional<std::uint16_t> reached;
    ASSERT_TRUE(waitFor([&] { return (reached = portMapperTick(mapper)).has_value(); }));
    EXPECT_EQ(*reached, GRANTED_PORT) << "registrations name the port the world reaches";
    portMapperTick(mapper);
    EXPECT_EQ(status.text(), "The world reaches this host at 203.0.113.7:53069 (UDP, mapped by NAT-PMP).\n")
        << "told once";
    ASSERT_TRUE(waitFor([&] { return gateway.seen().size() >= 2; })) << "renewed within the 2 s lease";
    EXPECT_EQ(gateway.seen()[0], PORTMAP_LEASE_SECONDS);
    portMapperStop(mapper);
    const std::vector<std::uint32_t> lifetimes = gateway.seen();
    EXPECT_EQ(lifetimes.back(), 0u) << "removed: a request with no lifetime";
    EXPECT_EQ(std::count(lifetimes.begin(), lifetimes.end(), 0u), 1);
}

TEST(PortMap, WithoutAGatewayTheHostSaysSoAndKeepsItsOwnPort)
{
    StatusCapture status;
    PortMapper mapper;
    portMapperStart(mapper, GAME_PORT, STAND_IN);  // nothing listens on 5351
    std::optional<std::uint16_t> reached;
    ASSERT_TRUE(waitFor([&] { return (reached = portMapperTick(mapper)).has_value(); }));
    EXPECT_EQ(*reached, GAME_PORT);
    EXPECT_NE(status.text().find("No gateway answered a port mapping request"), std::string::npos) << status.text();
    portMapperStop(mapper);
    portMapperStop(mapper);  // twice is harmless
}

}  // namespace
}  // namespace netduel
