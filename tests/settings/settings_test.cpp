// The settings file on a real folder: its place, round trips, bad and foreign lines,
// writes that fail, and the bindings resolved through a small table of key names.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "base/status.h"
#include "settings/settings.h"

namespace netduel {
namespace {

class SettingsTest : public ::testing::Test {
protected:
    std::string dir;
    std::string path;
    std::FILE* log = std::tmpfile();
    SettingsFile file;

    void SetUp() override
    {
        char pattern[] = "/tmp/netduel-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        path = dir + "/netduel/netduel.conf";
        statusOut = log;
    }
    void TearDown() override
    {
        statusOut = stdout;
        std::fclose(log);
        std::system(("rm -rf " + dir).c_str());
    }
    void write(const std::string& text)
    {
        std::system(("mkdir -p " + dir + "/netduel").c_str());
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string read() const
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string logText()
    {
        std::string text(8192, '\0');
        std::rewind(log);
        text.resize(std::fread(text.data(), 1, text.size(), log));
        return text;
    }
    int logLines()
    {
        const std::string text = logText();
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    int levelInFile() const
    {
        SettingsFile other;
        return settingsLoad(other, path).level;
    }
};

TEST(SettingsPathTest, ConfigHomeMustBeAbsoluteElseHomeDotConfig)
{
    const struct {
        const char* xdg;
        const char* home;
        const char* path;
    } cases[] = {
        {"/x", "/h", "/x/netduel/netduel.conf"},      {nullptr, "/h", "/h/.config/netduel/netduel.conf"},
        {"", "/h", "/h/.config/netduel/netduel.conf"}, {"rel/x", "/h", "/h/.config/netduel/netduel.conf"},
        {"/x", nullptr, "/x/netduel/netduel.conf"},    {nullptr, "rel", ""},
        {nullptr, nullptr, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(settingsPath(c.xdg, c.home), c.path) << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "(unset)");
    EXPECT_EQ(settingsBeside("/x/netduel/netduel.conf", PAD_MAPPINGS_FILE_NAME), "/x/netduel/gamecontrollerdb.txt");
}

TEST_F(SettingsTest, EverySettingComesBackWithBlanksQuotesLatin1AndControlBytes)
{
    Settings settings;
    settings.name = " \"Ren\xE9\" said, \\#=\x01 ";
    settings.joinAddress = "host.example";
    settings.joinPort = 5000;
    settings.window = {800, 600, true};
    settings.sound = {0, true, false};
    settings.level = 3;
    settingsLoad(file, path);  // no file yet: no problem, and the folder is made on the write
    EXPECT_FALSE(file.keep);
    ASSERT_TRUE(settingsSave(file, settings));
    SettingsFile again;
    EXPECT_EQ(settingsLoad(again, path), settings) << read();
    EXPECT_TRUE(again.complete);
    EXPECT_EQ(logText(), "");
    // A plain name stays plain; every key of ours has a line, the bindings their defaults.
    settings.name = "Bob";
    ASSERT_TRUE(settingsSave(again, settings));
    EXPECT_NE(read().find("\nname = Bob\n"), std::string::npos) << read();
    EXPECT_NE(read().find("\nkey-overlay = F3\n"), std::string::npos) << read();
}

TEST_F(SettingsTest, ForeignLinesCommentsAndUnchangedLinesSurviveARewrite)
{
    write("# mine\r\n\n  volume=40  \nfuture-key = \"x\" y\nmute = on\n");
    Settings settings = settingsLoad(file, path);
    EXPECT_EQ(settings.sound.volume, 40);
    EXPECT_TRUE(settings.sound.muted);
    settings.sound.volume = 55;
    ASSERT_TRUE(settingsSave(file, settings));
    const std::string text = read();
    EXPECT_EQ(text.rfind("# mine\n\nvolume = 55\nfuture-key = \"x\" y\nmute = on\n", 0), 0u) << text;
    EXPECT_NE(text.find("\nkey-mute = M\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("level"), std::string::npos) << "a level never chosen is not written: " << text;
    EXPECT_EQ(text.find(".XXXXXX"), std::string::npos);
    EXPECT_EQ(std::system(("test $(ls " + dir + "/netduel | wc -l) -eq 1").c_str()), 0) << "a temporary file is left";
}

TEST_F(SettingsTest, BadLinesAreToldKeepTheirDefaultsAndTheFileIsLeftAsItIs)
{
    using namespace std::string_literals;
    const std::string bytes = "volume = 30\nvolume = 31\nmute = maybe\nlevel = 4\nname = \"open\n"
                              "join-address = a:1\nno equals\nwindow-width = 1e3\n\x7F\x01\x00garbage\njoin-port = 9\n"s;
    write(bytes);
    const Settings settings = settingsLoad(file, path);
    EXPECT_EQ(settings.sound.volume, 30);  // the good lines stand
    EXPECT_EQ(settings.joinPort, 9);
    EXPECT_FALSE(settings.sound.muted);
    EXPECT_EQ(settings.level, 0);
    EXPECT_EQ(settings.name, "");
    EXPECT_EQ(settings.window, DisplayWindow{});
    EXPECT_TRUE(file.keep);
    const std::string text = logText();
    EXPECT_NE(text.find(path + ":2: volume is set on line 1 already; the default is used and the file is left as it is\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find(path + ":3: mute takes yes or no, not 'maybe'"), std::string::npos) << text;
    EXPECT_NE(text.find(path + ":4: level takes a whole number from 1 to 3, not '4'"), std::string::npos) << text;
    EXPECT_NE(text.find(path + ": 5 more bad lines\n"), std::string::npos) << text;
    EXPECT_EQ(logLines(), SETTINGS_PROBLEMS_SHOWN + 1);

    Settings changed = settings;
    changed.name = "Bob";
    EXPECT_FALSE(settingsSave(file, changed));
    settingsKeep(file, changed, 100.0);
    EXPECT_EQ(read(), bytes);
}

TEST_F(SettingsTest, AFailedWriteCostsOneLineAndIsNotTriedAgain)
{
    write("");
    file.path = path + "/under-a-file.conf";  // its folder is a file: nothing can be made there
    Settings settings;
    settings.name = "Bob";
    EXPECT_FALSE(settingsSave(file, settings));
    settings.name = "Ann";
    settingsKeep(file, settings, 10.0);
    EXPECT_FALSE(settingsSave(file, settings));
    EXPECT_EQ(logLines(), 1) << logText();
    EXPECT_NE(logText().find("Cannot write the settings to " + file.path + ": Not a directory"), std::string::npos);
}

TEST_F(SettingsTest, ChangesQuickerThanTheIntervalAreWrittenTogether)
{
    settingsLoad(file, path);
    Settings settings;
    settings.level = 1;
    settingsKeep(file, settings, 50.0);
    EXPECT_EQ(levelInFile(), 1);
    settings.level = 2;
    settingsKeep(file, settings, 50.0 + SETTINGS_WRITE_INTERVAL / 2);
    EXPECT_EQ(levelInFile(), 1);
    settingsKeep(file, settings, 50.0 + SETTINGS_WRITE_INTERVAL);
    EXPECT_EQ(levelInFile(), 2);
}

int namedKey(std::string_view name)
{
    static const std::map<std::string_view, int> keys = {
        {"Left", SCAN_LEFT}, {"Up", SCAN_UP}, {"X", SCAN_X},     {"C", SCAN_C},
        {"Space", 57},       {"Left Ctrl", 29}, {",", 51},      {"W", 17},
        {"Escape", SCAN_ESCAPE}, {"J", SCAN_J}, {"Keypad 8", SCAN_UP},
    };
    const auto found = keys.find(name);
    return found == keys.end() ? 0 : found->second;
}

TEST_F(SettingsTest, BindingsTakeOneOrTwoKeysAndAKeyDoesOneThing)
{
    const Bindings defaults = bindingsDefault();
    const struct {
        const char* lines;
        int fire[2];
        int chat[2];
        int thrust[2];
        int problems;
    } cases[] = {
        {"key-fire = Space, \"Left Ctrl\"\n", {57, 29}, {SCAN_C}, {SCAN_UP}, 0},
        {"key-fire = \",\"\nkey-chat = W\n", {51}, {17}, {SCAN_UP}, 0},
        {"key-fire = Nosuch\n", {SCAN_X}, {SCAN_C}, {SCAN_UP}, 1},
        {"key-fire = Up\n", {SCAN_X}, {SCAN_C}, {SCAN_UP}, 1},
        {"key-thrust = W\nkey-fire = Up\n", {SCAN_UP}, {SCAN_C}, {17}, 0},
        {"key-fire = Keypad 8, Up\n", {SCAN_X}, {SCAN_C}, {SCAN_UP}, 1},
        {"key-chat = X\nkey-fire = X\n", {SCAN_X}, {SCAN_C}, {SCAN_UP}, 1},
        {"key-fire = C\nkey-chat = C\n", {SCAN_X}, {SCAN_C}, {SCAN_UP}, 2},  // the default put back clashes
        {"key-fire = Escape\n", {SCAN_X}, {SCAN_C}, {SCAN_UP}, 1},
        {"key-chat = W, J\n", {SCAN_X}, {SCAN_C}, {SCAN_UP}, 1},
        {"key-fire = Space, W, C\n", {SCAN_X}, {SCAN_C}, {SCAN_UP}, 1},
        {"key-fire =\n", {SCAN_X}, {SCAN_C}, {SCAN_UP}, 1},
    };
    for (const auto& c : cases) {
        write(c.lines);
        std::rewind(log);
        ftruncate(fileno(log), 0);
        settingsLoad(file, path);
        const Bindings bindings = settingsBindings(file, namedKey);
        const auto same = [](const int* got, const int* want) { return got[0] == want[0] && got[1] == want[1]; };
        EXPECT_TRUE(same(bindings.keys[GAME_KEY_FIRE], c.fire)) << c.lines << bindings.keys[GAME_KEY_FIRE][0];
        EXPECT_TRUE(same(bindings.keys[GAME_KEY_CHAT], c.chat)) << c.lines;
        EXPECT_TRUE(same(bindings.keys[GAME_KEY_THRUST], c.thrust)) << c.lines;
        EXPECT_TRUE(same(bindings.keys[GAME_KEY_MUTE], defaults.keys[GAME_KEY_MUTE])) << c.lines;
        EXPECT_EQ(logLines(), c.problems) << c.lines << logText();
        EXPECT_EQ(file.keep, c.problems > 0) << c.lines;
    }
}

}  // namespace
}  // namespace netduel
