// Computer player benchmark: the real host frame loop (a dedicated host's, 60 frames a
// second) and real ENet on loopback, one match per run, N seconds each (--seconds N,
// default 60). The players under test are real `netduel --bot` processes. The targets are
// a ship that stands still, one that circles and one that dodges at random, twice over:
// scripted in this benchmark's own loop, their words in step with the host's frames, and
// each in a process of its own (this program again, `--target KIND`) whose words leave
// on its own clock as a player's copy sends them, at a phase and with a frame loop's
// jitter of their own. Some runs join every player through the link emulator's poor
// profile. The baseline is a plain aim-and-fire player (closes in, turns to where the
// enemy is and fires when its nose points there), a lobby client of this process. Per
// seat: hits and shots per minute (a hit is one bullet passing within 10 px of the
// enemy's centre, each bullet counted once), the longest time pressed against a wall, the
// most control words in any second at the host, and for a --bot process its CPU and peak
// RSS.
#include <getopt.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/status.h"
#include "base/stop_request.h"
#include "base/timer.h"
#include "bot/bot_client.h"
#include "duel/packet_handlers.h"
#include "duel/simulate.h"
#include "link/link.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"
#include "shell/dedicated.h"
#include "shell/shell.h"

#include "child_process.h"
#include "proc_status.h"

#ifndef NETDUEL_EXE
#error "the build passes the game executable's path"
#endif

namespace netduel {
namespace {

constexpr std::uint16_t FIRST_PORT = 44500;  // two per run: the host's, the link's
constexpr double DEFAULT_SECONDS = 60.0;
constexpr double CONNECT_SECONDS = 10.0;
constexpr double SCRIPT_PERIOD = CONTROL_SEND_INTERVAL;  // the scripted targets' 20 words a second
constexpr float WALL_TOUCH = 0.01f;          // px from a ship bound that counts as pressed
// A target process's frame: the game's 3 ms pause and up to 2 ms of work, so that its
// words leave 0.05 s apart or up to two frames later, at no fixed phase to the host's.
constexpr double TARGET_PAUSE = 0.003;
constexpr double TARGET_WORK_MAX = 0.002;

enum class Kind { Still, Circling, Dodging, Plain, Bot };

struct Seat {
    Kind kind;
    int level = 0;          // Bot only
    bool ownClock = false;  // a target in a process of its own
};

struct Run {
    std::string name;
    Seat seats[SHIP_COUNT];
    bool poorLink = false;  // every seat joins through the link emulator, poor each way
};

// What one seat did during the measured time.
struct Tally {
    int hits = 0;
    int shots = 0;
    double wallRun = 0.0;   // s, current stretch against a wall
    double wallLongest = 0.0;
    std::deque<double> words;  // arrival times at the host, the last second's
    std::size_t wordsMost = 0;
    bool flightHit[BULLETS_PER_SHIP] = {};
    Bullet previous[BULLETS_PER_SHIP];
    double cpuSeconds = -1.0;
    long peakKb = -1;
    long pssKb = -1;      // its share of what it maps: shared library pages divided among users
    long privateKb = -1;  // pages only it uses
};

// A "Pss:"-style figure of /proc/PID/smaps_rollup, in kB; −1 when missing.
long rollupKb(pid_t pid, std::string_view field)
{
    return procFieldKb(std::to_string(pid), "smaps_rollup", field);
}

Tally tallies[SHIP_COUNT];
bool measuring = false;

// The host's control-word handler, counting each seat's words as they arrive.
std::int32_t countingKeyHandler(PacketEvent& event)
{
    const auto slot = reinterpret_cast<std::uintptr_t>(event.event->peer->data);
    if (measuring && event.event->channelID == CHANNEL_CONTROL && slot < SHIP_COUNT) {
        Tally& tally = tallies[slot];
        const double now = timerSeconds();
        tally.words.push_back(now);
        while (tally.words.front() <= now - 1.0) tally.words.pop_front();
        tally.wordsMost = std::max(tally.wordsMost, tally.words.size());
    }
    return serverKeyHandler(event);
}

float segmentDistance(Vec2 a, Vec2 b, Vec2 p)
{
    const Vec2 ab = b - a;
    const double len2 = double(ab.x) * ab.x + double(ab.y) * ab.y;
    double t = len2 > 0 ? (double(p.x - a.x) * ab.x + double(p.y - a.y) * ab.y) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return distance(a + ab * t, p);
}

void tallyFrame(const MatchState& match, double frameSeconds)
{
    for (int i = 0; i < SHIP_COUNT; ++i) {
        Tally& tally = tallies[i];
        const Ship& own = match.ships[i];
        const Vec2 enemy = match.ships[1 - i].position;
        for (int j = 0; j < BULLETS_PER_SHIP; ++j) {
            const Bullet& b = own.bullets[j];
            const Bullet& was = tally.previous[j];
            // A new flight: the slot was free, or its bullet is back at a muzzle.
            const bool fresh = b.active && (!was.active || distance(b.position, was.position) > 20.0f);
            if (fresh) {
                tally.flightHit[j] = false;
                tally.shots += measuring;
            }
            const Vec2 from = fresh ? b.position : was.position;
            if (b.active && !tally.flightHit[j] && segmentDistance(from, b.position, enemy) < SHIP_RADIUS) {
                tally.flightHit[j] = true;
                tally.hits += measuring;
            }
            tally.previous[j] = b;
        }
        const Vec2 p = own.position;
        const bool pressed = p.x <= SHIP_MIN_X + WALL_TOUCH || p.x >= SHIP_MAX_X - WALL_TOUCH ||
                             p.y <= SHIP_MIN_Y + WALL_TOUCH || p.y >= SHIP_MAX_Y - WALL_TOUCH;
        tally.wallRun = pressed ? tally.wallRun + frameSeconds : 0.0;
        if (measuring) tally.wallLongest = std::max(tally.wallLongest, tally.wallRun);
    }
}

// What a target holds: the circling ship thrust and one turn, the dodger a turn and
// thrust drawn anew every 0.15-0.5 s, the still ship nothing.
struct TargetMind {
    Kind kind = Kind::Still;
    KeyFlags intent = 0;
    double intentUntil = 0.0;
    std::mt19937 random{12345};
};

KeyFlags targetWord(TargetMind& mind, double now)
{
    if (mind.kind == Kind::Circling) return KEY_UP | KEY_RIGHT;
    if (mind.kind != Kind::Dodging) return 0;
    if (now >= mind.intentUntil) {
        const KeyFlags turns[] = {0, KEY_LEFT, KEY_RIGHT};
        mind.intent = turns[mind.random() % 3] | (mind.random() % 5 < 3 ? KEY_UP : 0);
        mind.intentUntil = now + 0.15 + (mind.random() % 350) / 1000.0;
    }
    return mind.intent;
}

const char* const KIND_NAMES[] = {"still", "circling", "dodging", "plain", "bot"};

// A target in a process of its own until SIGTERM: a player's copy's frame loop, sending
// what it holds on every second frame and at most every 0.05 s, as the game does.
int targetMain(const std::string& kindName, std::uint16_t port, unsigned seed)
{
    TargetMind mind;
    mind.kind = kindName == "circling" ? Kind::Circling : kindName == "dodging" ? Kind::Dodging : Kind::Still;
    mind.random.seed(seed);
    std::uniform_real_distribution<double> work(0.0, TARGET_WORK_MAX);
    stopRequestInstall();
    LobbyClient client{};
    if (!lobbyClientConnect(client, "127.0.0.1", port, CLIENT_CHANNELS)) return 1;
    // A random start, so that no two runs share a phase with the host's clock.
    std::this_thread::sleep_for(std::chrono::duration<double>(work(mind.random) * 8.0));
    bool toggle = false;
    ControlOutbox outbox;  // the game's cadence of words
    while (!stopRequested()) {
        toggle = !toggle;
        lobbyClientService(client);
        const double now = timerSeconds();
        const KeyFlags held = targetWord(mind, now);
        if (lobbyClientOwnSlot(client) >= 0)
            if (const auto word = controlOutboxDue(outbox, held, toggle, now))
                lobbyClientSendBytes(client, CHANNEL_CONTROL, controlEncode(*word), false);
        std::this_thread::sleep_for(std::chrono::duration<double>(TARGET_PAUSE + work(mind.random)));
    }
    lobbyClientDisconnect(client);
    lobbyClientService(client);
    lobbyClientDestroy(client);
    return 0;
}

// A seat played from this process: a scripted target or the baseline.
struct LocalPlayer {
    TargetMind mind;
    BotClient bot;             // the baseline's, and the connection of every local seat
    double nextWord = 0.0;
};

BotLevel plainLevel()
{
    BotLevel level;
    level.fireMiss = SHIP_RADIUS - 2.0f;
    level.leads = false;
    level.leadsTurns = false;
    level.shootsWhileTurning = false;
    level.dodgeMargin = 0.0f;
    return level;
}

void scriptedWord(LocalPlayer& player, double now)
{
    LobbyClient& client = player.bot.net.client;
    if (now < player.nextWord || lobbyClientOwnSlot(client) < 0) return;
    player.nextWord = now + SCRIPT_PERIOD;
    if (const KeyFlags word = targetWord(player.mind, now))
        lobbyClientSendBytes(client, CHANNEL_CONTROL, controlEncode(word), false);
}

void localPlay(LocalPlayer& player, double now)
{
    if (player.mind.kind == Kind::Plain) {
        botClientPlay(player.bot, now);
        return;
    }
    BotClient& bot = player.bot;  // a still, circling or dodging ship only needs the link
    if (!lobbyClientBusy(bot.net.client) && now >= bot.nextAttempt) {
        bot.nextAttempt = now + BOT_RETRY_SECONDS;
        lobbyClientConnect(bot.net.client, "127.0.0.1", bot.port, CLIENT_CHANNELS);
    }
    lobbyClientService(bot.net.client);
    scriptedWord(player, now);
}

struct SeatRunner {
    std::unique_ptr<LocalPlayer> local;
    Process process;  // a --bot or a target of its own
    Clock::time_point started;
};

bool slotConnected(const DedicatedHost& host, int slot)
{
    return host.net.server.clients.size() > std::size_t(slot) && host.net.server.clients[slot].connected;
}

// Runs frames, servicing the local seats, until `done` or `seconds` pass; false on time-out.
template <class Done>
bool frames(DedicatedHost& host, SeatRunner (&seats)[SHIP_COUNT], double seconds, Done done)
{
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (done()) return true;
        const double before = host.lastTime;
        dedicatedFrame(host);
        tallyFrame(host.match, host.lastTime - before);
        for (SeatRunner& seat : seats)
            if (seat.local) localPlay(*seat.local, timerSeconds());
        dedicatedPace(host);
    }
    return done();
}

struct Programs {
    std::string bot;     // the executable whose --bot plays
    std::string target;  // this benchmark, for targets of their own
};

void seatStart(SeatRunner& seat, const Seat& how, const Programs& programs, std::uint16_t port, unsigned seed)
{
    seat.started = Clock::now();
    const std::string portText = std::to_string(port);
    if (how.kind == Kind::Bot) {
        start(seat.process, {programs.bot, "--bot", "--join", "127.0.0.1:" + portText, "--level",
                             std::to_string(how.level)}, "");
        return;
    }
    if (how.ownClock) {
        start(seat.process, {programs.target, "--target", KIND_NAMES[int(how.kind)], "--join", portText,
                             "--seed", std::to_string(seed)}, "");
        return;
    }
    seat.local = std::make_unique<LocalPlayer>();
    seat.local->mind.kind = how.kind;
    botClientSetup(seat.local->bot, "127.0.0.1", port, plainLevel(), "", 99);
}

void seatStop(DedicatedHost& host, SeatRunner (&seats)[SHIP_COUNT], int i, bool measured)
{
    SeatRunner& seat = seats[i];
    if (seat.local) {
        botClientLeave(seat.local->bot);
        frames(host, seats, 0.2, [] { return false; });
        botClientStop(seat.local->bot);
        seat.local.reset();
        return;
    }
    const pid_t pid = seat.process.pid;
    if (pid <= 0) return;
    if (measured) {
        tallies[i].pssKb = rollupKb(pid, "Pss");
        tallies[i].privateKb = rollupKb(pid, "Private_Clean") + rollupKb(pid, "Private_Dirty");
    }
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    // The host keeps serving while the player says goodbye.
    if (frames(host, seats, 5.0, [&] { return wait4(pid, &status, WNOHANG, &usage) == pid; })) {
        seat.process.pid = -1;  // reaped here, with its usage
        if (measured) {
            const double wall = std::chrono::duration<double>(Clock::now() - seat.started).count();
            const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                               usage.ru_stime.tv_usec / 1e6;
            tallies[i].cpuSeconds = cpu / wall;  // a share of one core
            tallies[i].peakKb = usage.ru_maxrss;
        }
    }
    seat.process.stop();
}

void report(const Run& run, double seconds)
{
    for (int i = 0; i < SHIP_COUNT; ++i) {
        const Tally& t = tallies[i];
        const Seat& seat = run.seats[i];
        if (seat.kind != Kind::Plain && seat.kind != Kind::Bot) continue;
        std::printf("%-34s ship %d %-5s L%d  hits/min %6.1f  shots/min %6.1f  wall max %5.2f s  "
                    "words/s max %2zu",
                    run.name.c_str(), i, KIND_NAMES[int(seat.kind)], seat.level, t.hits * 60.0 / seconds,
                    t.shots * 60.0 / seconds, t.wallLongest, t.wordsMost);
        if (t.cpuSeconds >= 0)
            std::printf("  cpu %5.2f %%  peak RSS %4.1f MB (PSS %3.1f, private %3.1f)", t.cpuSeconds * 100.0,
                        t.peakKb / 1024.0, t.pssKb / 1024.0, t.privateKb / 1024.0);
        std::printf("\n");
    }
    std::fflush(stdout);
}

bool runOne(const Run& run, const Programs& programs, std::uint16_t port, double seconds)
{
    for (Tally& tally : tallies) tally = Tally{};
    measuring = false;
    nextShotTime = 0.0;
    auto host = std::make_unique<DedicatedHost>();
    if (!dedicatedStart(*host, port)) return false;
    lobbyServerSetCallback(host->net.server, countingKeyHandler);
    Link link;
    std::uint16_t joinPort = port;
    if (run.poorLink) {
        LinkConfig config;
        config.listenPort = std::uint16_t(port + 1);
        config.hostPort = port;
        linkProfileFind("poor", config.impairment[LINK_TO_HOST]);
        config.impairment[LINK_TO_CLIENT] = config.impairment[LINK_TO_HOST];
        config.seed = port;
        if (!linkStart(link, config)) {
            dedicatedStop(*host);
            return false;
        }
        joinPort = linkPort(link);
    }
    SeatRunner seats[SHIP_COUNT];
    bool ok = true;
    // Seat 0 first, so that it gets slot 0 and ship 0.
    for (int i = 0; i < SHIP_COUNT && ok; ++i) {
        seatStart(seats[i], run.seats[i], programs, joinPort, port * 2u + unsigned(i));
        ok = frames(*host, seats, CONNECT_SECONDS, [&] { return slotConnected(*host, i); });
    }
    if (ok) {
        measuring = true;
        frames(*host, seats, seconds, [] { return false; });
        measuring = false;
    } else {
        std::printf("%s: the seats did not connect\n", run.name.c_str());
    }
    for (int i = SHIP_COUNT - 1; i >= 0; --i) seatStop(*host, seats, i, ok);
    if (ok) report(run, seconds);
    linkStop(link);
    dedicatedStop(*host);
    return ok;
}

std::vector<Run> allRuns()
{
    std::vector<Run> runs;
    const auto add = [&](const Seat& target, const Seat& player, const char* how, bool poor) {
        const std::string who = player.kind == Kind::Plain ? "plain" : "L" + std::to_string(player.level);
        runs.push_back({who + " vs " + KIND_NAMES[int(target.kind)] + how, {target, player}, poor});
    };
    const Seat scripted[] = {{Kind::Still}, {Kind::Circling}, {Kind::Dodging}};
    const Seat own[] = {{Kind::Circling, 0, true}, {Kind::Dodging, 0, true}};
    const Seat players[] = {{Kind::Plain}, {Kind::Bot, 1}, {Kind::Bot, 2}, {Kind::Bot, 3}};
    for (const Seat& player : players)
        for (const Seat& target : scripted) add(target, player, "", false);
    for (const Seat& player : players)
        for (const Seat& target : own) add(target, player, ", own clock", false);
    for (const Seat& player : players) add(own[0], player, ", own clock, poor link", true);
    runs.push_back({"L3 vs L1 (L3 ship 0)", {{Kind::Bot, 3}, {Kind::Bot, 1}}});
    runs.push_back({"L1 vs L3 (L3 ship 1)", {{Kind::Bot, 1}, {Kind::Bot, 3}}});
    runs.push_back({"L2 vs L2", {{Kind::Bot, 2}, {Kind::Bot, 2}}});
    return runs;
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    using namespace netduel;
    double seconds = DEFAULT_SECONDS;
    std::string only;    // --only TEXT: the runs whose name holds TEXT
    std::string target;  // --target KIND: be a target process, not the benchmark
    Programs programs{NETDUEL_EXE, std::filesystem::read_symlink("/proc/self/exe").string()};
    long firstPort = FIRST_PORT;
    long join = 0;
    unsigned seed = 1;
    const option longOptions[] = {{"seconds", required_argument, nullptr, 's'},
                                  {"only", required_argument, nullptr, 'o'},
                                  {"first-port", required_argument, nullptr, 'p'},
                                  {"exe", required_argument, nullptr, 'e'},
                                  {"target", required_argument, nullptr, 't'},
                                  {"join", required_argument, nullptr, 'j'},
                                  {"seed", required_argument, nullptr, 'r'},
                                  {nullptr, 0, nullptr, 0}};
    for (int code; (code = getopt_long(argc, argv, "", longOptions, nullptr)) != -1;) {
        if (code == 's') seconds = std::atof(optarg);
        else if (code == 'o') only = optarg;
        else if (code == 'p') firstPort = std::atol(optarg);
        else if (code == 'e') programs.bot = optarg;
        else if (code == 't') target = optarg;
        else if (code == 'j') join = std::atol(optarg);
        else if (code == 'r') seed = unsigned(std::strtoul(optarg, nullptr, 10));
        else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--only TEXT] [--first-port N] [--exe NETDUEL]\n",
                         argv[0]);
            return 2;
        }
    }
    statusOut = nullptr;  // the host's lines would drown the table
    if (!target.empty()) return targetMain(target, static_cast<std::uint16_t>(join), seed);
    const std::vector<Run> runs = allRuns();
    if (!(seconds > 0) || firstPort < 1 || firstPort > 65535 - 2 * long(runs.size())) {
        std::fprintf(stderr, "bench_bot: --seconds takes a positive number, --first-port a UDP port\n");
        return 2;
    }
    std::printf("bench_bot: %.0f s a run, host at 60 frames/s on loopback, --bot from %s\n", seconds,
                programs.bot.c_str());
    std::fflush(stdout);
    bool ok = true;
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (only.empty() || runs[i].name.find(only) != std::string::npos)
            ok = runOne(runs[i], programs, static_cast<std::uint16_t>(firstPort + 2 * long(i)), seconds) && ok;
    return ok ? 0 : 1;
}
