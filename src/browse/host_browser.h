// The start screen's hosts: the LAN asked every few seconds and, with a list URL, the
// hosts on the internet list, shown under "Create Host?" quickest first; Up and Down pick
// one and Enter joins it, while typed text still answers the question.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "display/display.h"
#include "find/host_finder.h"
#include "hostlist/list_client.h"

namespace netduel {

inline constexpr double BROWSE_ROUND_SECONDS = 3.0;   // a fresh search this often
inline constexpr double BROWSE_LIST_SECONDS = 15.0;   // the list read again this often
inline constexpr int BROWSE_ROWS = 12;                // hosts shown at most
inline constexpr int BROWSE_GAP_ROWS = 1;             // text rows between the prompt and the list

struct HostBrowser {
    std::vector<std::uint16_t> ports;  // the LAN's game ports to ask
    std::optional<ListUrl> list;       // none: the LAN only
    HostFinder finder;                 // the search under way
    double nextRoundAt = 0.0;          // s, program clock
    std::vector<FoundHost> shown;      // the last finished search's hosts
    int selected = -1;                 // the row Up and Down picked; -1: none
    std::optional<FoundHost> chosen;   // the host Enter joined
    int firstRow = 0;                  // the screen's text row of the heading
    // The list, read on a thread of its own.
    std::thread reader;
    std::mutex lock;
    std::vector<FindTarget> listed;  // under `lock`
    double nextListAt = 0.0;
};

// Starts searching the LAN at `ports` (and reading `list`), to draw from text row
// `firstRow` on.
void hostBrowserStart(HostBrowser& browser, std::span<const std::uint16_t> ports, std::optional<ListUrl> list,
                      int firstRow, double now);

// Reads answers; a search that is over replaces the hosts shown and the next starts.
void hostBrowserPoll(HostBrowser& browser, double now);

// One key of the prompt: Up and Down move the pick (only while the line is empty), Enter
// on a pick chooses it and ends the prompt; any other key drops the pick and goes to the line.
PromptTake hostBrowserKey(HostBrowser& browser, const std::string& key, bool lineEmpty);

// The heading and one row per host shown, the pick marked with '>'.
std::vector<std::string> hostBrowserRows(const HostBrowser& browser);

// The prompt's watch: poll, key, and the rows drawn.
PromptTake hostBrowserStep(void* browser, Display& display, const std::string& key, bool lineEmpty);

// Waits for a list read in flight and closes the search; safe in any state.
void hostBrowserClose(HostBrowser& browser);

}  // namespace netduel
