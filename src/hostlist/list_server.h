// List server: host_list.h's table behind an HTTP server and the UDP socket its status
// queries go out of and their answers come back to; `netduel --list-server`.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include <enet/enet.h>

#include "hostlist/host_list.h"

namespace httplib {
class Server;
}

namespace netduel {

// Threads that answer HTTP requests: the table is one lock, so more would only wait.
inline constexpr int LIST_SERVER_THREADS = 2;
// A client that sends its request slower than this is cut off, seconds.
inline constexpr int LIST_SERVER_READ_SECONDS = 2;

struct ListServer {
    httplib::Server* http = nullptr;  // owned; null when not started
    ENetSocket socket = ENET_SOCKET_NULL;
    std::mutex lock;  // over `list`
    HostList list;
    std::thread httpThread, answerThread;
    std::atomic<bool> stopping{false};
    std::uint16_t port = 0;  // the TCP port it listens on
};

// Listens on TCP `port` of `bindAddress` (its UDP socket takes any free port) and serves
// from threads of its own. False, with a status line, when either cannot be opened.
bool listServerStart(ListServer& server, std::uint16_t port, const std::string& bindAddress = "0.0.0.0");

// Stops both threads and closes everything; safe on a server in any state.
void listServerStop(ListServer& server);

// The whole of --list-server: start, serve until SIGINT or SIGTERM, stop. The exit
// status: 0 after a stop, 1 when it could not start.
int listServerRun(std::uint16_t port);

}  // namespace netduel
