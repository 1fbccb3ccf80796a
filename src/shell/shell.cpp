// Game shell: start-up, one frame in its fixed order, shutdown.
#include "shell.h"

#include <cctype>

#include "base/status.h"
#include "base/timer.h"
#include "duel/packet_handlers.h"
#include "duel/simulate.h"
#include "lobby/chat_input.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"
#include "shell/draw_frame.h"

namespace netduel {

namespace {

struct ControlKey {
    int scanCode;
    KeyFlags bit;
};
constexpr ControlKey CONTROL_KEYS[] = {
    {SCAN_LEFT, KEY_LEFT}, {SCAN_RIGHT, KEY_RIGHT}, {SCAN_UP, KEY_UP},
    {SCAN_DOWN, KEY_DOWN}, {SCAN_X, KEY_FIRE},
};

bool answersYes(std::string_view answer)
{
    return answer.size() == 1 && std::toupper(static_cast<unsigned char>(answer[0])) == 'Y';
}

void shellCreateHost(Shell& shell)
{
    statusWrite("Creating server", true);
    if (!lobbyServerCreate(shell.net.server, "", shell.port, LOBBY_MAX_PEERS)) {
        statusWrite("Host creation failed!", true);
        return;
    }
    statusWrite("Host running!", true);
    shell.net.server.running = 1;
    lobbyServerSetCallback(shell.net.server, serverKeyHandler);
    lobbyServerSetUserData(shell.net.server, &shell.match);
}

void shellPlaceShips(Shell& shell)
{
    shell.match.ships[0].position = SHIP0_START;
    shell.match.ships[0].colour = SHIP0_COLOUR;
    shell.match.ships[1].position = SHIP1_START;
    shell.match.ships[1].colour = SHIP1_COLOUR;
}

void shellAdvanceClock(Shell& shell)
{
    shell.frameToggle = !shell.frameToggle;
    shell.frameDt = shell.lastTime - timerSeconds();
    shell.lastTime = timerSeconds();
    shell.controlWord = 0;
}

void shellConnect(Shell& shell)
{
    LobbyClient& client = shell.net.client;
    lobbyClientConnect(client, shell.serverAddress, shell.port, CLIENT_CHANNELS);
    lobbyClientSetCallback(client, clientSnapshotHandler);
    lobbyClientSetUserData(client, &shell.match);
    waitKeyRelease(shell.display, SCAN_J);
}

void shellEnterChat(Shell& shell)
{
    shell.chatMode = true;
    waitKeyRelease(shell.display, SCAN_C);
    for (int i = 0; i < CHAT_KEY_FLUSH; ++i) readKey(shell.display);
}

// J, C, R and the control keys; not sampled in chat mode.
void shellSampleKeys(Shell& shell)
{
    Display& display = shell.display;
    if (keyDown(display, SCAN_J) && !shell.net.client.host) shellConnect(shell);
    if (keyDown(display, SCAN_C)) shellEnterChat(shell);
    if (keyDown(display, SCAN_R)) {
        shell.autoCircle = true;
        waitKeyRelease(display, SCAN_R);
    }
    shell.controlActive = false;
    for (const ControlKey& key : CONTROL_KEYS) {
        if (!keyDown(display, key.scanCode)) continue;
        shell.controlWord |= key.bit;
        shell.controlActive = true;
    }
}

// Every second frame and at most every 0.05 s, while a control is active; unflushed.
void shellSendControl(Shell& shell)
{
    if (!shell.controlActive || !shell.frameToggle || !(timerSeconds() > shell.nextSendTime))
        return;
    shell.nextSendTime = timerSeconds() + CONTROL_SEND_INTERVAL;
    const ControlBytes bytes = controlEncode(shell.controlWord);
    lobbyClientSendBytes(shell.net.client, CHANNEL_CONTROL, bytes, false);
}

void shellServiceClient(Shell& shell)
{
    if (!shell.net.client.host) return;
    lobbyClientService(shell.net.client);
    if (shell.chatMode)
        shell.chatEcho = chatInput(shell.net, shell.chatMode, readKey(shell.display));
    else
        shellSendControl(shell);
}

// The host's half: step, then broadcast and service the server on alternate frames.
void shellRunHost(Shell& shell)
{
    if (!shell.net.server.host) return;
    simulateStep(shell.match, shell.frameDt);
    if (shell.frameToggle) {
        const Snapshot snapshot = snapshotEncode(shell.match);
        lobbyServerBroadcastBytes(shell.net.server, CHANNEL_SNAPSHOT, snapshot);
    } else {
        lobbyServerService(shell.net.server);
    }
}

}  // namespace

void shellStart(Shell& shell, std::string_view serverHost, std::uint16_t port)
{
    shell.answer = promptLine(shell.display, "Create Host?");
    lobbyPairInit(shell.net);
    matchStateInit(shell.match);
    shell.port = port;
    if (answersYes(shell.answer)) shellCreateHost(shell);
    shell.serverAddress = serverHost.empty() ? DEFAULT_SERVER_ADDRESS : serverHost;
    shellPlaceShips(shell);
    shell.frameDt = 0.0;
    shell.controlWord = 0;
    shell.controlActive = false;
    shell.chatMode = false;
    shell.chatEcho.clear();
    shell.autoCircle = false;
    shell.nextSendTime = 0.0;
    shell.lastTime = timerSeconds();
    shell.frameToggle = true;
}

bool shellFrame(Shell& shell)
{
    shellAdvanceClock(shell);
    if (!shell.chatMode) shellSampleKeys(shell);
    displayForgetTaps(shell.display);  // a tap acts on one sampling; letters typed in chat on none
    if (shell.autoCircle) {
        shell.controlActive = true;
        shell.controlWord |= KEY_UP | KEY_RIGHT;
    }
    shellServiceClient(shell);
    shellRunHost(shell);
    drawFrame(shell.display, shell.match, shell.net.client, shell.chatMode, shell.chatEcho);
    sleepMs(shell.display, FRAME_PAUSE_MS);
    return !keyDown(shell.display, SCAN_ESCAPE);
}

void shellStop(Shell& shell)
{
    lobbyServerDestroy(shell.net.server);
    lobbyClientDestroy(shell.net.client);
    shell.chatEcho.clear();
    shell.serverAddress.clear();
    lobbyPairDestroy(shell.net);
    shell.answer.clear();
}

void waitKeyRelease(Display& display, int scanCode)
{
    do {
        pollEvents(display);
    } while (displayKeyHeld(display, scanCode) && display.backEnd.pump);  // no window: no release comes
    displayForgetTap(display, scanCode);  // the press has acted once
}

}  // namespace netduel
