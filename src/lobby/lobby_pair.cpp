// LobbyPair: the server and client records that the shell keeps for the whole run.
#include "lobby.h"

namespace netduel {

void lobbyPairInit(LobbyPair& net)
{
    net.server = LobbyServer{};
    net.client = LobbyClient{};
}

void lobbyPairDestroy(LobbyPair& net)
{
    std::vector<ClientSlot>().swap(net.server.clients);
    std::vector<HalfOpenPeer>().swap(net.server.halfOpen);
}

}  // namespace netduel
