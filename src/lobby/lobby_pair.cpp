// LobbyPair: the server and client records that the shell keeps for the whole run.
#include "lobby.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/timer.h"
#include "lobby_client.h"
#include "lobby_server.h"

namespace netduel {

namespace {

constexpr auto FAREWELL_POLL = std::chrono::milliseconds(2);

bool serverHasPeers(const LobbyServer& server)
{
    return server.host && std::any_of(server.clients.begin(), server.clients.end(),
                       [](const ClientSlot& slot) { return slot.connected; });
}

}  // namespace

void lobbyPairInit(LobbyPair& net)
{
    net.server = LobbyServer{};
    net.client = LobbyClient{};
}

void lobbyPairClose(LobbyPair& net)
{
    lobbyServerDisconnectAll(net.server);
    lobbyClientDisconnect(net.client);
    // The steady clock, not the program clock: tests may have pinned that one.
    const auto deadline = timerDeadline(FAREWELL_SECONDS);
    while ((serverHasPeers(net.server) || net.client.connected) &&
           std::chrono::steady_clock::now() < deadline) {
        lobbyServerService(net.server);
        lobbyClientService(net.client);
        std::this_thread::sleep_for(FAREWELL_POLL);
    }
    lobbyServerDestroy(net.server);
    lobbyClientDestroy(net.client);
}

void lobbyPairDestroy(LobbyPair& net)
{
    std::vector<ClientSlot>().swap(net.server.clients);
    std::vector<HalfOpenPeer>().swap(net.server.halfOpen);
}

}  // namespace netduel
