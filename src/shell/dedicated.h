// Dedicated host: the lobby server and the match at 60 frames a second, with no window,
// no player and no pixels; SIGINT or SIGTERM ends it after telling every peer.
#pragma once

#include <cstdint>
#include <string>

#include "duel/match.h"
#include "duel/rewind.h"
#include "hostlist/list_client.h"
#include "portmap/port_map.h"
#include "lobby/lobby.h"
#include "record/record_live.h"

namespace netduel {

inline constexpr double DEDICATED_FRAME_RATE = 60.0;  // frames/s: a windowed host's pace

struct DedicatedHost {
    LobbyPair net;  // the server; the client part stays unused
    MatchState match;
    bool frameToggle = true;  // inverted first thing every frame
    double lastTime = 0.0;    // s, clock reading of the previous frame
    double frameDt = 0.0;     // s, previous minus current reading: negative
    double stepCarry = 0.0;   // s of simulation long frames left over
    ShotRewind rewind;        // the ships' trail, for judging shots
    int firstTo = 0;          // --first-to: hits that win a round; 0: no score kept
    RecordHost recording;     // --record-dir: the stretches with both ships held
    HostRegistrar registrar;  // --register: the internet list told of this host
    PortMapper portMapper;    // the router asked to forward the game port
};

// The host's status lines and the server on `port` with both ships at their start;
// with a `recordDir`, each stretch in which both ships are held is recorded there, at
// most `recordKeep` files kept. False after "Host creation failed!".
// With a `registerUrl`, the host registers there; with `portMapping`, it asks the router
// to forward its port; with a `firstTo`, it keeps the score of rounds won at that many hits.
bool dedicatedStart(DedicatedHost& host, std::uint16_t port, const std::string& recordDir = {},
                    int recordKeep = RECORD_KEEP_DEFAULT, const std::string& registerUrl = {},
                    bool portMapping = false, int firstTo = 0);

// One frame as a windowed host runs it, without drawing and without a pause.
void dedicatedFrame(DedicatedHost& host);

// Waits until the next tick of a 60 Hz clock on the steady clock, so that a late frame
// does not shift the ones after it, serving the datagrams that arrive meanwhile.
void dedicatedPace(DedicatedHost& host);

// Tells every peer that the host leaves, waits up to a second for their answers and
// destroys the server. Safe on a host that never started.
void dedicatedStop(DedicatedHost& host);

// The whole run: start, frames until a stop is requested, stop. Returns the exit
// status: 0 after a stop or once the Agones sidecar was asked to shut the host down,
// 1 when the server could not be created.
int dedicatedRun(std::uint16_t port, const std::string& recordDir = {},
                 int recordKeep = RECORD_KEEP_DEFAULT, const std::string& registerUrl = {},
                 bool portMapping = false, int firstTo = 0);

}  // namespace netduel
