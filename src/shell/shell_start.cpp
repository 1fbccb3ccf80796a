// How a windowed copy begins, from the command line and the settings.
#include "shell_start.h"

namespace netduel {

ShellStart shellStartFrom(const Options& options, std::string_view builtInHost, const Settings& saved)
{
    if (options.mode == RunMode::Join)
        return ShellStart{options.mode, options.joinHost, options.joinPort, options.name,
                          options.smoothing, options.prediction};
    const int botLevel = options.mode == RunMode::Practice ? options.level : 0;
    ShellStart start{options.mode, builtInHost, options.port, options.name, options.smoothing,
                     options.prediction, botLevel};
    if (!options.noRegister && options.mode != RunMode::Practice) start.registerUrl = !options.registerUrl.empty() ? options.registerUrl : saved.listUrl;
    start.firstTo = options.firstTo;
    start.portMapping = options.portMapping && options.mode != RunMode::Practice;
    start.findInternet = options.mode == RunMode::Find && options.internet;
    if (options.mode == RunMode::Ask && !saved.listUrl.empty()) start.browseList = listUrlParse(saved.listUrl);
    if (start.findInternet) start.findTargets = options.listTargets;  // as the list gave them
    if ((options.mode == RunMode::Ask || options.mode == RunMode::Find) && saved.joinPort != 0) {
        start.lastHost = saved.joinAddress;
        start.lastPort = optionsGave(options, "port") ? options.port : static_cast<std::uint16_t>(saved.joinPort);
    }
    return start;
}

}  // namespace netduel
