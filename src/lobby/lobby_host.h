// ENet plumbing that the server and the client share: addresses, the bounded drain, sends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <enet/enet.h>

namespace netduel {

// Most ENet events one service call handles, so that a flood cannot stall a frame.
inline constexpr int SERVICE_EVENT_LIMIT = 300;

// `port` on `hostName`, resolved when not empty (a name that does not resolve leaves 0).
inline ENetAddress lobbyAddress(std::string_view hostName, std::uint16_t port)
{
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    if (!hostName.empty()) enet_address_set_host(&address, std::string(hostName).c_str());
    address.port = port;
    return address;
}

// Hands each pending event of `host` to `handle`, at most SERVICE_EVENT_LIMIT of them,
// and destroys every received packet right after its handling. Stops at an empty queue
// or an ENet error.
template <class Handle>
void lobbyHostDrain(ENetHost* host, Handle handle)
{
    for (int handled = 0; handled < SERVICE_EVENT_LIMIT; ++handled) {
        ENetEvent event{};
        if (enet_host_service(host, &event, 0) <= 0) return;
        handle(event);
        if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
    }
}

// Queues `packet` to `peer`; a packet ENet refuses (peer not connected) is destroyed here.
inline bool lobbyPeerSend(ENetPeer* peer, std::uint8_t channel, ENetPacket* packet)
{
    if (enet_peer_send(peer, channel, packet) == 0) return true;
    enet_packet_destroy(packet);
    return false;
}

}  // namespace netduel
