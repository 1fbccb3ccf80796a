// Match packet handler: control words steer ships on the host.
#pragma once

#include <cstdint>

#include "duel/match.h"
#include "lobby/lobby.h"

namespace netduel {

inline constexpr float TURN_RATE = 5.0f;       // rad/s while a turn key is held
inline constexpr float THRUST_SPEED = 250.0f;  // px/s while thrust is held

// Applies one control word: LEFT sets turnRate −5, RIGHT +5 (wins over LEFT), UP sets
// speed 250, FIRE sets fireRequest; clear bits and DOWN change nothing.
void shipApplyControl(Ship& ship, KeyFlags word);

// The host's stamp of the moment `now` (s of the program clock): milliseconds, modulo 2^32.
std::uint32_t hostSendStamp(double now);
// The stamp of the program clock as it reads now.
std::uint32_t hostClockStamp();

// Server callback: a control word on channel 1 from slot 0 or 1 steers that slot's ship
// in the MatchState found in the server's userData, and a word with fire sets its
// shotLag from the word's stamp (0 without one). Anything else (other channels, slots 2
// and up, payloads under 4 bytes) changes nothing. Returns 0.
std::int32_t serverKeyHandler(PacketEvent& event);

}  // namespace netduel
