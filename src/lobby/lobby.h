// Lobby records shared by the server, the client, the packet handlers and the shell.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include <enet/enet.h>

#include "base/rate_limit.h"
#include "status_query.h"

namespace netduel {

inline constexpr int NAME_CHARS = 32;      // longest chat name
inline constexpr int HISTORY_LINES = 5;    // chat history lines a client keeps
inline constexpr int HISTORY_CHARS = 150;  // longest history line
// Most seconds lobbyPairClose waits for the peers' answers to its goodbye: several round
// trips across the internet, yet short enough that quitting still feels immediate.
inline constexpr double FAREWELL_SECONDS = 1.0;

struct LobbyServer;
struct ClientSlot;
using LobbyClient = ClientSlot;

// What a server or client hands its callback for every packet on a channel other than 0.
// Lives only for the call; the caller destroys the packet right after it.
struct PacketEvent {
    std::uint32_t unused0[3] = {};
    ENetEvent* event = nullptr;     // the receive event: channelID, peer, packet
    std::uint32_t unused1 = 0;
    LobbyServer* server = nullptr;  // the receiving server; null on the client side
    LobbyClient* client = nullptr;  // the receiving client; null on the server side
};

// Handles one packet on channels 1…9; the result is ignored.
using PacketCallback = std::int32_t (*)(PacketEvent& event);

// The received payload of a receive event, as bytes; never read past its length.
inline std::span<const std::uint8_t> packetBytes(const ENetEvent& event)
{
    return {event.packet->data, event.packet->dataLength};
}

// Hands a received packet to `callback` with `server` or `client` set (the other null);
// a callback that was never installed drops it.
inline void packetEventDeliver(PacketCallback callback, ENetEvent& event, LobbyServer* server,
                               LobbyClient* client)
{
    if (!callback) return;
    PacketEvent packetEvent;
    packetEvent.event = &event;
    packetEvent.server = server;
    packetEvent.client = client;
    callback(packetEvent);
}

// Told each text a server broadcasts on channel 0 (a dedicated host's recording listens
// so); unset, nobody is told. A client's lines are read from its history instead.
struct LobbyTap {
    void (*told)(void* context, std::string_view text) = nullptr;
    void* context = nullptr;
};

inline void lobbyTapTell(const LobbyTap& tap, std::string_view text)
{
    if (tap.told) tap.told(tap.context, text);
}

// One record type for a server's peer slot and for the client object: the server's
// table uses id, connected, peer, name and the two allowances; a client uses peer,
// host, userData, callback, history and name (its own, as the server's notices tell it).
struct ClientSlot {
    std::int32_t id = 0;          // slot number while connected, −1 after the peer left
    bool connected = false;       // a peer holds the slot / the client's connection is up
    ENetPeer* peer = nullptr;     // the slot's peer / the client's attempt or connection
    ENetHost* host = nullptr;     // the client's own ENet host; kept from the first J on
    void* userData = nullptr;     // handed through to the callback (the MatchState)
    char name[NAME_CHARS + 1] = {};
    PacketCallback callback = nullptr;
    char history[HISTORY_LINES][HISTORY_CHARS + 1] = {};  // line 0 is the newest
    std::uint32_t historyPushed = 0;  // lines put into the history, ever: tells which are new
    RateLimiter controlAllowance;  // packets the host only hands on or ignores
    RateLimiter textAllowance;     // requests the host answers or relays
    bool oversized = false;        // sent a fragment of a packet over the host's limit
    // The client's own slot, from the "NEW " notice that follows its welcome whisper.
    bool welcomed = false;         // the welcome came; the next "NEW " names this client
    std::int32_t ownSlot = -1;     // -1 until that notice came
};

// An ENet peer of the server's host whose connection has not completed yet.
struct HalfOpenPeer {
    bool seen = false;            // the server has seen this attempt
    std::uint32_t connectID = 0;  // which attempt: a new one on the same peer starts over
    double since = 0.0;           // program-clock seconds when it was first seen
};

struct LobbyServer {
    double nextPingTime = 0.0;    // program-clock seconds of the next keep-alive pass
    double serviceNow = 0.0;      // program-clock seconds the service under way read at its start
    ENetHost* host = nullptr;     // the listening host; null until created
    std::vector<ClientSlot> clients;  // indexed by slot number; never shrinks
    std::int32_t running = 0;     // set to 1 by the shell after a successful create
    void* userData = nullptr;     // handed through to the callback (the MatchState)
    PacketCallback callback = nullptr;
    std::vector<HalfOpenPeer> halfOpen;  // indexed like the host's peers
    bool dedicated = false;       // told in status answers: a host without a player
    std::uint32_t statusToken = 0;  // drawn at create; tells this host apart in answers
    StatusLimiter statusLimiter;  // answers to status queries, per source address
    LobbyTap told;                // each channel-0 text broadcast to every peer
};

// The lobby networking of one copy: its server (used only when hosting) and its client.
struct LobbyPair {
    LobbyServer server;
    LobbyClient client;
};

// Makes the server part new (empty table) and zeroes the client part; touches no network.
void lobbyPairInit(LobbyPair& net);

// Says goodbye and destroys both ENet hosts: every connected peer of the server and the
// client's server are told to disconnect, and both are serviced until each has
// acknowledged or FAREWELL_SECONDS have passed. Safe on a pair without hosts.
void lobbyPairClose(LobbyPair& net);

// Frees the server's slot and attempt tables; leaves the client part and the network alone.
void lobbyPairDestroy(LobbyPair& net);

}  // namespace netduel
