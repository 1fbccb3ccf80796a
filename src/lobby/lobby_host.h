// ENet plumbing that the server and the client share: host limits, addresses, the
// bounded drain, sends.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <enet/enet.h>

namespace netduel {

// Largest packet either side sends or accepts, bytes. The longest text the server sends,
// the who-is-here listing of a full house, is under 2.7 KiB; a request text far above the
// server's own text limit still arrives whole, so the server refuses it itself instead of
// ENet stalling the sender's reliable channel on it.
inline constexpr std::size_t LOBBY_PACKET_LIMIT = 4 * 1024;

// Most bytes of received packets that one peer may leave waiting for the application.
// Both sides drain every frame, so a well-behaved peer has at most a frame's worth (a
// snapshot, a few texts) waiting; past this ENet drops unreliable packets and withholds
// the acknowledgement of reliable ones, which the sender then repeats.
inline constexpr std::size_t LOBBY_WAITING_LIMIT = 32 * 1024;

// Caps what one peer can make `host` hold: the packet size and the waiting data above.
inline void lobbyHostLimit(ENetHost* host)
{
    host->maximumPacketSize = LOBBY_PACKET_LIMIT;
    host->maximumWaitingData = LOBBY_WAITING_LIMIT;
}

// `port` on `hostName`, resolved when not empty (a name that does not resolve leaves 0).
inline ENetAddress lobbyAddress(std::string_view hostName, std::uint16_t port)
{
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    if (!hostName.empty()) enet_address_set_host(&address, std::string(hostName).c_str());
    address.port = port;
    return address;
}

// True when datagrams wait on the host's socket.
inline bool lobbySocketReadable(ENetHost* host)
{
    enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
    return enet_socket_wait(host->socket, &condition, 0) == 0 &&
           (condition & ENET_SOCKET_WAIT_RECEIVE) != 0;
}

// Hands each pending event of `host` to `handle` while `more()` allows another round, and
// destroys every received packet right after its handling. Stops when no event is left and
// nothing waits on the socket (ENet reads at most 256 datagrams a call, and a call whose
// datagrams made no event reports none). A call that fails has read a datagram ENet
// refused, one longer than its 4 KiB buffer among them, and stopped reading there: what
// waits behind it is read on, or junk of any size would hold the players' datagrams back.
template <class Handle, class More>
void lobbyHostDrainWhile(ENetHost* host, Handle handle, More more)
{
    while (more()) {
        ENetEvent event{};
        const int result = enet_host_service(host, &event, 0);
        if (result <= 0) {
            if (!lobbySocketReadable(host)) return;
            continue;
        }
        handle(event);
        if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
    }
}

// As lobbyHostDrainWhile, until the steady clock reaches `deadline`.
template <class Handle>
void lobbyHostDrain(ENetHost* host, Handle handle, std::chrono::steady_clock::time_point deadline)
{
    lobbyHostDrainWhile(host, handle, [&] { return std::chrono::steady_clock::now() < deadline; });
}

// Queues `packet` to `peer`; a packet ENet refuses (peer not connected) is destroyed here.
inline bool lobbyPeerSend(ENetPeer* peer, std::uint8_t channel, ENetPacket* packet)
{
    if (enet_peer_send(peer, channel, packet) == 0) return true;
    enet_packet_destroy(packet);
    return false;
}

}  // namespace netduel
