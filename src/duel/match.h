// Match records (two ships with ten bullet slots each) and their two wire formats:
// the 464-byte ship snapshot (channel 2) and the 4-byte control word (channel 1).
//
// Snapshot, 464 bytes: ship 0 in bytes 0–231, ship 1 in 232–463. All floats binary32,
// all integers two's complement, both little-endian. One ship, offsets from its start:
//     0 position.x   4 position.y   8 speed   12 heading   16 turnRate
//    20 + 20·j  bullet j (j = 0…9): +0 position.x  +4 position.y  +8 direction.x
//               +12 direction.y  +16 active (0 or 255)  +17 three padding bytes
//   220 fireRequest (int8)   221 hitCounter (int8)   222 two padding bytes
//   224 colour (uint32 0xAARRGGBB)   228 spare (int32)
// The spare word is 0 unless the host keeps a score (--first-to N): then its low byte holds
// the hits that ship has landed on the other in this round and its next byte N (score.h).
// Peers that keep no score copy it whole and read nothing from it.
// Padding is never interpreted by the match state. A host may carry the clock it sent the
// snapshot at in the two padding bytes 222–223 of each ship: milliseconds of its program
// clock, modulo 2^32, little-endian, low half in ship 0 and high half in ship 1, never 0.
// Hosts that do not stamp send zero there, which reads as "no stamp".
//
// Control word, 4 bytes: the KeyFlags word as an unsigned little-endian integer.
// Receivers read the first 4 bytes; any longer tail is ignored. Bits 0–4 are the keys;
// a copy may carry in bits 8–31 the moment of the host's match it was drawing: the host
// stamp of its playout time, milliseconds of the host's clock modulo 2^24, never 0.
// Copies that do not stamp send zero there, which reads as "no stamp", and hosts that do
// not judge by it ignore those bits as they ignore every bit but the keys.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "vecmath/vec2.h"

namespace netduel {

inline constexpr int SHIP_COUNT = 2;
inline constexpr int BULLETS_PER_SHIP = 10;
inline constexpr std::size_t SNAPSHOT_SIZE = 464;
inline constexpr std::size_t CONTROL_SIZE = 4;

// Control word bits, one per held key.
using KeyFlags = std::uint32_t;
inline constexpr KeyFlags KEY_LEFT = 0x01;
inline constexpr KeyFlags KEY_RIGHT = 0x02;
inline constexpr KeyFlags KEY_UP = 0x04;
inline constexpr KeyFlags KEY_DOWN = 0x08;
inline constexpr KeyFlags KEY_FIRE = 0x10;
inline constexpr KeyFlags CONTROL_KEYS = 0xFF;      // the low byte: keys, and bits nobody sets
inline constexpr int CONTROL_STAMP_SHIFT = 8;
inline constexpr std::uint32_t CONTROL_STAMP_MOD = 1u << 24;  // ms: the stamp's wrap

// A player's copy sends a control word only on every second frame and at least this long
// after the last (s): at most 20 a second, which the host's rate rule allows for.
inline constexpr double CONTROL_SEND_INTERVAL = 0.05;
inline constexpr int CONTROL_SEND_FRAMES = 2;
// Frames of `frame` s from one word of a held key to the next: 4 at 60 frames a second.
constexpr int controlWordFrames(double frame)
{
    return CONTROL_SEND_FRAMES * (static_cast<int>(CONTROL_SEND_INTERVAL / (CONTROL_SEND_FRAMES * frame)) + 1);
}

// Byte flags that travel in snapshots.
inline constexpr std::uint8_t BULLET_ACTIVE = 0xFF;
inline constexpr std::int8_t FIRE_REQUESTED = -1;

struct Bullet {
    Vec2 position;            // centre, pixels
    Vec2 direction;           // unit (sin h, cos h) of the firing heading
    std::uint8_t active = 0;  // 0 = slot free, 255 = in flight
};

struct Ship {
    Vec2 position;               // centre, pixels
    float speed = 0.0f;          // px/s towards the nose
    float heading = 0.0f;        // radians, never wrapped; nose at position − 15·(sin h, cos h)
    float turnRate = 0.0f;       // rad/s; −5 turns towards larger heading
    Bullet bullets[BULLETS_PER_SHIP];
    std::int8_t fireRequest = 0; // −1 when a fire control arrived since the last step
    std::int8_t hitCounter = 0;  // 0 = not hit; 1…10 while flashing
    std::uint32_t colour = 0;    // 0xAARRGGBB
    std::int32_t spare = 0;      // 0, or the round's score (score.h); travels in the snapshot
};

struct Vec2Pair {
    Vec2 first;
    Vec2 second;
};

struct MatchState {
    std::uint8_t reserved = 0;
    Ship ships[SHIP_COUNT];
    Vec2Pair pairs[5];  // never read, written or sent
    // s: host only, never sent: how far behind the host its player saw the other ship
    // when it last asked to fire (0: as the host sees it now).
    float shotLag[SHIP_COUNT] = {};
};

// The wire offsets above; the in-memory records mirror them so a snapshot is easy to inspect.
inline constexpr std::size_t SHIP_WIRE_SIZE = 232;
inline constexpr std::size_t BULLET_WIRE_SIZE = 20;
inline constexpr std::size_t SHIP_BULLETS_AT = 20;
inline constexpr std::size_t SHIP_FIRE_AT = 220;
inline constexpr std::size_t SHIP_HIT_AT = 221;
inline constexpr std::size_t SHIP_COLOUR_AT = 224;
inline constexpr std::size_t SHIP_SPARE_AT = 228;
inline constexpr std::size_t BULLET_ACTIVE_AT = 16;
inline constexpr std::size_t SHIP_STAMP_AT = 222;  // two padding bytes: half of the send stamp
static_assert(SHIP_COUNT * SHIP_WIRE_SIZE == SNAPSHOT_SIZE);
static_assert(SHIP_BULLETS_AT + BULLETS_PER_SHIP * BULLET_WIRE_SIZE == SHIP_FIRE_AT);
static_assert(SHIP_SPARE_AT + 4 == SHIP_WIRE_SIZE);
static_assert(sizeof(Bullet) == BULLET_WIRE_SIZE && offsetof(Bullet, active) == BULLET_ACTIVE_AT);
static_assert(sizeof(Ship) == SHIP_WIRE_SIZE && offsetof(Ship, bullets) == SHIP_BULLETS_AT);
static_assert(offsetof(Ship, fireRequest) == SHIP_FIRE_AT && offsetof(Ship, hitCounter) == SHIP_HIT_AT);
static_assert(offsetof(Ship, colour) == SHIP_COLOUR_AT && offsetof(Ship, spare) == SHIP_SPARE_AT);

using Snapshot = std::array<std::uint8_t, SNAPSHOT_SIZE>;
using ControlBytes = std::array<std::uint8_t, CONTROL_SIZE>;

// Resets every field to zero: both ships at rest at (0, 0), all bullets free, pairs zero.
void matchStateInit(MatchState& match);

// The 464 snapshot bytes of match.ships as they stand; never fails.
Snapshot snapshotEncode(const MatchState& match);

// Replaces both ships wholesale from the first 464 bytes; reserved and pairs stay.
// Returns false and changes nothing when fewer than 464 bytes are given.
bool snapshotApply(MatchState& match, std::span<const std::uint8_t> bytes);

// Writes the send stamp (ms of the host's clock; 0 is made 1) into the padding bytes.
void snapshotStampWrite(Snapshot& snapshot, std::uint32_t milliseconds);

// The send stamp in the first 464 bytes, or 0 when there is none or fewer bytes are given.
std::uint32_t snapshotStampRead(std::span<const std::uint8_t> bytes);

// The control word as 4 little-endian bytes; never fails.
ControlBytes controlEncode(KeyFlags word);

// Reads the first 4 bytes as the control word into `word`. Returns false and leaves
// `word` alone when fewer than 4 bytes are given.
bool controlDecode(std::span<const std::uint8_t> bytes, KeyFlags& word);

// The keys of `word` stamped with the host stamp `milliseconds` of the moment this copy
// was drawing (modulo 2^24, a residue of 0 made 1); `milliseconds` 0, no stamp known,
// leaves the word unstamped. Never fails.
KeyFlags controlStampWrite(KeyFlags word, std::uint32_t milliseconds);

// The stamp in a decoded word, or 0 when there is none.
std::uint32_t controlStampRead(KeyFlags word);

// Seconds that a word's stamp lies behind the host's clock `milliseconds`; 0 for no
// stamp or one ahead of the clock (a copy cannot have drawn the host's future).
double controlStampLag(std::uint32_t stamp, std::uint32_t milliseconds);

}  // namespace netduel
