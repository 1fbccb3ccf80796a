// The host's part of a run: server creation, ships' start, the host's half of a frame.
#include "host.h"

#include "base/status.h"
#include "base/timer.h"
#include "duel/packet_handlers.h"
#include "duel/rewind.h"
#include "duel/simulate.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"

namespace netduel {

void hostMatchStart(MatchState& match)
{
    matchStateInit(match);
    match.ships[0].position = SHIP0_START;
    match.ships[0].colour = SHIP0_COLOUR;
    match.ships[1].position = SHIP1_START;
    match.ships[1].colour = SHIP1_COLOUR;
}

bool hostCreate(LobbyServer& server, MatchState& match, std::uint16_t port)
{
    statusWrite("Creating server", true);
    if (!lobbyServerCreate(server, "", port, LOBBY_MAX_PEERS)) {
        statusWrite("Host creation failed!", true);
        return false;
    }
    statusWrite("Host running!", true);
    server.running = 1;
    lobbyServerSetCallback(server, serverKeyHandler);
    lobbyServerSetUserData(server, &match);
    return true;
}

void hostClockAdvance(bool& frameToggle, double& lastTime, double& frameDt)
{
    const double now = timerSeconds();  // the frame's one reading
    frameToggle = !frameToggle;
    frameDt = lastTime - now;
    lastTime = now;
}

std::uint32_t hostSendStamp(double now)
{
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now * 1000.0));
}

bool hostFrame(LobbyServer& server, MatchState& match, double frameDt, bool frameToggle,
               double& stepCarry, Snapshot* sent, double now, ShotRewind* rewind)
{
    if (!server.host) return false;
    if (rewind) shotRewindFrame(*rewind, match, frameDt, stepCarry, now);
    else simulateFrame(match, frameDt, stepCarry);
    if (frameToggle) {
        Snapshot snapshot = snapshotEncode(match);
        snapshotStampWrite(snapshot, hostSendStamp(now));
        lobbyServerBroadcastBytes(server, CHANNEL_SNAPSHOT, snapshot);
        if (sent) *sent = snapshot;
    }
    // Every frame, so that a joining peer or a control word never waits two frames.
    lobbyServerService(server);
    return frameToggle;
}

}  // namespace netduel
