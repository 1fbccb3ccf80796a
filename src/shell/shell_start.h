// How a windowed copy begins: the start the command line and the settings ask for.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "find/host_finder.h"
#include "hostlist/list_client.h"
#include "lobby/lobby_protocol.h"
#include "settings/settings.h"
#include "shell/options.h"

namespace netduel {

inline constexpr std::string_view DEFAULT_SERVER_ADDRESS = "127.0.0.1";

// How a windowed copy begins. Ask: "Create Host?" decides and J connects; Host: hosts
// without asking and the player's client connects on the first frame; Join: never
// hosts, the client connects on the first frame; Find: never hosts, looks for a host on
// the LAN for FIND_SECONDS and connects to the one foundHostPick chooses (none found: J
// connects to `serverHost`). Dedicated and List never reach the shell.
struct ShellStart {
    RunMode mode = RunMode::Ask;
    std::string_view serverHost;      // where J connects; empty: 127.0.0.1
    std::uint16_t port = LOBBY_PORT;  // hosted on and connected to
    std::string_view name;            // asked for after every connection; empty: none
    bool smoothing = true;            // false: draw the newest snapshot as it came
    bool prediction = true;           // false: the own ship waits for the host's snapshots
    int botLevel = 0;                 // Practice: the computer opponent's level
    std::string_view lastHost = {};   // not hosting: where J connects instead (the host
    std::uint16_t lastPort = 0;       //   joined last); empty: `serverHost` on `port`
    std::string_view registerUrl = {};  // hosting: the internet list to register at; empty: none
    bool portMapping = false;           // hosting: ask the router to forward the port
    bool findInternet = false;          // Find: ask `findTargets` (from the list), not the LAN
    std::span<const FindTarget> findTargets = {};
    std::optional<ListUrl> browseList = {};  // Ask: the list whose hosts show under the question
    int firstTo = 0;                         // hosting: --first-to's hits that win a round; 0: none
};

// The start the command line asks for: --join's address and port, else `builtInHost`
// (where J connects by default) and --port; without a mode or with --find, a copy that
// does not host has J connect to the host `saved` joined last (on --port when given).
// The views point into `options` and `saved`.
ShellStart shellStartFrom(const Options& options, std::string_view builtInHost, const Settings& saved = {});

}  // namespace netduel
