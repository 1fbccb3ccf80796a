// Settings: the player's file of `key = value` lines (where it lives, what it holds, how
// it is read and written back whole) and the table of the game keys it binds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "display/display.h"
#include "sound/sound.h"

namespace netduel {

inline constexpr std::string_view SETTINGS_FOLDER = "netduel";  // below XDG_CONFIG_HOME
inline constexpr std::string_view SETTINGS_FILE_NAME = "netduel.conf";
inline constexpr std::string_view PAD_MAPPINGS_FILE_NAME = "gamecontrollerdb.txt";  // beside it

// The game keys a player may bind, in the file's order. Escape (quit) and J (connect)
// are not among them: no binding may take those two.
enum GameKey : int {
    GAME_KEY_LEFT, GAME_KEY_RIGHT, GAME_KEY_THRUST, GAME_KEY_DOWN, GAME_KEY_FIRE,
    GAME_KEY_CIRCLE, GAME_KEY_CHAT, GAME_KEY_OVERLAY, GAME_KEY_FULLSCREEN, GAME_KEY_MUTE,
    GAME_KEYS  // how many
};
inline constexpr int KEYS_PER_BINDING = 2;

struct GameKeyInfo {
    std::string_view setting;      // the file's key
    std::string_view defaultName;  // SDL's name of the default key
    int defaultScanCode;
};
inline constexpr GameKeyInfo GAME_KEY_TABLE[GAME_KEYS] = {
    {"key-left", "Left", SCAN_LEFT},       {"key-right", "Right", SCAN_RIGHT},
    {"key-thrust", "Up", SCAN_UP},         {"key-down", "Down", SCAN_DOWN},
    {"key-fire", "X", SCAN_X},             {"key-circle", "R", SCAN_R},
    {"key-chat", "C", SCAN_C},             {"key-overlay", "F3", SCAN_F3},
    {"key-fullscreen", "F11", SCAN_F11},   {"key-mute", "M", SCAN_M},
};

// The scan codes each game key answers to; 0 marks an unused place.
struct Bindings {
    int keys[GAME_KEYS][KEYS_PER_BINDING] = {};
};

// What the game keeps between runs. The defaults are the game's own.
struct Settings {
    std::string name;         // the chat name asked for once connected; empty: none
    std::string joinAddress;  // the host joined last; empty: never one
    int joinPort = 0;         // its port; 0: never one
    DisplayWindow window;     // the windowed size and whether it was full screen
    SoundSettings sound;      // volume and mute (not inBackground, which stays an option)
    int level = 0;            // the computer's level in practice; 0: never chosen
    std::string listUrl;      // the internet list of hosts: registered at, read from; empty: none
    bool operator==(const Settings&) const = default;
};

// The largest values of the settings whose limits are other parts' rules: the window's
// side, the volume and the computer's level. The caller gives each part's own.
struct SettingsRanges {
    int windowSideMost = 0;  // px
    int volumeMost = 0;
    int levelMost = 0;
};

// A binding as the file names it.
struct KeyNames {
    std::vector<std::string> names;  // one or two of SDL's key names
    int line = 0;                    // its line of the file; 0: not in the file
};

struct SettingsFile {
    std::string path;                // empty: no place for a file; nothing is read or written
    std::vector<std::string> lines;  // as read, without line ends: comments and unknown keys kept
    KeyNames keyNames[GAME_KEYS];
    Settings written;                // what the file holds now
    bool complete = false;           // every key of ours has a line
    bool keep = false;               // unreadable or holding a bad line: never written
    bool writable = true;            // false once a write failed, which was said once
    double nextWrite = 0.0;          // s: settingsKeep writes no sooner
};

// Where the file lives: $XDG_CONFIG_HOME/netduel/netduel.conf, or ~/.config/... when that
// variable is unset, empty or not an absolute path; empty when HOME is no absolute path
// either. The arguments are the two variables' values (null: unset).
std::string settingsPath(const char* xdgConfigHome, const char* home);

// A file beside the settings file, such as PAD_MAPPINGS_FILE_NAME; empty for an empty path.
std::string settingsBeside(std::string_view path, std::string_view fileName);

// Reads the file at `path` into `file` and returns what it holds, the defaults where it
// says nothing. No file is no problem. A file that cannot be read, or a bad line (a
// number outside its range, those of `ranges` among them), is told in a status line
// naming the file (and the line): the defaults stand for what it spoilt, and `keep`
// leaves the file as it is.
Settings settingsLoad(SettingsFile& file, const std::string& path, const SettingsRanges& ranges);

// The file's bindings resolved with `keyNamed` (SDL's key name to a scan code, 0 for
// none). A binding that names no key, names one twice or takes a key that is bound
// already (to another game key, or Escape or J) is told in a status line and the
// default stays; the file is then kept as it is.
using KeyNamed = int (*)(std::string_view name);
Bindings settingsBindings(SettingsFile& file, KeyNamed keyNamed);

// The defaults: each game key's own key.
Bindings bindingsDefault();

// Writes `settings` when they differ from the file's, at most once a second by `now`
// (s), so that quick changes are written together.
void settingsKeep(SettingsFile& file, const Settings& settings, double now);

// Writes `settings` now when they differ from the file's or the file lacks a key of
// ours: whole, to a temporary file beside it that is then renamed over it, so no crash
// leaves half a file. A failure is told in one status line, once a run, and the file
// is not tried again. True when the file holds `settings` afterwards.
bool settingsSave(SettingsFile& file, const Settings& settings);

}  // namespace netduel
