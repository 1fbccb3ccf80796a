// Flood benchmark: the real lobby server, serviced as the host's frame loop does, in a
// process of its own, against 24 flooding peers driven round-robin from one thread and one
// well-behaved peer in another, all real ENet on loopback. Three runs: control words,
// short SAY lines, 1 KiB SAY lines. Flooders that are disconnected connect again at once.
// Then junk: plain UDP datagrams that need no connection, 300 a second of 5,000 and of
// 65,507 bytes and as many as one sender can push (of 65,507 and of 1,000), at a host whose socket buffer is what a
// stock system grants, paced as the dedicated host is (serving what arrives while it waits
// for its next frame), and the short junk once as a windowed host (asleep between frames); the
// well-behaved peer goes on for JUNK_AFTER_SECONDS after the junk stops. Each run lasts
// FLOOD_SECONDS seconds (default 20; the first argument overrides it).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/status.h"
#include "base/timer.h"
#include "duel/match.h"
#include "duel/packet_handlers.h"
#include "duel/simulate.h"
#include "lobby/lobby_host.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"
#include "proc_status.h"

namespace netduel {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr std::uint16_t FIRST_PORT = 43550;  // one port per flood run: 43550, 43551, 43552
constexpr std::uint16_t FIRST_JUNK_PORT = 44220;  // and per junk run: 44220 on
constexpr int FLOODERS = 24;
constexpr double DEFAULT_SECONDS = 20.0;
constexpr double FRAME_SECONDS = 1.0 / 60.0;  // the display's refresh, which the host waits for
constexpr auto FRAME_PAUSE = std::chrono::milliseconds(3);  // the game's pause after each frame
constexpr double CONTROL_PERIOD = CONTROL_SEND_INTERVAL;  // the well-behaved peer's 20 words a second
constexpr double CHAT_PERIOD = 1.0;           // and its one chat line a second
constexpr double ECHO_GRACE_SECONDS = 1.0;    // a line still unanswered after this is lost
constexpr double CONNECT_SECONDS = 10.0;
constexpr int FLOOD_BATCH = 32;               // packets a flooder sends before flushing
constexpr std::size_t FLOOD_QUEUE_LIMIT = 512;  // a flooder's own queue stays bounded
constexpr double SNAPSHOT_GOAL = 25.0;        // per second, in every second
constexpr double ECHO_GOAL = 0.5;             // seconds
constexpr double RSS_GOAL_MB = 64.0;
constexpr double JUNK_AFTER_SECONDS = 5.0;
// The receive buffer a stock system grants whatever is asked: net.core.rmem_max's default.
constexpr int STOCK_RECEIVE_BUFFER = 212992;
constexpr double JUNK_ECHO_MEDIAN_GOAL = 0.050;  // seconds, while the junk lasts and after
constexpr double JUNK_ECHO_WORST_GOAL = 0.200;
constexpr double JUNK_SNAPSHOT_GOAL = 28.0;

enum class Flood { ControlWords, ShortSay, KiloSay, Junk };
// How the host waits for its next frame: asleep, as a windowed host waits for the display,
// or reading its socket, as the dedicated host does.
enum class Pace { Refresh, Dedicated };

struct Run {
    const char* name;
    Flood flood;
    Pace pace = Pace::Refresh;
    std::size_t junkBytes = 0;
    double junkRate = 0.0;  // datagrams a second; 0: as many as the sender can push
};

// What the host process reports when it stops.
struct HostReport {
    long startRssKb = 0;            // before the server was created: the program image
    long peakRssKb = 0;
    double cpuSeconds = 0.0;
    double wallSeconds = 0.0;
    double serviceP99Ms = 0.0;      // wall time of one service call
    double serviceMaxMs = 0.0;
    double serviceCpuP99Ms = 0.0;   // CPU time of one service call, without preemption
    double serviceCpuMaxMs = 0.0;
    long frames = 0;
    long lateFrames = 0;            // frames that missed their refresh
    long floodLines = 0;            // "flooded the server" status lines
    long socketDrops = 0;           // datagrams the kernel dropped at the host's socket
    unsigned long receivedDatagrams = 0;
    long wordsApplied = 0;          // the well-behaved peer's control words steering its ship
};

struct WatcherReport {
    bool connected = false;     // reached the server at all
    bool stayedConnected = false;
    std::vector<int> snapshotsPerSecond;
    std::vector<double> echoSeconds;
    std::vector<double> echoAfter;  // of the lines sent once the junk had stopped
    int linesSent = 0;
    int linesAfter = 0;
    long wordsSent = 0;
};

struct FloodCounters {
    std::atomic<bool> start{false};
    std::atomic<bool> stop{false};
    std::atomic<long> packetsSent{0};
    std::atomic<long> disconnections{0};
    std::atomic<int> distinctDropped{0};
};

double secondsSince(Clock::time_point start) { return Seconds(Clock::now() - start).count(); }

// ---------------------------------------------------------------------------------------
// The host, in its own process.

// Status stream sink that only counts flood lines, so the log costs what a write costs.
ssize_t countFloodLines(void* cookie, const char* data, std::size_t size)
{
    const std::string_view text(data, size);
    for (std::size_t at = text.find("flooded the server"); at != std::string_view::npos;
         at = text.find("flooded the server", at + 1)) {
        ++*static_cast<long*>(cookie);
    }
    return static_cast<ssize_t>(size);
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

// The 99th percentile and the largest of `values`.
std::pair<double, double> tail(std::vector<double> values)
{
    if (values.empty()) return {0.0, 0.0};
    std::sort(values.begin(), values.end());
    return {values[values.size() * 99 / 100], values.back()};
}

// Datagrams the kernel dropped at the UDP socket bound to `port` (last field of /proc/net/udp).
long udpDrops(std::uint16_t port)
{
    std::ifstream table("/proc/net/udp");
    std::string line;
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X ", port);
    while (std::getline(table, line)) {
        const std::size_t local = line.find(':', line.find(':') + 1);
        if (local == std::string::npos || line.compare(local, 6, wanted) != 0) continue;
        std::istringstream fields(line);
        std::string field, last;
        while (fields >> field) last = field;
        return std::stol(last);
    }
    return -1;
}

// The well-behaved peer joins first, so it holds slot 0, whose number the peer carries.
long wordsFromSlotZero = 0;

std::int32_t countingKeyHandler(PacketEvent& event)
{
    if (event.event->channelID == CHANNEL_CONTROL && event.event->peer->data == nullptr) ++wordsFromSlotZero;
    return serverKeyHandler(event);
}

// A stop byte, or the parent gone (end of file).
bool stopRequested(int stopFd)
{
    char byte = 0;
    return read(stopFd, &byte, 1) >= 0;
}

// The host's frame loop: step, snapshot on every second frame, service, then either wait
// for the refresh and pause, or serve what arrives until the next frame is due. Runs until
// the parent writes to `stopFd`.
HostReport hostRun(std::uint16_t port, const Run& run, int readyFd, int stopFd)
{
    HostReport report;
    report.startRssKb = procStatusKb("self", "VmRSS");
    cookie_io_functions_t sink{nullptr, countFloodLines, nullptr, nullptr};
    statusOut = fopencookie(&report.floodLines, "w", sink);
    LobbyServer server;
    MatchState match;
    matchStateInit(match);
    const bool created = lobbyServerCreate(server, "", port, LOBBY_MAX_PEERS);
    lobbyServerSetCallback(server, countingKeyHandler);
    lobbyServerSetUserData(server, &match);
    if (created && run.flood == Flood::Junk) {
        setsockopt(server.host->socket, SOL_SOCKET, SO_RCVBUF, &STOCK_RECEIVE_BUFFER, sizeof STOCK_RECEIVE_BUFFER);
    }
    const char ready = created ? 1 : 0;
    if (write(readyFd, &ready, 1) != 1 || !created) return report;

    std::vector<double> serviceMs, serviceCpuMs;
    bool toggle = true;
    double lastTime = timerSeconds();
    const auto start = Clock::now();
    auto nextRefresh = start + std::chrono::duration_cast<Clock::duration>(Seconds(FRAME_SECONDS));
    while (!stopRequested(stopFd)) {
        toggle = !toggle;
        const double dt = lastTime - timerSeconds();
        lastTime = timerSeconds();
        simulateStep(match, dt);
        if (toggle) lobbyServerBroadcastBytes(server, CHANNEL_SNAPSHOT, snapshotEncode(match));
        const auto serviceStart = Clock::now();
        const double serviceCpuStart = threadCpuMs();
        lobbyServerService(server);
        serviceCpuMs.push_back(threadCpuMs() - serviceCpuStart);
        serviceMs.push_back(Seconds(Clock::now() - serviceStart).count() * 1000.0);
        ++report.frames;
        // The refresh waited for is the next one; a frame whose work ran past it waits a
        // whole refresh more, as the display's retrace wait does.
        const auto frame = std::chrono::duration_cast<Clock::duration>(Seconds(FRAME_SECONDS));
        if (Clock::now() > nextRefresh) ++report.lateFrames;
        while (nextRefresh <= Clock::now()) nextRefresh += frame;
        if (run.pace == Pace::Dedicated) {
            lobbyServerWaitUntil(server, nextRefresh);
            nextRefresh += frame;
            continue;
        }
        std::this_thread::sleep_until(nextRefresh);
        nextRefresh += frame;
        std::this_thread::sleep_for(FRAME_PAUSE);
    }
    report.wallSeconds = secondsSince(start);
    std::tie(report.serviceP99Ms, report.serviceMaxMs) = tail(serviceMs);
    std::tie(report.serviceCpuP99Ms, report.serviceCpuMaxMs) = tail(serviceCpuMs);
    report.receivedDatagrams = server.host->totalReceivedPackets;
    report.socketDrops = udpDrops(port);
    report.wordsApplied = wordsFromSlotZero;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    report.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    report.peakRssKb = procStatusKb("self", "VmHWM");
    lobbyServerDestroy(server);
    return report;
}

// ---------------------------------------------------------------------------------------
// Peers, in the parent process.

// A one-peer ENet host bound to `localAddress`, connecting to the benchmark's server.
ENetHost* peerHost(const std::string& localAddress, std::uint16_t port, ENetPeer*& peer)
{
    const ENetAddress local = lobbyAddress(localAddress, 0);
    ENetHost* host = enet_host_create(&local, 1, 0, 0, 0);
    if (!host) return nullptr;
    lobbyHostLimit(host);
    const ENetAddress server = lobbyAddress("127.0.0.1", port);
    peer = enet_host_connect(host, &server, CLIENT_CHANNELS, 0);
    return host;
}

bool sendPacket(ENetPeer* peer, std::uint8_t channel, std::span<const std::uint8_t> bytes,
                bool reliable)
{
    ENetPacket* packet =
        enet_packet_create(bytes.data(), bytes.size(), reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
    return packet && lobbyPeerSend(peer, channel, packet);
}

struct Watcher {
    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;
    bool connected = false;
    bool lost = false;
    std::vector<double> sentAt;  // by line number
    std::size_t firstAfter = SIZE_MAX;  // the first line sent once the flood had stopped
    WatcherReport report;
};

void watcherHandle(Watcher& watcher, ENetEvent& event, Clock::time_point start, int window)
{
    if (event.type == ENET_EVENT_TYPE_CONNECT) watcher.connected = true;
    if (event.type == ENET_EVENT_TYPE_DISCONNECT) watcher.lost = true;
    if (event.type != ENET_EVENT_TYPE_RECEIVE) return;
    if (event.channelID == CHANNEL_SNAPSHOT && window >= 0 &&
        std::size_t(window) < watcher.report.snapshotsPerSecond.size()) {
        ++watcher.report.snapshotsPerSecond[std::size_t(window)];
    }
    if (event.channelID != CHANNEL_TEXT) return;
    const std::string_view text = lobbyPayloadText(packetBytes(event));
    const std::size_t mark = text.rfind(" watch ");
    if (!text.starts_with(CODE_SAY) || mark == std::string_view::npos) return;
    const std::size_t line = std::strtoul(std::string(text.substr(mark + 7)).c_str(), nullptr, 10);
    if (line < watcher.sentAt.size() && watcher.sentAt[line] >= 0.0) {
        auto& echoes = line >= watcher.firstAfter ? watcher.report.echoAfter : watcher.report.echoSeconds;
        echoes.push_back(secondsSince(start) - watcher.sentAt[line]);
        watcher.sentAt[line] = -1.0;  // counted once
    }
}

// The well-behaved peer: a client's 20 control words a second, a chat line a second whose
// echo it times, snapshots counted per one-second window; a frame loop at 60 a second. The
// flood stops after `seconds`; the peer goes on for `after` seconds more.
WatcherReport watcherRun(std::uint16_t port, double seconds, double after, FloodCounters& counters)
{
    Watcher watcher;
    watcher.host = peerHost("127.0.0.2", port, watcher.peer);
    if (!watcher.host || !watcher.peer) return {};
    watcher.report.snapshotsPerSecond.assign(std::size_t(seconds + after), 0);
    auto start = Clock::now();
    const auto drain = [&](int window) {
        lobbyHostDrain(watcher.host, [&](ENetEvent& event) { watcherHandle(watcher, event, start, window); },
                       Clock::now() + std::chrono::milliseconds(4));
    };
    while (!watcher.connected && secondsSince(start) < CONNECT_SECONDS) {
        drain(-1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    watcher.report.connected = watcher.connected;
    counters.start = true;
    start = Clock::now();
    double nextControl = 0.0;
    double nextChat = 0.0;
    const double end = seconds + after;
    while (watcher.connected && secondsSince(start) < end + ECHO_GRACE_SECONDS) {
        const double now = secondsSince(start);
        drain(int(now));
        if (now >= seconds) counters.stop = true;
        if (now >= nextControl && now < end) {
            if (sendPacket(watcher.peer, CHANNEL_CONTROL, controlEncode(KEY_UP | KEY_RIGHT), false))
                ++watcher.report.wordsSent;
            nextControl += CONTROL_PERIOD;
        }
        if (now >= nextChat && now < end) {
            if (now >= seconds) watcher.firstAfter = std::min(watcher.firstAfter, watcher.sentAt.size());
            const std::string line = "SAY watch " + std::to_string(watcher.sentAt.size());
            watcher.sentAt.push_back(secondsSince(start));
            sendPacket(watcher.peer, CHANNEL_TEXT, lobbyFrame(line), true);
            enet_host_flush(watcher.host);
            nextChat += CHAT_PERIOD;
        }
        std::this_thread::sleep_for(Seconds(FRAME_SECONDS));
    }
    counters.stop = true;
    watcher.report.stayedConnected = watcher.connected && !watcher.lost;
    watcher.report.linesSent = int(watcher.sentAt.size());
    watcher.report.linesAfter = int(watcher.sentAt.size() - std::min(watcher.firstAfter, watcher.sentAt.size()));
    enet_host_destroy(watcher.host);
    return watcher.report;
}

struct Flooder {
    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;
    bool connected = false;
    bool everDropped = false;
};

std::vector<std::uint8_t> floodPayload(Flood flood)
{
    switch (flood) {
    case Flood::ControlWords: {
        const ControlBytes word = controlEncode(KEY_LEFT | KEY_UP | KEY_FIRE);
        return {word.begin(), word.end()};
    }
    case Flood::ShortSay: return lobbyFrame("SAY flood flood flood");
    case Flood::KiloSay: return lobbyFrame("SAY " + std::string(1024, 'F'));
    case Flood::Junk: break;  // no peer: junkRun sends it
    }
    return {};
}

// A flooder's round: take its events (a dropped flooder reconnects at once), then send a
// batch as fast as ENet takes it and flush.
void flooderRound(Flooder& flooder, Flood flood, const std::vector<std::uint8_t>& payload,
                  std::uint16_t port, FloodCounters& counters)
{
    ENetEvent event{};
    while (enet_host_service(flooder.host, &event, 0) > 0) {
        if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
        if (event.type == ENET_EVENT_TYPE_CONNECT) flooder.connected = true;
        if (event.type != ENET_EVENT_TYPE_DISCONNECT) continue;
        flooder.connected = false;
        ++counters.disconnections;
        if (!flooder.everDropped) ++counters.distinctDropped;
        flooder.everDropped = true;
        const ENetAddress server = lobbyAddress("127.0.0.1", port);
        flooder.peer = enet_host_connect(flooder.host, &server, CLIENT_CHANNELS, 0);
    }
    if (!flooder.connected || enet_list_size(&flooder.peer->outgoingCommands) > FLOOD_QUEUE_LIMIT) return;
    const bool reliable = flood != Flood::ControlWords;
    const std::uint8_t channel = reliable ? CHANNEL_TEXT : CHANNEL_CONTROL;
    for (int i = 0; i < FLOOD_BATCH; ++i) {
        if (sendPacket(flooder.peer, channel, payload, reliable)) ++counters.packetsSent;
    }
    enet_host_flush(flooder.host);
}

void floodersRun(std::uint16_t port, Flood flood, FloodCounters& counters)
{
    while (!counters.start && !counters.stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<Flooder> flooders(FLOODERS);
    for (int i = 0; i < FLOODERS; ++i) {
        flooders[i].host = peerHost("127.0.0." + std::to_string(10 + i), port, flooders[i].peer);
    }
    const std::vector<std::uint8_t> payload = floodPayload(flood);
    while (!counters.stop) {
        for (Flooder& flooder : flooders) {
            if (flooder.host && flooder.peer) flooderRound(flooder, flood, payload, port, counters);
        }
    }
    for (Flooder& flooder : flooders) {
        if (flooder.host) enet_host_destroy(flooder.host);
    }
}

// Junk: datagrams that need no connection, `bytes` long, at `rate` a second (0: as fast as
// the socket takes them), from one plain socket until the stop.
void junkRun(std::uint16_t port, std::size_t bytes, double rate, FloodCounters& counters)
{
    while (!counters.start && !counters.stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    const ENetAddress local = lobbyAddress("127.0.0.50", 0);
    enet_socket_bind(socket, &local);
    const ENetAddress host = lobbyAddress("127.0.0.1", port);
    std::vector<std::uint8_t> junk(bytes, 0x5A);
    ENetBuffer buffer{junk.data(), junk.size()};
    const auto start = Clock::now();
    while (!counters.stop) {
        if (rate > 0.0 && double(counters.packetsSent) >= secondsSince(start) * rate) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (enet_socket_send(socket, &host, &buffer, 1) > 0) ++counters.packetsSent;
    }
    enet_socket_destroy(socket);
}

// ---------------------------------------------------------------------------------------
// One run and its figures.

double median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double maxOf(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

// The junk runs' goals: the echo while the junk lasts and after it, the snapshots in the
// worst second, and every control word applied.
void printJunkGoals(const WatcherReport& watcher, const HostReport& host, int worstSecond, int unanswered)
{
    const bool echoes = median(watcher.echoSeconds) <= JUNK_ECHO_MEDIAN_GOAL &&
                        maxOf(watcher.echoSeconds) <= JUNK_ECHO_WORST_GOAL &&
                        median(watcher.echoAfter) <= JUNK_ECHO_MEDIAN_GOAL &&
                        maxOf(watcher.echoAfter) <= JUNK_ECHO_WORST_GOAL && unanswered == 0;
    const bool met = watcher.stayedConnected && echoes && worstSecond >= JUNK_SNAPSHOT_GOAL &&
                     host.wordsApplied == watcher.wordsSent;
    std::printf("  goals (echo median <= %.0f ms and worst <= %.0f ms during and after, >= %.0f "
                "snapshots every second, every control word applied): %s\n",
                JUNK_ECHO_MEDIAN_GOAL * 1000.0, JUNK_ECHO_WORST_GOAL * 1000.0, JUNK_SNAPSHOT_GOAL,
                met ? "met" : "MISSED");
    std::fflush(stdout);
}

void printRun(const Run& run, double seconds, const HostReport& host, const WatcherReport& watcher,
              const FloodCounters& counters)
{
    const auto& windows = watcher.snapshotsPerSecond;
    double mean = 0.0;
    for (int count : windows) mean += count;
    mean = windows.empty() ? 0.0 : mean / double(windows.size());
    const int worst = windows.empty() ? 0 : *std::min_element(windows.begin(), windows.end());
    const double worstEcho = maxOf(watcher.echoSeconds);
    const int unanswered = watcher.linesSent - int(watcher.echoSeconds.size() + watcher.echoAfter.size());
    const double rssMb = double(host.peakRssKb) / 1024.0;
    if (run.flood == Flood::Junk) {
        std::printf("== %s, %.0f s, then %.0f s without ==\n", run.name, seconds, JUNK_AFTER_SECONDS);
        std::printf("  junk: %ld datagrams of %zu bytes sent (%.0f/s); host read %lu datagrams, socket drops %ld\n",
                    counters.packetsSent.load(), run.junkBytes, double(counters.packetsSent.load()) / seconds,
                    host.receivedDatagrams, host.socketDrops);
        std::printf("  control words: %ld sent, %ld applied\n", watcher.wordsSent, host.wordsApplied);
        std::printf("  chat echo after the junk: median %.3f s, worst %.3f s, %zu of %d answered\n",
                    median(watcher.echoAfter), maxOf(watcher.echoAfter), watcher.echoAfter.size(),
                    watcher.linesAfter);
    } else {
        std::printf("== %s flood, %.0f s, %d flooders ==\n", run.name, seconds, FLOODERS);
        std::printf("  flood: %ld packets sent (%.0f/s); host read %lu datagrams, socket drops %ld\n",
                    counters.packetsSent.load(), double(counters.packetsSent.load()) / seconds,
                    host.receivedDatagrams, host.socketDrops);
    }
    std::printf("  well-behaved peer: connected %s, stayed connected %s\n",
                watcher.connected ? "yes" : "no", watcher.stayedConnected ? "yes" : "no");
    std::printf("  snapshots/s: mean %.1f, worst second %d\n", mean, worst);
    std::printf("  chat echo: median %.3f s, worst %.3f s, unanswered %d of %d\n",
                median(watcher.echoSeconds), worstEcho, unanswered, watcher.linesSent);
    std::printf("  host: peak RSS %.1f MB (%.1f MB before the server started), CPU %.0f %% of a "
                "core, %ld frames (%ld late)\n",
                rssMb, double(host.startRssKb) / 1024.0,
                100.0 * host.cpuSeconds / std::max(host.wallSeconds, 1e-9), host.frames,
                host.lateFrames);
    std::printf("  service call: p99 %.2f ms, max %.2f ms wall; p99 %.2f ms, max %.2f ms CPU\n",
                host.serviceP99Ms, host.serviceMaxMs, host.serviceCpuP99Ms, host.serviceCpuMaxMs);
    std::printf("  flooders disconnected: %ld times by the flood rule (host's status lines); "
                "%d of %d flooders saw a disconnection, %ld in all\n",
                host.floodLines, counters.distinctDropped.load(), FLOODERS,
                counters.disconnections.load());
    if (run.flood == Flood::Junk) {
        printJunkGoals(watcher, host, worst, unanswered);
        return;
    }
    const bool met = watcher.stayedConnected && worst >= SNAPSHOT_GOAL && unanswered == 0 &&
                     worstEcho <= ECHO_GOAL && rssMb < RSS_GOAL_MB;
    std::printf("  goals (stays, >= %.0f snapshots every second, echo <= %.1f s, RSS < %.0f MB): %s\n",
                SNAPSHOT_GOAL, ECHO_GOAL, RSS_GOAL_MB, met ? "met" : "MISSED");
    std::fflush(stdout);
}

// A host process, forked while the benchmark was still small and had no thread, so that its
// memory is the host's own. It waits for a start byte, runs the host until a stop byte
// (or the parent's end), then writes its report.
struct HostProcess {
    pid_t pid = -1;
    int control = -1;  // written by the parent: start, then stop
    int reply = -1;    // read by the parent: ready, then the report
};

[[noreturn]] void hostProcessMain(std::uint16_t port, const Run& run, int control, int reply)
{
    char start = 0;
    if (read(control, &start, 1) != 1) _exit(1);
    fcntl(control, F_SETFL, O_NONBLOCK);
    const HostReport report = hostRun(port, run, reply, control);
    _exit(write(reply, &report, sizeof report) == ssize_t(sizeof report) ? 0 : 1);
}

// `inherited` are the parent's ends of the host processes forked before; a child closes
// them so that each host sees its own parent end close.
HostProcess hostFork(std::uint16_t port, const Run& run, std::vector<int>& inherited)
{
    int toHost[2], fromHost[2];
    if (pipe(toHost) != 0 || pipe(fromHost) != 0) return {};
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        for (int fd : inherited) close(fd);
        close(toHost[1]);
        close(fromHost[0]);
        hostProcessMain(port, run, toHost[0], fromHost[1]);
    }
    close(toHost[0]);
    close(fromHost[1]);
    inherited.push_back(toHost[1]);
    inherited.push_back(fromHost[0]);
    return {pid, toHost[1], fromHost[0]};
}

// Starts the host, runs the peers against it, stops it and collects its report. False
// when the host could not be brought up.
bool floodRun(const Run& run, const HostProcess& process, std::uint16_t port, double seconds)
{
    const char start = 1;
    char created = 0;
    if (process.pid < 0 || write(process.control, &start, 1) != 1 ||
        read(process.reply, &created, 1) != 1 || !created) {
        return false;
    }
    FloodCounters counters;
    WatcherReport watcher;
    const bool junk = run.flood == Flood::Junk;
    std::thread watcherThread([&] { watcher = watcherRun(port, seconds, junk ? JUNK_AFTER_SECONDS : 0.0, counters); });
    std::thread flooderThread([&] {
        if (junk) {
            junkRun(port, run.junkBytes, run.junkRate, counters);
        } else {
            floodersRun(port, run.flood, counters);
        }
    });
    watcherThread.join();
    flooderThread.join();
    const char stop = 1;
    HostReport host;
    const bool reported = write(process.control, &stop, 1) == 1 &&
                          read(process.reply, &host, sizeof host) == ssize_t(sizeof host);
    if (!reported) return false;
    printRun(run, seconds, host, watcher, counters);
    return true;
}

double runSeconds(int argc, char** argv)
{
    const char* text = argc > 1 ? argv[1] : std::getenv("FLOOD_SECONDS");
    const double seconds = text ? std::atof(text) : DEFAULT_SECONDS;
    return seconds >= 1.0 ? seconds : DEFAULT_SECONDS;
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    using namespace netduel;
    const double seconds = runSeconds(argc, argv);
    // A second argument picks the runs whose names hold it ("junk", "SAY").
    const std::string_view only = argc > 2 ? argv[2] : "";
    const Run all[] = {{"control-word", Flood::ControlWords},
                       {"short-SAY", Flood::ShortSay},
                       {"1 KiB SAY", Flood::KiloSay},
                       {"junk: 300/s of 5,000 B, dedicated pace", Flood::Junk, Pace::Dedicated, 5000, 300.0},
                       {"junk: 300/s of 65,507 B, dedicated pace", Flood::Junk, Pace::Dedicated, 65507, 300.0},
                       {"junk: one sender's most of 65,507 B, dedicated pace", Flood::Junk, Pace::Dedicated, 65507, 0.0},
                       {"junk: one sender's most of 1,000 B, dedicated pace", Flood::Junk, Pace::Dedicated, 1000, 0.0},
                       {"junk: one sender's most of 1,000 B, windowed pace", Flood::Junk, Pace::Refresh, 1000, 0.0}};
    std::vector<Run> runs;
    std::vector<std::uint16_t> ports;
    for (std::size_t i = 0, junk = 0; i < std::size(all); ++i) {
        const bool isJunk = all[i].flood == Flood::Junk;
        const auto port = std::uint16_t(isJunk ? FIRST_JUNK_PORT + junk++ : FIRST_PORT + i);
        if (std::string_view(all[i].name).find(only) == std::string_view::npos) continue;
        runs.push_back(all[i]);
        ports.push_back(port);
    }
    // Every host is forked before the first run makes a thread or a flooder's queues.
    std::vector<int> parentEnds;
    std::vector<HostProcess> hosts;
    for (std::size_t i = 0; i < runs.size(); ++i) hosts.push_back(hostFork(ports[i], runs[i], parentEnds));
    bool ok = true;
    for (std::size_t i = 0; i < runs.size() && ok; ++i) {
        ok = floodRun(runs[i], hosts[i], ports[i], seconds);
        if (!ok) std::fprintf(stderr, "bench_flood: the %s run could not start its host\n", runs[i].name);
    }
    for (int fd : parentEnds) close(fd);  // a host never started sees the end and leaves
    for (const HostProcess& host : hosts) {
        if (host.pid > 0) waitpid(host.pid, nullptr, 0);
    }
    return ok ? 0 : 1;
}
