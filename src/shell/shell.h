// Game shell: the play mode's frame loop — keys, the connection, the host's simulation
// and the frame drawing, until Escape is held — over the records each part owns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "display/display.h"
#include "shell/shell_hosting.h"
#include "shell/shell_kept.h"
#include "shell/shell_link.h"
#include "shell/shell_search.h"
#include "shell/shell_start.h"
#include "sound/sound.h"

namespace netduel {

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
