// End-to-end scenario across copies: a --dedicated host without any display, two windowed
// --join copies driven by xdotool and read back by screenshots, a bare ENet peer watching
// the snapshots, SIGTERM and what everybody sees of it; then the ways a run ends before
// it starts (the question, the command line, no screen). e2e.sh runs it inside a private
// network namespace with its own Xvfb; argv[1] is the game executable.
#include <enet/enet.h>

#include <algorithm>

#include "duel/match.h"
#include "e2e_support.h"
#include "e2e_watcher.h"
#include "lobby/lobby_protocol.h"
#include "shell/host.h"

#ifndef NETDUEL_VERSION
#error "the build passes the project version"
#endif

namespace netduel {
namespace {

using namespace e2e;

constexpr std::uint16_t PORT = 43610;  // not the default port: --port must be obeyed
const std::string ADDRESS = "127.0.0.1:" + std::to_string(PORT);
constexpr int HINT_TOP = 0;
constexpr int NEWEST_TOP = 10;  // history line 0
// What is at stake: a told peer shows the end at once, a timed-out one after 5 s or more.
constexpr auto SHOWN_WITHIN = std::chrono::seconds(2);

const char* gamePath = nullptr;

bool showsRow(const std::string& window, int top, std::string_view text)
{
    return waitFor([&] { return rowShows(screenshot(window), top, text); });
}

TEST(DedicatedEndToEnd, TwoJoinersPlayOnADedicatedHostThatSaysGoodbye)
{
    // B joins before any host exists: its attempt shows, then fails.
    auto b = spawn(gamePath, {"--join", ADDRESS});
    const std::string windowB = windowOf(b->pid);
    ASSERT_FALSE(windowB.empty()) << "no window for B";
    EXPECT_TRUE(showsRow(windowB, HINT_TOP, "Connecting to " + ADDRESS + "..."));
    ASSERT_TRUE(showsRow(windowB, NEWEST_TOP, "disconected."));
    EXPECT_TRUE(showsRow(windowB, HINT_TOP, "Press J to connect to " + ADDRESS));

    auto host = spawn(gamePath, {"--dedicated", "--port", std::to_string(PORT)}, false);
    const auto hostSays = [&](const std::string& text) {
        return waitFor([&] { return host->ended() || host->said(text); });
    };
    ASSERT_TRUE(hostSays("Host running!\n"));
    ASSERT_EQ(host->outText.rfind("Creating server\nHost running!\n", 0), 0u) << host->outText;

    // A joins as Zed without a key pressed and takes the first slot, ship 0.
    auto a = spawn(gamePath, {"--join", ADDRESS, "--name", "Zed"});
    const std::string windowA = windowOf(a->pid);
    ASSERT_FALSE(windowA.empty()) << "no window for A";
    ASSERT_TRUE(hostSays("DATA TO SEND:           NME Anonymous0 Zed\n"));
    EXPECT_TRUE(showsRow(windowA, NEWEST_TOP, "* Anonymous0 is now known as Zed"));
    EXPECT_TRUE(showsRow(windowA, HINT_TOP, ""));

    // J in B connects it now: the second slot, ship 1.
    press(windowB, "j");
    ASSERT_TRUE(hostSays("Cli1 connected from"));
    EXPECT_TRUE(showsRow(windowB, NEWEST_TOP, "* Anonymous1 connected =)"));
    EXPECT_TRUE(showsRow(windowB, HINT_TOP, ""));

    Watcher watcher(PORT);
    const auto serviceWatcher = [&] { watcher.service(); };
    ASSERT_TRUE(waitFor([&] { return watcher.snapshots > 0; }, DEADLINE, serviceWatcher));
    EXPECT_EQ(watcher.latest.ships[0].position, SHIP0_START);
    EXPECT_EQ(watcher.latest.ships[1].position, SHIP1_START);

    // Each player steers its own ship and only that one.
    press(windowB, "Up");
    ASSERT_TRUE(waitFor([&] { return watcher.latest.ships[1].position.y < SHIP1_START.y; },
                        DEADLINE, serviceWatcher));
    EXPECT_EQ(watcher.latest.ships[0].position, SHIP0_START);
    press(windowA, "Left");
    ASSERT_TRUE(waitFor([&] { return watcher.latest.ships[0].heading != 0.0f; },
                        DEADLINE, serviceWatcher));
    EXPECT_EQ(watcher.latest.ships[0].position, SHIP0_START);

    // SIGTERM: every peer is told, both windows show it at once, the host ends with 0.
    ASSERT_EQ(kill(host->pid, SIGTERM), 0);
    const auto sent = Clock::now();
    ASSERT_TRUE(waitFor([&] { return watcher.told; }, DEADLINE, serviceWatcher));
    const std::string goodbye = "Client informationdisconected.";
    for (const std::string& window : {windowA, windowB}) {
        EXPECT_TRUE(waitFor([&] { return rowShows(screenshot(window), NEWEST_TOP, goodbye); },
                            SHOWN_WITHIN - (Clock::now() - sent)))
            << window;
    }
    ASSERT_TRUE(waitFor([&] { return host->ended(); }, DEADLINE, serviceWatcher));
    EXPECT_TRUE(host->exitedWith(0)) << host->status;
    for (const char* line : {"Cli0 disconnected.\n", "Cli1 disconnected.\n", "Cli2 disconnected.\n"})
        EXPECT_TRUE(host->said(line)) << line;  // each peer answered before the host went

    // The windows play on without a host; SIGTERM and Escape end them with status 0.
    EXPECT_TRUE(showsRow(windowA, HINT_TOP, "Press J to connect to " + ADDRESS));
    ASSERT_FALSE(a->ended());
    ASSERT_EQ(kill(a->pid, SIGTERM), 0);
    ASSERT_TRUE(waitFor([&] { return a->ended(); }));
    EXPECT_TRUE(a->exitedWith(0)) << a->status;
    xdotool("windowfocus --sync " + windowB + " keydown Escape");
    ASSERT_TRUE(waitFor([&] { return b->ended(); }));
    xdotool("keyup Escape");
    EXPECT_TRUE(b->exitedWith(0)) << b->status;
}

TEST(DedicatedEndToEnd, EscapeOrASignalAtTheQuestionEndsTheRunWithZero)
{
    for (const bool escape : {true, false}) {
        auto game = spawn(gamePath, {"--port", std::to_string(PORT)});
        const std::string window = windowOf(game->pid);
        ASSERT_FALSE(window.empty());
        ASSERT_TRUE(waitFor([&] {
            const auto shot = screenshot(window);
            return !shot.empty() && pixel(shot, 1, 1) == FOREGROUND;  // the "C" of the question
        }));
        if (escape)
            press(window, "Escape");
        else
            ASSERT_EQ(kill(game->pid, SIGINT), 0);
        ASSERT_TRUE(waitFor([&] { return game->ended(); }));
        EXPECT_TRUE(game->exitedWith(0)) << game->status;
        EXPECT_EQ(game->outText, "");  // it never hosted
    }
}

TEST(DedicatedEndToEnd, CommandLineProblemsEndTheRunBeforeAnyWindow)
{
    // Without a screen a window would end the run with 1: the 2 says none was tried.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--port", "65536"}, "port must be a number from 1 to 65535, not '65536'"},
        {{"--join", ""}, "--join needs an address before any ':', not ''"},
        {{"--join", "no-such-host.invalid"}, "cannot resolve the address 'no-such-host.invalid'"},
        {{"--host", "--join", "127.0.0.1"},
         "--join cannot be combined with another of --host, --join, --dedicated and --practice"},
    };
    for (const auto& [arguments, problem] : cases) {
        auto game = spawn(gamePath, arguments, false);
        ASSERT_TRUE(waitFor([&] { return game->ended(); }));
        EXPECT_TRUE(game->exitedWith(2)) << problem;
        EXPECT_EQ(game->errText, "netduel: " + problem + "\nTry 'netduel --help' for more information.\n");
        EXPECT_EQ(game->outText, "");
    }

    auto help = spawn(gamePath, {"--help"}, false);
    ASSERT_TRUE(waitFor([&] { return help->ended(); }));
    EXPECT_TRUE(help->exitedWith(0));
    EXPECT_EQ(help->outText.rfind("usage: netduel ", 0), 0u);
    EXPECT_EQ(help->errText, "");
    help->outText.clear();

    auto version = spawn(gamePath, {"--version"}, false);
    ASSERT_TRUE(waitFor([&] { return version->ended(); }));
    EXPECT_TRUE(version->exitedWith(0));
    EXPECT_EQ(version->outText, "netduel " NETDUEL_VERSION "\n");
    version->outText.clear();
}

TEST(DedicatedEndToEnd, AWindowWithoutAScreenSaysSoInOneLineAndEndsWithOne)
{
    // No runtime folder either, as on a server's plain login: Wayland's library would say so.
    const std::string runtime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    unsetenv("XDG_RUNTIME_DIR");
    auto game = spawn(gamePath, {"--host", "--port", std::to_string(PORT)}, false);
    if (!runtime.empty()) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ASSERT_TRUE(waitFor([&] { return game->ended(); }));
    EXPECT_TRUE(game->exitedWith(1)) << game->status;
    const std::string line = "Cannot open the window: neither DISPLAY nor WAYLAND_DISPLAY is set";
    EXPECT_EQ(game->outText.rfind(line, 0), 0u) << game->outText;
    EXPECT_EQ(std::count(game->outText.begin(), game->outText.end(), '\n'), 1) << game->outText;
    EXPECT_EQ(game->errText, "");
    EXPECT_NE(game->outText.find("--dedicated"), std::string::npos);
    EXPECT_EQ(game->outText.find("Creating server"), std::string::npos);
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    return netduel::e2e::driverMain(argc, argv, netduel::gamePath);
}
