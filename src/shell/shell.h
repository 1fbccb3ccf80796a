// Game shell: the program's long-lived state and its frame loop — keys, network,
// the host's simulation and the frame drawing, until Escape is held.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "duel/match.h"
#include "lobby/lobby.h"
#include "shell/display.h"

namespace netduel {

inline constexpr double CONTROL_SEND_INTERVAL = 0.05;  // s between two control words
inline constexpr int CHAT_KEY_FLUSH = 50;              // keys dropped on entering chat mode
inline constexpr int FRAME_PAUSE_MS = 3;
inline constexpr Vec2 SHIP0_START{50.0f, 384.0f};
inline constexpr Vec2 SHIP1_START{974.0f, 384.0f};
inline constexpr std::uint32_t SHIP0_COLOUR = 0xFF800000;  // dark red
inline constexpr std::uint32_t SHIP1_COLOUR = 0xFF000080;  // dark blue
inline constexpr std::string_view DEFAULT_SERVER_ADDRESS = "127.0.0.1";

struct Shell {
    Display display;
    std::string answer;         // reply to "Create Host?"
    LobbyPair net;
    MatchState match;
    std::uint16_t port = 0;     // the lobby port hosted on and connected to
    std::string serverAddress;  // where J connects
    bool chatMode = false;
    std::string chatEcho;       // the chat line as chatInput last returned it
    KeyFlags controlWord = 0;
    bool controlActive = false; // a control key or the circling latch fed this frame's word
    bool autoCircle = false;    // latched by R for the rest of the run
    bool frameToggle = true;    // inverted first thing every frame
    double lastTime = 0.0;      // s, timer reading of the previous frame
    double frameDt = 0.0;       // s, previous minus current reading: negative
    double nextSendTime = 0.0;  // s, a control word goes out only after this
};

// Start-up after displayOpen and statusOpen: "Create Host?", the server on `port` when
// the answer is y or Y (a failure leaves this copy a plain client), the address J
// connects to (`serverHost`, empty: 127.0.0.1) and the ships' start. Never fails.
void shellStart(Shell& shell, std::string_view serverHost, std::uint16_t port);

// Runs one frame; false once Escape is held at its end.
bool shellFrame(Shell& shell);

// Destroys the server's and the client's ENet hosts and releases the lobby state.
void shellStop(Shell& shell);

// Handles window events until the key with this scan code is released (at least once).
void waitKeyRelease(Display& display, int scanCode);

}  // namespace netduel
