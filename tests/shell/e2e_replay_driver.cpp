// End-to-end scenarios of recordings: a --practice match recorded with --record and
// killed outright plays back in the window, where the keys move the bar; --info
// summarizes it without a window; a file that is no recording, or of a newer format, is
// refused with status 1 before any window. e2e.sh runs it inside a private network
// namespace with its own Xvfb; argv[1] is the game executable.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "e2e_support.h"
#include "record/record.h"
#include "record/record_fixture.h"

namespace netduel {
namespace {

using namespace e2e;

constexpr std::uint16_t PRACTICE_PORT = 44410;
constexpr double RECORDED_SECONDS = 4.0;  // whole blocks on disk before the kill

const char* gamePath = nullptr;

// The recording as its reader finds it while (or after) it is written.
double recordedLength(const std::string& path)
{
    RecordReader reader;
    std::string problem;
    if (!recordReaderOpen(reader, path, problem)) return 0.0;
    const double length = reader.length;
    recordReaderClose(reader);
    return length;
}

// How far the bar's progress line reaches across the window: its lit pixels.
int barPlayed(const std::string& window)
{
    const std::vector<unsigned char> rgb = screenshot(window);
    if (rgb.empty()) return -1;
    int lit = 0;
    for (int x = 0; x < DISPLAY_WIDTH; ++x) lit += pixel(rgb, x, int(BAR_TOP)) == PANEL_FRAME;
    return lit;
}

// A recording of a real match, from a copy that is killed while it records.
class ReplayEndToEnd : public ::testing::Test {
protected:
    static inline test::RecordFolder* folder = nullptr;
    static inline std::string recording;

    static void SetUpTestSuite()
    {
        folder = new test::RecordFolder;
        recording = folder->path("practice.ndrec");
        auto game = spawn(gamePath, {"--practice", "--port", std::to_string(PRACTICE_PORT), "--record", recording});
        ASSERT_TRUE(waitFor([&] { return game->ended() || recordedLength(recording) >= RECORDED_SECONDS; },
                            std::chrono::seconds(60)))
            << game->outText;
        ASSERT_FALSE(game->ended());
        kill(game->pid, SIGKILL);
    }
    static void TearDownTestSuite() { delete folder; }
};

TEST_F(ReplayEndToEnd, AKilledRecordingPlaysInTheWindowAndTheKeysMoveTheBar)
{
    ASSERT_GE(recordedLength(recording), RECORDED_SECONDS);
    auto replay = spawn(gamePath, {"--replay", recording});
    const std::string window = windowOf(replay->pid);
    ASSERT_FALSE(window.empty()) << "no window";
    const auto played = [&](auto holds) { return waitFor([&] { return holds(barPlayed(window)); }); };
    ASSERT_TRUE(played([](int lit) { return lit > 0; })) << "the bar fills as it plays";

    press(window, "End");
    ASSERT_TRUE(played([](int lit) { return lit == DISPLAY_WIDTH; })) << "End: all of it played, paused there";
    press(window, "Home");
    ASSERT_TRUE(played([](int lit) { return lit >= 0 && lit < DISPLAY_WIDTH / 10; }));
    // A quarter of the speed: the rest of a few seconds' recording lasts while the test looks.
    press(window, "minus");
    press(window, "minus");
    press(window, "5");
    ASSERT_TRUE(played([](int lit) { return lit >= DISPLAY_WIDTH / 2 && lit < DISPLAY_WIDTH * 3 / 5; }));
    press(window, "space");
    // Playing, the line grows between two looks; paused, it stays.
    ASSERT_TRUE(waitFor([&] {
        const int before = barPlayed(window);
        return before > 0 && barPlayed(window) > before;
    }));
    press(window, "space");
    ASSERT_TRUE(waitFor([&] {
        const int before = barPlayed(window);
        return before > 0 && barPlayed(window) == before;
    }));
    const int paused = barPlayed(window);
    press(window, "Left");  // 5 s back, more than was played
    ASSERT_TRUE(played([&](int lit) { return lit >= 0 && lit < paused; }));

    press(window, "Escape");
    ASSERT_TRUE(waitFor([&] { return replay->ended(); }));
    EXPECT_TRUE(replay->exitedWith(0)) << replay->status;
}

// The replay reads the settings: their mute and their mute key. SDL's disk audio writes
// what it plays to a file, silent or not.
TEST_F(ReplayEndToEnd, TheSettingsMuteTheReplayAndTheirMuteKeyGivesTheSoundBack)
{
    struct Case {
        std::string settings;
        const char* press;  // once the window is up; null: nothing
        bool heard;
    };
    const Case cases[] = {
        {"mute = no\n", nullptr, true},  // the recording has sounds to hear
        {"mute = yes\n", nullptr, false},
        {"mute = yes\nkey-mute = N\n", "n", true},
    };
    int run = 0;
    for (const Case& c : cases) {
        const std::string config = folder->path("replay-settings-" + std::to_string(run));
        const std::string played = folder->path("replay-" + std::to_string(run++) + ".raw");
        std::filesystem::create_directories(config + "/netduel");
        std::ofstream(config + "/netduel/netduel.conf") << c.settings;
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", played.c_str(), 1);
        auto replay = spawn(gamePath, {"--replay", recording}, true, config);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        const std::string window = windowOf(replay->pid);
        ASSERT_FALSE(window.empty()) << "no window";
        ASSERT_TRUE(waitFor([&] { return barPlayed(window) > 0; })) << "it plays";
        if (c.press) press(window, c.press);
        ASSERT_TRUE(waitFor([&] { return barPlayed(window) == DISPLAY_WIDTH; })) << "played to its end";
        press(window, "Escape");
        ASSERT_TRUE(waitFor([&] { return replay->ended(); }));
        const std::vector<std::uint8_t> bytes = test::fileBytes(played);
        ASSERT_FALSE(bytes.empty()) << "no disk audio";
        EXPECT_EQ(std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; }), c.heard)
            << c.settings;
    }
}

TEST_F(ReplayEndToEnd, InfoSummarizesWithoutAWindow)
{
    auto info = spawn(gamePath, {"--replay", recording, "--info"}, false);
    ASSERT_TRUE(waitFor([&] { return info->ended(); }));
    EXPECT_TRUE(info->exitedWith(0)) << info->errText;
    for (const char* line : {"length ", "ship 0 Anonymous0\n", "ship 1 Anonymous1, Computer\n", "own slot 0\n",
                             " kB per minute\n"})
        EXPECT_TRUE(info->said(line)) << line << " in\n" << info->outText;

}

TEST_F(ReplayEndToEnd, WhatIsNoRecordingIsRefusedWithOneBeforeAnyWindow)
{
    const std::string text = folder->path("notes.txt");
    std::ofstream(text) << "length 63.4 s\n";
    std::vector<std::uint8_t> newer = test::fileBytes(recording);
    newer[8] = RECORD_VERSION + 1;
    const std::string future = folder->path("future.ndrec");
    test::writeBytes(future, newer);
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    };
    const Case cases[] = {
        {{"--replay", text}, "not a netduel recording"},
        {{"--replay", text, "--info"}, "not a netduel recording"},
        {{"--replay", future}, "recorded in a newer format"},
        {{"--replay", folder->path("missing.ndrec")}, "No such file or directory"},
    };
    for (const Case& c : cases) {
        // Without a screen: a window would say that it cannot open.
        auto game = spawn(gamePath, c.arguments, false);
        ASSERT_TRUE(waitFor([&] { return game->ended(); }));
        EXPECT_TRUE(game->exitedWith(1)) << c.arguments[1];
        EXPECT_NE(game->errText.find(c.says), std::string::npos) << game->errText;
        EXPECT_EQ(std::count(game->errText.begin(), game->errText.end(), '\n'), 1) << game->errText;
        EXPECT_EQ(game->outText.find("Cannot open the window"), std::string::npos);
        game->errText.clear();
    }
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv) { return netduel::e2e::driverMain(argc, argv, netduel::gamePath); }
