// Game shell: start-up, one frame in its fixed order, shutdown.
#include "shell.h"

#include <cctype>

#include "base/status.h"
#include "base/stop_request.h"
#include "base/timer.h"
#include "duel/packet_handlers.h"
#include "lobby/chat_input.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
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

// Asks "Create Host?" in Ask mode; false when the player left there.
bool shellDecideHosting(Shell& shell, RunMode mode, bool& hosts)
{
    hosts = mode == RunMode::Host || mode == RunMode::Practice;
    if (mode != RunMode::Ask) return true;
    const std::optional<std::string> answer = promptLine(shell.display, "Create Host?");
    if (!answer) return false;
    shell.answer = *answer;
    hosts = answersYes(shell.answer);
    return true;
}

void shellAdvanceClock(Shell& shell)
{
    hostClockAdvance(shell.frameToggle, shell.lastTime, shell.frameDt);
    shell.controlWord = 0;
}

// Where this copy's client writes the snapshots it receives. A hosting copy's own come
// a frame or two late: written over the match it simulates, they would undo whatever
// the host did since, such as the turn of a control word served in between.
MatchState* shellSnapshotTarget(Shell& shell)
{
    return shell.net.server.host ? &shell.seen : &shell.match;
}

// Channel 2 into the view at the frame's clock; a recording keeps each snapshot as it came.
std::int32_t shellSnapshotHandler(PacketEvent& event)
{
    if (event.event->channelID != CHANNEL_SNAPSHOT) return 0;
    Shell& shell = *static_cast<Shell*>(event.client->userData);
    const std::span<const std::uint8_t> bytes = packetBytes(*event.event);
    if (clientViewReceive(shell.view, bytes, shell.view.clock))
        recordWriterSnapshot(shell.recording.writer, bytes, shell.view.clock);
    return 0;
}

void shellConnect(Shell& shell)
{
    LobbyClient& client = shell.net.client;
    lobbyClientConnect(client, shell.serverAddress, shell.port, CLIENT_CHANNELS);
    lobbyClientSetCallback(client, shellSnapshotHandler);
    lobbyClientSetUserData(client, &shell);
    clientViewReset(shell.view, shellSnapshotTarget(shell));
}

// The keystroke that opened chat mode and anything typed before it never reach the line.
void shellEnterChat(Shell& shell)
{
    shell.chatMode = true;
    waitKeyRelease(shell.display, SCAN_C);
    for (int i = 0; i < CHAT_KEY_FLUSH; ++i) readKey(shell.display);
}

// J, C, R and the control keys; not sampled in chat mode. J and C act only while
// there is no attempt or connection and only while there is one, respectively.
void shellSampleKeys(Shell& shell)
{
    Display& display = shell.display;
    const bool busy = lobbyClientBusy(shell.net.client);
    if (keyDown(display, SCAN_J) && !busy) {
        shellConnect(shell);
        waitKeyRelease(display, SCAN_J);
    } else if (shell.connectNow && !busy) {
        shellConnect(shell);
    }
    shell.connectNow = false;
    if (keyDown(display, SCAN_C) && lobbyClientBusy(shell.net.client)) shellEnterChat(shell);
    if (keyDown(display, SCAN_R)) {
        shell.autoCircle = true;
        waitKeyRelease(display, SCAN_R);
    }
    if (keyDown(display, SCAN_F3)) {
        shell.overlay = !shell.overlay;
        waitKeyRelease(display, SCAN_F3);
    }
    if (keyDown(display, SCAN_M)) {
        soundToggleMute(shell.sound);
        waitKeyRelease(display, SCAN_M);
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
    if (lobbyClientSendBytes(shell.net.client, CHANNEL_CONTROL, bytes, false))
        clientViewControlSent(shell.view, shell.controlWord, timerSeconds());
}

// The next typed key for the chat line; F3 toggles the overlay there too and types nothing.
std::string shellChatKey(Shell& shell)
{
    std::string key = readKey(shell.display);
    const std::string f3 = {static_cast<char>(KEY_NO_CHARACTER), static_cast<char>(SCAN_F3)};
    if (key != f3) return key;
    shell.overlay = !shell.overlay;
    return {};
}

// A connection that just came up asks for the chosen name; one that is gone ends chat
// mode, keeping the unsent line for the next time chat opens.
void shellServiceClient(Shell& shell)
{
    LobbyClient& client = shell.net.client;
    if (!client.host) return;
    const bool wasConnected = client.connected;
    shell.view.clock = shell.lastTime;  // the frame's clock: snapshots heard now arrived then
    shell.recording.clock = shell.lastTime;
    lobbyClientService(client);
    if (client.connected && !wasConnected && !shell.chatName.empty())
        chatSendLine(client, "/name " + shell.chatName);
    if (!lobbyClientBusy(client)) shell.chatMode = false;
    if (shell.chatMode)
        shell.chatEcho = chatInput(shell.net, shell.chatMode, shellChatKey(shell));
    else
        shellSendControl(shell);
}

// The opponent joins once the player holds ship 0, and plays in this process's frames.
void shellServicePractice(Shell& shell)
{
    if (!shell.practiceBot) return;
    BotClient& bot = *shell.practiceBot;
    if (!bot.net.client.host && lobbyClientOwnSlot(shell.net.client) < 0) return;
    if (!botClientPlay(bot, timerSeconds())) shell.practiceBot.reset();
}

// The ships as this copy shows them, and the overlay's lines when F3 asked for them.
const MatchState& shellViewFrame(Shell& shell, std::vector<std::string>& overlay)
{
    const double now = timerSeconds();
    const RoundTrip roundTrip = lobbyClientRoundTrip(shell.net.client);
    shell.view.roundTrip = roundTrip.mean;
    clientViewSetSlot(shell.view, lobbyClientOwnSlot(shell.net.client));
    const MatchState& drawn = clientViewFrame(shell.view, shell.frameDt, now);
    overlayCountFrame(shell.figures, shell.frameDt);
    if (shell.overlay) {
        shell.figures.roundTrip = roundTrip;
        overlayFromView(shell.figures, shell.view, now);
        overlay = overlayLines(shell.figures);
        overlay.push_back(soundOverlayLine(shell.sound));
    }
    // Before its client hears a snapshot a hosting copy shows the match it simulates.
    return shell.view.smoothed.received > 0 ? drawn : shell.match;
}

// --find: the LAN is asked at the start; once the search is over, the chosen host is
// joined as --join would.
void shellFindStart(Shell& shell)
{
    const std::uint16_t ports[] = {LOBBY_PORT, shell.port};
    shell.finding = hostFinderStart(shell.finder, findBroadcastTargets(ports), timerSeconds());
    shell.findMissed = !shell.finding;
}

void shellFindStep(Shell& shell)
{
    hostFinderPoll(shell.finder, timerSeconds());
    if (!hostFinderDone(shell.finder, timerSeconds())) return;
    shell.finding = false;
    const FoundHost* host = foundHostPick(shell.finder.found);
    shell.findMissed = host == nullptr;
    if (host) {
        shell.serverAddress = findAddressText(host->address);
        shell.port = host->address.port;
        shell.connectNow = true;
        statusWrite("Found a host at " + shell.serverAddress + ":" + std::to_string(shell.port), true);
    } else {
        statusWrite("No host found on the LAN.", true);
    }
    hostFinderClose(shell.finder);
}

std::string shellServerLabel(const Shell& shell)
{
    return shell.serverAddress + ":" + std::to_string(shell.port);
}

}  // namespace

ShellStart shellStartFrom(const Options& options, std::string_view builtInHost)
{
    if (options.mode == RunMode::Join)
        return ShellStart{options.mode, options.joinHost, options.joinPort, options.name,
                          options.smoothing, options.prediction};
    const int botLevel = options.mode == RunMode::Practice ? options.level : 0;
    return ShellStart{options.mode, builtInHost, options.port, options.name, options.smoothing,
                      options.prediction, botLevel};
}

bool shellRecord(Shell& shell, const std::string& path)
{
    return recordWriterOpen(shell.recording.writer, path, timerSeconds());
}

bool shellStart(Shell& shell, const ShellStart& start)
{
    lobbyPairInit(shell.net);
    if (shell.recording.writer.file) shell.net.client.heard = LobbyTap{recordClientHeard, &shell.recording};
    hostMatchStart(shell.match);
    shell.seen = shell.match;
    shell.port = start.port;
    bool hosts = false;
    if (!shellDecideHosting(shell, start.mode, hosts)) return false;
    if (hosts && hostCreate(shell.net.server, shell.match, shell.port) && start.botLevel > 0) {
        shell.practiceBot = std::make_unique<BotClient>();
        botClientSetup(*shell.practiceBot, DEFAULT_SERVER_ADDRESS, shell.port, botLevel(start.botLevel),
                       PRACTICE_BOT_NAME, static_cast<std::uint64_t>(timerSeconds() * 1e9) + 1);
    }
    shell.serverAddress = start.serverHost.empty() ? DEFAULT_SERVER_ADDRESS : start.serverHost;
    shell.chatName = start.name;
    shell.connectNow = start.mode != RunMode::Ask && start.mode != RunMode::Find;
    if (start.mode == RunMode::Find) shellFindStart(shell);
    shell.frameDt = 0.0;
    shell.controlWord = 0;
    shell.controlActive = false;
    shell.chatMode = false;
    shell.chatEcho.clear();
    shell.autoCircle = false;
    shell.nextSendTime = 0.0;
    shell.lastTime = timerSeconds();
    shell.frameToggle = true;
    shell.view.smoothed.smoothing = start.smoothing;
    shell.view.prediction = start.prediction;
    clientViewReset(shell.view, shellSnapshotTarget(shell));
    shell.overlay = false;
    shell.figures = OverlayFigures{};
    return true;
}

bool shellStart(Shell& shell, std::string_view serverHost, std::uint16_t port)
{
    return shellStart(shell, ShellStart{RunMode::Ask, serverHost, port, {}});
}

bool shellFrame(Shell& shell)
{
    shellAdvanceClock(shell);
    if (shell.finding) shellFindStep(shell);
    if (!shell.chatMode) shellSampleKeys(shell);
    displayForgetTaps(shell.display);  // a tap acts on one sampling; letters typed in chat on none
    if (shell.autoCircle) {
        shell.controlActive = true;
        shell.controlWord |= KEY_UP | KEY_RIGHT;
    }
    shellServiceClient(shell);
    recordClientFrame(shell.recording, lobbyClientOwnSlot(shell.net.client), shell.net.client.connected,
                      shell.lastTime);
    hostFrame(shell.net.server, shell.match, shell.frameDt, shell.frameToggle, shell.stepCarry);
    shellServicePractice(shell);
    std::vector<std::string> overlay;
    const MatchState& drawn = shellViewFrame(shell, overlay);
    // A client's match is stale until the first snapshot of its connection; a host's is its own.
    const bool live = shell.net.server.host || shell.view.smoothed.received > 0;
    soundFrame(shell.sound, drawn, shell.net.client, live, shell.display.focused);
    drawFrame(shell.display, drawn, shell.net.client, shell.chatMode, shell.chatEcho,
              shellPanelHint(shell), overlay);
    sleepMs(shell.display, FRAME_PAUSE_MS);
    return !keyDown(shell.display, SCAN_ESCAPE) && !stopRequested();
}

std::string shellPanelHint(const Shell& shell)
{
    const LobbyClient& client = shell.net.client;
    if (client.connected) return {};
    if (lobbyClientBusy(client)) return "Connecting to " + shellServerLabel(shell) + "...";
    if (shell.finding) return "Looking for a host on the LAN...";
    if (shell.findMissed) return "No host on the LAN. Press J to connect to " + shellServerLabel(shell);
    return "Press J to connect to " + shellServerLabel(shell);
}

void shellStop(Shell& shell)
{
    if (shell.practiceBot) botClientLeave(*shell.practiceBot);  // heard in the server's farewell
    lobbyPairClose(shell.net);
    if (shell.practiceBot) botClientStop(*shell.practiceBot);
    shell.practiceBot.reset();
    hostFinderClose(shell.finder);
    shell.chatEcho.clear();
    shell.serverAddress.clear();
    shell.chatName.clear();
    lobbyPairDestroy(shell.net);
    shell.answer.clear();
    recordWriterClose(shell.recording.writer);
}

void waitKeyRelease(Display& display, int scanCode)
{
    do {
        pollEvents(display);
    } while (displayKeyHeld(display, scanCode) && display.backEnd.pump);  // no window: no release comes
    displayForgetTap(display, scanCode);  // the press has acted once
}

}  // namespace netduel
