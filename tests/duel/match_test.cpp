// Match records: initial values, the snapshot bytes, wholesale application, short payloads.
#include <vector>

#include <gtest/gtest.h>

#include "duel_fixture.h"

namespace netduel {
namespace {

using test::startState;

TEST(MatchState, InitClearsEverything)
{
    MatchState m;
    m.reserved = 7;
    m.ships[1].bullets[9].active = 255;
    m.ships[0].hitCounter = 3;
    m.ships[0].fireRequest = -1;
    m.pairs[4].second = Vec2(1.0f, 2.0f);
    matchStateInit(m);
    EXPECT_EQ(m.reserved, 0);
    EXPECT_EQ(m.pairs[4].second, Vec2());
    for (const Ship& s : m.ships) {
        EXPECT_EQ(s.hitCounter, 0);
        EXPECT_EQ(s.fireRequest, 0);
        EXPECT_EQ(s.position, Vec2());
        for (const Bullet& b : s.bullets) EXPECT_EQ(b.active, 0);
    }
}

TEST(Snapshot, StartStateBytes)
{
    const Snapshot bytes = snapshotEncode(startState());
    auto at = [&](std::size_t i, std::initializer_list<int> expected) {
        std::size_t k = i;
        for (int e : expected) EXPECT_EQ(bytes[k++], e) << "byte " << k - 1;
    };
    at(0, {0x00, 0x00, 0x48, 0x42});    // 50.0
    at(4, {0x00, 0x00, 0xC0, 0x43});    // 384.0
    at(224, {0x00, 0x00, 0x80, 0xFF});  // 0xFF800000
    at(232, {0x00, 0x80, 0x73, 0x44});  // 974.0
    at(456, {0x80, 0x00, 0x00, 0xFF});  // 0xFF000080
    // Everything else of the start state is zero, padding included.
    int nonZero = 0;
    for (std::uint8_t b : bytes) nonZero += b != 0;
    EXPECT_EQ(nonZero, 2 + 2 + 2 + 3 + 2 + 2);  // the non-zero bytes listed above
}

TEST(Snapshot, FieldOffsets)
{
    MatchState m = startState();
    Ship& s = m.ships[1];
    s.speed = 1.0f;
    s.bullets[9].direction = Vec2(0.0f, -2.0f);
    s.bullets[9].active = 255;
    s.fireRequest = -1;
    s.hitCounter = 3;
    s.spare = -2;
    const Snapshot bytes = snapshotEncode(m);
    const std::size_t ship = 232;
    EXPECT_EQ(bytes[ship + 8 + 3], 0x3F);                 // 1.0f = 00 00 80 3F
    EXPECT_EQ(bytes[ship + 20 + 9 * 20 + 15], 0xC0);      // −2.0f = 00 00 00 C0
    EXPECT_EQ(bytes[ship + 20 + 9 * 20 + 16], 255);
    EXPECT_EQ(bytes[ship + 220], 0xFF);
    EXPECT_EQ(bytes[ship + 221], 3);
    EXPECT_EQ(bytes[ship + 228], 0xFE);
    EXPECT_EQ(bytes[ship + 231], 0xFF);
}

TEST(Snapshot, ApplyReplacesBothShipsWholesale)
{
    MatchState host = startState();
    host.ships[0].turnRate = -1.25f;
    host.ships[0].fireRequest = -1;
    host.ships[1].hitCounter = 4;
    host.ships[1].bullets[3] = Bullet{Vec2(1.0f, 2.0f), Vec2(0.0f, 1.0f), 255};
    host.ships[1].spare = 9;

    MatchState local;
    matchStateInit(local);
    local.reserved = 42;
    local.pairs[2].first = Vec2(7.0f, 8.0f);
    local.ships[0].bullets[5].active = 255;  // must not survive: nothing is merged
    local.ships[1].colour = 0xFFFFFFFFu;

    const Snapshot bytes = snapshotEncode(host);
    ASSERT_TRUE(snapshotApply(local, bytes));
    EXPECT_EQ(snapshotEncode(local), bytes);
    EXPECT_EQ(local.ships[0].turnRate, -1.25f);
    EXPECT_EQ(local.ships[0].fireRequest, -1);
    EXPECT_EQ(local.ships[0].bullets[5].active, 0);
    EXPECT_EQ(local.ships[1].bullets[3].position, Vec2(1.0f, 2.0f));
    EXPECT_EQ(local.ships[1].colour, 0xFF000080u);
    EXPECT_EQ(local.ships[1].spare, 9);
    EXPECT_EQ(local.reserved, 42);
    EXPECT_EQ(local.pairs[2].first, Vec2(7.0f, 8.0f));
}

TEST(Snapshot, ShortPayloadIsRefusedLongerUsesItsHead)
{
    MatchState m = startState();
    const MatchState before = m;
    std::vector<std::uint8_t> bytes(SNAPSHOT_SIZE - 1, 0xAB);
    EXPECT_FALSE(snapshotApply(m, bytes));
    EXPECT_FALSE(snapshotApply(m, {}));
    EXPECT_EQ(snapshotEncode(m), snapshotEncode(before));

    const Snapshot encoded = snapshotEncode(before);
    std::vector<std::uint8_t> longer(encoded.begin(), encoded.end());
    longer.resize(SNAPSHOT_SIZE + 100, 0xEE);
    MatchState other;
    matchStateInit(other);
    EXPECT_TRUE(snapshotApply(other, longer));
    EXPECT_EQ(other.ships[1].colour, 0xFF000080u);
}

TEST(ControlWord, LittleEndianBothWays)
{
    const ControlBytes bytes = controlEncode(KEY_FIRE | KEY_LEFT | 0x01020300u);
    EXPECT_EQ(bytes, (ControlBytes{0x11, 0x03, 0x02, 0x01}));
    KeyFlags word = 0;
    ASSERT_TRUE(controlDecode(bytes, word));
    EXPECT_EQ(word, 0x01020311u);
    const std::uint8_t longer[] = {0x05, 0, 0, 0, 0xFF, 0xFF};
    ASSERT_TRUE(controlDecode(longer, word));
    EXPECT_EQ(word, KEY_LEFT | KEY_UP);
}

TEST(ControlWord, ShortPayloadIsRefused)
{
    KeyFlags word = 0xDEADu;
    const std::uint8_t three[] = {0x10, 0, 0};
    EXPECT_FALSE(controlDecode(three, word));
    EXPECT_FALSE(controlDecode({}, word));
    EXPECT_EQ(word, 0xDEADu);
}

TEST(SnapshotStamp, TravelsInThePaddingAndChangesNoShip)
{
    Snapshot bytes = snapshotEncode(test::startState());
    EXPECT_EQ(snapshotStampRead(bytes), 0u);  // a host that does not stamp
    snapshotStampWrite(bytes, 0x89ABCDEFu);
    EXPECT_EQ(snapshotStampRead(bytes), 0x89ABCDEFu);
    EXPECT_EQ(bytes[222], 0xEF);
    EXPECT_EQ(bytes[SHIP_WIRE_SIZE + 223], 0x89);
    MatchState stamped;
    ASSERT_TRUE(snapshotApply(stamped, bytes));
    EXPECT_EQ(snapshotEncode(stamped), snapshotEncode(test::startState()));

    snapshotStampWrite(bytes, 0);  // zero would read as no stamp
    EXPECT_EQ(snapshotStampRead(bytes), 1u);
    EXPECT_EQ(snapshotStampRead(std::span(bytes).first(SNAPSHOT_SIZE - 1)), 0u);
}

}  // namespace
}  // namespace netduel
