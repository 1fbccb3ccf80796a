// Status query: how a host stands (players, ships, version), asked on the game's own UDP
// port without joining, and the per-address limit on answers.
//
// The host answers in ENet's intercept hook, before ENet reads the datagram, so peers that
// know nothing of the query never meet it. Numbers of more than one byte are big-endian.
//
// Query, exactly STATUS_QUERY_BYTES bytes, to the host's game port:
//   0    4  STATUS_QUERY_MAGIC   FF FF 'N' 'Q'
//   4    4  nonce: any value; the answer repeats it
//   8  120  padding: any value (zero as built here); makes the query as long as any answer
//
// Answer, one datagram of at most STATUS_ANSWER_MAX bytes, to the query's source:
//   0    4  STATUS_ANSWER_MAGIC  FF FF 'N' 'A'
//   4    4  nonce of the query
//   8    4  host token: drawn at random when the host starts, so that a lister that
//           reaches one host through two interfaces shows it once
//  12    1  players connected
//  13    1  most players the host takes
//  14    1  flags: STATUS_FLAG_DEDICATED, STATUS_FLAG_SHIP0, STATUS_FLAG_SHIP1 (ship held)
//  15    1  V, length of the version text (at most STATUS_VERSION_CHARS), then V bytes
//   …    1  N0, length of ship 0's holder's name (at most STATUS_NAME_CHARS; 0 when free), N0 bytes
//   …    1  N1, the same for ship 1
// Nothing follows. Flags outside the three, a length over its limit, a field that runs past
// the end or bytes left over make the answer malformed, and it is ignored.
//
// ENet never starts a datagram with FF FF: its connection requests carry peer id 0xFFF
// with session bits 0, and every other datagram a peer id below 0xFFF. A host without the
// hook drops the query too: FF FF sets ENet's compressed flag, and the game's hosts have no
// decompressor.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/rate_limit.h"

namespace netduel {

inline constexpr std::size_t STATUS_MAGIC_BYTES = 4;
inline constexpr std::array<std::uint8_t, STATUS_MAGIC_BYTES> STATUS_QUERY_MAGIC = {0xFF, 0xFF, 'N', 'Q'};
inline constexpr std::array<std::uint8_t, STATUS_MAGIC_BYTES> STATUS_ANSWER_MAGIC = {0xFF, 0xFF, 'N', 'A'};
inline constexpr std::size_t STATUS_QUERY_BYTES = 128;
inline constexpr std::size_t STATUS_VERSION_CHARS = 16;  // "0.1.0" and room for a suffix
inline constexpr std::size_t STATUS_NAME_CHARS = 32;     // the longest chat name
// The fixed fields, three length bytes, the longest version and two longest names.
inline constexpr std::size_t STATUS_ANSWER_MAX = 15 + 3 + STATUS_VERSION_CHARS + 2 * STATUS_NAME_CHARS;
static_assert(STATUS_ANSWER_MAX <= STATUS_QUERY_BYTES, "an answer must never outgrow its query");

inline constexpr std::uint8_t STATUS_FLAG_DEDICATED = 1;
inline constexpr std::uint8_t STATUS_FLAG_SHIP0 = 2;
inline constexpr std::uint8_t STATUS_FLAG_SHIP1 = 4;

// Answers one address gets: a lister asks each host about twice (two rounds, and more when
// the host is on two of its broadcast addresses); four at once and two a second keep a
// script polling once a second served, and a flood of queries from one address cheap.
inline constexpr RateRule STATUS_ADDRESS_RULE{2.0, 4.0, 1};
// Answers from the whole host: spoofed sources each get their own allowance, so this caps
// what the host sends for them all, at under 13 KB/s.
inline constexpr RateRule STATUS_TOTAL_RULE{100.0, 50.0, 1};
// Addresses the limiter remembers; a new one takes the place of the one heard longest ago.
inline constexpr std::size_t STATUS_LIMITER_ADDRESSES = 64;

using StatusQuery = std::array<std::uint8_t, STATUS_QUERY_BYTES>;

// What an answer tells.
struct HostStatus {
    std::uint32_t nonce = 0;
    std::uint32_t token = 0;
    std::uint8_t players = 0;
    std::uint8_t maxPlayers = 0;
    bool dedicated = false;
    std::string version;
    std::array<bool, 2> shipHeld = {};
    std::array<std::string, 2> shipName;  // empty for a free ship (and for an empty name)
};

struct StatusAddressAllowance {
    std::uint32_t address = 0;  // IPv4 as ENet holds it; 0 with `lastHeard` 0: unused
    double lastHeard = 0.0;     // program-clock seconds
    RateLimiter allowance;
};

// Who has been answered lately: one allowance per source address and one for them all.
struct StatusLimiter {
    std::array<StatusAddressAllowance, STATUS_LIMITER_ADDRESSES> addresses = {};
    RateLimiter total;
    bool started = false;  // `total` is set up on the first query
};

// The query carrying `nonce`, padded to STATUS_QUERY_BYTES. Never fails.
StatusQuery statusQueryBuild(std::uint32_t nonce);

// The nonce of a well-formed query; nothing for any other datagram.
std::optional<std::uint32_t> statusQueryParse(std::span<const std::uint8_t> datagram);

// The answer for `status`: the version cut to STATUS_VERSION_CHARS, names to STATUS_NAME_CHARS,
// a free ship's name left out. Never longer than STATUS_ANSWER_MAX; never fails.
std::vector<std::uint8_t> statusAnswerBuild(const HostStatus& status);

// What a well-formed answer tells; nothing for a malformed or foreign datagram.
std::optional<HostStatus> statusAnswerParse(std::span<const std::uint8_t> datagram);

// The answer to `datagram` when it is a query, else nothing: `status` with the query's
// nonce. Never longer than `datagram`.
std::optional<std::vector<std::uint8_t>> statusAnswerFor(std::span<const std::uint8_t> datagram,
                                                         HostStatus status);

// Spends one answer to `address` at `now`: true when both its allowance and the host's
// total allow it. Never fails.
bool statusLimiterAllow(StatusLimiter& limiter, std::uint32_t address, double now);

}  // namespace netduel
