// What the settings keep of a run: only what the player changed, each part on its own.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "shell/shell_kept.h"

namespace netduel {
namespace {

struct KeptCase {
    const char* what;
    std::function<void(ShellKept&, DisplayWindow& shown, SoundSettings& heard, Settings& saved)> change;
    std::function<void(Settings&)> expect;  // on the saved settings as they were
};

TEST(ShellKeptTest, TheSettingsKeepOnlyWhatThePlayerChanged)
{
    const KeptCase cases[] = {
        {"nothing changed", [](auto&, auto&, auto&, auto&) {}, [](Settings&) {}},
        {"a name granted", [](ShellKept& kept, auto&, auto&, auto&) { kept.nameChosen = true; },
         [](Settings& s) { s.name = "Zed"; }},
        {"a name asked, not granted", [](ShellKept& kept, auto&, auto&, auto&) { kept.askedName = "Zed"; },
         [](Settings&) {}},
        {"a host joined",
         [](ShellKept& kept, auto&, auto&, auto&) {
             kept.joinedHost = "192.0.2.7";
             kept.joinedPort = 5000;
         },
         [](Settings& s) {
             s.joinAddress = "192.0.2.7";
             s.joinPort = 5000;
         }},
        {"wider", [](auto&, DisplayWindow& shown, auto&, auto&) { shown.width += 100; },
         [](Settings& s) { s.window = {DISPLAY_WIDTH + 100, DISPLAY_HEIGHT, s.window.fullscreen}; }},
        {"taller", [](auto&, DisplayWindow& shown, auto&, auto&) { shown.height -= 100; },
         [](Settings& s) { s.window = {DISPLAY_WIDTH, DISPLAY_HEIGHT - 100, s.window.fullscreen}; }},
        {"full screen",
         [](auto&, DisplayWindow& shown, auto&, Settings& saved) {
             shown.fullscreen = true;
             saved.window.fullscreen = false;
         },
         [](Settings& s) { s.window.fullscreen = true; }},
        {"louder", [](auto&, auto&, SoundSettings& heard, auto&) { heard.volume += 20; },
         [](Settings& s) { s.sound.volume = SOUND_VOLUME_DEFAULT + 20; }},
        {"muted",
         [](auto&, auto&, SoundSettings& heard, Settings& saved) {
             heard.muted = true;
             saved.sound.muted = false;
         },
         [](Settings& s) { s.sound.muted = true; }},
    };
    for (const KeptCase& c : cases) {
        ShellKept kept;
        DisplayWindow shown = kept.windowAtStart;
        SoundSettings heard = kept.soundAtStart;
        // What earlier runs kept differs from this run's start in every part.
        Settings saved;
        saved.name = "Old";
        saved.joinAddress = "old.host";
        saved.joinPort = 1000;
        saved.window = {DISPLAY_WIDTH - 200, DISPLAY_HEIGHT - 200, true};
        saved.sound.volume = SOUND_VOLUME_DEFAULT - 30;
        saved.sound.muted = true;
        c.change(kept, shown, heard, saved);
        Settings expected = saved;
        c.expect(expected);
        EXPECT_EQ(shellKeptSettings(kept, "Zed", shown, heard, saved), expected) << c.what;
    }
}

}  // namespace
}  // namespace netduel
