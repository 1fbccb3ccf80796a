// Recording a running copy: a windowed copy's client as it hears the match, a dedicated
// host's stretches with both ships held, and the folder those go to.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "lobby/lobby.h"
#include "record/record.h"

namespace netduel {

inline constexpr int RECORD_KEEP_DEFAULT = 20;  // --record-keep: files a dedicated host keeps

// ---- Who holds the ships --------------------------------------------------------------

// Follows the ships' holders through the lobby lines a client hears ("* Anonymous1
// connected =)", "* A is now known as B", "* B disconnected =("). Names of players who
// came and chose them before the recording began stay unknown. True when `players` changed.
bool recordRosterFollow(std::array<std::string, SHIP_COUNT>& players, std::string_view line);

// ---- Recording a running copy ---------------------------------------------------------

// A windowed copy's recording: what its client hears, and the holders of the ships as
// far as the lines tell them.
struct RecordClient {
    RecordWriter writer;
    std::uint32_t linesSeen = 0;  // the client's historyPushed when last looked at
    std::array<std::string, SHIP_COUNT> players;
    int slot = -1;
    bool connected = false;
};

// Once a frame, after the client's service: the lines its history took since the last
// frame, its slot and connection as they stand now, then the block tick.
void recordClientFrame(RecordClient& recording, const LobbyClient& client, double now);

// A dedicated host's recordings: one file in `directory` for each stretch in which both
// ships are held, at most `keep` of them.
struct RecordHost {
    std::string directory;  // empty: nothing is recorded
    int keep = RECORD_KEEP_DEFAULT;
    RecordWriter writer;    // open during a stretch
    std::array<std::string, SHIP_COUNT> players;
    bool failed = false;    // this stretch's file could not be written: wait for the next
    double clock = 0.0;     // s: the frame's clock reading, set before the server is serviced
};

// A LobbyTap's function for the server's broadcast notices, recorded as the line a
// client's history shows for each; the context is the RecordHost.
void recordHostHeard(void* recording, std::string_view notice);

// Once a frame, after the host's half of it: starts or ends the stretch by who holds the
// ships, records `sent` (the snapshot broadcast this frame, or null) and the holders'
// names, and ticks the block.
void recordHostFrame(RecordHost& recording, const LobbyServer& server, const Snapshot* sent, double now);

// Ends the stretch that is being recorded, if any.
void recordHostClose(RecordHost& recording);

// ---- A dedicated host's folder --------------------------------------------------------

// The file name of the `number`th recording that starts at `startSeconds` (Unix time) in
// `directory`: "match-YYYYMMDD-HHMMSS.ndrec", UTC, for 1, then "-2", "-3", ….
std::string recordDirPath(const std::string& directory, std::int64_t startSeconds, unsigned number = 1);

// Starts a recording in `directory` under the first of those names that no file (nor a
// link, nor another host's recording begun at the same moment) takes: created anew,
// never over a file. False, with one status line and nothing open, when none can be.
bool recordDirOpen(RecordWriter& writer, const std::string& directory, std::int64_t startSeconds, double now);

// Removes the oldest of this program's recordings in `directory` (by their names) until
// at most `keep` are left; other files are never touched. Returns how many it removed.
int recordDirPrune(const std::string& directory, int keep);

}  // namespace netduel
