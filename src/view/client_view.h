// What a client copy shows of the match: every snapshot still replaces the match state
// whole, and the frame draws the smoothed other ship and the predicted own ship.
#pragma once

#include <cstdint>
#include <span>

#include "duel/match.h"
#include "lobby/lobby.h"
#include "view/match_view.h"
#include "view/hit_flash.h"
#include "view/own_shots.h"
#include "view/prediction.h"

namespace netduel {

struct ClientView {
    MatchState* match = nullptr;  // takes every snapshot whole; on a host, the host's match
    MatchView smoothed;
    Prediction predicted;
    OwnShots shots;               // the own ship's bullets, in its time frame
    HitFlash flash;               // the other ship's flash as the own bullets touch it
    bool prediction = true;       // false: the own ship and its bullets are drawn like the other's
    double roundTrip = 0.0;       // s, the connection's round trip as ENet measures it
    MatchState drawn;             // the ships the last frame drew
};

// Forgets snapshots and prediction, as for a new connection; the switches stay.
void clientViewReset(ClientView& view, MatchState* match);

// The slot this copy was given (lobbyClientOwnSlot; -1 unknown): ship 0 or 1 is predicted,
// any other slot predicts nothing. A change of slot starts the prediction afresh.
void clientViewSetSlot(ClientView& view, int slot);

// One snapshot's bytes that arrived at `now` (s), parsed once: its ships replace those of
// view.match and feed the smoothed view, the prediction and the own shots. False and
// nothing changed when fewer than 464 bytes are given.
bool clientViewReceive(ClientView& view, std::span<const std::uint8_t> bytes, double now);

// The bytes of a control word as this copy sends it: stamped with the moment of the
// host's match the last frame drew the other ship at, when the host stamps its snapshots.
ControlBytes clientViewControlBytes(const ClientView& view, KeyFlags word);

// A control word sent to the host at `now` (s): the own ship answers it at once, and a
// shot the shared cooldown allows leaves its muzzle in the next clientViewFrame.
void clientViewControlSent(ClientView& view, KeyFlags word, double now);

// The ships to draw in the frame at `now` (s) after a step of `frameDt` (negative s): the
// other ship and its bullets smoothed; the own ship and its bullets predicted, and the
// other ship flashing where they touch it (hit_flash); or all smoothed without
// prediction or a ship to steer.
const MatchState& clientViewFrame(ClientView& view, double frameDt, double now);

}  // namespace netduel
