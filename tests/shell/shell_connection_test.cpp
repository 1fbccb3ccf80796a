// The shell's connection life cycle over real ENet on loopback: the host's frame order,
// --host and --join starts, J after a failed or lost connection, the chat line across a
// lost connection, the chosen name, the panel's hint, the dedicated host and the ways a
// run ends (Escape at the question, SIGINT/SIGTERM). Each test has its own port.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "base/status.h"
#include "base/stop_request.h"
#include "duel/packet_handlers.h"
#include "duel/score.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_server.h"
#include "panel_row.h"
#include "display/pixel_fixture.h"
#include "shell/dedicated.h"
#include "shell/draw_frame.h"
#include "shell/host.h"
#include "shell/shell.h"

namespace netduel {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto DEADLINE = std::chrono::seconds(20);
// Well past a loopback round trip, well short of ENet's 5 s minimum time-out: a peer
// that learns of the end within this was told, not timed out.
constexpr auto TOLD_DEADLINE = std::chrono::seconds(3);
constexpr char ESCAPE_KEY = 27;

// Keys stay held until the shell waits for their release: then everything lets go.
void releaseAllKeys(Display& display)
{
    for (bool& held : display.keyState) held = false;
}

std::string newestLine(const LobbyClient& client) { return std::string(fixedTextView(client.history[0])); }

bool historyHas(const LobbyClient& client, std::string_view line)
{
    for (const auto& text : client.history)
        if (fixedTextView(text) == line) return true;
    return false;
}

class ShellConnectionTest : public ::testing::Test {
protected:
    std::unique_ptr<Shell> owned = std::make_unique<Shell>();
    Shell& shell = *owned;
    std::unique_ptr<DedicatedHost> dedicated = std::make_unique<DedicatedHost>();
    bool dedicatedUp = false;
    char* logBuffer = nullptr;
    std::size_t logLength = 0;

    void SetUp() override
    {
        statusOut = open_memstream(&logBuffer, &logLength);
        shell.display.backEnd.pump = releaseAllKeys;
        stopRequestReset();
    }
    void TearDown() override
    {
        shellStop(shell);
        if (dedicatedUp) dedicatedStop(*dedicated);
        std::fclose(statusOut);
        statusOut = stdout;
        std::free(logBuffer);
        stopRequestReset();
    }

    std::string log()
    {
        std::fflush(statusOut);
        return std::string(logBuffer, logLength);
    }
    void hold(int scanCode) { displayKeyEvent(shell.display, scanCode, true); }
    void type(std::string_view keys)
    {
        for (char c : keys) keyRingPush(shell.display.keys, static_cast<unsigned char>(c));
    }

    void startDedicated(std::uint16_t port)
    {
        ASSERT_TRUE(dedicatedStart(*dedicated, port));
        dedicatedUp = true;
    }
    void stopDedicated()
    {
        dedicatedStop(*dedicated);
        dedicatedUp = false;
        dedicated = std::make_unique<DedicatedHost>();
    }

    // Runs shell frames (and the dedicated host's, when it runs) until `done` holds.
    bool framesUntil(const std::function<bool()>& done, Clock::duration limit = DEADLINE)
    {
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline) {
            shellFrame(shell);
            if (dedicatedUp) dedicatedFrame(*dedicated);
            if (done()) return true;
        }
        return false;
    }
    bool framesUntilHistory(std::string_view line)
    {
        return framesUntil([&] { return historyHas(shell.link.net.client, line); });
    }

    // A connection attempt to a port where nobody answers gives up quickly.
    void hurryAttempt() { enet_peer_timeout(shell.link.net.client.peer, 1, 50, 200); }
};

TEST(ShellStartFrom, JoinTakesItsAddressAndPortTheOthersTheBuiltInAddressAndPort)
{
    Options options;
    options.mode = RunMode::Join;
    options.joinHost = "192.0.2.7";
    options.joinPort = 5000;
    options.port = 6000;
    options.name = "Zed";
    const ShellStart join = shellStartFrom(options, "built.in");
    EXPECT_EQ(join.mode, RunMode::Join);
    EXPECT_EQ(join.serverHost, "192.0.2.7");
    EXPECT_EQ(join.serverHost.data(), options.joinHost.data());  // a view, not a copy
    EXPECT_EQ(join.port, 5000);
    EXPECT_EQ(join.name.data(), options.name.data());
    for (const RunMode mode : {RunMode::Ask, RunMode::Host}) {
        options.mode = mode;
        const ShellStart start = shellStartFrom(options, "built.in");
        EXPECT_EQ(start.mode, mode);
        EXPECT_EQ(start.serverHost, "built.in");
        EXPECT_EQ(start.port, 6000);
        EXPECT_EQ(start.name, "Zed");
    }
}

TEST_F(ShellConnectionTest, HostModeHostsWithoutAskingAndJoinsOnTheFirstFrame)
{
    type("n\r");  // a question would read this and not host
    ASSERT_TRUE(shellStart(shell, ShellStart{RunMode::Host, "", 47200, {}}));
    ASSERT_NE(shell.link.net.server.host, nullptr);
    EXPECT_EQ(shell.answer, "");
    EXPECT_EQ(log(), "Creating server\nHost running!\n");
    EXPECT_EQ(shell.link.net.client.host, nullptr);
    shellFrame(shell);
    EXPECT_TRUE(lobbyClientBusy(shell.link.net.client));
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    EXPECT_TRUE(shell.link.net.client.connected);
}

TEST_F(ShellConnectionTest, AHostThatKeepsAScoreSendsItToItsOwnClient)
{
    ShellStart start{RunMode::Host, "", 47209, {}};
    start.firstTo = 3;
    ASSERT_TRUE(shellStart(shell, start));
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    ASSERT_TRUE(framesUntil([&] { return scoreRead(shell.link.seen.ships[1]) == ShipScore{0, 3}; }));
}

TEST_F(ShellConnectionTest, JoinModeNeverHostsAndAsksForItsNameAfterEveryConnection)
{
    startDedicated(47201);
    ASSERT_TRUE(shellStart(shell, ShellStart{RunMode::Join, "127.0.0.1", 47201, "Zed"}));
    EXPECT_EQ(shell.link.net.server.host, nullptr);
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 is now known as Zed"));
    ASSERT_EQ(dedicated->net.server.clients.size(), 1u);
    EXPECT_EQ(fixedTextView(dedicated->net.server.clients[0].name), "Zed");
    for (int frame = 0; frame < 30; ++frame) {  // once per connection, not once per frame
        shellFrame(shell);
        dedicatedFrame(*dedicated);
    }
    EXPECT_EQ(newestLine(shell.link.net.client), "* Anonymous0 is now known as Zed");

    // The host goes away and comes back: J joins again and the name is asked for again.
    stopDedicated();
    ASSERT_TRUE(framesUntil([&] { return !lobbyClientBusy(shell.link.net.client); }));
    EXPECT_EQ(newestLine(shell.link.net.client), "Client informationdisconected.");
    startDedicated(47201);
    hold(SCAN_J);
    ASSERT_TRUE(framesUntil([&] {
        const auto& slots = dedicated->net.server.clients;
        return !slots.empty() && fixedTextView(slots[0].name) == "Zed";
    }));
}

TEST_F(ShellConnectionTest, JTriesAgainAfterAFailedAttemptButNeverTwiceAtOnce)
{
    ASSERT_TRUE(shellStart(shell, ShellStart{RunMode::Join, "127.0.0.1", 47202, {}}));
    EXPECT_EQ(shellPanelHint(shell), "Press J to connect to 127.0.0.1:47202");
    shellFrame(shell);
    ENetHost* const clientHost = shell.link.net.client.host;
    ASSERT_NE(shell.link.net.client.peer, nullptr);
    EXPECT_EQ(shellPanelHint(shell), "Connecting to 127.0.0.1:47202...");
    ENetPeer* const attempt = shell.link.net.client.peer;
    hold(SCAN_J);  // while the attempt runs, J does nothing
    shellFrame(shell);
    EXPECT_EQ(shell.link.net.client.peer, attempt);
    EXPECT_EQ(log().find("already"), std::string::npos);

    hurryAttempt();
    ASSERT_TRUE(framesUntil([&] { return !lobbyClientBusy(shell.link.net.client); }));
    EXPECT_EQ(newestLine(shell.link.net.client), "disconected.");
    EXPECT_EQ(shellPanelHint(shell), "Press J to connect to 127.0.0.1:47202");

    startDedicated(47202);
    hold(SCAN_J);
    shellFrame(shell);
    EXPECT_EQ(shell.link.net.client.host, clientHost);  // the client's host is reused
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    EXPECT_EQ(shellPanelHint(shell), "");
    EXPECT_EQ(newestLine(shell.link.net.client), "* Anonymous0 connected =)");
    EXPECT_EQ(std::string(fixedTextView(shell.link.net.client.history[2])), "disconected.");
}

TEST_F(ShellConnectionTest, ChatOpensOnlyWithAnAttemptAndALostConnectionKeepsTheLine)
{
    startDedicated(47203);
    type("n\r");
    ASSERT_TRUE(shellStart(shell, ShellStart{RunMode::Ask, "127.0.0.1", 47203, {}}));
    hold(SCAN_C);  // before J: no chat mode, and J still works afterwards
    shellFrame(shell);
    EXPECT_FALSE(shell.chatMode);
    hold(SCAN_J);
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));

    hold(SCAN_C);
    shellFrame(shell);
    ASSERT_TRUE(shell.chatMode);
    displayKeyEvent(shell.display, SCAN_C, false);  // typing starts once C is let go
    type("hel");
    ASSERT_TRUE(framesUntil([&] { return shell.chatEcho == "hel"; }));

    stopDedicated();
    ASSERT_TRUE(framesUntil([&] { return !shell.chatMode; }));
    EXPECT_EQ(newestLine(shell.link.net.client), "Client informationdisconected.");
    hold(SCAN_C);  // no connection, no attempt: C does nothing
    shellFrame(shell);
    EXPECT_FALSE(shell.chatMode);

    startDedicated(47203);
    hold(SCAN_J);
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    hold(SCAN_C);
    shellFrame(shell);
    ASSERT_TRUE(shell.chatMode);
    EXPECT_EQ(shell.chatEcho, "hel");  // the unsent line is back
    displayKeyEvent(shell.display, SCAN_C, false);
    type("p\r");
    ASSERT_TRUE(framesUntilHistory("Anonymous0: help"));
    EXPECT_FALSE(shell.chatMode);
}

TEST_F(ShellConnectionTest, EscapeAtTheQuestionLeavesWithoutHosting)
{
    type("y");
    type(std::string_view(&ESCAPE_KEY, 1));
    type("\r");
    EXPECT_FALSE(shellStart(shell, "", 47204));
    EXPECT_EQ(shell.link.net.server.host, nullptr);
    EXPECT_EQ(log(), "");
}

TEST_F(ShellConnectionTest, SignalsEndTheQuestionAndTheFrameLoop)
{
    ASSERT_TRUE(stopRequestInstall());
    type("y\r");
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_FALSE(shellStart(shell, "", 47205));
    EXPECT_EQ(shell.link.net.server.host, nullptr);

    stopRequestReset();
    ASSERT_TRUE(shellStart(shell, ShellStart{RunMode::Host, "", 47205, {}}));
    EXPECT_TRUE(shellFrame(shell));
    ASSERT_EQ(std::raise(SIGINT), 0);
    EXPECT_FALSE(shellFrame(shell));
}

// A bare ENet peer on the host's port that counts the snapshots it receives.
struct SnapshotCounter {
    ENetHost* host = enet_host_create(nullptr, 1, 0, 0, 0);
    ENetPeer* peer = nullptr;
    bool connected = false;
    int snapshots = 0;

    explicit SnapshotCounter(std::uint16_t port)
    {
        const ENetAddress address{0x0100007F, port};  // 127.0.0.1 in network order
        peer = enet_host_connect(host, &address, CLIENT_CHANNELS, 0);
    }
    ~SnapshotCounter() { enet_host_destroy(host); }
    void service()
    {
        ENetEvent event;
        while (enet_host_service(host, &event, 0) > 0) {
            connected |= event.type == ENET_EVENT_TYPE_CONNECT;
            if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
            snapshots += event.channelID == CHANNEL_SNAPSHOT;
            enet_packet_destroy(event.packet);
        }
    }
};

TEST(HostFrame, ServicesTheServerEveryFrameAndBroadcastsOnToggledOnes)
{
    LobbyServer server;
    MatchState match;
    hostMatchStart(match);
    ASSERT_TRUE(lobbyServerCreate(server, "", 47206, LOBBY_MAX_PEERS));
    lobbyServerSetCallback(server, serverKeyHandler);
    lobbyServerSetUserData(server, &match);
    SnapshotCounter peer(47206);
    double carry = 0.0;
    const auto deadline = Clock::now() + DEADLINE;
    const auto framesUntil = [&](bool toggle, const std::function<bool()>& done) {
        while (!done() && Clock::now() < deadline) {
            hostFrame(server, match, -0.01, toggle, carry);
            peer.service();
        }
        return done();
    };
    // Toggled frames broadcast and still service the server: the peer gets in.
    ASSERT_TRUE(framesUntil(true, [&] { return peer.connected && server.clients.size() == 1; }));
    ASSERT_TRUE(framesUntil(true, [&] { return peer.snapshots > 0; }));

    // The other frames service the server too: a control word from slot 0 steers ship 0,
    // and the simulation steps move it. They broadcast nothing.
    const int snapshots = peer.snapshots;
    const ControlBytes up = controlEncode(KEY_UP);
    enet_peer_send(peer.peer, CHANNEL_CONTROL, enet_packet_create(up.data(), up.size(), ENET_PACKET_FLAG_RELIABLE));
    enet_host_flush(peer.host);
    EXPECT_TRUE(framesUntil(false, [&] { return match.ships[0].position.y < SHIP0_START.y; }));
    for (int frame = 0; frame < 50; ++frame) {
        hostFrame(server, match, -0.01, false, carry);
        peer.service();
    }
    EXPECT_EQ(peer.snapshots, snapshots);
    lobbyServerDestroy(server);
}

TEST_F(ShellConnectionTest, DedicatedHostPlaysLikeAHostAndSaysGoodbye)
{
    startDedicated(47207);
    EXPECT_EQ(log(), "Creating server\nHost running!\n");
    EXPECT_EQ(dedicated->match.ships[1].position, SHIP1_START);
    EXPECT_EQ(dedicated->match.ships[0].colour, SHIP0_COLOUR);
    dedicatedFrame(*dedicated);
    EXPECT_FALSE(dedicated->frameToggle);  // the first frame runs with the toggle false
    EXPECT_LT(dedicated->frameDt, 0.0);
    dedicatedFrame(*dedicated);
    EXPECT_TRUE(dedicated->frameToggle);

    ASSERT_TRUE(shellStart(shell, ShellStart{RunMode::Join, "127.0.0.1", 47207, {}}));
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    hold(SCAN_UP);
    ASSERT_TRUE(framesUntil([&] { return shell.link.match.ships[0].position.y < SHIP0_START.y - 20.0f; }));
    releaseAllKeys(shell.display);

    // The shell's client is told of the end (nobody services it meanwhile, so the host
    // waits its full second for an answer).
    stopDedicated();
    ASSERT_TRUE(framesUntil([&] { return !lobbyClientBusy(shell.link.net.client); }, TOLD_DEADLINE));
    EXPECT_EQ(newestLine(shell.link.net.client), "Client informationdisconected.");
}

TEST_F(ShellConnectionTest, DedicatedRunEndsWithItsStatus)
{
    startDedicated(47208);
    EXPECT_EQ(dedicatedRun(47208), 1);  // the port is taken
    EXPECT_NE(log().find("Host creation failed!\n"), std::string::npos);
    stopDedicated();

    ASSERT_TRUE(stopRequestInstall());
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_EQ(dedicatedRun(47208), 0);  // stopped before its first frame
}

TEST(DedicatedPace, ReturnsPastTheNextTick)
{
    const std::chrono::duration<double> period(1.0 / DEDICATED_FRAME_RATE);
    DedicatedHost host;  // no server: the pace only sleeps
    for (int i = 0; i < 5; ++i) {
        const double before = std::chrono::steady_clock::now().time_since_epoch() / period;
        dedicatedPace(host);
        const double after = std::chrono::steady_clock::now().time_since_epoch() / period;
        EXPECT_GT(std::floor(after), std::floor(before));
    }
}

class PanelHintTest : public PixelTest {
protected:
    MatchState match;
    LobbyClient client;
    std::unique_ptr<Display> expected = std::make_unique<Display>();

    void SetUp() override { hostMatchStart(match); }

    // Row 0 of the panel as drawText paints `text` on the panel's fill.
    void expectTopRow(std::string_view text)
    {
        drawPanelRow(*expected, 0, text);
        for (int y = 0; y < CELL_SIZE; ++y)
            for (int x = 0; x < DISPLAY_WIDTH; ++x)
                ASSERT_EQ(at(x, y), displayPixel(*expected, x, y)) << x << ", " << y;
    }
};

TEST_F(PanelHintTest, TopRowShowsTheHintOutsideChatModeEvenWithoutAHost)
{
    const std::string hint = "Press J to connect to 127.0.0.1:42069";
    drawFrame(display, match, client, false, "", hint);
    expectTopRow(hint);
    EXPECT_GT(countColour(0, 0, 8 * 37, 7, FOREGROUND), 0);
    drawFrame(display, match, client, true, "", hint);
    expectTopRow("");
}

}  // namespace
}  // namespace netduel

namespace netduel {
namespace {

TEST_F(ShellConnectionTest, FindSaysItLooksThenJoinsTheDedicatedHostItFound)
{
    startDedicated(48540);
    ASSERT_TRUE(shellStart(shell, ShellStart{RunMode::Find, "", 48540, {}}));
    EXPECT_EQ(shellPanelHint(shell), "Looking for a host on the LAN...");
    shellFrame(shell);
    EXPECT_EQ(shell.link.net.client.host, nullptr);  // no connection before the search is over
    ASSERT_TRUE(framesUntil([&] { return dedicated->net.server.clients.size() == 1 &&
                                         dedicated->net.server.clients[0].connected; }));
    EXPECT_FALSE(shell.search.finding);
    EXPECT_EQ(shell.link.port, 48540);
    EXPECT_NE(log().find("Found a host at " + shell.link.serverAddress + ":48540\n"), std::string::npos);
    EXPECT_EQ(shell.search.finder.socket, ENET_SOCKET_NULL);  // the search's socket is closed
}

TEST_F(ShellConnectionTest, JGoesToTheHostJoinedLastUnlessThisCopyHostsWhichIsNoHostJoined)
{
    Settings saved;
    saved.joinAddress = "192.0.2.1";
    saved.joinPort = 44603;
    Options options;
    options.given = {"port"};
    EXPECT_EQ(shellStartFrom(options, "built.in", saved).lastPort, options.port) << "--port wins";
    options.mode = RunMode::Host;
    EXPECT_EQ(shellStartFrom(options, "built.in", saved).lastHost, "");
    type("y\r");  // a copy that hosts joins itself, which the settings do not keep
    ASSERT_TRUE(shellStart(shell, ShellStart{RunMode::Ask, "", 44602, {}, true, true, 0, "192.0.2.1", 44603}));
    hold(SCAN_J);
    ASSERT_TRUE(framesUntil([&] { return lobbyClientOwnSlot(shell.link.net.client) == 0; }));
    EXPECT_EQ(shellSettings(shell, saved).joinAddress, "192.0.2.1");
}

}  // namespace
}  // namespace netduel
