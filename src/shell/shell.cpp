// Game shell: start-up, one frame in its fixed order, shutdown.
#include "shell.h"

#include <algorithm>
#include <cctype>

#include "base/status.h"
#include "base/stop_request.h"
#include "base/timer.h"
#include "browse/host_browser.h"
#include "duel/packet_handlers.h"
#include "lobby/chat_input.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "shell/draw_frame.h"

namespace netduel {

namespace {

constexpr int CHAT_KEY_FLUSH = 50;                          // keys dropped on entering chat mode
constexpr std::string_view PRACTICE_BOT_NAME = "Computer";  // the opponent's chat name

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
    auto browser = std::make_unique<HostBrowser>();
    const std::uint16_t ports[] = {LOBBY_PORT, shell.port};
    hostBrowserStart(*browser, ports, start.browseList, shell.display.cursorRow + 1 + BROWSE_GAP_ROWS, timerSeconds());
    const std::optional<std::string> answer =
        promptLine(shell.display, "Create Host?", PromptWatch{hostBrowserStep, browser.get()});
    hostBrowserClose(*browser);
    shell.browsed = browser->chosen;
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

void shellConnect(Shell& shell)
{
    LobbyClient& client = shell.net.client;
    lobbyClientConnect(client, shell.serverAddress, shell.port, CLIENT_CHANNELS);
    lobbyClientSetCallback(client, shellSnapshotHandler);
    lobbyClientSetUserData(client, &shell);
    clientViewReset(shell.view, shellSnapshotTarget(shell));
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
    controlOutboxDrop(shell.outbox);  // what follows is text; what came before waits no more
    shellFlushKeys(shell);
}

// J and the game keys as bound, and the controller; not sampled in chat mode. J and the
// chat key act only while there is no attempt or connection and only while there is
// one, respectively. J and the toggles act on the press and never wait for the release:
// the frame, and with it a host in this copy, goes on however long the key is held.
void shellSampleKeys(Shell& shell)
{
    Display& display = shell.display;
    if ((displayKeyPressed(display, SCAN_J) || shell.connectNow) && !lobbyClientBusy(shell.net.client))
        shellConnect(shell);
    shell.connectNow = false;
    const int chat = shellKeyDown(shell, GAME_KEY_CHAT);
    if (chat && lobbyClientBusy(shell.net.client)) shellEnterChat(shell, chat);
    if (shellKeyPressed(shell, GAME_KEY_CIRCLE)) shell.autoCircle = true;
    if (shellKeyPressed(shell, GAME_KEY_OVERLAY)) shell.overlay = !shell.overlay;
    if (shellKeyPressed(shell, GAME_KEY_MUTE)) soundToggleMute(shell.sound);
    // A press counts until a word has carried it, so that no tap falls between two words;
    // the keyboard's and the controller's are one word.
    shell.controlActive = false;
    const std::uint32_t pad = displayPadDown(display);
    for (const ControlKey& control : CONTROL_KEYS) {
        if (shellKeyPressed(shell, control.key) || (display.padTapped & control.padBit))
            controlOutboxPress(shell.outbox, control.bit);
        if (!shellKeyDown(shell, control.key) && !(pad & control.padBit)) continue;
        shell.controlWord |= control.bit;
        shell.controlActive = true;
    }
}

// Every second frame and at most every 0.05 s, while a control is held or a press waits;
// flushed at once, so the word does not wait for the next frame's service.
void shellSendControl(Shell& shell)
{
    const double now = shell.lastTime;
    const std::optional<KeyFlags> word =
        controlOutboxDue(shell.outbox, shell.controlWord, shell.frameToggle, now);
    if (!word || !lobbyClientSendBytes(shell.net.client, CHANNEL_CONTROL, controlEncode(*word), false))
        return;
    enet_host_flush(shell.net.client.host);
    clientViewControlSent(shell.view, *word, now);
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

// A line sent that asks for a name: the name is the player's once the lobby grants it.
void shellNoteAsked(Shell& shell, std::string_view line)
{
    const std::string request = chatRequest(line);
    if (request.rfind(CODE_REN, 0) == 0) shell.askedName = request.substr(CODE_REN.size());
}

// What the settings keep of the lobby: the host joined, unless it is this copy or
// --join's, and the name typed with /name once the lobby grants it (the server keeps its first 32 characters).
void shellNoteLobby(Shell& shell, bool wasConnected)
{
    const LobbyClient& client = shell.net.client;
    if (client.connected && !wasConnected && !shell.net.server.host && !shell.joinGiven) {
        shell.joinedHost = shell.serverAddress;
        shell.joinedPort = shell.port;
    }
    const std::string_view own = lobbyClientOwnName(client);
    if (shell.askedName && lobbyClientOwnSlot(client) >= 0 && own == std::string_view(*shell.askedName).substr(0, NAME_CHARS)) {
        shell.chatName = own;
        shell.nameChosen = true;
        shell.askedName.reset();
    }
}

// A connection that just came up asks for the run's name; one that is gone ends chat
// mode, keeping the unsent line for the next time chat opens.
void shellServiceClient(Shell& shell)
{
    LobbyClient& client = shell.net.client;
    if (!client.host) return;
    const bool wasConnected = client.connected;
    lobbyClientService(client);
    if (client.connected && !wasConnected && !shell.chatName.empty())
        chatSendLine(client, "/name " + shell.chatName);
    shellNoteLobby(shell, wasConnected);
    if (!lobbyClientBusy(client)) shell.chatMode = false;
    if (shell.chatMode) {
        const std::string line = shell.chatEcho;  // what goes out if this key sends it
        shell.chatEcho = chatInput(shell.net, shell.chatMode, shellChatKey(shell));
        if (!shell.chatMode) shellNoteAsked(shell, line);
    } else {
        shellSendControl(shell);
    }
}

// The opponent joins once the player holds ship 0, and plays in this process's frames.
void shellServicePractice(Shell& shell)
{
    if (!shell.practiceBot) return;
    BotClient& bot = *shell.practiceBot;
    if (!bot.net.client.host && lobbyClientOwnSlot(shell.net.client) < 0) return;
    if (!botClientPlay(bot, shell.lastTime)) shell.practiceBot.reset();
}

// The ships as this copy shows them, and the overlay's lines when F3 asked for them.
const MatchState& shellViewFrame(Shell& shell, std::vector<std::string>& overlay)
{
    const double now = shell.lastTime;  // the frame's one reading, as the words and snapshots had
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
void shellFindStart(Shell& shell, const ShellStart& start)
{
    const std::uint16_t ports[] = {LOBBY_PORT, shell.port};
    const std::vector<FindTarget> lan = start.findInternet ? std::vector<FindTarget>{} : findBroadcastTargets(ports);
    shell.finding = hostFinderStart(shell.finder, start.findInternet ? start.findTargets : lan, timerSeconds());
    shell.findListed = start.findInternet;
    shell.findMissed = !shell.finding;
}

void shellFindStep(Shell& shell)
{
    hostFinderPoll(shell.finder, shell.lastTime);
    if (!hostFinderDone(shell.finder, shell.lastTime)) return;
    shell.finding = false;
    const FoundHost* host = foundHostPick(shell.finder.found);
    shell.findMissed = host == nullptr;
    if (host) {
        shell.serverAddress = findAddressText(host->address);
        shell.port = host->address.port;
        shell.connectNow = true;
        statusWrite("Found a host at " + shell.serverAddress + ":" + std::to_string(shell.port), true);
    } else {
        statusWrite(shell.findListed ? "No host found on the list." : "No host found on the LAN.", true);
    }
    hostFinderClose(shell.finder);
}

std::string shellServerLabel(const Shell& shell)
{
    return shell.serverAddress + ":" + std::to_string(shell.port);
}

}  // namespace

std::int32_t shellSnapshotHandler(PacketEvent& event)
{
    if (event.event->channelID != CHANNEL_SNAPSHOT) return 0;
    Shell& shell = *static_cast<Shell*>(event.client->userData);
    const std::span<const std::uint8_t> bytes = packetBytes(*event.event);
    // Snapshots heard in this frame's service arrived at the frame's clock reading.
    if (clientViewReceive(shell.view, bytes, shell.lastTime))
        recordWriterSnapshot(shell.recording.writer, bytes, shell.lastTime);
    return 0;
}

Settings shellSettings(const Shell& shell, Settings saved)
{
    if (shell.nameChosen) saved.name = shell.chatName;
    if (!shell.joinedHost.empty()) {
        saved.joinAddress = shell.joinedHost;
        saved.joinPort = shell.joinedPort;
    }
    const DisplayWindow& shown = shell.display.shown;
    const DisplayWindow& opened = shell.windowAtStart;
    if (shown.width != opened.width || shown.height != opened.height) {
        saved.window.width = shown.width;
        saved.window.height = shown.height;
    }
    if (shown.fullscreen != opened.fullscreen) saved.window.fullscreen = shown.fullscreen;
    const SoundSettings& heard = shell.sound.settings;
    if (heard.volume != shell.soundAtStart.volume) saved.sound.volume = heard.volume;
    if (heard.muted != shell.soundAtStart.muted) saved.sound.muted = heard.muted;
    return saved;
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
    return recordWriterOpen(shell.recording.writer, path, timerSeconds());
}

bool shellStart(Shell& shell, const ShellStart& start)
{
    lobbyPairInit(shell.net);
    hostMatchStart(shell.match);
    shell.seen = shell.match;
    shell.port = start.port;
    bool hosts = false;
    if (!shellDecideHosting(shell, start, hosts)) return false;
    if (hosts && hostCreate(shell.net.server, shell.match, shell.port) && start.botLevel > 0) {
        shell.practiceBot = std::make_unique<BotClient>();
        botClientSetup(*shell.practiceBot, DEFAULT_SERVER_ADDRESS, shell.port, botLevel(start.botLevel),
                       PRACTICE_BOT_NAME, static_cast<std::uint64_t>(timerSeconds() * 1e9) + 1);
    }
    shell.serverAddress = start.serverHost.empty() ? DEFAULT_SERVER_ADDRESS : start.serverHost;
    if (!hosts && !start.lastHost.empty()) {
        shell.serverAddress = start.lastHost;
        shell.port = start.lastPort;
    }
    shell.chatName = start.name;
    shell.joinGiven = start.mode == RunMode::Join;
    shell.windowAtStart = shell.display.shown;
    shell.connectNow = start.mode != RunMode::Ask && start.mode != RunMode::Find;
    if (shell.browsed) {  // picked under the question: joined as --join would
        shell.serverAddress = findAddressText(shell.browsed->address);
        shell.port = shell.browsed->address.port;
        shell.connectNow = true;
    }
    if (start.mode == RunMode::Find) shellFindStart(shell, start);
    if (hosts && shell.net.server.host && start.portMapping) portMapperStart(shell.portMapper, shell.port);
    if (hosts && shell.net.server.host && !start.registerUrl.empty())
        registrarStart(shell.registrar, start.registerUrl, shell.port, start.name);
    shell.frameDt = 0.0;
    shell.controlWord = 0;
    shell.controlActive = false;
    shell.chatMode = false;
    shell.chatOpener = 0;
    shell.chatEcho.clear();
    shell.autoCircle = false;
    controlOutboxReset(shell.outbox);
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
    if (shell.display.padTapped & PAD_OVERLAY) shell.overlay = !shell.overlay;  // Back, in chat too
    displayForgetTaps(shell.display);  // a tap acts on one sampling; letters typed in chat on none
    if (shell.autoCircle) {
        shell.controlActive = true;
        shell.controlWord |= KEY_UP | KEY_RIGHT;
    }
    shellServiceClient(shell);
    recordClientFrame(shell.recording, shell.net.client, shell.lastTime);
    hostFrame(shell.net.server, shell.match, shell.frameDt, shell.frameToggle, shell.stepCarry, nullptr,
              shell.lastTime);
    registrarTick(shell.registrar, shell.lastTime, hostFreeShips(shell.net.server), portMapperTick(shell.portMapper));
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
    const std::string_view where = shell.findListed ? "the list" : "the LAN";
    if (shell.finding) return "Looking for a host on " + std::string(where) + "...";
    if (shell.findMissed) return "No host on " + std::string(where) + ". Press J to connect to " + shellServerLabel(shell);
    return "Press J to connect to " + shellServerLabel(shell);
}

void shellStop(Shell& shell)
{
    if (shell.practiceBot) botClientLeave(*shell.practiceBot);  // heard in the server's farewell
    registrarStop(shell.registrar);
    portMapperStop(shell.portMapper);
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
