// Program entry: the command line, then either a dedicated host or the window with its
// frame loop until Escape or SIGINT/SIGTERM; the exit status tells how the run ended.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "base/status.h"
#include "base/stop_request.h"
#include "bot/bot_run.h"
#include "find/host_finder.h"
#include "hostlist/list_client.h"
#include "hostlist/list_server.h"
#include "lobby/lobby_client.h"
#include "record/record.h"
#include "record/record_info.h"
#include "shell/dedicated.h"
#include "display/display.h"
#include "shell/options.h"
#include "shell/replay.h"
#include "shell/shell.h"
#include "settings/settings.h"

#ifndef NETDUEL_SERVER_HOST
#define NETDUEL_SERVER_HOST ""
#endif

namespace {

using namespace netduel;

constexpr int EXIT_NO_WINDOW = 1;
constexpr int EXIT_NO_RECORDING = 1;  // --record's file cannot be written
constexpr int EXIT_REFUSED = 1;       // --replay's file is no recording this program plays
constexpr int EXIT_USAGE = 2;

int usageError(const std::string& problem)
{
    std::fprintf(stderr, "netduel: %s\nTry 'netduel --help' for more information.\n", problem.c_str());
    return EXIT_USAGE;
}

// The settings file that --config names, else the player's usual one.
std::string settingsPlace(const Options& options)
{
    if (!options.configPath.empty()) return options.configPath;
    return settingsPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

int runWindowed(const char* programPath, Options options)
{
    auto shell = std::make_unique<Shell>();
    SettingsFile settingsFile;
    Settings saved = settingsLoad(settingsFile, settingsPlace(options), SETTINGS_RANGES);
    optionsTakeSettings(options, saved);
    if (!options.recordPath.empty() && !shellRecord(*shell, options.recordPath)) return EXIT_NO_RECORDING;
    if (!displayOpen(shell->display, programPath, options.window,
                     settingsBeside(settingsFile.path, PAD_MAPPINGS_FILE_NAME))) {
        recordWriterClose(shell->link.recording.writer);
        return EXIT_NO_WINDOW;
    }
    shellBind(*shell, settingsBindings(settingsFile, displayKeyNamed));  // the names read for the layout
    if (shellStart(*shell, shellStartFrom(options, NETDUEL_SERVER_HOST, saved))) {
        // After the question and the host's lines, which a slow audio system would delay.
        soundOpen(shell->sound, options.sound);  // without a device the game plays silent
        shell->kept.soundAtStart = shell->sound.settings;
        while (shellFrame(*shell)) settingsKeep(settingsFile, shellSettings(*shell, saved), shell->lastTime);
        settingsSave(settingsFile, shellSettings(*shell, saved));  // not for one who left at the question
    }
    shellStop(*shell);
    soundClose(shell->sound);
    displayClose(shell->display);
    return 0;
}

// The replay plays as the game would: the settings' window, sound and mute key, where
// the command line gives none; it changes nothing in them.
int runReplay(const char* programPath, Options options)
{
    RecordReader reader;
    if (!replayOpen(reader, options.replayPath)) return EXIT_REFUSED;
    SettingsFile settingsFile;
    optionsTakeSettings(options, settingsLoad(settingsFile, settingsPlace(options), SETTINGS_RANGES));
    auto display = std::make_unique<Display>();
    auto sound = std::make_unique<Sound>();
    const bool opened = displayOpen(*display, programPath, options.window,
                                    settingsBeside(settingsFile.path, PAD_MAPPINGS_FILE_NAME));
    if (opened) {
        const Bindings bindings = settingsBindings(settingsFile, displayKeyNamed);
        soundOpen(*sound, options.sound);
        replayRun(*display, *sound, reader, options, bindings.keys[GAME_KEY_MUTE]);
    }
    soundClose(*sound);
    displayClose(*display);
    recordReaderClose(reader);
    return opened ? 0 : EXIT_NO_WINDOW;
}

// The computer player joins --join's address, else the built-in one.
int runBot(const Options& options)
{
    const std::string_view builtIn = NETDUEL_SERVER_HOST;
    const std::string_view host = !options.joinHost.empty() ? std::string_view(options.joinHost)
                                  : !builtIn.empty()        ? builtIn
                                                            : DEFAULT_SERVER_ADDRESS;
    return botRun(host, options.joinPort, options.level, options.name);
}

// --internet's list: its URL, else the settings' list-url; nothing when neither is set.
std::optional<ListUrl> internetUrl(const Options& options)
{
    std::string url = options.internetUrl;
    if (url.empty()) {
        SettingsFile file;
        url = settingsLoad(file, settingsPlace(options), SETTINGS_RANGES).listUrl;
    }
    if (url.empty()) return std::nullopt;
    return listUrlParse(url);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string problem;
    if (!optionsParse(argc, argv, options, problem)) return usageError(problem);
    if (options.help) {
        std::fputs(optionsUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("netduel " NETDUEL_VERSION);
        return 0;
    }
    // Before any window: a name that does not resolve is a bad argument, not a blind run.
    if (!options.joinHost.empty() && !lobbyClientResolves(options.joinHost))
        return usageError("cannot resolve the address '" + options.joinHost + "'");
    for (const FindTarget& target : options.listTargets)
        if (!lobbyClientResolves(target.host))
            return usageError("cannot resolve the address '" + target.host + "'");
    std::optional<ListUrl> list;
    if (options.internet && !(list = internetUrl(options)))
        return usageError("--internet needs a list's URL, given after it or as the settings' list-url");
    statusOpen();
    stopRequestInstall();
    if (options.mode == RunMode::ListServer)
        return listServerRun(optionsGave(options, "port") ? options.port : HOSTLIST_PORT);
    if (options.mode == RunMode::Dedicated)
        return dedicatedRun(options.port, options.recordDir, options.recordKeep,
                            options.noRegister ? std::string() : options.registerUrl, options.portMapping,
                            options.firstTo);
    if (options.mode == RunMode::List && list) return internetListRun(*list);
    if (options.mode == RunMode::Find && list) {
        options.listTargets = listFetchTargets(*list).value_or(std::vector<FindTarget>{});
    }
    if (options.mode == RunMode::Replay && options.info) return recordInfoRun(options.replayPath);
    if (options.mode == RunMode::Replay) return runReplay(argv[0], options);
    if (options.mode == RunMode::Bot) return runBot(options);
    if (options.mode == RunMode::List) return hostListRun(options.listTargets, options.port);
    return runWindowed(argv[0], options);
}
