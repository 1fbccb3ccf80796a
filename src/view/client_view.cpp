// Client view: the snapshot handler that keeps the match whole and feeds the smoothed
// view and the prediction, and the frame's choice of what to draw.
#include "view/client_view.h"

#include <algorithm>
#include <iterator>

#include "lobby/lobby_protocol.h"

namespace netduel {

namespace {

// The own ship's bullets are drawn from the own shots once its ship is predicted.
bool ownShotsDrawn(const ClientView& view)
{
    return view.prediction && view.predicted.slot >= 0 && view.predicted.started;
}

}  // namespace

void clientViewReset(ClientView& view, MatchState* match)
{
    view.match = match;
    matchViewReset(view.smoothed);
    predictionReset(view.predicted, view.predicted.slot);
    ownShotsReset(view.shots);
    hitFlashReset(view.flash);
    view.roundTrip = 0.0;
    if (match) view.drawn = *match;
}

void clientViewSetSlot(ClientView& view, int slot)
{
    const int steered = slot == 0 || slot == 1 ? slot : -1;
    if (steered == view.predicted.slot) return;
    predictionReset(view.predicted, steered);
    ownShotsReset(view.shots);
    hitFlashReset(view.flash);
}

bool clientViewReceive(ClientView& view, std::span<const std::uint8_t> bytes, double now)
{
    MatchState snapshot;
    if (!snapshotApply(snapshot, bytes)) return false;
    if (view.match) std::copy(std::begin(snapshot.ships), std::end(snapshot.ships), view.match->ships);
    matchViewReceive(view.smoothed, snapshot, snapshotStampRead(bytes), now);
    predictionSnapshot(view.predicted, snapshot, now, view.roundTrip);
    if (ownShotsDrawn(view))
        ownShotsSnapshot(view.shots, snapshot, view.predicted.slot, predictionLead(view.predicted), now);
    return true;
}

ControlBytes clientViewControlBytes(const ClientView& view, KeyFlags word)
{
    return controlEncode(controlStampWrite(word, matchViewPlayoutStamp(view.smoothed)));
}

void clientViewControlSent(ClientView& view, KeyFlags word, double now)
{
    predictionControl(view.predicted, word, now);
    if (ownShotsDrawn(view)) ownShotsControl(view.shots, word, now);
}

const MatchState& clientViewFrame(ClientView& view, double frameDt, double now)
{
    if (view.match) view.drawn = *view.match;
    matchViewAt(view.smoothed, now, view.drawn);
    predictionFrame(view.predicted, frameDt);
    const int slot = view.predicted.slot;
    if (!ownShotsDrawn(view)) return view.drawn;
    Ship& own = view.drawn.ships[slot];
    predictionShip(view.predicted, own);
    ownShotsFrame(view.shots, own, view.predicted.ship.heading, view.roundTrip, now);
    ownShotsDraw(view.shots, own);
    // A host that stamps its snapshots judges the shot where this copy drew it.
    if (matchViewPlayoutStamp(view.smoothed) != 0) hitFlashFrame(view.flash, view.drawn.ships[1 - slot], own, now);
    return view.drawn;
}

}  // namespace netduel
