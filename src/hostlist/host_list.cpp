// The list's table and its answers to requests.
#include "host_list.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include <nlohmann/json.hpp>

#include "base/status.h"
#include "find/host_finder.h"
#include "lobby/lobby_protocol.h"

namespace netduel {

namespace {

using Json = nlohmann::json;

// A sender idle this long has its whole allowance back: forgetting it loses nothing.
constexpr double SENDER_IDLE_SECONDS = HOSTLIST_ADDRESS_RULE.burst / HOSTLIST_ADDRESS_RULE.perSecond;
// Lapsing and forgetting run at most this often, seconds.
constexpr double EXPIRE_SECONDS = 1.0;
constexpr std::string_view JSON_TYPE = "application/json";
constexpr std::string_view HTML_TYPE = "text/html; charset=utf-8";

std::string dotted(std::uint32_t networkOrder) { return findAddressText(ENetAddress{networkOrder, 0}); }

std::string hostLabel(std::uint32_t address, std::uint16_t port)
{
    return dotted(address) + ":" + std::to_string(port);
}

HostListReply line(int status, std::string text)
{
    HostListReply reply;
    reply.status = status;
    reply.body = std::move(text) + "\n";
    return reply;
}

// Keys of one address: [first, last).
template <typename Map>
std::size_t atAddress(const Map& map, std::uint32_t address)
{
    const std::uint64_t first = hostListKey(address, 0);
    return std::size_t(std::distance(map.lower_bound(first), map.lower_bound(first + 0x10000)));
}

// Spends one request of `from`'s allowance; false when it is spent or no room is left
// to remember a new sender.
bool senderAllow(HostList& list, std::uint32_t from, double now)
{
    auto sender = list.senders.find(from);
    if (sender == list.senders.end()) {
        if (list.senders.size() >= HOSTLIST_ADDRESSES_MAX && now - list.sendersSweptAt >= EXPIRE_SECONDS) {
            list.sendersSweptAt = now;
            std::erase_if(list.senders, [&](const auto& entry) {
                return now - entry.second.lastHeard >= SENDER_IDLE_SECONDS;
            });
        }
        if (list.senders.size() >= HOSTLIST_ADDRESSES_MAX) return false;
        sender = list.senders.emplace(from, ListSender{}).first;
        rateLimiterReset(sender->second.allowance, HOSTLIST_ADDRESS_RULE, now);
    }
    sender->second.lastHeard = now;
    return rateLimiterTake(sender->second.allowance, HOSTLIST_ADDRESS_RULE, now);
}

struct Registration {
    std::uint16_t port = 0;
    std::string name;
};

// {"port": 1…65535} with an optional "name" of chat-name bytes; nothing else.
std::optional<Registration> registrationParse(std::string_view body)
{
    const Json json = Json::parse(body.begin(), body.end(), nullptr, false);
    if (!json.is_object() || json.size() > 2) return std::nullopt;
    const auto port = json.find("port");
    if (port == json.end() || !port->is_number_unsigned()) return std::nullopt;
    const auto number = port->get<std::uint64_t>();
    if (number < 1 || number > 65535) return std::nullopt;
    Registration registration{std::uint16_t(number), {}};
    const auto name = json.find("name");
    if (name != json.end()) {
        if (!name->is_string()) return std::nullopt;
        registration.name = name->get<std::string>();
        if (registration.name.size() > STATUS_NAME_CHARS || !chatNameBytesAllowed(registration.name))
            return std::nullopt;
    } else if (json.size() != 1) {
        return std::nullopt;
    }
    return registration;
}

HostListReply hostListRegister(HostList& list, const HostListRequest& request, double now, std::uint32_t nonce)
{
    // The query is never longer than what asked for it: the list amplifies nothing.
    if (request.bytes < STATUS_QUERY_BYTES)
        return line(400, "a registration must be at least " + std::to_string(STATUS_QUERY_BYTES) + " bytes");
    const std::optional<Registration> registration = registrationParse(request.body);
    if (!registration) return line(400, "the body must be {\"port\": 1-65535} with an optional \"name\"");
    const std::uint64_t key = hostListKey(request.from, registration->port);
    const std::string label = hostLabel(request.from, registration->port);
    const auto listed = list.hosts.find(key);
    if (listed != list.hosts.end() && now - listed->second.checkedAt < HOSTLIST_CHECK_FRESH_SECONDS)
        return line(200, "listed " + label);
    if (list.pending.count(key)) return line(202, "checking " + label);
    if (listed == list.hosts.end()) {
        if (atAddress(list.hosts, request.from) + atAddress(list.pending, request.from) >= HOSTLIST_PORTS_PER_ADDRESS)
            return line(429, "too many hosts at this address");
        if (list.hosts.size() + list.pending.size() >= HOSTLIST_HOSTS_MAX) return line(503, "the list is full");
    } else {
        listed->second.checkedAt = now;
    }
    list.pending[key] = PendingCheck{nonce, now, registration->name};
    HostListReply reply = line(202, "checking " + label);
    reply.check = StatusCheck{request.from, registration->port, statusQueryBuild(nonce)};
    return reply;
}

int freeShips(const HostStatus& status) { return int(!status.shipHeld[0]) + int(!status.shipHeld[1]); }

// Seconds since `at`, whole, as the lists show them.
long secondsAgo(double at, double now) { return std::lround(std::max(0.0, std::floor(now) - std::floor(at))); }

std::string renderJson(const HostList& list, double now)
{
    Json hosts = Json::array();
    for (const auto& [key, host] : list.hosts) {
        const HostStatus& status = host.status;
        Json ships = Json::array();
        for (int ship = 0; ship < 2; ++ship) {
            if (status.shipHeld[ship]) ships.push_back(status.shipName[ship]);
            else ships.push_back(nullptr);
        }
        hosts.push_back({{"address", dotted(host.address)},
                         {"port", host.port},
                         {"name", host.name},
                         {"players", status.players},
                         {"maxPlayers", status.maxPlayers},
                         {"freeShips", freeShips(status)},
                         {"ships", std::move(ships)},
                         {"dedicated", status.dedicated},
                         {"version", status.version},
                         {"lastSeen", secondsAgo(host.answeredAt, now)},
                         {"roundTripMs", std::round(host.roundTripMs * 10.0) / 10.0}});
    }
    // A host's answer may hold any bytes: those that are no UTF-8 become U+FFFD.
    return hosts.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string shipCell(const HostStatus& status, int ship)
{
    if (!status.shipHeld[ship]) return "free";
    return status.shipName[ship].empty() ? "(no name)" : hostListHtmlEscape(status.shipName[ship]);
}

std::string renderHtml(const HostList& list, double now)
{
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>netduel hosts</title>\n"
        "<style>body{font-family:sans-serif}td,th{padding:0 1em;text-align:left}</style></head>\n"
        "<body><h1>netduel hosts</h1>\n<p>" +
        std::to_string(list.hosts.size()) + (list.hosts.size() == 1 ? " host" : " hosts") +
        " listed. Join one with: netduel --join ADDRESS:PORT</p>\n<table>\n"
        "<tr><th>Address</th><th>Name</th><th>Players</th><th>Free ships</th><th>Ship 0</th>"
        "<th>Ship 1</th><th>Seen</th></tr>\n";
    for (const auto& [key, host] : list.hosts) {
        const HostStatus& status = host.status;
        page += "<tr><td>" + hostLabel(host.address, host.port) + "</td><td>" + hostListHtmlEscape(host.name) +
                "</td><td>" + std::to_string(status.players) + "/" + std::to_string(status.maxPlayers) +
                "</td><td>" + std::to_string(freeShips(status)) + "</td><td>" + shipCell(status, 0) +
                "</td><td>" + shipCell(status, 1) + "</td><td>" + std::to_string(secondsAgo(host.answeredAt, now)) +
                " s ago</td></tr>\n";
    }
    return page + "</table>\n</body></html>\n";
}

// The cached page for this generation and second, rendered again when either moved on.
const std::string& cached(std::string& page, std::uint64_t& generation, double& second, const HostList& list,
                          double now, std::string (*render)(const HostList&, double))
{
    if (generation != list.generation || second != std::floor(now)) {
        page = render(list, now);
        generation = list.generation;
        second = std::floor(now);
    }
    return page;
}

}  // namespace

std::uint64_t hostListKey(std::uint32_t address, std::uint16_t port)
{
    return (std::uint64_t(ntohl(address)) << 16) | port;
}

HostListReply hostListHandle(HostList& list, const HostListRequest& request, double now, std::uint32_t nonce)
{
    hostListExpire(list, now);
    if (!senderAllow(list, request.from, now)) return line(429, "too many requests from this address");
    if (request.bytes > HOSTLIST_REQUEST_MAX || request.body.size() > HOSTLIST_BODY_MAX)
        return line(413, "the request is too large");
    const bool hosts = request.path == "/hosts";
    if (!hosts && request.path != "/") return line(404, "no such page: try / or /hosts");
    if (request.method == "GET") {
        HostListReply reply;
        reply.contentType = hosts ? JSON_TYPE : HTML_TYPE;
        reply.body = hosts ? hostListJson(list, now) : hostListHtml(list, now);
        return reply;
    }
    if (hosts && request.method == "POST") return hostListRegister(list, request, now, nonce);
    return line(405, hosts ? "/hosts takes GET or POST" : "/ takes GET");
}

bool hostListAnswer(HostList& list, std::uint32_t address, std::uint16_t port,
                    std::span<const std::uint8_t> datagram, double now)
{
    const auto pending = list.pending.find(hostListKey(address, port));
    if (pending == list.pending.end()) return false;
    const std::optional<HostStatus> status = statusAnswerParse(datagram);
    if (!status || status->nonce != pending->second.nonce || now - pending->second.sentAt > HOSTLIST_CHECK_SECONDS)
        return false;
    ListedHost& host = list.hosts[pending->first];
    host.address = address;
    host.port = port;
    host.name = std::move(pending->second.name);
    host.status = *status;
    host.answeredAt = now;
    host.checkedAt = pending->second.sentAt;
    host.roundTripMs = (now - pending->second.sentAt) * 1000.0;
    list.pending.erase(pending);
    ++list.generation;
    return true;
}

void hostListExpire(HostList& list, double now)
{
    if (now - list.expiredAt < EXPIRE_SECONDS && now >= list.expiredAt) return;
    list.expiredAt = now;
    if (std::erase_if(list.hosts, [&](const auto& entry) {
            return now - entry.second.answeredAt > HOSTLIST_LAPSE_SECONDS;
        }) > 0)
        ++list.generation;
    std::erase_if(list.pending, [&](const auto& entry) { return now - entry.second.sentAt > HOSTLIST_CHECK_SECONDS; });
}

const std::string& hostListJson(HostList& list, double now)
{
    return cached(list.json, list.jsonGeneration, list.jsonSecond, list, now, renderJson);
}

const std::string& hostListHtml(HostList& list, double now)
{
    return cached(list.html, list.htmlGeneration, list.htmlSecond, list, now, renderHtml);
}

std::string hostListHtmlEscape(std::string_view text)
{
    std::string escaped;
    for (const char byte : statusEscape(text)) {
        switch (byte) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += byte;
        }
    }
    return escaped;
}

}  // namespace netduel
