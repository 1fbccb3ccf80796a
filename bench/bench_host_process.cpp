// CPU and memory of an idle host process with two peers connected: a --dedicated host
// (goal: under 3 % of one core and under 12 MB resident; it draws nothing), the same host
// speaking the Agones SDK to a stand-in sidecar in this process (goal: no measurable
// difference), and a windowed --host in the same run, under its own Xvfb. Two ENet peers in this process
// stay connected and serviced throughout; the host's own counters in /proc are read
// over the measured interval: utime + stime (clock ticks, 10 ms each) and, finer, the
// nanoseconds on a CPU that schedstat keeps for each of its threads. The snapshots
// a peer receives show that the host kept its pace meanwhile.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <enet/enet.h>

#include "agones/agones.h"
#include "lobby/lobby_protocol.h"
#include "child_process.h"
#include "proc_status.h"
#include "stand_in_sidecar.h"

#ifndef NETDUEL_EXE
#error "the build passes the game's path"
#endif

namespace netduel {
namespace {

constexpr std::uint16_t DEDICATED_PORT = 47250;
constexpr std::uint16_t WINDOWED_PORT = 47251;
constexpr std::uint16_t AGONES_HOST_PORT = 47252;
constexpr auto SETTLE = std::chrono::seconds(1);    // start-up and connections die down
constexpr auto MEASURE = std::chrono::seconds(5);   // long enough for clock-tick counters
constexpr double CPU_GOAL_PERCENT = 3.0;
constexpr double RSS_GOAL_MB = 12.0;

// Two ENet peers on `port`, serviced on a thread of their own until destroyed.
struct Peers {
    ENetHost* host = nullptr;
    std::atomic<int> connected{0};
    std::atomic<long> snapshots{0};  // received by either peer
    std::atomic<bool> stop{false};
    std::thread servicing;

    explicit Peers(std::uint16_t port)
    {
        enet_initialize();
        host = enet_host_create(nullptr, 2, 0, 0, 0);
        ENetAddress address{};
        enet_address_set_host(&address, "127.0.0.1");
        address.port = port;
        for (int i = 0; i < 2 && host; ++i) enet_host_connect(host, &address, CLIENT_CHANNELS, 0);
        servicing = std::thread([this] {
            while (host && !stop) {
                ENetEvent event;
                while (enet_host_service(host, &event, 5) > 0) {
                    if (event.type == ENET_EVENT_TYPE_CONNECT) ++connected;
                    if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
                    snapshots += event.channelID == CHANNEL_SNAPSHOT;
                    enet_packet_destroy(event.packet);
                }
            }
        });
    }
    ~Peers()
    {
        stop = true;
        servicing.join();
        if (host) enet_host_destroy(host);
        enet_deinitialize();
    }
    bool awaitBoth()
    {
        const auto deadline = Clock::now() + DEADLINE;
        while (connected < 2 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return connected == 2;
    }
};

// A /proc/PID/status line such as VmRSS, in megabytes (2^20 bytes); 0 when missing.
double statusMegabytes(pid_t pid, std::string_view key)
{
    const long kb = procStatusKb(std::to_string(pid), key);
    return kb < 0 ? 0.0 : double(kb) / 1024.0;
}

// Connects two peers to the host `process` runs on `port` and measures it while idle;
// `goal` says whether the dedicated host's goal applies.
void measureHost(benchmark::State& state, Process& process, std::uint16_t port, bool goal)
{
    if (!process.await("Host running!\n")) {
        state.SkipWithError("the host did not start");
        return;
    }
    Peers peers(port);
    if (!peers.awaitBoth()) {
        state.SkipWithError("the peers did not connect");
        return;
    }
    std::this_thread::sleep_for(SETTLE);
    double cpuPercent = 0.0;
    double scheduledPercent = 0.0;
    double snapshotRate = 0.0;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds(process.pid);
        const double scheduledBefore = scheduledSeconds(process.pid);
        const long snapshotsBefore = peers.snapshots;
        const auto before = Clock::now();
        std::this_thread::sleep_for(MEASURE);
        const double wall = std::chrono::duration<double>(Clock::now() - before).count();
        cpuPercent = 100.0 * (cpuSeconds(process.pid) - cpuBefore) / wall;
        scheduledPercent = 100.0 * (scheduledSeconds(process.pid) - scheduledBefore) / wall;
        snapshotRate = static_cast<double>(peers.snapshots - snapshotsBefore) / 2.0 / wall;
        state.SetIterationTime(wall);
    }
    const double rss = statusMegabytes(process.pid, "VmRSS");
    state.counters["cpu_%"] = cpuPercent;
    state.counters["sched_%"] = scheduledPercent;
    state.counters["snapshots/s"] = snapshotRate;
    state.counters["rss_MB"] = rss;
    state.counters["hwm_MB"] = statusMegabytes(process.pid, "VmHWM");
    const bool met = std::max(cpuPercent, scheduledPercent) < CPU_GOAL_PERCENT && rss < RSS_GOAL_MB;
    if (goal) state.SetLabel(std::string("goal <3 % CPU, <12 MB: ") + (met ? "met" : "missed"));
}

void BM_IdleDedicatedHost(benchmark::State& state)
{
    Process host;
    start(host, {NETDUEL_EXE, "--dedicated", "--port", std::to_string(DEDICATED_PORT)}, "");
    measureHost(state, host, DEDICATED_PORT, true);
}
BENCHMARK(BM_IdleDedicatedHost)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The same host as an Agones game server: ready, a health ping a second, the ships label.
void BM_IdleDedicatedHostAgones(benchmark::State& state)
{
    StandInSidecar sidecar;
    if (!sidecar.start()) {
        state.SkipWithError("the stand-in sidecar could not listen");
        return;
    }
    setenv(AGONES_PORT_VARIABLE, std::to_string(sidecar.port).c_str(), 1);
    Process host;
    start(host, {NETDUEL_EXE, "--dedicated", "--port", std::to_string(AGONES_HOST_PORT)}, "");
    unsetenv(AGONES_PORT_VARIABLE);
    measureHost(state, host, AGONES_HOST_PORT, true);
    state.counters["sdk_calls"] = static_cast<double>(sidecar.total());
    state.counters["health_calls"] = sidecar.count("POST /health");
}
BENCHMARK(BM_IdleDedicatedHostAgones)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The windowed host also joins its own match: three peers, one of them in the process.
void BM_IdleWindowedHost(benchmark::State& state)
{
    Process xvfb;
    std::string display;
    if (!startXvfb(xvfb, display)) {
        state.SkipWithError("Xvfb is missing or did not start: no windowed host to compare");
        return;
    }
    Process host;
    start(host, {NETDUEL_EXE, "--host", "--port", std::to_string(WINDOWED_PORT)}, display);
    measureHost(state, host, WINDOWED_PORT, false);
}
BENCHMARK(BM_IdleWindowedHost)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace netduel

BENCHMARK_MAIN();
