// Lobby client: every copy's ENet connection to the host, with its five-line chat history.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "lobby.h"

namespace netduel {

// Creates a one-peer ENet host and starts connecting to `serverHost` (empty: the
// address part stays 0) on `port` with `channelCount` channels. The connection
// completes later inside lobbyClientService. False, with a status line, when the host
// cannot be made (`host` stays null) or no connection can be started (`peer` stays null).
bool lobbyClientConnect(LobbyClient& client, std::string_view serverHost, std::uint16_t port,
                        std::size_t channelCount);

// Installs the handler for packets on channels 1…9 (none installed: they are dropped).
void lobbyClientSetCallback(LobbyClient& client, PacketCallback callback);

// Installs what the handler finds in `client.userData`.
void lobbyClientSetUserData(LobbyClient& client, void* userData);

// Handles the pending ENet events (a few hundred at most): notices on channel 0
// become history lines, other channels go to the callback. Does nothing without a host.
void lobbyClientService(LobbyClient& client);

// Scrolls the history down one line and puts the first 150 characters of `text` on top.
void lobbyClientPushHistory(LobbyClient& client, std::string_view text);

// Sends `bytes` to the server on `channel`; a reliable send also flushes the host.
// False when there is no peer or ENet refuses the packet (not connected yet or any more).
bool lobbyClientSendBytes(LobbyClient& client, std::uint8_t channel,
                          std::span<const std::uint8_t> bytes, bool reliable);

// Destroys the ENet host and ends ENet; safe on a client that never connected.
void lobbyClientDestroy(LobbyClient& client);

}  // namespace netduel
