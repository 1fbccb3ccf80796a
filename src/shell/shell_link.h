// The play mode's connection: the lobby pair, where J connects, the match as heard and
// drawn, the control words' outbox, the network figures and the client's recording.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "duel/match.h"
#include "lobby/lobby.h"
#include "record/record_live.h"
#include "view/client_view.h"
#include "view/control_outbox.h"
#include "view/overlay.h"

namespace netduel {

struct ShellLink {
    LobbyPair net;
    MatchState match;           // the host's own when hosting, else the newest snapshot
    MatchState seen;            // a hosting copy's snapshots, kept off the match it simulates
    std::uint16_t port = 0;     // the lobby port hosted on and connected to
    std::string serverAddress;  // where J connects
    std::string chatName;       // asked for after every connection; empty: none
    ControlOutbox outbox;       // the presses not sent yet and the words' cadence
    ClientView view;            // what the frame draws of the match
    OverlayFigures figures;     // F3's figures, counted every frame
    RecordClient recording;     // --record: what the client hears, while its file is open
};

// Where this copy's client writes the snapshots it receives. A hosting copy's own come
// a frame or two late: written over the match it simulates, they would undo whatever
// the host did since, such as the turn of a control word served in between.
MatchState* shellLinkSnapshotTarget(ShellLink& link);

// A snapshot heard in the frame whose clock reading is `now` (s): to the view, and while
// recording into the file as it came.
void shellLinkReceive(ShellLink& link, std::span<const std::uint8_t> bytes, double now);

// Every second frame and at most every 0.05 s, while a control is held (`held`) or a
// press waits; flushed at once, so the word does not wait for the next frame's service.
void shellLinkSendControl(ShellLink& link, KeyFlags held, bool frameToggle, double now);

// The ships as this copy shows them, `frameDt` (negative s) after the last frame at the
// frame's clock reading `now`, and the overlay's lines in `lines` when `overlay` asks.
const MatchState& shellLinkViewFrame(ShellLink& link, double frameDt, double now, bool overlay,
                                     std::vector<std::string>& lines);

// "address:port" of where J connects.
std::string shellLinkServerLabel(const ShellLink& link);

}  // namespace netduel
