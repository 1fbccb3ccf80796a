// Game shell: the program's long-lived state and its frame loop — keys, network,
// the host's simulation and the frame drawing, until Escape is held.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "bot/bot_client.h"
#include "duel/match.h"
#include "find/host_finder.h"
#include "lobby/lobby.h"
#include "lobby/lobby_protocol.h"
#include "display/display.h"
#include "record/record.h"
#include "shell/host.h"
#include "shell/options.h"
#include "sound/sound.h"
#include "view/client_view.h"
#include "view/overlay.h"

namespace netduel {

inline constexpr double CONTROL_SEND_INTERVAL = 0.05;  // s between two control words
inline constexpr int CHAT_KEY_FLUSH = 50;              // keys dropped on entering chat mode
inline constexpr int FRAME_PAUSE_MS = 3;
inline constexpr std::string_view DEFAULT_SERVER_ADDRESS = "127.0.0.1";
inline constexpr std::string_view PRACTICE_BOT_NAME = "Computer";  // the opponent's chat name

// How a windowed copy begins. Ask: "Create Host?" decides and J connects; Host: hosts
// without asking and the player's client connects on the first frame; Join: never
// hosts, the client connects on the first frame; Find: never hosts, looks for a host on
// the LAN for FIND_SECONDS and connects to the one foundHostPick chooses (none found: J
// connects to `serverHost`). Dedicated and List never reach the shell.
struct ShellStart {
    RunMode mode = RunMode::Ask;
    std::string_view serverHost;      // where J connects; empty: 127.0.0.1
    std::uint16_t port = LOBBY_PORT;  // hosted on and connected to
    std::string_view name;            // asked for after every connection; empty: none
    bool smoothing = true;            // false: draw the newest snapshot as it came
    bool prediction = true;           // false: the own ship waits for the host's snapshots
    int botLevel = 0;                 // Practice: the computer opponent's level
};

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
    std::string chatEcho;       // the chat line as chatInput last returned it
    KeyFlags controlWord = 0;
    bool controlActive = false; // a control key or the circling latch fed this frame's word
    bool autoCircle = false;    // latched by R for the rest of the run
    bool frameToggle = true;    // inverted first thing every frame
    double lastTime = 0.0;      // s, timer reading of the previous frame
    double frameDt = 0.0;       // s, previous minus current reading: negative
    double stepCarry = 0.0;     // s of simulation long frames left over (host only)
    double nextSendTime = 0.0;  // s, a control word goes out only after this
    std::unique_ptr<BotClient> practiceBot;  // --practice: the computer opponent, ship 1
    ClientView view;            // what the frame draws of the match
    bool overlay = false;       // F3: the network figures over the field
    OverlayFigures figures;
    HostFinder finder;          // --find's search of the LAN while `finding`
    bool finding = false;
    bool findMissed = false;    // the search ended with no host answering
    Sound sound;                // opened beside the window; silent without a device
    RecordClient recording;     // --record: what the client hears, while its file is open
};

// The start the command line asks for: --join's address and port, else `builtInHost`
// (where J connects by default) and --port. The views point into `options`.
ShellStart shellStartFrom(const Options& options, std::string_view builtInHost);

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
