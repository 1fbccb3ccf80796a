// Computer player benchmark: the real host frame loop (a dedicated host's, 60 frames a
// second) and real ENet on loopback, one match per run, N seconds each (--seconds N,
// default 60). The players under test are real `netduel --bot` processes; the targets
// (a ship that stands still, one that circles, one that dodges at random) and the
// baseline (a plain aim-and-fire player: closes in, turns to where the enemy is and fires
// when its nose points there) are lobby clients of this process. Per seat: hits and shots
// per minute (a hit is one bullet passing within 10 px of the enemy's centre, each bullet
// counted once), the longest time pressed against a wall, the most control words in any
// second at the host, and for a --bot process its CPU and peak RSS.
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
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/status.h"
#include "base/timer.h"
#include "bot/bot_client.h"
#include "duel/packet_handlers.h"
#include "duel/simulate.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"
#include "shell/dedicated.h"

#include "proc_status.h"

#ifndef NETDUEL_EXE
#error "the build passes the game executable's path"
#endif

namespace netduel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint16_t FIRST_PORT = 48100;  // one port per run
constexpr double DEFAULT_SECONDS = 60.0;
constexpr double CONNECT_SECONDS = 10.0;
constexpr double SCRIPT_PERIOD = 0.05;       // the scripted targets' 20 words a second
constexpr float WALL_TOUCH = 0.01f;          // px from a ship bound that counts as pressed

enum class Kind { Still, Circling, Dodging, Plain, Bot };

struct Seat {
    Kind kind;
    int level = 0;  // Bot only
};

struct Run {
    std::string name;
    Seat seats[SHIP_COUNT];
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

// A seat played from this process: a scripted target or the baseline.
struct LocalPlayer {
    Kind kind;
    BotClient bot;             // the baseline's, and the connection of every local seat
    double nextWord = 0.0;
    KeyFlags intent = 0;       // the dodger's current turn and thrust
    double intentUntil = 0.0;
    std::mt19937 random{12345};
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
    if (player.kind == Kind::Dodging && now >= player.intentUntil) {
        const KeyFlags turns[] = {0, KEY_LEFT, KEY_RIGHT};
        player.intent = turns[player.random() % 3] | (player.random() % 5 < 3 ? KEY_UP : 0);
        player.intentUntil = now + 0.15 + (player.random() % 350) / 1000.0;
    }
    const KeyFlags word = player.kind == Kind::Circling ? KEY_UP | KEY_RIGHT : player.intent;
    if (word) lobbyClientSendBytes(client, CHANNEL_CONTROL, controlEncode(word), false);
}

void localPlay(LocalPlayer& player, double now)
{
    if (player.kind == Kind::Plain) {
        botClientPlay(player.bot, now);
        return;
    }
    BotClient& bot = player.bot;  // a still, circling or dodging ship only needs the link
    if (!lobbyClientBusy(bot.net.client) && now >= bot.nextAttempt) {
        bot.nextAttempt = now + BOT_RETRY_SECONDS;
        lobbyClientConnect(bot.net.client, "127.0.0.1", bot.port, CLIENT_CHANNELS);
    }
    lobbyClientService(bot.net.client);
    if (player.kind != Kind::Still) scriptedWord(player, now);
}

pid_t spawnBot(std::uint16_t port, int level)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string join = "127.0.0.1:" + std::to_string(port);
        const std::string levelText = std::to_string(level);
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        execl(NETDUEL_EXE, NETDUEL_EXE, "--bot", "--join", join.c_str(), "--level", levelText.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

struct SeatRunner {
    std::unique_ptr<LocalPlayer> local;
    pid_t pid = -1;
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

void seatStart(SeatRunner& seat, const Seat& how, std::uint16_t port)
{
    seat.started = Clock::now();
    if (how.kind == Kind::Bot) {
        seat.pid = spawnBot(port, how.level);
        return;
    }
    seat.local = std::make_unique<LocalPlayer>();
    seat.local->kind = how.kind;
    botClientSetup(seat.local->bot, "127.0.0.1", port, plainLevel(), "", 99);
}

void seatStop(DedicatedHost& host, SeatRunner (&seats)[SHIP_COUNT], int i)
{
    SeatRunner& seat = seats[i];
    if (seat.local) {
        botClientLeave(seat.local->bot);
        frames(host, seats, 0.2, [] { return false; });
        botClientStop(seat.local->bot);
        seat.local.reset();
        return;
    }
    if (seat.pid <= 0) return;
    tallies[i].pssKb = rollupKb(seat.pid, "Pss");
    tallies[i].privateKb = rollupKb(seat.pid, "Private_Clean") + rollupKb(seat.pid, "Private_Dirty");
    kill(seat.pid, SIGTERM);
    int status = 0;
    rusage usage{};
    frames(host, seats, 5.0, [&] { return wait4(seat.pid, &status, WNOHANG, &usage) == seat.pid; });
    const double wall = std::chrono::duration<double>(Clock::now() - seat.started).count();
    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                       usage.ru_stime.tv_usec / 1e6;
    tallies[i].cpuSeconds = cpu / wall;  // a share of one core
    tallies[i].peakKb = usage.ru_maxrss;
    seat.pid = -1;
}

const char* kindName(const Seat& seat)
{
    static const char* names[] = {"still", "circling", "dodging", "plain", "bot"};
    return names[int(seat.kind)];
}

void report(const Run& run, double seconds)
{
    for (int i = 0; i < SHIP_COUNT; ++i) {
        const Tally& t = tallies[i];
        const Seat& seat = run.seats[i];
        if (seat.kind == Kind::Still || seat.kind == Kind::Circling || seat.kind == Kind::Dodging) continue;
        std::printf("%-22s ship %d %-5s L%d  hits/min %6.1f  shots/min %6.1f  wall max %5.2f s  "
                    "words/s max %2zu",
                    run.name.c_str(), i, kindName(seat), seat.level, t.hits * 60.0 / seconds,
                    t.shots * 60.0 / seconds, t.wallLongest, t.wordsMost);
        if (t.cpuSeconds >= 0)
            std::printf("  cpu %5.2f %%  peak RSS %4.1f MB (PSS %3.1f, private %3.1f)", t.cpuSeconds * 100.0,
                        t.peakKb / 1024.0, t.pssKb / 1024.0, t.privateKb / 1024.0);
        std::printf("\n");
    }
    std::fflush(stdout);
}

bool runOne(const Run& run, std::uint16_t port, double seconds)
{
    for (Tally& tally : tallies) tally = Tally{};
    measuring = false;
    nextShotTime = 0.0;
    auto host = std::make_unique<DedicatedHost>();
    if (!dedicatedStart(*host, port)) return false;
    lobbyServerSetCallback(host->net.server, countingKeyHandler);
    SeatRunner seats[SHIP_COUNT];
    bool ok = true;
    // Seat 0 first, so that it gets slot 0 and ship 0.
    for (int i = 0; i < SHIP_COUNT && ok; ++i) {
        seatStart(seats[i], run.seats[i], port);
        ok = frames(*host, seats, CONNECT_SECONDS, [&] { return slotConnected(*host, i); });
    }
    if (ok) {
        measuring = true;
        frames(*host, seats, seconds, [] { return false; });
        measuring = false;
    } else {
        std::printf("%s: the seats did not connect\n", run.name.c_str());
    }
    for (int i = SHIP_COUNT - 1; i >= 0; --i) seatStop(*host, seats, i);
    if (ok) report(run, seconds);
    dedicatedStop(*host);
    return ok;
}

std::vector<Run> allRuns()
{
    std::vector<Run> runs;
    const Seat targets[] = {{Kind::Still}, {Kind::Circling}, {Kind::Dodging}};
    for (const Seat& target : targets)
        runs.push_back({std::string("plain vs ") + kindName(target), {target, {Kind::Plain}}});
    for (int level = 1; level <= 3; ++level)
        for (const Seat& target : targets)
            runs.push_back({"L" + std::to_string(level) + " vs " + kindName(target),
                            {target, {Kind::Bot, level}}});
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
    std::string only;  // --only TEXT: the runs whose name holds TEXT
    long firstPort = FIRST_PORT;
    const option longOptions[] = {{"seconds", required_argument, nullptr, 's'},
                                  {"only", required_argument, nullptr, 'o'},
                                  {"first-port", required_argument, nullptr, 'p'},
                                  {nullptr, 0, nullptr, 0}};
    for (int code; (code = getopt_long(argc, argv, "", longOptions, nullptr)) != -1;) {
        if (code == 's') seconds = std::atof(optarg);
        else if (code == 'o') only = optarg;
        else if (code == 'p') firstPort = std::atol(optarg);
        else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--only TEXT] [--first-port N]\n", argv[0]);
            return 2;
        }
    }
    if (!(seconds > 0) || firstPort < 1 || firstPort > 65535 - 64) {
        std::fprintf(stderr, "bench_bot: --seconds takes a positive number, --first-port a UDP port\n");
        return 2;
    }
    statusOut = nullptr;  // the host's lines would drown the table
    std::printf("bench_bot: %.0f s a run, host at 60 frames/s on loopback\n", seconds);
    const std::vector<Run> runs = allRuns();
    bool ok = true;
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (only.empty() || runs[i].name.find(only) != std::string::npos)
            ok = runOne(runs[i], static_cast<std::uint16_t>(firstPort + long(i)), seconds) && ok;
    return ok ? 0 : 1;
}
