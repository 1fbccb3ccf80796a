// Fuzz target: the client's snapshot handler with any channel and payload. A snapshot
// either replaces both ships wholesale or changes nothing, and what it leaves re-encodes
// to a snapshot that decodes to the same ships.
#include <cstdlib>

#include "duel/packet_handlers.h"
#include "fuzz_event.h"
#include "lobby/lobby_protocol.h"

using namespace netduel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzEvent fuzzEvent(data, size);
    MatchState match;
    matchStateInit(match);
    match.reserved = 7;
    match.pairs[4].second = Vec2(3.0f, 4.0f);
    const Snapshot before = snapshotEncode(match);

    LobbyClient client;
    client.userData = &match;
    PacketEvent packetEvent;
    packetEvent.event = &fuzzEvent.event;
    packetEvent.client = &client;
    if (clientSnapshotHandler(packetEvent) != 0) std::abort();

    if (match.reserved != 7 || !(match.pairs[4].second == Vec2(3.0f, 4.0f))) std::abort();
    const bool applies = fuzzEvent.event.channelID == CHANNEL_SNAPSHOT &&
                         fuzzEvent.packet.dataLength >= SNAPSHOT_SIZE;
    const Snapshot after = snapshotEncode(match);
    if (!applies && after != before) std::abort();

    MatchState again;
    matchStateInit(again);
    if (!snapshotApply(again, after) || snapshotEncode(again) != after) std::abort();
    return 0;
}
