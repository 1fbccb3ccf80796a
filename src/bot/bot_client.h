// Computer player on the network: a lobby client of its own that joins a host, learns its
// ship from its slot, sees the snapshots and sends control words as a person's copy does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "bot/bot_brain.h"
#include "duel/match.h"
#include "lobby/lobby.h"

namespace netduel {

inline constexpr double BOT_RETRY_SECONDS = 5.0;  // s between attempts while not connected

struct BotClient {
    LobbyPair net;         // only the client is used; closing the pair says goodbye
    MatchState seen;       // the newest snapshot
    BotBrain brain;
    std::string serverHost;
    std::uint16_t port = 0;
    std::string name;      // asked for after every connection; empty: none
    double nextAttempt = 0.0;  // s: the next connection attempt, while not connected
    double clock = 0.0;        // s: the round's clock; snapshots heard in it arrived then
    int wordsSent = 0;
};

// Prepares a computer player for `serverHost`:`port` at `level`, named `name` once
// connected; nothing opens before the first botClientPlay.
void botClientSetup(BotClient& bot, std::string_view serverHost, std::uint16_t port,
                    const BotLevel& level, std::string_view name, std::uint64_t seed);

// One round at `now`: connects (again every BOT_RETRY_SECONDS while not connected),
// services the client, asks for the name, and sends the word the brain chooses on
// channel 1, flushed at once. False, after one status line and a goodbye, when the
// server gave it a slot that steers no ship; it has then left for good.
bool botClientPlay(BotClient& bot, double now);

// Client callback: a snapshot on channel 2 becomes the newest sight of the BotClient in
// the client's userData, seen at its `clock`; anything else is dropped. Returns 0.
std::int32_t botClientSnapshotHandler(PacketEvent& event);

// The ship this player steers: its slot once learnt, −1 before.
int botClientShip(const BotClient& bot);

// Asks the server to end the connection and sends that at once; botClientStop finishes.
void botClientLeave(BotClient& bot);

// Says goodbye (waiting up to FAREWELL_SECONDS) and destroys the client; any state.
void botClientStop(BotClient& bot);

}  // namespace netduel
