// The control words a copy sends to the host: the keys held, and every key pressed since
// the last word left however short its press, at the game's cadence; a press of fire at once.
#pragma once

#include <optional>

#include "duel/match.h"

namespace netduel {

struct ControlOutbox {
    KeyFlags pressed = 0;   // keys pressed since the last word left, held now or not
    double nextSend = 0.0;  // s: the next word leaves only after this
};

// Forgets the presses and the cadence, as at the start.
void controlOutboxReset(ControlOutbox& outbox);

// Keys pressed in this frame (seen going down, whether still held or already let go).
void controlOutboxPress(ControlOutbox& outbox, KeyFlags pressed);

// Forgets the presses not yet sent (their keys were text, say, not controls).
void controlOutboxDrop(ControlOutbox& outbox);

// The word that leaves in a frame at `now` (s): the `held` keys and those pressed since
// the last word, on a sending frame (one of CONTROL_SEND_FRAMES) past nextSend while any key is in
// it, and in any frame once fire has been pressed since the last word; nothing otherwise.
// A word returned has left: the presses are spent and the next one waits
// CONTROL_SEND_INTERVAL.
std::optional<KeyFlags> controlOutboxDue(ControlOutbox& outbox, KeyFlags held, bool sendingFrame,
                                         double now);

}  // namespace netduel
