// End-to-end settings: the real game joins a --dedicated host, takes a name with /name
// (and is refused another) and leaves with Escape; its file then holds the name and the
// host, and the next start without options has J go there under that name. A read-only
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

TEST(SettingsEndToEnd, ANameAndTheHostJoinedAreKeptForTheNextStartAndAReadOnlyFolderCostsOneLine)
{
    auto host = spawn(gamePath, {"--dedicated", "--port", std::to_string(PORT)}, false);
    const auto hostSays = [&](const std::string& text, int times) {
        return waitFor([&] { return host->ended() || count(host->outText, text) >= times; });
    };
    ASSERT_TRUE(hostSays("Host running!\n", 1));
    const std::string address = "127.0.0.1:" + std::to_string(PORT);
    const std::string kept = settingsFolder("kept");
    auto game = spawn(gamePath, {"--join", address}, true, kept);
    std::string window = windowOf(game->pid);
    ASSERT_TRUE(hostSays("Cli0 connected from", 1));
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
    const std::string text = fileText(kept + "/netduel/netduel.conf");
    for (const std::string& line : {std::string("\nname = Bob\n"), std::string("\njoin-address = 127.0.0.1\n"),
                                   "\njoin-port = " + std::to_string(PORT) + "\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " not in:\n" << text;

    // No option: the question, then J joins that host and asks for that name.
    game = spawn(gamePath, {}, true, kept);
    window = windowOf(game->pid);
    xdotool("windowfocus --sync " + window + " type --delay 30 n");
    press(window, "Return");
    EXPECT_TRUE(waitFor([&] { return rowShows(screenshot(window), 0, "Press J to connect to " + address); }));
    press(window, "j");
    EXPECT_TRUE(hostSays(" Bob\n", 2)) << host->outText;
    press(window, "Escape");
    ASSERT_TRUE(waitFor([&] { return game->ended(); }));
    EXPECT_TRUE(game->exitedWith(0)) << game->status;

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
