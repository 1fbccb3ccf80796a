// Frame rendering: both ships with heading lines and bullets, the top panel with the
// chat prompt and the five history lines, drawn whole and shown at the next retrace.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "duel/match.h"
#include "lobby/lobby.h"
#include "display/display.h"

namespace netduel {

inline constexpr int FRAME_PAUSE_MS = 3;           // the pause after every frame's drawing, play's and a replay's
inline constexpr double SHIP_BODY_RADIUS = 10.0;   // px
inline constexpr double HEADING_LENGTH = 15.0;     // px from the centre towards the nose
inline constexpr double BULLET_RADIUS = 2.0;       // px
inline constexpr std::uint32_t HIT_BLINK_COLOUR = 0xFFFFFFFF;
inline constexpr std::uint32_t BULLET_COLOUR = 0xFFFFFF00;
inline constexpr std::uint32_t PANEL_FILL = 0xFF404040;
inline constexpr std::uint32_t PANEL_FRAME = 0xFFC8C800;
inline constexpr double PANEL_BOTTOM = 60.0;       // px, inclusive
inline constexpr double HIT_BLINK_RATE = 100.0;    // rad/s of sin(t·rate): white while < 0
inline constexpr double PROMPT_BLINK_RATE = 10.0;  // rad/s of sin(t·rate): "> " while > 0
inline constexpr double HISTORY_TOP = 10.0;        // px: line i at HISTORY_TOP + i·HISTORY_STEP
inline constexpr double HISTORY_STEP = 10.0;
inline constexpr double OVERLAY_MARGIN = 4.0;      // px: the overlay box off the edges, its text off the box
inline constexpr double SCORE_MARGIN = 4.0;        // px: the score's row below the panel
inline constexpr double BAR_TOP = DISPLAY_HEIGHT - 14.0;  // px: a replay's bar fills the rows below
inline constexpr double BAR_PROGRESS_ROWS = 2.0;   // px: the played share, along the bar's top

// A replay's bar along the bottom edge: where the playhead stands in the recording.
struct PlaybackBar {
    double position = 0.0;  // s
    double length = 0.0;    // s
    double speed = 1.0;
    bool paused = false;
};

// What the bar says: "12.3 / 63.4 s  2x", and "  paused" while paused.
std::string playbackBarText(const PlaybackBar& bar);

// Clears and paints one frame from the match and the client (the history and the chat
// prompt only once the client has a host; outside chat mode `hint` on the panel's top
// row; the `overlay` lines right-aligned in a box in the field's bottom-right corner; with a
// `bar`, a replay's: the bar along the bottom, and the history also without a host; when
// the ships' spare words carry a score, the score centred below the panel, each ship named
// by `shipNames` where it gives a name, else "ship 0" or "ship 1"), waits for the retrace
// and shows it. Never fails.
void drawFrame(Display& display, const MatchState& match, const LobbyClient& client,
               bool chatMode, std::string_view chatEcho, std::string_view hint = {},
               std::span<const std::string> overlay = {}, const PlaybackBar* bar = nullptr,
               std::span<const std::string> shipNames = {});

}  // namespace netduel
