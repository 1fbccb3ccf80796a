// Finding a host: the LAN or the list searched, and the pick under the question.
#include "shell_search.h"

#include <memory>
#include <vector>

#include "base/status.h"
#include "base/timer.h"
#include "browse/host_browser.h"

namespace netduel {

std::optional<std::string> shellSearchAsk(ShellSearch& search, Display& display, const ShellStart& start,
                                          std::uint16_t port)
{
    auto browser = std::make_unique<HostBrowser>();
    const std::uint16_t ports[] = {LOBBY_PORT, port};
    hostBrowserStart(*browser, ports, start.browseList, display.cursorRow + 1 + BROWSE_GAP_ROWS, timerSeconds());
    std::optional<std::string> answer = promptLine(display, "Create Host?", PromptWatch{hostBrowserStep, browser.get()});
    hostBrowserClose(*browser);
    search.browsed = browser->chosen;
    return answer;
}

void shellSearchStart(ShellSearch& search, const ShellStart& start, std::uint16_t port)
{
    const std::uint16_t ports[] = {LOBBY_PORT, port};
    const std::vector<FindTarget> lan = start.findInternet ? std::vector<FindTarget>{} : findBroadcastTargets(ports);
    search.finding = hostFinderStart(search.finder, start.findInternet ? start.findTargets : lan, timerSeconds());
    search.findListed = start.findInternet;
    search.findMissed = !search.finding;
}

std::optional<FoundHost> shellSearchStep(ShellSearch& search, double now)
{
    hostFinderPoll(search.finder, now);
    if (!hostFinderDone(search.finder, now)) return std::nullopt;
    search.finding = false;
    const FoundHost* host = foundHostPick(search.finder.found);
    search.findMissed = host == nullptr;
    std::optional<FoundHost> chosen;
    if (host) {
        chosen = *host;
        statusWrite("Found a host at " + findAddressText(host->address) + ":" + std::to_string(host->address.port),
                    true);
    } else {
        statusWrite(search.findListed ? "No host found on the list." : "No host found on the LAN.", true);
    }
    hostFinderClose(search.finder);
    return chosen;
}

}  // namespace netduel
