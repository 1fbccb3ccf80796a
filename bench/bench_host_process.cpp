// CPU and memory of an idle host process with two peers connected: a --dedicated host
// (goal: under 3 % of one core and under 12 MB resident; it draws nothing) against a
// windowed --host in the same run, under its own Xvfb. Two ENet peers in this process
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

#include "lobby/lobby_protocol.h"
#include "proc_status.h"

#ifndef NETDUEL_EXE
#error "the build passes the game's path"
#endif

namespace netduel {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint16_t DEDICATED_PORT = 47250;
constexpr std::uint16_t WINDOWED_PORT = 47251;
constexpr auto SETTLE = std::chrono::seconds(1);    // start-up and connections die down
constexpr auto MEASURE = std::chrono::seconds(5);   // long enough for clock-tick counters
constexpr auto DEADLINE = std::chrono::seconds(20);
constexpr double CPU_GOAL_PERCENT = 3.0;
constexpr double RSS_GOAL_MB = 12.0;

// A child process; killed (SIGTERM, then SIGKILL) and reaped when it goes.
struct Process {
    pid_t pid = -1;
    int out = -1;  // its standard output, when captured

    ~Process()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            const auto deadline = Clock::now() + std::chrono::seconds(5);
            while (waitpid(pid, nullptr, WNOHANG) == 0) {
                if (Clock::now() > deadline) {
                    kill(pid, SIGKILL);
                    waitpid(pid, nullptr, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (out >= 0) close(out);
    }

    // Reads its output until `text` shows up; false when it ends or time runs out first.
    bool await(const std::string& text)
    {
        std::string seen;
        const auto deadline = Clock::now() + DEADLINE;
        while (Clock::now() < deadline && seen.find(text) == std::string::npos) {
            pollfd ready{out, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            char buffer[256];
            const ssize_t count = read(out, buffer, sizeof buffer);
            if (count <= 0) return false;
            seen.append(buffer, count);
        }
        return seen.find(text) != std::string::npos;
    }
};

// Starts `argv`; its standard output comes back through `out`, its errors are dropped.
void start(Process& process, std::vector<std::string> argv, const std::string& display)
{
    int ends[2];
    if (pipe(ends) != 0) return;
    process.pid = fork();
    if (process.pid == 0) {
        dup2(ends[1], STDOUT_FILENO);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        close(ends[0]);
        close(ends[1]);
        if (display.empty()) {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
        } else {
            setenv("DISPLAY", display.c_str(), 1);
        }
        std::vector<char*> words;
        for (std::string& word : argv) words.push_back(word.data());
        words.push_back(nullptr);
        execvp(words[0], words.data());
        _exit(127);
    }
    close(ends[1]);
    process.out = ends[0];
}

// Xvfb on a free display number, which it writes on `out` once it takes clients.
bool startXvfb(Process& xvfb, std::string& display)
{
    int ends[2];
    if (pipe(ends) != 0) return false;
    xvfb.pid = fork();
    if (xvfb.pid == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        close(ends[0]);
        const std::string fd = std::to_string(ends[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    xvfb.out = ends[0];
    std::string number;
    const auto deadline = Clock::now() + DEADLINE;
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
        pollfd ready{xvfb.out, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char buffer[32];
        const ssize_t count = read(xvfb.out, buffer, sizeof buffer);
        if (count <= 0) return false;
        number.append(buffer, count);
    }
    if (number.empty() || number.find('\n') == std::string::npos) return false;
    display = ":" + number.substr(0, number.find('\n'));
    return true;
}

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

// utime + stime of `pid`, in seconds.
double cpuSeconds(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));  // the name may hold blanks
    std::string field;
    for (int i = 3; i < 14 && fields >> field; ++i) {
    }
    unsigned long long user = 0;
    unsigned long long system = 0;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Seconds on a CPU of every thread of `pid`, from the first field of each schedstat.
double scheduledSeconds(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double seconds = 0.0;
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::ifstream file(task.path() / "schedstat");
        unsigned long long nanoseconds = 0;
        if (file >> nanoseconds) seconds += static_cast<double>(nanoseconds) * 1e-9;
    }
    return seconds;
}

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
