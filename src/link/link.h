// Link emulator: a user-space UDP proxy between clients and a host that gives each direction
// a one-way delay, jitter, loss and duplication, in order or not, drawn from a seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace netduel {

inline constexpr std::size_t LINK_DATAGRAM_MAX = 65536;  // bytes: any UDP payload is read whole
// Datagrams in flight at once; more are dropped, so that a flood cannot grow memory
// without bound (a second of an 8 MB/s stream of snapshots fits).
inline constexpr std::size_t LINK_QUEUE_MAX = 16384;
// Client addresses served at once, each with its own socket towards the host (the host
// sees one address per client, as through a NAT); a further client is not served.
inline constexpr int LINK_SESSIONS_MAX = 64;
inline constexpr double LINK_SESSION_IDLE = 60.0;  // s: a client silent this long is forgotten
// s: the longest the worker sleeps with nothing due, so that a stop is seen at once.
inline constexpr double LINK_POLL_MAX = 0.01;
inline constexpr int LINK_READ_BURST = 256;  // datagrams read from one socket per wake-up

// What one direction does to every datagram.
struct LinkImpairment {
    double delay = 0.0;      // s, one way
    double jitter = 0.0;     // s: each copy's delay is uniform in delay ± jitter (never < 0)
    double loss = 0.0;       // probability that a datagram is dropped
    double duplicate = 0.0;  // probability that a datagram that is not dropped arrives twice
    bool keepOrder = true;   // false: a datagram may overtake an earlier one
};

// Named links, the same each way: from loopback to a bad mobile connection.
struct LinkProfile {
    std::string_view name;
    LinkImpairment impairment;
};
inline constexpr LinkProfile LINK_PROFILES[] = {
    {"lan", {}},
    {"good", {0.025, 0.005, 0.005, 0.0, true}},
    {"poor", {0.060, 0.020, 0.03, 0.0, true}},
    {"awful", {0.120, 0.040, 0.08, 0.0, true}},
};

enum LinkDirection { LINK_TO_HOST = 0, LINK_TO_CLIENT = 1 };

struct LinkCounts {
    std::uint64_t sent = 0;        // datagrams that entered the link
    std::uint64_t dropped = 0;     // lost on purpose, or past LINK_QUEUE_MAX / LINK_SESSIONS_MAX
    std::uint64_t duplicated = 0;  // extra copies made
    std::uint64_t delivered = 0;   // copies handed to the far side's socket
};

// One datagram's fate: no copy (lost), one, or two, each with its due time (s).
struct LinkFate {
    int copies = 0;
    double due[2] = {};
};

struct LinkConfig {
    std::string listenAddress = "127.0.0.1";  // IPv4 name or address where clients send
    std::uint16_t listenPort = 0;             // 0: a free port, see linkPort
    std::string hostAddress = "127.0.0.1";    // where the host listens
    std::uint16_t hostPort = 0;
    LinkImpairment impairment[2];             // indexed by LinkDirection
    std::uint64_t seed = 1;
};

struct LinkWorker;  // the thread with its sockets, sessions and delivery queue

struct Link {
    LinkWorker* worker = nullptr;
};

// The named profile's impairment into `out`; false and `out` untouched for an unknown name.
bool linkProfileFind(std::string_view name, LinkImpairment& out);

// The fate of a datagram that enters a direction at `now` (s), drawn from `random`;
// `lastDue` is the latest due time given in this direction so far, which a kept order
// never undercuts, and it is advanced. Depends on nothing else.
LinkFate linkFate(const LinkImpairment& impairment, std::mt19937_64& random, double now,
                  double& lastDue);

// Binds the listening socket and starts the worker thread. False, with a status line, when
// an address does not resolve, the socket cannot be bound or the thread cannot start; the
// link is then stopped.
bool linkStart(Link& link, const LinkConfig& config);

// The port the link listens on (the one chosen when the config asked for 0); 0 when stopped.
std::uint16_t linkPort(const Link& link);

// The counts of one direction so far; safe while the link runs; zero when stopped.
LinkCounts linkCounts(const Link& link, LinkDirection direction);

// Stops the thread, drops what is still in flight and closes every socket; the counts are
// gone afterwards, so read them first. Safe in any state, also twice.
void linkStop(Link& link);

}  // namespace netduel
