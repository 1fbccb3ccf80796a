// Command line: what a run does (ask, host, join or host without a window), on which
// port, under which chat name. Parsing is pure: no output, no exit, no name lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bot/bot_brain.h"
#include "display/display.h"
#include "find/host_finder.h"
#include "lobby/lobby_protocol.h"
#include "settings/settings.h"
#include "sound/sound.h"

namespace netduel {

inline constexpr int WINDOW_SIDE_MAX = 65535;  // px: far past any screen; the window is fitted to it

// The settings file's ranges, as the command line and the parts they belong to take them.
inline constexpr SettingsRanges SETTINGS_RANGES{WINDOW_SIDE_MAX, SOUND_VOLUME_MAX, BOT_LEVEL_MAX};

enum class RunMode {
    Ask,        // no mode flag: the window asks "Create Host?"
    Host,       // --host: host, and the player joins at once
    Join,       // --join: join ADDRESS at once, never host
    Dedicated,  // --dedicated: host without a window or a player
    Bot,        // --bot: a computer player without a window joins the host
    Practice,   // --practice: host, join at once and play the computer in the window
    List,       // --list: print the hosts that answer a status query, no window
    Find,       // --find: join the first host on the LAN with a ship free
    Replay,     // --replay: play a recording in the window, or --info: summarize it
    ListServer, // --list-server: serve the internet list of hosts over HTTP, no window
};

struct Options {
    RunMode mode = RunMode::Ask;
    std::uint16_t port = LOBBY_PORT;     // hosted on; joined when --join names no port
    std::string joinHost;               // --join's ADDRESS: a name or an IPv4 address
    std::uint16_t joinPort = 0;         // where --join connects: its :PORT, else `port`
    std::string name;                   // --name; empty: the server's Anonymous name stays
    int level = 0;                      // --level, 1…3; 0: not given
    int firstTo = 0;                    // --first-to N: hits that win a round; 0: no score
    bool bot = false;                   // --bot, with or without --join
    bool smoothing = true;              // --no-smoothing: draw the newest snapshot as it came
    bool prediction = true;             // --no-prediction: the own ship waits for the host
    std::vector<FindTarget> listTargets;  // --list's ADDRESS[:PORT]s; port 0: `port`
    DisplayWindow window;               // --window WIDTHxHEIGHT and --fullscreen
    SoundSettings sound;                // --volume N, --mute and --sound-in-background
    std::string recordPath;             // --record FILE: what this copy hears goes there
    std::string recordDir;              // --record-dir DIR: a dedicated host's recordings
    int recordKeep = 0;                 // --record-keep N; 0: not given (the default then)
    std::string replayPath;             // --replay FILE
    bool info = false;                  // --info: --replay's summary without a window
    std::string configPath;             // --config FILE: the settings file instead of the usual one
    std::string registerUrl;            // --register URL: the list a host registers at
    bool noRegister = false;            // --no-register: not even at the settings' list-url
    bool portMapping = true;            // --no-port-mapping: a host leaves the router alone
    bool internet = false;              // --internet: --list and --find ask the list's hosts
    std::string internetUrl;            // --internet's URL; empty: the settings' list-url
    std::vector<std::string_view> given;  // the long options on the command line, without "--"
    bool help = false;
    bool version = false;
};

// Reads argv[1…argc−1] with getopt_long into `options`. False with `problem` set to one
// line naming the first bad argument or the clashing flags; `options` is then partial.
// --help and --version are only recorded: a bad argument beside them is still reported.
bool optionsParse(int argc, char* const* argv, Options& options, std::string& problem);

// True when the command line gave the long option `name` (without "--").
bool optionsGave(const Options& options, std::string_view name);

// The settings file's chat name, window, sound and computer's level, each where the
// command line gave none: the command line always wins.
void optionsTakeSettings(Options& options, const Settings& settings);

// The usage text, several lines, each ending in a line end.
std::string optionsUsage();

}  // namespace netduel
