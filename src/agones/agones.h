// Agones SDK client: a dedicated host run as an Agones game server tells the local SDK
// sidecar (REST on localhost:$AGONES_SDK_HTTP_PORT) that it is ready and healthy, how many
// ships are held, and asks to be shut down once its match is over. The decisions are pure
// (agonesPlan*) and take the clock; the HTTP calls run on a worker thread (agones*).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace netduel {

inline constexpr const char* AGONES_PORT_VARIABLE = "AGONES_SDK_HTTP_PORT";

// The GameServer's health period (periodSeconds) in contrib/agones: Agones counts a period
// without a ping as a failure. Pinging twice a period, a ping that is late by up to a
// period still counts.
inline constexpr double AGONES_HEALTH_PERIOD = 2.0;  // s
inline constexpr double AGONES_HEALTH_INTERVAL = AGONES_HEALTH_PERIOD / 2.0;  // s
// A match that held both ships is over once no ship has been held for this long.
inline constexpr double AGONES_MATCH_OVER_AFTER = 10.0;  // s
// Polling GET /gameserver until the state says Allocated.
inline constexpr double AGONES_POLL_INTERVAL = 2.0;  // s
// Back-off for a sidecar that does not answer: the first retry after the least delay,
// doubling up to the most; after AGONES_ABSENT_AFTER without an answer, one status line.
inline constexpr double AGONES_RETRY_LEAST = 0.1;  // s
inline constexpr double AGONES_RETRY_MOST = 5.0;   // s
inline constexpr double AGONES_ABSENT_AFTER = 10.0;  // s
// An unanswered shutdown is given up after this long: the host leaves all the same.
inline constexpr double AGONES_SHUTDOWN_PATIENCE = 10.0;  // s
// The label that carries the held ships, as the sidecar's "agones.dev/sdk-ships".
inline constexpr const char* AGONES_SHIPS_LABEL = "ships";
// The players tracked, when the GameServer has player tracking: the two ships.
inline constexpr int AGONES_PLAYER_CAPACITY = 2;
// The most of an answer that is read (a GameServer record is a few kB).
inline constexpr std::size_t AGONES_ANSWER_MAX = 64 * 1024;  // bytes

enum class AgonesCall : std::uint8_t {
    Ready, Health, Label, Capacity, PlayerConnect, PlayerDisconnect, GameServer, Shutdown
};

// One REST call: method, path under the sidecar's root, JSON body.
struct AgonesRequest {
    AgonesCall call = AgonesCall::Ready;
    std::string method;
    std::string path;
    std::string body;
    int value = 0;  // the ship count labelled, the player number connected or disconnected
};

// ---- Decisions ------------------------------------------------------------------------

// What the host has told the sidecar and what it waits for; all times in seconds of the
// clock the caller hands in.
struct AgonesPlan {
    bool waiting = false;        // a call is out; one at a time
    bool ready = false;          // POST /ready answered
    double nextHealth = 0.0;
    int labelled = -1;           // ship count the label shows; -1: none yet
    bool tracking = false;       // the GameServer tracks players (seen in GET /gameserver)
    bool capacitySet = false;
    int playersReported = 0;     // connected in player tracking
    bool allocated = false;
    double nextPoll = 0.0;
    bool matchHeld = false;      // both ships were held at once
    double emptySince = -1.0;    // when the last ship was let go after that; -1: held
    bool shutdownAsked = false;  // the match is over: POST /shutdown is due
    double shutdownSince = 0.0;
    bool finished = false;       // shut down (or given up): the host may leave
    double retryAt = 0.0;        // no call before this while the sidecar is away
    double retryDelay = 0.0;     // the last back-off; 0 while the sidecar answers
    double awaySince = -1.0;     // first unanswered call since the last answer; -1: none
    bool toldAway = false;
};

// The call to make now, given the ships held this frame, or none (also while one is out).
std::optional<AgonesRequest> agonesPlanNext(AgonesPlan& plan, int shipsHeld, double now);

// The outcome of the call that agonesPlanNext gave last: `status` is the HTTP status, 0
// when nothing answered; `body` is the answer (bounded by the caller). Returns the status
// line this outcome costs, or empty.
std::string agonesPlanAnswered(AgonesPlan& plan, const AgonesRequest& request, int status,
                               std::string_view body, double now);

// The GameServer state in a GET /gameserver answer ("Ready", "Allocated", …), whether it
// tracks players; empty state for an answer that is no such record.
struct AgonesGameServer {
    std::string state;
    bool tracksPlayers = false;
};
AgonesGameServer agonesGameServerParse(std::string_view body);

// ---- The SDK client ------------------------------------------------------------------

// The worker's mailbox: one request out, its outcome back.
struct AgonesLink {
    std::mutex lock;
    std::condition_variable wake;
    std::optional<AgonesRequest> request;
    bool answered = false;
    int status = 0;
    std::string body;
    bool stop = false;
};

struct AgonesSdk {
    bool active = false;  // the variable named a port
    std::uint16_t port = 0;
    AgonesPlan plan;
    AgonesRequest out;    // the call the worker makes now
    AgonesLink link;
    std::thread worker;
};

// The port in AGONES_SDK_HTTP_PORT's value: 1…65535 in decimal, else 0.
std::uint16_t agonesPortParse(const char* value);

// Starts the client when `portValue` (the variable's value, or null) names a port; null
// or empty leaves it idle and does nothing; a bad value costs one status line. Call once
// the game port listens. False when idle.
bool agonesOpen(AgonesSdk& sdk, const char* portValue);

// Once a frame, with the frame's clock reading and the ships held: takes the last call's
// outcome and hands the worker the next call. Never waits on the network.
void agonesFrame(AgonesSdk& sdk, int shipsHeld, double now);

// True once the sidecar was asked to shut down (or that was given up): time to leave.
bool agonesFinished(const AgonesSdk& sdk);

// Stops the worker (a call in flight ends within its time-outs); safe in any state.
void agonesClose(AgonesSdk& sdk);

}  // namespace netduel
