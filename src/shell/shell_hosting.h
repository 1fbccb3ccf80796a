// A hosting copy's extras beside its lobby server: the internet list's registrations,
// the router's port mapping, the practice opponent and the time long frames carry.
#pragma once

#include <cstdint>
#include <memory>

#include "bot/bot_client.h"
#include "duel/rewind.h"
#include "hostlist/list_client.h"
#include "lobby/lobby.h"
#include "portmap/port_map.h"
#include "shell/shell_start.h"

namespace netduel {

struct ShellHosting {
    HostRegistrar registrar;    // a host's registrations at the internet list
    PortMapper portMapper;      // a host's port mapping at the router
    std::unique_ptr<BotClient> practiceBot;  // --practice: the computer opponent, ship 1
    double stepCarry = 0.0;     // s of simulation long frames left over
    ShotRewind rewind;          // the trail of the ships, for judging shots
    int firstTo = 0;            // --first-to: hits that win a round; 0: no score kept
};

// Once the server runs on `port`: the score `start` asks for, the practice opponent (set
// up, not joined yet), the port mapping and the registration at the list.
void shellHostingStart(ShellHosting& hosting, const ShellStart& start, std::uint16_t port);

// After the host's frame at the clock reading `now` (s): the registrations kept fresh
// with the ships still free, and the opponent's turn, which joins once the player holds
// ship 0 (`ownSlot`) and plays in this process's frames.
void shellHostingFrame(ShellHosting& hosting, const LobbyServer& server, int ownSlot, double now);

// Before the lobby closes: the opponent says goodbye (heard in the server's farewell),
// the registration and the port mapping end.
void shellHostingLeave(ShellHosting& hosting);

// After the lobby closed: the opponent's client is gone.
void shellHostingClose(ShellHosting& hosting);

}  // namespace netduel
