// Computer player on the network: connection, snapshots into the brain, words out.
#include "bot_client.h"

#include <algorithm>

#include "base/status.h"
#include "lobby/chat_input.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"

namespace netduel {

std::int32_t botClientSnapshotHandler(PacketEvent& event)
{
    auto* bot = static_cast<BotClient*>(event.client->userData);
    if (event.event->channelID != CHANNEL_SNAPSHOT) return 0;
    const auto bytes = packetBytes(*event.event);
    if (!snapshotApply(bot->seen, bytes)) return 0;
    botBrainSee(bot->brain, bot->seen, snapshotStampRead(bytes), botClientShip(*bot), bot->clock);
    return 0;
}

namespace {

void botConnectWhenDue(BotClient& bot, double now)
{
    LobbyClient& client = bot.net.client;
    if (lobbyClientBusy(client) || now < bot.nextAttempt) return;
    bot.nextAttempt = now + BOT_RETRY_SECONDS;
    lobbyClientConnect(client, bot.serverHost, bot.port, CLIENT_CHANNELS);
    lobbyClientSetCallback(client, botClientSnapshotHandler);
    lobbyClientSetUserData(client, &bot);
}

void botSend(BotClient& bot, KeyFlags word)
{
    LobbyClient& client = bot.net.client;
    if (!lobbyClientSendBytes(client, CHANNEL_CONTROL, controlEncode(controlStampWrite(word, bot.brain.wordStamp)), false)) return;
    enet_host_flush(client.host);
    ++bot.wordsSent;
}

}  // namespace

void botClientSetup(BotClient& bot, std::string_view serverHost, std::uint16_t port,
                    const BotLevel& level, std::string_view name, std::uint64_t seed)
{
    lobbyPairInit(bot.net);
    matchStateInit(bot.seen);
    botBrainReset(bot.brain, level, seed);
    bot.serverHost = serverHost;
    bot.port = port;
    bot.name = name;
    bot.nextAttempt = 0.0;
    bot.wordsSent = 0;
}

bool botClientPlay(BotClient& bot, double now)
{
    LobbyClient& client = bot.net.client;
    botConnectWhenDue(bot, now);
    const bool wasConnected = client.connected;
    bot.clock = now;
    lobbyClientService(client);
    if (client.connected && !wasConnected) {
        if (!bot.name.empty()) chatSendLine(client, "/name " + bot.name);
        botBrainReset(bot.brain, bot.brain.level, bot.brain.random);  // a new match to watch
    }
    if (!client.connected && wasConnected) bot.nextAttempt = now + BOT_RETRY_SECONDS;
    const int ship = botClientShip(bot);
    if (ship >= SHIP_COUNT) {
        statusWrite("Both ships are taken (this computer player got slot " + std::to_string(ship) +
                        "): it leaves.",
                    true);
        botClientStop(bot);
        return false;
    }
    if (ship < 0) return true;
    if (const auto word = botBrainDecide(bot.brain, ship, now)) botSend(bot, *word);
    return true;
}

int botClientShip(const BotClient& bot) { return lobbyClientOwnSlot(bot.net.client); }

void botClientLeave(BotClient& bot)
{
    lobbyClientDisconnect(bot.net.client);
    if (bot.net.client.host) enet_host_flush(bot.net.client.host);
}

void botClientStop(BotClient& bot)
{
    lobbyPairClose(bot.net);
    lobbyPairDestroy(bot.net);
}

}  // namespace netduel
