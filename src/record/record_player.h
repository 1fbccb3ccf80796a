// Playing a recording back: a playhead on the recording's clock that feeds the recorded
// snapshots to a client view at their arrival times and the lobby lines to a panel, with
// pause, speed, skips and single steps. No window: the replay's frame loop draws it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "lobby/lobby.h"
#include "record/record.h"
#include "view/client_view.h"

namespace netduel {

inline constexpr double PLAYER_SPEED_MIN = 0.25;
inline constexpr double PLAYER_SPEED_MAX = 8.0;  // each step of the speed halves or doubles it
inline constexpr double PLAYER_SKIP = 5.0;       // s: Left and Right
inline constexpr double PLAYER_SKIP_LONG = 30.0; // s: with Shift
// s of snapshots a seek plays before its target: a full ring of the view's and every second
// of lateness its playout delay is sized by, so that it draws there the ships that playing
// straight to it draws.
inline constexpr double PLAYER_LEAD_IN =
    std::max(VIEW_SNAPSHOTS * VIEW_INTERVAL_START, static_cast<double>(VIEW_LATE_SECONDS));

struct RecordPlayer {
    RecordReader* reader = nullptr;
    ClientView view;                   // the ships, through the same view as during play
    MatchState match;                  // the newest snapshot as it came: the view's match
    LobbyClient panel;                 // the lobby lines at the playhead, and the recording
                                       // copy's link and own slot (lobbyClientOwnSlot) there
    std::array<std::string, SHIP_COUNT> players;
    double position = 0.0;             // s on the recording's clock
    double speed = 1.0;
    bool paused = false;
    std::size_t block = 0;             // the block `events` holds
    std::vector<RecordEvent> events;
    std::size_t next = 0;              // the first event of `events` not played yet
    bool ended = false;                // no event is left after `next`
    double lastSnapshot = -1.0;        // s: the newest snapshot played; -1: none yet
};

// Starts playing `reader` (open, with its index) from its beginning; `smoothing` as
// --no-smoothing leaves it. The own ship is not predicted: no control words were recorded.
void recordPlayerStart(RecordPlayer& player, RecordReader& reader, bool smoothing);

// Moves the playhead to `time` (clamped to the recording): the view starts afresh with
// the snapshots of PLAYER_LEAD_IN before it; the panel shows the lines as they stood.
void recordPlayerSeek(RecordPlayer& player, double time);

// One frame of `seconds` of real time: the playhead moves by seconds × speed unless
// paused, the events up to it are played, and the ships to draw are returned. At the end
// of the recording the playhead stays there, paused.
const MatchState& recordPlayerFrame(RecordPlayer& player, double seconds);

// Pauses and moves the playhead to the next snapshot; false at the end.
bool recordPlayerStep(RecordPlayer& player);

// Halves (steps < 0) or doubles (steps > 0) the speed, within 0.25× and 8×.
void recordPlayerSpeed(RecordPlayer& player, int steps);

}  // namespace netduel
