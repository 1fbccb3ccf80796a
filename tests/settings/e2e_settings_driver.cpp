// End-to-end settings: the real game joins a --dedicated host with --join, --mute,
// --volume and --name, takes a name with /name (and is refused another) and leaves with
// Escape; its file then holds the name but none of the options. A start that joins with
// J and mutes with M keeps both, the next start has J go there, and --window is not kept. A read-only
// settings folder costs one status line and nothing of the game. e2e.sh runs it inside
// a private network and mount namespace with its own Xvfb; argv[1] is the game executable.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e_support.h"

namespace netduel {
namespace {

using namespace e2e;

constexpr std::uint16_t PORT = 44610;
const char* gamePath = nullptr;

std::string fileText(const std::string& path) { return (std::ostringstream() << std::ifstream(path).rdbuf()).str(); }

int count(const std::string& text, const std::string& part)
{
    int found = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

// A folder for settings below the run's own, which e2e.sh sets.
std::string settingsFolder(const std::string& name)
{
    const std::string folder = std::string(std::getenv("XDG_CONFIG_HOME")) + "/" + name;
    std::filesystem::create_directories(folder);
    return folder;
}

TEST(SettingsEndToEnd, WhatThePlayerChangesIsKeptForTheNextStartAndTheOptionsHoldForTheirRunOnly)
{
    auto host = spawn(gamePath, {"--dedicated", "--port", std::to_string(PORT)}, false);
    const auto hostSays = [&](const std::string& text, int times) {
        return waitFor([&] { return host->ended() || count(host->outText, text) >= times; });
    };
    ASSERT_TRUE(hostSays("Host running!\n", 1));
    const std::string address = "127.0.0.1:" + std::to_string(PORT);
    const std::string kept = settingsFolder("kept");
    const std::string file = kept + "/netduel/netduel.conf";
    const auto expectLines = [&](std::initializer_list<std::string> present, std::initializer_list<std::string> absent) {
        const std::string text = fileText(file);
        for (const std::string& line : present) EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << " not in:\n" << text;
        for (const std::string& part : absent) EXPECT_EQ(text.find(part), std::string::npos) << part << " in:\n" << text;
    };
    // Options for this run only: --join's host, --mute, --volume and --name.
    auto game = spawn(gamePath, {"--join", address, "--mute", "--volume", "10", "--name", "Ann"}, true, kept);
    std::string window = windowOf(game->pid);
    ASSERT_TRUE(hostSays(" Ann\n", 1));
    // A name the lobby grants is the player's; one it replaces (it holds a blank) is not.
    for (const std::string& line : {std::string("/name Bob"), std::string("/name Bob Smith")}) {
        press(window, "c");
        ASSERT_TRUE(waitFor([&] { return rowShows(screenshot(window), 0, "> "); })) << "no chat line";
        xdotool("type --delay 30 '" + line + "'");
        press(window, "Return");
    }
    ASSERT_TRUE(hostSays("NME Bob Lamer", 1));
    press(window, "Escape");
    ASSERT_TRUE(waitFor([&] { return game->ended(); }));
    expectLines({"name = Bob", "mute = no", "volume = 70", "window-width = 1024", "window-height = 768"},
                {"join-address", "join-port", "Ann"});

    // The question answered n, J to --port's host under the kept name, and M: both kept.
    game = spawn(gamePath, {"--port", std::to_string(PORT)}, true, kept);
    window = windowOf(game->pid);
    xdotool("windowfocus --sync " + window + " type --delay 30 n");
    press(window, "Return");
    ASSERT_TRUE(waitFor([&] { return rowShows(screenshot(window), 0, "Press J to connect to " + address); }));
    press(window, "j");
    EXPECT_TRUE(hostSays(" Bob\n", 2)) << host->outText;
    press(window, "m");
    press(window, "Escape");
    ASSERT_TRUE(waitFor([&] { return game->ended(); }));
    EXPECT_TRUE(game->exitedWith(0)) << game->status;
    expectLines({"name = Bob", "mute = yes", "join-address = 127.0.0.1", "join-port = " + std::to_string(PORT)}, {});

    // No option: J goes to the host joined last.
    game = spawn(gamePath, {}, true, kept);
    window = windowOf(game->pid);
    xdotool("windowfocus --sync " + window + " type --delay 30 n");
    press(window, "Return");
    EXPECT_TRUE(waitFor([&] { return rowShows(screenshot(window), 0, "Press J to connect to " + address); }));
    press(window, "Escape");
    ASSERT_TRUE(waitFor([&] { return game->ended(); }));

    // --window, for its run only; Escape once the question is answered.
    game = spawn(gamePath, {"--window", "800x600"}, true, kept);
    window = windowOf(game->pid);
    ASSERT_TRUE(waitFor([&] { return windowSize(window) == std::pair(800, 600); }));
    xdotool("windowfocus --sync " + window + " type --delay 30 n");
    press(window, "Return");
    // Escape until it ends; a game on its way out (slow under the sanitizers) may have
    // closed its window before its process ends, and a press then finds no window.
    const auto escape = [&] {
        const std::string held = "windowfocus --sync " + window + " keydown Escape sleep 0.1 keyup Escape";
        [[maybe_unused]] const int gone = std::system((X_TIMEOUT + ("xdotool " + held) + " 2>/dev/null").c_str());
    };
    ASSERT_TRUE(waitFor([&] { return game->ended(); }, DEADLINE, escape));
    expectLines({"window-width = 1024", "window-height = 768", "join-port = " + std::to_string(PORT)}, {"800", "600"});

    // A read-only folder: one status line for the two changes (the name, then M), and the game plays.
    const std::string readOnly = settingsFolder("read-only");
    ASSERT_EQ(mount("netduel-settings", readOnly.c_str(), "tmpfs", MS_RDONLY, nullptr), 0) << std::strerror(errno);
    game = spawn(gamePath, {"--join", address, "--name", "Ann"}, true, readOnly);
    window = windowOf(game->pid);
    ASSERT_TRUE(hostSays(" Ann\n", 1));
    press(window, "m");
    press(window, "Escape");
    ASSERT_TRUE(waitFor([&] { return game->ended(); }));
    EXPECT_TRUE(game->exitedWith(0)) << game->status;
    EXPECT_EQ(count(game->outText, "Cannot write the settings to " + readOnly + "/netduel/netduel.conf: "), 1)
        << game->outText;
    umount(readOnly.c_str());
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    return netduel::e2e::driverMain(argc, argv, netduel::gamePath);
}
