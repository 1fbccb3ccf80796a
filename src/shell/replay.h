// Replay: a recording played in the window through the client's view, with the keys that
// move through it and its bar along the bottom, until Escape.
#pragma once

#include <span>
#include <string>

#include "display/display.h"
#include "record/record_player.h"
#include "shell/options.h"
#include "sound/sound.h"

namespace netduel {

inline constexpr int SCAN_SHIFT_LEFT = 42;
inline constexpr int SCAN_SHIFT_RIGHT = 54;

// One typed key (as readKey gives it) on the player: Space pauses or plays (from the start
// again once at the end), Left and Right skip PLAYER_SKIP back and on (PLAYER_SKIP_LONG
// with `shift`), Home and End, 0–9 jump to 0–90 %, - and + (or =) halve and double the
// speed, . steps one snapshot. False for any other key.
bool replayKey(RecordPlayer& player, const std::string& key, bool shift);

// --replay FILE, before any window opens: false after one line on standard error when the
// file is refused; a cut or damaged file's end is told on the status stream.
bool replayOpen(RecordReader& reader, const std::string& path);

// Plays the open recording in the open window until Escape or a stop, heard as the
// recording copy heard the match; the keys `muteKeys` (scan codes, 0: none) mute, and a
// jump starts the sound's watch afresh.
void replayRun(Display& display, Sound& sound, RecordReader& reader, const Options& options,
               std::span<const int> muteKeys);

}  // namespace netduel
