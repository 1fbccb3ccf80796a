// Lobby client: every copy's ENet connection to the host, with its five-line chat history.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "lobby.h"

namespace netduel {

// ms an attempt may go unanswered before it fails, so that J can try again soon; a
// connection that is up keeps ENet's own, more patient time-outs.
inline constexpr std::uint32_t CONNECT_ATTEMPT_MS = 5000;

// True when `serverHost` is a name or an IPv4 address that resolves to an IPv4 address.
bool lobbyClientResolves(std::string_view serverHost);

// Starts a connection attempt to `serverHost` (empty: the address part stays 0) on
// `port` with `channelCount` channels, creating the one-peer ENet host on the first
// call and reusing it afterwards. The connection completes later inside
// lobbyClientService. False, with a status line, while an attempt or a connection
// exists, when the host cannot be made (`host` stays null) or when no connection can
// be started (`peer` stays null).
bool lobbyClientConnect(LobbyClient& client, std::string_view serverHost, std::uint16_t port,
                        std::size_t channelCount);

// As lobbyClientConnect, with the client's ENet host bound to `localHost` (any port) when
// the host is created: for a machine with several addresses, and for tests that need
// peers from distinct loopback addresses. An empty `localHost` binds nothing.
bool lobbyClientConnectFrom(LobbyClient& client, std::string_view localHost,
                            std::string_view serverHost, std::uint16_t port,
                            std::size_t channelCount);

// True from a started attempt until its failure or the end of the connection it made.
bool lobbyClientBusy(const LobbyClient& client);

// The slot the server gave this client (0 and 1 steer ships 0 and 1), learnt from the
// "NEW " notice that follows the welcome whisper; −1 until then and while not connected.
int lobbyClientOwnSlot(const LobbyClient& client);

// The chat name the server gave this client: its arrival name, then whatever the rename
// notices of that name say; empty until then and while not connected.
std::string_view lobbyClientOwnName(const LobbyClient& client);

// Installs the handler for packets on channels 1…9 (none installed: they are dropped).
void lobbyClientSetCallback(LobbyClient& client, PacketCallback callback);

// Installs what the handler finds in `client.userData`.
void lobbyClientSetUserData(LobbyClient& client, void* userData);

// Handles the pending ENet events for at most SERVICE_BUDGET_SECONDS, reading on past a
// datagram ENet refuses (one longer than its buffer): a completed connection sets
// `connected`; notices on channel 0 become history lines, other channels go to the
// callback; a failed attempt or a lost connection clears `connected` and `peer` and
// leaves a "disconected." line. Does nothing without a host.
void lobbyClientService(LobbyClient& client);

// Scrolls the history down one line, puts the first 150 characters of `text` on top and
// counts the line in `historyPushed`.
void lobbyClientPushHistory(LobbyClient& client, std::string_view text);

// How many of the history lines came after the first `seen` were pushed: 0…HISTORY_LINES,
// the oldest of them at history[n − 1]; lines past the five kept are gone. A client made
// anew counts from 0 again, so a `seen` beyond its count means all of its lines are new.
int lobbyClientLinesSince(const LobbyClient& client, std::uint32_t seen);

// Sends `bytes` to the server on `channel`; a reliable send also flushes the host.
// False when there is no peer or ENet refuses the packet (not connected yet or any more).
bool lobbyClientSendBytes(LobbyClient& client, std::uint8_t channel,
                          std::span<const std::uint8_t> bytes, bool reliable);

// The connection's round trip and its variance as ENet measures them, in seconds; both
// 0 while not connected.
struct RoundTrip {
    double mean = 0.0;
    double variance = 0.0;
};
RoundTrip lobbyClientRoundTrip(const LobbyClient& client);

// Asks the server to end the connection; the end arrives later in lobbyClientService.
// Does nothing unless connected.
void lobbyClientDisconnect(LobbyClient& client);

// Destroys the ENet host and ends ENet; safe on a client that never connected.
void lobbyClientDestroy(LobbyClient& client);

}  // namespace netduel
