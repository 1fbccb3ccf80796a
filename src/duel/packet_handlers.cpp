// Match packet handlers: control words steer ships on the host, snapshots replace ships on clients.
#include "packet_handlers.h"

#include "base/timer.h"
#include "lobby/lobby_protocol.h"

namespace netduel {

void shipApplyControl(Ship& ship, KeyFlags word)
{
    if (word & KEY_LEFT) ship.turnRate = -TURN_RATE;
    if (word & KEY_RIGHT) ship.turnRate = TURN_RATE;
    if (word & KEY_UP) ship.speed = THRUST_SPEED;
    if (word & KEY_FIRE) ship.fireRequest = FIRE_REQUESTED;
}

std::uint32_t hostSendStamp(double now)
{
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now * 1000.0));
}

std::uint32_t hostClockStamp()
{
    return hostSendStamp(timerSeconds());
}

std::int32_t serverKeyHandler(PacketEvent& event)
{
    if (!event.server || !event.event || event.event->channelID != CHANNEL_CONTROL) return 0;
    auto* match = static_cast<MatchState*>(event.server->userData);
    // The server keeps the sender's slot number, which is also its ship number, in the peer.
    const auto slot = reinterpret_cast<std::uintptr_t>(event.event->peer->data);
    KeyFlags word = 0;
    if (!match || slot >= SHIP_COUNT || !controlDecode(packetBytes(*event.event), word)) return 0;
    shipApplyControl(match->ships[slot], word);
    if (word & KEY_FIRE) match->shotLag[slot] = static_cast<float>(controlStampLag(controlStampRead(word), hostClockStamp()));
    return 0;
}

}  // namespace netduel
