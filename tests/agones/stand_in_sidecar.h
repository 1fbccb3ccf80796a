// A stand-in for the Agones SDK sidecar (the real one is not installable here): the REST
// surface of Agones 1.38's SDK gateway on a free loopback port, each call recorded.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace netduel {

struct StandInSidecar {
    httplib::Server server;
    std::thread serving;
    int port = 0;
    std::mutex lock;
    std::vector<std::string> calls;  // "POST /ready", in order
    std::string state = "Scheduled";
    bool tracking = false;           // the GameServer has spec.players
    std::map<std::string, std::string> labels;
    std::set<std::string> players;
    int capacity = 0;
    std::chrono::milliseconds delay{0};  // each answer waits this long

    StandInSidecar()
    {
        const auto answer = [this](const char* call, auto&& change) {
            return [this, call, change](const httplib::Request& request, httplib::Response& response) {
                std::this_thread::sleep_for(delay);
                std::lock_guard<std::mutex> held(lock);
                calls.push_back(call);
                const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
                response.set_content(change(body).dump(), "application/json");
            };
        };
        const auto empty = [](const nlohmann::json&) { return nlohmann::json::object(); };
        server.Post("/ready", answer("POST /ready", [this](const nlohmann::json&) {
            state = "Ready";
            return nlohmann::json::object();
        }));
        server.Post("/health", answer("POST /health", empty));
        server.Post("/shutdown", answer("POST /shutdown", [this](const nlohmann::json&) {
            state = "Shutdown";
            return nlohmann::json::object();
        }));
        server.Put("/metadata/label", answer("PUT /metadata/label", [this](const nlohmann::json& body) {
            labels["agones.dev/sdk-" + body.value("key", "")] = body.value("value", "");
            return nlohmann::json::object();
        }));
        server.Get("/gameserver", answer("GET /gameserver", [this](const nlohmann::json&) {
            nlohmann::json record{{"object_meta", {{"name", "netduel-x2k4p"}, {"labels", labels}}},
                                  {"status", {{"state", state}, {"address", "10.0.0.7"},
                                              {"ports", {{{"name", "default"}, {"port", 7350}}}}}}};
            if (tracking)
                record["status"]["players"] = {{"count", std::to_string(players.size())},
                                               {"capacity", std::to_string(capacity)},
                                               {"ids", players}};
            return record;
        }));
        server.Put("/alpha/player/capacity", answer("PUT /alpha/player/capacity", [this](const nlohmann::json& body) {
            capacity = body.value("count", 0);
            return nlohmann::json::object();
        }));
        server.Post("/alpha/player/connect", answer("POST /alpha/player/connect", [this](const nlohmann::json& body) {
            return nlohmann::json{{"bool", players.insert(body.value("playerID", "")).second}};
        }));
        server.Post("/alpha/player/disconnect", answer("POST /alpha/player/disconnect", [this](const nlohmann::json& body) {
            return nlohmann::json{{"bool", players.erase(body.value("playerID", "")) == 1}};
        }));
    }
    ~StandInSidecar() { stop(); }

    // Listens on `wanted`, or on any free port when 0; false when it cannot bind.
    bool start(int wanted = 0)
    {
        port = wanted ? (server.bind_to_port("127.0.0.1", wanted) ? wanted : -1)
                      : server.bind_to_any_port("127.0.0.1");
        if (port <= 0) return false;
        serving = std::thread([this] { server.listen_after_bind(); });
        // A stop before the loop runs would be lost, and the join would wait for ever.
        for (int wait = 0; wait < 5000 && !server.is_running(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }
    void stop()
    {
        server.stop();
        if (serving.joinable()) serving.join();
    }

    int count(const std::string& call)
    {
        std::lock_guard<std::mutex> held(lock);
        int seen = 0;
        for (const std::string& made : calls) seen += made == call;
        return seen;
    }
    std::size_t total()
    {
        std::lock_guard<std::mutex> held(lock);
        return calls.size();
    }
    std::string label(const std::string& key)
    {
        std::lock_guard<std::mutex> held(lock);
        const auto found = labels.find(key);
        return found == labels.end() ? std::string() : found->second;
    }
    std::size_t playerCount()
    {
        std::lock_guard<std::mutex> held(lock);
        return players.size();
    }
};

}  // namespace netduel
