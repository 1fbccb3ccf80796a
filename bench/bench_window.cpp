// Real-window benchmark: what a player sees, read from the pixels of a real `netduel --join`
// window on a private Xvfb, behind the link emulator, on a real `netduel --dedicated` host.
// Ship 0 is steered by a sender in a process of its own (this program again, `--sender`),
// on its own clock, through a link of the same profile: its words leave as a copy's at 60
// or at 144 frames a second leaves them (the game's ControlOutbox, every second frame and
// at most every 0.05 s), or every 0.052 s as a computer player sends them. It drives ship 0
// to the middle of the field, then circles (thrust and one turn held) for the rest of the
// run. The window holds ship 1.
//
// The other ship: a reader polls the window (XShm, a box around the ship, about a
// thousand times a second) and keeps each position the window showed from when it was
// first seen. The host's path is the dedicated host's own recording (`--record-dir`: its
// snapshots with their times, on the wall clock that the reader keeps too). The drawn path,
// each position held, is compared 400 times a second with the host's at the constant
// delay that fits best, beside an ideal renderer (the host's position exactly that delay
// back at each 60 Hz frame, rounded to the pixel, held), over the first 10 s of the match
// (from the first frame that draws a snapshot) and over 15 s after 12 s of play. A stall
// is a position shown 4 frames or more while the host's ship moved more than 6 px, a jump
// a step over 3 times the host's motion in that time plus 2 px. Beside the delay that fits a
// whole stretch, the least and most that fit its 2.5 s pieces: how far the delay moves.
//
// Key to pixel (in the first sender's match of each link): XTest presses in the window, the
// time taken when the press goes to the X server, up to the first frame whose pixels show
// it: the own ship turning (Left and Right in turn, each held 0.1 s), and the own bullet
// (X held 0.1 s every 0.45 s, with nothing else held and with Left held throughout).
//
// A plain main(): `bench_window [--game PATH] [--link LIST] [--sender-cadence LIST]
// [--presses N] [--start S] [--settled S] [--data DIR] [--shooter [--shoot S]]`; LIST is comma-separated (links
// lan, good, poor, awful; senders 60, 144, bot); PATH the window's program (default this
// build's; the host is always this build's, whose recordings the benchmark reads); DIR
// gets window_<link>_<sender>.dat, the drawn and the host's path of each match.
//
// `--shooter`: the window is the shooter instead (below, "The shooter's window"), one match
// per link with the first sender cadence, S s of shots (default 30): the own bullets seen
// touching ship 0 against ship 0's flashes, and the host's hits from its recording; DIR
// gets shooter_<link>.dat, every read of the shooting.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <getopt.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/stop_request.h"
#include "base/timer.h"
#include "bot/bot_brain.h"
#include "child_process.h"
#include "duel/match.h"
#include "duel/simulate.h"
#include "link/link.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "record/record.h"
#include "shell/draw_frame.h"
#include "shell/host.h"
#include "view/control_outbox.h"
#include "window_path.h"

namespace netduel {
namespace {

constexpr std::uint16_t FIRST_PORT = 46300;  // the host of run N listens on FIRST_PORT + N
constexpr int FIELD_WIDTH = 1024;
constexpr int FIELD_HEIGHT = 768;
constexpr int BOX = 96;               // px: the square read around a tracked ship
constexpr int OWN_BOX = 64;           // px: the square read around the own ship
constexpr double POLL_PAUSE = 0.0005;  // s between two reads of the window
constexpr Vec2 CIRCLE_FROM{512.0f, 430.0f};  // the sender starts circling near here …
constexpr float CIRCLE_NEAR = 40.0f;         // … once within this many px
constexpr float AIM_SLACK = 0.15f;           // rad: closer than this to the aim, no turn
constexpr float AIM_TURN_ONLY = 1.0f;        // rad: further than this, turn without thrust
constexpr double SEEN_FROM_START_PX = 20.0;  // a drawn ship 0 this far off its start shows a snapshot
constexpr double DEFAULT_START = 10.0;       // s measured from the match's first frame …
constexpr double SETTLE = 12.0;              // … and, after this much play, …
constexpr double DEFAULT_SETTLED = 15.0;     // … this long
constexpr double DELAY_LOW = 0.0;            // s: the delays tried
constexpr double DELAY_HIGH = 0.6;
constexpr int DEFAULT_PRESSES = 20;
constexpr double PRESS_HOLD = 0.1;           // s a key is held, as a player taps it
constexpr double TURN_REST = 0.35;           // s after a turn's release before the next press
constexpr double SHOT_PERIOD = 0.45;         // s between two presses of X
constexpr double SEEN_WITHIN = 1.0;          // s: a press not seen by then counts as missed
constexpr float MUZZLE_SEEN_PX = MUZZLE_OFFSET + 5.0f;  // a new bullet within this of the ship
constexpr float BULLETS_GONE_PX = 40.0f;     // no bullet this close before a press
constexpr double SHOT_HELD_TURN_WAIT = 0.3;  // s of Left held before the first shot

enum class Cadence { Fps60, Fps144, Bot };
constexpr const char* CADENCE_NAMES[] = {"60", "144", "bot"};
constexpr const char* CADENCE_TEXTS[] = {"60 fps copy", "144 fps copy", "bot, 0.052 s"};

double wallNow() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// --- The sender: ship 0 on a clock of its own ---------------------------------------------

struct Sender {
    MatchState seen;
    bool heard = false;
};

std::int32_t senderSnapshot(PacketEvent& event)
{
    auto* sender = static_cast<Sender*>(event.client->userData);
    if (event.event->channelID == CHANNEL_SNAPSHOT && snapshotApply(sender->seen, packetBytes(*event.event)))
        sender->heard = true;
    return 0;
}

// Thrust towards CIRCLE_FROM, turning towards it, until near; then thrust and turn right.
KeyFlags senderHeld(const Ship& ship, bool& circling)
{
    if (!circling && distance(ship.position, CIRCLE_FROM) < CIRCLE_NEAR) {
        circling = true;
        std::printf("circling\n");
        std::fflush(stdout);
    }
    if (circling) return KEY_UP | KEY_RIGHT;
    const Vec2 nose = shipHeadingVector(ship.heading) * -1.0f;  // the way the ship moves
    const Vec2 aim = CIRCLE_FROM - ship.position;
    const float angle = std::atan2(nose.x * aim.y - nose.y * aim.x, nose.x * aim.x + nose.y * aim.y);
    KeyFlags held = std::fabs(angle) > AIM_TURN_ONLY ? 0 : KEY_UP;
    if (angle > AIM_SLACK) held |= KEY_RIGHT;  // clockwise on the screen
    if (angle < -AIM_SLACK) held |= KEY_LEFT;
    return held;
}

int senderMain(std::uint16_t port, Cadence cadence)
{
    stopRequestInstall();
    Sender sender;
    matchStateInit(sender.seen);
    LobbyClient client{};
    if (!lobbyClientConnect(client, "127.0.0.1", port, CLIENT_CHANNELS)) return 1;
    lobbyClientSetCallback(client, senderSnapshot);
    lobbyClientSetUserData(client, &sender);
    const double frame = cadence == Cadence::Fps144 ? 1.0 / 144.0 : cadence == Cadence::Fps60 ? 1.0 / 60.0 : 0.001;
    ControlOutbox outbox;
    bool toggle = false;
    bool circling = false;
    double nextBotWord = 0.0;
    auto next = std::chrono::steady_clock::now();
    while (!stopRequested()) {
        toggle = !toggle;
        lobbyClientService(client);  // a word sent in the last frame leaves here, as in the game
        const double now = timerSeconds();
        const int ship = lobbyClientOwnSlot(client);
        if (ship >= 0 && ship < SHIP_COUNT && sender.heard) {
            const KeyFlags held = senderHeld(sender.seen.ships[ship], circling);
            std::optional<KeyFlags> word;
            if (cadence != Cadence::Bot) {
                word = controlOutboxDue(outbox, held, toggle, now);
            } else if (now >= nextBotWord && held) {
                word = held;
                nextBotWord = std::max(nextBotWord + BOT_SEND_INTERVAL, now);
            }
            if (word) {
                lobbyClientSendBytes(client, CHANNEL_CONTROL, controlEncode(*word), false);
                if (cadence == Cadence::Bot) enet_host_flush(client.host);  // as the computer player does
            }
        }
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(frame));
        std::this_thread::sleep_until(next);
    }
    lobbyClientDisconnect(client);
    lobbyClientService(client);
    lobbyClientDestroy(client);
    return 0;
}

// --- The reader: the window's pixels -------------------------------------------------------

struct ShmImage {
    XImage* image = nullptr;
    XShmSegmentInfo info{};
};

struct WindowReader {
    ::Display* display = nullptr;
    Window window = 0;
    ShmImage box;
    ShmImage own;
    ShmImage full;
};

bool shmImageCreate(::Display* display, ShmImage& shm, int width, int height)
{
    const int screen = DefaultScreen(display);
    shm.image = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap,
                                nullptr, &shm.info, width, height);
    if (!shm.image || shm.image->bits_per_pixel != 32) return false;
    shm.info.shmid = shmget(IPC_PRIVATE, std::size_t(shm.image->bytes_per_line) * height, IPC_CREAT | 0600);
    if (shm.info.shmid < 0) return false;
    shm.info.shmaddr = shm.image->data = static_cast<char*>(shmat(shm.info.shmid, nullptr, 0));
    shm.info.readOnly = False;
    shmctl(shm.info.shmid, IPC_RMID, nullptr);  // gone once both sides detach
    return XShmAttach(display, &shm.info) != 0;
}

void shmImageDestroy(::Display* display, ShmImage& shm)
{
    if (!shm.image) return;
    if (shm.info.shmaddr) {
        XShmDetach(display, &shm.info);
        shmdt(shm.info.shmaddr);
    }
    shm.image->data = nullptr;
    XDestroyImage(shm.image);
    shm = {};
}

void readerClose(WindowReader& reader)
{
    if (!reader.display) return;
    for (ShmImage* shm : {&reader.box, &reader.own, &reader.full}) shmImageDestroy(reader.display, *shm);
    XCloseDisplay(reader.display);
    reader = {};
}

bool readerOpen(WindowReader& reader, const std::string& display, Window window)
{
    reader.display = XOpenDisplay(display.c_str());
    if (!reader.display || !XShmQueryExtension(reader.display)) {
        std::fprintf(stderr, "bench_window: no X display with MIT-SHM at %s\n", display.c_str());
        readerClose(reader);
        return false;
    }
    reader.window = window;
    if (!shmImageCreate(reader.display, reader.box, BOX, BOX) ||
        !shmImageCreate(reader.display, reader.own, OWN_BOX, OWN_BOX) ||
        !shmImageCreate(reader.display, reader.full, FIELD_WIDTH, FIELD_HEIGHT)) {
        std::fprintf(stderr, "bench_window: cannot share images with the X server\n");
        readerClose(reader);
        return false;
    }
    return true;
}

// The square of `shm`'s size whose middle is nearest `around` inside the window, read now;
// `t` is the wall clock halfway through the read.
PixelView readerGrab(WindowReader& reader, ShmImage& shm, Vec2 around, double& t)
{
    const int width = shm.image->width;
    const int height = shm.image->height;
    const int left = std::clamp(int(std::lround(around.x)) - width / 2, 0, FIELD_WIDTH - width);
    const int top = std::clamp(int(std::lround(around.y)) - height / 2, 0, FIELD_HEIGHT - height);
    const double before = wallNow();
    const bool read = XShmGetImage(reader.display, reader.window, shm.image, left, top, AllPlanes);
    t = (before + wallNow()) / 2.0;
    if (!read) return {};
    return {reinterpret_cast<const std::uint32_t*>(shm.image->data), width, height,
            shm.image->bytes_per_line / 4, left, top};
}

// The ship drawn in `colour`: in the box around `last`, else anywhere in the window.
bool readerShip(WindowReader& reader, std::uint32_t colour, Vec2& last, double& t)
{
    PixelView view = readerGrab(reader, reader.box, last, t);
    if (view.pixels && windowDiscFind(view, colour, SHIP_RADIUS, last)) return true;
    view = readerGrab(reader, reader.full, {FIELD_WIDTH / 2.0f, FIELD_HEIGHT / 2.0f}, t);
    return view.pixels && windowDiscFind(view, colour, SHIP_RADIUS, last);
}

void readerKey(WindowReader& reader, KeySym key, bool down)
{
    XTestFakeKeyEvent(reader.display, XKeysymToKeycode(reader.display, key), down ? True : False, CurrentTime);
    XFlush(reader.display);
}

std::vector<std::uint32_t> viewCopy(const PixelView& view)
{
    std::vector<std::uint32_t> copy;
    for (int y = 0; y < view.height; ++y)
        copy.insert(copy.end(), view.pixels + std::size_t(y) * view.stride,
                    view.pixels + std::size_t(y) * view.stride + view.width);
    return copy;
}

// --- One match ------------------------------------------------------------------------------

struct Programs {
    std::string self;    // this benchmark, for the sender
    std::string window;  // the joining window's program
    std::string host;    // the dedicated host's: this build's
};

struct Latencies {
    std::vector<double> turn;        // s, key to the own ship's pixels changing
    std::vector<double> shot;        // s, X to the new bullet, nothing else held
    std::vector<double> shotTurning;  // the same with Left held
    int missed = 0;                   // presses no frame showed within SEEN_WITHIN
};

// The least and most of the best delays of the PIECE-long pieces of a stretch: where the
// delay steps (a loss bridged, a late snapshot) one constant delay fits neither side.
struct DelaySpan {
    double least = 0.0;
    double most = 0.0;
};
constexpr double PIECE = 2.5;  // s

DelaySpan delaySpan(const std::vector<TimedPoint>& drawn, const std::vector<TimedPoint>& host, double from, double to)
{
    DelaySpan span{DELAY_HIGH, DELAY_LOW};
    for (double t = from; t + PIECE <= to + 1e-9; t += PIECE) {
        const double delay = windowPathCompare(drawn, host, t, t + PIECE, DELAY_LOW, DELAY_HIGH).delay;
        span.least = std::min(span.least, delay);
        span.most = std::max(span.most, delay);
    }
    return span;
}

struct MatchResult {
    bool ok = false;
    WindowFit start;
    WindowFit settled;
    DelaySpan startSpan;
    DelaySpan settledSpan;
    int observed = 0;  // positions seen
    Latencies latencies;
};

// Presses Left and Right in turn and times each to the first change of the own ship's pixels.
void measureTurns(WindowReader& reader, Vec2 own, int presses, Latencies& out)
{
    for (int i = 0; i < presses; ++i) {
        const KeySym key = i % 2 ? XK_Right : XK_Left;
        pause(TURN_REST);
        double t = 0.0;
        const std::vector<std::uint32_t> before = viewCopy(readerGrab(reader, reader.own, own, t));
        const double pressed = wallNow();
        readerKey(reader, key, true);
        bool held = true;
        double seen = 0.0;
        while (wallNow() < pressed + SEEN_WITHIN && (seen == 0.0 || held)) {
            if (held && wallNow() >= pressed + PRESS_HOLD) {
                readerKey(reader, key, false);
                held = false;
            }
            const PixelView view = readerGrab(reader, reader.own, own, t);
            if (seen == 0.0 && view.pixels && viewCopy(view) != before) seen = t;
            pause(POLL_PAUSE);
        }
        if (held) readerKey(reader, key, false);
        if (seen > 0.0) out.turn.push_back(seen - pressed);
        else ++out.missed;
    }
}

// Presses X every SHOT_PERIOD and times each to the first bullet at the own ship's muzzle.
void measureShots(WindowReader& reader, Vec2 own, int presses, bool turning, std::vector<double>& out, int& missed)
{
    if (turning) {
        readerKey(reader, XK_Left, true);
        pause(SHOT_HELD_TURN_WAIT);
    }
    for (int i = 0; i < presses; ++i) {
        double t = 0.0;
        const double until = wallNow() + SEEN_WITHIN;
        while (wallNow() < until) {  // the last bullet has flown off
            const PixelView view = readerGrab(reader, reader.own, own, t);
            if (view.pixels && !windowColourNear(view, BULLET_COLOUR, own, BULLETS_GONE_PX)) break;
            pause(POLL_PAUSE);
        }
        const double pressed = wallNow();
        readerKey(reader, XK_x, true);
        bool held = true;
        double seen = 0.0;
        while (wallNow() < pressed + SHOT_PERIOD) {
            if (held && wallNow() >= pressed + PRESS_HOLD) {
                readerKey(reader, XK_x, false);
                held = false;
            }
            const PixelView view = readerGrab(reader, reader.own, own, t);
            if (seen == 0.0 && view.pixels && windowColourNear(view, BULLET_COLOUR, own, MUZZLE_SEEN_PX)) seen = t;
            pause(POLL_PAUSE);
        }
        if (held) readerKey(reader, XK_x, false);
        if (seen > 0.0) out.push_back(seen - pressed);
        else ++missed;
    }
    if (turning) readerKey(reader, XK_Left, false);
}

// The dedicated host's recording in `directory`, opened.
bool hostRecordingOpen(const std::string& directory, RecordReader& reader)
{
    std::string file;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        if (entry.path().extension() == ".ndrec") file = entry.path().string();
    std::string problem;
    if (file.empty() || !recordReaderOpen(reader, file, problem)) {
        std::fprintf(stderr, "bench_window: no recording of the host in %s %s\n", directory.c_str(), problem.c_str());
        return false;
    }
    return true;
}

// The host's path of ship 0 from its recording, on the wall clock.
bool hostPath(const std::string& directory, std::vector<TimedPoint>& path)
{
    RecordReader reader;
    if (!hostRecordingOpen(directory, reader)) return false;
    const double origin = double(reader.startMillis) / 1000.0;
    std::vector<RecordEvent> events;
    MatchState match;
    matchStateInit(match);
    for (std::size_t block = 0; block < reader.blocks.size(); ++block) {
        if (!recordReaderBlock(reader, block, events)) break;
        for (const RecordEvent& event : events)
            if (event.kind == RecordKind::Snapshot && snapshotApply(match, event.snapshot))
                path.push_back({origin + event.time, match.ships[0].position});
    }
    recordReaderClose(reader);
    return !path.empty();
}

struct MatchPlan {
    LinkProfile link;
    Cadence cadence = Cadence::Fps60;
    int index = 0;        // the run's number, for its port
    double start = DEFAULT_START;
    double settled = DEFAULT_SETTLED;
    int presses = 0;      // 0: no key-to-pixel measures in this match
    std::string data;     // a folder for the paths, or empty
};

// DIR/window_<link>_<sender>.dat: the drawn and the host's path, s from the match's first frame.
void writePaths(const MatchPlan& plan, const std::vector<TimedPoint>& drawn, const std::vector<TimedPoint>& host,
                double first)
{
    const std::string path = plan.data + "/window_" + std::string(plan.link.name) + "_" +
                             CADENCE_NAMES[int(plan.cadence)] + ".dat";
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        std::fprintf(stderr, "bench_window: cannot write %s\n", path.c_str());
        return;
    }
    std::fprintf(file, "# kind time_s x_px y_px: drawn (each from when the window showed it) and host\n");
    for (const TimedPoint& point : drawn) std::fprintf(file, "drawn %.4f %.1f %.1f\n", point.t - first, point.p.x, point.p.y);
    for (const TimedPoint& point : host)
        std::fprintf(file, "host %.4f %.2f %.2f\n", point.t - first, double(point.p.x), double(point.p.y));
    std::fclose(file);
}

// The processes and links of one match: the host recording into `records`, the sender
// steering ship 0 through links[0], the window joined through links[1], focused and read.
struct Session {
    std::string records;
    Process host;
    Link links[2];
    Process sender;
    Process window;
    WindowReader reader;
};

// Ends a session in any state; the host last, whose recording is whole once it has ended.
void sessionClose(Session& session)
{
    readerClose(session.reader);
    session.window.stop();
    session.sender.stop();
    for (Link& link : session.links) linkStop(link);
    session.host.stop();
}

// Opens the session of `plan` once the sender circles; false (closed again) on a failure.
bool sessionOpen(Session& session, const Programs& programs, const std::string& display, const MatchPlan& plan)
{
    const std::uint16_t port = static_cast<std::uint16_t>(FIRST_PORT + plan.index);
    session.records = "/tmp/netduel-bench-window-" + std::to_string(getpid()) + "-" + std::to_string(plan.index);
    std::filesystem::remove_all(session.records);
    std::filesystem::create_directories(session.records);
    start(session.host, {programs.host, "--dedicated", "--port", std::to_string(port), "--record-dir", session.records},
          "");
    if (!session.host.await("Host running!")) {
        std::fprintf(stderr, "bench_window: the host on port %u did not start\n", unsigned(port));
        sessionClose(session);
        return false;
    }
    std::uint16_t linkPorts[2] = {};
    for (int i = 0; i < 2; ++i) {
        LinkConfig config;
        config.hostPort = port;
        config.impairment[LINK_TO_HOST] = config.impairment[LINK_TO_CLIENT] = plan.link.impairment;
        config.seed = std::uint64_t(plan.index * 2 + i + 1);
        if (!linkStart(session.links[i], config)) {
            sessionClose(session);
            return false;
        }
        linkPorts[i] = linkPort(session.links[i]);
    }
    start(session.sender, {programs.self, "--sender", std::to_string(linkPorts[0]), "--sender-cadence",
                           CADENCE_NAMES[int(plan.cadence)]}, "");
    if (!session.sender.await("circling")) {
        std::fprintf(stderr, "bench_window: the sender never reached the middle\n");
        sessionClose(session);
        return false;
    }
    start(session.window, {programs.window, "--join", "127.0.0.1:" + std::to_string(linkPorts[1]), "--name", "viewer"},
          display);
    const std::string on = "DISPLAY=" + display + " timeout 30 ";
    std::istringstream found(
        [&] {
            std::string text;
            if (FILE* pipe = popen((on + "xdotool search --sync --pid " + std::to_string(session.window.pid)).c_str(), "r")) {
                char buffer[64];
                while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
                pclose(pipe);
            }
            return text;
        }());
    unsigned long windowId = 0;
    if (!(found >> windowId) || !readerOpen(session.reader, display, Window(windowId))) {
        std::fprintf(stderr, "bench_window: no window to read\n");
        sessionClose(session);
        return false;
    }
    if (std::system((on + "xdotool windowfocus --sync " + std::to_string(windowId) + " >/dev/null 2>&1").c_str()) != 0)
        std::fprintf(stderr, "bench_window: the window did not take the focus\n");
    return true;
}

MatchResult playMatch(const Programs& programs, const std::string& display, const MatchPlan& plan)
{
    MatchResult result;
    Session session;
    if (!sessionOpen(session, programs, display, plan)) return result;
    WindowReader& reader = session.reader;
    const auto finish = [&] { sessionClose(session); };
    // The match as the window shows it: from its first frame that draws a snapshot.
    Vec2 ship = SHIP0_START;
    double t = 0.0;
    const double deadline = wallNow() + std::chrono::duration<double>(DEADLINE).count();
    while (!(readerShip(reader, SHIP0_COLOUR, ship, t) && distance(ship, SHIP0_START) > SEEN_FROM_START_PX)) {
        if (wallNow() > deadline) {
            std::fprintf(stderr, "bench_window: the window never drew ship 0 off its start\n");
            finish();
            return result;
        }
        pause(POLL_PAUSE);
    }
    const double first = t;
    std::vector<TimedPoint> drawn{{first, ship}};
    const double end = first + SETTLE + plan.settled;
    while (t < end) {
        pause(POLL_PAUSE);
        if (readerShip(reader, SHIP0_COLOUR, ship, t) && distance(ship, drawn.back().p) > 0.1f) drawn.push_back({t, ship});
    }
    result.observed = int(drawn.size());
    if (plan.presses > 0) {
        Vec2 own = SHIP1_START;
        if (readerShip(reader, SHIP1_COLOUR, own, t)) {
            measureTurns(reader, own, plan.presses, result.latencies);
            measureShots(reader, own, plan.presses, false, result.latencies.shot, result.latencies.missed);
            measureShots(reader, own, plan.presses, true, result.latencies.shotTurning, result.latencies.missed);
        }
    }
    finish();
    std::vector<TimedPoint> truth;
    if (!hostPath(session.records, truth)) return result;
    std::filesystem::remove_all(session.records);
    if (!plan.data.empty()) writePaths(plan, drawn, truth, first);
    result.start = windowPathCompare(drawn, truth, first, first + plan.start, DELAY_LOW, DELAY_HIGH);
    result.settled = windowPathCompare(drawn, truth, first + SETTLE, end, DELAY_LOW, DELAY_HIGH);
    result.startSpan = delaySpan(drawn, truth, first, first + plan.start);
    result.settledSpan = delaySpan(drawn, truth, first + SETTLE, end);
    result.ok = true;
    return result;
}

// --- The shooter's window ------------------------------------------------------------------
// The window holds ship 1 (drawn after ship 0, so its bullets lie on top of ship 0's body),
// reads ship 0's circle for CENTRE_SECONDS, turns to face its middle and fires every
// SHOT_PERIOD; every read of the box around ship 0 notes whether an own bullet's centre
// lies within a hit of ship 0's drawn centre, and whether ship 0 is drawn white.

constexpr double CENTRE_SECONDS = 4.0;   // s of ship 0's circle read to find its middle
constexpr float AIM_CLOSE = 0.03f;       // rad: the own nose this close to the middle is aimed
constexpr int AIM_TRIES = 12;            // turn presses at most
constexpr double AIM_TAP_MIN = 0.02;     // s: about one frame of a held turn key
constexpr double AIM_REST = 0.3;         // s after a turn press for the picture to settle
constexpr double DEFAULT_SHOOT = 30.0;   // s of shots per link
constexpr double SHOOT_TAIL = 1.0;       // s read after the last press, for its flash
// s the other ship's flash lasts: the host counts HIT_FLASH_LIMIT steps, the copy the same.
constexpr double FLASH_LENGTH = HIT_FLASH_LIMIT * SIM_STEP_MAX;

// Ship 0 in the box around `last` (its centre; white while it flashes) and the own bullets
// there, `nearest` px from it; false when the box does not hold it (then `last` is searched
// for in the window).
bool readerTarget(WindowReader& reader, Vec2& last, ShotFrame& frame, float& nearest)
{
    const PixelView view = readerGrab(reader, reader.box, last, frame.t);
    if (!view.pixels) return false;
    frame.flash = false;
    if (!windowDiscFind(view, SHIP0_COLOUR, SHIP_RADIUS, last)) {
        frame.flash = windowDiscFind(view, HIT_BLINK_COLOUR, SHIP_RADIUS, last);
        if (!frame.flash) {
            double t = 0.0;
            readerShip(reader, SHIP0_COLOUR, last, t);
            return false;
        }
    }
    nearest = 1e9f;
    frame.touch = false;
    for (const Vec2 bullet : windowDiscsFind(view, BULLET_COLOUR)) {
        nearest = std::min(nearest, distance(last, bullet));
        frame.touch = frame.touch || bulletTouches(last, bullet);
    }
    return true;
}

// The own nose as drawn: the mean way of the heading line's white pixels from the centre.
bool readerNose(WindowReader& reader, Vec2 own, Vec2& nose)
{
    double t = 0.0;
    const PixelView view = readerGrab(reader, reader.own, own, t);
    if (!view.pixels) return false;
    Vec2 sum;
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x < view.width; ++x) {
            const Vec2 way = Vec2{float(view.left + x), float(view.top + y)} - own;
            if ((view.pixels[std::size_t(y) * view.stride + x] & 0xFFFFFF) == (HIT_BLINK_COLOUR & 0xFFFFFF) &&
                length(way) <= HEADING_LENGTH + 1.0)
                sum = sum + way;
        }
    if (length(sum) < 1.0f) return false;
    nose = normalized(sum);
    return true;
}

// Signed rad from `nose` to `way`, clockwise on the screen positive.
float turnTo(Vec2 nose, Vec2 way)
{
    return std::atan2(cross(nose, way), dot(nose, way));
}

struct ShooterResult {
    bool ok = false;
    Vec2 middle;
    float radius = 0.0f;  // px: half the circle's drawn box, across and down averaged
    float aimMiss = 0.0f;  // px the nose line passes the middle by
    int shots = 0;
    ShotPairing pairing;
    int hostHits = 0;
    std::vector<double> victimDistance;  // px: the bullet from ship 0 where the host stood it at each hit
};

// The host's hits of ship 1's bullets on ship 0 between `from` and `to` (wall clock), and at
// each the distance from ship 0 where the host had it to the bullet flown to that moment.
void hostHits(const std::string& directory, double from, double to, ShooterResult& result)
{
    RecordReader reader;
    if (!hostRecordingOpen(directory, reader)) return;
    const double origin = double(reader.startMillis) / 1000.0;
    std::vector<RecordEvent> events;
    MatchState match;
    matchStateInit(match);
    MatchState before = match;
    double beforeAt = 0.0;
    for (std::size_t block = 0; block < reader.blocks.size(); ++block) {
        if (!recordReaderBlock(reader, block, events)) break;
        for (const RecordEvent& event : events) {
            if (event.kind != RecordKind::Snapshot || !snapshotApply(match, event.snapshot)) continue;
            const double at = origin + event.time;
            if (at >= from && at <= to && shipHitIsNew(before.ships[0].hitCounter, match.ships[0].hitCounter)) {
                ++result.hostHits;
                double nearest = 1e9;
                for (const Bullet& bullet : before.ships[1].bullets)
                    if (bullet.active)
                        nearest = std::min(nearest, double(distance(match.ships[0].position,
                                                                    bulletFlown(bullet, at - beforeAt))));
                if (nearest < 1e9) result.victimDistance.push_back(nearest);
            }
            before = match;
            beforeAt = at;
        }
    }
    recordReaderClose(reader);
}

// DIR/shooter_<link>.dat: every read of the shooting, s from its start.
void writeShots(const MatchPlan& plan, const std::vector<ShotFrame>& frames, const std::vector<TimedPoint>& seen,
                const std::vector<float>& nearest, double from)
{
    const std::string path = plan.data + "/shooter_" + std::string(plan.link.name) + ".dat";
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        std::fprintf(stderr, "bench_window: cannot write %s\n", path.c_str());
        return;
    }
    std::fprintf(file, "# time_s touch flash x_px y_px bullet_px: ship 0 as the shooter's window drew it, the "
                       "nearest own bullet (-1 for none)\n");
    for (std::size_t i = 0; i < frames.size(); ++i)
        std::fprintf(file, "%.4f %d %d %.1f %.1f %.1f\n", frames[i].t - from, int(frames[i].touch),
                     int(frames[i].flash), double(seen[i].p.x), double(seen[i].p.y),
                     nearest[i] < 1e8f ? double(nearest[i]) : -1.0);
    std::fclose(file);
}

ShooterResult playShooter(const Programs& programs, const std::string& display, const MatchPlan& plan,
                          double seconds)
{
    ShooterResult result;
    Session session;
    if (!sessionOpen(session, programs, display, plan)) return result;
    WindowReader& reader = session.reader;
    Vec2 own = SHIP1_START;
    Vec2 other = SHIP0_START;
    double t = 0.0;
    // The circle's middle: the middle of the box around CENTRE_SECONDS of ship 0's drawn path.
    Vec2 least{1e9f, 1e9f};
    Vec2 most{-1e9f, -1e9f};
    const double deadline = wallNow() + std::chrono::duration<double>(DEADLINE).count();
    while (!readerShip(reader, SHIP1_COLOUR, own, t) || distance(own, SHIP1_START) > SEEN_FROM_START_PX) {
        if (wallNow() > deadline) {
            std::fprintf(stderr, "bench_window: the window never drew its own ship\n");
            sessionClose(session);
            return result;
        }
        pause(POLL_PAUSE);
    }
    for (const double until = wallNow() + CENTRE_SECONDS; wallNow() < until; pause(POLL_PAUSE))
        if (readerShip(reader, SHIP0_COLOUR, other, t)) {
            least = {std::min(least.x, other.x), std::min(least.y, other.y)};
            most = {std::max(most.x, other.x), std::max(most.y, other.y)};
        }
    result.middle = (least + most) * 0.5f;
    result.radius = ((most.x - least.x) + (most.y - least.y)) / 4.0f;
    // Turn to face it: presses as long as the turn needs, learning how far one turns.
    double rate = 5.0;  // rad/s a held turn key turns, until measured
    Vec2 nose;
    for (int i = 0; i < AIM_TRIES && readerNose(reader, own, nose); ++i) {
        const float angle = turnTo(nose, result.middle - own);
        if (std::fabs(angle) < AIM_CLOSE) break;
        const double hold = std::clamp(std::fabs(angle) / rate, AIM_TAP_MIN, 0.5);
        const KeySym key = angle > 0.0f ? XK_Right : XK_Left;
        readerKey(reader, key, true);
        pause(hold);
        readerKey(reader, key, false);
        pause(AIM_REST);
        Vec2 after;
        if (!readerNose(reader, own, after)) break;
        const double turned = std::fabs(turnTo(nose, after));
        if (turned > 0.05) rate = turned / hold;
    }
    if (readerNose(reader, own, nose)) {
        const Vec2 way = result.middle - own;
        result.aimMiss = std::fabs(cross(nose, way));
    }
    // Fire every SHOT_PERIOD, each press held PRESS_HOLD, and read every frame.
    std::vector<ShotFrame> frames;
    std::vector<TimedPoint> seen;       // ship 0 at each of the frames
    std::vector<float> nearestBullet;  // px from it to the nearest own bullet, 1e9 for none
    const double from = wallNow();
    const double lastPress = from + seconds - SHOOT_TAIL;
    double nextPress = from;
    double release = 0.0;
    bool held = false;
    for (double now = from; now < from + seconds; now = wallNow()) {
        if (!held && now >= nextPress && now < lastPress) {
            readerKey(reader, XK_x, true);
            held = true;
            release = now + PRESS_HOLD;
            nextPress += SHOT_PERIOD;
            ++result.shots;
        }
        if (held && now >= release) {
            readerKey(reader, XK_x, false);
            held = false;
        }
        ShotFrame frame;
        float nearest = 0.0f;
        if (readerTarget(reader, other, frame, nearest)) {
            frames.push_back(frame);
            seen.push_back({frame.t, other});
            nearestBullet.push_back(nearest);
        }
        pause(POLL_PAUSE);
    }
    if (held) readerKey(reader, XK_x, false);
    sessionClose(session);
    result.pairing = windowShotPairing(frames, FLASH_LENGTH, WINDOW_DISPLAY_FRAME);
    if (!plan.data.empty()) writeShots(plan, frames, seen, nearestBullet, from);
    hostHits(session.records, from, from + seconds, result);
    std::filesystem::remove_all(session.records);
    result.ok = true;
    return result;
}

LinkProfile profileNamed(const std::string& name)
{
    for (const LinkProfile& known : LINK_PROFILES)
        if (known.name == name) return known;
    return {"", {}};
}

std::string shareText(int part, int whole)
{
    char text[48];
    if (whole == 0) return "0";
    std::snprintf(text, sizeof text, "%d (%.0f %%)", part, 100.0 * part / whole);
    return text;
}

int shooterMain(const Programs& programs, const std::string& display, const std::vector<std::string>& linkNames,
                Cadence cadence, double seconds, const std::string& data)
{
    std::printf("bench_window --shooter: window %s (ship 1, firing every %.2f s for %.0f s), host %s, sender %s "
                "(ship 0, circling), display %s\n\n",
                programs.window.c_str(), SHOT_PERIOD, seconds, programs.host.c_str(), CADENCE_TEXTS[int(cadence)],
                display.c_str());
    std::printf("| link | circle middle, radius px | aim misses by px | presses | bullets seen touching | of them, "
                "followed by its flash | flashes | of them, after a touch the shooter saw | host's hits | touch → "
                "flash, frames median / worst | victim's distance at the hit, median / worst px |\n"
                "|---|---|---|---|---|---|---|---|---|---|---|\n");
    std::fflush(stdout);
    int index = 0;
    for (const std::string& name : linkNames) {
        const LinkProfile profile = profileNamed(name);
        const MatchPlan plan{profile, cadence, index++, DEFAULT_START, DEFAULT_SETTLED, 0, data};
        const ShooterResult r = playShooter(programs, display, plan, seconds);
        if (!r.ok) {
            std::printf("| %s | failed |\n", name.c_str());
            continue;
        }
        std::vector<double> frames;
        for (const double s : r.pairing.touchToFlash) frames.push_back(s / WINDOW_DISPLAY_FRAME);
        char text[400];
        std::snprintf(text, sizeof text, "(%.0f, %.0f), %.0f | %.0f | %d | %d | %s | %d | %s | %d | %.1f / %.1f | "
                                         "%.1f / %.1f |",
                      double(r.middle.x), double(r.middle.y), double(r.radius), double(r.aimMiss), r.shots,
                      r.pairing.touches, shareText(r.pairing.paired, r.pairing.touches).c_str(), r.pairing.flashes,
                      shareText(r.pairing.paired, r.pairing.flashes).c_str(), r.hostHits,
                      windowPercentile(frames, 0.5), windowPercentile(frames, 1.0),
                      windowPercentile(r.victimDistance, 0.5), windowPercentile(r.victimDistance, 1.0));
        std::printf("| %s | %s\n", name.c_str(), text);
        std::fflush(stdout);
    }
    return 0;
}

// --- The tables -----------------------------------------------------------------------------

std::string fitText(const WindowFit& fit, const DelaySpan& span, double oneWay)
{
    char text[200];
    std::snprintf(text, sizeof text, "%.2f | %.2f | %.1f | %.0f ms (+%.0f) | %.0f–%.0f ms | %d | %d", fit.rms / fit.ideal,
                  fit.rms, fit.worst, fit.delay * 1000.0, (fit.delay - oneWay) * 1000.0, span.least * 1000.0,
                  span.most * 1000.0, fit.stalls, fit.jumps);
    return text;
}

std::string latencyText(const std::vector<double>& values)
{
    if (values.empty()) return "—";
    char text[64];
    std::snprintf(text, sizeof text, "%.0f / %.0f ms", windowPercentile(values, 0.5) * 1000.0,
                  windowPercentile(values, 1.0) * 1000.0);
    return text;
}

std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::stringstream stream(text);
    for (std::string item; std::getline(stream, item, ',');)
        if (!item.empty()) items.push_back(item);
    return items;
}

int usage(const char* why)
{
    std::fprintf(stderr, "bench_window: %s\nusage: bench_window [--game PATH] [--link LIST] [--sender-cadence LIST] "
                         "[--presses N] [--start S] [--settled S] [--data DIR] [--shooter [--shoot S]]\n", why);
    return 2;
}

int benchMain(const Programs& programs, const std::string& display, const std::vector<std::string>& linkNames,
              const std::vector<Cadence>& cadences, int presses, double startSeconds, double settledSeconds,
              const std::string& data)
{
    std::printf("bench_window: window %s, host %s, display %s\n\n", programs.window.c_str(), programs.host.c_str(),
                display.c_str());
    std::printf("| link | sender | first %.0f s: × ideal | RMS px | worst px | delay (above one-way) | %.1f s pieces "
                "| stalls | jumps | after %.0f s, %.0f s: × ideal | RMS px | worst px | delay (above one-way) | pieces "
                "| stalls | jumps |\n",
                startSeconds, PIECE, SETTLE, settledSeconds);
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    std::fflush(stdout);
    struct Keys {
        std::string link;
        Latencies latencies;
    };
    std::vector<Keys> keys;
    int index = 0;
    for (const std::string& name : linkNames) {
        const LinkProfile profile = profileNamed(name);
        for (std::size_t c = 0; c < cadences.size(); ++c) {
            MatchPlan plan{profile, cadences[c], index++, startSeconds, settledSeconds, c == 0 ? presses : 0, data};
            const MatchResult match = playMatch(programs, display, plan);
            if (!match.ok) {
                std::printf("| %s | %s | failed |\n", name.c_str(), CADENCE_TEXTS[int(cadences[c])]);
                continue;
            }
            std::printf("| %s | %s | %s | %s |\n", name.c_str(), CADENCE_TEXTS[int(cadences[c])],
                        fitText(match.start, match.startSpan, profile.impairment.delay).c_str(),
                        fitText(match.settled, match.settledSpan, profile.impairment.delay).c_str());
            std::fflush(stdout);
            if (plan.presses > 0) keys.push_back({name, match.latencies});
        }
    }
    if (!keys.empty()) {
        std::printf("\n| link | key → own ship turning, median / worst | X → own bullet | X → own bullet, Left held "
                    "| presses not seen |\n|---|---|---|---|---|\n");
        for (const Keys& row : keys)
            std::printf("| %s | %s | %s | %s | %d of %d |\n", row.link.c_str(), latencyText(row.latencies.turn).c_str(),
                        latencyText(row.latencies.shot).c_str(), latencyText(row.latencies.shotTurning).c_str(),
                        row.latencies.missed, presses * 3);
    }
    return 0;
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    using namespace netduel;
    Programs programs{std::filesystem::read_symlink("/proc/self/exe").string(), NETDUEL_EXE, NETDUEL_EXE};
    std::string links = "lan,good,poor,awful";
    std::string cadenceList = "60,144,bot";
    int presses = DEFAULT_PRESSES;
    double startSeconds = DEFAULT_START;
    double settledSeconds = DEFAULT_SETTLED;
    long senderPort = 0;
    std::string data;
    bool shooter = false;
    double shootSeconds = DEFAULT_SHOOT;
    const option options[] = {{"game", required_argument, nullptr, 'g'},
                              {"link", required_argument, nullptr, 'l'},
                              {"sender-cadence", required_argument, nullptr, 'c'},
                              {"presses", required_argument, nullptr, 'p'},
                              {"start", required_argument, nullptr, 's'},
                              {"settled", required_argument, nullptr, 'S'},
                              {"sender", required_argument, nullptr, 'x'},
                              {"data", required_argument, nullptr, 'd'},
                              {"shooter", no_argument, nullptr, 'f'},
                              {"shoot", required_argument, nullptr, 'F'},
                              {nullptr, 0, nullptr, 0}};
    for (int code; (code = getopt_long(argc, argv, "", options, nullptr)) != -1;) {
        if (code == 'g') programs.window = optarg;
        else if (code == 'l') links = optarg;
        else if (code == 'c') cadenceList = optarg;
        else if (code == 'p') presses = std::atoi(optarg);
        else if (code == 's') startSeconds = std::atof(optarg);
        else if (code == 'S') settledSeconds = std::atof(optarg);
        else if (code == 'x') senderPort = std::atol(optarg);
        else if (code == 'd') data = optarg;
        else if (code == 'f') shooter = true;
        else if (code == 'F') shootSeconds = std::atof(optarg);
        else return usage("unknown option");
    }
    std::vector<Cadence> cadences;
    for (const std::string& name : splitList(cadenceList)) {
        const auto known = std::find_if(std::begin(CADENCE_NAMES), std::end(CADENCE_NAMES),
                                        [&](const char* text) { return name == text; });
        if (known == std::end(CADENCE_NAMES)) return usage("a sender cadence is one of 60, 144, bot");
        cadences.push_back(Cadence(known - std::begin(CADENCE_NAMES)));
    }
    if (senderPort > 0 && senderPort < 65536 && !cadences.empty())
        return senderMain(static_cast<std::uint16_t>(senderPort), cadences.front());
    for (const std::string& name : splitList(links)) {
        LinkImpairment unused;
        if (!linkProfileFind(name, unused)) return usage("a link is one of lan, good, poor, awful");
    }
    if (shooter && (cadences.empty() || shootSeconds <= SHOOT_TAIL)) return usage("nothing to measure");
    if (!shooter && (cadences.empty() || presses < 0 || startSeconds <= 0.0 || startSeconds > SETTLE ||
                     settledSeconds <= 0.0))
        return usage("nothing to measure");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    Process xvfb;
    std::string display;
    if (!startXvfb(xvfb, display)) {
        std::fprintf(stderr, "bench_window: Xvfb did not start\n");
        return 1;
    }
    if (shooter) return shooterMain(programs, display, splitList(links), cadences.front(), shootSeconds, data);
    return benchMain(programs, display, splitList(links), cadences, presses, startSeconds, settledSeconds, data);
}
