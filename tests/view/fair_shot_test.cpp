// Shots judged where the shooter saw the other ship, end to end: the real host's frame
// with its rewound judge and a real joining copy, ENet on loopback through the link
// emulator (150 ms each way, ± 20 ms). The host drives ship 1 to and fro across the lane
// that ship 0's copy fires up along when the ship it draws is a bullet's flight away;
// every bullet the copy drew touching ship 1 should be one the host counts as a hit, and
// without the stamp most are not.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/timer.h"
#include "duel/packet_handlers.h"
#include "duel/rewind.h"
#include "duel/simulate.h"
#include "link/link.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"
#include "shell/host.h"
#include "view/client_view.h"
#include "view/control_outbox.h"

namespace netduel {
namespace {

constexpr std::uint16_t PORT = 45310;  // the host; the link listens on the next one
constexpr double FRAME = 1.0 / 60.0;
constexpr Vec2 GUN{512.0f, 480.0f};  // a flight long enough that the host's bullet has taken over the drawn one
constexpr float LANE_Y = 300.0f;
constexpr float SWING = 150.0f;         // px either side of the lane ship 1 turns back at: a crossing
                                        // each 1.2 s, far from any lag a touch could alias with
constexpr double FLIGHT = (GUN.y - MUZZLE_OFFSET - LANE_Y) / BULLET_SPEED;  // s from the muzzle to the lane
constexpr float AIM_SLACK = 3.0f;       // px: about a frame of ship 1's way
constexpr double PAIRED = 0.5;          // s: the host's hit by that slot comes within this of the touch
constexpr int TOUCHES = 10;
constexpr double WARM_UP = 1.5;         // s of snapshots before firing: the playout delay settles
constexpr double DEADLINE = 60.0;      // s: generous, for a loaded machine

struct Copy {
    LobbyClient client;
    MatchState match;
    ClientView view;
    double clock = 0.0;  // s: the copy's frame clock, at which snapshots arrive
};

std::int32_t toView(PacketEvent& event)
{
    auto* copy = static_cast<Copy*>(event.client->userData);
    if (event.event->channelID == CHANNEL_SNAPSHOT) clientViewReceive(copy->view, packetBytes(*event.event), copy->clock);
    return 0;
}

struct SlotAt {
    int slot;
    double at;
};

struct Duel {
    LobbyServer server;
    MatchState host;
    ShotRewind rewind;
    Link link;
    Copy copy;
    std::vector<SlotAt> hostHits, touches;
    ~Duel()
    {
        lobbyClientDestroy(copy.client);
        lobbyServerDestroy(server);
        linkStop(link);
    }
};

bool duelStart(Duel& duel)
{
    hostMatchStart(duel.host);
    duel.host.ships[0].position = GUN;
    duel.host.ships[1].position = Vec2(GUN.x, LANE_Y);
    duel.host.ships[1].heading = -std::numbers::pi_v<float> / 2;  // nose left: drives right
    if (!hostCreate(duel.server, duel.host, PORT)) return false;
    LinkConfig config;
    config.listenPort = PORT + 1;
    config.hostPort = PORT;
    config.impairment[LINK_TO_HOST] = config.impairment[LINK_TO_CLIENT] = LinkImpairment{0.150, 0.020, 0.0, 0.0, true};
    if (!linkStart(duel.link, config)) return false;
    clientViewReset(duel.copy.view, &duel.copy.match);
    lobbyClientSetCallback(duel.copy.client, toView);
    lobbyClientSetUserData(duel.copy.client, &duel.copy);
    return lobbyClientConnect(duel.copy.client, "127.0.0.1", linkPort(duel.link), CLIENT_CHANNELS);
}

// Ship 1 to and fro along the lane at thrust speed, turned about past SWING.
void hostSteer(Ship& target)
{
    if (target.position.x > GUN.x + SWING) target.heading = std::numbers::pi_v<float> / 2;  // nose right: drives left
    if (target.position.x < GUN.x - SWING) target.heading = -std::numbers::pi_v<float> / 2;
    target.position.y = LANE_Y;
    target.speed = THRUST_SPEED;
}

void copyFrame(Duel& duel, ControlOutbox& outbox, bool& toggle, double& last, double& lastPress, double fireFrom,
               bool stamped)
{
    Copy& copy = duel.copy;
    const double now = timerSeconds();
    const double frameDt = last - now;
    last = now;
    toggle = !toggle;
    copy.clock = now;
    lobbyClientService(copy.client);
    clientViewSetSlot(copy.view, lobbyClientOwnSlot(copy.client));
    copy.view.roundTrip = lobbyClientRoundTrip(copy.client).mean;
    // As a player aims: X tapped when the ship as drawn is a bullet's flight from the lane.
    const Ship& seen = copy.view.drawn.ships[1];
    const float toLane = (GUN.x - seen.position.x) * shipFacing(seen.heading).x;
    const bool aimed = std::fabs(toLane - THRUST_SPEED * (FLIGHT + FRAME)) < AIM_SLACK;  // the word leaves a frame on
    if (fireFrom > 0.0 && now > fireFrom && aimed && now - lastPress > 2 * FLIGHT) {
        controlOutboxPress(outbox, KEY_FIRE);
        lastPress = now;
    }
    if (const auto word = controlOutboxDue(outbox, 0, toggle, now)) {
        const ControlBytes bytes = stamped ? clientViewControlBytes(copy.view, *word) : controlEncode(*word);
        if (lobbyClientSendBytes(copy.client, CHANNEL_CONTROL, bytes, false)) {
            enet_host_flush(copy.client.host);
            clientViewControlSent(copy.view, *word, now);
        }
    }
    const MatchState& drawn = clientViewFrame(copy.view, frameDt, now);
    if (copy.view.predicted.slot != 0 || fireFrom <= 0.0) return;
    for (int k = 0; k < BULLETS_PER_SHIP; ++k) {
        const int slot = copy.view.shots.shots[k].hostSlot;
        const Bullet& b = drawn.ships[0].bullets[k];
        if (!b.active || slot < 0 || !bulletTouches(drawn.ships[1].position, b.position)) continue;
        const bool again = std::any_of(duel.touches.begin(), duel.touches.end(),
                                       [&](const SlotAt& t) { return t.slot == slot && now - t.at < PAIRED; });
        if (!again) duel.touches.push_back({slot, now});
    }
}

// The share of the touches the copy drew that the host counted as hits by the same bullet.
double countedShare(bool stamped, int& touches)
{
    Duel duel;
    EXPECT_TRUE(duelStart(duel));
    ControlOutbox outbox;
    bool hostToggle = false, copyToggle = false;
    double hostLast = timerSeconds(), hostDt = 0.0, carry = 0.0, copyLast = hostLast, fireFrom = 0.0, lastPress = 0.0;
    double hostNext = hostLast, copyNext = hostLast + FRAME / 2;
    const double deadline = hostLast + DEADLINE;
    while (int(duel.touches.size()) < TOUCHES && timerSeconds() < deadline) {
        const double wait = std::min(hostNext, copyNext) - timerSeconds();
        if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
        const double now = timerSeconds();
        if (fireFrom == 0.0 && duel.copy.view.smoothed.received > 0) fireFrom = now + WARM_UP;
        if (now >= hostNext) {
            hostClockAdvance(hostToggle, hostLast, hostDt);
            hostSteer(duel.host.ships[1]);
            hostFrame(duel.server, duel.host, hostDt, hostToggle, carry, nullptr, hostLast, &duel.rewind);
            for (int j = 0; j < BULLETS_PER_SHIP; ++j)
                if (duel.rewind.touched[0] & 1u << j) duel.hostHits.push_back({j, hostLast});
            duel.rewind.touched[0] = 0;
            hostNext = std::max(hostNext + FRAME, now);
        }
        if (now >= copyNext) {
            copyFrame(duel, outbox, copyToggle, copyLast, lastPress, fireFrom, stamped);
            copyNext = std::max(copyNext + FRAME, now);
        }
    }
    int counted = 0;
    for (const SlotAt& touch : duel.touches)
        counted += std::any_of(duel.hostHits.begin(), duel.hostHits.end(), [&](const SlotAt& hit) {
            return hit.slot == touch.slot && std::fabs(hit.at - touch.at) < PAIRED;
        });
    touches = int(duel.touches.size());
    return touches ? double(counted) / touches : 0.0;
}

TEST(FairShot, WhatTheCopyDrewTouchingIsAHitOverALaggyLinkAndAWordWithoutTheStampIsJudgedAsToday)
{
    int touches = 0;
    const double stamped = countedShare(true, touches);
    EXPECT_EQ(touches, TOUCHES);
    EXPECT_GE(stamped, 0.8);
    const double unstamped = countedShare(false, touches);
    EXPECT_EQ(touches, TOUCHES);
    EXPECT_LE(unstamped, stamped - 0.4) << "judged where the other ship is now, most drawn touches miss";
}

}  // namespace
}  // namespace netduel
