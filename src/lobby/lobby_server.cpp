// Lobby server: slot table, greeting, chat relay, renames, who-is-here and keep-alive over
// ENet, with per-slot allowances and a bounded service.
#include "lobby_server.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/status.h"
#include "base/timer.h"
#include "enet_datagram.h"
#include "lobby_host.h"
#include "lobby_protocol.h"
#include "status_query.h"

namespace netduel {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view SEND_RULE =
    "---------------------------------------------------------------------------";
static_assert(SEND_RULE.size() == 75);

// The longest text the server sends, the who-is-here listing of a full house (a
// 32-character name, a two-digit slot and five ten-digit figures per line), fits a packet.
constexpr std::size_t WHO_LINE_MAX = NAME_CHARS + std::string_view(" (#99, ").size() +
                                     5 * 10 + std::string_view(" +/- , , , )\r\n").size();
static_assert(std::string_view("WSP Lobby Chatters:\r\n").size() + LOBBY_MAX_PEERS * WHO_LINE_MAX <
              LOBBY_PACKET_LIMIT);

// A datagram starts with the receiving host's peer index in its low 12 bits, with the
// session and flags above them, in network byte order.
static_assert(sizeof(ENetProtocolHeader) == 4 && ENET_PROTOCOL_MAXIMUM_PEER_ID == 0xFFF);

static_assert(STATUS_NAME_CHARS == NAME_CHARS);

// The servers whose ENet hosts exist: the intercept hook is handed only the host.
std::vector<std::pair<const ENetHost*, LobbyServer*>>& serverRegistry()
{
    static std::vector<std::pair<const ENetHost*, LobbyServer*>> servers;
    return servers;
}

LobbyServer* serverOfHost(const ENetHost* host)
{
    for (const auto& [known, server] : serverRegistry())
        if (known == host) return server;
    return nullptr;
}

// The slot number lives in the peer's application data as a plain integer.
std::size_t peerSlot(const ENetPeer* peer) { return reinterpret_cast<std::uintptr_t>(peer->data); }

void peerBind(ENetPeer* peer, std::size_t slot) { peer->data = reinterpret_cast<void*>(slot); }

HostStatus serverStatus(const LobbyServer& server)
{
    HostStatus status;
    status.token = server.statusToken;
    status.maxPlayers = std::uint8_t(std::min<std::size_t>(server.host->peerCount, 255));
    status.dedicated = server.dedicated;
    status.version = NETDUEL_VERSION;
    for (const ClientSlot& client : server.clients) status.players += client.connected ? 1 : 0;
    for (std::size_t ship = 0; ship < status.shipHeld.size(); ++ship) {
        status.shipHeld[ship] = lobbyServerShipHeld(server, ship);
        if (status.shipHeld[ship]) status.shipName[ship] = fixedTextView(server.clients[ship].name);
    }
    return status;
}

// Answers a status query within the sender's allowance. False when `datagram` is none.
bool serverAnswerQuery(LobbyServer& server, std::span<const std::uint8_t> datagram)
{
    ENetHost* host = server.host;
    if (!statusQueryParse(datagram)) return false;  // before any work: most datagrams are ENet's
    if (!statusLimiterAllow(server.statusLimiter, host->receivedAddress.host, server.serviceNow)) return true;
    const std::optional<std::vector<std::uint8_t>> answer = statusAnswerFor(datagram, serverStatus(server));
    if (!answer) return true;
    ENetBuffer buffer{};
    buffer.data = const_cast<std::uint8_t*>(answer->data());
    buffer.dataLength = answer->size();
    enet_socket_send(host->socket, &host->receivedAddress, &buffer, 1);
    return true;
}

// ENet hands each datagram here before reading it: 1 drops it unread, 0 lets ENet read
// it. Status queries are answered here; a connected peer's datagrams are dropped while
// it is past PEER_BYTES_PER_SECOND, and one carrying a fragment of an oversized packet
// marks its slot for disconnection.
int ENET_CALLBACK serverIntercept(ENetHost* host, ENetEvent*)
{
    const std::span<const std::uint8_t> datagram(host->receivedData, host->receivedDataLength);
    LobbyServer* server = serverOfHost(host);
    if (server && serverAnswerQuery(*server, datagram)) return 1;
    if (host->receivedDataLength < sizeof(enet_uint16)) return 0;
    enet_uint16 header = 0;
    std::memcpy(&header, host->receivedData, sizeof header);
    const std::size_t index = ENET_NET_TO_HOST_16(header) & ENET_PROTOCOL_MAXIMUM_PEER_ID;
    if (index >= host->peerCount) return 0;
    const ENetPeer& peer = host->peers[index];
    const bool sender = peer.address.host == host->receivedAddress.host &&
                        peer.address.port == host->receivedAddress.port;
    if (peer.state != ENET_PEER_STATE_CONNECTED || !sender) return 0;
    if (peer.incomingDataTotal >= PEER_BYTES_PER_SECOND) return 1;
    const std::size_t slot = peerSlot(&peer);
    if (!server || slot >= server->clients.size() || server->clients[slot].peer != &peer ||
        !enetDatagramOversized(datagram, host->maximumPacketSize))
        return 0;
    server->clients[slot].oversized = true;
    return 1;
}

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
// The texts carry peers' bytes, so the log shows them escaped.
ENetPacket* serverTextPacket(std::string_view text)
{
    const std::vector<std::uint8_t> frame = lobbyFrame(text);
    ENetPacket* packet = enet_packet_create(frame.data(), frame.size(), ENET_PACKET_FLAG_RELIABLE);
    if (!packet) return nullptr;
    statusWrite(SEND_RULE, true);
    statusWrite("DATA TO SEND:           ", false);
    statusWrite(statusEscape(text), true);
    statusWrite("DATA ENET WANTS TO SEND:", false);
    statusWrite(statusEscape(lobbyPayloadText({packet->data, packet->dataLength})), true);
    return packet;
}

// Queues `text` for every connected peer on `channel`; the caller flushes.
void serverQueueBroadcast(LobbyServer& server, std::uint8_t channel, std::string_view text)
{
    if (!server.host) return;
    ENetPacket* packet = serverTextPacket(text);
    if (!packet) return;
    enet_host_broadcast(server.host, channel, packet);  // frees a packet nobody took
    if (channel == CHANNEL_TEXT) lobbyTapTell(server.told, text);
}

// Queues `text` on channel 0 for one connected slot; the caller flushes. False when
// nothing was queued (no host, slot out of range or free).
bool serverQueueSend(LobbyServer& server, std::int32_t slot, std::string_view text)
{
    if (!server.host || slot < 0 || std::size_t(slot) >= server.clients.size()) return false;
    const ClientSlot& client = server.clients[std::size_t(slot)];
    if (!client.connected || !client.peer) return false;
    ENetPacket* packet = serverTextPacket(text);
    if (!packet) return false;
    lobbyPeerSend(client.peer, CHANNEL_TEXT, packet);
    return true;
}

std::size_t serverFreeSlot(LobbyServer& server)
{
    for (std::size_t slot = 0; slot < server.clients.size(); ++slot) {
        if (!server.clients[slot].connected) return slot;
    }
    server.clients.emplace_back();
    return server.clients.size() - 1;
}

void serverConnect(LobbyServer& server, ENetPeer* peer, double now)
{
    const std::size_t slot = serverFreeSlot(server);
    const auto number = static_cast<std::int32_t>(slot);
    statusWrite("Cli" + std::to_string(number) + " connected from " +
                    std::to_string(addressNumber(peer->address)) + ":" +
                    std::to_string(peer->address.port),
                true);
    peerBind(peer, slot);
    // ENet slows unreliable sends to a peer whose round trips vary, and a flood at the
    // host makes everyone's vary: snapshots would stop for peers that did nothing wrong.
    enet_peer_throttle_configure(peer, ENET_PEER_PACKET_THROTTLE_INTERVAL,
                                 ENET_PEER_PACKET_THROTTLE_ACCELERATION, 0);
    ClientSlot& client = server.clients[slot];
    client.id = number;
    client.peer = peer;
    client.connected = true;
    client.oversized = false;
    fixedTextSet(client.name, anonymousName(number));
    // A reused slot starts afresh: nothing of its last holder's flooding sticks to it.
    rateLimiterReset(client.controlAllowance, CONTROL_RULE, now);
    rateLimiterReset(client.textAllowance, TEXT_RULE, now);
    serverQueueSend(server, number, welcomeNotice());
    serverQueueBroadcast(server, CHANNEL_TEXT, newNotice(fixedTextView(client.name)));
}

// Frees the slot of a peer that has gone and tells those still connected.
void serverRelease(LobbyServer& server, ClientSlot& client)
{
    statusWrite("Cli" + std::to_string(client.id) + " disconnected.", true);
    // Release before the broadcast so the leaver's stale peer is not sent to.
    client.connected = false;
    client.id = -1;
    const std::string name(fixedTextView(client.name));
    fixedTextSet(client.name, "");
    client.peer->data = nullptr;
    serverQueueBroadcast(server, CHANNEL_TEXT, oldNotice(name));
}

void serverDisconnect(LobbyServer& server, ENetPeer* peer)
{
    ClientSlot* client = serverSlotOf(server, peer);
    if (!client) return;  // never bound to a slot: nothing to announce
    enet_peer_reset(peer);
    serverRelease(server, *client);
}

// Disconnects and releases `client` at once, saying why on the status line.
void serverDrop(LobbyServer& server, ClientSlot& client, std::string_view why)
{
    statusWrite("Cli" + std::to_string(client.id) + " " + std::string(why) + ": disconnected.", true);
    // Without a host the slot's peer is none of ENet's (the request handler run alone).
    if (server.host) enet_peer_disconnect_now(client.peer, 0);
    serverRelease(server, client);
}

// Disconnects and releases `client` once `allowance` has flooded for FLOOD_WINDOWS
// windows in a row. True when it did.
bool serverDropFlooder(LobbyServer& server, ClientSlot& client, const RateLimiter& allowance)
{
    if (allowance.floodWindows < FLOOD_WINDOWS) return false;
    serverDrop(server, client, "flooded the server");
    return true;
}

// A peer whose packet is over the limit would only repeat it until it timed out.
void serverDropOversized(LobbyServer& server)
{
    for (ClientSlot& client : server.clients) {
        if (client.connected && client.oversized)
            serverDrop(server, client,
                       "sent a packet over " + std::to_string(LOBBY_PACKET_LIMIT) + " bytes");
    }
}

// Spends one unit of `allowance`. True when the packet may be handled; a slot that has
// now flooded long enough is disconnected and released instead.
bool serverAllow(LobbyServer& server, ClientSlot& client, RateLimiter& allowance,
                 const RateRule& rule, double now)
{
    const bool allowed = rateLimiterTake(allowance, rule, now);
    return !serverDropFlooder(server, client, allowance) && allowed;
}

// A peer past PEER_BYTES_PER_SECOND loses its datagrams before they make events, so its
// control allowance is told directly that it floods.
void serverWatchBytes(LobbyServer& server, double now)
{
    for (ClientSlot& client : server.clients) {
        if (!client.connected || client.peer->incomingDataTotal < PEER_BYTES_PER_SECOND) continue;
        rateLimiterMarkFlooding(client.controlAllowance, CONTROL_RULE, now);
        serverDropFlooder(server, client, client.controlAllowance);
    }
}

std::string serverWhoNotice(const LobbyServer& server)
{
    std::vector<PeerStats> peers;
    for (const ClientSlot& client : server.clients) {
        if (client.connected) peers.push_back(lobbyServerSlotStats(client));
    }
    return whoNotice(peers);
}

// The names that connected slots other than `self` hold.
std::vector<std::string_view> serverOtherNames(const LobbyServer& server, const ClientSlot& self)
{
    std::vector<std::string_view> names;
    for (const ClientSlot& client : server.clients) {
        if (client.connected && &client != &self) names.push_back(fixedTextView(client.name));
    }
    return names;
}

// The requests the server acts on; every other code is ignored.
bool requestActedOn(const LobbyMessage& message)
{
    return message.code == CODE_SAY || message.code == CODE_REN || message.code == CODE_WHO;
}

// One lobby request from a connected slot, within its allowance and the text limit.
void serverRequest(LobbyServer& server, ClientSlot& client, const LobbyMessage& message, double now)
{
    if (message.code == CODE_SAY) {
        serverQueueBroadcast(server, CHANNEL_TEXT, sayNotice(fixedTextView(client.name), message.body));
    } else if (message.code == CODE_REN) {
        const std::string oldName(fixedTextView(client.name));
        const std::vector<std::string_view> others = serverOtherNames(server, client);
        fixedTextSet(client.name, renamedName(message.body, now, others));
        serverQueueBroadcast(server, CHANNEL_TEXT, nameNotice(oldName, fixedTextView(client.name)));
    } else if (message.code == CODE_WHO) {
        serverQueueSend(server, client.id, serverWhoNotice(server));
    }
}

void serverReceive(LobbyServer& server, ENetEvent& event, double now)
{
    ClientSlot* client = serverSlotOf(server, event.peer);
    if (!client) {
        statusWrite("Packet from unconnected or dead client. Destroying...", true);
        return;
    }
    if (event.channelID == CHANNEL_TEXT) {
        lobbyServerHandleRequest(server, peerSlot(event.peer), packetBytes(event), now);
        return;
    }
    if (serverAllow(server, *client, client->controlAllowance, CONTROL_RULE, now)) {
        packetEventDeliver(server.callback, event, &server, nullptr);
    }
}

// A connection ENet is still negotiating: neither free, nor connected, nor leaving.
bool peerHalfOpen(const ENetPeer& peer)
{
    return peer.state == ENET_PEER_STATE_CONNECTING ||
           peer.state == ENET_PEER_STATE_ACKNOWLEDGING_CONNECT ||
           peer.state == ENET_PEER_STATE_CONNECTION_PENDING ||
           peer.state == ENET_PEER_STATE_CONNECTION_SUCCEEDED;
}

// Drops every connection attempt that has not completed HALF_OPEN_SECONDS after the
// server first saw it, so that its place is free for newcomers.
void serverReapHalfOpen(LobbyServer& server, double now)
{
    for (std::size_t index = 0; index < server.halfOpen.size(); ++index) {
        ENetPeer& peer = server.host->peers[index];
        HalfOpenPeer& attempt = server.halfOpen[index];
        if (!peerHalfOpen(peer)) {
            attempt = {};
        } else if (!attempt.seen || attempt.connectID != peer.connectID) {
            attempt = {true, peer.connectID, now};
        } else if (now - attempt.since >= HALF_OPEN_SECONDS) {
            enet_peer_reset(&peer);
            attempt = {};
        }
    }
}

void serverKeepAlive(LobbyServer& server, double now)
{
    if (!(now > server.nextPingTime)) return;
    for (const ClientSlot& client : server.clients) {
        if (client.connected) enet_peer_ping(client.peer);
    }
    server.nextPingTime = now + PING_INTERVAL;
}

// One service: the events pending until `deadline`, then what follows them every call,
// all at the one clock reading it starts with.
void serverServiceUntil(LobbyServer& server, Clock::time_point deadline)
{
    const double now = timerSeconds();
    server.serviceNow = now;
    lobbyHostDrain(
        server.host,
        [&](ENetEvent& event) {
            switch (event.type) {
            case ENET_EVENT_TYPE_CONNECT: serverConnect(server, event.peer, now); break;
            case ENET_EVENT_TYPE_RECEIVE: serverReceive(server, event, now); break;
            case ENET_EVENT_TYPE_DISCONNECT: serverDisconnect(server, event.peer); break;
            default: break;
            }
        },
        deadline);
    serverWatchBytes(server, now);
    serverDropOversized(server);
    enet_host_flush(server.host);
    serverReapHalfOpen(server, now);
    serverKeepAlive(server, now);
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
    lobbyHostLimit(server.host);
    server.host->duplicatePeers = PEERS_PER_ADDRESS;
    server.host->intercept = serverIntercept;
    enet_socket_set_option(server.host->socket, ENET_SOCKOPT_RCVBUF, SERVER_RECEIVE_BUFFER);
    server.halfOpen.assign(server.host->peerCount, HalfOpenPeer{});
    server.statusToken = std::random_device{}();
    server.statusLimiter = {};
    serverRegistry().emplace_back(server.host, &server);
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
    if (server.host) serverServiceUntil(server, timerDeadline(SERVICE_BUDGET_SECONDS));
}

void lobbyServerWaitUntil(LobbyServer& server, std::chrono::steady_clock::time_point until)
{
    if (!server.host) {
        std::this_thread::sleep_until(until);
        return;
    }
    for (auto now = Clock::now(); now < until; now = Clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - now).count();
        const timespec wait{time_t(left / 1'000'000'000), long(left % 1'000'000'000)};
        pollfd socket{server.host->socket, POLLIN, 0};
        const int ready = ppoll(&socket, 1, &wait, nullptr);
        if (ready < 0) return;  // a signal: the caller looks whether it asks to stop
        if (ready > 0) serverServiceUntil(server, std::min(timerDeadline(SERVICE_BUDGET_SECONDS), until));
    }
}

void lobbyServerHandleRequest(LobbyServer& server, std::size_t slot,
                              std::span<const std::uint8_t> payload, double now)
{
    if (slot >= server.clients.size() || !server.clients[slot].connected) return;
    ClientSlot& client = server.clients[slot];
    const std::string_view text = lobbyPayloadText(payload);
    const LobbyMessage message = lobbyMessageParse(text);
    const bool overLimit = text.size() > TEXT_REQUEST_LIMIT;
    // What the host answers or relays, and any text over the limit, spends the text
    // allowance; a text the host ignores costs what a control word does.
    const bool costly = overLimit || requestActedOn(message);
    const bool allowed = costly ? serverAllow(server, client, client.textAllowance, TEXT_RULE, now)
                                : serverAllow(server, client, client.controlAllowance, CONTROL_RULE, now);
    if (allowed && !overLimit) serverRequest(server, client, message, now);
}

void lobbyServerBroadcastText(LobbyServer& server, std::uint8_t channel, std::string_view text)
{
    if (!server.host) return;
    serverQueueBroadcast(server, channel, text);
    enet_host_flush(server.host);
}

void lobbyServerSendText(LobbyServer& server, std::int32_t slot, std::string_view text)
{
    if (serverQueueSend(server, slot, text)) enet_host_flush(server.host);
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

bool lobbyServerShipHeld(const LobbyServer& server, std::size_t ship)
{
    return ship < server.clients.size() && server.clients[ship].connected;
}

int lobbyServerShipsHeld(const LobbyServer& server)
{
    return int(lobbyServerShipHeld(server, 0)) + int(lobbyServerShipHeld(server, 1));
}

std::string_view lobbyServerShipHolder(const LobbyServer& server, std::size_t ship)
{
    return lobbyServerShipHeld(server, ship) ? fixedTextView(server.clients[ship].name) : std::string_view{};
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
    std::erase_if(serverRegistry(), [&](const auto& entry) { return entry.first == server.host; });
    enet_host_destroy(server.host);
    server.host = nullptr;
    server.halfOpen.clear();
    enet_deinitialize();
}

}  // namespace netduel
