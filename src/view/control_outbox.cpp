// Control outbox: a press lasts until a word has carried it, so that a tap shorter than
// the words' cadence still reaches the host.
#include "view/control_outbox.h"

namespace netduel {

void controlOutboxReset(ControlOutbox& outbox)
{
    outbox = ControlOutbox{};
}

void controlOutboxPress(ControlOutbox& outbox, KeyFlags pressed)
{
    outbox.pressed |= pressed;
}

void controlOutboxDrop(ControlOutbox& outbox)
{
    outbox.pressed = 0;
}

std::optional<KeyFlags> controlOutboxDue(ControlOutbox& outbox, KeyFlags held, bool sendingFrame,
                                         double now)
{
    const KeyFlags word = held | outbox.pressed;
    // A press of fire does not wait for the cadence: its shot is drawn and heard in the
    // frame that saw the key and reaches the host a cadence sooner. The cadence then goes
    // on from this word, so a held key sends no more words than before, and the press is
    // spent, so it fires once.
    const bool shot = (outbox.pressed & KEY_FIRE) != 0;
    if (word == 0 || (!shot && (!sendingFrame || !(now > outbox.nextSend)))) return std::nullopt;
    outbox.nextSend = now + CONTROL_SEND_INTERVAL;
    outbox.pressed = 0;
    return word;
}

}  // namespace netduel
