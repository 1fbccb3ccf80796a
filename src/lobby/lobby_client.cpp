// Lobby client: connection to the host, notices into the history, packets to the callback.
#include "lobby_client.h"

#include <algorithm>
#include <string>

#include "base/status.h"
#include "base/timer.h"
#include "lobby_host.h"
#include "lobby_protocol.h"
#include "lobby_server.h"

namespace netduel {

namespace {

// Attached to the server's peer once the connection completes; shown on disconnection.
char clientInformation[] = "Client information";

// The server greets a newcomer and then announces it to all, on one reliable channel:
// the first "NEW " after the welcome is this client's own, naming it by its slot. A
// rename of the name it holds then is its own too.
void clientLearnSlot(LobbyClient& client, std::string_view text)
{
    const LobbyMessage message = lobbyMessageParse(text);
    if (message.code == CODE_WSP && text == welcomeNotice()) {
        client.welcomed = true;
        client.ownSlot = -1;
    } else if (message.code == CODE_NEW && client.welcomed) {
        client.welcomed = false;
        client.ownSlot = anonymousSlot(message.body);
        fixedTextSet(client.name, message.body);
    } else if (message.code == CODE_NME && client.ownSlot >= 0) {
        const NamedBody renamed = lobbyBodySplit(message.body);
        if (renamed.name == fixedTextView(client.name)) fixedTextSet(client.name, renamed.rest);
    }
}

void clientReceive(LobbyClient& client, ENetEvent& event)
{
    if (event.channelID == CHANNEL_TEXT) {
        const std::string_view text = lobbyPayloadText(packetBytes(event));
        clientLearnSlot(client, text);
        const auto line = noticeHistoryLine(text);
        if (line) lobbyClientPushHistory(client, *line);
        return;
    }
    packetEventDeliver(client.callback, event, nullptr, &client);
}

void clientConnect(LobbyClient& client, ENetPeer* peer)
{
    peer->data = clientInformation;
    enet_peer_timeout(peer, 0, 0, 0);  // ENet's defaults again, now that the server answered
    client.connected = true;
    client.welcomed = false;
    client.ownSlot = -1;
    fixedTextSet(client.name, "");
}

// ENet has reset the peer: it is free for the next attempt.
void clientDisconnect(LobbyClient& client, ENetPeer* peer)
{
    const char* attached = static_cast<const char*>(peer->data);
    lobbyClientPushHistory(client, std::string(attached ? attached : "") + "disconected.");
    peer->data = nullptr;
    client.connected = false;
    client.peer = nullptr;
    client.welcomed = false;
    client.ownSlot = -1;
}

}  // namespace

bool lobbyClientResolves(std::string_view serverHost)
{
    ENetAddress address{};
    return enet_address_set_host(&address, std::string(serverHost).c_str()) == 0;
}

bool lobbyClientConnect(LobbyClient& client, std::string_view serverHost, std::uint16_t port,
                        std::size_t channelCount)
{
    return lobbyClientConnectFrom(client, "", serverHost, port, channelCount);
}

bool lobbyClientConnectFrom(LobbyClient& client, std::string_view localHost,
                            std::string_view serverHost, std::uint16_t port,
                            std::size_t channelCount)
{
    if (lobbyClientBusy(client)) {
        statusWrite("A connection is already being made or is up.", true);
        return false;
    }
    if (!client.host) {
        lobbyNetStartup();
        const ENetAddress local = lobbyAddress(localHost, 0);
        client.host = enet_host_create(localHost.empty() ? nullptr : &local, 1, 0, 0, 0);
        if (!client.host) {
            statusWrite("An error occurred while trying to create an ENet client host.", true);
            return false;
        }
        lobbyHostLimit(client.host);
    }
    const ENetAddress address = lobbyAddress(serverHost, port);
    client.peer = enet_host_connect(client.host, &address, channelCount, 0);
    if (!client.peer) {
        statusWrite("No available peers for initiating an ENet connection.", true);
        return false;
    }
    enet_peer_timeout(client.peer, 0, CONNECT_ATTEMPT_MS, CONNECT_ATTEMPT_MS);
    return true;
}

bool lobbyClientBusy(const LobbyClient& client) { return client.peer != nullptr; }

RoundTrip lobbyClientRoundTrip(const LobbyClient& client)
{
    if (!client.connected || !client.peer) return {};
    return {client.peer->roundTripTime / 1000.0, client.peer->roundTripTimeVariance / 1000.0};
}

int lobbyClientOwnSlot(const LobbyClient& client)
{
    return client.connected ? client.ownSlot : -1;
}

std::string_view lobbyClientOwnName(const LobbyClient& client)
{
    return lobbyClientOwnSlot(client) >= 0 ? fixedTextView(client.name) : std::string_view{};
}

void lobbyClientSetCallback(LobbyClient& client, PacketCallback callback)
{
    client.callback = callback;
}

void lobbyClientSetUserData(LobbyClient& client, void* userData) { client.userData = userData; }

void lobbyClientService(LobbyClient& client)
{
    if (!client.host) return;
    lobbyHostDrain(
        client.host,
        [&](ENetEvent& event) {
            switch (event.type) {
            case ENET_EVENT_TYPE_CONNECT: clientConnect(client, event.peer); break;
            case ENET_EVENT_TYPE_RECEIVE: clientReceive(client, event); break;
            case ENET_EVENT_TYPE_DISCONNECT: clientDisconnect(client, event.peer); break;
            default: break;
            }
        },
        timerDeadline(SERVICE_BUDGET_SECONDS));
}

void lobbyClientPushHistory(LobbyClient& client, std::string_view text)
{
    for (int line = HISTORY_LINES - 1; line > 0; --line) {
        fixedTextSet(client.history[line], fixedTextView(client.history[line - 1]));
    }
    fixedTextSet(client.history[0], text);
    ++client.historyPushed;
}

int lobbyClientLinesSince(const LobbyClient& client, std::uint32_t seen)
{
    const std::uint32_t fresh = client.historyPushed - std::min(seen, client.historyPushed);
    return static_cast<int>(std::min<std::uint32_t>(fresh, HISTORY_LINES));
}

bool lobbyClientSendBytes(LobbyClient& client, std::uint8_t channel,
                          std::span<const std::uint8_t> bytes, bool reliable)
{
    if (!client.host || !client.peer) return false;
    ENetPacket* packet =
        enet_packet_create(bytes.data(), bytes.size(), reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
    if (!packet) return false;
    if (!lobbyPeerSend(client.peer, channel, packet)) return false;
    if (reliable) enet_host_flush(client.host);
    return true;
}

void lobbyClientDisconnect(LobbyClient& client)
{
    if (client.connected && client.peer) enet_peer_disconnect(client.peer, 0);
}

void lobbyClientDestroy(LobbyClient& client)
{
    if (!client.host) return;
    enet_host_destroy(client.host);
    client.host = nullptr;
    client.peer = nullptr;
    client.connected = false;
    enet_deinitialize();
}

}  // namespace netduel
