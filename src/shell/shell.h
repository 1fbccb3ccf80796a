// Game shell: the program's long-lived state and its frame loop — keys, network,
// the host's simulation and the frame drawing, until Escape is held.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "bot/bot_client.h"
#include "duel/match.h"
#include "find/host_finder.h"
#include "hostlist/list_client.h"
#include "portmap/port_map.h"
#include "lobby/lobby.h"
#include "lobby/lobby_protocol.h"
#include "display/display.h"
#include "record/record_live.h"
#include "shell/host.h"
#include "shell/options.h"
#include "shell/shell_start.h"
#include "sound/sound.h"
#include "view/client_view.h"
#include "view/control_outbox.h"
#include "view/overlay.h"

namespace netduel {

struct Shell {
    Display display;
    std::string answer;         // reply to "Create Host?"
    LobbyPair net;
    MatchState match;           // the host's own when hosting, else the newest snapshot
    MatchState seen;            // a hosting copy's snapshots, kept off the match it simulates
    std::uint16_t port = 0;     // the lobby port hosted on and connected to
    std::string serverAddress;  // where J connects
    std::string chatName;       // asked for after every connection; empty: none
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
    double stepCarry = 0.0;     // s of simulation long frames left over (host only)
    ControlOutbox outbox;       // the presses not sent yet and the words' cadence
    std::unique_ptr<BotClient> practiceBot;  // --practice: the computer opponent, ship 1
    ClientView view;            // what the frame draws of the match
    bool overlay = false;       // F3: the network figures over the field
    OverlayFigures figures;
    HostFinder finder;          // --find's search of the LAN while `finding`
    bool finding = false;
    bool findMissed = false;    // the search ended with no host answering
    bool findListed = false;    // --find --internet: the search asks the list's hosts
    HostRegistrar registrar;    // a host's registrations at the internet list
    PortMapper portMapper;      // a host's port mapping at the router
    std::optional<FoundHost> browsed;  // the host picked under "Create Host?"
    Sound sound;                // opened beside the window; silent without a device
    RecordClient recording;     // --record: what the client hears, while its file is open
    std::string joinedHost;     // the host joined last, other than this copy or --join's; kept in the settings
    std::uint16_t joinedPort = 0;
    bool joinGiven = false;     // --join: its host holds for the run, the settings do not keep it
    std::optional<std::string> askedName;  // the name last typed with /name, until the lobby grants it
    bool nameChosen = false;    // the lobby granted a name typed in chat; the settings keep it
    DisplayWindow windowAtStart;  // the window as opened: the settings keep only the player's changes
    SoundSettings soundAtStart;   // the sound as opened (set once it is open), likewise
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
