// End-to-end scenario of finding a game: two real dedicated hosts, one with two named
// players; --list finds both by broadcast with their players and names, or the one it is
// given, and says so in its exit status; --find joins the host with a ship free, or says
// in the panel that none answered. e2e.sh runs it inside a private network namespace (so
// the default port is free) with its own Xvfb; argv[1] is the game executable.
#include <sstream>

#include "e2e_support.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"

namespace netduel {
namespace {

using namespace e2e;

constexpr std::uint16_t FULL_PORT = 48530;  // the host whose two ships are held
const std::string FULL_PORT_TEXT = std::to_string(FULL_PORT);

const char* gamePath = nullptr;

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool startsWith(const std::string& text, std::string_view start) { return text.rfind(start, 0) == 0; }
bool endsWith(const std::string& text, std::string_view end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A player on the full host, named by the server as asked.
struct Player {
    LobbyClient client;

    explicit Player(std::string_view name)
    {
        EXPECT_TRUE(lobbyClientConnect(client, "127.0.0.1", FULL_PORT, CLIENT_CHANNELS));
        EXPECT_TRUE(waitFor([&] { return client.connected; }, DEADLINE, [&] { service(); }));
        EXPECT_TRUE(lobbyClientSendBytes(client, CHANNEL_TEXT, lobbyFrame("REN " + std::string(name)), true));
        const std::string renamed = " is now known as " + std::string(name);
        EXPECT_TRUE(waitFor([&] { return std::string_view(client.history[0]).ends_with(renamed); }, DEADLINE,
                            [&] { service(); }));
    }
    ~Player() { lobbyClientDestroy(client); }
    void service()
    {
        lobbyClientService(client);
        usleep(2000);
    }
};

// Runs the game with `arguments` to its end while `players` stay connected.
std::unique_ptr<Child> runToEnd(std::vector<std::string> arguments, std::vector<Player*> players)
{
    auto child = spawn(gamePath, std::move(arguments), false);
    EXPECT_TRUE(waitFor([&] { return child->ended(); }, DEADLINE, [&] {
        for (Player* player : players) player->service();
    }));
    return child;
}

TEST(FindEndToEnd, ListFindsBothHostsWithTheirPlayersAndFindJoinsTheOneWithAShipFree)
{
    auto open = spawn(gamePath, {"--dedicated"}, false);
    auto full = spawn(gamePath, {"--dedicated", "--port", FULL_PORT_TEXT}, false);
    for (Child* host : {open.get(), full.get()})
        ASSERT_TRUE(waitFor([&] { host->read(); return host->said("Host running!"); }));
    Player alice("alice");
    Player bob("bob");

    // No address: the broadcast addresses at 42069 and --port.
    auto list = runToEnd({"--list", "--port", FULL_PORT_TEXT}, {&alice, &bob});
    EXPECT_TRUE(list->exitedWith(0));
    const std::vector<std::string> lines = linesOf(list->outText);
    ASSERT_EQ(lines.size(), 2u) << list->outText;
    const std::string& fullLine = startsWith(lines[0], "127.0.0.1:" + FULL_PORT_TEXT) ? lines[0] : lines[1];
    const std::string& openLine = &fullLine == &lines[0] ? lines[1] : lines[0];
    EXPECT_TRUE(startsWith(fullLine, "127.0.0.1:" + FULL_PORT_TEXT + "  2/25  ")) << fullLine;
    EXPECT_TRUE(endsWith(fullLine, " ms  alice bob  dedicated")) << fullLine;
    EXPECT_TRUE(startsWith(openLine, "127.0.0.1:42069  0/25  ")) << openLine;
    EXPECT_TRUE(endsWith(openLine, " ms  - -  dedicated")) << openLine;

    // The one host asked; then one that is not there.
    auto one = runToEnd({"--list", "127.0.0.1:" + FULL_PORT_TEXT}, {&alice, &bob});
    EXPECT_TRUE(one->exitedWith(0));
    EXPECT_EQ(linesOf(one->outText).size(), 1u) << one->outText;
    auto none = runToEnd({"--list", "127.0.0.1:48531"}, {&alice, &bob});
    EXPECT_TRUE(none->exitedWith(1));
    EXPECT_EQ(none->outText, "");
    one->outText.clear();
    none->outText.clear();

    // --find looks on both ports and joins the host with a free ship.
    auto finder = spawn(gamePath, {"--find", "--port", FULL_PORT_TEXT});
    EXPECT_TRUE(waitFor([&] { finder->read(); return finder->said("Found a host at 127.0.0.1:42069"); },
                        DEADLINE, [&] { alice.service(); bob.service(); }));
    EXPECT_TRUE(waitFor([&] { open->read(); return open->said("Cli0 connected from"); }, DEADLINE,
                        [&] { alice.service(); bob.service(); }));
}

TEST(FindEndToEnd, FindWithNoHostOnTheLanSaysSoInThePanel)
{
    auto finder = spawn(gamePath, {"--find", "--port", "48532"});
    const std::string window = windowOf(finder->pid);
    ASSERT_FALSE(window.empty()) << "no window";
    EXPECT_TRUE(waitFor([&] {
        return rowShows(screenshot(window), 0, "No host on the LAN. Press J to connect to 127.0.0.1:48532");
    }));
    EXPECT_TRUE(waitFor([&] { finder->read(); return finder->said("No host found on the LAN."); }));
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    return netduel::e2e::driverMain(argc, argv, netduel::gamePath);
}
