// ENet plumbing that the server and the client share: host limits, addresses, the
// bounded drain, sends.
#pragma once

#include <linux/filter.h>
#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
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

// Longest datagram ENet reads whole, bytes: its receive buffer, the largest MTU it takes.
inline constexpr std::size_t LOBBY_DATAGRAM_LIMIT = ENET_PROTOCOL_MAXIMUM_MTU;

// Has the kernel drop every datagram longer than `bytes` for `socket` before it is queued:
// junk then takes none of the socket's buffer, which a stock system caps at a few
// datagrams of 64 KiB, and wakes nobody. False when the filter cannot be attached; the
// service loops still read past such datagrams.
inline bool lobbySocketRefuseLonger(ENetSocket socket, std::size_t bytes)
{
    // A UDP socket's filter sees the datagram from its 8-byte header on.
    constexpr std::uint32_t UDP_HEADER_BYTES = 8;
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_LEN, 0),
        BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, std::uint32_t(bytes) + UDP_HEADER_BYTES, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0),           // dropped
        BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFF),  // kept whole
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    return setsockopt(socket, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
}

// Reads one waiting datagram from non-blocking `socket` into `bytes`: its length, 0 when
// none waits, below 0 for one longer than `bytes` (read and dropped) or an error.
inline int lobbySocketReceive(ENetSocket socket, ENetAddress& from, std::span<std::uint8_t> bytes)
{
    ENetBuffer buffer{};
    buffer.data = bytes.data();
    buffer.dataLength = bytes.size();
    return enet_socket_receive(socket, &from, &buffer, 1);
}

// Caps what one peer can make `host` hold: the packet size and the waiting data above;
// and has datagrams longer than ENet reads dropped before they reach its socket.
inline void lobbyHostLimit(ENetHost* host)
{
    host->maximumPacketSize = LOBBY_PACKET_LIMIT;
    host->maximumWaitingData = LOBBY_WAITING_LIMIT;
    lobbySocketRefuseLonger(host->socket, LOBBY_DATAGRAM_LIMIT);
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
