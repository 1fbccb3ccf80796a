// Finding hosts: status queries sent to given addresses or broadcast on the LAN, the
// answers gathered one per host in order of round trip, and the table `--list` prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <enet/enet.h>

#include "lobby/status_query.h"

namespace netduel {

// How long a search listens, seconds: a LAN answers within milliseconds and a host across
// the internet within a few hundred; a person waits a second without minding.
inline constexpr double FIND_SECONDS = 1.0;
// Rounds of queries a search sends: a second one makes up for a lost query or answer.
inline constexpr int FIND_ROUNDS = 2;
// Most answers a search keeps: far more hosts than any LAN holds.
inline constexpr std::size_t FIND_HOSTS_MAX = 256;

// A host to ask: a name or an IPv4 address (a broadcast address too) and a port.
struct FindTarget {
    std::string host;
    std::uint16_t port = 0;
};

// A host that answered.
struct FoundHost {
    ENetAddress address{};  // where the answer came from: where to join
    HostStatus status;
    double roundTripMs = 0.0;
};

struct SentQuery {
    std::uint32_t nonce = 0;
    double sentAt = 0.0;  // program-clock seconds
};

// One search: its socket, the queries out and the hosts heard so far.
struct HostFinder {
    ENetSocket socket = ENET_SOCKET_NULL;
    std::vector<ENetAddress> targets;
    std::vector<SentQuery> sent;
    std::vector<FoundHost> found;  // one per address and port and per token, by round trip
    double startedAt = 0.0;
    int roundsSent = 0;
    std::uint32_t nextNonce = 0;
};

// The LAN's broadcast targets at each of `ports`: every IPv4 interface's broadcast address
// (for the loopback network, its top address), then 255.255.255.255; a port given twice
// counts once. Interfaces that cannot be listed leave 255.255.255.255 alone.
std::vector<FindTarget> findBroadcastTargets(std::span<const std::uint16_t> ports);

// Opens the search's socket (broadcast allowed) and sends the first round of queries to
// every target that resolves; sends that fail (no route) are skipped. False, with a
// status line, when no socket can be made.
bool hostFinderStart(HostFinder& finder, std::span<const FindTarget> targets, double now);

// Reads every answer waiting, for at most 4 ms (datagrams that are no answer,
// of any size, are read and dropped), and sends the next round when it is due. Does
// nothing on a finder that is not started.
void hostFinderPoll(HostFinder& finder, double now);

// True once FIND_SECONDS have passed since the start.
bool hostFinderDone(const HostFinder& finder, double now);

// Polls the search until it is done, waiting on its socket in between, so that answers
// are read as they come: what --list does. Does nothing on a finder that is not started.
void hostFinderFinish(HostFinder& finder);

// Closes the socket; safe on a finder in any state.
void hostFinderClose(HostFinder& finder);

// Adds what `datagram` from `from` answers: an answer to one of `finder.sent` from an
// address and port not heard yet, or heard at a longer round trip. Others are ignored,
// and so is an answer carrying the token of a host listed at another address.
void hostFinderTake(HostFinder& finder, const ENetAddress& from,
                    std::span<const std::uint8_t> datagram, double now);

// The host to join: the first (quickest) with a ship free, else the first; null for none.
const FoundHost* foundHostPick(std::span<const FoundHost> found);

// "ADDRESS:PORT  PLAYERS/MAX  RTT ms  SHIP0 SHIP1[  dedicated]": a free ship shows as "-",
// names escaped (controls, blanks, quotes and backslashes as \xNN) so that none breaks the
// table.
std::string foundHostLine(const FoundHost& host);

// The dotted IPv4 text of `address`.
std::string findAddressText(const ENetAddress& address);

// The whole of --list: asks `targets` (none: the LAN's broadcast targets at 42069 and
// `port`), prints one line per host on standard output, and returns 0 when a host
// answered, 1 when none did.
int hostListRun(std::span<const FindTarget> targets, std::uint16_t port);

}  // namespace netduel
