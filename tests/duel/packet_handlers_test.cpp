// Match packet handlers on hand-made receive events: which bits steer which ship, which
// channels and payload sizes are ignored.
#include <vector>

#include <gtest/gtest.h>

#include "duel/packet_handlers.h"
#include "duel_fixture.h"

namespace netduel {
namespace {

using test::startState;

// A receive event as a server or client would hand it over, from the peer bound to `slot`.
class HandlerEvent {
public:
    HandlerEvent(std::uint8_t channel, std::span<const std::uint8_t> bytes, std::uintptr_t slot = 0)
    {
        peer.data = reinterpret_cast<void*>(slot);
        event.type = ENET_EVENT_TYPE_RECEIVE;
        event.channelID = channel;
        event.peer = &peer;
        event.packet = enet_packet_create(bytes.data(), bytes.size(), 0);
        packetEvent.event = &event;
    }
    ~HandlerEvent() { enet_packet_destroy(event.packet); }
    HandlerEvent(const HandlerEvent&) = delete;
    HandlerEvent& operator=(const HandlerEvent&) = delete;

    std::int32_t toServer(MatchState& match)
    {
        server.userData = &match;
        packetEvent.server = &server;
        return serverKeyHandler(packetEvent);
    }

private:
    ENetPeer peer{};
    ENetEvent event{};
    LobbyServer server;
    PacketEvent packetEvent;
};

MatchState afterControl(KeyFlags word, std::uintptr_t slot, std::uint8_t channel = 1)
{
    MatchState match = startState();
    const ControlBytes bytes = controlEncode(word);
    EXPECT_EQ(HandlerEvent(channel, bytes, slot).toServer(match), 0);
    return match;
}

TEST(ShipApplyControl, BitsAreAbsoluteAssignments)
{
    Ship ship;
    ship.speed = 12.0f;
    shipApplyControl(ship, KEY_LEFT);
    EXPECT_EQ(ship.turnRate, -5.0f);
    EXPECT_EQ(ship.speed, 12.0f);
    shipApplyControl(ship, KEY_LEFT | KEY_RIGHT);
    EXPECT_EQ(ship.turnRate, 5.0f);
    shipApplyControl(ship, KEY_UP);
    shipApplyControl(ship, KEY_UP);
    EXPECT_EQ(ship.speed, 250.0f);
    EXPECT_EQ(ship.fireRequest, 0);
    shipApplyControl(ship, KEY_FIRE);
    EXPECT_EQ(ship.fireRequest, -1);
    shipApplyControl(ship, 0);
    EXPECT_EQ(ship.fireRequest, -1);
    EXPECT_EQ(ship.turnRate, 5.0f);
}

TEST(ServerKeyHandler, SteersOnlyTheSendersShip)
{
    const MatchState start = startState();
    const MatchState m = afterControl(0x05, 1);
    EXPECT_EQ(m.ships[1].turnRate, -5.0f);
    EXPECT_EQ(m.ships[1].speed, 250.0f);
    EXPECT_EQ(m.ships[1].fireRequest, 0);
    MatchState onlyShip0 = m;
    onlyShip0.ships[1] = start.ships[1];
    EXPECT_EQ(snapshotEncode(onlyShip0), snapshotEncode(start));

    EXPECT_EQ(afterControl(0x03, 0).ships[0].turnRate, 5.0f);
    const MatchState fire = afterControl(0x10, 0);
    EXPECT_EQ(fire.ships[0].fireRequest, FIRE_REQUESTED);
    EXPECT_EQ(fire.ships[0].speed, 0.0f);
    EXPECT_EQ(fire.ships[0].turnRate, 0.0f);
}

TEST(ServerKeyHandler, IgnoresWhatNamesNoShipOrNoControl)
{
    const Snapshot start = snapshotEncode(startState());
    EXPECT_EQ(snapshotEncode(afterControl(KEY_DOWN, 0)), start);
    EXPECT_EQ(snapshotEncode(afterControl(0xFFFFFFE0u, 0)), start);
    EXPECT_EQ(snapshotEncode(afterControl(0x1F, 2)), start);
    EXPECT_EQ(snapshotEncode(afterControl(0x1F, 24)), start);
    EXPECT_EQ(snapshotEncode(afterControl(0x1F, 0, 2)), start);
    EXPECT_EQ(snapshotEncode(afterControl(0x1F, 0, 7)), start);

    MatchState match = startState();
    const std::vector<std::uint8_t> shortWord{0x1F, 0, 0};
    EXPECT_EQ(HandlerEvent(1, shortWord).toServer(match), 0);
    EXPECT_EQ(HandlerEvent(1, {}).toServer(match), 0);
    EXPECT_EQ(snapshotEncode(match), start);
}

TEST(ServerKeyHandler, ReadsTheFirstFourBytesOfALongerPayload)
{
    MatchState match = startState();
    const std::vector<std::uint8_t> longWord{KEY_UP, 0, 0, 0, KEY_LEFT, 0xFF};
    HandlerEvent(1, longWord).toServer(match);
    EXPECT_EQ(match.ships[0].speed, 250.0f);
    EXPECT_EQ(match.ships[0].turnRate, 0.0f);
}

// The stamp a copy puts above the keys: what the host reads back as the shooter's lag.
TEST(ServerKeyHandler, AWordWithFireTakesItsStampsLag)
{
    struct Case {
        KeyFlags keys;
        std::uint32_t stampMs;  // 0: a word as peers without the stamp send it
        double hostSeconds;
        float lag;              // s the host then judges the next shot back by
    };
    const Case cases[] = {
        {KEY_FIRE, 9850, 10.0, 0.150f},                    // 150 ms behind the host
        {KEY_FIRE | KEY_UP, 0, 10.0, 0.0f},                // no stamp: judged as today
        {KEY_FIRE, 10100, 10.0, 0.0f},                     // ahead of the host's clock
        {KEY_FIRE, CONTROL_STAMP_MOD - 20, 16777.236, 0.040f},  // across the stamp's wrap
        {KEY_UP, 9850, 10.0, -1.0f},                       // no fire: the last lag stays
    };
    for (const Case& c : cases) {
        timerSetManual(c.hostSeconds);
        MatchState match = startState();
        match.shotLag[1] = -1.0f;
        const KeyFlags word = controlStampWrite(c.keys, c.stampMs);
        EXPECT_EQ(controlStampRead(word), c.stampMs);
        HandlerEvent(1, controlEncode(word), 1).toServer(match);
        EXPECT_NEAR(match.shotLag[1], c.lag, 1e-4) << std::hex << word;
        EXPECT_EQ(match.shotLag[0], 0.0f);
        EXPECT_EQ(match.ships[1].fireRequest, c.keys & KEY_FIRE ? FIRE_REQUESTED : 0);
    }
    timerSetReal();
}

}  // namespace
}  // namespace netduel
