// Typed-key ring.
#include "key_ring.h"

namespace netduel {

namespace {
int nextSlot(int slot) { return (slot + 1) % KEY_RING_SLOTS; }
}  // namespace

void keyRingPush(KeyRing& ring, KeyEntry entry)
{
    if (nextSlot(ring.tail) == ring.head) ring.head = nextSlot(ring.head);
    ring.entries[ring.tail] = entry;
    ring.tail = nextSlot(ring.tail);
}

std::string keyRingRead(KeyRing& ring)
{
    if (ring.head == ring.tail) return {};
    const KeyEntry entry = ring.entries[ring.head];
    ring.head = nextSlot(ring.head);
    if (entry < 256) return std::string(1, static_cast<char>(entry));
    return {static_cast<char>(KEY_NO_CHARACTER), static_cast<char>(entry >> 8)};
}

}  // namespace netduel
