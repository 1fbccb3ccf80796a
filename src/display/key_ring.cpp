// Typed-key ring.
#include "key_ring.h"

namespace netduel {

void keyRingPush(KeyRing& ring, KeyEntry entry)
{
    ringPush(ring.waiting, entry);
}

std::string keyRingRead(KeyRing& ring)
{
    KeyEntry entry = 0;
    if (!ringPopOldest(ring.waiting, entry)) return {};
    if (entry < 256) return std::string(1, static_cast<char>(entry));
    return {static_cast<char>(KEY_NO_CHARACTER), static_cast<char>(entry >> 8)};
}

}  // namespace netduel
