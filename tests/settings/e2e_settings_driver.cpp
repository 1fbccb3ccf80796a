// End-to-end settings: the real game joins a --dedicated host, takes a name with /name and
// leaves with Escape; its file then holds both, and the next start without options has
// J go there under that name. A read-only settings folder costs one status line and
// nothing of the game. e2e.sh runs it inside a private network and mount namespace with
// its own Xvfb; argv[1] is the game executable.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "e2e_support.h"

namespace netduel {
namespace {

using namespace e2e;

constexpr std::uint16_t KEPT_PORT = 44610;
constexpr std::uint16_t READ_ONLY_PORT = 44611;
const char* gamePath = nullptr;

std::string fileText(const std::string& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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
    std::system(("mkdir -p " + folder).c_str());
    return folder;
}

struct Host {
    std::unique_ptr<Child> child;
    bool says(const std::string& text, int times = 1)
    {
        return waitFor([&] { return child->ended() || count(child->outText, text) >= times; });
    }
};

Host startHost(std::uint16_t port)
{
    Host host{spawn(gamePath, {"--dedicated", "--port", std::to_string(port)}, false)};
    EXPECT_TRUE(host.says("Host running!\n"));
    return host;
}

TEST(SettingsEndToEnd, TheNameAndTheHostJoinedAreKeptAndTheNextStartUsesThem)
{
    Host host = startHost(KEPT_PORT);
    const std::string address = "127.0.0.1:" + std::to_string(KEPT_PORT);
    const std::string folder = settingsFolder("kept");
    auto game = spawn(gamePath, {"--join", address}, true, folder);
    const std::string window = windowOf(game->pid);
    ASSERT_FALSE(window.empty()) << "no window";
    ASSERT_TRUE(host.says("Cli0 connected from"));
    press(window, "c");
    ASSERT_TRUE(waitFor([&] { return rowShows(screenshot(window), 0, "> "); })) << "no chat line";
    xdotool("type --delay 30 '/name Bob'");
    press(window, "Return");
    ASSERT_TRUE(host.says("NME Anonymous0 Bob\n"));
    press(window, "Escape");
    ASSERT_TRUE(waitFor([&] { return game->ended(); }));
    EXPECT_TRUE(game->exitedWith(0)) << game->status;
    const std::string kept = fileText(folder + "/netduel/netduel.conf");
    for (const std::string& line : {std::string("\nname = Bob\n"), std::string("\njoin-address = 127.0.0.1\n"),
                                   "\njoin-port = " + std::to_string(KEPT_PORT) + "\n"})
        EXPECT_NE(kept.find(line), std::string::npos) << line << " not in:\n" << kept;

    // No option: the question, then J joins that host and asks for that name.
    auto again = spawn(gamePath, {}, true, folder);
    const std::string windowAgain = windowOf(again->pid);
    ASSERT_FALSE(windowAgain.empty()) << "no window the second time";
    xdotool("windowfocus --sync " + windowAgain + " type --delay 30 n");
    press(windowAgain, "Return");
    EXPECT_TRUE(waitFor([&] { return rowShows(screenshot(windowAgain), 0, "Press J to connect to " + address); }));
    press(windowAgain, "j");
    EXPECT_TRUE(host.says(" Bob\n", 2)) << host.child->outText;
    press(windowAgain, "Escape");
    ASSERT_TRUE(waitFor([&] { return again->ended(); }));
    EXPECT_TRUE(again->exitedWith(0)) << again->status;
}

TEST(SettingsEndToEnd, AReadOnlyFolderCostsOneStatusLineAndTheGamePlaysOn)
{
    Host host = startHost(READ_ONLY_PORT);
    const std::string folder = settingsFolder("read-only");
    ASSERT_EQ(mount("netduel-settings", folder.c_str(), "tmpfs", MS_RDONLY, nullptr), 0) << std::strerror(errno);
    auto game = spawn(gamePath, {"--join", "127.0.0.1:" + std::to_string(READ_ONLY_PORT), "--name", "Ann"}, true,
                      folder);
    const std::string window = windowOf(game->pid);
    ASSERT_FALSE(window.empty()) << "no window";
    ASSERT_TRUE(host.says("NME Anonymous0 Ann\n"));
    press(window, "m");  // a second change, which is not tried again
    press(window, "Escape");
    ASSERT_TRUE(waitFor([&] { return game->ended(); }));
    EXPECT_TRUE(game->exitedWith(0)) << game->status;
    EXPECT_EQ(count(game->outText, "Cannot write the settings to " + folder + "/netduel/netduel.conf: "), 1)
        << game->outText;
    umount(folder.c_str());
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    return netduel::e2e::driverMain(argc, argv, netduel::gamePath);
}
