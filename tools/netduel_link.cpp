// netduel-link: put an emulated bad link in front of a real host. Clients connect to the
// listening address; every datagram each way gets the chosen delay, jitter, loss and
// duplication. Runs until SIGINT or SIGTERM, then prints the counts of both directions.
#include <getopt.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "base/status.h"
#include "base/stop_request.h"
#include "link/link.h"

namespace netduel {
namespace {

constexpr std::uint16_t DEFAULT_LISTEN_PORT = 42070;  // beside the game's own 42069
constexpr std::uint16_t DEFAULT_HOST_PORT = 42069;
constexpr unsigned STOP_POLL_US = 50000;              // how soon a signal is noticed

const char USAGE[] =
    "usage: netduel-link [--listen ADDR:PORT] [--host ADDR:PORT] [--profile NAME]\n"
    "                    [--delay MS[,MS]] [--jitter MS[,MS]] [--loss PCT[,PCT]]\n"
    "                    [--duplicate PCT[,PCT]] [--reorder] [--seed N]\n"
    "       netduel-link --help | --version\n";

const char HELP[] =
    "Forwards UDP between game clients and a host through an emulated link.\n"
    "Clients connect to the listening address instead of the host's.\n"
    "\n"
    "  -l, --listen ADDR:PORT   where clients send (default 127.0.0.1:42070)\n"
    "  -t, --host ADDR:PORT     the host to forward to (default 127.0.0.1:42069)\n"
    "  -p, --profile NAME       lan, good (25 ms +-5, 0.5 % loss), poor (60 ms +-20, 3 %)\n"
    "                           or awful (120 ms +-40, 8 %), each way; default lan\n"
    "      --delay MS[,MS]      one-way delay; a second value is for host to client\n"
    "      --jitter MS[,MS]     each datagram's delay varies uniformly by up to this\n"
    "      --loss PCT[,PCT]     percentage of datagrams dropped\n"
    "      --duplicate PCT[,PCT] percentage of datagrams delivered twice\n"
    "      --reorder            let a datagram overtake an earlier one\n"
    "      --seed N             seed of the random choices (default 1)\n"
    "  -h, --help               show this help and exit\n"
    "  -V, --version            show the version and exit\n"
    "\n"
    "SIGINT or SIGTERM stops it and prints the counts of each direction.\n";

enum Option { OPT_DELAY = 256, OPT_JITTER, OPT_LOSS, OPT_DUPLICATE, OPT_REORDER, OPT_SEED };

const option LONG_OPTIONS[] = {
    {"listen", required_argument, nullptr, 'l'},
    {"host", required_argument, nullptr, 't'},
    {"profile", required_argument, nullptr, 'p'},
    {"delay", required_argument, nullptr, OPT_DELAY},
    {"jitter", required_argument, nullptr, OPT_JITTER},
    {"loss", required_argument, nullptr, OPT_LOSS},
    {"duplicate", required_argument, nullptr, OPT_DUPLICATE},
    {"reorder", no_argument, nullptr, OPT_REORDER},
    {"seed", required_argument, nullptr, OPT_SEED},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// A value for each direction, from "A" (both) or "A,B" (to the host, to the client).
using PerDirection = std::optional<std::pair<double, double>>;

struct Arguments {
    LinkConfig config;
    std::string profile = "lan";
    PerDirection delay, jitter, loss, duplicate;  // ms, ms, %, %
    bool reorder = false;
    bool help = false;
    bool version = false;
};

bool parseNumber(std::string_view text, double low, double high, double& out)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size() && out >= low && out <= high;
}

bool parsePerDirection(std::string_view text, double high, PerDirection& out)
{
    const std::size_t comma = text.find(',');
    double first = 0.0, second = 0.0;
    if (!parseNumber(text.substr(0, comma), 0.0, high, first)) return false;
    second = first;
    if (comma != std::string_view::npos && !parseNumber(text.substr(comma + 1), 0.0, high, second))
        return false;
    out = std::pair{first, second};
    return true;
}

// "ADDR:PORT" into an address and a port from 1 to 65535.
bool parseEndpoint(std::string_view text, std::string& address, std::uint16_t& port)
{
    const std::size_t colon = text.rfind(':');
    double number = 0.0;
    if (colon == std::string_view::npos || colon == 0 ||
        !parseNumber(text.substr(colon + 1), 1.0, 65535.0, number) || number != double(int(number)))
        return false;
    address = std::string(text.substr(0, colon));
    port = std::uint16_t(number);
    return true;
}

bool parseOption(int code, const char* value, Arguments& arguments)
{
    LinkConfig& config = arguments.config;
    double seed = 0.0;
    switch (code) {
    case 'l': return parseEndpoint(value, config.listenAddress, config.listenPort);
    case 't': return parseEndpoint(value, config.hostAddress, config.hostPort);
    case 'p': arguments.profile = value; return true;
    case OPT_DELAY: return parsePerDirection(value, 10000.0, arguments.delay);
    case OPT_JITTER: return parsePerDirection(value, 10000.0, arguments.jitter);
    case OPT_LOSS: return parsePerDirection(value, 100.0, arguments.loss);
    case OPT_DUPLICATE: return parsePerDirection(value, 100.0, arguments.duplicate);
    case OPT_REORDER: arguments.reorder = true; return true;
    case OPT_SEED:
        if (!parseNumber(value, 0.0, 9007199254740992.0, seed) || seed != double(std::uint64_t(seed)))
            return false;
        config.seed = std::uint64_t(seed);
        return true;
    case 'h': arguments.help = true; return true;
    case 'V': arguments.version = true; return true;
    default: return false;
    }
}

void applyPerDirection(const PerDirection& value, double scale, double LinkImpairment::*field,
                       LinkConfig& config)
{
    if (!value) return;
    config.impairment[LINK_TO_HOST].*field = value->first * scale;
    config.impairment[LINK_TO_CLIENT].*field = value->second * scale;
}

// The profile, then the single settings over it. False for an unknown profile.
bool applyImpairment(Arguments& arguments)
{
    LinkConfig& config = arguments.config;
    LinkImpairment base;
    if (!linkProfileFind(arguments.profile, base)) return false;
    config.impairment[LINK_TO_HOST] = config.impairment[LINK_TO_CLIENT] = base;
    applyPerDirection(arguments.delay, 0.001, &LinkImpairment::delay, config);
    applyPerDirection(arguments.jitter, 0.001, &LinkImpairment::jitter, config);
    applyPerDirection(arguments.loss, 0.01, &LinkImpairment::loss, config);
    applyPerDirection(arguments.duplicate, 0.01, &LinkImpairment::duplicate, config);
    for (LinkImpairment& impairment : config.impairment) impairment.keepOrder = !arguments.reorder;
    return true;
}

// Reads the command line; a usage mistake prints one line and the usage and returns false.
bool parseArguments(int argc, char** argv, Arguments& arguments)
{
    arguments.config.listenPort = DEFAULT_LISTEN_PORT;
    arguments.config.hostPort = DEFAULT_HOST_PORT;
    opterr = 0;
    int code = 0, index = -1;
    while ((code = getopt_long(argc, argv, ":l:t:p:hV", LONG_OPTIONS, &index)) != -1) {
        if (code == '?' || code == ':') {
            std::fprintf(stderr, "netduel-link: %s option: %s\n%s",
                         code == '?' ? "unknown" : "missing value for", argv[optind - 1], USAGE);
            return false;
        }
        if (!parseOption(code, optarg, arguments)) {
            const std::string name = index >= 0 ? std::string("--") + LONG_OPTIONS[index].name
                                                : std::string("-") + char(code);
            std::fprintf(stderr, "netduel-link: bad value for %s: %s\n%s", name.c_str(),
                         statusEscape(optarg ? optarg : "").c_str(), USAGE);
            return false;
        }
        index = -1;
    }
    if (optind < argc) {
        std::fprintf(stderr, "netduel-link: unexpected argument: %s\n%s",
                     statusEscape(argv[optind]).c_str(), USAGE);
        return false;
    }
    if (!applyImpairment(arguments)) {
        std::fprintf(stderr, "netduel-link: unknown profile: %s (lan, good, poor, awful)\n%s",
                     statusEscape(arguments.profile).c_str(), USAGE);
        return false;
    }
    return true;
}

std::string describe(const LinkImpairment& impairment)
{
    char text[160];
    std::snprintf(text, sizeof text, "%.0f ms +-%.0f ms, %.1f %% loss, %.1f %% duplicated%s",
                  impairment.delay * 1000.0, impairment.jitter * 1000.0, impairment.loss * 100.0,
                  impairment.duplicate * 100.0, impairment.keepOrder ? "" : ", reordering");
    return text;
}

void printCounts(const char* label, const LinkCounts& counts)
{
    std::printf("%s: sent %llu, dropped %llu, duplicated %llu, delivered %llu\n", label,
                (unsigned long long)counts.sent, (unsigned long long)counts.dropped,
                (unsigned long long)counts.duplicated, (unsigned long long)counts.delivered);
}

int run(const Arguments& arguments)
{
    if (!stopRequestInstall()) return 1;
    Link link;
    if (!linkStart(link, arguments.config)) return 1;
    const LinkConfig& config = arguments.config;
    std::printf("netduel-link: %s:%u -> %s:%u\n", statusEscape(config.listenAddress).c_str(),
                linkPort(link), statusEscape(config.hostAddress).c_str(), config.hostPort);
    std::printf("client->host: %s\n", describe(config.impairment[LINK_TO_HOST]).c_str());
    std::printf("host->client: %s\n", describe(config.impairment[LINK_TO_CLIENT]).c_str());
    std::fflush(stdout);
    while (!stopRequested()) usleep(STOP_POLL_US);
    printCounts("client->host", linkCounts(link, LINK_TO_HOST));
    printCounts("host->client", linkCounts(link, LINK_TO_CLIENT));
    linkStop(link);
    return 0;
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    using namespace netduel;
    statusOut = stderr;  // a failure to start is an error line, not part of the report
    Arguments arguments;
    if (!parseArguments(argc, argv, arguments)) return 2;
    if (arguments.help) {
        std::printf("%s\n%s", USAGE, HELP);
        return 0;
    }
    if (arguments.version) {
        std::puts("netduel-link " NETDUEL_VERSION);
        return 0;
    }
    return run(arguments);
}
