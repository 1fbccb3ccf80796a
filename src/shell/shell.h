// Game shell: the play mode's frame loop — keys, the connection, the host's simulation
// and the frame drawing, until Escape is held — over the records each part owns.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bot/bot_client.h"
#include "display/display.h"
#include "duel/match.h"
#include "find/host_finder.h"
#include "hostlist/list_client.h"
#include "lobby/lobby.h"
#include "portmap/port_map.h"
#include "record/record_live.h"
#include "settings/settings.h"
#include "shell/shell_start.h"
#include "sound/sound.h"
#include "view/client_view.h"
#include "view/control_outbox.h"
#include "view/overlay.h"

namespace netduel {

// The play mode's connection: the lobby pair, where J connects, the match as heard and
// drawn, the control words' outbox, the network figures and the client's recording.
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

// A hosting copy's extras beside its lobby server: the internet list's registrations,
// the router's port mapping, the practice opponent and the time long frames carry.
struct ShellHosting {
    HostRegistrar registrar;    // a host's registrations at the internet list
    PortMapper portMapper;      // a host's port mapping at the router
    std::unique_ptr<BotClient> practiceBot;  // --practice: the computer opponent, ship 1
    double stepCarry = 0.0;     // s of simulation long frames left over
};

// Once the server runs on `port`: the practice opponent `start` asks for (set up, not
// joined yet), the port mapping and the registration at the list.
void shellHostingStart(ShellHosting& hosting, const ShellStart& start, std::uint16_t port);

// After the host's frame at the clock reading `now` (s): the registrations kept fresh
// with the ships still free, and the opponent's turn, which joins once the player holds
// ship 0 (`ownSlot`) and plays in this process's frames.
void shellHostingFrame(ShellHosting& hosting, const LobbyServer& server, int ownSlot, double now);

// Before the lobby closes: the opponent says goodbye (heard in the server's farewell),
// the registration and the port mapping end.
void shellHostingLeave(ShellHosting& hosting);

// After the lobby closed: the opponent's client is gone.
void shellHostingClose(ShellHosting& hosting);

// Finding a host for a copy that does not host: --find's search of the LAN or of the
// list's hosts, and the host picked under "Create Host?".
struct ShellSearch {
    HostFinder finder;          // --find's search while `finding`
    bool finding = false;
    bool findMissed = false;    // the search ended with no host answering
    bool findListed = false;    // --find --internet: the search asks the list's hosts
    std::optional<FoundHost> browsed;  // the host picked under "Create Host?"
};

// Asks "Create Host?" with the hosts found on the LAN and `start`'s list (beside `port`)
// shown under it; the reply, or none when the player left there.
std::optional<std::string> shellSearchAsk(ShellSearch& search, Display& display, const ShellStart& start,
                                          std::uint16_t port);

// --find: the LAN (beside `port`) or the list's hosts are asked at the start.
void shellSearchStart(ShellSearch& search, const ShellStart& start, std::uint16_t port);

// Polls the search at the frame's clock reading `now` (s); once it is over, says what
// it found and returns the host chosen, to be joined as --join would.
std::optional<FoundHost> shellSearchStep(ShellSearch& search, double now);

// What the settings keep of a run: the host joined last, the name the lobby granted as
// typed with /name, and the window and sound where the player changed them.
struct ShellKept {
    std::string joinedHost;     // the host joined last, other than this copy or --join's
    std::uint16_t joinedPort = 0;
    bool joinGiven = false;     // --join: its host holds for the run, the settings do not keep it
    std::optional<std::string> askedName;  // the name last typed with /name, until the lobby grants it
    bool nameChosen = false;    // the lobby granted a name typed in chat
    DisplayWindow windowAtStart;  // the window as opened: the settings keep only the player's changes
    SoundSettings soundAtStart;   // the sound as opened (set once it is open), likewise
};

// A chat line sent: when it asks for a name, the name is the player's once the lobby grants it.
void shellKeptAsked(ShellKept& kept, std::string_view line);

// After the client's service (`wasConnected` before it): the host joined, unless it is
// this copy or --join's, and the name typed with /name once the lobby grants it, which
// becomes the link's chat name (the server keeps its first 32 characters).
void shellKeptLobby(ShellKept& kept, ShellLink& link, bool wasConnected);

// `saved` with what the player changed: the granted name (`chatName`), the host joined
// last, and the window (`shown`) and sound (`heard`) where they differ from the start.
Settings shellKeptSettings(const ShellKept& kept, std::string_view chatName, const DisplayWindow& shown,
                           const SoundSettings& heard, Settings saved);

struct Shell {
    Display display;
    std::string answer;         // reply to "Create Host?"
    ShellLink link;             // the connection and what the frame shows of it
    ShellHosting hosting;       // a hosting copy's extras beside its server
    ShellSearch search;         // --find's search and the pick under the question
    ShellKept kept;             // what the settings keep of the run
    bool connectNow = false;    // the next frame connects as if J were held
    bool chatMode = false;
    int chatOpener = 0;         // scan code of the key that opened chat mode, until it is let go
    std::string chatEcho;       // the chat line as chatInput last returned it
    KeyFlags controlWord = 0;
    bool controlActive = false; // a control key or the circling latch fed this frame's word
    bool autoCircle = false;    // latched by R for the rest of the run
    bool frameToggle = true;    // inverted first thing every frame
    double lastTime = 0.0;      // s, timer reading of the previous frame
    double frameDt = 0.0;       // s, previous minus current reading: negative
    bool overlay = false;       // F3: the network figures over the field
    Sound sound;                // opened beside the window; silent without a device
    Bindings bindings = bindingsDefault();  // the keys each game key answers to
};

// `saved` with what the player changed in this run: the chat name the lobby granted as
// typed with /name, the host joined last (not --join's), and the window, volume and mute
// where they differ from the run's start. Options hold for their run only.
Settings shellSettings(const Shell& shell, Settings saved);

// The keys each game key answers to from now on, the window's full-screen keys among them.
void shellBind(Shell& shell, const Bindings& bindings);

// --record: opens the recording before the window (false after its status line).
bool shellRecord(Shell& shell, const std::string& path);

// Start-up after displayOpen and statusOpen: in Ask mode "Create Host?", the server on
// `port` when the answer is y or Y, in Host and Practice mode the server without a
// question (a failure leaves this copy a plain client, and without an opponent); the
// address J connects to and the ships' start. False when the player left at the question with Escape or a stop was
// requested there; nothing needs stopping then beyond shellStop.
bool shellStart(Shell& shell, const ShellStart& start);

// The start of a copy run without options: the question, then J to `serverHost`.
bool shellStart(Shell& shell, std::string_view serverHost, std::uint16_t port);

// The client's callback (the Shell is its userData): a snapshot on channel 2 goes to the
// view as arrived at the frame's clock reading and, while recording, into the file as it
// came. Anything else changes nothing. Returns 0.
std::int32_t shellSnapshotHandler(PacketEvent& event);

// Runs one frame; false once Escape is held at its end or a stop was requested.
bool shellFrame(Shell& shell);

// What the panel's top row says while not connected (drawFrame leaves it out in chat
// mode): what J does, or the attempt that runs. Empty while connected.
std::string shellPanelHint(const Shell& shell);

// Tells the server and the peers that this copy leaves (waiting up to a second), then
// destroys the server's and the client's ENet hosts, releases the lobby state and ends
// the recording.
void shellStop(Shell& shell);

// Handles window events until the key with this scan code is released (at least once).
void waitKeyRelease(Display& display, int scanCode);

}  // namespace netduel
