// Fuzz target: the host's control-word handler with any channel, slot and payload.
// Only the sender's own ship (slot 0 or 1) may change, and only its three control fields
// and its shot lag, which a stamp can set to no more than half the stamp's wrap; a stamp
// written reads back as written, the keys beside it untouched.
#include <cstdlib>
#include <cstring>

#include "duel/packet_handlers.h"
#include "fuzz_event.h"
#include "lobby/lobby_protocol.h"

using namespace netduel;

namespace {

Snapshot shipBytesWithoutControls(const MatchState& match)
{
    MatchState copy = match;
    for (Ship& ship : copy.ships) {
        ship.turnRate = 0.0f;
        ship.speed = 0.0f;
        ship.fireRequest = 0;
    }
    return snapshotEncode(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzEvent fuzzEvent(data, size);
    MatchState match;
    matchStateInit(match);
    match.reserved = 7;
    const MatchState before = match;

    LobbyServer server;
    server.userData = &match;
    PacketEvent packetEvent;
    packetEvent.event = &fuzzEvent.event;
    packetEvent.server = &server;
    if (serverKeyHandler(packetEvent) != 0) std::abort();

    if (match.reserved != before.reserved) std::abort();
    if (shipBytesWithoutControls(match) != shipBytesWithoutControls(before)) std::abort();
    const auto slot = reinterpret_cast<std::uintptr_t>(fuzzEvent.peer.data);
    for (const float lag : match.shotLag)
        if (!(lag >= 0.0f && lag <= CONTROL_STAMP_MOD / 2 / 1000.0f)) std::abort();

    KeyFlags word = 0;
    if (controlDecode({fuzzEvent.packet.data, fuzzEvent.packet.dataLength}, word)) {
        const std::uint32_t ms = word ^ 0x5A5A5A5Au;  // another stamp, from the same bytes
        const KeyFlags stamped = controlStampWrite(word, ms);
        const std::uint32_t wanted = ms == 0 ? 0 : ms % CONTROL_STAMP_MOD ? ms % CONTROL_STAMP_MOD : 1;
        if (controlStampRead(stamped) != wanted || (stamped & CONTROL_KEYS) != (word & CONTROL_KEYS)) std::abort();
        if (controlStampLag(controlStampRead(stamped), ms) != 0.0) std::abort();  // drawn just now
    }
    for (std::uintptr_t i = 0; i < SHIP_COUNT; ++i) {
        if (i == slot && fuzzEvent.event.channelID == CHANNEL_CONTROL) continue;
        if (match.shotLag[i] != before.shotLag[i]) std::abort();
        const Ship& now = match.ships[i];
        const Ship& was = before.ships[i];
        if (now.turnRate != was.turnRate || now.speed != was.speed ||
            now.fireRequest != was.fireRequest)
            std::abort();
    }
    return 0;
}
