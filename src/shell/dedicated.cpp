// Dedicated host: start, paced frames until SIGINT or SIGTERM, farewell.
#include "dedicated.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "agones/agones.h"
#include "base/stop_request.h"
#include "base/timer.h"
#include "lobby/lobby_server.h"
#include "shell/host.h"

namespace netduel {

bool dedicatedStart(DedicatedHost& host, std::uint16_t port, const std::string& recordDir,
                    int recordKeep, const std::string& registerUrl, bool portMapping, int firstTo)
{
    lobbyPairInit(host.net);
    host.firstTo = firstTo;
    host.recording.directory = recordDir;
    host.recording.keep = recordKeep;
    host.net.server.told = LobbyTap{recordHostHeard, &host.recording};
    hostMatchStart(host.match);
    if (!hostCreate(host.net.server, host.match, port)) return false;
    host.net.server.dedicated = true;
    host.frameToggle = true;
    host.frameDt = 0.0;
    host.lastTime = timerSeconds();
    if (portMapping) portMapperStart(host.portMapper, port);
    if (!registerUrl.empty()) registrarStart(host.registrar, registerUrl, port, {});
    return true;
}

void dedicatedFrame(DedicatedHost& host)
{
    hostClockAdvance(host.frameToggle, host.lastTime, host.frameDt);
    Snapshot sent;
    host.recording.clock = host.lastTime;
    const bool broadcast =
        hostFrame(host.net.server, host.match, host.frameDt, host.frameToggle, host.stepCarry, &sent, host.lastTime,
                  &host.rewind, host.firstTo);
    recordHostFrame(host.recording, host.net.server, broadcast ? &sent : nullptr, host.lastTime);
    registrarTick(host.registrar, host.lastTime, hostFreeShips(host.net.server), portMapperTick(host.portMapper));
}

void dedicatedPace(DedicatedHost& host)
{
    using Clock = std::chrono::steady_clock;
    const std::chrono::duration<double> period(1.0 / DEDICATED_FRAME_RATE);
    const double ticks = std::floor(Clock::now().time_since_epoch() / period);
    const auto next = std::chrono::duration_cast<Clock::duration>(period * (ticks + 1.0));
    lobbyServerWaitUntil(host.net.server, Clock::time_point(next));
}

void dedicatedStop(DedicatedHost& host)
{
    registrarStop(host.registrar);
    portMapperStop(host.portMapper);
    recordHostClose(host.recording);
    lobbyPairClose(host.net);
    lobbyPairDestroy(host.net);
}

int dedicatedRun(std::uint16_t port, const std::string& recordDir, int recordKeep, const std::string& registerUrl,
                 bool portMapping, int firstTo)
{
    auto host = std::make_unique<DedicatedHost>();
    const bool started = dedicatedStart(*host, port, recordDir, recordKeep, registerUrl, portMapping, firstTo);
    auto agones = std::make_unique<AgonesSdk>();  // idle unless Agones runs this host
    if (started) agonesOpen(*agones, std::getenv(AGONES_PORT_VARIABLE));
    while (started && !stopRequested() && !agonesFinished(*agones)) {
        dedicatedFrame(*host);
        agonesFrame(*agones, lobbyServerShipsHeld(host->net.server), host->lastTime);
        dedicatedPace(*host);
    }
    dedicatedStop(*host);
    agonesClose(*agones);
    return started ? 0 : 1;  // 0 also after Agones' shutdown
}

}  // namespace netduel
