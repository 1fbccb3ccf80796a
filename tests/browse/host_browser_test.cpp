// The start screen's pick: Up and Down on an empty line, Enter on a pick, typing as ever.
#include <gtest/gtest.h>

#include "browse/host_browser.h"
#include "display/key_ring.h"

namespace netduel {
namespace {

const char NONE = char(KEY_NO_CHARACTER);  // the first byte of a key without a character
const std::string UP{NONE, char(SCAN_UP)}, DOWN{NONE, char(SCAN_DOWN)}, LEFT{NONE, char(SCAN_LEFT)};

TEST(HostBrowser, UpAndDownPickAHostEnterJoinsItAndTypingAnswersTheQuestion)
{
    HostBrowser browser;
    EXPECT_EQ(hostBrowserKey(browser, DOWN, true), PromptTake::Pass) << "no host: the line has the key";
    EXPECT_EQ(hostBrowserRows(browser), std::vector<std::string>{"Looking for hosts..."});
    browser.shown.resize(3);
    for (int i = 0; i < 3; ++i) browser.shown[i].address.port = std::uint16_t(42069 + i);
    struct Step {
        std::string key;
        bool lineEmpty;
        PromptTake take;
        int selected;
    } steps[] = {
        {DOWN, true, PromptTake::Taken, 0}, {DOWN, true, PromptTake::Taken, 1}, {UP, true, PromptTake::Taken, 0},
        {UP, true, PromptTake::Taken, 2},   {DOWN, true, PromptTake::Taken, 0}, {DOWN, false, PromptTake::Pass, 0},
        {LEFT, true, PromptTake::Pass, 0},  {"y", true, PromptTake::Pass, -1},   {"\r", true, PromptTake::Pass, -1},
        {UP, true, PromptTake::Taken, 2},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(hostBrowserKey(browser, step.key, step.lineEmpty), step.take) << step.selected;
        EXPECT_EQ(browser.selected, step.selected);
    }
    EXPECT_FALSE(browser.chosen) << "Enter without a pick answers the question";
    const std::vector<std::string> rows = hostBrowserRows(browser);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3].substr(0, 2), "> ");
    EXPECT_EQ(rows[1].substr(0, 2), "  ");
    EXPECT_EQ(hostBrowserKey(browser, "\r", true), PromptTake::End);
    ASSERT_TRUE(browser.chosen);
    EXPECT_EQ(browser.chosen->address.port, 42071);
}

}  // namespace
}  // namespace netduel
