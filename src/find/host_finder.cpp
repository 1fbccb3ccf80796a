// Finding hosts: queries out, answers in, one line per host.
#include "host_finder.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>

#include "base/status.h"
#include "base/timer.h"
#include "lobby/lobby_host.h"
#include "lobby/lobby_protocol.h"

namespace netduel {

namespace {

// s between rounds: the second leaves when the first is a third of a second old.
constexpr double FIND_ROUND_SECONDS = 0.3;
// Longest one poll keeps reading, s: a flood at the search's port must neither stall
// --find's frame nor hold --list past its second.
constexpr double FIND_POLL_SECONDS = 0.004;

using Clock = std::chrono::steady_clock;

// Longer than any answer: a datagram that does not fit is no answer, and reading it fails.
constexpr std::size_t ANSWER_BUFFER_BYTES = 2 * STATUS_ANSWER_MAX;
constexpr std::string_view ALL_BROADCAST = "255.255.255.255";
// Receive buffer asked for the search's socket (capped by net.core.rmem_max): answers
// that arrive amid a flood wait there until the next read instead of being dropped.
constexpr int FIND_RECEIVE_BUFFER = 1024 * 1024;
// Longest --list waits on its socket before it looks at the clock again, seconds.
constexpr double LIST_WAIT_SECONDS = 0.005;

std::string dotted(std::uint32_t networkOrder)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr address{};
    address.s_addr = networkOrder;
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

// The broadcast address of one interface, if it is up and has one.
std::optional<std::uint32_t> interfaceBroadcast(const ifaddrs& entry)
{
    if (!entry.ifa_addr || entry.ifa_addr->sa_family != AF_INET || !(entry.ifa_flags & IFF_UP))
        return std::nullopt;
    if ((entry.ifa_flags & IFF_BROADCAST) && entry.ifa_broadaddr)
        return reinterpret_cast<const sockaddr_in*>(entry.ifa_broadaddr)->sin_addr.s_addr;
    if (!(entry.ifa_flags & IFF_LOOPBACK) || !entry.ifa_netmask) return std::nullopt;
    const auto address = reinterpret_cast<const sockaddr_in*>(entry.ifa_addr)->sin_addr.s_addr;
    const auto mask = reinterpret_cast<const sockaddr_in*>(entry.ifa_netmask)->sin_addr.s_addr;
    return address | ~mask;
}

std::vector<std::string> broadcastAddresses()
{
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
            if (const auto broadcast = interfaceBroadcast(*entry)) addresses.push_back(dotted(*broadcast));
        }
        freeifaddrs(list);
    }
    addresses.emplace_back(ALL_BROADCAST);
    return addresses;
}

void finderSendRound(HostFinder& finder, double now)
{
    for (const ENetAddress& target : finder.targets) {
        const std::uint32_t nonce = finder.nextNonce++;
        StatusQuery query = statusQueryBuild(nonce);
        ENetBuffer buffer{};
        buffer.data = query.data();
        buffer.dataLength = query.size();
        if (enet_socket_send(finder.socket, &target, &buffer, 1) > 0) finder.sent.push_back({nonce, now});
    }
    ++finder.roundsSent;
}

// A name for the table: one column, no blank, no control, nothing that reads as a free
// ship or an empty name.
std::string tableName(bool held, std::string_view name)
{
    if (!held) return "-";
    if (name.empty()) return "\"\"";
    if (name == "-") return "\\x2d";
    return statusEscape(name, " \"'\\");
}

}  // namespace

std::vector<FindTarget> findBroadcastTargets(std::span<const std::uint16_t> ports)
{
    std::vector<FindTarget> targets;
    const std::vector<std::string> addresses = broadcastAddresses();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (std::find(ports.begin(), ports.begin() + i, ports[i]) != ports.begin() + i) continue;
        for (const std::string& address : addresses) targets.push_back({address, ports[i]});
    }
    return targets;
}

bool hostFinderStart(HostFinder& finder, std::span<const FindTarget> targets, double now)
{
    hostFinderClose(finder);
    finder = HostFinder{};
    enet_initialize();
    finder.socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    if (finder.socket == ENET_SOCKET_NULL || enet_socket_set_option(finder.socket, ENET_SOCKOPT_NONBLOCK, 1) != 0 ||
        enet_socket_set_option(finder.socket, ENET_SOCKOPT_BROADCAST, 1) != 0) {
        statusWrite("An error occurred while trying to create a socket to look for hosts.", true);
        hostFinderClose(finder);
        return false;
    }
    enet_socket_set_option(finder.socket, ENET_SOCKOPT_RCVBUF, FIND_RECEIVE_BUFFER);
    lobbySocketRefuseLonger(finder.socket, STATUS_ANSWER_MAX);
    for (const FindTarget& target : targets) {
        ENetAddress address{};
        if (enet_address_set_host(&address, target.host.c_str()) != 0) continue;
        address.port = target.port;
        finder.targets.push_back(address);
    }
    finder.nextNonce = std::random_device{}();
    finder.startedAt = now;
    finderSendRound(finder, now);
    return true;
}

void hostFinderPoll(HostFinder& finder, double now)
{
    if (finder.socket == ENET_SOCKET_NULL) return;
    std::uint8_t bytes[ANSWER_BUFFER_BYTES];
    const auto deadline = timerDeadline(FIND_POLL_SECONDS);
    while (Clock::now() < deadline) {
        ENetAddress from{};
        // Fails on a datagram longer than the buffer, which it has read and dropped.
        const int length = lobbySocketReceive(finder.socket, from, bytes);
        if (length == 0) break;
        if (length > 0) hostFinderTake(finder, from, std::span(bytes, std::size_t(length)), now);
    }
    if (finder.roundsSent < FIND_ROUNDS && now - finder.startedAt >= finder.roundsSent * FIND_ROUND_SECONDS)
        finderSendRound(finder, now);
}

bool hostFinderDone(const HostFinder& finder, double now) { return now - finder.startedAt >= FIND_SECONDS; }

void hostFinderFinish(HostFinder& finder)
{
    if (finder.socket == ENET_SOCKET_NULL) return;
    for (double now = timerSeconds(); !hostFinderDone(finder, now); now = timerSeconds()) {
        hostFinderPoll(finder, now);
        const double left = FIND_SECONDS - (now - finder.startedAt);
        pollfd socket{finder.socket, POLLIN, 0};
        poll(&socket, 1, int(std::ceil(std::clamp(left, 0.0, LIST_WAIT_SECONDS) * 1000.0)));
    }
    hostFinderPoll(finder, timerSeconds());
}

void hostFinderClose(HostFinder& finder)
{
    if (finder.socket == ENET_SOCKET_NULL) return;
    enet_socket_destroy(finder.socket);
    finder.socket = ENET_SOCKET_NULL;
    enet_deinitialize();
}

void hostFinderTake(HostFinder& finder, const ENetAddress& from, std::span<const std::uint8_t> datagram,
                    double now)
{
    const std::optional<HostStatus> status = statusAnswerParse(datagram);
    if (!status) return;
    const auto query = std::find_if(finder.sent.begin(), finder.sent.end(),
                                    [&](const SentQuery& sent) { return sent.nonce == status->nonce; });
    if (query == finder.sent.end()) return;
    const FoundHost host{from, *status, (now - query->sentAt) * 1000.0};
    std::vector<FoundHost>& found = finder.found;
    // One entry per address and port. A token heard from another address is one host
    // reached twice, or a forger that copied the token from an answer it saw: neither
    // moves the host listed.
    const auto known = std::find_if(found.begin(), found.end(), [&](const FoundHost& seen) {
        return seen.address.host == from.host && seen.address.port == from.port;
    });
    if (known != found.end()) {
        if (known->roundTripMs <= host.roundTripMs) return;
        found.erase(known);
    } else if (std::any_of(found.begin(), found.end(),
                           [&](const FoundHost& seen) { return seen.status.token == status->token; })) {
        return;
    }
    if (found.size() >= FIND_HOSTS_MAX) return;
    const auto later = std::find_if(found.begin(), found.end(),
                                    [&](const FoundHost& seen) { return seen.roundTripMs > host.roundTripMs; });
    found.insert(later, host);
}

const FoundHost* foundHostPick(std::span<const FoundHost> found)
{
    const auto free = std::find_if(found.begin(), found.end(), [](const FoundHost& host) {
        return !host.status.shipHeld[0] || !host.status.shipHeld[1];
    });
    if (free != found.end()) return &*free;
    return found.empty() ? nullptr : &found.front();
}

std::string findAddressText(const ENetAddress& address) { return dotted(address.host); }

std::string foundHostLine(const FoundHost& host)
{
    const HostStatus& status = host.status;
    char roundTrip[32];
    std::snprintf(roundTrip, sizeof roundTrip, "%.1f ms", host.roundTripMs);
    std::string line = findAddressText(host.address) + ":" + std::to_string(host.address.port) + "  " +
                       std::to_string(status.players) + "/" + std::to_string(status.maxPlayers) + "  " +
                       roundTrip + "  " + tableName(status.shipHeld[0], status.shipName[0]) + " " +
                       tableName(status.shipHeld[1], status.shipName[1]);
    if (status.dedicated) line += "  dedicated";
    return line;
}

int hostListRun(std::span<const FindTarget> targets, std::uint16_t port)
{
    const std::uint16_t ports[] = {LOBBY_PORT, port};
    const std::vector<FindTarget> broadcast = targets.empty() ? findBroadcastTargets(ports) : std::vector<FindTarget>{};
    HostFinder finder;
    if (!hostFinderStart(finder, targets.empty() ? std::span<const FindTarget>(broadcast) : targets, timerSeconds()))
        return 1;
    hostFinderFinish(finder);
    for (const FoundHost& host : finder.found) std::printf("%s\n", foundHostLine(host).c_str());
    std::fflush(stdout);
    const bool any = !finder.found.empty();
    hostFinderClose(finder);
    return any ? 0 : 1;
}

}  // namespace netduel
