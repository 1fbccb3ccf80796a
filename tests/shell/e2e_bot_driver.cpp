// End-to-end scenarios of the computer player: --practice opens the window, hosts, joins
// as ship 0 and adds the computer as ship 1, which moves and fires with no key pressed;
// Escape ends it with status 0. Window-less --bot players: one plays ship 0, a third one
// that finds both ships taken says so and ends with status 1, SIGTERM ends one with 0. e2e.sh runs it inside a private network namespace with its own
// Xvfb; argv[1] is the game executable.
#include "e2e_support.h"
#include "e2e_watcher.h"
#include "shell/host.h"

namespace netduel {
namespace {

using namespace e2e;

constexpr std::uint16_t PRACTICE_PORT = 48020;
constexpr std::uint16_t FULL_PORT = 48021;

const char* gamePath = nullptr;

bool shipOneFired(const MatchState& match)
{
    for (const Bullet& bullet : match.ships[1].bullets)
        if (bullet.active) return true;
    return false;
}

TEST(BotEndToEnd, PracticePlaysTheComputerInTheSameWindowAndEscapeEndsIt)
{
    auto game = spawn(gamePath, {"--practice", "--port", std::to_string(PRACTICE_PORT), "--level", "3"});
    const std::string window = windowOf(game->pid);
    ASSERT_FALSE(window.empty()) << "no window";
    const auto says = [&](const std::string& text) {
        return waitFor([&] { return game->ended() || game->said(text); });
    };
    ASSERT_TRUE(says("Host running!\n"));
    ASSERT_TRUE(says("Cli0 connected from"));
    ASSERT_TRUE(says("Cli1 connected from"));
    EXPECT_TRUE(says("DATA TO SEND:           NME Anonymous1 Computer\n"));

    Watcher watcher(PRACTICE_PORT);
    const auto serviceWatcher = [&] { watcher.service(); };
    ASSERT_TRUE(waitFor([&] { return watcher.snapshots > 0; }, DEADLINE, serviceWatcher));
    ASSERT_TRUE(waitFor([&] { return !(watcher.latest.ships[1].position == SHIP1_START); }, DEADLINE,
                        serviceWatcher));
    ASSERT_TRUE(waitFor([&] { return shipOneFired(watcher.latest); }, DEADLINE, serviceWatcher));
    EXPECT_EQ(watcher.latest.ships[0].position, SHIP0_START);  // nobody touched a key

    press(window, "Escape");
    ASSERT_TRUE(waitFor([&] { return game->ended(); }, DEADLINE, serviceWatcher));
    EXPECT_TRUE(game->exitedWith(0)) << game->status;
}

TEST(BotEndToEnd, BotsWithoutAScreenTakeTheShipsTheThirdEndsWithOneAndSigtermWithZero)
{
    auto host = spawn(gamePath, {"--dedicated", "--port", std::to_string(FULL_PORT)}, false);
    const auto hostSays = [&](const std::string& text) {
        return waitFor([&] { return host->ended() || host->said(text); });
    };
    ASSERT_TRUE(hostSays("Host running!\n"));
    const std::string address = "127.0.0.1:" + std::to_string(FULL_PORT);
    auto player = spawn(gamePath, {"--bot", "--join", address, "--level", "1"}, false);
    ASSERT_TRUE(hostSays("Cli0 connected from"));
    Watcher watcher(FULL_PORT);  // slot 1
    const auto serviceWatcher = [&] { watcher.service(); };
    ASSERT_TRUE(waitFor([&] { return watcher.connected && host->said("Cli1 connected from"); }, DEADLINE,
                        [&] { watcher.service(); host->ended(); }));
    ASSERT_TRUE(waitFor([&] { return !(watcher.latest.ships[0].position == SHIP0_START); }, DEADLINE,
                        serviceWatcher));  // the first bot plays ship 0

    auto third = spawn(gamePath, {"--bot", "--join", address}, false);
    ASSERT_TRUE(waitFor([&] { return third->ended(); }, DEADLINE, serviceWatcher));
    EXPECT_TRUE(third->exitedWith(1)) << third->status;
    EXPECT_TRUE(third->said("Both ships are taken (this computer player got slot 2): it leaves.\n"))
        << third->outText;
    EXPECT_TRUE(hostSays("Cli2 disconnected."));

    // It says goodbye: the host hears of it well before ENet's 5 s time-out could tell.
    kill(player->pid, SIGTERM);
    const auto told = [&] { return player->ended() && (host->ended() || host->said("Cli0 disconnected.")); };
    ASSERT_TRUE(waitFor(told, std::chrono::seconds(3), serviceWatcher));
    EXPECT_TRUE(player->exitedWith(0)) << player->status;
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    return netduel::e2e::driverMain(argc, argv, netduel::gamePath);
}
