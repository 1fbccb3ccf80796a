// Match records: initial values, snapshot and control-word encoding.
#include "match.h"

#include <bit>

namespace netduel {

namespace {

void putU32(std::uint8_t* at, std::uint32_t v)
{
    at[0] = std::uint8_t(v);
    at[1] = std::uint8_t(v >> 8);
    at[2] = std::uint8_t(v >> 16);
    at[3] = std::uint8_t(v >> 24);
}

std::uint32_t getU32(const std::uint8_t* at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 |
           std::uint32_t(at[3]) << 24;
}

void putF32(std::uint8_t* at, float v) { putU32(at, std::bit_cast<std::uint32_t>(v)); }
float getF32(const std::uint8_t* at) { return std::bit_cast<float>(getU32(at)); }

void putVec2(std::uint8_t* at, Vec2 v)
{
    putF32(at, v.x);
    putF32(at + 4, v.y);
}

Vec2 getVec2(const std::uint8_t* at) { return Vec2(getF32(at), getF32(at + 4)); }

// `out` holds SHIP_WIRE_SIZE zeroed bytes.
void shipEncode(const Ship& ship, std::uint8_t* out)
{
    putVec2(out, ship.position);
    putF32(out + 8, ship.speed);
    putF32(out + 12, ship.heading);
    putF32(out + 16, ship.turnRate);
    for (int j = 0; j < BULLETS_PER_SHIP; ++j) {
        std::uint8_t* b = out + SHIP_BULLETS_AT + j * BULLET_WIRE_SIZE;
        putVec2(b, ship.bullets[j].position);
        putVec2(b + 8, ship.bullets[j].direction);
        b[BULLET_ACTIVE_AT] = ship.bullets[j].active;
    }
    out[SHIP_FIRE_AT] = std::uint8_t(ship.fireRequest);
    out[SHIP_HIT_AT] = std::uint8_t(ship.hitCounter);
    putU32(out + SHIP_COLOUR_AT, ship.colour);
    putU32(out + SHIP_SPARE_AT, std::uint32_t(ship.spare));
}

// `in` holds at least SHIP_WIRE_SIZE bytes.
Ship shipDecode(const std::uint8_t* in)
{
    Ship ship;
    ship.position = getVec2(in);
    ship.speed = getF32(in + 8);
    ship.heading = getF32(in + 12);
    ship.turnRate = getF32(in + 16);
    for (int j = 0; j < BULLETS_PER_SHIP; ++j) {
        const std::uint8_t* b = in + SHIP_BULLETS_AT + j * BULLET_WIRE_SIZE;
        ship.bullets[j].position = getVec2(b);
        ship.bullets[j].direction = getVec2(b + 8);
        ship.bullets[j].active = b[BULLET_ACTIVE_AT];
    }
    ship.fireRequest = std::int8_t(in[SHIP_FIRE_AT]);
    ship.hitCounter = std::int8_t(in[SHIP_HIT_AT]);
    ship.colour = getU32(in + SHIP_COLOUR_AT);
    ship.spare = std::int32_t(getU32(in + SHIP_SPARE_AT));
    return ship;
}

}  // namespace

void matchStateInit(MatchState& match)
{
    match = MatchState{};
}

Snapshot snapshotEncode(const MatchState& match)
{
    Snapshot out{};
    for (int i = 0; i < SHIP_COUNT; ++i) shipEncode(match.ships[i], out.data() + i * SHIP_WIRE_SIZE);
    return out;
}

bool snapshotApply(MatchState& match, std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < SNAPSHOT_SIZE) return false;
    for (int i = 0; i < SHIP_COUNT; ++i) match.ships[i] = shipDecode(bytes.data() + i * SHIP_WIRE_SIZE);
    return true;
}

void snapshotStampWrite(Snapshot& snapshot, std::uint32_t milliseconds)
{
    if (milliseconds == 0) milliseconds = 1;
    for (int i = 0; i < SHIP_COUNT; ++i) {
        const std::uint32_t half = milliseconds >> (16 * i);
        snapshot[i * SHIP_WIRE_SIZE + SHIP_STAMP_AT] = static_cast<std::uint8_t>(half);
        snapshot[i * SHIP_WIRE_SIZE + SHIP_STAMP_AT + 1] = static_cast<std::uint8_t>(half >> 8);
    }
}

std::uint32_t snapshotStampRead(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < SNAPSHOT_SIZE) return 0;
    std::uint32_t stamp = 0;
    for (int i = 0; i < SHIP_COUNT; ++i) {
        const std::size_t at = i * SHIP_WIRE_SIZE + SHIP_STAMP_AT;
        stamp |= std::uint32_t(bytes[at] | bytes[at + 1] << 8) << (16 * i);
    }
    return stamp;
}

ControlBytes controlEncode(KeyFlags word)
{
    ControlBytes out{};
    putU32(out.data(), word);
    return out;
}

bool controlDecode(std::span<const std::uint8_t> bytes, KeyFlags& word)
{
    if (bytes.size() < CONTROL_SIZE) return false;
    word = getU32(bytes.data());
    return true;
}

KeyFlags controlStampWrite(KeyFlags word, std::uint32_t milliseconds)
{
    if (milliseconds == 0) return word & CONTROL_KEYS;
    std::uint32_t stamp = milliseconds % CONTROL_STAMP_MOD;
    if (stamp == 0) stamp = 1;
    return (word & CONTROL_KEYS) | stamp << CONTROL_STAMP_SHIFT;
}

std::uint32_t controlStampRead(KeyFlags word)
{
    return word >> CONTROL_STAMP_SHIFT;
}

double controlStampLag(std::uint32_t stamp, std::uint32_t milliseconds)
{
    if (stamp == 0) return 0.0;
    const std::uint32_t behind = (milliseconds - stamp) % CONTROL_STAMP_MOD;
    return behind < CONTROL_STAMP_MOD / 2 ? behind / 1000.0 : 0.0;
}

}  // namespace netduel
