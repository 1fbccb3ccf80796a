// Link benchmark: the real host's frame loop (60 frames/s, real ENet on loopback) and a
// real joining client behind the link emulator, for the links lan, good, poor and awful.
// The client draws every frame through clientViewFrame in three views fed the same
// snapshots: smoothing with prediction, smoothing without prediction, and neither (the
// newest snapshot as it came, `--no-smoothing`). Three patterns per link:
//   circle  the host steers ship 0 with KEY_UP|KEY_RIGHT every 0.05 s (about 209 px/s);
//   random  the host starts, stops and turns ship 0 at random (seeded);
//   own     the client steers ship 0 itself: KEY_UP|KEY_RIGHT held 0.3 s every 1.5 s;
//   shots   the client circles ship 0 and holds X for 0.09 s every 0.45 s; every fourth
//           press the host has ship 1 fire just before that press's word arrives, so
//           that the shared cooldown refuses it;
//   taps    the client taps X, Left and Up in turn, each press and release between two
//           frames, every 0.1 s, and the host counts the words that carry each.
//   fair    the host drives ship 1 to and fro across the lane ship 0's copy fires up along,
//           and that copy taps X when the ship it draws is a bullet's flight away; a second
//           copy steers nothing and holds ship 1: the victim. Each link runs with the words
//           stamped and without, and reports the touches the shooter drew (bullet within
//           10 px of the drawn ship) that the host counted, the host's hits that the
//           shooter drew, the frames from a drawn touch to the drawn flash, and the victim's
//           distance from its drawn ship to the nearest drawn bullet at each flash.
// For the other ship it compares what each frame draws, held until the next frame, with
// the host's path at the best constant delay, beside an ideal 60 fps renderer (the exact
// position at each frame, held); for the own ship it measures key-to-drawn latency, the
// distance from the host's ship 0.3 s after release and the largest correction step; for
// the own bullets, the frames from the frame that samples X to the first that draws the
// new bullet, its distance from the drawn muzzle, the largest frame step of a drawn
// bullet beyond its flight, and the shots drawn that the host never made.
// A plain main(): `bench_link [--seconds S] [--shots N] [--only PART] [--data DIR]
// [--link NAME]`: S
// seconds of measurement per run (default 10), N shots per link (default 100), PART one
// of other, own, shots, taps, fair; DIR gets link_<profile>.dat, the other ship's drawn error
// over the circle run, smoothed and with --no-smoothing; NAME runs that link alone.
#include <arpa/inet.h>
#include <getopt.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/status.h"
#include "base/timer.h"
#include "duel/match.h"
#include "duel/packet_handlers.h"
#include "duel/rewind.h"
#include "duel/simulate.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"
#include "link/link.h"
#include "shell/host.h"
#include "view/client_view.h"
#include "view/control_outbox.h"

#include "window_path.h"

namespace netduel {
namespace {

constexpr std::uint16_t FIRST_PORT = 49400;    // two a run (host, link), up to 49423
constexpr std::uint16_t TIMING_PORT = 49450;   // and 49451: the emulator timed alone
constexpr std::uint16_t SHOT_FIRST_PORT = 44110;  // shots and taps: two a run, up to 44125
constexpr double DEFAULT_SECONDS = 10.0;
constexpr double FRAME = 1.0 / 60.0;           // both copies draw at the display's 60 Hz
constexpr double CLIENT_PHASE = FRAME / 2.0;   // the joiner's frames fall between the host's
constexpr double CONTROL_PERIOD = CONTROL_SEND_INTERVAL;  // s between control words
constexpr KeyFlags CIRCLE_WORD = KEY_UP | KEY_RIGHT;
constexpr double CONNECT_SECONDS = 20.0;
constexpr double WARM_UP = 4.0;                // s of snapshots before measuring: delays settle (the
                                               // playout delay shrinks only after 3 s of calm) …
constexpr double SHOT_WARM_UP = 1.5;           // … which the shots and taps do not wait for
constexpr double RANDOM_SEGMENT_MIN = 0.15;    // s a random control lasts, at least …
constexpr double RANDOM_SEGMENT_MAX = 0.8;     // … and at most
constexpr double PRESS_PERIOD = 1.5;           // own ship: a press every 1.5 s (at rest between) …
constexpr double PRESS_HOLD = 0.3;             // … held this long
constexpr double RELEASE_CHECK = 0.3;          // s after release the distance is taken
constexpr Vec2 SHIP_START{512.0f, 414.0f};     // the arena's middle, far from the walls
constexpr int DEFAULT_SHOTS = 100;
constexpr double SHOT_PERIOD = 0.45;           // s: X pressed this often …
constexpr double SHOT_HOLD = 0.09;             // … and held this long, as a quick player does
constexpr int FORCED_EVERY = 4;                // every fourth press meets the other ship's shot
constexpr double FORCED_LEAD = 0.04;           // s: the other ship fires this long before the word lands
constexpr double TAP_PERIOD = 0.1;             // s between two taps (X, Left, Up in turn)
constexpr KeyFlags TAP_BITS[] = {KEY_FIRE, KEY_LEFT, KEY_UP};

// Measures.
constexpr double SAMPLE_STEP = 0.0025;         // s: the held picture is compared 400 times a second
constexpr double DELAY_LOW = -0.3;             // s: a predicted ship leads the host's
constexpr double DELAY_HIGH = 0.5;
constexpr int STALL_FRAMES = 4;                // drawn still this many frames …
constexpr float STALL_MOVE_PX = 6.0f;          // … while the host's ship moved more
constexpr double JUMP_FACTOR = 3.0;            // a frame step this many times the expected …
constexpr float JUMP_SLACK_PX = 2.0f;          // … plus this is a jump
constexpr float MOVED_PX = 1.0f;               // a frame step this long: the own ship answered its key
constexpr double CORRECTION_WINDOW = 0.05;     // s: timing leeway when a step is matched to the host's

enum class Pattern { Circle, Random, Own, Shots, Taps };
const char* const PATTERN_NAMES[] = {"circle", "random", "own", "shots", "taps"};

enum ViewKind { VIEW_PREDICTED, VIEW_SMOOTHED, VIEW_NEWEST, VIEW_KINDS };
const char* const VIEW_NAMES[] = {"smoothing+prediction", "--no-prediction", "--no-smoothing"};

using Timed = TimedPoint;  // s of the program clock

// Three views of one client, every snapshot handed to each.
struct Views {
    ClientView view[VIEW_KINDS];
    MatchState match[VIEW_KINDS];
    double clock = 0.0;  // s: the joiner's frame clock, at which what it hears arrived
};

// A bullet of ship 0 as the host fired it.
struct HostShot {
    double t = 0.0;  // s, the host frame that fired it
    Vec2 direction;
};

struct Traces {
    std::vector<Timed> truth;       // the host's ship 0 after each host frame
    std::vector<double> frames;     // the client's frame times while measuring
    std::vector<Vec2> drawn[VIEW_KINDS];
    std::vector<Ship> drawnShip[VIEW_KINDS];  // shots: ship 0 whole, as drawn
    std::vector<double> playout;    // s: the smoothed view's playout delay in each frame
    std::vector<int> presses;       // frame indices at which the key became held
    std::vector<double> releases;   // s
    std::vector<bool> forced;       // shots: the press met the other ship's shot
    std::vector<HostShot> hostShots;
    std::vector<std::pair<int, double>> fireSent;  // shots: (press, s) of each word with fire
    std::vector<double> fireArrived;  // s: the host served a word with fire
    int tapped[std::size(TAP_BITS)] = {};  // taps: pressed, per kind
    int arrived[std::size(TAP_BITS)] = {}; // taps: words the host received carrying it
    double roundTrip = 0.0;         // s, ENet's mean at the end
    LinkCounts counts[2];
};

// The host's control-word handler, counting the tapped bits of the words it serves.
Traces* hostCounting = nullptr;

std::int32_t countingKeyHandler(PacketEvent& event)
{
    KeyFlags word = 0;
    if (hostCounting && event.event->channelID == CHANNEL_CONTROL &&
        controlDecode(packetBytes(*event.event), word)) {
        for (std::size_t i = 0; i < std::size(TAP_BITS); ++i) hostCounting->arrived[i] += (word & TAP_BITS[i]) != 0;
        if (word & KEY_FIRE) hostCounting->fireArrived.push_back(timerSeconds());
    }
    return serverKeyHandler(event);
}

// Arriving at the joiner's frame clock.
std::int32_t snapshotToEveryView(PacketEvent& event)
{
    if (event.event->channelID != CHANNEL_SNAPSHOT) return 0;
    auto* views = static_cast<Views*>(event.client->userData);
    for (ClientView& view : views->view) clientViewReceive(view, packetBytes(*event.event), views->clock);
    return 0;
}

void viewsReset(Views& views, Pattern pattern)
{
    for (int kind = 0; kind < VIEW_KINDS; ++kind) {
        ClientView& view = views.view[kind];
        clientViewReset(view, &views.match[kind]);
        clientViewSetSlot(view, pattern == Pattern::Own || pattern == Pattern::Shots ? 0 : -1);
        view.smoothed.smoothing = kind != VIEW_NEWEST;
        view.prediction = kind == VIEW_PREDICTED;
    }
}

// The host's hand on ship 0 for the circle and random patterns.
struct Steering {
    std::mt19937 random{20261207};
    KeyFlags word = CIRCLE_WORD;
    double segmentEnd = 0.0;
    double nextWord = 0.0;
};

void steer(Steering& steering, Pattern pattern, Ship& ship, double now)
{
    static constexpr KeyFlags RANDOM_WORDS[] = {0, KEY_UP, KEY_UP | KEY_LEFT, KEY_UP | KEY_RIGHT,
                                                KEY_LEFT, KEY_RIGHT, KEY_UP, 0};
    if (pattern != Pattern::Circle && pattern != Pattern::Random) return;
    if (pattern == Pattern::Random && now >= steering.segmentEnd) {
        std::uniform_int_distribution<int> pick(0, int(std::size(RANDOM_WORDS)) - 1);
        std::uniform_real_distribution<double> length(RANDOM_SEGMENT_MIN, RANDOM_SEGMENT_MAX);
        steering.word = RANDOM_WORDS[pick(steering.random)];
        steering.segmentEnd = now + length(steering.random);
    }
    if (steering.word == 0 || now < steering.nextWord) return;
    shipApplyControl(ship, steering.word);
    steering.nextWord = now + CONTROL_PERIOD;
}

// Everything one run owns; destroyed whole whatever happened.
struct Run {
    LobbyServer server;
    MatchState hostMatch;
    Link link;
    LobbyClient client;
    Views views;
    ~Run()
    {
        lobbyClientDestroy(client);
        lobbyServerDestroy(server);
        linkStop(link);
    }
};

// The emulator on `port` + 1 in front of the host on `port`, the same each way.
bool linkToHost(Link& link, const LinkImpairment& impairment, std::uint16_t port)
{
    LinkConfig config;
    config.listenPort = std::uint16_t(port + 1);
    config.hostPort = port;
    config.impairment[LINK_TO_HOST] = config.impairment[LINK_TO_CLIENT] = impairment;
    config.seed = port;
    return linkStart(link, config);
}

bool runStart(Run& run, const LinkImpairment& impairment, Pattern pattern, std::uint16_t port)
{
    hostMatchStart(run.hostMatch);
    run.hostMatch.ships[0].position = SHIP_START;
    if (!hostCreate(run.server, run.hostMatch, port)) return false;
    lobbyServerSetCallback(run.server, countingKeyHandler);
    if (!linkToHost(run.link, impairment, port)) return false;
    viewsReset(run.views, pattern);
    lobbyClientSetCallback(run.client, snapshotToEveryView);
    lobbyClientSetUserData(run.client, &run.views);
    return lobbyClientConnect(run.client, "127.0.0.1", linkPort(run.link), CLIENT_CHANNELS);
}

// The joiner's frame loop state.
struct Joiner {
    bool toggle = false;
    double last = 0.0;
    ControlOutbox outbox;
    bool held = false;      // the pattern's key (own: the circle word; shots: X)
    int presses = 0;        // shots: X presses so far
    bool forcing = false;   // shots: this press's first fire word is to meet ship 1's shot
    int taps = 0;           // taps so far
    double forcedFire = -1.0;  // s: when the host has ship 1 fire; < 0: not asked
};

// What the pattern holds in a frame at `now`; a press also goes to the outbox, which
// carries it in the next word whatever is held then.
KeyFlags joinerKeys(Joiner& joiner, Pattern pattern, bool measuring, double since, Traces& traces,
                    double now)
{
    if (!measuring) return pattern == Pattern::Shots ? CIRCLE_WORD : 0;
    if (pattern == Pattern::Taps) {
        const int due = int(since / TAP_PERIOD);
        if (due >= joiner.taps) {  // pressed and let go since the last frame
            const std::size_t kind = std::size_t(joiner.taps) % std::size(TAP_BITS);
            controlOutboxPress(joiner.outbox, TAP_BITS[kind]);
            ++traces.tapped[kind];
            joiner.taps = due + 1;
        }
        return 0;
    }
    const double period = pattern == Pattern::Own ? PRESS_PERIOD : SHOT_PERIOD;
    const double hold = pattern == Pattern::Own ? PRESS_HOLD : SHOT_HOLD;
    const bool held = pattern != Pattern::Circle && pattern != Pattern::Random &&
                      std::fmod(since, period) < hold;
    if (held && !joiner.held) {
        traces.presses.push_back(int(traces.frames.size()));
        if (pattern == Pattern::Shots) {
            joiner.forcing = ++joiner.presses % FORCED_EVERY == 0;
            traces.forced.push_back(joiner.forcing);
            controlOutboxPress(joiner.outbox, KEY_FIRE);
        }
    }
    if (!held && joiner.held) traces.releases.push_back(now);
    joiner.held = held;
    if (pattern == Pattern::Shots) return CIRCLE_WORD | (held ? KEY_FIRE : 0);
    return held ? CIRCLE_WORD : 0;
}

void joinerFrame(Run& run, Joiner& joiner, Pattern pattern, const LinkImpairment& impairment,
                 bool measuring, double measureStart, Traces& traces)
{
    const double now = timerSeconds();
    const double frameDt = joiner.last - now;
    joiner.last = now;
    joiner.toggle = !joiner.toggle;
    run.views.clock = now;
    lobbyClientService(run.client);
    const double roundTrip = lobbyClientRoundTrip(run.client).mean;
    for (ClientView& view : run.views.view) view.roundTrip = roundTrip;
    const KeyFlags held = joinerKeys(joiner, pattern, measuring, now - measureStart, traces, now);
    // As the game does: every second frame, at most every CONTROL_PERIOD, while a key is
    // held or a press waits; flushed at once.
    if (const auto word = controlOutboxDue(joiner.outbox, held, joiner.toggle, now)) {
        if (lobbyClientSendBytes(run.client, CHANNEL_CONTROL, controlEncode(*word), false)) {
            enet_host_flush(run.client.host);
            for (ClientView& view : run.views.view) clientViewControlSent(view, *word, now);
            if ((*word & KEY_FIRE) && measuring) traces.fireSent.emplace_back(int(traces.presses.size()) - 1, now);
            if ((*word & KEY_FIRE) && joiner.forcing) {
                joiner.forcedFire = now + impairment.delay - FORCED_LEAD;
                joiner.forcing = false;
            }
        }
    }
    for (int kind = 0; kind < VIEW_KINDS; ++kind) {
        const MatchState& drawn = clientViewFrame(run.views.view[kind], frameDt, now);
        if (!measuring) continue;
        traces.drawn[kind].push_back(drawn.ships[0].position);
        if (kind == VIEW_SMOOTHED) traces.playout.push_back(run.views.view[kind].smoothed.delay);
        if (pattern == Pattern::Shots) traces.drawnShip[kind].push_back(drawn.ships[0]);
    }
    if (measuring) traces.frames.push_back(now);
}

// New bullets of ship 0 in the host's match since its last frame.
void hostShotsSeen(const Ship& before, const Ship& after, double now, Traces& traces)
{
    for (int j = 0; j < BULLETS_PER_SHIP; ++j) {
        const Bullet& b = after.bullets[j];
        if (b.active && (!before.bullets[j].active || !(b.direction == before.bullets[j].direction)))
            traces.hostShots.push_back({now, b.direction});
    }
}

void sleepUntil(double when)
{
    const double wait = when - timerSeconds();
    if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
}

// One run: connect through the link, warm up, then `seconds` of measured frames.
bool runOnce(const LinkImpairment& impairment, Pattern pattern, double seconds, std::uint16_t port,
             Traces& traces)
{
    Run run;
    hostCounting = &traces;
    if (!runStart(run, impairment, pattern, port)) return false;
    Steering steering;
    Joiner joiner;
    bool hostToggle = false;
    double hostLast = timerSeconds(), hostDt = 0.0, carry = 0.0;
    double hostNext = hostLast + FRAME, clientNext = hostNext + CLIENT_PHASE;
    joiner.last = hostLast;
    const double connectDeadline = hostLast + CONNECT_SECONDS;
    double measureStart = -1.0;
    for (;;) {
        sleepUntil(std::min(hostNext, clientNext));
        const double now = timerSeconds();
        const double warmUp = pattern == Pattern::Shots || pattern == Pattern::Taps ? SHOT_WARM_UP : WARM_UP;
        if (measureStart < 0 && run.views.view[0].smoothed.received > 0) measureStart = now + warmUp;
        if (measureStart < 0 && now > connectDeadline) return false;
        if (measureStart >= 0 && now >= measureStart + seconds) break;
        if (now >= hostNext) {
            hostClockAdvance(hostToggle, hostLast, hostDt);
            steer(steering, pattern, run.hostMatch.ships[0], hostLast);
            if (joiner.forcedFire >= 0.0 && hostLast >= joiner.forcedFire) {
                shipApplyControl(run.hostMatch.ships[1], KEY_FIRE);
                joiner.forcedFire = -1.0;
            }
            const Ship before = run.hostMatch.ships[0];
            hostFrame(run.server, run.hostMatch, hostDt, hostToggle, carry);
            traces.truth.push_back({timerSeconds(), run.hostMatch.ships[0].position});
            hostShotsSeen(before, run.hostMatch.ships[0], timerSeconds(), traces);
            hostNext = std::max(hostNext + FRAME, now);
        }
        if (now >= clientNext) {
            joinerFrame(run, joiner, pattern, impairment, measureStart >= 0 && now >= measureStart,
                        measureStart, traces);
            clientNext = std::max(clientNext + FRAME, now);
        }
    }
    // Words still on their way are let in before the host's count is read.
    for (const double until = timerSeconds() + 2.0 * (impairment.delay + impairment.jitter) + 0.1;
         timerSeconds() < until;) {
        lobbyServerService(run.server);
        sleepUntil(timerSeconds() + 0.002);
    }
    hostCounting = nullptr;
    traces.roundTrip = lobbyClientRoundTrip(run.client).mean;
    traces.counts[LINK_TO_HOST] = linkCounts(run.link, LINK_TO_HOST);
    traces.counts[LINK_TO_CLIENT] = linkCounts(run.link, LINK_TO_CLIENT);
    return !traces.frames.empty();
}

// --- Measures over the traces ---------------------------------------------------------------

struct Fit {
    double delay = 0.0;  // s
    double rms = 0.0;    // px
    double worst = 0.0;  // px
};

// Each drawn position held until the next frame, against the host's path `delay` behind.
Fit heldError(const std::vector<double>& frames, const std::vector<Vec2>& drawn,
              const std::vector<Timed>& truth, double delay)
{
    Fit fit{delay, 0.0, 0.0};
    double sum = 0.0;
    long samples = 0;
    std::size_t frame = 0;
    for (double t = frames.front(); t < frames.back(); t += SAMPLE_STEP) {
        while (frame + 1 < frames.size() && frames[frame + 1] <= t) ++frame;
        const double error = distance(drawn[frame], windowPathAt(truth, t - delay));
        sum += error * error;
        fit.worst = std::max(fit.worst, error);
        ++samples;
    }
    fit.rms = std::sqrt(sum / double(std::max(samples, 1L)));
    return fit;
}

// The constant delay that makes the held picture closest to the host's path.
Fit bestFit(const std::vector<double>& frames, const std::vector<Vec2>& drawn,
            const std::vector<Timed>& truth)
{
    Fit best = heldError(frames, drawn, truth, 0.0);
    for (double delay = DELAY_LOW; delay <= DELAY_HIGH; delay += 0.001) {
        const Fit fit = heldError(frames, drawn, truth, delay);
        if (fit.rms < best.rms) best = fit;
    }
    const double coarse = best.delay;
    for (double delay = coarse - 0.001; delay <= coarse + 0.001; delay += 0.0001) {
        const Fit fit = heldError(frames, drawn, truth, delay);
        if (fit.rms < best.rms) best = fit;
    }
    return best;
}

// Runs of STALL_FRAMES or more identical drawn frames while the host's ship moved.
int stalls(const std::vector<double>& frames, const std::vector<Vec2>& drawn,
           const std::vector<Timed>& truth, double delay)
{
    int count = 0;
    std::size_t start = 0;
    for (std::size_t f = 1; f <= drawn.size(); ++f) {
        if (f < drawn.size() && distance(drawn[f], drawn[start]) < 0.01f) continue;
        const std::size_t end = f - 1;
        if (int(end - start + 1) >= STALL_FRAMES &&
            distance(windowPathAt(truth, frames[end] - delay), windowPathAt(truth, frames[start] - delay)) > STALL_MOVE_PX)
            ++count;
        start = f;
    }
    return count;
}

// The host's motion over frame f's interval, `delay` behind.
Vec2 truthStep(const std::vector<double>& frames, const std::vector<Timed>& truth, std::size_t f,
               double delay)
{
    const Vec2 a = windowPathAt(truth, frames[f - 1] - delay);
    const Vec2 b = windowPathAt(truth, frames[f] - delay);
    return {b.x - a.x, b.y - a.y};
}

int jumps(const std::vector<double>& frames, const std::vector<Vec2>& drawn,
          const std::vector<Timed>& truth, double delay)
{
    int count = 0;
    for (std::size_t f = 1; f < drawn.size(); ++f) {
        const Vec2 expected = truthStep(frames, truth, f, delay);
        const float step = distance(drawn[f], drawn[f - 1]);
        count += step > JUMP_FACTOR * std::hypot(expected.x, expected.y) + JUMP_SLACK_PX;
    }
    return count;
}

// The largest part of a frame's step that no motion of the host's ship explains, at the
// best delay give or take CORRECTION_WINDOW.
double largestCorrection(const std::vector<double>& frames, const std::vector<Vec2>& drawn,
                         const std::vector<Timed>& truth, double delay)
{
    double largest = 0.0;
    for (std::size_t f = 1; f < drawn.size(); ++f) {
        const Vec2 step{drawn[f].x - drawn[f - 1].x, drawn[f].y - drawn[f - 1].y};
        double least = 1e9;
        for (double d = delay - CORRECTION_WINDOW; d <= delay + CORRECTION_WINDOW; d += 0.002) {
            const Vec2 host = truthStep(frames, truth, f, d);
            least = std::min(least, double(std::hypot(step.x - host.x, step.y - host.y)));
        }
        largest = std::max(largest, least);
    }
    return largest;
}

struct OwnMeasures {
    double latencyMedian = 0.0, latencyMax = 0.0;  // frames
    double offMean = 0.0, offMax = 0.0;            // px, RELEASE_CHECK after release
    double correction = 0.0;                       // px
};

OwnMeasures ownMeasures(const Traces& traces, ViewKind kind, double delay)
{
    const std::vector<Vec2>& drawn = traces.drawn[kind];
    OwnMeasures out;
    std::vector<int> latencies;
    for (int press : traces.presses) {
        if (press < 1) continue;
        for (std::size_t f = std::size_t(press); f < drawn.size(); ++f) {
            if (distance(drawn[f], drawn[f - 1]) <= MOVED_PX) continue;
            latencies.push_back(int(f) - press);
            break;
        }
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
        out.latencyMedian = latencies[latencies.size() / 2];
        out.latencyMax = latencies.back();
    }
    int offs = 0;
    for (double release : traces.releases) {
        const auto at = std::lower_bound(traces.frames.begin(), traces.frames.end(), release + RELEASE_CHECK);
        if (at == traces.frames.end()) continue;
        const std::size_t f = std::size_t(at - traces.frames.begin());
        const double off = distance(drawn[f], windowPathAt(traces.truth, traces.frames[f]));
        out.offMean += off;
        out.offMax = std::max(out.offMax, off);
        ++offs;
    }
    out.offMean /= std::max(offs, 1);
    out.correction = largestCorrection(traces.frames, drawn, traces.truth, delay);
    return out;
}

// --- The own bullets ---------------------------------------------------------------------------

// A drawn bullet the host made ends flying the host's bullet's direction exactly; within
// this window of its start the circling ship turns far more than this cosine allows.
constexpr double SHOT_MATCH_WINDOW = 0.3;      // s between a drawn bullet's start and the host's shot
constexpr float SHOT_SAME_DIRECTION = 0.9995f; // cosine between their directions
constexpr float SHOT_NEW_BULLET_PX = 60.0f;  // a frame step this long is another bullet in the slot
constexpr int SHOT_LATENCY_MAX = 60;         // frames: no bullet within a second counts as none

Vec2 muzzleOf(const Ship& ship)
{
    return ship.position - Vec2(std::sin(double(ship.heading)), std::cos(double(ship.heading))) * MUZZLE_OFFSET;
}

bool bulletNewAt(const std::vector<Ship>& drawn, std::size_t f, int j)
{
    const Bullet& b = drawn[f].bullets[j];
    if (!b.active) return false;
    if (f == 0) return true;
    const Bullet& was = drawn[f - 1].bullets[j];
    return !was.active || distance(was.position, b.position) > SHOT_NEW_BULLET_PX;
}

struct ShotMeasures {
    std::vector<double> latency;   // frames
    std::vector<double> muzzle;    // px
    double step = 0.0;             // px, largest frame step beyond the flight
    int phantoms = 0;              // drawn, never fired by the host, after an unforced press
    int forcedPhantoms = 0;
    double longestPhantom = 0.0;   // s, of the forced ones
    int pressed = 0, forced = 0;
    int unheard = 0;               // unforced presses none of whose fire words reached the host
};

constexpr double FIRE_HEARD_WITHIN = 0.3;  // s after its word left, a host hears it or never

int pressesUnheard(const Traces& traces)
{
    int unheard = 0;
    for (std::size_t i = 0; i < traces.presses.size(); ++i) {
        if (traces.forced[i]) continue;
        bool heard = false;
        for (const auto& [press, sent] : traces.fireSent) {
            if (press != int(i)) continue;
            heard = heard || std::any_of(traces.fireArrived.begin(), traces.fireArrived.end(),
                                         [&](double t) { return t >= sent && t < sent + FIRE_HEARD_WITHIN; });
        }
        unheard += !heard;
    }
    return unheard;
}

double median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double largest(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

// Whether the press before the frame at `t` met the other ship's shot.
bool forcedBefore(const Traces& traces, double t)
{
    bool forced = false;
    for (std::size_t i = 0; i < traces.presses.size() && traces.frames[traces.presses[i]] <= t; ++i)
        forced = traces.forced[i];
    return forced;
}

ShotMeasures shotMeasures(const Traces& traces, ViewKind kind)
{
    const std::vector<Ship>& drawn = traces.drawnShip[kind];
    const std::vector<double>& frames = traces.frames;
    ShotMeasures out;
    out.unheard = pressesUnheard(traces);
    for (std::size_t i = 0; i < traces.presses.size(); ++i) {
        ++(traces.forced[i] ? out.forced : out.pressed);
        if (traces.forced[i]) continue;
        const std::size_t press = std::size_t(traces.presses[i]);
        for (std::size_t f = press; f < drawn.size() && f < press + SHOT_LATENCY_MAX; ++f) {
            int fresh = -1;
            for (int j = 0; j < BULLETS_PER_SHIP && fresh < 0; ++j) fresh = bulletNewAt(drawn, f, j) ? j : -1;
            if (fresh < 0) continue;
            out.latency.push_back(double(f - press));
            out.muzzle.push_back(distance(drawn[f].bullets[fresh].position, muzzleOf(drawn[f])));
            break;
        }
    }
    constexpr std::size_t NONE = ~std::size_t(0);
    for (int j = 0; j < BULLETS_PER_SHIP; ++j) {
        std::size_t start = NONE;  // the frame the slot's current bullet was first drawn in
        for (std::size_t f = 0; f <= drawn.size(); ++f) {
            const bool active = f < drawn.size() && drawn[f].bullets[j].active;
            if (active && start != NONE && !bulletNewAt(drawn, f, j)) {
                const Bullet& b = drawn[f].bullets[j];
                const Vec2 flown = drawn[f - 1].bullets[j].position +
                                   b.direction * -BULLET_SPEED * (frames[f] - frames[f - 1]);
                out.step = std::max(out.step, double(distance(flown, b.position)));
                continue;
            }
            if (start != NONE) {
                const Bullet& last = drawn[f - 1].bullets[j];
                const bool fired = std::any_of(traces.hostShots.begin(), traces.hostShots.end(), [&](const HostShot& shot) {
                    return std::fabs(shot.t - frames[start]) < SHOT_MATCH_WINDOW &&
                           dot(shot.direction, last.direction) > SHOT_SAME_DIRECTION;
                });
                if (!fired && forcedBefore(traces, frames[start])) {
                    ++out.forcedPhantoms;
                    out.longestPhantom = std::max(out.longestPhantom, frames[f - 1] - frames[start] + FRAME);
                } else if (!fired) {
                    ++out.phantoms;
                }
            }
            start = active ? f : NONE;
        }
    }
    return out;
}

void reportShots(const char* link, const Traces& traces)
{
    for (ViewKind kind : {VIEW_PREDICTED, VIEW_SMOOTHED}) {
        const ShotMeasures m = shotMeasures(traces, kind);
        std::printf("%-6s %-21s %5.0f %4.0f %5zu/%-3d %6.1f %5.1f %7.1f %5d/%-3d %5d %4d/%-3d %7.0f %7.0f\n",
                    link, VIEW_NAMES[kind], median(m.latency), largest(m.latency), m.latency.size(), m.pressed,
                    median(m.muzzle), largest(m.muzzle), m.step, m.phantoms, m.pressed, m.unheard,
                    m.forcedPhantoms, m.forced, m.longestPhantom * 1000.0, (traces.roundTrip + 0.1) * 1000.0);
    }
    std::fflush(stdout);
}

void reportTaps(const char* link, const Traces& traces)
{
    std::printf("%-6s", link);
    for (std::size_t i = 0; i < std::size(TAP_BITS); ++i)
        std::printf("   %3d of %3d", traces.arrived[i], traces.tapped[i]);
    std::printf("   (words to the host: %llu sent by the link, %llu dropped)\n",
                (unsigned long long)traces.counts[LINK_TO_HOST].sent,
                (unsigned long long)traces.counts[LINK_TO_HOST].dropped);
    std::fflush(stdout);
}

// --- Report --------------------------------------------------------------------------------

void reportOther(const char* link, Pattern pattern, const Traces& traces)
{
    std::vector<Vec2> ideal;
    for (double t : traces.frames) ideal.push_back(windowPathAt(traces.truth, t));
    const Fit idealFit = bestFit(traces.frames, ideal, traces.truth);
    for (ViewKind kind : {VIEW_SMOOTHED, VIEW_NEWEST}) {
        const std::vector<Vec2>& drawn = traces.drawn[kind];
        const Fit fit = bestFit(traces.frames, drawn, traces.truth);
        std::printf("%-6s %-7s %-16s %7.2f %6.2f %8.1f %6d %6d %8.0f", link, PATTERN_NAMES[int(pattern)],
                    kind == VIEW_SMOOTHED ? "smoothing" : VIEW_NAMES[kind], fit.rms, fit.rms / idealFit.rms,
                    fit.worst, stalls(traces.frames, drawn, traces.truth, fit.delay),
                    jumps(traces.frames, drawn, traces.truth, fit.delay), fit.delay * 1000.0);
        if (kind == VIEW_SMOOTHED) {
            const auto [least, most] = std::minmax_element(traces.playout.begin(), traces.playout.end());
            std::printf("   %3.0f-%3.0f", *least * 1000.0, *most * 1000.0);
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}

void reportOwn(const char* link, const Traces& traces)
{
    for (int kind = 0; kind < VIEW_KINDS; ++kind) {
        const Fit fit = bestFit(traces.frames, traces.drawn[kind], traces.truth);
        const OwnMeasures own = ownMeasures(traces, ViewKind(kind), fit.delay);
        std::printf("%-6s %-21s %6.0f %6.0f %8.1f %8.1f %10.1f %8.0f\n", link, VIEW_NAMES[kind],
                    own.latencyMedian, own.latencyMax, own.offMean, own.offMax, own.correction,
                    fit.delay * 1000.0);
    }
    std::fflush(stdout);
}

// Frames that came LATE_FRAMES or more late, and the longest gap (s): a loaded machine's
// own stutter, which no view can hide, shows here.
constexpr double LATE_FRAMES = 1.5;

std::pair<int, double> lateFrames(const std::vector<double>& times)
{
    int late = 0;
    double longest = 0.0;
    for (std::size_t i = 1; i < times.size(); ++i) {
        late += times[i] - times[i - 1] >= LATE_FRAMES * FRAME;
        longest = std::max(longest, times[i] - times[i - 1]);
    }
    return {late, longest};
}

void reportCounts(const char* link, Pattern pattern, const Traces& traces)
{
    const LinkCounts& up = traces.counts[LINK_TO_HOST];
    const LinkCounts& down = traces.counts[LINK_TO_CLIENT];
    std::vector<double> hostTimes;
    for (const Timed& sample : traces.truth) {
        if (sample.t >= traces.frames.front()) hostTimes.push_back(sample.t);
    }
    const auto [hostLate, hostGap] = lateFrames(hostTimes);
    const auto [clientLate, clientGap] = lateFrames(traces.frames);
    std::printf("#  %s %s: to host %llu sent %llu dropped; to client %llu sent %llu dropped; "
                "late frames: host %d (longest %.0f ms), client %d (%.0f ms)\n",
                link, PATTERN_NAMES[int(pattern)], (unsigned long long)up.sent,
                (unsigned long long)up.dropped, (unsigned long long)down.sent,
                (unsigned long long)down.dropped, hostLate, hostGap * 1000.0, clientLate,
                clientGap * 1000.0);
}

// --- The emulator's own timing ----------------------------------------------------------------

constexpr int TIMING_PROBES = 2000;
constexpr double TIMING_DELAY = 0.020;       // s, fixed: every probe is due exactly this late
constexpr double TIMING_SPACING = 0.002;     // s between probes

int loopbackSocket(std::uint16_t port, sockaddr_in& address)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return fd;
}

// Probes stamped with their send time cross a link of TIMING_DELAY; how late each arrives.
void reportTiming()
{
    sockaddr_in hostAddress{}, linkAddress{};
    const int host = loopbackSocket(TIMING_PORT, hostAddress);
    const int client = loopbackSocket(TIMING_PORT + 1, linkAddress);
    Link link;
    LinkConfig config;
    config.listenPort = TIMING_PORT + 1;
    config.hostPort = TIMING_PORT;
    config.impairment[LINK_TO_HOST].delay = TIMING_DELAY;
    std::vector<double> late;
    const timeval patience{1, 0};  // s the receiver waits for a straggler
    setsockopt(host, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    if (bind(host, reinterpret_cast<sockaddr*>(&hostAddress), sizeof hostAddress) == 0 &&
        linkStart(link, config)) {
        // Its own thread, blocked in recv, so that each arrival is stamped the moment it lands.
        std::thread receiver([&] {
            double sent = 0.0;
            while (late.size() < TIMING_PROBES && recv(host, &sent, sizeof sent, 0) == ssize_t(sizeof sent))
                late.push_back(timerSeconds() - sent - TIMING_DELAY);
        });
        for (int i = 0; i < TIMING_PROBES; ++i) {
            const double sent = timerSeconds();
            sendto(client, &sent, sizeof sent, 0, reinterpret_cast<sockaddr*>(&linkAddress), sizeof linkAddress);
            sleepUntil(sent + TIMING_SPACING);
        }
        receiver.join();
    }
    linkStop(link);
    close(host);
    close(client);
    std::sort(late.begin(), late.end());
    if (late.empty()) {
        std::printf("Emulator timing: no probe arrived\n");
        return;
    }
    auto at = [&](double q) { return late[std::size_t(q * double(late.size() - 1))] * 1000.0; };
    std::printf("Emulator timing, %zu of %d probes through a fixed %.0f ms: arrival past due "
                "min %.2f, median %.2f, 99th %.2f, max %.2f ms\n\n", late.size(), TIMING_PROBES,
                TIMING_DELAY * 1000.0, at(0.0), at(0.5), at(0.99), at(1.0));
}


// --- The fair pattern: what the shooter saw hit against what the host counted -----------------

constexpr std::uint16_t FAIR_FIRST_PORT = 44130;  // two a run, stamped and not, up to 44145
constexpr Vec2 FAIR_GUN{512.0f, 480.0f};          // ship 0, the shooter, firing up the lane
constexpr float FAIR_LANE_Y = 300.0f;             // ship 1 driven to and fro across it
constexpr float FAIR_SWING = 150.0f;              // px either side of the lane it turns back at
constexpr double FAIR_FLIGHT = (FAIR_GUN.y - MUZZLE_OFFSET - FAIR_LANE_Y) / BULLET_SPEED;
constexpr float FAIR_AIM_SLACK = 3.0f;            // px: about a frame of ship 1's way
constexpr double FAIR_PAIRED = 0.5;               // s: a touch and a hit by the same slot this near are one shot

struct SlotAt {
    int slot;
    double at;  // s, the program clock
};

// One copy that joined: the shooter (slot 0) or the victim (slot 1), which steers nothing.
struct FairCopy {
    LobbyClient client;
    MatchState match;
    ClientView view;
    double clock = 0.0;
    double last = 0.0;
    bool toggle = false;
};

std::int32_t fairSnapshot(PacketEvent& event)
{
    auto* copy = static_cast<FairCopy*>(event.client->userData);
    if (event.event->channelID == CHANNEL_SNAPSHOT) clientViewReceive(copy->view, packetBytes(*event.event), copy->clock);
    return 0;
}

struct FairRun {
    LobbyServer server;
    MatchState host;
    ShotRewind rewind;
    Link link;
    FairCopy copies[SHIP_COUNT];
    std::vector<SlotAt> touches;     // the shooter drew its bullet touching ship 1
    std::vector<SlotAt> hits;        // the host counted a bullet of ship 0 on ship 1
    std::vector<double> flashWaits;  // s from a touch the shooter drew to the flash it drew
    std::vector<float> victimMiss;   // px: in the victim's window, its ship to the nearest bullet at the flash
    ~FairRun()
    {
        for (FairCopy& copy : copies) lobbyClientDestroy(copy.client);
        lobbyServerDestroy(server);
        linkStop(link);
    }
};

bool fairStart(FairRun& run, const LinkImpairment& impairment, std::uint16_t port)
{
    hostMatchStart(run.host);
    run.host.ships[0].position = FAIR_GUN;
    run.host.ships[1].position = Vec2(FAIR_GUN.x, FAIR_LANE_Y);
    run.host.ships[1].heading = -std::numbers::pi_v<float> / 2;
    if (!hostCreate(run.server, run.host, port)) return false;
    if (!linkToHost(run.link, impairment, port)) return false;
    for (FairCopy& copy : run.copies) {
        clientViewReset(copy.view, &copy.match);
        lobbyClientSetCallback(copy.client, fairSnapshot);
        lobbyClientSetUserData(copy.client, &copy);
    }
    return lobbyClientConnect(run.copies[0].client, "127.0.0.1", linkPort(run.link), CLIENT_CHANNELS);
}

// The shooter's frame: X tapped when ship 1 as drawn is a bullet's flight from the lane,
// the words stamped or not; its touches and the flashes after them.
void fairShooterFrame(FairRun& run, ControlOutbox& outbox, double& lastPress, bool measuring, bool stamped,
                      double& touchedAt)
{
    FairCopy& copy = run.copies[0];
    const double now = copy.clock = timerSeconds();
    const double frameDt = copy.last - now;
    copy.last = now;
    copy.toggle = !copy.toggle;
    lobbyClientService(copy.client);
    clientViewSetSlot(copy.view, lobbyClientOwnSlot(copy.client));
    copy.view.roundTrip = lobbyClientRoundTrip(copy.client).mean;
    const Ship& seen = copy.view.drawn.ships[1];
    const float toLane = (FAIR_GUN.x - seen.position.x) * shipFacing(seen.heading).x;
    if (measuring && std::fabs(toLane - THRUST_SPEED * (FAIR_FLIGHT + FRAME)) < FAIR_AIM_SLACK &&
        now - lastPress > 2 * FAIR_FLIGHT) {
        controlOutboxPress(outbox, KEY_FIRE);
        lastPress = now;
    }
    if (const auto word = controlOutboxDue(outbox, 0, copy.toggle, now)) {
        const ControlBytes bytes = stamped ? clientViewControlBytes(copy.view, *word) : controlEncode(*word);
        if (lobbyClientSendBytes(copy.client, CHANNEL_CONTROL, bytes, false)) {
            enet_host_flush(copy.client.host);
            clientViewControlSent(copy.view, *word, now);
        }
    }
    const MatchState& drawn = clientViewFrame(copy.view, frameDt, now);
    if (!measuring || copy.view.predicted.slot != 0) return;
    if (touchedAt >= 0.0 && drawn.ships[1].hitCounter > 0) {
        run.flashWaits.push_back(now - touchedAt);
        touchedAt = -1.0;
    }
    if (touchedAt >= 0.0 && now - touchedAt > FAIR_PAIRED) touchedAt = -1.0;  // no flash followed
    for (int k = 0; k < BULLETS_PER_SHIP; ++k) {
        const int slot = copy.view.shots.shots[k].hostSlot;
        const Bullet& b = drawn.ships[0].bullets[k];
        if (!b.active || slot < 0 || !bulletTouches(drawn.ships[1].position, b.position)) continue;
        const bool again = std::any_of(run.touches.begin(), run.touches.end(),
                                       [&](const SlotAt& t) { return t.slot == slot && now - t.at < FAIR_PAIRED; });
        if (again) continue;
        run.touches.push_back({slot, now});
        if (touchedAt < 0.0) touchedAt = now;
    }
}

// The victim's frame: at each flash it draws on its own ship, how far the nearest bullet
// it draws lies from it.
void fairVictimFrame(FairRun& run, bool measuring, std::int8_t& lastFlash)
{
    FairCopy& copy = run.copies[1];
    const double now = copy.clock = timerSeconds();
    const double frameDt = copy.last - now;
    copy.last = now;
    lobbyClientService(copy.client);
    clientViewSetSlot(copy.view, lobbyClientOwnSlot(copy.client));
    copy.view.roundTrip = lobbyClientRoundTrip(copy.client).mean;
    const MatchState& drawn = clientViewFrame(copy.view, frameDt, now);
    const std::int8_t flash = drawn.ships[1].hitCounter;
    if (measuring && flash > 0 && (lastFlash == 0 || flash < lastFlash)) {
        float nearest = 1e9f;
        for (const Bullet& b : drawn.ships[0].bullets)
            if (b.active) nearest = std::min(nearest, distance(b.position, drawn.ships[1].position));
        run.victimMiss.push_back(nearest);
    }
    lastFlash = flash;
}

// Ship 1 to and fro along the lane at thrust speed, turned about past the swing.
void fairSteer(Ship& target)
{
    if (target.position.x > FAIR_GUN.x + FAIR_SWING) target.heading = std::numbers::pi_v<float> / 2;
    if (target.position.x < FAIR_GUN.x - FAIR_SWING) target.heading = -std::numbers::pi_v<float> / 2;
    target.position.y = FAIR_LANE_Y;
    target.speed = THRUST_SPEED;
}

bool fairRunOnce(FairRun& run, const LinkImpairment& impairment, double seconds, std::uint16_t port, bool stamped)
{
    if (!fairStart(run, impairment, port)) return false;
    ControlOutbox outbox;
    bool hostToggle = false, victimJoined = false;
    double hostLast = timerSeconds(), hostDt = 0.0, carry = 0.0, lastPress = 0.0, touchedAt = -1.0;
    std::int8_t lastFlash = 0;
    for (FairCopy& copy : run.copies) copy.last = hostLast;
    double hostNext = hostLast + FRAME, copyNext = hostNext + CLIENT_PHASE;
    const double connectDeadline = hostLast + CONNECT_SECONDS;
    double measureStart = -1.0;
    for (;;) {
        sleepUntil(std::min(hostNext, copyNext));
        const double now = timerSeconds();
        // The victim joins once the shooter holds slot 0, so that it gets ship 1.
        if (!victimJoined && lobbyClientOwnSlot(run.copies[0].client) == 0) {
            victimJoined = lobbyClientConnect(run.copies[1].client, "127.0.0.1", linkPort(run.link), CLIENT_CHANNELS);
        }
        if (measureStart < 0 && run.copies[1].view.smoothed.received > 0) measureStart = now + SHOT_WARM_UP;
        if (measureStart < 0 && now > connectDeadline) return false;
        if (measureStart >= 0 && now >= measureStart + seconds) break;
        const bool measuring = measureStart >= 0 && now >= measureStart;
        if (now >= hostNext) {
            hostClockAdvance(hostToggle, hostLast, hostDt);
            fairSteer(run.host.ships[1]);
            hostFrame(run.server, run.host, hostDt, hostToggle, carry, nullptr, hostLast, &run.rewind);
            for (int j = 0; j < BULLETS_PER_SHIP && measuring; ++j) {
                const bool again = std::any_of(run.hits.begin(), run.hits.end(), [&](const SlotAt& h) {
                    return h.slot == j && hostLast - h.at < FAIR_PAIRED;
                });
                if ((run.rewind.touched[0] & 1u << j) && !again) run.hits.push_back({j, hostLast});
            }
            run.rewind.touched[0] = 0;
            hostNext = std::max(hostNext + FRAME, now);
        }
        if (now >= copyNext) {
            fairShooterFrame(run, outbox, lastPress, measuring, stamped, touchedAt);
            fairVictimFrame(run, measuring, lastFlash);
            copyNext = std::max(copyNext + FRAME, now);
        }
    }
    return true;
}

// How many of `of` have one in `in` by the same slot near in time.
int fairPaired(const std::vector<SlotAt>& of, const std::vector<SlotAt>& in)
{
    int n = 0;
    for (const SlotAt& a : of)
        n += std::any_of(in.begin(), in.end(), [&](const SlotAt& b) { return b.slot == a.slot && std::fabs(b.at - a.at) < FAIR_PAIRED; });
    return n;
}

void reportFair(const char* link, bool stamped, const FairRun& run)
{
    const int touches = int(run.touches.size()), hits = int(run.hits.size());
    const int touchHit = fairPaired(run.touches, run.hits), hitTouched = fairPaired(run.hits, run.touches);
    std::vector<double> waits = run.flashWaits;
    std::vector<double> miss(run.victimMiss.begin(), run.victimMiss.end());
    const auto share = [](int part, int whole) { return whole ? 100.0 * part / whole : 0.0; };
    std::printf("%-6s %-9s %7d %7.0f%% %6d %7.0f%% %9.1f %8.1f %9.1f %8.1f\n", link, stamped ? "stamped" : "unstamped",
                touches, share(touchHit, touches), hits, share(hitTouched, hits),
                waits.empty() ? 0.0 : median(waits) / FRAME, waits.empty() ? 0.0 : largest(waits) / FRAME,
                miss.empty() ? 0.0 : median(miss), miss.empty() ? 0.0 : largest(miss));
}

struct BenchOptions {
    double seconds = DEFAULT_SECONDS;
    int shots = DEFAULT_SHOTS;
    std::string only;  // empty: every part
    std::string data;  // empty: no data files
    std::string link;  // empty: every link
};

bool parseOptions(int argc, char** argv, BenchOptions& options)
{
    static const option LONG_OPTIONS[] = {{"seconds", required_argument, nullptr, 's'},
                                          {"shots", required_argument, nullptr, 'n'},
                                          {"only", required_argument, nullptr, 'o'},
                                          {"data", required_argument, nullptr, 'd'},
                                          {"link", required_argument, nullptr, 'l'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
    opterr = 0;
    int code = 0;
    bool good = true;
    while (good && (code = getopt_long(argc, argv, "s:n:o:d:l:h", LONG_OPTIONS, nullptr)) != -1) {
        char* end = nullptr;
        if (code == 's') {
            options.seconds = std::strtod(optarg, &end);
            good = end && *end == '\0' && options.seconds >= 1.0 && options.seconds <= 600.0;
        } else if (code == 'n') {
            options.shots = int(std::strtol(optarg, &end, 10));
            good = end && *end == '\0' && options.shots >= 1 && options.shots <= 1000;
        } else if (code == 'o') {
            options.only = optarg;
            good = options.only == "other" || options.only == "own" || options.only == "shots" ||
                   options.only == "taps" || options.only == "fair";
        } else if (code == 'd') {
            options.data = optarg;
        } else if (code == 'l') {
            LinkImpairment known;
            options.link = optarg;
            good = linkProfileFind(options.link, known);
        } else {
            good = false;
        }
    }
    if (good && optind == argc) return true;
    std::fprintf(stderr, "usage: bench_link [--seconds S] [--shots N] [--only other|own|shots|taps|fair] "
                         "[--data DIR] [--link NAME]  (S: 1 to 600 s per run, default 10; N: 1 to 1000, default 100)\n");
    return false;
}

// The other ship's drawn error over the circle run, smoothed and newest-as-it-came, each
// at its own best delay: one line per client frame.
void writeData(const std::string& dir, const char* link, const Traces& traces)
{
    const std::string path = dir + "/link_" + link + ".dat";
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out) {
        std::fprintf(stderr, "bench_link: cannot write %s\n", path.c_str());
        return;
    }
    const Fit smoothed = bestFit(traces.frames, traces.drawn[VIEW_SMOOTHED], traces.truth);
    const Fit newest = bestFit(traces.frames, traces.drawn[VIEW_NEWEST], traces.truth);
    std::fprintf(out, "# time_s  smoothed_px  nosmoothing_px\n");
    for (std::size_t f = 0; f < traces.frames.size(); ++f) {
        const double t = traces.frames[f];
        std::fprintf(out, "%.4f %.3f %.3f\n", t - traces.frames.front(),
                     distance(traces.drawn[VIEW_SMOOTHED][f], windowPathAt(traces.truth, t - smoothed.delay)),
                     distance(traces.drawn[VIEW_NEWEST][f], windowPathAt(traces.truth, t - newest.delay)));
    }
    std::fclose(out);
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    using namespace netduel;
    BenchOptions options;
    if (!parseOptions(argc, argv, options)) return 2;
    const auto part = [&](const char* name) { return options.only.empty() || options.only == name; };
    statusOut = nullptr;
    if (part("other") || part("own")) reportTiming();
    std::vector<std::pair<const char*, Traces>> own, shots, taps;
    if (part("other"))
        std::printf("The other ship (ship 0 steered on the host), %.0f s per run:\n%-6s %-7s %-16s %7s %6s "
                    "%8s %6s %6s %8s %10s\n", options.seconds, "link", "pattern", "view", "rms px", "xideal",
                    "worst px", "stalls", "jumps", "delay ms", "playout ms");
    std::uint16_t port = FIRST_PORT;
    std::uint16_t shotPort = SHOT_FIRST_PORT;
    for (const LinkProfile& profile : LINK_PROFILES) {
        const char* link = profile.name.data();
        for (Pattern pattern : {Pattern::Circle, Pattern::Random, Pattern::Own, Pattern::Shots, Pattern::Taps}) {
            const bool older = pattern == Pattern::Circle || pattern == Pattern::Random || pattern == Pattern::Own;
            std::uint16_t& next = older ? port : shotPort;
            const std::uint16_t runPort = next;
            next = std::uint16_t(next + 2);
            const bool wanted = pattern == Pattern::Own     ? part("own")
                                : pattern == Pattern::Shots ? part("shots")
                                : pattern == Pattern::Taps  ? part("taps")
                                                            : part("other");
            if (!wanted || (!options.link.empty() && options.link != link)) continue;
            double seconds = options.seconds;
            const int presses = options.shots * FORCED_EVERY / (FORCED_EVERY - 1) + 1;
            if (pattern == Pattern::Shots) seconds = presses * SHOT_PERIOD;
            if (pattern == Pattern::Taps) seconds = options.shots * std::size(TAP_BITS) * TAP_PERIOD;
            Traces traces;
            if (!runOnce(profile.impairment, pattern, seconds, runPort, traces)) {
                std::printf("%-6s %-7s the client did not connect\n", link, PATTERN_NAMES[int(pattern)]);
                continue;
            }
            if (pattern == Pattern::Own) own.emplace_back(link, std::move(traces));
            else if (pattern == Pattern::Shots) shots.emplace_back(link, std::move(traces));
            else if (pattern == Pattern::Taps) taps.emplace_back(link, std::move(traces));
            else {
                reportCounts(link, pattern, traces);
                reportOther(link, pattern, traces);
                if (pattern == Pattern::Circle && !options.data.empty()) writeData(options.data, link, traces);
            }
        }
    }
    if (part("own")) {
        std::printf("\nThe own ship (steered by the client: KEY_UP|KEY_RIGHT held %.1f s every %.1f s):\n",
                    PRESS_HOLD, PRESS_PERIOD);
        std::printf("%-6s %-21s %6s %6s %8s %8s %10s %8s\n", "link", "view", "lat fr", "max", "off mean",
                    "off max", "correct px", "delay ms");
        for (const auto& [link, traces] : own) reportOwn(link, traces);
    }
    if (part("shots")) {
        std::printf("\nThe own bullets (circling, X held %.2f s every %.2f s; every %dth press meets the other "
                    "ship's shot):\n", SHOT_HOLD, SHOT_PERIOD, FORCED_EVERY);
        std::printf("%-6s %-21s %5s %4s %9s %6s %5s %7s %9s %5s %8s %7s %7s\n", "link", "view", "lat fr", "max",
                    "seen", "muz px", "max", "step px", "phantoms", "lost", "forced", "stay ms", "rtt+100");
        for (const auto& [link, traces] : shots) reportShots(link, traces);
    }
    if (part("taps")) {
        std::printf("\nTaps of no length that reached the host (one every %.1f s, in turn):\n%-6s %12s %12s "
                    "%12s\n", TAP_PERIOD, "link", "fire", "turn", "thrust");
        for (const auto& [link, traces] : taps) reportTaps(link, traces);
    }
    if (part("fair")) {
        std::printf("\nFair shots (ship 1 driven to and fro across the lane, the shooter tapping X when it draws it "
                    "a flight away), %.0f s per run:\n", options.seconds);
        std::printf("%-6s %-9s %7s %8s %6s %8s %9s %8s %9s %8s\n", "link", "words", "touches", "hit", "hits",
                    "touched", "flash fr", "max", "victim px", "max");
        std::uint16_t fairPort = FAIR_FIRST_PORT;
        for (const LinkProfile& profile : LINK_PROFILES) {
            for (const bool stamped : {false, true}) {
                const std::uint16_t runPort = fairPort;
                fairPort = std::uint16_t(fairPort + 2);
                if (!options.link.empty() && options.link != profile.name) continue;
                FairRun run;
                if (!fairRunOnce(run, profile.impairment, options.seconds, runPort, stamped))
                    std::printf("%-6s the copies did not connect\n", profile.name.data());
                else
                    reportFair(profile.name.data(), stamped, run);
            }
        }
    }
    statusOut = stdout;
    return 0;
}
