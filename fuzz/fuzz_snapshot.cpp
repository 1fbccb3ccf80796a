// Fuzz target: the snapshot receive path with any channel and payload: the view's own, the
// window's (its client view after two good snapshots, then drawn for a few frames, its own
// ship the slot byte's) and the computer player's (which then decides a word). A snapshot
// either replaces both ships wholesale or changes nothing, and what it leaves re-encodes
// to a snapshot that decodes to the same ships.
#include <cstdlib>
#include <memory>

#include "bot/bot_client.h"
#include "duel/packet_handlers.h"
#include "fuzz_event.h"
#include "lobby/lobby_protocol.h"
#include "shell/shell.h"
#include "view/client_view.h"

using namespace netduel;

namespace {

MatchState markedMatch()
{
    MatchState match;
    matchStateInit(match);
    match.reserved = 7;
    match.pairs[4].second = Vec2(3.0f, 4.0f);
    match.ships[0].position = Vec2(50.0f, 384.0f);
    match.ships[1].position = Vec2(974.0f, 384.0f);
    return match;
}

void checkApplied(const MatchState& match, const Snapshot& before, const ENetPacket& packet,
                  bool applies)
{
    if (match.reserved != 7 || !(match.pairs[4].second == Vec2(3.0f, 4.0f))) std::abort();
    const Snapshot after = snapshotEncode(match);
    MatchState sent = markedMatch();
    snapshotApply(sent, std::span<const std::uint8_t>(packet.data, packet.dataLength));
    if (after != (applies ? snapshotEncode(sent) : before)) std::abort();
    MatchState again;
    matchStateInit(again);
    if (!snapshotApply(again, after) || snapshotEncode(again) != after) std::abort();
}

PacketEvent clientEvent(ENetEvent& event, LobbyClient& client)
{
    PacketEvent packetEvent;
    packetEvent.event = &event;
    packetEvent.client = &client;
    return packetEvent;
}

// The receive path itself, whatever the channel: any payload of a snapshot's length applies.
void fuzzReceive(fuzz::FuzzEvent& fuzzEvent)
{
    MatchState match = markedMatch();
    const Snapshot before = snapshotEncode(match);
    auto view = std::make_unique<ClientView>();
    clientViewReset(*view, &match);
    const bool applies = fuzzEvent.packet.dataLength >= SNAPSHOT_SIZE;
    const std::span<const std::uint8_t> bytes(fuzzEvent.packet.data, fuzzEvent.packet.dataLength);
    if (clientViewReceive(*view, bytes, 1.0) != applies) std::abort();
    checkApplied(match, before, fuzzEvent.packet, applies);
}

void fuzzWindow(fuzz::FuzzEvent& fuzzEvent, bool applies, int slot)
{
    auto shell = std::make_unique<Shell>();  // nothing opened: no window, network or file
    MatchState& match = shell->link.match;
    match = markedMatch();
    ClientView& view = shell->link.view;
    clientViewReset(view, &match);
    clientViewSetSlot(view, slot);
    Snapshot good = snapshotEncode(match);
    for (int i = 0; i < 2; ++i) {
        snapshotStampWrite(good, 1000 + 33 * i);
        if (!clientViewReceive(view, good, 1.0 + 0.033 * i)) std::abort();
        clientViewFrame(view, -1.0 / 60, 1.0 + 0.033 * i);
    }
    clientViewControlSent(view, KEY_UP | KEY_LEFT | KEY_FIRE, 1.07);
    const Snapshot before = snapshotEncode(match);
    const int received = view.smoothed.received;
    shell->lastTime = 1.1;
    LobbyClient client;
    client.userData = shell.get();
    PacketEvent packetEvent = clientEvent(fuzzEvent.event, client);
    if (shellSnapshotHandler(packetEvent) != 0) std::abort();
    checkApplied(match, before, fuzzEvent.packet, applies);
    if (view.smoothed.received > received + 1 || (!applies && view.smoothed.received != received))
        std::abort();
    for (int frame = 0; frame < 8; ++frame) clientViewFrame(view, -1.0 / 60, 1.1 + frame / 60.0);
}

void fuzzBot(fuzz::FuzzEvent& fuzzEvent, bool applies, int slot)
{
    BotClient bot;  // set up only: nothing opens before its first round
    botClientSetup(bot, "127.0.0.1", 44199, botLevel(3), "", 1);
    bot.seen = markedMatch();
    const Snapshot before = snapshotEncode(bot.seen);
    bot.net.client.connected = true;
    bot.net.client.ownSlot = slot;
    bot.net.client.userData = &bot;
    bot.clock = 2.0;
    PacketEvent packetEvent = clientEvent(fuzzEvent.event, bot.net.client);
    if (botClientSnapshotHandler(packetEvent) != 0) std::abort();
    checkApplied(bot.seen, before, fuzzEvent.packet, applies);
    if (slot == 0 || slot == 1) botBrainDecide(bot.brain, slot, 2.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzEvent fuzzEvent(data, size);
    const bool applies = fuzzEvent.event.channelID == CHANNEL_SNAPSHOT &&
                         fuzzEvent.packet.dataLength >= SNAPSHOT_SIZE;
    const int slot = static_cast<int>(reinterpret_cast<std::uintptr_t>(fuzzEvent.peer.data) % 4) - 1;
    fuzzReceive(fuzzEvent);
    fuzzWindow(fuzzEvent, applies, slot);
    fuzzBot(fuzzEvent, applies, slot);
    return 0;
}
