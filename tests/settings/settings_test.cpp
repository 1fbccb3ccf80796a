// The settings file on a real folder: its place, round trips, bad and foreign lines, and
// the bindings resolved through SDL's key names.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "base/status.h"
#include "settings/settings.h"

namespace netduel {
namespace {

// The ranges a caller gives for the window's side, the volume and the level.
constexpr SettingsRanges RANGES{4096, 100, 3};

class SettingsTest : public ::testing::Test {
protected:
    std::string dir = mkdtemp(std::string("/tmp/netduel-settings-XXXXXX").data());
    std::string path = dir + "/netduel/netduel.conf";
    char* logText = nullptr;
    std::size_t logSize = 0;
    SettingsFile file;

    void SetUp() override { statusOut = open_memstream(&logText, &logSize); }
    void TearDown() override
    {
        std::fclose(statusOut);
        statusOut = stdout;
        std::free(logText);
        std::filesystem::remove_all(dir);
    }
    void write(const std::string& text)
    {
        std::filesystem::create_directories(dir + "/netduel");
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string read() const { return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str(); }
    std::string log()
    {
        std::fflush(statusOut);
        return std::string(logText, logSize);
    }
};

TEST(SettingsPath, ConfigHomeCountsWhenAbsoluteElseHomesDotConfig)
{
    const char* cases[][3] = {
        {"/x", "/h", "/x/netduel/netduel.conf"},      {nullptr, "/h", "/h/.config/netduel/netduel.conf"},
        {"", "/h", "/h/.config/netduel/netduel.conf"}, {"x", "/h", "/h/.config/netduel/netduel.conf"},
        {nullptr, "h", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(settingsPath(c[0], c[1]), c[2]) << (c[0] ? c[0] : "unset");
    EXPECT_EQ(settingsBeside("/x/netduel/netduel.conf", PAD_MAPPINGS_FILE_NAME), "/x/netduel/gamecontrollerdb.txt");
}

TEST_F(SettingsTest, EverySettingComesBackWithBlanksQuotesLatin1AndControlBytes)
{
    Settings settings{"", "host.example", 5000, {800, 600, true}, {0, true, false}, 3, "http://list.example:42080/"};
    settingsLoad(file, path, RANGES);  // no file yet is no problem; its folder is made
    for (const char* name : {" Ren\xE9 said \"hi\"", "a \\#=, \"b\" ", "\"q", "\x01"}) {
        settings.name = name;
        ASSERT_TRUE(settingsSave(file, settings));
        SettingsFile again;
        EXPECT_EQ(settingsLoad(again, path, RANGES), settings) << read();
    }
    EXPECT_NE(read().find("\nkey-overlay = F3\n"), std::string::npos) << "every key of ours has a line";
    EXPECT_EQ(log(), "");
}

TEST_F(SettingsTest, ForeignLinesCommentsAndUnchangedLinesSurviveARewrite)
{
    write("# mine\r\n\n  volume=40  \nfuture-key = \"x\" y\nmute = on\n");
    Settings settings = settingsLoad(file, path, RANGES);
    EXPECT_EQ(settings.sound, (SoundSettings{40, true, false}));
    settings.sound.volume = 55;
    ASSERT_TRUE(settingsSave(file, settings));
    EXPECT_EQ(read().rfind("# mine\n\nvolume = 55\nfuture-key = \"x\" y\nmute = on\nname = \"\"\n", 0), 0u) << read();
    EXPECT_EQ(read().find("level"), std::string::npos) << "a level never chosen has no line";
    const auto files = std::distance(std::filesystem::directory_iterator(dir + "/netduel"), {});
    EXPECT_EQ(files, 1) << "a temporary file is left";
}

TEST_F(SettingsTest, ChangesQuickerThanASecondAreWrittenTogether)
{
    Settings settings = settingsLoad(file, path, RANGES);
    const auto volumeLine = [&] {
        const std::string text = read();
        const std::size_t at = text.find("volume = ");
        return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
    };
    // A held volume key: a change each frame, the file written at the first and once a
    // second after it with the latest.
    const struct {
        double now;
        int volume;
        const char* written;
    } steps[] = {
        {10.0, 41, "volume = 41"},
        {10.5, 42, "volume = 41"},
        {10.99, 43, "volume = 41"},
        {11.0, 44, "volume = 44"},
        {11.2, 44, "volume = 44"},
        {12.5, 45, "volume = 45"},
    };
    for (const auto& step : steps) {
        settings.sound.volume = step.volume;
        settingsKeep(file, settings, step.now);
        EXPECT_EQ(volumeLine(), step.written) << step.now << " s";
    }
}

TEST_F(SettingsTest, BadLinesAreToldTheGoodOnesStandAndTheFileIsLeftAsItIs)
{
    using namespace std::string_literals;
    const std::string bytes = "volume = 30\nvolume = 31\nmute = maybe\nlevel = 4\nname = \"open\n"
                              "join-address = a:1\nno equals\nwindow-width = 1e3\n\x01\x00garbage\nwindow-height = 4097\n"
                              "join-port = 9\n"s;
    write(bytes);
    Settings expected;
    expected.sound.volume = 30;
    expected.joinPort = 9;
    Settings settings = settingsLoad(file, path, RANGES);
    EXPECT_EQ(settings, expected);
    EXPECT_EQ(log().rfind(path + ":2: volume is set on line 1 already; the default is used and the file is left as "
                          "it is\n" + path + ":3: mute takes yes or no, not 'maybe';", 0), 0u) << log();
    EXPECT_EQ(log().substr(log().rfind('\n', log().size() - 2) + 1), path + ": 6 more bad lines\n");
    settings.name = "Bob";
    settingsKeep(file, settings, 100.0);
    EXPECT_FALSE(settingsSave(file, settings));
    EXPECT_EQ(read(), bytes);
}

TEST_F(SettingsTest, BindingsTakeOneOrTwoKeysAndAKeyDoesOneThing)
{
    const struct {
        const char* lines;
        int fire[2];
        int chat;
        int thrust;
        int problems;
    } cases[] = {
        {"key-fire = Space, Left Ctrl\n", {57, 29}, SCAN_C, SCAN_UP, 0},
        {"key-fire = \",\"\nkey-chat = W\n", {51}, 17, SCAN_UP, 0},
        {"key-thrust = W\nkey-fire = Up\n", {SCAN_UP}, SCAN_C, 17, 0},
        {"key-fire = Nosuch\n", {SCAN_X}, SCAN_C, SCAN_UP, 1},
        {"key-fire = Up\n", {SCAN_X}, SCAN_C, SCAN_UP, 1},
        {"key-thrust = Keypad 8, Up\n", {SCAN_X}, SCAN_C, SCAN_UP, 1},  // one PC scan code
        {"key-chat = X\nkey-fire = X\n", {SCAN_X}, SCAN_C, SCAN_UP, 1},
        {"key-fire = C\nkey-chat = C\n", {SCAN_X}, SCAN_C, SCAN_UP, 2},  // chat's default put back takes fire's
        {"key-fire = Escape\n", {SCAN_X}, SCAN_C, SCAN_UP, 1},
        {"key-fire = Space, W, C\n", {SCAN_X}, SCAN_C, SCAN_UP, 1},
        {"key-fire =\n", {SCAN_X}, SCAN_C, SCAN_UP, 1},
    };
    for (const auto& c : cases) {
        write(c.lines);
        const std::size_t logged = log().size();
        settingsLoad(file, path, RANGES);
        const Bindings bindings = settingsBindings(file, displayKeyNamed);  // SDL's names, no window
        const std::string told = log().substr(logged);
        const auto& keys = bindings.keys;
        EXPECT_EQ(std::tuple(keys[GAME_KEY_FIRE][0], keys[GAME_KEY_FIRE][1], keys[GAME_KEY_CHAT][0], keys[GAME_KEY_THRUST][0],
                             keys[GAME_KEY_MUTE][0], std::count(told.begin(), told.end(), '\n'), file.keep),
                  std::tuple(c.fire[0], c.fire[1], c.chat, c.thrust, SCAN_M, c.problems, c.problems > 0))
            << c.lines << told;
    }
}

}  // namespace
}  // namespace netduel

namespace netduel {
namespace {

// A settings file kept elsewhere through a symbolic link stays so, and the temporary file
// a write cut short by a crash left beside it goes with the next write; a fresh one (a
// write of another copy under way) and files of other names stay.
TEST_F(SettingsTest, ALinkIsWrittenThroughAndACrashedWritesLeftoverGoesWithTheNextWrite)
{
    const std::string real = dir + "/real/netduel.conf";
    std::filesystem::create_directories(dir + "/real");
    std::filesystem::create_directories(dir + "/netduel");
    std::ofstream(real) << "name = Ann\n";
    std::filesystem::create_symlink("../real/netduel.conf", path);
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2);
    struct Beside {
        std::string name;
        bool old;
        bool stays;
    };
    const Beside beside[] = {{"netduel.conf.Ab12Cd", true, false}, {"netduel.conf.Xy34Zw", false, true},
                             {"netduel.conf.bak", true, true}, {"other.conf.Qr56St", true, true}};
    for (const Beside& b : beside) {
        std::ofstream(dir + "/real/" + b.name) << "half";
        if (b.old) std::filesystem::last_write_time(dir + "/real/" + b.name, old);
    }
    Settings settings = settingsLoad(file, path, RANGES);
    ASSERT_EQ(settings.name, "Ann");
    settings.name = "Bob";
    ASSERT_TRUE(settingsSave(file, settings)) << log();
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_NE(read().find("name = Bob\n"), std::string::npos) << read();
    for (const Beside& b : beside) EXPECT_EQ(std::filesystem::exists(dir + "/real/" + b.name), b.stays) << b.name;
}

}  // namespace
}  // namespace netduel
