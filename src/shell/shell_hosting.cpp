// A hosting copy's extras: registrar, port mapper, practice opponent.
#include "shell_hosting.h"

#include "base/timer.h"

namespace netduel {

namespace {

constexpr std::string_view PRACTICE_BOT_NAME = "Computer";  // the opponent's chat name

}  // namespace

void shellHostingStart(ShellHosting& hosting, const ShellStart& start, std::uint16_t port)
{
    hosting.firstTo = start.firstTo;
    if (start.botLevel > 0) {
        hosting.practiceBot = std::make_unique<BotClient>();
        botClientSetup(*hosting.practiceBot, DEFAULT_SERVER_ADDRESS, port, botLevel(start.botLevel),
                       PRACTICE_BOT_NAME, static_cast<std::uint64_t>(timerSeconds() * 1e9) + 1);
    }
    if (start.portMapping) portMapperStart(hosting.portMapper, port);
    if (!start.registerUrl.empty()) registrarStart(hosting.registrar, start.registerUrl, port, start.name);
}

void shellHostingFrame(ShellHosting& hosting, const LobbyServer& server, int ownSlot, double now)
{
    registrarTick(hosting.registrar, now, hostFreeShips(server), portMapperTick(hosting.portMapper));
    if (!hosting.practiceBot) return;
    BotClient& bot = *hosting.practiceBot;
    if (!bot.net.client.host && ownSlot < 0) return;
    if (!botClientPlay(bot, now)) hosting.practiceBot.reset();
}

void shellHostingLeave(ShellHosting& hosting)
{
    if (hosting.practiceBot) botClientLeave(*hosting.practiceBot);  // heard in the server's farewell
    registrarStop(hosting.registrar);
    portMapperStop(hosting.portMapper);
}

void shellHostingClose(ShellHosting& hosting)
{
    if (hosting.practiceBot) botClientStop(*hosting.practiceBot);
    hosting.practiceBot.reset();
}

}  // namespace netduel
