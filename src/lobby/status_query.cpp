// Status query: the query and answer as bytes, and the answer limiter.
#include "status_query.h"

#include <algorithm>

namespace netduel {

namespace {

constexpr std::uint8_t STATUS_FLAGS_KNOWN = STATUS_FLAG_DEDICATED | STATUS_FLAG_SHIP0 | STATUS_FLAG_SHIP1;

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(value >> shift));
}

void putText(std::vector<std::uint8_t>& out, std::string_view text, std::size_t limit)
{
    const std::string_view kept = text.substr(0, limit);
    out.push_back(std::uint8_t(kept.size()));
    out.insert(out.end(), kept.begin(), kept.end());
}

// Reads fields front to back; any read past the end leaves it failed for good.
struct Reader {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    bool failed = false;

    std::span<const std::uint8_t> take(std::size_t count)
    {
        if (failed || count > bytes.size() - at) {
            failed = true;
            return {};
        }
        at += count;
        return bytes.subspan(at - count, count);
    }
    std::uint8_t byte()
    {
        const auto one = take(1);
        return one.empty() ? 0 : one[0];
    }
    std::uint32_t word()
    {
        std::uint32_t value = 0;
        for (const std::uint8_t b : take(4)) value = value << 8 | b;
        return value;
    }
    std::string text(std::size_t limit)
    {
        const std::size_t length = byte();
        if (length > limit) failed = true;
        const auto run = take(length);
        return std::string(run.begin(), run.end());
    }
};

bool magicAt(std::span<const std::uint8_t> datagram,
             const std::array<std::uint8_t, STATUS_MAGIC_BYTES>& magic)
{
    return datagram.size() >= magic.size() && std::equal(magic.begin(), magic.end(), datagram.begin());
}

}  // namespace

StatusQuery statusQueryBuild(std::uint32_t nonce)
{
    StatusQuery query{};
    std::copy(STATUS_QUERY_MAGIC.begin(), STATUS_QUERY_MAGIC.end(), query.begin());
    for (int i = 0; i < 4; ++i) query[STATUS_MAGIC_BYTES + i] = std::uint8_t(nonce >> (24 - 8 * i));
    return query;
}

std::optional<std::uint32_t> statusQueryParse(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() != STATUS_QUERY_BYTES || !magicAt(datagram, STATUS_QUERY_MAGIC))
        return std::nullopt;
    Reader reader{datagram, STATUS_MAGIC_BYTES};
    return reader.word();
}

std::vector<std::uint8_t> statusAnswerBuild(const HostStatus& status)
{
    std::vector<std::uint8_t> out(STATUS_ANSWER_MAGIC.begin(), STATUS_ANSWER_MAGIC.end());
    putWord(out, status.nonce);
    putWord(out, status.token);
    out.push_back(status.players);
    out.push_back(status.maxPlayers);
    out.push_back(std::uint8_t((status.dedicated ? STATUS_FLAG_DEDICATED : 0) |
                               (status.shipHeld[0] ? STATUS_FLAG_SHIP0 : 0) |
                               (status.shipHeld[1] ? STATUS_FLAG_SHIP1 : 0)));
    putText(out, status.version, STATUS_VERSION_CHARS);
    for (int ship = 0; ship < 2; ++ship)
        putText(out, status.shipHeld[ship] ? std::string_view(status.shipName[ship]) : "", STATUS_NAME_CHARS);
    return out;
}

std::optional<HostStatus> statusAnswerParse(std::span<const std::uint8_t> datagram)
{
    if (!magicAt(datagram, STATUS_ANSWER_MAGIC)) return std::nullopt;
    Reader reader{datagram, STATUS_MAGIC_BYTES};
    HostStatus status;
    status.nonce = reader.word();
    status.token = reader.word();
    status.players = reader.byte();
    status.maxPlayers = reader.byte();
    const std::uint8_t flags = reader.byte();
    status.dedicated = (flags & STATUS_FLAG_DEDICATED) != 0;
    status.shipHeld = {(flags & STATUS_FLAG_SHIP0) != 0, (flags & STATUS_FLAG_SHIP1) != 0};
    status.version = reader.text(STATUS_VERSION_CHARS);
    for (std::string& name : status.shipName) name = reader.text(STATUS_NAME_CHARS);
    const bool freeNamed = (!status.shipHeld[0] && !status.shipName[0].empty()) ||
                           (!status.shipHeld[1] && !status.shipName[1].empty());
    if (reader.failed || reader.at != datagram.size() || (flags & ~STATUS_FLAGS_KNOWN) != 0 || freeNamed)
        return std::nullopt;
    return status;
}

std::optional<std::vector<std::uint8_t>> statusAnswerFor(std::span<const std::uint8_t> datagram,
                                                         HostStatus status)
{
    const std::optional<std::uint32_t> nonce = statusQueryParse(datagram);
    if (!nonce) return std::nullopt;
    status.nonce = *nonce;
    return statusAnswerBuild(status);
}

bool statusLimiterAllow(StatusLimiter& limiter, std::uint32_t address, double now)
{
    if (!limiter.started) {
        rateLimiterReset(limiter.total, STATUS_TOTAL_RULE, now);
        limiter.started = true;
    }
    auto known = std::find_if(limiter.addresses.begin(), limiter.addresses.end(),
                              [&](const StatusAddressAllowance& entry) {
                                  return entry.address == address && entry.lastHeard != 0.0;
                              });
    if (known == limiter.addresses.end()) {
        known = std::min_element(limiter.addresses.begin(), limiter.addresses.end(),
                                 [](const StatusAddressAllowance& a, const StatusAddressAllowance& b) {
                                     return a.lastHeard < b.lastHeard;
                                 });
        known->address = address;
        rateLimiterReset(known->allowance, STATUS_ADDRESS_RULE, now);
    }
    // Heard is never 0 once set, so that a slot in use is never taken for an unused one.
    known->lastHeard = std::max(now, 1e-9);
    return rateLimiterTake(known->allowance, STATUS_ADDRESS_RULE, now) &&
           rateLimiterTake(limiter.total, STATUS_TOTAL_RULE, now);
}

}  // namespace netduel
