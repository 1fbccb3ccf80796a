// The host's part of a run: server creation, ships' start, the host's half of a frame.
#include "host.h"

#include <string>

#include "base/status.h"
#include "base/timer.h"
#include "duel/packet_handlers.h"
#include "duel/rewind.h"
#include "duel/score.h"
#include "duel/simulate.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"

namespace netduel {

namespace {

// The frame's new hits counted; at the target the lobby hears the winner, the ships go
// back to their start and the next round begins at 0-0.
void hostScoreFrame(LobbyServer& server, MatchState& match, const std::int8_t (&before)[SHIP_COUNT],
                    int firstTo, ShotRewind* rewind)
{
    scoreCount(match, before, firstTo);
    const int winner = scoreWinner(match);
    if (winner < 0) return;
    const int loser = (winner + 1) % SHIP_COUNT;
    const std::string line =
        scoreRoundLine(match, winner, scoreShipName(lobbyServerShipHolder(server, std::size_t(winner)), winner),
                       scoreShipName(lobbyServerShipHolder(server, std::size_t(loser)), loser));
    lobbyServerBroadcastText(server, CHANNEL_TEXT, sayNotice(LOBBY_SENDER, line));
    const std::int8_t flashes[SHIP_COUNT] = {match.ships[0].hitCounter, match.ships[1].hitCounter};
    hostMatchStart(match);
    for (int i = 0; i < SHIP_COUNT; ++i) match.ships[i].hitCounter = flashes[i];  // the winning hit still shows
    if (rewind) shotRewindReset(*rewind);  // the trail would hold the ships where the round left them
    scoreCount(match, flashes, firstTo);  // 0-0, no hit counted twice
}

}  // namespace

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

bool hostFrame(LobbyServer& server, MatchState& match, double frameDt, bool frameToggle,
               double& stepCarry, Snapshot* sent, double now, ShotRewind* rewind, int firstTo)
{
    if (!server.host) return false;
    const std::int8_t hitBefore[SHIP_COUNT] = {match.ships[0].hitCounter, match.ships[1].hitCounter};
    if (rewind) shotRewindFrame(*rewind, match, frameDt, stepCarry, now);
    else simulateFrame(match, frameDt, stepCarry);
    if (firstTo > 0) hostScoreFrame(server, match, hitBefore, firstTo, rewind);
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
