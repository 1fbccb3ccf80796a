// Internet list of hosts: the table, its bounds and the HTTP requests it answers, all
// pure (the clock and each fresh nonce are arguments); list_server.h does the I/O.
//
// POST /hosts  body {"port": N} or {"port": N, "name": NAME}: the sender's address and
//              port N are asked with the game's status query (one query, a fresh nonce);
//              the host is listed once the answer comes from that very address and port.
//              202 "checking", 200 "listed" (check still fresh: no query), 4xx one line.
// GET /hosts   a JSON array, one object per listed host:
//              {"address","port","name","players","maxPlayers","freeShips","ships":[NAME|null,
//               NAME|null],"dedicated","version","lastSeen" (seconds ago),"roundTripMs"}
// GET /        the same as one HTML page, without scripts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/rate_limit.h"
#include "lobby/status_query.h"

namespace netduel {

inline constexpr std::uint16_t HOSTLIST_PORT = 42080;  // TCP
inline constexpr double HOSTLIST_REGISTER_SECONDS = 15.0;  // a host's registrations
inline constexpr double HOSTLIST_LAPSE_SECONDS = 40.0;     // after the last answered one
// A host checked this recently is not asked again: a registration that only says the
// ships changed costs no query when it follows close on the last.
inline constexpr double HOSTLIST_CHECK_FRESH_SECONDS = 5.0;
// How long a status query waits for its answer: a host across the world answers in well
// under a second.
inline constexpr double HOSTLIST_CHECK_SECONDS = 2.0;
// A request as it came, line, headers and body; far above what a browser or our host sends.
inline constexpr std::size_t HOSTLIST_REQUEST_MAX = 4096;
inline constexpr std::size_t HOSTLIST_BODY_MAX = 256;
inline constexpr std::size_t HOSTLIST_HOSTS_MAX = 16384;       // listed and being checked
inline constexpr std::size_t HOSTLIST_PORTS_PER_ADDRESS = 16;  // a fleet on one machine
inline constexpr std::size_t HOSTLIST_ADDRESSES_MAX = 65536;   // senders remembered
// Requests from one address: a host registers every 15 s, a person reloads the page now
// and then, a script reads the list once a second.
inline constexpr RateRule HOSTLIST_ADDRESS_RULE{2.0, 10.0, 1};

// A host on the list.
struct ListedHost {
    std::uint32_t address = 0;  // IPv4 as ENet holds it (network order)
    std::uint16_t port = 0;     // its game port
    std::string name;           // as registered; empty: none
    HostStatus status;          // its last answer
    double answeredAt = 0.0;    // s, program clock: the last answered registration
    double checkedAt = 0.0;     // s: the last query sent to it
    double roundTripMs = 0.0;   // the list's own round trip to it
};

// A status query out, waiting for its answer.
struct PendingCheck {
    std::uint32_t nonce = 0;
    double sentAt = 0.0;
    std::string name;
};

struct ListSender {
    RateLimiter allowance;
    double lastHeard = 0.0;
};

// What a list server knows. Hosts and checks are keyed by hostListKey.
struct HostList {
    std::map<std::uint64_t, ListedHost> hosts;
    std::map<std::uint64_t, PendingCheck> pending;
    std::unordered_map<std::uint32_t, ListSender> senders;
    double sendersSweptAt = -1.0;
    double expiredAt = -1.0;
    std::uint64_t generation = 0;  // bumped whenever what is listed changes
    // The last pages rendered, for the generation and whole second they show.
    std::string json, html;
    std::uint64_t jsonGeneration = ~0ull, htmlGeneration = ~0ull;
    double jsonSecond = -1.0, htmlSecond = -1.0;
};

// One request as the HTTP layer read it.
struct HostListRequest {
    std::string_view method;
    std::string_view path;  // without the query string
    std::string_view body;
    std::uint32_t from = 0;  // sender's IPv4 address, network order
    std::size_t bytes = 0;   // the whole request as it came
};

// A status query to send, from the list's UDP socket.
struct StatusCheck {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    StatusQuery query{};
};

struct HostListReply {
    int status = 200;
    std::string_view contentType = "text/plain; charset=utf-8";
    std::string body;                  // one line for anything but the two lists
    std::optional<StatusCheck> check;  // at most one per request
};

// The key of `address` and `port`: hosts of one address sort together.
std::uint64_t hostListKey(std::uint32_t address, std::uint16_t port);

// Answers `request` at `now`; a check it asks for carries `nonce`, which the caller draws
// fresh and unpredictable for every request. Never fails.
HostListReply hostListHandle(HostList& list, const HostListRequest& request, double now, std::uint32_t nonce);

// A datagram from `address`:`port` to the list's socket: lists the host when it answers
// that host's pending check in time. True when it did.
bool hostListAnswer(HostList& list, std::uint32_t address, std::uint16_t port,
                    std::span<const std::uint8_t> datagram, double now);

// Lapses hosts and checks that are past their time; cheap to call often.
void hostListExpire(HostList& list, double now);

// The two lists as GET /hosts and GET / serve them (cached per generation and second).
const std::string& hostListJson(HostList& list, double now);
const std::string& hostListHtml(HostList& list, double now);

// `text` safe inside HTML: & < > " ' as entities, after statusEscape's escapes, so that
// no byte of a name reaches the page as markup or as a control.
std::string hostListHtmlEscape(std::string_view text);

}  // namespace netduel
