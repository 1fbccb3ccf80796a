// The Agones client's decisions: which REST call is due, and what each outcome means.
// Calls and answers follow the Agones SDK REST gateway of Agones 1.38:
//   POST /ready {}                          the game port listens
//   POST /health {}                         every AGONES_HEALTH_INTERVAL from the frame loop
//   PUT  /metadata/label {"key","value"}    the held ships ("agones.dev/sdk-ships")
//   GET  /gameserver                        {"status":{"state":"Allocated","players":{…}}}
//   PUT  /alpha/player/capacity {"count"}   once, when the GameServer tracks players
//   POST /alpha/player/connect {"playerID"} and /alpha/player/disconnect, as ships are taken
//   POST /shutdown {}                       the match is over
#include "agones.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace netduel {
namespace {

AgonesRequest call(AgonesCall kind, const char* method, const char* path, std::string body = "{}",
                   int value = 0)
{
    return AgonesRequest{kind, method, path, std::move(body), value};
}

std::string playerBody(int number)
{
    return nlohmann::json{{"playerID", "player-" + std::to_string(number)}}.dump();
}

// The next call, if one is due; the plan already says none is out.
std::optional<AgonesRequest> dueCall(AgonesPlan& plan, int shipsHeld, double now)
{
    if (!plan.ready) return call(AgonesCall::Ready, "POST", "/ready");
    if (plan.shutdownAsked) return call(AgonesCall::Shutdown, "POST", "/shutdown");
    if (now >= plan.nextHealth) {
        plan.nextHealth = now + AGONES_HEALTH_INTERVAL;
        return call(AgonesCall::Health, "POST", "/health");
    }
    if (shipsHeld != plan.labelled) {
        const nlohmann::json label{{"key", AGONES_SHIPS_LABEL}, {"value", std::to_string(shipsHeld)}};
        return call(AgonesCall::Label, "PUT", "/metadata/label", label.dump(), shipsHeld);
    }
    if (plan.tracking && !plan.capacitySet) {
        const nlohmann::json capacity{{"count", AGONES_PLAYER_CAPACITY}};
        return call(AgonesCall::Capacity, "PUT", "/alpha/player/capacity", capacity.dump());
    }
    if (plan.tracking && shipsHeld > plan.playersReported) {
        const int number = plan.playersReported + 1;
        return call(AgonesCall::PlayerConnect, "POST", "/alpha/player/connect", playerBody(number), number);
    }
    if (plan.tracking && shipsHeld < plan.playersReported) {
        const int number = plan.playersReported;
        return call(AgonesCall::PlayerDisconnect, "POST", "/alpha/player/disconnect", playerBody(number), number);
    }
    if (!plan.allocated && now >= plan.nextPoll) {
        plan.nextPoll = now + AGONES_POLL_INTERVAL;
        return call(AgonesCall::GameServer, "GET", "/gameserver", "");
    }
    return std::nullopt;
}

}  // namespace

std::optional<AgonesRequest> agonesPlanNext(AgonesPlan& plan, int shipsHeld, double now)
{
    // The match's course is followed every frame, whether a call may go or not.
    if (shipsHeld >= 2) plan.matchHeld = true;
    if (plan.matchHeld && !plan.shutdownAsked) {
        if (shipsHeld > 0) {
            plan.emptySince = -1.0;
        } else if (plan.emptySince < 0.0) {
            plan.emptySince = now;
        } else if (now - plan.emptySince >= AGONES_MATCH_OVER_AFTER) {
            plan.shutdownAsked = true;
            plan.shutdownSince = now;
        }
    }
    if (plan.waiting || plan.finished || now < plan.retryAt) return std::nullopt;
    std::optional<AgonesRequest> next = dueCall(plan, shipsHeld, now);
    plan.waiting = next.has_value();
    return next;
}

std::string agonesPlanAnswered(AgonesPlan& plan, const AgonesRequest& request, int status,
                               std::string_view body, double now)
{
    plan.waiting = false;
    if (status == 0 || status >= 500) {  // nobody there, or not yet able to serve
        if (plan.awaySince < 0.0) plan.awaySince = now;
        plan.retryDelay = plan.retryDelay > 0.0 ? std::min(2.0 * plan.retryDelay, AGONES_RETRY_MOST)
                                                : AGONES_RETRY_LEAST;
        plan.retryAt = now + plan.retryDelay;
        if (plan.shutdownAsked && now - plan.shutdownSince >= AGONES_SHUTDOWN_PATIENCE) {
            plan.finished = true;
            return "Agones: the shutdown went unanswered; leaving all the same";
        }
        if (!plan.toldAway && now - plan.awaySince >= AGONES_ABSENT_AFTER) {
            plan.toldAway = true;
            return "Agones: the SDK sidecar does not answer; hosting goes on without it";
        }
        return {};
    }
    plan.awaySince = -1.0;
    plan.retryDelay = 0.0;
    // A refusal (4xx) is an answer too: asking again would be refused again.
    const bool accepted = status >= 200 && status < 300;
    switch (request.call) {
    case AgonesCall::Ready:
        plan.ready = true;
        return accepted ? "Agones: ready" : "Agones: ready refused with status " + std::to_string(status);
    case AgonesCall::Health: return {};
    case AgonesCall::Label: plan.labelled = request.value; return {};
    case AgonesCall::Capacity: plan.capacitySet = true; return {};
    case AgonesCall::PlayerConnect: plan.playersReported = request.value; return {};
    case AgonesCall::PlayerDisconnect: plan.playersReported = request.value - 1; return {};
    case AgonesCall::GameServer: {
        if (!accepted) return {};
        const AgonesGameServer server = agonesGameServerParse(body);
        plan.tracking = server.tracksPlayers;
        if (server.state != "Allocated") return {};
        plan.allocated = true;
        return "Agones: allocated";
    }
    case AgonesCall::Shutdown: plan.finished = true; return "Agones: shutdown";
    }
    return {};
}

AgonesGameServer agonesGameServerParse(std::string_view body)
{
    AgonesGameServer server;
    const nlohmann::json record = nlohmann::json::parse(body, nullptr, false);
    if (!record.is_object()) return server;
    const auto status = record.find("status");
    if (status == record.end() || !status->is_object()) return server;
    const auto state = status->find("state");
    if (state != status->end() && state->is_string()) server.state = state->get<std::string>();
    const auto players = status->find("players");
    server.tracksPlayers = players != status->end() && players->is_object();
    return server;
}

}  // namespace netduel
