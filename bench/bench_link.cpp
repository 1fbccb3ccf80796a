// Link benchmark: the real host's frame loop (60 frames/s, real ENet on loopback) and a
// real joining client behind the link emulator, for the links lan, good, poor and awful.
// The client draws every frame through clientViewFrame in three views fed the same
// snapshots: smoothing with prediction, smoothing without prediction, and neither (the
// newest snapshot as it came, `--no-smoothing`). Three patterns per link:
//   circle  the host steers ship 0 with KEY_UP|KEY_RIGHT every 0.05 s (about 209 px/s);
//   random  the host starts, stops and turns ship 0 at random (seeded);
//   own     the client steers ship 0 itself: KEY_UP|KEY_RIGHT held 0.3 s every 1.5 s.
// For the other ship it compares what each frame draws, held until the next frame, with
// the host's path at the best constant delay, beside an ideal 60 fps renderer (the exact
// position at each frame, held); for the own ship it measures key-to-drawn latency, the
// distance from the host's ship 0.3 s after release and the largest correction step.
// A plain main(): `bench_link [--seconds S]` (S seconds of measurement per run, default 10).
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
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/status.h"
#include "base/timer.h"
#include "duel/match.h"
#include "duel/packet_handlers.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"
#include "link/link.h"
#include "shell/host.h"
#include "view/client_view.h"

namespace netduel {
namespace {

constexpr std::uint16_t FIRST_PORT = 49400;    // two a run (host, link), up to 49423
constexpr std::uint16_t TIMING_PORT = 49450;   // and 49451: the emulator timed alone
constexpr double DEFAULT_SECONDS = 10.0;
constexpr double FRAME = 1.0 / 60.0;           // both copies draw at the display's 60 Hz
constexpr double CLIENT_PHASE = FRAME / 2.0;   // the joiner's frames fall between the host's
constexpr double CONTROL_PERIOD = 0.05;        // s between control words, as the game sends them
constexpr KeyFlags CIRCLE_WORD = KEY_UP | KEY_RIGHT;
constexpr double CONNECT_SECONDS = 20.0;
constexpr double WARM_UP = 1.5;                // s of snapshots before measuring: delays settle
constexpr double RANDOM_SEGMENT_MIN = 0.15;    // s a random control lasts, at least …
constexpr double RANDOM_SEGMENT_MAX = 0.8;     // … and at most
constexpr double PRESS_PERIOD = 1.5;           // own ship: a press every 1.5 s (at rest between) …
constexpr double PRESS_HOLD = 0.3;             // … held this long
constexpr double RELEASE_CHECK = 0.3;          // s after release the distance is taken
constexpr Vec2 SHIP_START{512.0f, 414.0f};     // the arena's middle, far from the walls

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

enum class Pattern { Circle, Random, Own };
const char* const PATTERN_NAMES[] = {"circle", "random", "own"};

enum ViewKind { VIEW_PREDICTED, VIEW_SMOOTHED, VIEW_NEWEST, VIEW_KINDS };
const char* const VIEW_NAMES[] = {"smoothing+prediction", "--no-prediction", "--no-smoothing"};

struct Timed {
    double t = 0.0;  // s, the program clock
    Vec2 p;
};

// Three views of one client, every snapshot handed to each.
struct Views {
    ClientView view[VIEW_KINDS];
    MatchState match[VIEW_KINDS];
};

struct Traces {
    std::vector<Timed> truth;       // the host's ship 0 after each host frame
    std::vector<double> frames;     // the client's frame times while measuring
    std::vector<Vec2> drawn[VIEW_KINDS];
    std::vector<int> presses;       // frame indices at which the key became held
    std::vector<double> releases;   // s
    LinkCounts counts[2];
};

// Arriving at the joiner's frame clock, which its views hold.
std::int32_t snapshotToEveryView(PacketEvent& event)
{
    if (event.event->channelID != CHANNEL_SNAPSHOT) return 0;
    auto* views = static_cast<Views*>(event.client->userData);
    for (ClientView& view : views->view) clientViewReceive(view, packetBytes(*event.event), view.clock);
    return 0;
}

void viewsReset(Views& views, Pattern pattern)
{
    for (int kind = 0; kind < VIEW_KINDS; ++kind) {
        ClientView& view = views.view[kind];
        clientViewReset(view, &views.match[kind]);
        clientViewSetSlot(view, pattern == Pattern::Own ? 0 : -1);
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
    if (pattern == Pattern::Own) return;
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

bool runStart(Run& run, const LinkImpairment& impairment, Pattern pattern, std::uint16_t port)
{
    hostMatchStart(run.hostMatch);
    run.hostMatch.ships[0].position = SHIP_START;
    if (!hostCreate(run.server, run.hostMatch, port)) return false;
    LinkConfig config;
    config.listenPort = std::uint16_t(port + 1);
    config.hostPort = port;
    config.impairment[LINK_TO_HOST] = config.impairment[LINK_TO_CLIENT] = impairment;
    config.seed = port;
    if (!linkStart(run.link, config)) return false;
    viewsReset(run.views, pattern);
    lobbyClientSetCallback(run.client, snapshotToEveryView);
    lobbyClientSetUserData(run.client, &run.views);
    return lobbyClientConnect(run.client, "127.0.0.1", linkPort(run.link), CLIENT_CHANNELS);
}

// The joiner's frame loop state.
struct Joiner {
    bool toggle = false;
    double last = 0.0;
    double nextSend = 0.0;
    bool held = false;
};

void joinerFrame(Run& run, Joiner& joiner, Pattern pattern, bool measuring, double measureStart,
                 Traces& traces)
{
    const double now = timerSeconds();
    const double frameDt = joiner.last - now;
    joiner.last = now;
    joiner.toggle = !joiner.toggle;
    for (ClientView& view : run.views.view) view.clock = now;
    lobbyClientService(run.client);
    const double roundTrip = lobbyClientRoundTrip(run.client).mean;
    for (ClientView& view : run.views.view) view.roundTrip = roundTrip;
    const bool held = pattern == Pattern::Own && measuring &&
                      std::fmod(now - measureStart, PRESS_PERIOD) < PRESS_HOLD;
    if (held && !joiner.held) traces.presses.push_back(int(traces.frames.size()));
    if (!held && joiner.held) traces.releases.push_back(now);
    joiner.held = held;
    // As the game does: every second frame, at most every CONTROL_PERIOD, while a key is held.
    if (held && joiner.toggle && now > joiner.nextSend) {
        joiner.nextSend = now + CONTROL_PERIOD;
        if (lobbyClientSendBytes(run.client, CHANNEL_CONTROL, controlEncode(CIRCLE_WORD), false)) {
            for (ClientView& view : run.views.view) clientViewControlSent(view, CIRCLE_WORD, now);
        }
    }
    for (int kind = 0; kind < VIEW_KINDS; ++kind) {
        const MatchState& drawn = clientViewFrame(run.views.view[kind], frameDt, now);
        if (measuring) traces.drawn[kind].push_back(drawn.ships[0].position);
    }
    if (measuring) traces.frames.push_back(now);
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
        if (measureStart < 0 && run.views.view[0].smoothed.received > 0) measureStart = now + WARM_UP;
        if (measureStart < 0 && now > connectDeadline) return false;
        if (measureStart >= 0 && now >= measureStart + seconds) break;
        if (now >= hostNext) {
            hostClockAdvance(hostToggle, hostLast, hostDt);
            steer(steering, pattern, run.hostMatch.ships[0], hostLast);
            hostFrame(run.server, run.hostMatch, hostDt, hostToggle, carry);
            traces.truth.push_back({timerSeconds(), run.hostMatch.ships[0].position});
            hostNext = std::max(hostNext + FRAME, now);
        }
        if (now >= clientNext) {
            joinerFrame(run, joiner, pattern, measureStart >= 0 && now >= measureStart, measureStart,
                        traces);
            clientNext = std::max(clientNext + FRAME, now);
        }
    }
    traces.counts[LINK_TO_HOST] = linkCounts(run.link, LINK_TO_HOST);
    traces.counts[LINK_TO_CLIENT] = linkCounts(run.link, LINK_TO_CLIENT);
    return !traces.frames.empty();
}

// --- Measures over the traces ---------------------------------------------------------------

// The host's ship at `t`, between its frames' positions (clamped at both ends).
Vec2 truthAt(const std::vector<Timed>& truth, double t)
{
    const auto after = std::upper_bound(truth.begin(), truth.end(), t,
                                        [](double time, const Timed& sample) { return time < sample.t; });
    if (after == truth.begin()) return truth.front().p;
    if (after == truth.end()) return truth.back().p;
    const Timed& a = *(after - 1);
    const Timed& b = *after;
    const float u = float((t - a.t) / (b.t - a.t));
    return {a.p.x + (b.p.x - a.p.x) * u, a.p.y + (b.p.y - a.p.y) * u};
}

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
        const double error = distance(drawn[frame], truthAt(truth, t - delay));
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
            distance(truthAt(truth, frames[end] - delay), truthAt(truth, frames[start] - delay)) > STALL_MOVE_PX)
            ++count;
        start = f;
    }
    return count;
}

// The host's motion over frame f's interval, `delay` behind.
Vec2 truthStep(const std::vector<double>& frames, const std::vector<Timed>& truth, std::size_t f,
               double delay)
{
    const Vec2 a = truthAt(truth, frames[f - 1] - delay);
    const Vec2 b = truthAt(truth, frames[f] - delay);
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
        const double off = distance(drawn[f], truthAt(traces.truth, traces.frames[f]));
        out.offMean += off;
        out.offMax = std::max(out.offMax, off);
        ++offs;
    }
    out.offMean /= std::max(offs, 1);
    out.correction = largestCorrection(traces.frames, drawn, traces.truth, delay);
    return out;
}

// --- Report --------------------------------------------------------------------------------

void reportOther(const char* link, Pattern pattern, const Traces& traces)
{
    std::vector<Vec2> ideal;
    for (double t : traces.frames) ideal.push_back(truthAt(traces.truth, t));
    const Fit idealFit = bestFit(traces.frames, ideal, traces.truth);
    for (ViewKind kind : {VIEW_SMOOTHED, VIEW_NEWEST}) {
        const std::vector<Vec2>& drawn = traces.drawn[kind];
        const Fit fit = bestFit(traces.frames, drawn, traces.truth);
        std::printf("%-6s %-7s %-16s %7.2f %6.2f %8.1f %6d %6d %8.0f\n", link, PATTERN_NAMES[int(pattern)],
                    kind == VIEW_SMOOTHED ? "smoothing" : VIEW_NAMES[kind], fit.rms, fit.rms / idealFit.rms,
                    fit.worst, stalls(traces.frames, drawn, traces.truth, fit.delay),
                    jumps(traces.frames, drawn, traces.truth, fit.delay), fit.delay * 1000.0);
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

bool parseSeconds(int argc, char** argv, double& seconds)
{
    static const option LONG_OPTIONS[] = {{"seconds", required_argument, nullptr, 's'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
    opterr = 0;
    int code = 0;
    while ((code = getopt_long(argc, argv, "s:h", LONG_OPTIONS, nullptr)) != -1) {
        char* end = nullptr;
        if (code == 's') seconds = std::strtod(optarg, &end);
        if (code != 's' || !end || *end != '\0' || !(seconds >= 1.0 && seconds <= 600.0)) {
            std::fprintf(stderr, "usage: bench_link [--seconds S]  (1 to 600 s per run, default 10)\n");
            return false;
        }
    }
    return optind == argc;
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    using namespace netduel;
    double seconds = DEFAULT_SECONDS;
    if (!parseSeconds(argc, argv, seconds)) return 2;
    statusOut = nullptr;
    reportTiming();
    std::vector<std::pair<const char*, Traces>> own;
    std::printf("The other ship (ship 0 steered on the host), %.0f s per run:\n", seconds);
    std::printf("%-6s %-7s %-16s %7s %6s %8s %6s %6s %8s\n", "link", "pattern", "view", "rms px",
                "xideal", "worst px", "stalls", "jumps", "delay ms");
    std::uint16_t port = FIRST_PORT;
    for (const LinkProfile& profile : LINK_PROFILES) {
        for (Pattern pattern : {Pattern::Circle, Pattern::Random, Pattern::Own}) {
            Traces traces;
            const bool ok = runOnce(profile.impairment, pattern, seconds, port, traces);
            port = std::uint16_t(port + 2);
            if (!ok) {
                std::printf("%-6s %-7s the client did not connect\n", profile.name.data(),
                            PATTERN_NAMES[int(pattern)]);
                continue;
            }
            reportCounts(profile.name.data(), pattern, traces);
            if (pattern == Pattern::Own) own.emplace_back(profile.name.data(), std::move(traces));
            else reportOther(profile.name.data(), pattern, traces);
        }
    }
    std::printf("\nThe own ship (steered by the client: KEY_UP|KEY_RIGHT held %.1f s every %.1f s):\n",
                PRESS_HOLD, PRESS_PERIOD);
    std::printf("%-6s %-21s %6s %6s %8s %8s %10s %8s\n", "link", "view", "lat fr", "max", "off mean",
                "off max", "correct px", "delay ms");
    for (const auto& [link, traces] : own) reportOwn(link, traces);
    statusOut = stdout;
    return 0;
}
