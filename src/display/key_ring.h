// Typed-key ring: the last 15 keys typed and not yet read, oldest first.
#pragma once

#include <cstdint>
#include <string>

#include "base/ring.h"

namespace netduel {

inline constexpr int KEY_RING_KEYS = 15;  // at most this many keys wait
inline constexpr std::uint8_t KEY_NO_CHARACTER = 255;  // first byte of a key without a character

// An entry is a character code below 256, or scan code × 256 + 255 for a key without one.
using KeyEntry = std::uint16_t;

struct KeyRing {
    Ring<KeyEntry, KEY_RING_KEYS> waiting;
};

// The entry for a key without a character (arrows, Home, Delete, the close button).
constexpr KeyEntry keyWithoutCharacter(int scanCode)
{
    return static_cast<KeyEntry>(scanCode * 256 + KEY_NO_CHARACTER);
}

// Appends one entry; when 15 are waiting the oldest is dropped to make room.
void keyRingPush(KeyRing& ring, KeyEntry entry);

// Removes the oldest entry: "" when none waits, one byte for a character,
// the two bytes 255 and the scan code for a key without a character.
std::string keyRingRead(KeyRing& ring);

}  // namespace netduel
