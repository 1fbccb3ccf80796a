// A list server's clients: --list/--find --internet and a host's registrations.
#include "list_client.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "base/status.h"
#include "lobby/lobby.h"
#include "lobby/lobby_protocol.h"

namespace netduel {

namespace {

using Json = nlohmann::json;

constexpr std::string_view SCHEME = "http://";
constexpr char USER_AGENT[] = "netduel/" NETDUEL_VERSION;
constexpr std::size_t REGISTER_REPLY_MAX = 512;  // bytes of the list's answer to a registration

httplib::Client listConnect(const ListUrl& url)
{
    httplib::Client client(url.host, url.port);
    client.set_connection_timeout(LIST_CLIENT_SECONDS);
    client.set_read_timeout(LIST_CLIENT_SECONDS);
    client.set_write_timeout(LIST_CLIENT_SECONDS);
    client.set_default_headers({{"User-Agent", USER_AGENT}});
    return client;
}

std::string urlText(const ListUrl& url)
{
    return std::string(SCHEME) + url.host + ":" + std::to_string(url.port) + url.path;
}

// The first line of a reply, safe for a terminal and short.
std::string replyLine(std::string_view body)
{
    constexpr std::size_t MOST = 120;
    return statusEscape(body.substr(0, std::min(body.find('\n'), MOST)));
}

// One registration, on the worker: true when the list took it (2xx).
bool registerOnce(const ListUrl& url, std::uint16_t port, const std::string& name, std::string& answer)
{
    Json body = {{"port", port}};
    if (!name.empty()) body["name"] = name;
    httplib::Client client = listConnect(url);
    httplib::Request request;
    request.method = "POST";
    request.path = url.path + "hosts";
    request.body = body.dump();
    request.set_header("Content-Type", "application/json");
    // The list's line, and no more of whatever it sends.
    std::string reply;
    request.content_receiver = [&](const char* data, std::size_t length, std::uint64_t, std::uint64_t) {
        reply.append(data, std::min(length, REGISTER_REPLY_MAX - std::min(reply.size(), REGISTER_REPLY_MAX)));
        return reply.size() < REGISTER_REPLY_MAX;
    };
    const httplib::Result result = client.send(request);
    if (!result) {
        answer = httplib::to_string(result.error());
        return false;
    }
    answer = replyLine(reply);
    if (answer.empty()) answer = "status " + std::to_string(result->status);
    return result->status >= 200 && result->status < 300;
}

void registrarWork(HostRegistrar& registrar)
{
    std::unique_lock guard(registrar.lock);
    for (;;) {
        registrar.wake.wait(guard, [&] { return registrar.stop || registrar.requested; });
        if (registrar.stop) return;
        registrar.requested = false;
        const ListUrl url = registrar.url;
        const std::uint16_t port = registrar.port;
        const std::string name = registrar.name;
        guard.unlock();
        std::string answer;
        const bool reached = registerOnce(url, port, name, answer);
        guard.lock();
        registrar.reached = reached;
        registrar.answer = std::move(answer);
        registrar.finished = true;
    }
}

}  // namespace

std::optional<ListUrl> listUrlParse(std::string_view url)
{
    if (url.substr(0, SCHEME.size()) != SCHEME) return std::nullopt;
    url.remove_prefix(SCHEME.size());
    ListUrl parsed;
    const std::size_t slash = url.find('/');
    std::string_view authority = url.substr(0, slash);
    if (slash != std::string_view::npos) parsed.path = std::string(url.substr(slash));
    if (parsed.path.back() != '/') parsed.path += '/';
    const std::size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        unsigned port = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || port < 1 || port > 65535)
            return std::nullopt;
        parsed.port = std::uint16_t(port);
        authority = authority.substr(0, colon);
    }
    if (authority.empty() || authority.find_first_of("@?#[] ") != std::string_view::npos) return std::nullopt;
    if (parsed.path.find_first_of("?# ") != std::string::npos) return std::nullopt;
    parsed.host = authority;
    return parsed;
}

std::optional<std::vector<FindTarget>> listTargetsParse(std::string_view body)
{
    const Json json = Json::parse(body.begin(), body.end(), nullptr, false);
    if (!json.is_array()) return std::nullopt;
    std::vector<FindTarget> targets;
    for (const Json& host : json) {
        if (targets.size() >= FIND_HOSTS_MAX) break;
        if (!host.is_object()) continue;
        const auto address = host.find("address");
        const auto port = host.find("port");
        if (address == host.end() || !address->is_string() || port == host.end() || !port->is_number_unsigned())
            continue;
        const std::string text = address->get<std::string>();
        const auto number = port->get<std::uint64_t>();
        in_addr parsed{};
        if (inet_pton(AF_INET, text.c_str(), &parsed) != 1 || number < 1 || number > 65535) continue;
        targets.push_back({text, std::uint16_t(number)});
    }
    return targets;
}

std::optional<std::vector<FindTarget>> listFetchTargets(const ListUrl& url)
{
    httplib::Client client = listConnect(url);
    std::string body;
    const httplib::Result result = client.Get((url.path + "hosts").c_str(), [&](const char* data, std::size_t length) {
        body.append(data, std::min(length, LIST_REPLY_MAX + 1 - body.size()));
        return body.size() <= LIST_REPLY_MAX;
    });
    std::string problem;
    if (!result) problem = httplib::to_string(result.error());
    else if (result->status != 200) problem = "status " + std::to_string(result->status);
    std::optional<std::vector<FindTarget>> targets;
    if (problem.empty() && !(targets = listTargetsParse(body))) problem = "not a list of hosts";
    if (!problem.empty()) {
        statusWrite("Could not read the list at " + urlText(url) + ": " + problem, true);
        return std::nullopt;
    }
    return targets;
}

int internetListRun(const ListUrl& url)
{
    const std::optional<std::vector<FindTarget>> targets = listFetchTargets(url);
    if (!targets || targets->empty()) return 1;
    return hostListRun(*targets, LOBBY_PORT);
}

bool registerDue(const RegisterSchedule& schedule, double now, int freeShips)
{
    if (now >= schedule.nextAt) return true;
    return !schedule.failing && schedule.freeShips >= 0 && freeShips != schedule.freeShips;
}

void registerDone(RegisterSchedule& schedule, bool reached, int freeShips, double now)
{
    schedule.failing = !reached;
    schedule.freeShips = freeShips;
    if (reached) {
        schedule.retry = 0.0;
        schedule.nextAt = now + HOSTLIST_REGISTER_SECONDS;
        return;
    }
    schedule.retry = schedule.retry == 0.0 ? REGISTER_RETRY_FIRST_SECONDS
                                           : std::min(schedule.retry * 2.0, REGISTER_RETRY_MOST_SECONDS);
    schedule.nextAt = now + schedule.retry;
}

bool registrarStart(HostRegistrar& registrar, std::string_view url, std::uint16_t port, std::string_view name)
{
    registrarStop(registrar);
    const std::optional<ListUrl> parsed = listUrlParse(url);
    if (!parsed) {
        statusWrite("Not registering: the list URL must be http://HOST[:PORT][/PATH], not " + statusEscape(url), true);
        return false;
    }
    registrar.url = *parsed;
    registrar.urlText = urlText(*parsed);
    registrar.port = port;
    registrar.name = name;
    registrar.schedule = RegisterSchedule{};
    registrar.requested = registrar.inFlight = registrar.finished = registrar.stop = false;
    registrar.active = true;
    registrar.worker = std::thread(registrarWork, std::ref(registrar));
    return true;
}

void registrarTick(HostRegistrar& registrar, double now, int freeShips, std::optional<std::uint16_t> worldPort)
{
    if (!registrar.active || !worldPort) return;
    const std::lock_guard guard(registrar.lock);
    if (*worldPort != 0) registrar.port = *worldPort;
    if (registrar.finished) {
        registrar.finished = false;
        registrar.inFlight = false;
        const bool wasFailing = registrar.schedule.failing || registrar.schedule.freeShips < 0;
        if (registrar.reached && wasFailing)
            statusWrite("Registered at the list " + registrar.urlText + ": " + registrar.answer, true);
        else if (!registrar.reached && !registrar.schedule.failing)
            statusWrite("Could not register at the list " + registrar.urlText + " (" + registrar.answer +
                            "); trying again with back-off",
                        true);
        registerDone(registrar.schedule, registrar.reached, registrar.sentFreeShips, now);
    }
    if (registrar.inFlight || !registerDue(registrar.schedule, now, freeShips)) return;
    registrar.inFlight = true;
    registrar.requested = true;
    registrar.sentFreeShips = freeShips;
    registrar.wake.notify_one();
}

void registrarStop(HostRegistrar& registrar)
{
    if (registrar.worker.joinable()) {
        {
            const std::lock_guard guard(registrar.lock);
            registrar.stop = true;
        }
        registrar.wake.notify_one();
        registrar.worker.join();
    }
    registrar.active = false;
}

int hostFreeShips(const LobbyServer& server)
{
    int free = 2;
    for (std::size_t ship = 0; ship < 2 && ship < server.clients.size(); ++ship) free -= server.clients[ship].connected;
    return free;
}

}  // namespace netduel
