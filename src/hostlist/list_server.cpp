// List server: HTTP on a thread pool, status answers on a thread of their own, both
// through the one locked table.
#include "list_server.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <memory>
#include <random>

#include <httplib.h>

#include "base/status.h"
#include "base/stop_request.h"
#include "base/timer.h"
#include "lobby/lobby_host.h"

namespace netduel {

namespace {

// How long the answer thread waits on its socket before it looks for a stop, ms.
constexpr int ANSWER_WAIT_MS = 100;
// Headers httplib adds to a request itself; they never came over the wire.
constexpr std::string_view OWN_HEADERS[] = {"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT"};

// The request's size as it came: request line, headers, blank line and body.
std::size_t requestBytes(const httplib::Request& request)
{
    std::size_t bytes = request.method.size() + 1 + request.target.size() + 1 + request.version.size() + 2 + 2 +
                        request.body.size();
    for (const auto& [name, value] : request.headers) {
        if (std::find(std::begin(OWN_HEADERS), std::end(OWN_HEADERS), name) == std::end(OWN_HEADERS))
            bytes += name.size() + 2 + value.size() + 2;
    }
    return bytes;
}

void serve(ListServer& server, std::random_device& random, std::mutex& randomLock, const httplib::Request& request,
           httplib::Response& response)
{
    in_addr from{};
    if (inet_pton(AF_INET, request.remote_addr.c_str(), &from) != 1) {
        response.status = 400;
        response.set_content("IPv4 only\n", "text/plain; charset=utf-8");
        return;
    }
    std::uint32_t nonce = 0;
    {
        const std::lock_guard guard(randomLock);
        nonce = random();
    }
    HostListReply reply;
    {
        const std::lock_guard guard(server.lock);
        reply = hostListHandle(server.list,
                               HostListRequest{request.method, request.path, request.body, from.s_addr,
                                               requestBytes(request)},
                               timerSeconds(), nonce);
    }
    if (reply.check) {
        ENetAddress target{reply.check->address, reply.check->port};
        ENetBuffer buffer{};
        buffer.data = reply.check->query.data();
        buffer.dataLength = reply.check->query.size();
        enet_socket_send(server.socket, &target, &buffer, 1);
    }
    response.status = reply.status;
    response.set_header("Cache-Control", "no-store");
    response.set_header("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
    response.set_content(reply.body, std::string(reply.contentType));
}

void answerLoop(ListServer& server)
{
    std::uint8_t bytes[STATUS_ANSWER_MAX];
    while (!server.stopping) {
        pollfd socket{server.socket, POLLIN, 0};
        poll(&socket, 1, ANSWER_WAIT_MS);
        for (;;) {
            ENetAddress from{};
            const int length = lobbySocketReceive(server.socket, from, bytes);
            if (length == 0) break;
            if (length < 0) continue;
            const std::lock_guard guard(server.lock);
            hostListAnswer(server.list, from.host, from.port, std::span(bytes, std::size_t(length)), timerSeconds());
        }
        const std::lock_guard guard(server.lock);
        hostListExpire(server.list, timerSeconds());
    }
}

}  // namespace

bool listServerStart(ListServer& server, std::uint16_t port, const std::string& bindAddress)
{
    enet_initialize();
    server.stopping = false;
    server.socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    ENetAddress any{ENET_HOST_ANY, 0};
    if (server.socket == ENET_SOCKET_NULL || enet_socket_bind(server.socket, &any) != 0 ||
        enet_socket_set_option(server.socket, ENET_SOCKOPT_NONBLOCK, 1) != 0) {
        statusWrite("An error occurred while trying to create the list's status query socket.", true);
        listServerStop(server);
        return false;
    }
    lobbySocketRefuseLonger(server.socket, STATUS_ANSWER_MAX);
    server.http = new httplib::Server;
    httplib::Server& http = *server.http;
    http.new_task_queue = [] { return new httplib::ThreadPool(LIST_SERVER_THREADS); };
    http.set_payload_max_length(HOSTLIST_BODY_MAX);
    http.set_read_timeout(LIST_SERVER_READ_SECONDS);
    http.set_write_timeout(LIST_SERVER_READ_SECONDS);
    http.set_keep_alive_timeout(LIST_SERVER_READ_SECONDS);
    auto random = std::make_shared<std::random_device>();
    auto randomLock = std::make_shared<std::mutex>();
    const httplib::Server::Handler handler = [&server, random, randomLock](const httplib::Request& request,
                                                                          httplib::Response& response) {
        serve(server, *random, *randomLock, request, response);
    };
    // Before the body is read: a compressed one could unpack far past the size limit.
    http.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
        if (!request.has_header("Content-Encoding")) return httplib::Server::HandlerResponse::Unhandled;
        response.status = 415;
        response.set_content("compressed requests are refused\n", "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    });
    http.Get("/.*", handler).Post("/.*", handler).Put("/.*", handler).Delete("/.*", handler).Patch("/.*", handler);
    // What httplib refuses itself (a body over the limit, a bad request line) says one line.
    http.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            response.set_content("request refused (" + std::to_string(response.status) + ")\n",
                                 "text/plain; charset=utf-8");
    });
    if (!http.bind_to_port(bindAddress, port)) {
        statusWrite("List server creation failed: cannot listen on TCP port " + std::to_string(port) + ".", true);
        listServerStop(server);
        return false;
    }
    server.port = port;
    server.answerThread = std::thread(answerLoop, std::ref(server));
    server.httpThread = std::thread([&server] { server.http->listen_after_bind(); });
    statusWrite("List server running on TCP port " + std::to_string(port) + ".", true);
    return true;
}

void listServerStop(ListServer& server)
{
    server.stopping = true;
    if (server.http) {
        server.http->stop();
        if (server.httpThread.joinable()) server.httpThread.join();
        delete server.http;
        server.http = nullptr;
    }
    if (server.answerThread.joinable()) server.answerThread.join();
    if (server.socket != ENET_SOCKET_NULL) {
        enet_socket_destroy(server.socket);
        server.socket = ENET_SOCKET_NULL;
        enet_deinitialize();
    }
}

int listServerRun(std::uint16_t port)
{
    auto server = std::make_unique<ListServer>();
    if (!listServerStart(*server, port)) return 1;
    while (!stopRequested()) {
        pollfd none{};
        poll(&none, 0, ANSWER_WAIT_MS);
    }
    listServerStop(*server);
    statusWrite("List server stopped.", true);
    return 0;
}

}  // namespace netduel
