// Finding a host for a copy that does not host: --find's search of the LAN or of the
// list's hosts, and the host picked under "Create Host?".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "display/display.h"
#include "find/host_finder.h"
#include "shell/shell_start.h"

namespace netduel {

struct ShellSearch {
    HostFinder finder;          // --find's search while `finding`
    bool finding = false;
    bool findMissed = false;    // the search ended with no host answering
    bool findListed = false;    // --find --internet: the search asks the list's hosts
    std::optional<FoundHost> browsed;  // the host picked under "Create Host?"
};

// Asks "Create Host?" with the hosts found on the LAN and `start`'s list (beside `port`)
// shown under it; the reply, or none when the player left there.
std::optional<std::string> shellSearchAsk(ShellSearch& search, Display& display, const ShellStart& start,
                                          std::uint16_t port);

// --find: the LAN (beside `port`) or the list's hosts are asked at the start.
void shellSearchStart(ShellSearch& search, const ShellStart& start, std::uint16_t port);

// Polls the search at the frame's clock reading `now` (s); once it is over, says what
// it found and returns the host chosen, to be joined as --join would.
std::optional<FoundHost> shellSearchStep(ShellSearch& search, double now);

}  // namespace netduel
