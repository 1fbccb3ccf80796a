// Lobby server: the host's ENet endpoint with its slot table, chat relay and keep-alive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "lobby.h"
#include "lobby_protocol.h"

namespace netduel {

// Starts ENet for the server and the client. False after writing its status line.
bool lobbyNetStartup();

// Listens on `port` of `hostName` (empty: every interface) for `peerCount` peers and
// schedules the first keep-alive. False, with a status line and `host` null, on failure.
bool lobbyServerCreate(LobbyServer& server, std::string_view hostName, std::uint16_t port,
                       std::size_t peerCount);

// Installs the handler for packets on channels 1…9 (none installed: they are dropped).
void lobbyServerSetCallback(LobbyServer& server, PacketCallback callback);

// Installs what the handler finds in `server.userData`.
void lobbyServerSetUserData(LobbyServer& server, void* userData);

// Handles the pending ENet events (a few hundred at most), then pings every
// connected peer when the keep-alive is due. Does nothing without a host.
void lobbyServerService(LobbyServer& server);

// Sends `text` and its NUL reliably to every connected peer on `channel`, flushed.
// Does nothing without a host.
void lobbyServerBroadcastText(LobbyServer& server, std::uint8_t channel, std::string_view text);

// Sends `text` and its NUL reliably on channel 0 to one connected slot, flushed.
// Does nothing for a slot that is out of range or free.
void lobbyServerSendText(LobbyServer& server, std::int32_t slot, std::string_view text);

// Broadcasts `bytes` unreliably on `channel` and flushes. False without a host.
bool lobbyServerBroadcastBytes(LobbyServer& server, std::uint8_t channel,
                               std::span<const std::uint8_t> bytes);

// The who-is-here figures of a slot that holds a peer: its name and number and the
// statistics ENet keeps for that peer. Never fails.
PeerStats lobbyServerSlotStats(const ClientSlot& client);

// Asks every connected peer to disconnect; each leaves its slot in a later service, when
// it has acknowledged. Does nothing without a host.
void lobbyServerDisconnectAll(LobbyServer& server);

// Destroys the ENet host and ends ENet; safe on a server never created or destroyed twice.
void lobbyServerDestroy(LobbyServer& server);

}  // namespace netduel
