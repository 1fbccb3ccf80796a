// Command line: every flag, their combinations, and the one-line problem of each bad argument.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

#include "shell/options.h"
#include "shell/shell_start.h"

namespace netduel {
namespace {

struct Parsed {
    bool ok = false;
    Options options;
    std::string problem;
};

Parsed parse(std::initializer_list<std::string> arguments)
{
    std::vector<std::string> words{"netduel"};
    words.insert(words.end(), arguments);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::vector<char*> given = argv;
    Parsed parsed;
    parsed.ok = optionsParse(static_cast<int>(words.size()), argv.data(), parsed.options, parsed.problem);
    EXPECT_EQ(argv, given) << "argv was reordered";
    return parsed;
}

Options parsedOptions(std::initializer_list<std::string> arguments)
{
    const Parsed parsed = parse(arguments);
    EXPECT_TRUE(parsed.ok) << parsed.problem;
    EXPECT_EQ(parsed.problem, "");
    return parsed.options;
}

std::string problemOf(std::initializer_list<std::string> arguments)
{
    const Parsed parsed = parse(arguments);
    EXPECT_FALSE(parsed.ok);
    return parsed.problem;
}

TEST(Options, NoArgumentsAsksWithTheDefaultPort)
{
    const Options options = parsedOptions({});
    EXPECT_EQ(options.mode, RunMode::Ask);
    EXPECT_EQ(options.port, 42069);
    EXPECT_EQ(options.joinPort, 42069);
    EXPECT_EQ(options.joinHost, "");
    EXPECT_EQ(options.name, "");
    EXPECT_FALSE(options.help);
    EXPECT_FALSE(options.version);
}

TEST(Options, ModeFlags)
{
    EXPECT_EQ(parsedOptions({"--host"}).mode, RunMode::Host);
    EXPECT_EQ(parsedOptions({"--dedicated"}).mode, RunMode::Dedicated);
    EXPECT_EQ(parsedOptions({"--host", "--host"}).mode, RunMode::Host);
    EXPECT_EQ(parsedOptions({"--ho"}).mode, RunMode::Host);  // getopt_long takes unique prefixes
    const Options join = parsedOptions({"--join", "example.org"});
    EXPECT_EQ(join.mode, RunMode::Join);
    EXPECT_EQ(join.joinHost, "example.org");
    EXPECT_EQ(join.joinPort, 42069);
}

TEST(Options, JoinPortComesFromTheAddressElseFromPort)
{
    const Options own = parsedOptions({"--join", "192.0.2.7:5000"});
    EXPECT_EQ(own.joinHost, "192.0.2.7");
    EXPECT_EQ(own.joinPort, 5000);
    EXPECT_EQ(own.port, 42069);
    EXPECT_EQ(parsedOptions({"--join", "h", "--port", "6000"}).joinPort, 6000);
    EXPECT_EQ(parsedOptions({"--port=6000", "--join=h"}).joinPort, 6000);
    const Options both = parsedOptions({"--join", "h:5000", "--port", "6000"});
    EXPECT_EQ(both.joinPort, 5000);
    EXPECT_EQ(both.port, 6000);
    EXPECT_EQ(parsedOptions({"--join", "a", "--join", "b:7"}).joinHost, "b");
}

TEST(Options, PortRangeIsOneTo65535)
{
    EXPECT_EQ(parsedOptions({"--port", "1"}).port, 1);
    EXPECT_EQ(parsedOptions({"--port", "65535"}).port, 65535);
    EXPECT_EQ(parsedOptions({"--host", "--port", "43000"}).port, 43000);
    for (const char* bad : {"0", "65536", "-1", "+5", "5x", "", " 5", "99999999999"})
        EXPECT_EQ(problemOf({"--port", bad}),
                  "port must be a number from 1 to 65535, not '" + std::string(bad) + "'");
    EXPECT_EQ(problemOf({"--join", "h:0"}), "port must be a number from 1 to 65535, not '0'");
    EXPECT_EQ(problemOf({"--join", "h:"}), "port must be a number from 1 to 65535, not ''");
}

TEST(Options, JoinAddressMustBeThere)
{
    EXPECT_EQ(problemOf({"--join", ""}), "--join needs an address before any ':', not ''");
    EXPECT_EQ(problemOf({"--join", ":5000"}), "--join needs an address before any ':', not ':5000'");
    EXPECT_EQ(problemOf({"--join", "a:1:2"}),
              "--join takes a name or an IPv4 address with one optional :PORT, not 'a:1:2'");
    EXPECT_EQ(problemOf({"--join"}), "--join needs an argument");
}

TEST(Options, NameIsOneTo32PrintableCharactersWithoutBlanks)
{
    EXPECT_EQ(parsedOptions({"--name", "Zed"}).name, "Zed");
    EXPECT_EQ(parsedOptions({"--name", "!~"}).name, "!~");
    const std::string longest(32, 'n');
    EXPECT_EQ(parsedOptions({"--join", "h", "--name", longest}).name, longest);
    EXPECT_EQ(parsedOptions({"--host", "--name", "Zed"}).name, "Zed");
    const std::string rule = "--name takes 1 to 32 printable ASCII characters without blanks, not ";
    for (const std::string& bad : {std::string(33, 'n'), std::string(), std::string("Ze d"),
                                  std::string("Zed\x7f"), std::string("\xc3\xa9t\xc3\xa9")})
        EXPECT_EQ(problemOf({"--name", bad}), rule + "'" + bad + "'");
    EXPECT_EQ(problemOf({"--name"}), "--name needs an argument");
}

TEST(Options, WindowSizeAndFullScreen)
{
    EXPECT_EQ(parsedOptions({}).window, (DisplayWindow{1024, 768, false}));
    EXPECT_EQ(parsedOptions({"--window", "800x600"}).window, (DisplayWindow{800, 600, false}));
    EXPECT_EQ(parsedOptions({"--window=1x65535", "--host"}).window, (DisplayWindow{1, 65535, false}));
    EXPECT_EQ(parsedOptions({"--fullscreen", "--window", "1600x900"}).window,
              (DisplayWindow{1600, 900, true}));
    EXPECT_EQ(parsedOptions({"--join", "h", "--fullscreen"}).window, (DisplayWindow{1024, 768, true}));
    const std::string rule = "--window takes WIDTHxHEIGHT in pixels (1 to 65535 each), not ";
    for (const char* bad : {"800", "800x", "x600", "800X600", "800x600x2", "0x600", "800x0",
                            "65536x600", "-800x600", "+800x600", "800 x600", "800x600 ", "1e3x600",
                            "99999999999x1", ""})
        EXPECT_EQ(problemOf({"--window", bad}), rule + "'" + bad + "'");
    EXPECT_EQ(problemOf({"--window"}), "--window needs an argument");
    EXPECT_EQ(problemOf({"--fullscreen=yes"}), "--fullscreen takes no argument");
    const std::string noWindow = "--window and --fullscreen need a window: a --dedicated host has none";
    EXPECT_EQ(problemOf({"--dedicated", "--fullscreen"}), noWindow);
    EXPECT_EQ(problemOf({"--window", "800x600", "--dedicated"}), noWindow);
    const std::string usage = optionsUsage();
    EXPECT_NE(usage.find("--window WIDTHxHEIGHT"), std::string::npos);
    EXPECT_NE(usage.find("--fullscreen"), std::string::npos);
}

TEST(Options, SoundVolumeMuteAndBackground)
{
    EXPECT_EQ(parsedOptions({}).sound, (SoundSettings{70, false, false}));
    EXPECT_EQ(parsedOptions({"--volume", "0", "--mute"}).sound, (SoundSettings{0, true, false}));
    EXPECT_EQ(parsedOptions({"--volume=100", "--sound-in-background", "--practice"}).sound,
              (SoundSettings{100, false, true}));
    for (const char* bad : {"101", "-1", "", "00", "7x", "1e2"})
        EXPECT_EQ(problemOf({"--volume", bad}), "--volume takes a number from 0 to 100, not '" + std::string(bad) + "'");
    EXPECT_EQ(problemOf({"--dedicated", "--mute"}),
              "--volume, --mute and --sound-in-background need a window: a --dedicated host plays no sound");
    EXPECT_EQ(problemOf({"--volume", "5", "--bot"}),
              "--volume, --mute and --sound-in-background need a window: --bot plays no sound");
}

TEST(Options, ModesExcludeEachOther)
{
    const std::string tail = " cannot be combined with another of --host, --join, --dedicated and --practice";
    EXPECT_EQ(problemOf({"--host", "--join", "h"}), "--join" + tail);
    EXPECT_EQ(problemOf({"--join", "h", "--host"}), "--host" + tail);
    EXPECT_EQ(problemOf({"--join", "h", "--dedicated"}), "--dedicated" + tail);
    EXPECT_EQ(problemOf({"--host", "--dedicated"}), "--dedicated" + tail);
    EXPECT_EQ(problemOf({"--dedicated", "--name", "Zed"}), "--name needs a player: a --dedicated host has none");
    EXPECT_EQ(problemOf({"--name", "Zed", "--dedicated"}), "--name needs a player: a --dedicated host has none");
    EXPECT_EQ(parsedOptions({"--dedicated", "--port", "43001"}).port, 43001);
}

TEST(Options, ComputerPlayers)
{
    const Options bot = parsedOptions({"--bot"});
    EXPECT_EQ(bot.mode, RunMode::Bot);
    EXPECT_EQ(bot.joinHost, "");  // the built-in address
    EXPECT_EQ(bot.level, BOT_LEVEL_DEFAULT);
    const Options joining = parsedOptions({"--join", "h:5000", "--bot", "--level", "3", "--name", "Hal"});
    EXPECT_EQ(joining.mode, RunMode::Bot);
    EXPECT_EQ(joining.joinHost, "h");
    EXPECT_EQ(joining.joinPort, 5000);
    EXPECT_EQ(joining.level, 3);
    EXPECT_EQ(joining.name, "Hal");
    EXPECT_EQ(parsedOptions({"--bot", "--port", "6000"}).joinPort, 6000);
    const Options practice = parsedOptions({"--practice", "--level", "1", "--port", "43002"});
    EXPECT_EQ(practice.mode, RunMode::Practice);
    EXPECT_EQ(practice.level, 1);
    EXPECT_EQ(practice.port, 43002);
    EXPECT_EQ(parsedOptions({"--practice"}).level, BOT_LEVEL_DEFAULT);

    for (const char* bad : {"0", "4", "", "2x", "-1", "22"})
        EXPECT_EQ(problemOf({"--bot", "--level", bad}), "--level takes 1, 2 or 3, not '" + std::string(bad) + "'");
    const std::string botClash = "--bot joins a host: it takes --join but no other mode";
    EXPECT_EQ(problemOf({"--bot", "--host"}), botClash);
    EXPECT_EQ(problemOf({"--dedicated", "--bot"}), botClash);
    EXPECT_EQ(problemOf({"--practice", "--bot"}), botClash);
    EXPECT_EQ(problemOf({"--practice", "--join", "h"}),
              "--join cannot be combined with another of --host, --join, --dedicated and --practice");
    for (const char* mode : {"--host", "--dedicated"})
        EXPECT_EQ(problemOf({mode, "--level", "2"}), "--level needs a computer player: --bot or --practice");
    EXPECT_EQ(problemOf({"--level", "2"}), "--level needs a computer player: --bot or --practice");
}

TEST(Options, UnknownAndMalformedArguments)
{
    EXPECT_EQ(problemOf({"--bogus"}), "unknown option '--bogus'");
    EXPECT_EQ(problemOf({"--bogus=1"}), "unknown option '--bogus=1'");
    EXPECT_EQ(problemOf({"-x"}), "unknown option '-x'");
    EXPECT_EQ(problemOf({"-hx"}), "unknown option '-h'");
    EXPECT_EQ(problemOf({"--h"}), "ambiguous option '--h'");
    EXPECT_EQ(problemOf({"--host=yes"}), "--host takes no argument");
    EXPECT_EQ(problemOf({"--port"}), "--port needs an argument");
    EXPECT_EQ(problemOf({"join"}), "unexpected argument 'join'");
    EXPECT_EQ(problemOf({"--host", "--", "extra"}), "unexpected argument 'extra'");
    EXPECT_EQ(problemOf({"--help", "--bogus"}), "unknown option '--bogus'");
}

TEST(Options, HelpAndVersionAreRecorded)
{
    const Options help = parsedOptions({"--help"});
    EXPECT_TRUE(help.help);
    EXPECT_FALSE(help.version);
    const Options version = parsedOptions({"--host", "--version"});
    EXPECT_TRUE(version.version);
    EXPECT_FALSE(version.help);
}

TEST(Options, ViewSwitchesTurnSmoothingAndPredictionOffOneByOne)
{
    const Options plain = parsedOptions({"--join", "h"});
    EXPECT_TRUE(plain.smoothing);
    EXPECT_TRUE(plain.prediction);
    const Options still = parsedOptions({"--host", "--no-smoothing"});
    EXPECT_FALSE(still.smoothing);
    EXPECT_TRUE(still.prediction);
    EXPECT_FALSE(parsedOptions({"--no-prediction"}).prediction);
    EXPECT_TRUE(parsedOptions({"--no-prediction"}).smoothing);
    EXPECT_EQ(problemOf({"--no-prediction=1"}), "--no-prediction takes no argument");
    EXPECT_EQ(problemOf({"--no"}), "ambiguous option '--no'");
}

TEST(Options, EachParseStartsAfresh)
{
    EXPECT_EQ(problemOf({"--host", "--bogus"}), "unknown option '--bogus'");
    // A scan left half-way must not make the next one skip or misread its first word.
    EXPECT_EQ(parsedOptions({"--join", "h"}).mode, RunMode::Join);
    EXPECT_EQ(problemOf({"-hx"}), "unknown option '-h'");
    EXPECT_EQ(parsedOptions({"--dedicated"}).mode, RunMode::Dedicated);
}

TEST(Options, UsageNamesEveryFlag)
{
    const std::string usage = optionsUsage();
    for (const char* flag : {"--host", "--join ADDRESS[:PORT]", "--dedicated", "--port N",
                             "--name NAME", "--no-smoothing", "--no-prediction", "--help", "--version",
                             "42069", "--practice", "--bot", "--level N", "--volume N", "--mute",
                             "--sound-in-background"})
        EXPECT_NE(usage.find(flag), std::string::npos) << flag;
    EXPECT_EQ(usage.back(), '\n');
}

TEST(Options, ListTakesAddressesAnywhereAfterItWithPortFromTheAddressElseFromPort)
{
    const Options none = parsedOptions({"--list"});
    EXPECT_EQ(none.mode, RunMode::List);
    EXPECT_TRUE(none.listTargets.empty());

    const Options some = parsedOptions({"--list", "a", "b:43002", "--port", "43001", "c"});
    ASSERT_EQ(some.listTargets.size(), 3u);
    EXPECT_EQ(some.listTargets[0].host, "a");
    EXPECT_EQ(some.listTargets[0].port, 43001);
    EXPECT_EQ(some.listTargets[1].host, "b");
    EXPECT_EQ(some.listTargets[1].port, 43002);
    EXPECT_EQ(some.listTargets[2].host, "c");
    EXPECT_EQ(some.port, 43001);

    EXPECT_EQ(problemOf({"--list", "a:0"}), "port must be a number from 1 to 65535, not '0'");
    EXPECT_EQ(problemOf({"--list", ":5"}), "--list needs an address before any ':', not ':5'");
    EXPECT_EQ(problemOf({"--list", "a", "--bogus"}), "unknown option '--bogus'");
    EXPECT_EQ(problemOf({"--list=a"}), "--list takes no argument");
    EXPECT_EQ(problemOf({"--find", "a"}), "unexpected argument 'a'");  // only --list takes operands
    EXPECT_EQ(problemOf({"a", "--list"}), "unexpected argument 'a'");
}

TEST(Options, ListAndFindAreModesOfTheirOwn)
{
    EXPECT_EQ(parsedOptions({"--find", "--port", "43003", "--name", "Zed"}).mode, RunMode::Find);
    EXPECT_EQ(problemOf({"--list", "--find"}), "--find cannot be combined with another mode");
    EXPECT_EQ(problemOf({"--host", "--list"}), "--list cannot be combined with another mode");
    EXPECT_EQ(problemOf({"--find", "--dedicated"}), "--dedicated cannot be combined with another mode");
    const std::string usage = optionsUsage();
    EXPECT_NE(usage.find("--list [ADDRESS[:PORT]...]"), std::string::npos);
    EXPECT_NE(usage.find("--find"), std::string::npos);
}

TEST(Options, TheInternetListIsServedRegisteredAtAndRead)
{
    EXPECT_EQ(parsedOptions({"--list-server", "--port", "8080"}).mode, RunMode::ListServer);
    const Options host = parsedOptions({"--dedicated", "--register", "http://list.example/"});
    EXPECT_EQ(host.registerUrl, "http://list.example/");
    EXPECT_TRUE(parsedOptions({"--host", "--no-register"}).noRegister);
    for (const auto& words : {std::initializer_list<std::string>{"--list", "--internet", "http://l:1/x"},
                              {"--list", "--internet=http://l:1/x"}, {"--find", "--internet", "http://l:1/x"}}) {
        const Options reader = parsedOptions(words);
        EXPECT_TRUE(reader.internet);
        EXPECT_EQ(reader.internetUrl, "http://l:1/x");
        EXPECT_TRUE(reader.listTargets.empty()) << "the URL is no address to ask";
    }
    EXPECT_TRUE(parsedOptions({"--list", "--internet"}).internetUrl.empty()) << "the settings' list-url then";
    EXPECT_EQ(problemOf({"--list-server", "--name", "x"}), "--list-server takes only --port");
    EXPECT_EQ(problemOf({"--list-server", "--host"}), "--host cannot be combined with another mode");
    EXPECT_EQ(problemOf({"--join", "a", "--register", "http://l/"}),
              "--register and --no-register need a host: --host or --dedicated");
    EXPECT_EQ(problemOf({"--host", "--register", "http://l/", "--no-register"}),
              "--register cannot be combined with --no-register");
    EXPECT_EQ(problemOf({"--host", "--register", "ftp://l/"}),
              "--register takes a list's URL, http://HOST[:PORT][/PATH], not 'ftp://l/'");
    EXPECT_EQ(problemOf({"--host", "--internet"}), "--internet goes with --list or --find");
    EXPECT_EQ(problemOf({"--list", "--internet", "a"}), "--list --internet asks the list's hosts: it takes no ADDRESS");
}

TEST(Options, RecordingAndReplay)
{
    for (const auto mode : {"", "--host", "--practice", "--find"}) {
        const Options watching = mode[0] ? parsedOptions({mode, "--record", "m.ndrec"}) : parsedOptions({"--record", "m.ndrec"});
        EXPECT_EQ(watching.recordPath, "m.ndrec") << mode;
    }
    EXPECT_EQ(parsedOptions({"--join", "h", "--record=j.ndrec"}).recordPath, "j.ndrec");
    const Options dedicated = parsedOptions({"--dedicated", "--record-dir", "/var/lib/x"});
    EXPECT_EQ(dedicated.recordDir, "/var/lib/x");
    EXPECT_EQ(dedicated.recordKeep, 20);
    EXPECT_EQ(parsedOptions({"--record-keep", "3", "--dedicated", "--record-dir", "d"}).recordKeep, 3);
    const Options replay = parsedOptions({"--replay", "m.ndrec", "--info"});
    EXPECT_EQ(replay.mode, RunMode::Replay);
    EXPECT_EQ(replay.replayPath, "m.ndrec");
    EXPECT_TRUE(replay.info);
    EXPECT_FALSE(parsedOptions({"--replay", "m.ndrec", "--window", "800x600"}).info);

    const std::string window = "--record needs a window that plays or watches (not --dedicated, --bot, --list or --replay)";
    EXPECT_EQ(problemOf({"--dedicated", "--record", "m"}), window);
    EXPECT_EQ(problemOf({"--bot", "--record", "m"}), window);
    EXPECT_EQ(problemOf({"--replay", "a", "--record", "m"}), window);
    EXPECT_EQ(problemOf({"--host", "--record-dir", "d"}),
              "--record-dir is for a --dedicated host (a window records with --record FILE)");
    EXPECT_EQ(problemOf({"--dedicated", "--record-keep", "5"}), "--record-keep needs --record-dir");
    for (const char* bad : {"0", "100001", "x", ""})
        EXPECT_EQ(problemOf({"--dedicated", "--record-dir", "d", "--record-keep", bad}),
                  std::string("--record-keep takes a number of files from 1 to 100000, not '") + bad + "'");
    EXPECT_EQ(problemOf({"--info"}), "--info needs --replay FILE");
    EXPECT_EQ(problemOf({"--record", ""}), "--record needs a file name");
    EXPECT_EQ(problemOf({"--replay", "a", "--host"}), "--host cannot be combined with another mode");
    EXPECT_EQ(problemOf({"--list", "--replay", "a"}), "--replay cannot be combined with another mode");
}

TEST(Options, TheSettingsFillWhatTheCommandLineLeavesOutInAFileThatConfigMayName)
{
    const Settings file{"Filed", "", 0, {800, 600, false}, {20, false, false}, 3, {}};
    Options none = parsedOptions({"--practice"});
    optionsTakeSettings(none, file);
    EXPECT_EQ(std::tuple(none.name, none.window, none.sound, none.level),
              std::tuple("Filed", file.window, file.sound, 3));
    // Given, even at its default, an option wins.
    Options all = parsedOptions({"--practice", "--name", "Cli", "--window", "640x480", "--fullscreen", "--volume",
                                 "70", "--mute", "--level", "2"});
    optionsTakeSettings(all, file);
    EXPECT_EQ(std::tuple(all.name, all.window, all.sound, all.level),
              std::tuple("Cli", DisplayWindow{640, 480, true}, SoundSettings{70, true, false}, 2));
    EXPECT_EQ(parsedOptions({"--config", "my.conf", "--join", "h"}).configPath, "my.conf");
    EXPECT_EQ(problemOf({"--config", ""}), "--config needs a file name");
    const std::string noWindow = "--config needs a window that plays or watches (not --dedicated, --bot, --list or --info)";
    EXPECT_EQ(problemOf({"--bot", "--config", "c"}), noWindow);
    EXPECT_EQ(problemOf({"--replay", "a", "--info", "--config", "c"}), noWindow);
    EXPECT_EQ(parsedOptions({"--replay", "a", "--config", "c"}).configPath, "c") << "a replay reads the settings";
}

}  // namespace
}  // namespace netduel

namespace netduel {
namespace {

TEST(Options, FirstToKeepsAScoreOnAHostOnly)
{
    EXPECT_EQ(parsedOptions({}).firstTo, 0) << "off by default";
    EXPECT_EQ(parsedOptions({"--host", "--first-to", "1"}).firstTo, 1);
    EXPECT_EQ(parsedOptions({"--first-to=99", "--dedicated"}).firstTo, 99);
    EXPECT_EQ(parsedOptions({"--practice", "--first-to", "7"}).firstTo, 7);
    EXPECT_EQ(shellStartFrom(parsedOptions({"--practice", "--first-to", "7"}), "").firstTo, 7);
    const std::string range = "--first-to takes a number of hits from 1 to 99, not ";
    for (const char* bad : {"0", "100", "-1", "", "5x", "+5"})
        EXPECT_EQ(problemOf({"--host", "--first-to", bad}), range + "'" + bad + "'");
    EXPECT_EQ(problemOf({"--host", "--first-to"}), "--first-to needs an argument");
    const std::string hosts = "--first-to needs a host: --host, --dedicated or --practice";
    EXPECT_EQ(problemOf({"--first-to", "3"}), hosts) << "the question may not host";
    EXPECT_EQ(problemOf({"--join", "h", "--first-to", "3"}), hosts);
    EXPECT_EQ(problemOf({"--first-to", "3", "--bot"}), hosts);
    EXPECT_EQ(problemOf({"--find", "--first-to", "3"}), hosts);
    EXPECT_EQ(problemOf({"--replay", "f", "--first-to", "3"}), hosts);
}

}  // namespace
}  // namespace netduel
