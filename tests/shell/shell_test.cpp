// The shell without a window: start-up answers, the frame's key handling and a real
// loopback connection of the host's own client. Each test has its own port.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>

#include "base/status.h"
#include "base/timer.h"
#include "lobby/lobby_protocol.h"
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

    // Runs frames until the newest history line reads `line`.
    bool framesUntilHistory(std::string_view line)
    {
        const double deadline = timerSeconds() + DEADLINE_SECONDS;
        while (timerSeconds() < deadline) {
            shellFrame(shell);
            for (const auto& text : shell.net.client.history)
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
    EXPECT_EQ(shell.net.server.host != nullptr, GetParam().hosts) << GetParam().reply;
    EXPECT_EQ(shell.serverAddress, "127.0.0.1");
    shellStop(shell);
}

INSTANTIATE_TEST_SUITE_P(Replies, ShellAnswerTest,
                         ::testing::Values(AnswerCase{"yes", false}, AnswerCase{"n", false},
                                           AnswerCase{"", false}, AnswerCase{"Y ", false},
                                           AnswerCase{" ,y", false}));

TEST_F(ShellTest, HostStartsWithShipsPlacedAndSaysSo)
{
    start(" \ty,more", 47102);
    ASSERT_NE(shell.net.server.host, nullptr);
    EXPECT_EQ(shell.net.server.running, 1);
    EXPECT_EQ(shell.match.ships[0].position, SHIP0_START);
    EXPECT_EQ(shell.match.ships[1].colour, SHIP1_COLOUR);
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
    ASSERT_NE(first->net.server.host, nullptr);
    start("y", 47103);
    EXPECT_EQ(shell.net.server.host, nullptr);
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
    ASSERT_NE(shell.net.server.host, nullptr);
    hold(SCAN_J);
    shellFrame(shell);
    ENetHost* const clientHost = shell.net.client.host;
    ASSERT_NE(clientHost, nullptr);
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    hold(SCAN_J);
    shellFrame(shell);
    EXPECT_EQ(shell.net.client.host, clientHost);

    hold(SCAN_C);
    shellFrame(shell);
    ASSERT_TRUE(shell.chatMode);
    for (char c : std::string("hi\r")) keyRingPush(shell.display.keys, static_cast<unsigned char>(c));
    EXPECT_TRUE(framesUntilHistory("Anonymous0: hi"));
    EXPECT_FALSE(shell.chatMode);
    EXPECT_EQ(shell.chatEcho, "");
}

TEST_F(ShellTest, HeldUpArrowMovesShipZeroThroughTheNetwork)
{
    start("y", 47107);
    hold(SCAN_J);
    shellFrame(shell);
    ASSERT_TRUE(framesUntilHistory("* Anonymous0 connected =)"));
    hold(SCAN_UP);
    const double deadline = timerSeconds() + DEADLINE_SECONDS;
    while (shell.match.ships[0].position == SHIP0_START && timerSeconds() < deadline)
        shellFrame(shell);
    EXPECT_LT(shell.match.ships[0].position.y, SHIP0_START.y);  // heading 0 is up
    EXPECT_EQ(shell.match.ships[1].position, SHIP1_START);
}

}  // namespace
}  // namespace netduel
