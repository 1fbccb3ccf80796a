// Fuzz target: the server's handling of channel-0 requests from a table of connected
// slots whose peers are not ENet's, so nothing reaches a network; the host exists so that
// every text the server builds is logged as when it sends. The input is a series of requests, each a slot byte (slot 3
// is free), a length byte and that many payload bytes; the clock moves 0.1 s per request
// so allowances refill. Whatever arrives, every stored name stays a printable text of at
// most 32 characters, and every byte the server logs is printable.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "base/status.h"
#include "base/timer.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"

using namespace netduel;

namespace {

constexpr std::size_t CONNECTED_SLOTS = 3;
constexpr double SECONDS_PER_REQUEST = 0.1;

void serverSeat(LobbyServer& server, std::vector<ENetPeer>& peers)
{
    server.clients.resize(CONNECTED_SLOTS + 1);
    for (std::size_t slot = 0; slot < CONNECTED_SLOTS; ++slot) {
        ClientSlot& client = server.clients[slot];
        client.id = static_cast<std::int32_t>(slot);
        client.connected = true;
        client.peer = &peers[slot];
        fixedTextSet(client.name, anonymousName(client.id));
        rateLimiterReset(client.controlAllowance, CONTROL_RULE, timerSeconds());
        rateLimiterReset(client.textAllowance, TEXT_RULE, timerSeconds());
    }
}

// One unbound ENet host for every run: sends to the table's peers are refused and freed.
ENetHost* quietHost()
{
    static ENetHost* host = [] {
        enet_initialize();
        return enet_host_create(nullptr, 1, 0, 0, 0);
    }();
    return host;
}

bool nameSound(const ClientSlot& client)
{
    if (client.name[NAME_CHARS] != '\0') return false;
    for (const char c : fixedTextView(client.name))
        if (c < 0x21 || c > 0x7E) return false;
    return true;
}

bool logPrintable(const char* log, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(log[i]);
        if (byte == '\n') continue;
        if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    char* log = nullptr;
    std::size_t logLength = 0;
    statusOut = open_memstream(&log, &logLength);
    timerSetManual(1.0);

    std::vector<ENetPeer> peers(CONNECTED_SLOTS);
    LobbyServer server;
    server.host = quietHost();
    if (!server.host) std::abort();
    serverSeat(server, peers);
    for (std::size_t at = 0; at + 2 <= size;) {
        const std::size_t slot = data[at] % (CONNECTED_SLOTS + 1);
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        lobbyServerHandleRequest(server, slot, std::span(data + at + 2, length), timerSeconds());
        at += 2 + length;
        timerSetManual(timerSeconds() + SECONDS_PER_REQUEST);
        for (const ClientSlot& client : server.clients)
            if (client.connected && !nameSound(client)) std::abort();
    }
    if (server.clients[CONNECTED_SLOTS].connected) std::abort();

    std::fclose(statusOut);
    statusOut = stdout;
    timerSetReal();
    const bool printable = logPrintable(log, logLength);
    std::free(log);
    if (!printable) std::abort();
    return 0;
}
