// Command line parsing with getopt_long.
#include "options.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <vector>

#include "duel/score.h"
#include "lobby/lobby.h"
#include "hostlist/list_client.h"
#include "record/record_live.h"

namespace netduel {

namespace {

// getopt_long's codes for the long options: above 0 and below any letter.
enum OptionCode : int {
    OPT_HOST = 1, OPT_JOIN, OPT_DEDICATED, OPT_PORT, OPT_NAME, OPT_HELP, OPT_VERSION,
    OPT_LIST, OPT_FIND, OPT_NO_SMOOTHING, OPT_NO_PREDICTION,
    OPT_FULLSCREEN, OPT_WINDOW,
    OPT_BOT, OPT_PRACTICE, OPT_LEVEL,
    OPT_VOLUME, OPT_MUTE, OPT_SOUND_IN_BACKGROUND,
    OPT_RECORD, OPT_RECORD_DIR, OPT_RECORD_KEEP, OPT_REPLAY, OPT_INFO,
    OPT_CONFIG,
    OPT_LIST_SERVER, OPT_REGISTER, OPT_NO_REGISTER, OPT_INTERNET, OPT_NO_PORT_MAPPING,
    OPT_FIRST_TO,
    OPT_END  // one past the last code
};
constexpr unsigned RECORD_KEEP_MAX = 100000;  // files: --record-keep's upper end

constexpr option LONG_OPTIONS[] = {
    {"host", no_argument, nullptr, OPT_HOST},
    {"join", required_argument, nullptr, OPT_JOIN},
    {"dedicated", no_argument, nullptr, OPT_DEDICATED},
    {"port", required_argument, nullptr, OPT_PORT},
    {"name", required_argument, nullptr, OPT_NAME},
    {"help", no_argument, nullptr, OPT_HELP},
    {"version", no_argument, nullptr, OPT_VERSION},
    {"bot", no_argument, nullptr, OPT_BOT},
    {"practice", no_argument, nullptr, OPT_PRACTICE},
    {"level", required_argument, nullptr, OPT_LEVEL},
    {"no-smoothing", no_argument, nullptr, OPT_NO_SMOOTHING},
    {"no-prediction", no_argument, nullptr, OPT_NO_PREDICTION},
    {"list", no_argument, nullptr, OPT_LIST},
    {"find", no_argument, nullptr, OPT_FIND},
    {"fullscreen", no_argument, nullptr, OPT_FULLSCREEN},
    {"window", required_argument, nullptr, OPT_WINDOW},
    {"volume", required_argument, nullptr, OPT_VOLUME},
    {"mute", no_argument, nullptr, OPT_MUTE},
    {"sound-in-background", no_argument, nullptr, OPT_SOUND_IN_BACKGROUND},
    {"record", required_argument, nullptr, OPT_RECORD},
    {"record-dir", required_argument, nullptr, OPT_RECORD_DIR},
    {"record-keep", required_argument, nullptr, OPT_RECORD_KEEP},
    {"replay", required_argument, nullptr, OPT_REPLAY},
    {"info", no_argument, nullptr, OPT_INFO},
    {"config", required_argument, nullptr, OPT_CONFIG},
    {"list-server", no_argument, nullptr, OPT_LIST_SERVER},
    {"register", required_argument, nullptr, OPT_REGISTER},
    {"no-register", no_argument, nullptr, OPT_NO_REGISTER},
    {"first-to", required_argument, nullptr, OPT_FIRST_TO},
    {"internet", optional_argument, nullptr, OPT_INTERNET},
    {"no-port-mapping", no_argument, nullptr, OPT_NO_PORT_MAPPING},
    {nullptr, 0, nullptr, 0},
};
// '+': stop at the first operand (reported, not skipped); ':': say when an argument is missing.
constexpr char SHORT_OPTIONS[] = "+:";

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// Decimal digits only, from 1 to `most`.
bool countParse(std::string_view text, unsigned most, unsigned& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end && value >= 1 && value <= most;
}

// A port: 1…65535.
bool portParse(std::string_view text, std::uint16_t& port, std::string& problem)
{
    unsigned value = 0;
    if (!countParse(text, 65535, value)) {
        problem = "port must be a number from 1 to 65535, not " + quoted(text);
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

// ADDRESS or ADDRESS:PORT, as `flag` takes it; the port stays 0 when none is given.
bool addressParse(std::string_view text, std::string_view flag, std::string& host,
                  std::uint16_t& port, std::string& problem)
{
    const std::size_t colon = text.find(':');
    host = text.substr(0, colon);
    port = 0;
    if (host.empty()) {
        problem = std::string(flag) + " needs an address before any ':', not " + quoted(text);
        return false;
    }
    if (colon == std::string_view::npos) return true;
    if (text.find(':', colon + 1) != std::string_view::npos) {
        problem = std::string(flag) + " takes a name or an IPv4 address with one optional :PORT, not " +
                  quoted(text);
        return false;
    }
    return portParse(text.substr(colon + 1), port, problem);
}

bool joinParse(std::string_view text, Options& options, std::string& problem)
{
    return addressParse(text, "--join", options.joinHost, options.joinPort, problem);
}

// One of --list's operands.
bool listTargetParse(std::string_view text, Options& options, std::string& problem)
{
    FindTarget& target = options.listTargets.emplace_back();
    return addressParse(text, "--list", target.host, target.port, problem);
}

bool windowSideParse(std::string_view text, int& side)
{
    unsigned value = 0;
    if (!countParse(text, unsigned(WINDOW_SIDE_MAX), value)) return false;
    side = static_cast<int>(value);
    return true;
}

// WIDTHxHEIGHT, such as 1280x960.
bool windowParse(std::string_view text, Options& options, std::string& problem)
{
    const std::size_t cross = text.find('x');
    if (cross == std::string_view::npos ||
        !windowSideParse(text.substr(0, cross), options.window.width) ||
        !windowSideParse(text.substr(cross + 1), options.window.height)) {
        problem = "--window takes WIDTHxHEIGHT in pixels (1 to 65535 each), not " + quoted(text);
        return false;
    }
    return true;
}

// 0…100, decimal digits only.
bool volumeParse(std::string_view text, Options& options, std::string& problem)
{
    unsigned value = 0;
    const bool zero = text == "0";
    if (!zero && !countParse(text, SOUND_VOLUME_MAX, value)) {
        problem = "--volume takes a number from 0 to 100, not " + quoted(text);
        return false;
    }
    options.sound.volume = static_cast<int>(value);
    return true;
}

bool nameParse(std::string_view text, Options& options, std::string& problem)
{
    // The server would rename anything longer, or with other bytes, to Lamer.
    if (text.empty() || text.size() > std::size_t(NAME_CHARS) || !chatNameBytesAllowed(text)) {
        problem = "--name takes 1 to 32 printable ASCII characters without blanks, not " + quoted(text);
        return false;
    }
    options.name = text;
    return true;
}

bool levelParse(std::string_view text, Options& options, std::string& problem)
{
    if (text.size() != 1 || text[0] < '1' || text[0] > '0' + BOT_LEVEL_MAX) {
        problem = "--level takes 1, 2 or 3, not " + quoted(text);
        return false;
    }
    options.level = text[0] - '0';
    return true;
}

bool firstToParse(std::string_view text, Options& options, std::string& problem)
{
    unsigned value = 0;
    if (!countParse(text, FIRST_TO_MAX, value)) {
        problem = "--first-to takes a number of hits from 1 to 99, not " + quoted(text);
        return false;
    }
    options.firstTo = static_cast<int>(value);
    return true;
}

// A file or folder argument: not empty.
bool pathParse(std::string_view text, std::string_view flag, std::string& path, std::string& problem)
{
    if (text.empty()) {
        problem = std::string(flag) + " needs a file name";
        return false;
    }
    path = text;
    return true;
}

bool keepParse(std::string_view text, Options& options, std::string& problem)
{
    unsigned value = 0;
    if (!countParse(text, RECORD_KEEP_MAX, value)) {
        problem = "--record-keep takes a number of files from 1 to 100000, not " + quoted(text);
        return false;
    }
    options.recordKeep = static_cast<int>(value);
    return true;
}

// An internet list's URL, as --register and --internet take it.
bool listUrlCheck(std::string_view text, std::string_view flag, std::string& url, std::string& problem)
{
    if (!listUrlParse(text)) {
        problem = std::string(flag) + " takes a list's URL, http://HOST[:PORT][/PATH], not " + quoted(text);
        return false;
    }
    url = text;
    return true;
}

// A mode flag clashes with a different one given before it; the same one again is harmless.
bool modeSet(Options& options, RunMode mode, std::string_view flag, std::string& problem)
{
    const auto alone = [](RunMode m) {
        return m == RunMode::List || m == RunMode::Find || m == RunMode::Replay || m == RunMode::ListServer;
    };
    const bool lanMode = alone(mode) || alone(options.mode);
    if (options.mode != RunMode::Ask && options.mode != mode && lanMode) {
        problem = std::string(flag) + " cannot be combined with another mode";
        return false;
    }
    if (options.mode != RunMode::Ask && options.mode != mode) {
        problem = std::string(flag) +
                  " cannot be combined with another of --host, --join, --dedicated and --practice";
        return false;
    }
    options.mode = mode;
    return true;
}

bool optionApply(int code, const char* argument, Options& options, std::string& problem)
{
    switch (code) {
    case OPT_HOST: return modeSet(options, RunMode::Host, "--host", problem);
    case OPT_JOIN:
        return modeSet(options, RunMode::Join, "--join", problem) &&
               joinParse(argument, options, problem);
    case OPT_DEDICATED: return modeSet(options, RunMode::Dedicated, "--dedicated", problem);
    case OPT_PORT: return portParse(argument, options.port, problem);
    case OPT_NAME: return nameParse(argument, options, problem);
    case OPT_HELP: options.help = true; return true;
    case OPT_VERSION: options.version = true; return true;
    case OPT_BOT: options.bot = true; return true;
    case OPT_PRACTICE: return modeSet(options, RunMode::Practice, "--practice", problem);
    case OPT_LEVEL: return levelParse(argument, options, problem);
    case OPT_NO_SMOOTHING: options.smoothing = false; return true;
    case OPT_NO_PREDICTION: options.prediction = false; return true;
    case OPT_LIST: return modeSet(options, RunMode::List, "--list", problem);
    case OPT_FIND: return modeSet(options, RunMode::Find, "--find", problem);
    case OPT_FULLSCREEN: options.window.fullscreen = true; return true;
    case OPT_WINDOW: return windowParse(argument, options, problem);
    case OPT_VOLUME: return volumeParse(argument, options, problem);
    case OPT_MUTE: options.sound.muted = true; return true;
    case OPT_SOUND_IN_BACKGROUND: options.sound.inBackground = true; return true;
    case OPT_RECORD: return pathParse(argument, "--record", options.recordPath, problem);
    case OPT_RECORD_DIR: return pathParse(argument, "--record-dir", options.recordDir, problem);
    case OPT_RECORD_KEEP: return keepParse(argument, options, problem);
    case OPT_REPLAY:
        return modeSet(options, RunMode::Replay, "--replay", problem) &&
               pathParse(argument, "--replay", options.replayPath, problem);
    case OPT_INFO: options.info = true; return true;
    case OPT_CONFIG: return pathParse(argument, "--config", options.configPath, problem);
    case OPT_LIST_SERVER: return modeSet(options, RunMode::ListServer, "--list-server", problem);
    case OPT_REGISTER: return listUrlCheck(argument, "--register", options.registerUrl, problem);
    case OPT_NO_REGISTER: options.noRegister = true; return true;
    case OPT_NO_PORT_MAPPING: options.portMapping = false; return true;
    case OPT_FIRST_TO: return firstToParse(argument, options, problem);
    case OPT_INTERNET:
        options.internet = true;
        return !argument || listUrlCheck(argument, "--internet", options.internetUrl, problem);
    default: return false;
    }
}

// The long option that `code` stands for, for messages.
std::string_view optionName(int code)
{
    for (const option& entry : LONG_OPTIONS)
        if (entry.name && entry.val == code) return entry.name;
    return "?";
}

// What getopt_long rejected: `code` is ':' for a missing argument, '?' for anything
// else; getopt_long leaves our option's code, a short option's letter or 0 in optopt.
std::string rejected(int code, std::string_view word)
{
    if (code == ':') return "--" + std::string(optionName(optopt)) + " needs an argument";
    if (optopt >= OPT_HOST && optopt < OPT_END)
        return "--" + std::string(optionName(optopt)) + " takes no argument";
    if (optopt != 0) return "unknown option '-" + std::string(1, static_cast<char>(optopt)) + "'";
    if (word.rfind("--", 0) != 0) return "unknown option " + quoted(word);
    const std::string_view flag = word.substr(2, word.find('=') - 2);
    const auto starts = std::count_if(std::begin(LONG_OPTIONS), std::end(LONG_OPTIONS) - 1,
                                      [&](const option& entry) {
                                          return std::string_view(entry.name).rfind(flag, 0) == 0;
                                      });
    return (starts > 1 ? "ambiguous option " : "unknown option ") + quoted(word);
}

// --bot joins (at --join's address or the built-in one) and is a mode of its own.
bool botCheck(Options& options, std::string& problem)
{
    if (options.bot) {
        if (options.mode != RunMode::Ask && options.mode != RunMode::Join) {
            problem = "--bot joins a host: it takes --join but no other mode";
            return false;
        }
        options.mode = RunMode::Bot;
    }
    if (options.level != 0 && options.mode != RunMode::Bot && options.mode != RunMode::Practice) {
        problem = "--level needs a computer player: --bot or --practice";
        return false;
    }
    if (options.level == 0) options.level = BOT_LEVEL_DEFAULT;
    return true;
}

// --record goes with a copy that plays or watches; --record-dir with a dedicated host.
bool recordCheck(Options& options, std::string& problem)
{
    const RunMode mode = options.mode;
    const bool watches = mode == RunMode::Ask || mode == RunMode::Host || mode == RunMode::Join ||
                         mode == RunMode::Practice || mode == RunMode::Find;
    if (!options.recordPath.empty() && !watches) {
        problem = "--record needs a window that plays or watches (not --dedicated, --bot, --list or --replay)";
        return false;
    }
    if (!options.recordDir.empty() && mode != RunMode::Dedicated) {
        problem = "--record-dir is for a --dedicated host (a window records with --record FILE)";
        return false;
    }
    if (options.recordKeep != 0 && options.recordDir.empty()) {
        problem = "--record-keep needs --record-dir";
        return false;
    }
    if (options.info && mode != RunMode::Replay) {
        problem = "--info needs --replay FILE";
        return false;
    }
    if (options.recordKeep == 0) options.recordKeep = RECORD_KEEP_DEFAULT;
    if (!options.configPath.empty() && !watches && (mode != RunMode::Replay || options.info)) {
        problem = "--config needs a window that plays or watches (not --dedicated, --bot, --list or --info)";
        return false;
    }
    return true;
}

// The internet list: a list server takes only --port, hosts register, --list and --find read.
bool internetCheck(const Options& options, std::string& problem)
{
    if (options.mode == RunMode::ListServer &&
        !std::all_of(options.given.begin(), options.given.end(),
                     [](std::string_view flag) { return flag == "list-server" || flag == "port"; })) {
        problem = "--list-server takes only --port";
        return false;
    }
    const bool hosts = options.mode == RunMode::Host || options.mode == RunMode::Dedicated;
    if ((!options.registerUrl.empty() || options.noRegister) && !hosts) {
        problem = "--register and --no-register need a host: --host or --dedicated";
        return false;
    }
    if (!options.portMapping && !hosts && options.mode != RunMode::Ask) {
        problem = "--no-port-mapping needs a host: --host or --dedicated (or the answer Y)";
        return false;
    }
    if (!options.registerUrl.empty() && options.noRegister) {
        problem = "--register cannot be combined with --no-register";
        return false;
    }
    if (options.internet && options.mode != RunMode::List && options.mode != RunMode::Find) {
        problem = "--internet goes with --list or --find";
        return false;
    }
    if (options.internet && !options.listTargets.empty()) {
        problem = "--list --internet asks the list's hosts: it takes no ADDRESS";
        return false;
    }
    return true;
}

bool modesCheck(Options& options, std::string& problem)
{
    if (!botCheck(options, problem) || !recordCheck(options, problem) || !internetCheck(options, problem))
        return false;
    if (options.mode == RunMode::Dedicated && !options.name.empty()) {
        problem = "--name needs a player: a --dedicated host has none";
        return false;
    }
    const bool hosts = options.mode == RunMode::Host || options.mode == RunMode::Dedicated ||
                       options.mode == RunMode::Practice;
    if (options.firstTo != 0 && !hosts) {
        problem = "--first-to needs a host: --host, --dedicated or --practice";
        return false;
    }
    if (options.mode == RunMode::Dedicated && !(options.window == DisplayWindow{})) {
        problem = "--window and --fullscreen need a window: a --dedicated host has none";
        return false;
    }
    const bool windowless = options.mode == RunMode::Dedicated || options.mode == RunMode::Bot;
    if (windowless && !(options.sound == SoundSettings{})) {
        problem = "--volume, --mute and --sound-in-background need a window: " +
                  std::string(options.mode == RunMode::Bot ? "--bot" : "a --dedicated host") +
                  " plays no sound";
        return false;
    }
    return true;
}

}  // namespace

bool optionsParse(int argc, char* const* argv, Options& options, std::string& problem)
{
    // getopt_long may reorder the pointer array: it works on a copy, argv stays as given.
    std::vector<char*> words(argv, argv + argc);
    words.push_back(nullptr);
    optind = 0;  // 0, not 1: glibc starts a whole new scan
    opterr = 0;
    for (;;) {
        const int code = getopt_long(argc, words.data(), SHORT_OPTIONS, LONG_OPTIONS, nullptr);
        // --internet's URL may also follow it as a word of its own.
        if (code == -1 && options.internet && options.internetUrl.empty() && optind < argc &&
            std::string_view(words[optind]).rfind("http://", 0) == 0) {
            if (!listUrlCheck(words[optind++], "--internet", options.internetUrl, problem)) return false;
            continue;
        }
        // --list takes operands: each is read and the scan goes on after it.
        if (code == -1 && options.mode == RunMode::List && optind < argc) {
            if (!listTargetParse(words[optind++], options, problem)) return false;
            continue;
        }
        if (code == -1) break;
        if (code == '?' || code == ':') {
            problem = rejected(code, words[optind - 1]);
            return false;
        }
        if (!optionApply(code, optarg, options, problem)) return false;
        options.given.push_back(optionName(code));
    }
    if (optind < argc) {
        problem = "unexpected argument " + quoted(words[optind]);
        return false;
    }
    if (options.joinPort == 0) options.joinPort = options.port;
    for (FindTarget& target : options.listTargets)
        if (target.port == 0) target.port = options.port;
    return modesCheck(options, problem);
}

bool optionsGave(const Options& options, std::string_view name)
{
    return std::find(options.given.begin(), options.given.end(), name) != options.given.end();
}

void optionsTakeSettings(Options& options, const Settings& settings)
{
    if (!optionsGave(options, "name")) options.name = settings.name;
    if (!optionsGave(options, "window")) {
        options.window.width = settings.window.width;
        options.window.height = settings.window.height;
    }
    if (!optionsGave(options, "fullscreen")) options.window.fullscreen = settings.window.fullscreen;
    if (!optionsGave(options, "volume")) options.sound.volume = settings.sound.volume;
    if (!optionsGave(options, "mute")) options.sound.muted = settings.sound.muted;
    if (!optionsGave(options, "level") && settings.level != 0) options.level = settings.level;
}

std::string optionsUsage()
{
    return "usage: netduel [--host | --join ADDRESS[:PORT] | --dedicated] [--port N] [--name NAME]\n"
           "               [--first-to N]\n"
           "               [--window WIDTHxHEIGHT] [--fullscreen] [--no-smoothing] [--no-prediction]\n"
           "               [--volume N] [--mute] [--sound-in-background] [--config FILE]\n"
           "       netduel --list [ADDRESS[:PORT]...] [--port N] | --find [--port N] [--name NAME]\n"
           "       netduel --list --internet [URL] | --find --internet [URL] [--name NAME]\n"
           "       netduel --list-server [--port N]\n"
           "       netduel --practice [--level N] [--first-to N] [--port N] [--name NAME]\n"
           "       netduel --bot [--join ADDRESS[:PORT]] [--level N] [--port N] [--name NAME]\n"
           "       netduel --replay FILE [--info] [--window WIDTHxHEIGHT] [--fullscreen] [--volume N]\n"
           "               [--mute] [--config FILE]\n"
           "       netduel --help | --version\n"
           "Without a mode the window asks \"Create Host?\" and J joins the built-in address.\n"
           "  --host                 host a match and join it at once\n"
           "  --join ADDRESS[:PORT]  join the host at ADDRESS (a name or an IPv4 address) at once;\n"
           "                         J tries again after a failed or lost connection\n"
           "  --dedicated            host without a window and without a player of its own\n"
           "  --port N               UDP port to host on, and to join when ADDRESS names none\n"
           "                         (default 42069)\n"
           "  --name NAME            chat name to ask for once connected (1 to 32 characters,\n"
           "                         no blanks)\n"
           "  --practice             host, join at once as ship 0 and play the computer (ship 1)\n"
           "                         in the same window\n"
           "  --bot                  a computer player without a window: joins the host (the\n"
           "                         built-in address, or --join's) and plays the ship its slot\n"
           "                         gives it; ends with status 1 when both ships are taken\n"
           "  --level N              the computer's skill: 1 (beginner), 2 (default), 3 (hard)\n"
           "  --no-smoothing         draw the other ship as the newest snapshot has it, without\n"
           "                         interpolating between snapshots\n"
           "  --no-prediction        move the own ship only when the host's snapshot says so\n"
           "  --list [ADDRESS[:PORT]...]\n"
           "                         ask the hosts at ADDRESS (default: every broadcast address\n"
           "                         of the LAN, at 42069 and --port) how they stand, print one\n"
           "                         line per host that answers within a second, by round trip;\n"
           "                         exit 0 when one did, 1 when none did\n"
           "  --find                 look for a host on the LAN as --list does, then join the\n"
           "                         first with a ship free (else the first that answered)\n"
           "  --internet [URL]       with --list or --find: ask the hosts on the internet list at\n"
           "                         URL (default: the settings' list-url) instead of the LAN\n"
           "  --register URL         with --host or --dedicated: register at the list at URL at\n"
           "                         start, every 15 s and when the free ships change (default:\n"
           "                         the settings' list-url; none: no registration)\n"
           "  --no-register          do not register, not even at the settings' list-url\n"
           "  --first-to N           with --host, --dedicated or --practice: keep a score; the\n"
           "                         first ship to land N hits (1 to 99) wins the round, the\n"
           "                         lobby hears the winner and the next round starts at 0-0\n"
           "  --no-port-mapping      a host asks the router for no UDP port mapping (by default\n"
           "                         it asks with UPnP IGD, else NAT-PMP, and removes it on exit)\n"
           "  --list-server          serve the internet list of hosts over HTTP on TCP --port\n"
           "                         (default 42080): POST /hosts, GET /hosts (JSON), GET / (HTML)\n"
           "  --window WIDTHxHEIGHT  starting window size (default 1024x768; fitted to the screen)\n"
           "  --fullscreen           start full screen (F11 or Alt+Enter toggles it)\n"
           "  --volume N             sound volume from 0 to 100 (default 70)\n"
           "  --mute                 start with the sound muted (M toggles it)\n"
           "  --sound-in-background  keep the sound on while the window has no focus\n"
           "  --record FILE          write what this copy hears (snapshots, lobby lines) to FILE\n"
           "  --record-dir DIR       --dedicated: record each stretch in which both ships are\n"
           "                         held to a file of its own in DIR, named by its start\n"
           "  --record-keep N        keep at most N of those files, removing the oldest (20)\n"
           "  --replay FILE          play a recording in the window: Space pauses, Left/Right\n"
           "                         skip 5 s (Shift: 30 s), Home/End, 0-9 jump to 0-90 %,\n"
           "                         - and + change the speed, . steps while paused, M mutes\n"
           "  --info                 with --replay: print the recording's summary, no window\n"
           "  --config FILE          read and write the settings in FILE instead of\n"
           "                         $XDG_CONFIG_HOME/netduel/netduel.conf (~/.config/...)\n"
           "  --help                 show this text and exit\n"
           "  --version              show the version and exit\n";
}

}  // namespace netduel
