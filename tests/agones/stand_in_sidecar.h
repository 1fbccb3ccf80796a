// A stand-in for the Agones SDK sidecar (the real one is not installable here): the REST
// surface of Agones 1.38's SDK gateway on a free loopback port, each call recorded.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace netduel {

struct StandInSidecar {
    httplib::Server server;
    std::thread serving;
    int port = 0;
    std::mutex lock;
    std::vector<std::pair<std::string, nlohmann::json>> calls;  // "PUT /metadata/label", body
    std::string state = "Scheduled";     // GET /gameserver's status.state
    bool tracking = false;               // the GameServer asks for players
    std::chrono::milliseconds delay{0};  // each answer waits this long

    StandInSidecar()
    {
        const auto answer = [this](const httplib::Request& request, httplib::Response& response) {
            std::this_thread::sleep_for(delay);
            std::lock_guard<std::mutex> held(lock);
            calls.emplace_back(request.method + " " + request.path, nlohmann::json::parse(request.body, nullptr, false));
            nlohmann::json body = nlohmann::json::object();
            if (request.path == "/gameserver") {
                body = {{"object_meta", {{"name", "netduel-x2k4p"}}}, {"status", {{"state", state}}}};
                if (tracking) body["status"]["players"] = {{"count", "0"}, {"capacity", "0"}};
            }
            response.set_content(body.dump(), "application/json");
        };
        for (const char* path : {"/ready", "/health", "/shutdown", "/alpha/player/connect", "/alpha/player/disconnect"})
            server.Post(path, answer);
        for (const char* path : {"/metadata/label", "/alpha/player/capacity"}) server.Put(path, answer);
        server.Get("/gameserver", answer);
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
        for (const auto& made : calls) seen += made.first == call;
        return seen;
    }
    // The last value a call set under `field` (the label's, the capacity's), "" when none.
    std::string last(const std::string& call, const char* field)
    {
        std::lock_guard<std::mutex> held(lock);
        for (auto made = calls.rbegin(); made != calls.rend(); ++made)
            if (made->first == call && made->second.is_object() && made->second.contains(field))
                return made->second[field].dump();
        return {};
    }
    std::size_t total()
    {
        std::lock_guard<std::mutex> held(lock);
        return calls.size();
    }
    int players() { return count("POST /alpha/player/connect") - count("POST /alpha/player/disconnect"); }
};

}  // namespace netduel
