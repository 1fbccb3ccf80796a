// The window-less computer player's run.
#include "bot_run.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

#include "base/status.h"
#include "base/stop_request.h"
#include "base/timer.h"
#include "bot/bot_client.h"

namespace netduel {

int botRun(std::string_view serverHost, std::uint16_t port, int level, std::string_view name)
{
    auto bot = std::make_unique<BotClient>();
    const auto seed = static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ (std::uint64_t(getpid()) << 32));
    botClientSetup(*bot, serverHost, port, botLevel(level), name, seed);
    statusWrite("Computer player, level " + std::to_string(level) + ", joining " +
                    std::string(serverHost) + ":" + std::to_string(port),
                true);
    while (!stopRequested()) {
        if (!botClientPlay(*bot, timerSeconds())) return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(BOT_POLL_MS));
    }
    botClientStop(*bot);
    return 0;
}

}  // namespace netduel
