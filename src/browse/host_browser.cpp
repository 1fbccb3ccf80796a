// The start screen's hosts: searches, the list's hosts, keys and rows.
#include "host_browser.h"

#include <algorithm>

#include "base/timer.h"
#include "display/key_ring.h"

namespace netduel {

namespace {

// Starts reading the list unless a read is still out; a finished one's hosts stay.
void browserReadList(HostBrowser& browser, double now)
{
    if (!browser.list || now < browser.nextListAt) return;
    if (browser.reader.joinable()) browser.reader.join();
    browser.nextListAt = now + BROWSE_LIST_SECONDS;
    browser.reader = std::thread([&browser, url = *browser.list] {
        std::vector<FindTarget> targets = listFetchTargets(url).value_or(std::vector<FindTarget>{});
        const std::lock_guard guard(browser.lock);
        browser.listed = std::move(targets);
    });
}

void browserSearch(HostBrowser& browser, double now)
{
    std::vector<FindTarget> targets = findBroadcastTargets(browser.ports);
    {
        const std::lock_guard guard(browser.lock);
        targets.insert(targets.end(), browser.listed.begin(), browser.listed.end());
    }
    hostFinderStart(browser.finder, targets, now);
    browser.nextRoundAt = now + BROWSE_ROUND_SECONDS;
}

void browserDraw(HostBrowser& browser, Display& display)
{
    const int top = browser.firstRow * CELL_SIZE;
    const int bottom = top + (BROWSE_ROWS + 1) * CELL_SIZE - 1;
    displayLock(display);
    drawBox(display, 0, top, DISPLAY_WIDTH - 1, bottom, BACKGROUND, true);
    const std::vector<std::string> rows = hostBrowserRows(browser);
    for (std::size_t row = 0; row < rows.size(); ++row) drawText(display, 0, top + int(row) * CELL_SIZE, rows[row]);
    displayUnlock(display, top, bottom);
}

}  // namespace

void hostBrowserStart(HostBrowser& browser, std::span<const std::uint16_t> ports, std::optional<ListUrl> list,
                      int firstRow, double now)
{
    hostBrowserClose(browser);
    browser.ports.assign(ports.begin(), ports.end());
    browser.list = std::move(list);
    browser.firstRow = firstRow;
    browser.shown.clear();
    browser.selected = -1;
    browser.chosen.reset();
    browser.nextListAt = now;
    browserReadList(browser, now);
    browserSearch(browser, now);
}

void hostBrowserPoll(HostBrowser& browser, double now)
{
    hostFinderPoll(browser.finder, now);
    if (!hostFinderDone(browser.finder, now)) return;
    if (browser.finder.socket != ENET_SOCKET_NULL) {
        browser.shown = browser.finder.found;
        hostFinderClose(browser.finder);
        if (browser.selected >= int(std::min<std::size_t>(browser.shown.size(), BROWSE_ROWS))) browser.selected = -1;
    }
    browserReadList(browser, now);
    if (now >= browser.nextRoundAt) browserSearch(browser, now);
}

PromptTake hostBrowserKey(HostBrowser& browser, const std::string& key, bool lineEmpty)
{
    if (key.empty()) return PromptTake::Pass;
    const int rows = int(std::min<std::size_t>(browser.shown.size(), BROWSE_ROWS));
    const bool special = key.size() == 2 && std::uint8_t(key[0]) == KEY_NO_CHARACTER;
    if (special && lineEmpty && (key[1] == SCAN_UP || key[1] == SCAN_DOWN) && rows > 0) {
        const int step = key[1] == SCAN_DOWN ? 1 : -1;
        browser.selected = browser.selected < 0 ? (step > 0 ? 0 : rows - 1) : (browser.selected + step + rows) % rows;
        return PromptTake::Taken;
    }
    if ((key == "\r" || key == "\n") && lineEmpty && browser.selected >= 0 && browser.selected < rows) {
        browser.chosen = browser.shown[std::size_t(browser.selected)];
        return PromptTake::End;
    }
    if (!special) browser.selected = -1;  // typing answers the question
    return PromptTake::Pass;
}

std::vector<std::string> hostBrowserRows(const HostBrowser& browser)
{
    if (browser.shown.empty()) return {"Looking for hosts..."};
    std::vector<std::string> rows = {"Hosts (Up/Down and Enter join one):"};
    for (int row = 0; row < int(std::min<std::size_t>(browser.shown.size(), BROWSE_ROWS)); ++row)
        rows.push_back((row == browser.selected ? "> " : "  ") + foundHostLine(browser.shown[std::size_t(row)]));
    return rows;
}

PromptTake hostBrowserStep(void* user, Display& display, const std::string& key, bool lineEmpty)
{
    HostBrowser& browser = *static_cast<HostBrowser*>(user);
    hostBrowserPoll(browser, timerSeconds());
    const PromptTake take = hostBrowserKey(browser, key, lineEmpty);
    browserDraw(browser, display);
    return take;
}

void hostBrowserClose(HostBrowser& browser)
{
    if (browser.reader.joinable()) browser.reader.join();
    hostFinderClose(browser.finder);
}

}  // namespace netduel
