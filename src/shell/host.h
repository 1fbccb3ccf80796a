// The host's part of a run, shared by the windowed host and the dedicated one: the lobby
// server with the control-word handler, the ships' start, and the host's half of a frame.
#pragma once

#include <cstdint>

#include "base/timer.h"
#include "duel/match.h"
#include "duel/rewind.h"
#include "lobby/lobby.h"

namespace netduel {

inline constexpr Vec2 SHIP0_START{50.0f, 384.0f};
inline constexpr Vec2 SHIP1_START{974.0f, 384.0f};
inline constexpr std::uint32_t SHIP0_COLOUR = 0xFF800000;  // dark red
inline constexpr std::uint32_t SHIP1_COLOUR = 0xFF000080;  // dark blue

// Resets the match and puts both ships at their start, in their colours.
void hostMatchStart(MatchState& match);

// "Creating server", then the lobby server on `port` for LOBBY_MAX_PEERS peers with the
// control words steering `match`, and "Host running!". False after "Host creation
// failed!", with `server.host` null.
bool hostCreate(LobbyServer& server, MatchState& match, std::uint16_t port);

// Starts a frame: inverts the toggle, reads the clock once into `lastTime` and measures
// the step as the previous reading minus that one (negative seconds, as the simulation
// wants them).
void hostClockAdvance(bool& frameToggle, double& lastTime, double& frameDt);

// The host's half of a frame: the simulation (simulateFrame, with the time long frames
// carry in `stepCarry`; with a `rewind`, shots judged where their shooters saw the other
// ship), with a `firstTo` (--first-to, 0: none) the score counted and a round ended at
// it (the lobby told the winner, the ships back at their start, 0-0), the snapshot
// broadcast (stamped with `now`, the frame's clock reading, and flushed) on frames whose
// toggle is set, then the lobby server serviced. Does nothing without a host. True when a
// snapshot went out, which is then copied to `sent` when given.
bool hostFrame(LobbyServer& server, MatchState& match, double frameDt, bool frameToggle,
               double& stepCarry, Snapshot* sent = nullptr, double now = timerSeconds(),
               ShotRewind* rewind = nullptr, int firstTo = 0);

}  // namespace netduel
