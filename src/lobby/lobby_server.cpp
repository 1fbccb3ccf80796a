// Lobby server: slot table, greeting, chat relay, renames, who-is-here and keep-alive over ENet.
#include "lobby_server.h"

#include <string>
#include <vector>

#include "base/status.h"
#include "base/timer.h"
#include "lobby_host.h"
#include "lobby_protocol.h"

namespace netduel {

namespace {

constexpr std::string_view SEND_RULE =
    "---------------------------------------------------------------------------";
static_assert(SEND_RULE.size() == 75);

// The slot number lives in the peer's application data as a plain integer.
std::size_t peerSlot(const ENetPeer* peer) { return reinterpret_cast<std::uintptr_t>(peer->data); }

void peerBind(ENetPeer* peer, std::size_t slot) { peer->data = reinterpret_cast<void*>(slot); }

// The slot whose connected peer is `peer`, or null for a stale or foreign binding.
ClientSlot* serverSlotOf(LobbyServer& server, const ENetPeer* peer)
{
    const std::size_t slot = peerSlot(peer);
    if (slot >= server.clients.size()) return nullptr;
    ClientSlot& client = server.clients[slot];
    return client.connected && client.peer == peer ? &client : nullptr;
}

// The IPv4 address as its four bytes in memory read little-endian (127.0.0.1 → 16777343).
std::uint32_t addressNumber(const ENetAddress& address)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address.host);
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

// A reliable packet of `text` and its NUL, logged as the three status lines of a send.
ENetPacket* serverTextPacket(std::string_view text)
{
    const std::vector<std::uint8_t> frame = lobbyFrame(text);
    ENetPacket* packet = enet_packet_create(frame.data(), frame.size(), ENET_PACKET_FLAG_RELIABLE);
    if (!packet) return nullptr;
    statusWrite(SEND_RULE, true);
    statusWrite("DATA TO SEND:           ", false);
    statusWrite(text, true);
    statusWrite("DATA ENET WANTS TO SEND:", false);
    statusWrite(lobbyPayloadText({packet->data, packet->dataLength}), true);
    return packet;
}

std::size_t serverFreeSlot(LobbyServer& server)
{
    for (std::size_t slot = 0; slot < server.clients.size(); ++slot) {
        if (!server.clients[slot].connected) return slot;
    }
    server.clients.emplace_back();
    return server.clients.size() - 1;
}

void serverConnect(LobbyServer& server, ENetPeer* peer)
{
    const std::size_t slot = serverFreeSlot(server);
    const auto number = static_cast<std::int32_t>(slot);
    statusWrite("Cli" + std::to_string(number) + " connected from " +
                    std::to_string(addressNumber(peer->address)) + ":" +
                    std::to_string(peer->address.port),
                true);
    peerBind(peer, slot);
    ClientSlot& client = server.clients[slot];
    client.id = number;
    client.peer = peer;
    client.connected = true;
    fixedTextSet(client.name, anonymousName(number));
    lobbyServerSendText(server, number, welcomeNotice());
    lobbyServerBroadcastText(server, CHANNEL_TEXT, newNotice(fixedTextView(client.name)));
}

void serverDisconnect(LobbyServer& server, ENetPeer* peer)
{
    ClientSlot* client = serverSlotOf(server, peer);
    if (!client) return;  // never bound to a slot: nothing to announce
    statusWrite("Cli" + std::to_string(client->id) + " disconnected.", true);
    // Release before the broadcast so the leaver's stale peer is not sent to.
    client->connected = false;
    client->id = -1;
    const std::string name(fixedTextView(client->name));
    fixedTextSet(client->name, "");
    enet_peer_reset(peer);
    peer->data = nullptr;
    lobbyServerBroadcastText(server, CHANNEL_TEXT, oldNotice(name));
}

std::string serverWhoNotice(const LobbyServer& server)
{
    std::vector<PeerStats> peers;
    for (const ClientSlot& client : server.clients) {
        if (client.connected) peers.push_back(lobbyServerSlotStats(client));
    }
    return whoNotice(peers);
}

// One lobby request from a connected slot.
void serverRequest(LobbyServer& server, std::size_t slot, std::string_view text)
{
    const LobbyMessage message = lobbyMessageParse(text);
    ClientSlot& client = server.clients[slot];
    if (message.code == CODE_SAY) {
        lobbyServerBroadcastText(server, CHANNEL_TEXT,
                                 sayNotice(fixedTextView(client.name), message.body));
    } else if (message.code == CODE_REN) {
        const std::string oldName(fixedTextView(client.name));
        fixedTextSet(client.name, renamedName(message.body, timerSeconds()));
        lobbyServerBroadcastText(server, CHANNEL_TEXT,
                                 nameNotice(oldName, fixedTextView(client.name)));
    } else if (message.code == CODE_WHO) {
        lobbyServerSendText(server, client.id, serverWhoNotice(server));
    }
}

void serverReceive(LobbyServer& server, ENetEvent& event)
{
    if (!serverSlotOf(server, event.peer)) {
        statusWrite("Packet from unconnected or dead client. Destroying...", true);
        return;
    }
    if (event.channelID != CHANNEL_TEXT) {
        packetEventDeliver(server.callback, event, &server, nullptr);
        return;
    }
    serverRequest(server, peerSlot(event.peer), lobbyPayloadText(packetBytes(event)));
}

void serverKeepAlive(LobbyServer& server)
{
    const double now = timerSeconds();
    if (!(now > server.nextPingTime)) return;
    for (const ClientSlot& client : server.clients) {
        if (client.connected) enet_peer_ping(client.peer);
    }
    server.nextPingTime = now + PING_INTERVAL;
}

}  // namespace

bool lobbyNetStartup()
{
    if (enet_initialize() == 0) return true;
    statusWrite("An error occurred while initializing ENet.", true);
    return false;
}

bool lobbyServerCreate(LobbyServer& server, std::string_view hostName, std::uint16_t port,
                       std::size_t peerCount)
{
    lobbyNetStartup();
    const ENetAddress address = lobbyAddress(hostName, port);
    server.host = enet_host_create(&address, peerCount, 0, 0, 0);
    if (!server.host) {
        statusWrite("An error occurred while trying to create an ENet server host.", true);
        return false;
    }
    server.nextPingTime = timerSeconds() + PING_INTERVAL;
    return true;
}

void lobbyServerSetCallback(LobbyServer& server, PacketCallback callback)
{
    server.callback = callback;
}

void lobbyServerSetUserData(LobbyServer& server, void* userData) { server.userData = userData; }

void lobbyServerService(LobbyServer& server)
{
    if (!server.host) return;
    lobbyHostDrain(server.host, [&](ENetEvent& event) {
        switch (event.type) {
        case ENET_EVENT_TYPE_CONNECT: serverConnect(server, event.peer); break;
        case ENET_EVENT_TYPE_RECEIVE: serverReceive(server, event); break;
        case ENET_EVENT_TYPE_DISCONNECT: serverDisconnect(server, event.peer); break;
        default: break;
        }
    });
    serverKeepAlive(server);
}

void lobbyServerBroadcastText(LobbyServer& server, std::uint8_t channel, std::string_view text)
{
    if (!server.host) return;
    ENetPacket* packet = serverTextPacket(text);
    if (!packet) return;
    enet_host_broadcast(server.host, channel, packet);  // frees a packet nobody took
    enet_host_flush(server.host);
}

void lobbyServerSendText(LobbyServer& server, std::int32_t slot, std::string_view text)
{
    if (!server.host || slot < 0 || std::size_t(slot) >= server.clients.size()) return;
    const ClientSlot& client = server.clients[std::size_t(slot)];
    if (!client.connected || !client.peer) return;
    ENetPacket* packet = serverTextPacket(text);
    if (!packet) return;
    lobbyPeerSend(client.peer, CHANNEL_TEXT, packet);
    enet_host_flush(server.host);
}

bool lobbyServerBroadcastBytes(LobbyServer& server, std::uint8_t channel,
                               std::span<const std::uint8_t> bytes)
{
    if (!server.host) return false;
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), 0);
    if (!packet) return false;
    enet_host_broadcast(server.host, channel, packet);
    enet_host_flush(server.host);
    return true;
}

PeerStats lobbyServerSlotStats(const ClientSlot& client)
{
    const ENetPeer& peer = *client.peer;
    return {fixedTextView(client.name), client.id, peer.roundTripTime, peer.roundTripTimeVariance,
            peer.packetLoss, peer.packetsLost, peer.packetsSent};
}

void lobbyServerDisconnectAll(LobbyServer& server)
{
    if (!server.host) return;
    for (const ClientSlot& client : server.clients) {
        if (client.connected) enet_peer_disconnect(client.peer, 0);
    }
}

void lobbyServerDestroy(LobbyServer& server)
{
    if (!server.host) return;
    enet_host_destroy(server.host);
    server.host = nullptr;
    enet_deinitialize();
}

}  // namespace netduel
