// Game shell: start-up, one frame in its fixed order, shutdown.
#include "shell.h"

#include <algorithm>
#include <cctype>

#include "base/stop_request.h"
#include "base/timer.h"
#include "duel/packet_handlers.h"
#include "lobby/chat_input.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "shell/draw_frame.h"
#include "shell/host.h"

namespace netduel {

namespace {

constexpr int CHAT_KEY_FLUSH = 50;  // keys dropped on entering chat mode

// A game key of the control word, and the controller's button that does the same.
struct ControlKey {
    GameKey key;
    KeyFlags bit;
    std::uint32_t padBit;  // 0: none
};
constexpr ControlKey CONTROL_KEYS[] = {
    {GAME_KEY_LEFT, KEY_LEFT, PAD_LEFT}, {GAME_KEY_RIGHT, KEY_RIGHT, PAD_RIGHT}, {GAME_KEY_THRUST, KEY_UP, PAD_THRUST},
    {GAME_KEY_DOWN, KEY_DOWN, 0},        {GAME_KEY_FIRE, KEY_FIRE, PAD_FIRE},
};

// True when a key bound to `key` went down since the last sampling.
bool shellKeyPressed(const Shell& shell, GameKey key)
{
    for (const int scanCode : shell.bindings.keys[key])
        if (scanCode != 0 && displayKeyPressed(shell.display, scanCode)) return true;
    return false;
}

// The scan code of the first key bound to `key` that is down (see keyDown); 0: none is.
int shellKeyDown(const Shell& shell, GameKey key)
{
    for (const int scanCode : shell.bindings.keys[key])
        if (scanCode != 0 && keyDown(shell.display, scanCode)) return scanCode;
    return 0;
}

bool answersYes(std::string_view answer)
{
    return answer.size() == 1 && std::toupper(static_cast<unsigned char>(answer[0])) == 'Y';
}

// Asks "Create Host?" in Ask mode, with the hosts found shown under it; false when the
// player left there.
bool shellDecideHosting(Shell& shell, const ShellStart& start, bool& hosts)
{
    const RunMode mode = start.mode;
    hosts = mode == RunMode::Host || mode == RunMode::Practice;
    if (mode != RunMode::Ask) return true;
    const std::optional<std::string> answer = shellSearchAsk(shell.search, shell.display, start, shell.link.port);
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

void shellConnect(Shell& shell)
{
    LobbyClient& client = shell.link.net.client;
    lobbyClientConnect(client, shell.link.serverAddress, shell.link.port, CLIENT_CHANNELS);
    lobbyClientSetCallback(client, shellSnapshotHandler);
    lobbyClientSetUserData(client, &shell);
    clientViewReset(shell.link.view, shellLinkSnapshotTarget(shell.link));
}

void shellFlushKeys(Shell& shell)
{
    for (int i = 0; i < CHAT_KEY_FLUSH; ++i) readKey(shell.display);
}

// The keystroke that opened chat mode, its repeats and anything typed while it is held
// never reach the line. The frame does not wait for the release: a host in this copy
// serves its players meanwhile.
void shellEnterChat(Shell& shell, int scanCode)
{
    shell.chatMode = true;
    shell.chatOpener = scanCode;
    controlOutboxDrop(shell.link.outbox);  // what follows is text; what came before waits no more
    shellFlushKeys(shell);
}

// J and the game keys as bound, and the controller; not sampled in chat mode. J and the
// chat key act only while there is no attempt or connection and only while there is
// one, respectively. J and the toggles act on the press and never wait for the release:
// the frame, and with it a host in this copy, goes on however long the key is held.
void shellSampleKeys(Shell& shell)
{
    Display& display = shell.display;
    if ((displayKeyPressed(display, SCAN_J) || shell.connectNow) && !lobbyClientBusy(shell.link.net.client))
        shellConnect(shell);
    shell.connectNow = false;
    const int chat = shellKeyDown(shell, GAME_KEY_CHAT);
    if (chat && lobbyClientBusy(shell.link.net.client)) shellEnterChat(shell, chat);
    if (shellKeyPressed(shell, GAME_KEY_CIRCLE)) shell.autoCircle = true;
    if (shellKeyPressed(shell, GAME_KEY_OVERLAY)) shell.overlay = !shell.overlay;
    if (shellKeyPressed(shell, GAME_KEY_MUTE)) soundToggleMute(shell.sound);
    // A press counts until a word has carried it, so that no tap falls between two words;
    // the keyboard's and the controller's are one word.
    shell.controlActive = false;
    const std::uint32_t pad = displayPadDown(display);
    for (const ControlKey& control : CONTROL_KEYS) {
        if (shellKeyPressed(shell, control.key) || (display.padTapped & control.padBit))
            controlOutboxPress(shell.link.outbox, control.bit);
        if (!shellKeyDown(shell, control.key) && !(pad & control.padBit)) continue;
        shell.controlWord |= control.bit;
        shell.controlActive = true;
    }
}

// The next typed key for the chat line; an overlay key without a character (F3) toggles
// the overlay there too and types nothing.
std::string shellChatKey(Shell& shell)
{
    if (shell.chatOpener != 0 && displayKeyHeld(shell.display, shell.chatOpener)) {
        shellFlushKeys(shell);  // its repeats, and what is typed while it is held
        return {};
    }
    shell.chatOpener = 0;
    std::string key = readKey(shell.display);
    for (const int scanCode : shell.bindings.keys[GAME_KEY_OVERLAY]) {
        if (scanCode == 0 || key != std::string{static_cast<char>(KEY_NO_CHARACTER), static_cast<char>(scanCode)})
            continue;
        shell.overlay = !shell.overlay;
        return {};
    }
    return key;
}

// A connection that just came up asks for the run's name; one that is gone ends chat
// mode, keeping the unsent line for the next time chat opens.
void shellServiceClient(Shell& shell)
{
    LobbyClient& client = shell.link.net.client;
    if (!client.host) return;
    const bool wasConnected = client.connected;
    lobbyClientService(client);
    if (client.connected && !wasConnected && !shell.link.chatName.empty())
        chatSendLine(client, "/name " + shell.link.chatName);
    shellKeptLobby(shell.kept, shell.link, wasConnected);
    if (!lobbyClientBusy(client)) shell.chatMode = false;
    if (shell.chatMode) {
        const std::string line = shell.chatEcho;  // what goes out if this key sends it
        shell.chatEcho = chatInput(shell.link.net, shell.chatMode, shellChatKey(shell));
        if (!shell.chatMode) shellKeptAsked(shell.kept, line);
    } else {
        shellLinkSendControl(shell.link, shell.controlWord, shell.frameToggle, shell.lastTime);
    }
}

// The ships as this copy shows them, and the overlay's lines when F3 asked for them.
const MatchState& shellViewFrame(Shell& shell, std::vector<std::string>& overlay)
{
    // The frame's one reading, as the words and snapshots had.
    const MatchState& drawn = shellLinkViewFrame(shell.link, shell.frameDt, shell.lastTime, shell.overlay, overlay);
    if (shell.overlay) overlay.push_back(soundOverlayLine(shell.sound));
    return drawn;
}

// --find: once the search is over, the chosen host is joined as --join would.
void shellFindStep(Shell& shell)
{
    const std::optional<FoundHost> host = shellSearchStep(shell.search, shell.lastTime);
    if (!host) return;
    shell.link.serverAddress = findAddressText(host->address);
    shell.link.port = host->address.port;
    shell.connectNow = true;
}

}  // namespace

std::int32_t shellSnapshotHandler(PacketEvent& event)
{
    if (event.event->channelID != CHANNEL_SNAPSHOT) return 0;
    Shell& shell = *static_cast<Shell*>(event.client->userData);
    // Snapshots heard in this frame's service arrived at the frame's clock reading.
    shellLinkReceive(shell.link, packetBytes(*event.event), shell.lastTime);
    return 0;
}

Settings shellSettings(const Shell& shell, Settings saved)
{
    return shellKeptSettings(shell.kept, shell.link.chatName, shell.display.shown, shell.sound.settings, saved);
}

void shellBind(Shell& shell, const Bindings& bindings)
{
    static_assert(sizeof(Display::fullscreenKeys) == sizeof(bindings.keys[GAME_KEY_FULLSCREEN]));
    shell.bindings = bindings;
    std::copy(std::begin(bindings.keys[GAME_KEY_FULLSCREEN]), std::end(bindings.keys[GAME_KEY_FULLSCREEN]),
              shell.display.fullscreenKeys);
}

bool shellRecord(Shell& shell, const std::string& path)
{
    return recordWriterOpen(shell.link.recording.writer, path, timerSeconds());
}

bool shellStart(Shell& shell, const ShellStart& start)
{
    ShellLink& link = shell.link;
    lobbyPairInit(link.net);
    hostMatchStart(link.match);
    link.seen = link.match;
    link.port = start.port;
    bool hosts = false;
    if (!shellDecideHosting(shell, start, hosts)) return false;
    if (hosts) hostCreate(link.net.server, link.match, link.port);
    link.serverAddress = start.serverHost.empty() ? DEFAULT_SERVER_ADDRESS : start.serverHost;
    if (!hosts && !start.lastHost.empty()) {
        link.serverAddress = start.lastHost;
        link.port = start.lastPort;
    }
    link.chatName = start.name;
    shell.kept.joinGiven = start.mode == RunMode::Join;
    shell.kept.windowAtStart = shell.display.shown;
    shell.connectNow = start.mode != RunMode::Ask && start.mode != RunMode::Find;
    if (shell.search.browsed) {  // picked under the question: joined as --join would
        link.serverAddress = findAddressText(shell.search.browsed->address);
        link.port = shell.search.browsed->address.port;
        shell.connectNow = true;
    }
    if (start.mode == RunMode::Find) shellSearchStart(shell.search, start, link.port);
    if (hosts && link.net.server.host) shellHostingStart(shell.hosting, start, link.port);
    shell.frameDt = 0.0;
    shell.controlWord = 0;
    shell.controlActive = false;
    shell.chatMode = false;
    shell.chatOpener = 0;
    shell.chatEcho.clear();
    shell.autoCircle = false;
    controlOutboxReset(link.outbox);
    shell.lastTime = timerSeconds();
    shell.frameToggle = true;
    link.view.smoothed.smoothing = start.smoothing;
    link.view.prediction = start.prediction;
    clientViewReset(link.view, shellLinkSnapshotTarget(link));
    shell.overlay = false;
    link.figures = OverlayFigures{};
    return true;
}

bool shellStart(Shell& shell, std::string_view serverHost, std::uint16_t port)
{
    return shellStart(shell, ShellStart{RunMode::Ask, serverHost, port, {}});
}

bool shellFrame(Shell& shell)
{
    ShellLink& link = shell.link;
    shellAdvanceClock(shell);
    if (shell.search.finding) shellFindStep(shell);
    if (!shell.chatMode) shellSampleKeys(shell);
    if (shell.display.padTapped & PAD_OVERLAY) shell.overlay = !shell.overlay;  // Back, in chat too
    displayForgetTaps(shell.display);  // a tap acts on one sampling; letters typed in chat on none
    if (shell.autoCircle) {
        shell.controlActive = true;
        shell.controlWord |= KEY_UP | KEY_RIGHT;
    }
    shellServiceClient(shell);
    recordClientFrame(link.recording, link.net.client, shell.lastTime);
    hostFrame(link.net.server, link.match, shell.frameDt, shell.frameToggle, shell.hosting.stepCarry, nullptr,
              shell.lastTime, &shell.hosting.rewind, shell.hosting.firstTo);
    shellHostingFrame(shell.hosting, link.net.server, lobbyClientOwnSlot(link.net.client), shell.lastTime);
    std::vector<std::string> overlay;
    const MatchState& drawn = shellViewFrame(shell, overlay);
    // A client's match is stale until the first snapshot of its connection; a host's is its own.
    const bool live = link.net.server.host || link.view.smoothed.received > 0;
    soundFrame(shell.sound, drawn, link.net.client, live, shell.display.focused);
    drawFrame(shell.display, drawn, link.net.client, shell.chatMode, shell.chatEcho,
              shellPanelHint(shell), overlay, nullptr, link.recording.players);  // the holders as heard
    sleepMs(shell.display, FRAME_PAUSE_MS);
    return !keyDown(shell.display, SCAN_ESCAPE) && !stopRequested();
}

std::string shellPanelHint(const Shell& shell)
{
    const LobbyClient& client = shell.link.net.client;
    if (client.connected) return {};
    const std::string label = shellLinkServerLabel(shell.link);
    if (lobbyClientBusy(client)) return "Connecting to " + label + "...";
    const std::string_view where = shell.search.findListed ? "the list" : "the LAN";
    if (shell.search.finding) return "Looking for a host on " + std::string(where) + "...";
    if (shell.search.findMissed) return "No host on " + std::string(where) + ". Press J to connect to " + label;
    return "Press J to connect to " + label;
}

void shellStop(Shell& shell)
{
    shellHostingLeave(shell.hosting);
    lobbyPairClose(shell.link.net);
    shellHostingClose(shell.hosting);
    hostFinderClose(shell.search.finder);
    shell.chatEcho.clear();
    shell.link.serverAddress.clear();
    shell.link.chatName.clear();
    lobbyPairDestroy(shell.link.net);
    shell.answer.clear();
    recordWriterClose(shell.link.recording.writer);
}

void waitKeyRelease(Display& display, int scanCode)
{
    do {
        pollEvents(display);
    } while (displayKeyHeld(display, scanCode) && display.backEnd.pump);  // no window: no release comes
    displayForgetTap(display, scanCode);  // the press has acted once
}

}  // namespace netduel
