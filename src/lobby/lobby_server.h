// Lobby server: the host's ENet endpoint with its slot table, chat relay and keep-alive.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/rate_limit.h"
#include "lobby.h"
#include "lobby_protocol.h"

namespace netduel {

// Most peers one address may hold at once, connected or still connecting. A few copies
// on one machine or behind one home router are the legitimate case (the end-to-end tests
// run four from one address); six keeps one address to under a quarter of the places.
inline constexpr std::size_t PEERS_PER_ADDRESS = 6;

// Seconds a connection may take to complete before the server drops the attempt. ENet
// repeats a lost handshake reply after waits of about 0.5, 1 and 2 seconds, so a slow but
// real peer is through well within this, while an attempt nobody completes frees its place.
inline constexpr double HALF_OPEN_SECONDS = 5.0;

// Bytes a connected peer may send within one of ENet's one-second accounting periods;
// past them its datagrams are dropped unread for the rest of that second. A client sends
// about 1 KiB a second (control words, acknowledgements, a chat line), a burst of eight of
// the longest texts about 4 KiB. A dropped datagram costs the host one read, where its
// packets would cost ENet an allocation and the server an event each.
inline constexpr std::size_t PEER_BYTES_PER_SECOND = 16 * 1024;

// Receive buffer asked for the host's socket, bytes (the system caps it at
// net.core.rmem_max). A host that sleeps between its service calls instead of waiting in
// lobbyServerWaitUntil reads its socket once a frame; the buffer holds what arrives
// meanwhile, where ENet's own 256 KiB holds a fraction of a frame of a flood.
inline constexpr int SERVER_RECEIVE_BUFFER = 4 * 1024 * 1024;

// Longest one service call, the server's or the client's, keeps handling events and
// reading datagrams, seconds. A frame at 60 a second lasts
// 16.7 ms, of which the 3 ms pause, drawing (0.4 ms measured), the client's service and the
// simulation take under 5 ms; 4 ms leaves room for the call to run past it by what ENet
// reads in one go (up to 256 datagrams, a few ms in a flood) and the frame still to end on
// time. What a flood brings beyond it waits for the next frame.
inline constexpr double SERVICE_BUDGET_SECONDS = 0.004;

// Packets the host only hands on or ignores (control words, texts it does not act on).
// A client sends at most 20 words a second, which the network may bunch: 25 a second
// with half a second's worth at once covers that. 50 drops within a second means a
// sender at well over three times a client's rate.
inline constexpr RateRule CONTROL_RULE{25.0, 10.0, 50};

// Requests the host answers or relays (SAY, REN, WHO) and texts over TEXT_REQUEST_LIMIT.
// Eight at once, then one a second, lets a person chat freely; 10 drops within a second
// is no person typing.
inline constexpr RateRule TEXT_RULE{1.0, 8.0, 10};

// A slot that floods under either rule for this many windows in a row (about two seconds)
// is disconnected.
inline constexpr int FLOOD_WINDOWS = 2;

// Starts ENet for the server and the client. False after writing its status line.
bool lobbyNetStartup();

// Listens on `port` of `hostName` (empty: every interface) for `peerCount` peers, at most
// PEERS_PER_ADDRESS from one address, with the host limits of lobby_host.h, a socket
// buffer of SERVER_RECEIVE_BUFFER and PEER_BYTES_PER_SECOND for each peer, and schedules
// the first keep-alive. False, with a status line and `host` null, on failure.
bool lobbyServerCreate(LobbyServer& server, std::string_view hostName, std::uint16_t port,
                       std::size_t peerCount);

// Installs the handler for packets on channels 1…9 (none installed: they are dropped).
void lobbyServerSetCallback(LobbyServer& server, PacketCallback callback);

// Installs what the handler finds in `server.userData`.
void lobbyServerSetUserData(LobbyServer& server, void* userData);

// Handles the pending ENet events until none is left or SERVICE_BUDGET_SECONDS are
// spent, reading on past a datagram ENet refuses; flushes what that sent once, drops
// connection attempts older than HALF_OPEN_SECONDS, then pings every connected peer when the keep-alive is due. A slot
// over its allowance has its packets dropped, and is disconnected and announced like any
// departure once it has flooded for FLOOD_WINDOWS seconds. Does nothing without a host.
void lobbyServerService(LobbyServer& server);

// Services the server as datagrams arrive until the steady clock reaches `until`, waiting
// on its socket in between, each service ending by `until`. A host that read its socket
// only once a frame would lose its players' datagrams behind a flood: the kernel caps the
// socket's buffer at net.core.rmem_max, 208 KiB on a stock system, three datagrams of
// 64 KiB. Returns early on a signal; without a host it only sleeps.
void lobbyServerWaitUntil(LobbyServer& server, std::chrono::steady_clock::time_point until);

// Handles one channel-0 request from connected `slot` as the service does: the slot's
// allowance, the text limit, then SAY, REN or WHO. Needs no ENet host (nothing is sent
// without one); what it sends is queued for the next flush. Ignores a free slot. `now`:
// program-clock seconds, for the allowance and the name rules.
void lobbyServerHandleRequest(LobbyServer& server, std::size_t slot,
                              std::span<const std::uint8_t> payload, double now);

// Sends `text` and its NUL reliably to every connected peer on `channel`, flushed.
// Does nothing without a host.
void lobbyServerBroadcastText(LobbyServer& server, std::uint8_t channel, std::string_view text);

// Sends `text` and its NUL reliably on channel 0 to one connected slot, flushed.
// Does nothing for a slot that is out of range or free.
void lobbyServerSendText(LobbyServer& server, std::int32_t slot, std::string_view text);

// Broadcasts `bytes` unreliably on `channel` and flushes. False without a host.
bool lobbyServerBroadcastBytes(LobbyServer& server, std::uint8_t channel,
                               std::span<const std::uint8_t> bytes);

// True while the peer that steers `ship` (slot `ship`) is connected.
bool lobbyServerShipHeld(const LobbyServer& server, std::size_t ship);

// How many of the two ships a connected peer steers: 0, 1 or 2.
int lobbyServerShipsHeld(const LobbyServer& server);

// The name of the peer that steers `ship` while lobbyServerShipHeld; empty otherwise.
std::string_view lobbyServerShipHolder(const LobbyServer& server, std::size_t ship);

// The who-is-here figures of a slot that holds a peer: its name and number and the
// statistics ENet keeps for that peer. Never fails.
PeerStats lobbyServerSlotStats(const ClientSlot& client);

// Asks every connected peer to disconnect; each leaves its slot in a later service, when
// it has acknowledged. Does nothing without a host.
void lobbyServerDisconnectAll(LobbyServer& server);

// Destroys the ENet host and ends ENet; safe on a server never created or destroyed twice.
void lobbyServerDestroy(LobbyServer& server);

}  // namespace netduel
