// Soak benchmark: the real `netduel --dedicated` for --minutes N (default 60, or
// SOAK_MINUTES), with two real `netduel --bot` players in its match, 20 watchers that each
// chat a line every 3 s and 4 peers that join every 2 s and leave 1.4 s later, all on
// loopback. It reports the host's RSS over time (start, after the first minute, peak, end)
// and CPU, every watcher's snapshots per second (its worst second), and every chat line:
// sent, delivered to each watcher, lost, latency median and worst. `--data DIR` writes
// soak_rss.dat and soak_chat.dat there for plots.
// Goals: RSS at the end within 1 MB of the value after the first minute, no chat line
// lost, at least 29 snapshots in every watcher's worst second, no unplanned disconnection.
#include <getopt.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <enet/enet.h>

#include "child_process.h"
#include "lobby/lobby.h"
#include "lobby/lobby_host.h"
#include "lobby/lobby_protocol.h"
#include "lobby/status_query.h"
#include "proc_status.h"

#ifndef NETDUEL_EXE
#error "the build passes the game's path"
#endif

namespace netduel {
namespace {

using Seconds = std::chrono::duration<double>;

constexpr std::uint16_t HOST_PORT = 44250;
constexpr int WATCHERS = 20;
constexpr int CHURNERS = 4;
constexpr int WATCHERS_PER_ADDRESS = 5;  // the host takes six peers from one address
constexpr double CHAT_PERIOD = 3.0;      // each watcher's line, seconds
constexpr double CHURN_PERIOD = 2.0;     // a churner joins this often, seconds
// A churner stays this long, so that with four staggered by half a period three are in at
// once: two players, 20 watchers and three churners fill the host's 25 places.
constexpr double CHURN_STAY = 1.4;
constexpr double RSS_SAMPLE_SECONDS = 5.0;
constexpr double GRACE_SECONDS = 5.0;   // a line undelivered this long after the run is lost
constexpr double READY_SECONDS = 20.0;  // to start the host and bring every peer in
constexpr double RSS_GOAL_KB = 1024.0;
constexpr int SNAPSHOT_GOAL = 29;
constexpr std::string_view MARK = "soak ";

double secondsSince(Clock::time_point start) { return Seconds(Clock::now() - start).count(); }

// A one-peer ENet host bound to `local`, connecting to the soaked host.
struct Peer {
    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;
    bool connected = false;
    bool leaving = false;       // asked to disconnect: its end is planned
    int unplanned = 0;          // connections lost without being asked
    int failedJoins = 0;        // attempts that never connected
    double joinedAt = 0.0;      // s since the start, of the last attempt
};

bool peerOpen(Peer& peer, const std::string& local)
{
    const ENetAddress address = lobbyAddress(local, 0);
    peer.host = enet_host_create(&address, 1, 0, 0, 0);
    if (!peer.host) return false;
    lobbyHostLimit(peer.host);
    return true;
}

void peerJoin(Peer& peer, double now)
{
    const ENetAddress server = lobbyAddress("127.0.0.1", HOST_PORT);
    peer.peer = enet_host_connect(peer.host, &server, CLIENT_CHANNELS, 0);
    peer.joinedAt = now;
    peer.leaving = false;
}

// Keeps its connection and its one-second windows of snapshots.
struct Watcher {
    Peer net;
    std::vector<int> snapshotsPerSecond;
    int nextLine = 0;
};

struct ChatLine {
    double sentAt = 0.0;                 // s since the start
    std::vector<double> arrivals;        // s after sentAt, one per watcher that heard it
};

struct Soak {
    double minutes = 60.0;
    std::string dataDir;
    Clock::time_point start;
    std::vector<Watcher> watchers = std::vector<Watcher>(WATCHERS);
    std::vector<Peer> churners = std::vector<Peer>(CHURNERS);
    std::map<std::pair<int, int>, ChatLine> lines;  // by watcher and line number
    long strayLines = 0;  // chat lines that name no line sent
    std::vector<std::pair<double, long>> rss;       // s since the start, kB
};

// "SAY NAME soak W N": watcher W's line N.
std::optional<std::pair<int, int>> chatLineId(std::string_view text)
{
    if (!text.starts_with(CODE_SAY)) return std::nullopt;
    const std::size_t mark = text.find(MARK);
    if (mark == std::string_view::npos) return std::nullopt;
    int watcher = -1;
    int line = -1;
    if (std::sscanf(std::string(text.substr(mark + MARK.size())).c_str(), "%d %d", &watcher, &line) != 2)
        return std::nullopt;
    return std::pair(watcher, line);
}

// Handles what reached one peer: its connection's state, snapshots into `windows` (when
// given), chat lines into the table.
void peerService(Soak& soak, Peer& peer, std::vector<int>* windows, double now)
{
    lobbyHostDrain(
        peer.host,
        [&](ENetEvent& event) {
            if (event.type == ENET_EVENT_TYPE_CONNECT) peer.connected = true;
            if (event.type == ENET_EVENT_TYPE_DISCONNECT) {
                if (peer.connected && !peer.leaving) ++peer.unplanned;
                if (!peer.connected) ++peer.failedJoins;
                peer.connected = false;
                peer.peer = nullptr;
            }
            if (event.type != ENET_EVENT_TYPE_RECEIVE || !windows) return;
            if (event.channelID == CHANNEL_SNAPSHOT) {
                const auto second = std::size_t(now);
                if (second < windows->size()) ++(*windows)[second];
            } else if (event.channelID == CHANNEL_TEXT) {
                const auto id = chatLineId(lobbyPayloadText(packetBytes(event)));
                if (!id) return;
                const auto line = soak.lines.find(*id);
                if (line == soak.lines.end()) {
                    ++soak.strayLines;
                } else {
                    line->second.arrivals.push_back(now - line->second.sentAt);
                }
            }
        },
        Clock::now() + std::chrono::milliseconds(4));
}

// A churner joins every CHURN_PERIOD, staggered by its index, and leaves CHURN_STAY later.
void churnerStep(Peer& churner, int index, double now)
{
    const double phase = std::fmod(now + index * CHURN_PERIOD / CHURNERS, CHURN_PERIOD);
    if (!churner.peer && phase < CHURN_PERIOD - CHURN_STAY && now - churner.joinedAt > CHURN_PERIOD / 2) {
        peerJoin(churner, now);
    } else if (churner.connected && !churner.leaving && now - churner.joinedAt >= CHURN_STAY) {
        churner.leaving = true;
        enet_peer_disconnect(churner.peer, 0);
    }
}

void watcherChat(Soak& soak, Watcher& watcher, int index, double now)
{
    const double due = index * CHAT_PERIOD / WATCHERS + watcher.nextLine * CHAT_PERIOD;
    if (now < due || now >= soak.minutes * 60.0 || !watcher.net.connected) return;
    const std::string text = "SAY " + std::string(MARK) + std::to_string(index) + " " +
                             std::to_string(watcher.nextLine);
    soak.lines[{index, watcher.nextLine}].sentAt = now;
    const std::vector<std::uint8_t> frame = lobbyFrame(text);
    ENetPacket* packet = enet_packet_create(frame.data(), frame.size(), ENET_PACKET_FLAG_RELIABLE);
    if (packet && lobbyPeerSend(watcher.net.peer, CHANNEL_TEXT, packet)) enet_host_flush(watcher.net.host);
    ++watcher.nextLine;
}

// The host's status answer to one query from a socket of our own, within `seconds`.
std::optional<HostStatus> hostStatus(double seconds)
{
    ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    if (socket == ENET_SOCKET_NULL) return std::nullopt;
    enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
    const ENetAddress to = lobbyAddress("127.0.0.1", HOST_PORT);
    StatusQuery query = statusQueryBuild(7);
    ENetBuffer out{query.data(), query.size()};
    enet_socket_send(socket, &to, &out, 1);
    std::optional<HostStatus> status;
    const auto deadline = Clock::now() + Seconds(seconds);
    while (!status && Clock::now() < deadline) {
        pollfd ready{socket, POLLIN, 0};
        if (poll(&ready, 1, 10) <= 0) continue;
        std::uint8_t bytes[STATUS_QUERY_BYTES];
        ENetAddress from{};
        ENetBuffer in{bytes, sizeof bytes};
        const int length = enet_socket_receive(socket, &from, &in, 1);
        if (length > 0) status = statusAnswerParse(std::span(bytes, std::size_t(length)));
    }
    enet_socket_destroy(socket);
    return status;
}

// Reads a child's output to its end, so that its log never blocks it; on a copy of the
// descriptor, which the child's stop closes.
std::thread drainOutput(const Process& process)
{
    return std::thread([fd = dup(process.out)] {
        char buffer[4096];
        while (read(fd, buffer, sizeof buffer) > 0) {
        }
        close(fd);
    });
}

bool alive(const Process& process) { return process.pid > 0 && waitpid(process.pid, nullptr, WNOHANG) == 0; }

double median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct ChatFigures {
    long sent = 0;
    long lost = 0;             // deliveries missing: WATCHERS per line, less those heard
    std::vector<double> latencies;
};

std::vector<ChatFigures> chatByMinute(const Soak& soak)
{
    std::vector<ChatFigures> minutes(std::size_t(std::ceil(soak.minutes)) + 1);
    for (const auto& [id, line] : soak.lines) {
        ChatFigures& minute = minutes[std::min(std::size_t(line.sentAt / 60.0), minutes.size() - 1)];
        ++minute.sent;
        minute.lost += WATCHERS - std::min<long>(WATCHERS, long(line.arrivals.size()));
        minute.latencies.insert(minute.latencies.end(), line.arrivals.begin(), line.arrivals.end());
    }
    while (!minutes.empty() && minutes.back().sent == 0) minutes.pop_back();
    return minutes;
}

bool writeData(const Soak& soak, const std::vector<ChatFigures>& minutes)
{
    std::ofstream rss(soak.dataDir + "/soak_rss.dat");
    rss << "# time_s  rss_kb\n";
    for (const auto& [at, kb] : soak.rss) rss << at << "  " << kb << "\n";
    std::ofstream chat(soak.dataDir + "/soak_chat.dat");
    chat << "# minute  sent  lost  median_ms  worst_ms\n";
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        const auto& latencies = minutes[i].latencies;
        const double worst = latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end());
        chat << i << "  " << minutes[i].sent << "  " << minutes[i].lost << "  " << median(latencies) * 1000.0
             << "  " << worst * 1000.0 << "\n";
    }
    return bool(rss) && bool(chat);
}

// Every peer connected, or false when READY_SECONDS pass first.
bool bringIn(Soak& soak, std::vector<Peer*> peers)
{
    const auto deadline = Clock::now() + Seconds(READY_SECONDS);
    while (Clock::now() < deadline) {
        if (std::all_of(peers.begin(), peers.end(), [](const Peer* peer) { return peer->connected; })) return true;
        for (Peer* peer : peers) peerService(soak, *peer, nullptr, 0.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

int soakRun(Soak& soak)
{
    if (enet_initialize() != 0) return 1;
    Process host;
    start(host, {NETDUEL_EXE, "--dedicated", "--port", std::to_string(HOST_PORT)}, "");
    if (!host.await("Host running!")) {
        std::fprintf(stderr, "bench_soak: the host did not start\n");
        return 1;
    }
    std::vector<std::thread> drains;
    drains.push_back(drainOutput(host));
    const long startRss = procStatusKb(std::to_string(host.pid), "VmRSS");
    Process bots[2];
    const std::string join = "127.0.0.1:" + std::to_string(HOST_PORT);
    for (Process& bot : bots) {
        start(bot, {NETDUEL_EXE, "--bot", "--join", join}, "");
        drains.push_back(drainOutput(bot));
        // One at a time, so that each takes its ship before the next joins.
        const auto deadline = Clock::now() + Seconds(READY_SECONDS);
        const std::size_t ship = std::size_t(&bot - bots);
        std::optional<HostStatus> status;
        while (Clock::now() < deadline && !((status = hostStatus(0.5)) && status->shipHeld[ship])) {
        }
        if (!status || !status->shipHeld[ship]) {
            std::fprintf(stderr, "bench_soak: the computer player for ship %zu did not join\n", ship);
            return 1;
        }
    }
    std::vector<Peer*> everyone;
    for (int i = 0; i < WATCHERS; ++i) {
        Watcher& watcher = soak.watchers[std::size_t(i)];
        if (!peerOpen(watcher.net, "127.0.0." + std::to_string(2 + i / WATCHERS_PER_ADDRESS))) return 1;
        peerJoin(watcher.net, 0.0);
        everyone.push_back(&watcher.net);
    }
    if (!bringIn(soak, everyone)) {
        std::fprintf(stderr, "bench_soak: the watchers could not all join\n");
        return 1;
    }
    for (int i = 0; i < CHURNERS; ++i) {
        if (!peerOpen(soak.churners[std::size_t(i)], "127.0.0." + std::to_string(20 + i))) return 1;
        soak.churners[std::size_t(i)].joinedAt = -CHURN_PERIOD;
    }

    const double seconds = soak.minutes * 60.0;
    for (Watcher& watcher : soak.watchers) watcher.snapshotsPerSecond.assign(std::size_t(seconds), 0);
    const std::string pid = std::to_string(host.pid);
    soak.start = Clock::now();
    const double cpuStart = cpuSeconds(host.pid);
    double nextSample = 0.0;
    long churns = 0;
    for (double now = 0.0; now < seconds + GRACE_SECONDS; now = secondsSince(soak.start)) {
        for (std::size_t i = 0; i < soak.watchers.size(); ++i) {
            Watcher& watcher = soak.watchers[i];
            peerService(soak, watcher.net, &watcher.snapshotsPerSecond, now);
            watcherChat(soak, watcher, int(i), now);
        }
        for (std::size_t i = 0; i < soak.churners.size() && now < seconds; ++i) {
            Peer& churner = soak.churners[i];
            const bool wasIn = churner.peer != nullptr;
            peerService(soak, churner, nullptr, now);
            churnerStep(churner, int(i), now);
            churns += !wasIn && churner.peer;
        }
        if (now >= nextSample) {
            soak.rss.emplace_back(now, procStatusKb(pid, "VmRSS"));
            nextSample += RSS_SAMPLE_SECONDS;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const double wall = secondsSince(soak.start);
    const double cpu = cpuSeconds(host.pid) - cpuStart;
    const long peakRss = procStatusKb(pid, "VmHWM");
    const bool hostUp = alive(host);
    const bool botsUp = alive(bots[0]) && alive(bots[1]);
    const std::optional<HostStatus> last = hostStatus(1.0);
    const bool shipsHeld = last && last->shipHeld[0] && last->shipHeld[1];

    // The figures.
    const long endRss = soak.rss.back().second;
    long minuteRss = soak.rss.front().second;
    for (const auto& [at, kb] : soak.rss)
        if (at <= 60.0) minuteRss = kb;
    std::printf("== soak: %g minutes, dedicated host, 2 computer players, %d watchers chatting "
                "every %.0f s, %d peers joining every %.0f s ==\n",
                soak.minutes, WATCHERS, CHAT_PERIOD, CHURNERS, CHURN_PERIOD);
    std::printf("  host RSS: %.1f MB at the start, %.1f MB after the first minute, %.1f MB peak, "
                "%.1f MB at the end (%+ld kB since the first minute)\n",
                startRss / 1024.0, minuteRss / 1024.0, peakRss / 1024.0, endRss / 1024.0, endRss - minuteRss);
    std::printf("  host CPU: %.1f %% of a core (%.0f s in %.0f s)\n", 100.0 * cpu / wall, cpu, wall);
    int worstSecond = 1 << 30;
    int unplanned = 0;
    for (std::size_t i = 0; i < soak.watchers.size(); ++i) {
        const Watcher& watcher = soak.watchers[i];
        // The last second may be cut by the end of the run: every full second counts.
        const auto& windows = watcher.snapshotsPerSecond;
        const int worst = windows.empty() ? 0 : *std::min_element(windows.begin(), windows.end());
        worstSecond = std::min(worstSecond, worst);
        unplanned += watcher.net.unplanned + !watcher.net.connected;
    }
    std::printf("  snapshots: every watcher's worst second %d (of %zu seconds each)\n", worstSecond,
                soak.watchers.front().snapshotsPerSecond.size());
    int churnUnplanned = 0;
    int failedJoins = 0;
    for (const Peer& churner : soak.churners) {
        churnUnplanned += churner.unplanned;
        failedJoins += churner.failedJoins;
    }
    unplanned += churnUnplanned;
    const std::vector<ChatFigures> minutes = chatByMinute(soak);
    ChatFigures total;
    for (const ChatFigures& minute : minutes) {
        total.sent += minute.sent;
        total.lost += minute.lost;
        total.latencies.insert(total.latencies.end(), minute.latencies.begin(), minute.latencies.end());
    }
    const double worstLatency =
        total.latencies.empty() ? 0.0 : *std::max_element(total.latencies.begin(), total.latencies.end());
    std::printf("  chat: %ld lines sent, %zu deliveries of %ld, %ld lost, latency median %.1f ms, "
                "worst %.1f ms; %ld stray\n",
                total.sent, total.latencies.size(), total.sent * WATCHERS, total.lost,
                median(total.latencies) * 1000.0, worstLatency * 1000.0, soak.strayLines);
    std::printf("  churn: %ld joins, %d that never connected, %d connections lost unasked\n", churns,
                failedJoins, churnUnplanned);
    std::printf("  host %s, computer players %s, both ships %s\n", hostUp ? "up" : "GONE",
                botsUp ? "up" : "GONE", shipsHeld ? "held" : "NOT HELD");
    const bool rssMet = std::abs(double(endRss - minuteRss)) <= RSS_GOAL_KB;
    const bool met = rssMet && total.lost == 0 && worstSecond >= SNAPSHOT_GOAL && unplanned == 0 &&
                     hostUp && botsUp && shipsHeld;
    std::printf("  goals (RSS within 1 MB of minute one, no line lost, >= %d snapshots every second, "
                "no unplanned disconnection): %s\n",
                SNAPSHOT_GOAL, met ? "met" : "MISSED");
    std::fflush(stdout);
    if (!soak.dataDir.empty() && !writeData(soak, minutes))
        std::fprintf(stderr, "bench_soak: cannot write to %s\n", soak.dataDir.c_str());

    for (Watcher& watcher : soak.watchers) enet_host_destroy(watcher.net.host);
    for (Peer& churner : soak.churners) enet_host_destroy(churner.host);
    for (Process& bot : bots) bot.stop();
    host.stop();
    for (std::thread& drain : drains) drain.join();
    enet_deinitialize();
    return 0;
}

constexpr const char* USAGE = "usage: bench_soak [--minutes N] [--data DIR]\n";

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    using namespace netduel;
    Soak soak;
    if (const char* minutes = std::getenv("SOAK_MINUTES")) soak.minutes = std::atof(minutes);
    const option options[] = {{"minutes", required_argument, nullptr, 'm'},
                              {"data", required_argument, nullptr, 'd'},
                              {"help", no_argument, nullptr, 'h'},
                              {nullptr, 0, nullptr, 0}};
    for (int code; (code = getopt_long(argc, argv, "m:d:h", options, nullptr)) != -1;) {
        if (code == 'm') {
            soak.minutes = std::atof(optarg);
        } else if (code == 'd') {
            soak.dataDir = optarg;
        } else {
            std::fputs(USAGE, code == 'h' ? stdout : stderr);
            return code == 'h' ? 0 : 2;
        }
    }
    if (optind != argc || !(soak.minutes > 0.0)) {
        std::fprintf(stderr, "bench_soak: the minutes must be a positive number\n%s", USAGE);
        return 2;
    }
    return soakRun(soak);
}
