// The shell without a window: start-up answers, the frame's key handling and a real
// loopback connection of the host's own client. Each test has its own port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "base/status.h"
#include "base/timer.h"
#include "duel/packet_handlers.h"
#include "lobby/chat_input.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"
#include "shell/host.h"
#include "shell/shell.h"

namespace netduel {
namespace {

constexpr double DEADLINE_SECONDS = 10.0;

// Keys stay held until the shell waits for their release: then everything lets go.
void releaseAllKeys(Display& display)
{
    for (bool& held : display.keyState) held = false;
}

class ShellTest : public ::testing::Test {
protected:
    std::unique_ptr<Shell> owned = std::make_unique<Shell>();
    Shell& shell = *owned;
    std::FILE* log = std::tmpfile();

    void SetUp() override
    {
        statusOut = log;
        shell.display.backEnd.pump = releaseAllKeys;
        chatLineReset();  // the chat line outlives a test that left text in it
    }
    void TearDown() override
    {
        shellStop(shell);
        statusOut = stdout;
        std::fclose(log);
    }

    void start(std::string_view reply, std::uint16_t port)
    {
        for (char c : reply) keyRingPush(shell.display.keys, static_cast<unsigned char>(c));
        keyRingPush(shell.display.keys, '\r');
        shellStart(shell, "", port);
    }
    std::string logText()
    {
        std::string text(4096, '\0');
        std::rewind(log);
        text.resize(std::fread(text.data(), 1, text.size(), log));
        return text;
    }
    void hold(int scanCode) { displayKeyEvent(shell.display, scanCode, true); }
    // Pressed and released between two frames, quicker than a frame.
    void tap(int scanCode)
    {
        displayKeyEvent(shell.display, scanCode, true);
        displayKeyEvent(shell.display, scanCode, false);
    }

    // Runs frames until the newest history line reads `line`.
    bool framesUntilHistory(std::string_view line)
    {
        const double deadline = timerSeconds() + DEADLINE_SECONDS;
        while (timerSeconds() < deadline) {
            shellFrame(shell);
            for (const auto& text : shell.link.net.client.history)
                if (fixedTextView(text) == line) return true;
        }
        return false;
    }
};

struct AnswerCase {
    const char* reply;
    bool hosts;
};

void PrintTo(const AnswerCase& answer, std::ostream* out)
{
    *out << '"' << answer.reply << (answer.hosts ? "\" hosts" : "\" does not host");
}

class ShellAnswerTest : public ShellTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ShellAnswerTest, OnlyYOrLowerYHosts)
{
    // None of these hosts, so the cases share one port without meeting.
    start(GetParam().reply, 47101);
    EXPECT_EQ(shell.link.net.server.host != nullptr, GetParam().hosts) << GetParam().reply;
    EXPECT_EQ(shell.link.serverAddress, "127.0.0.1");
    shellStop(shell);
}

INSTANTIATE_TEST_SUITE_P(Replies, ShellAnswerTest,
                         ::testing::Values(AnswerCase{"yes", false}, AnswerCase{"n", false},
                                           AnswerCase{"", false}, AnswerCase{"Y ", false},
                                           AnswerCase{" ,y", false}));

TEST_F(ShellTest, UpperCaseYHostsAsLowerCaseDoes)
{
    start("Y", 47300);
    EXPECT_NE(shell.link.net.server.host, nullptr);
    EXPECT_EQ(logText(), "Creating server\nHost running!\n");
}

TEST_F(ShellTest, HostStartsWithShipsPlacedAndSaysSo)
{
    start(" \ty,more", 47102);
    ASSERT_NE(shell.link.net.server.host, nullptr);
    EXPECT_EQ(shell.link.net.server.running, 1);
    EXPECT_EQ(shell.link.match.ships[0].position, SHIP0_START);
    EXPECT_EQ(shell.link.match.ships[1].colour, SHIP1_COLOUR);
    EXPECT_EQ(logText(), "Creating server\nHost running!\n");

    EXPECT_TRUE(shellFrame(shell));
    EXPECT_FALSE(shell.frameToggle);  // the first frame runs with the toggle false
    EXPECT_LT(shell.frameDt, 0.0);
    EXPECT_TRUE(shellFrame(shell));
    EXPECT_TRUE(shell.frameToggle);
    hold(SCAN_ESCAPE);
    EXPECT_FALSE(shellFrame(shell));
}

TEST_F(ShellTest, SecondHostOnABusyPortFailsAndRunsOnAsAClient)
{
    auto first = std::make_unique<Shell>();
    keyRingPush(first->display.keys, 'y');
    shellStart(*first, "", 47103);
    ASSERT_NE(first->link.net.server.host, nullptr);
    start("y", 47103);
    EXPECT_EQ(shell.link.net.server.host, nullptr);
    EXPECT_NE(logText().find("Host creation failed!\n"), std::string::npos);
    EXPECT_TRUE(shellFrame(shell));
    shellStop(*first);
}

TEST_F(ShellTest, ControlKeysBuildTheWordAndTheLatchKeepsCircling)
{
    start("n", 47104);
    hold(SCAN_LEFT);
    hold(SCAN_X);
    shellFrame(shell);
    EXPECT_EQ(shell.controlWord, KEY_LEFT | KEY_FIRE);
    EXPECT_TRUE(shell.controlActive);
    releaseAllKeys(shell.display);
    shellFrame(shell);
    EXPECT_EQ(shell.controlWord, 0u);
    EXPECT_FALSE(shell.controlActive);

    hold(SCAN_R);
    shellFrame(shell);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(shell.autoCircle);
        EXPECT_EQ(shell.controlWord, KEY_UP | KEY_RIGHT);
        EXPECT_TRUE(shell.controlActive);
        shellFrame(shell);
    }
}

TEST_F(ShellTest, EachControlKeySetsItsOwnBit)
{
    start("n", 47301);
    struct ControlCase {
        int scanCode;
        KeyFlags bit;
    };
    // Left, Right, Up and Down arrows and X by their PC scan codes.
    for (const ControlCase key : {ControlCase{75, 0x01}, ControlCase{77, 0x02}, ControlCase{72, 0x04},
                                  ControlCase{80, 0x08}, ControlCase{45, 0x10}}) {
        hold(key.scanCode);
        shellFrame(shell);
        EXPECT_EQ(shell.controlWord, key.bit) << key.scanCode;
        EXPECT_TRUE(shell.controlActive);
        releaseAllKeys(shell.display);
    }
}

TEST_F(ShellTest, KeysTappedBetweenFramesActOnceInTheNextFrame)
{
    start("n", 47302);
    tap(SCAN_UP);
    tap(SCAN_X);
    shellFrame(shell);
    EXPECT_EQ(shell.controlWord, KEY_UP | KEY_FIRE);
    EXPECT_TRUE(shell.controlActive);
    shellFrame(shell);
    EXPECT_EQ(shell.controlWord, 0u);
    EXPECT_FALSE(shell.controlActive);

    tap(SCAN_J);
    shellFrame(shell);
    EXPECT_NE(shell.link.net.client.host, nullptr);  // nobody listens: connecting is enough here

    tap(SCAN_R);
    shellFrame(shell);
    EXPECT_TRUE(shell.autoCircle);

    tap(SCAN_C);
    shellFrame(shell);
    EXPECT_TRUE(shell.chatMode);
}

TEST_F(ShellTest, WaitKeyReleaseLetsOnePressActOnce)
{
    tap(SCAN_J);
    hold(SCAN_C);
    waitKeyRelease(shell.display, SCAN_J);
    EXPECT_FALSE(keyDown(shell.display, SCAN_J));
    EXPECT_TRUE(keyDown(shell.display, SCAN_C));  // another key's press has yet to act
    waitKeyRelease(shell.display, SCAN_C);        // returns once the pump lets C go
    EXPECT_FALSE(keyDown(shell.display, SCAN_C));
}

// In a hosting copy a frame that waited for a key's release would stop the match for
// every player for as long as the key is held.
TEST_F(ShellTest, TogglesAndTheChatKeyActOnTheirPressAndTheFrameGoesOnWhileTheyAreHeld)
{
    start("n", 47306);  // a port no other test hosts on
    hold(SCAN_J);  // chat opens only once an attempt runs; nobody answers on this port
    shellFrame(shell);
    static int pumps;
    pumps = 0;
    shell.display.backEnd.pump = [](Display& display) {
        if (++pumps > 50) releaseAllKeys(display);  // a frame that waits gets its release at last
    };
    hold(SCAN_F3);
    hold(SCAN_M);
    hold(SCAN_R);
    for (int frame = 0; frame < 3; ++frame) shellFrame(shell);
    EXPECT_TRUE(shell.overlay) << "toggled once in three frames held";
    EXPECT_TRUE(shell.sound.settings.muted);
    EXPECT_TRUE(shell.autoCircle);

    hold(SCAN_C);
    keyRingPush(shell.display.keys, 'c');
    shellFrame(shell);
    ASSERT_TRUE(shell.chatMode);
    keyRingPush(shell.display.keys, 'c');  // its repeat while held
    shellFrame(shell);
    EXPECT_EQ(shell.chatEcho, "");
    displayKeyEvent(shell.display, SCAN_C, false);
    keyRingPush(shell.display.keys, 'x');
    shellFrame(shell);
    EXPECT_EQ(shell.chatEcho, "x");
    EXPECT_LT(pumps, 50) << "a frame waited for a release";
}

// J too: the match must not stop for as long as the hosting player holds it.
TEST_F(ShellTest, AHostingCopyWhosePlayerHoldsJKeepsSendingSnapshotsAndConnectsOnce)
{
    start("y", 47304);
    ASSERT_NE(shell.link.net.server.host, nullptr);
    static int pumps;
    pumps = 0;
    shell.display.backEnd.pump = [](Display& display) {
        if (++pumps > 50) releaseAllKeys(display);
    };
    hold(SCAN_J);
    shellFrame(shell);
    ENetHost* const clientHost = shell.link.net.client.host;
    ASSERT_NE(clientHost, nullptr);
    const double deadline = timerSeconds() + DEADLINE_SECONDS;
    while (shell.link.view.smoothed.received < 5 && timerSeconds() < deadline) shellFrame(shell);
    EXPECT_GE(shell.link.view.smoothed.received, 5) << "snapshots stopped while J was held";
    EXPECT_TRUE(displayKeyHeld(shell.display, SCAN_J));
    EXPECT_EQ(shell.link.net.client.host, clientHost) << "a held J is one press";
    EXPECT_LT(pumps, 50) << "a frame waited for J's release";
}

TEST_F(ShellTest, ChatKeyFlushesTypedKeysAndStopsSampling)
{
    start("n", 47105);
    hold(SCAN_J);  // chat opens only once an attempt runs; nobody answers on this port
    shellFrame(shell);
    keyRingPush(shell.display.keys, 'c');
    hold(SCAN_C);
    shellFrame(shell);
    EXPECT_TRUE(shell.chatMode);
    EXPECT_EQ(readKey(shell.display), "");
    hold(SCAN_UP);
    hold(SCAN_R);
    shellFrame(shell);
    EXPECT_EQ(shell.controlWord, 0u);
    EXPECT_FALSE(shell.autoCircle);  // R is not sampled in chat mode
    hold(SCAN_ESCAPE);
    EXPECT_FALSE(shellFrame(shell));
}

TEST_F(ShellTest, JConnectsTheHostsOwnClientOnceAndChatReachesTheLobby)
{
    start("y", 47106);
    ASSERT_NE(shell.link.net.server.host, nullptr);
    hold(SCAN_J);
    shellFrame(shell);
    ENetHost* const clientHost = shell.link.net.client.host;
    ASSERT_NE(clientHost, nullptr);
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    hold(SCAN_J);
    shellFrame(shell);
    EXPECT_EQ(shell.link.net.client.host, clientHost);

    hold(SCAN_C);
    shellFrame(shell);
    ASSERT_TRUE(shell.chatMode);
    displayKeyEvent(shell.display, SCAN_C, false);  // typing starts once C is let go
    for (char c : std::string("hi\r")) keyRingPush(shell.display.keys, static_cast<unsigned char>(c));
    EXPECT_TRUE(framesUntilHistory("Anonymous0: hi"));
    EXPECT_FALSE(shell.chatMode);
    EXPECT_EQ(shell.chatEcho, "");
}

TEST_F(ShellTest, LettersTypedIntoTheChatLineNeverActAsControls)
{
    start("y", 47303);
    tap(SCAN_J);
    shellFrame(shell);
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    tap(SCAN_C);
    shellFrame(shell);
    ASSERT_TRUE(shell.chatMode);
    // Typing "rx" presses R and X as well.
    for (char c : std::string("rx\r")) keyRingPush(shell.display.keys, static_cast<unsigned char>(c));
    tap(SCAN_R);
    tap(SCAN_X);
    ASSERT_TRUE(framesUntilHistory("Anonymous0: rx"));
    ASSERT_FALSE(shell.chatMode);
    shellFrame(shell);
    EXPECT_FALSE(shell.autoCircle);
    EXPECT_EQ(shell.controlWord, 0u);
}

// The hosting copy's own client receives each snapshot a frame after it was taken; a
// word the server serves in between (here: at the end of a broadcasting frame) must
// still turn the ship, not be undone by that older snapshot.
TEST_F(ShellTest, HostKeepsAWordServedAfterItsSnapshotWasTaken)
{
    start("y", 48030);
    hold(SCAN_J);
    shellFrame(shell);
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    for (int frame = 0; frame < 6; ++frame) shellFrame(shell);  // snapshots flow to the own client
    for (int trial = 0; trial < 4; ++trial) {
        do shellFrame(shell);
        while (!shell.frameToggle);  // this frame broadcast a snapshot
        const float before = shell.link.match.ships[1].heading;
        shipApplyControl(shell.link.match.ships[1], KEY_LEFT);
        for (int frame = 0; frame < 3; ++frame) shellFrame(shell);
        EXPECT_NE(shell.link.match.ships[1].heading, before) << "trial " << trial;
    }
    EXPECT_EQ(shell.link.match.ships[0].position, SHIP0_START);
}

// A host whose own client has not joined yet still shows the match it simulates.
TEST_F(ShellTest, HostDrawsItsMatchBeforeItsOwnClientJoins)
{
    start("y", 48031);
    for (int frame = 0; frame < 5000 && shell.link.match.ships[0].position.y > SHIP0_START.y - 25.0f;
         ++frame) {
        shipApplyControl(shell.link.match.ships[0], KEY_UP);
        shellFrame(shell);
    }
    const Vec2 at = shell.link.match.ships[0].position;
    ASSERT_LT(at.y, SHIP0_START.y - 25.0f);
    EXPECT_EQ(displayPixel(shell.display, int(SHIP0_START.x), int(SHIP0_START.y) + 5), BACKGROUND);
    EXPECT_EQ(displayPixel(shell.display, int(at.x), int(at.y) + 5), SHIP0_COLOUR);
}

TEST_F(ShellTest, HeldUpArrowMovesShipZeroThroughTheNetwork)
{
    start("y", 47107);
    hold(SCAN_J);
    shellFrame(shell);
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    hold(SCAN_UP);
    const double deadline = timerSeconds() + DEADLINE_SECONDS;
    while (shell.link.match.ships[0].position == SHIP0_START && timerSeconds() < deadline)
        shellFrame(shell);
    EXPECT_LT(shell.link.match.ships[0].position.y, SHIP0_START.y);  // heading 0 is up
    EXPECT_EQ(shell.link.match.ships[1].position, SHIP1_START);
}

// What the test's server received from the shell: control words on channel 1 and the
// test's own markers on channel 3 (a channel the game leaves unused).
constexpr std::uint8_t MARK_CHANNEL = 3;
struct ServerLog {
    int words = 0;
    int reliableWords = 0;
    std::size_t lastLength = 0;
    KeyFlags lastWord = 0;
    int marks = 0;
};
ServerLog serverLog;

std::int32_t logServerPacket(PacketEvent& event)
{
    const ENetEvent& received = *event.event;
    if (received.channelID == MARK_CHANNEL) ++serverLog.marks;
    if (received.channelID != CHANNEL_CONTROL) return 0;
    ++serverLog.words;
    serverLog.reliableWords += (received.packet->flags & ENET_PACKET_FLAG_RELIABLE) != 0;
    serverLog.lastLength = received.packet->dataLength;
    controlDecode(packetBytes(received), serverLog.lastWord);
    return 0;
}

// A plain copy (not the host) whose client is connected to a server the test owns, with
// the program clock pinned so that the test decides when time passes.
class ShellControlTest : public ShellTest {
protected:
    LobbyServer server;

    void TearDown() override
    {
        timerSetReal();
        lobbyServerDestroy(server);
        ShellTest::TearDown();
    }

    void connect(std::uint16_t port)
    {
        serverLog = {};
        ASSERT_TRUE(lobbyServerCreate(server, "", port, 2));
        lobbyServerSetCallback(server, logServerPacket);
        start("n", port);
        tap(SCAN_J);
        ASSERT_TRUE(pumpUntil([&] {
            shellFrame(shell);
            return !server.clients.empty() && server.clients[0].connected &&
                   shell.link.net.client.peer->state == ENET_PEER_STATE_CONNECTED;
        }));
        // ENet may thin out unreliable packets when the round trip wobbles; the counts
        // below must be exact, so this client never does.
        shell.link.net.client.peer->packetThrottleDeceleration = 0;
    }

    // Services the test's server until `done` holds; the deadline is on the real clock.
    bool pumpUntil(const std::function<bool()>& done)
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::duration<double>(DEADLINE_SECONDS);
        while (Clock::now() < deadline) {
            lobbyServerService(server);
            if (done()) return true;
        }
        return false;
    }

    void framesHolding(int scanCode, int frames)
    {
        hold(scanCode);
        for (int i = 0; i < frames; ++i) shellFrame(shell);
        releaseAllKeys(shell.display);
    }

    // Control words the server has received, counted once a marker sent after them
    // has arrived: datagrams on loopback arrive in the order they left.
    int wordsArrived()
    {
        const int marks = serverLog.marks + 1;
        lobbyClientService(shell.link.net.client);  // sends what the last frame queued
        EXPECT_TRUE(lobbyClientSendBytes(shell.link.net.client, MARK_CHANNEL, controlEncode(0), true));
        EXPECT_TRUE(pumpUntil([&] {
            lobbyClientService(shell.link.net.client);
            return serverLog.marks == marks;
        }));
        return serverLog.words;
    }
};

TEST_F(ShellControlTest, AHeldKeySendsOneUnreliableWordPerTwentiethOfASecond)
{
    connect(47304);
    const double start = 1000.0;
    timerSetManual(start);
    framesHolding(SCAN_UP, 20);
    EXPECT_EQ(wordsArrived(), 1);
    EXPECT_EQ(serverLog.lastLength, 4u);
    EXPECT_EQ(serverLog.lastWord, 0x04u);
    EXPECT_EQ(serverLog.reliableWords, 0);

    timerSetManual(start + 0.05);  // the next word waits until strictly later
    framesHolding(SCAN_UP, 20);
    EXPECT_EQ(wordsArrived(), 1);
    timerSetManual(start + 0.0501);
    framesHolding(SCAN_LEFT, 20);
    EXPECT_EQ(wordsArrived(), 2);
    EXPECT_EQ(serverLog.lastWord, 0x01u | 0x04u);  // with the Up press no word carried yet

    // Nothing held, nothing sent, however much time passes.
    timerSetManual(start + 10.0);
    for (int i = 0; i < 10; ++i) shellFrame(shell);
    EXPECT_EQ(wordsArrived(), 2);
}

TEST_F(ShellControlTest, WordsLeaveOnlyOnEverySecondFrame)
{
    connect(47305);
    double now = 2000.0;
    hold(SCAN_DOWN);
    for (int frame = 0; frame < 10; ++frame) {
        timerSetManual(now += 1.0);
        shellFrame(shell);
    }
    releaseAllKeys(shell.display);
    EXPECT_EQ(wordsArrived(), 5);
    EXPECT_EQ(serverLog.lastWord, 0x08u);
}

// A press shorter than a frame, sampled in a frame that sends nothing, still leaves in
// the next word, and only in that one; a held key goes on beside it.
TEST_F(ShellControlTest, ATapBetweenTwoSendingFramesIsInTheNextWordAndOnlyThatOne)
{
    connect(44100);
    double now = 3000.0;
    const auto frame = [&] {
        timerSetManual(now += 0.03);  // every sending frame is past the interval
        shellFrame(shell);
    };
    struct TapCase {
        int tapped;
        int held;  // 0: none
        KeyFlags word;
    };
    int words = 0;
    for (const TapCase c : {TapCase{SCAN_X, 0, KEY_FIRE}, TapCase{SCAN_LEFT, 0, KEY_LEFT},
                            TapCase{SCAN_UP, 0, KEY_UP}, TapCase{SCAN_X, SCAN_RIGHT, KEY_RIGHT | KEY_FIRE}}) {
        if (c.held) hold(c.held);
        do frame();
        while (!shell.frameToggle);  // this frame could send; the next one cannot
        words = wordsArrived();
        tap(c.tapped);
        frame();
        // A press of fire leaves in its own frame, a turn's or thrust's in the next sending one.
        EXPECT_EQ(wordsArrived(), words + ((c.word & KEY_FIRE) ? 1 : 0)) << c.tapped;
        frame();
        EXPECT_EQ(wordsArrived(), words + 1) << c.tapped;
        EXPECT_EQ(serverLog.lastWord, c.word) << c.tapped;
        for (int i = 0; i < 4; ++i) frame();
        const int later = wordsArrived() - words - 1;  // a held key goes on alone
        EXPECT_EQ(later > 0, c.held != 0) << c.tapped;
        if (later) {
            EXPECT_EQ(serverLog.lastWord, c.word & ~KEY_FIRE) << c.tapped;
        }
        releaseAllKeys(shell.display);
        frame();
        frame();
    }
}

}  // namespace
}  // namespace netduel
