// Talking to a list server: its URL, the hosts it lists (for --list and --find
// --internet), and a host's registrations, sent from a thread of their own so that a
// list that hangs never holds up a frame.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "find/host_finder.h"
#include "hostlist/host_list.h"

namespace netduel {

struct LobbyServer;

// Longest a request to the list may take to connect, and then to answer, seconds.
inline constexpr int LIST_CLIENT_SECONDS = 3;
// Most bytes of a list read: the longest list the server keeps fits with room to spare.
inline constexpr std::size_t LIST_REPLY_MAX = 8 * 1024 * 1024;
// Back-off after a registration that did not reach the list: first wait, seconds, doubled
// after each failure up to the last.
inline constexpr double REGISTER_RETRY_FIRST_SECONDS = 5.0;
inline constexpr double REGISTER_RETRY_MOST_SECONDS = 300.0;

// http://HOST[:PORT][/PATH]: the list's root; its requests go to PATH + "hosts".
struct ListUrl {
    std::string host;
    std::uint16_t port = HOSTLIST_PORT;
    std::string path = "/";  // ends in '/'
};

// The URL's parts; nothing for anything but http:// with a host and a port 1…65535.
std::optional<ListUrl> listUrlParse(std::string_view url);

// The hosts of a GET /hosts body as targets to ask, at most FIND_HOSTS_MAX; entries
// without a dotted IPv4 address and a port are skipped. Nothing for a body that is not
// a JSON array.
std::optional<std::vector<FindTarget>> listTargetsParse(std::string_view body);

// Reads the list at `url`: its hosts as targets, or nothing after a status line saying
// why not.
std::optional<std::vector<FindTarget>> listFetchTargets(const ListUrl& url);

// --list --internet: reads the list at `url` and asks every host on it as --list asks,
// printing --list's lines. 0 when a host answered, 1 when none did or the list failed.
int internetListRun(const ListUrl& url);

// When a host registers next.
struct RegisterSchedule {
    double nextAt = 0.0;     // s, program clock
    double retry = 0.0;      // s: the next back-off; 0 while the list is reached
    int freeShips = -1;      // as last registered; -1: never
    bool failing = false;    // the last registration did not reach the list
};

// True when a registration is due at `now`: its time has come, or the free ships
// changed since the last one while the list is being reached.
bool registerDue(const RegisterSchedule& schedule, double now, int freeShips);

// After a registration sent with `freeShips`: the next in HOSTLIST_REGISTER_SECONDS when
// it `reached` the list, else after the back-off, which then doubles.
void registerDone(RegisterSchedule& schedule, bool reached, int freeShips, double now);

// A host's registrations at one list.
struct HostRegistrar {
    bool active = false;  // false: no URL, or --no-register
    ListUrl url;
    std::string urlText;  // for status lines
    std::uint16_t port = 0;  // the game port the world reaches
    std::string name;
    RegisterSchedule schedule;
    // Between the frame and the worker, under `lock`.
    std::thread worker;
    std::mutex lock;
    std::condition_variable wake;
    bool requested = false, inFlight = false, finished = false, stop = false;
    int sentFreeShips = 0;
    bool reached = false;
    std::string answer;  // the list's line, or why it was not reached
};

// Starts registering game port `port` under `name` at the list `url`. False, with a
// status line, for a URL that does not parse; the registrar then stays inactive.
bool registrarStart(HostRegistrar& registrar, std::string_view url, std::uint16_t port, std::string_view name);

// From the host's frame, never blocking: takes a finished registration's outcome (one
// status line when the list is reached again or first missed) and sends the next when
// due, naming `worldPort` (the router's mapped port; 0: the host's own) once it is
// known: nothing waits for the port mapping. Does nothing on an inactive registrar.
void registrarTick(HostRegistrar& registrar, double now, int freeShips, std::optional<std::uint16_t> worldPort = 0);

// Waits for a registration in flight (its time-outs bound that) and ends the worker;
// safe in any state.
void registrarStop(HostRegistrar& registrar);

// Ships no player holds on `server`: 0, 1 or 2.
int hostFreeShips(const LobbyServer& server);

}  // namespace netduel
