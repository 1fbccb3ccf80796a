// Client view: the snapshot handler that keeps the match whole and feeds the smoothed
// view and the prediction, and the frame's choice of what to draw.
#include "view/client_view.h"

#include <algorithm>
#include <iterator>

#include "lobby/lobby_protocol.h"

namespace netduel {

void clientViewReset(ClientView& view, MatchState* match)
{
    view.match = match;
    matchViewReset(view.smoothed);
    predictionReset(view.predicted, view.predicted.slot);
    view.roundTrip = 0.0;
    if (match) view.drawn = *match;
}

void clientViewSetSlot(ClientView& view, int slot)
{
    const int steered = slot == 0 || slot == 1 ? slot : -1;
    if (steered != view.predicted.slot) predictionReset(view.predicted, steered);
}

bool clientViewReceive(ClientView& view, std::span<const std::uint8_t> bytes, double now)
{
    MatchState snapshot;
    if (!snapshotApply(snapshot, bytes)) return false;
    if (view.match) std::copy(std::begin(snapshot.ships), std::end(snapshot.ships), view.match->ships);
    matchViewReceive(view.smoothed, snapshot, snapshotStampRead(bytes), now);
    predictionSnapshot(view.predicted, snapshot, now, view.roundTrip);
    return true;
}

std::int32_t clientViewSnapshotHandler(PacketEvent& event)
{
    if (!event.client || !event.event || event.event->channelID != CHANNEL_SNAPSHOT) return 0;
    auto* view = static_cast<ClientView*>(event.client->userData);
    if (view) clientViewReceive(*view, packetBytes(*event.event), view->clock);
    return 0;
}

void clientViewControlSent(ClientView& view, KeyFlags word, double now)
{
    predictionControl(view.predicted, word, now);
}

const MatchState& clientViewFrame(ClientView& view, double frameDt, double now)
{
    if (view.match) view.drawn = *view.match;
    matchViewAt(view.smoothed, now, view.drawn);
    predictionFrame(view.predicted, frameDt);
    const int slot = view.predicted.slot;
    if (view.prediction && slot >= 0) predictionShip(view.predicted, view.drawn.ships[slot]);
    return view.drawn;
}

}  // namespace netduel
