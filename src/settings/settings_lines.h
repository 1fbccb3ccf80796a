// Settings file lines: the keys of ours, their values read from and written into
// `key = value` text. Used by settings_file.cpp only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"

namespace netduel {

// The file's format, as the man page tells it:
//   # a comment line             (blank lines and comments are kept as they are)
//   key = value                  (blanks around key and value do not count)
//   key = "a value"              (quotes keep blanks; \" \\ and \xHH inside them)
//   key-fire = X, "Left Ctrl"    (a binding: one or two of SDL's key names)
// A value is everything after the first '='; there are no comments after a value.

// Our keys: the settings in the file's order, then one per game key.
enum SettingKey : int {
    SETTING_NAME, SETTING_JOIN_ADDRESS, SETTING_JOIN_PORT, SETTING_WINDOW_WIDTH,
    SETTING_WINDOW_HEIGHT, SETTING_FULLSCREEN, SETTING_VOLUME, SETTING_MUTE, SETTING_LEVEL,
    SETTING_LIST_URL,
    SETTING_BINDINGS,  // the first binding; GAME_KEYS of them follow in GameKey's order
    SETTING_KEYS = SETTING_BINDINGS + GAME_KEYS
};

// A line split at its first '=': both sides trimmed. Nothing for blank lines and comments.
struct SettingsLine {
    std::string_view key;
    std::string_view value;
    bool hasEquals = false;
};
std::optional<SettingsLine> settingsLineSplit(std::string_view line);

// Which of our keys `key` names; −1 for anyone else's.
int settingKeyOf(std::string_view key);

// The file's name of one of our keys.
std::string_view settingKeyName(int key);

// Reads the value of a setting (not a binding) into `settings`, a number within its range
// (the caller's, for those of `ranges`); empty, or what is wrong.
std::string settingRead(int key, std::string_view value, const SettingsRanges& ranges, Settings& settings);

// Reads a binding's value: one or two key names, comma separated; empty, or what is wrong.
std::string settingReadNames(std::string_view value, std::vector<std::string>& names);

// True for a setting that holds no value yet (an address never joined, a level never
// chosen): the file has no line for it.
bool settingUnset(int key, const Settings& settings);

// A setting's value as the file writes it.
std::string settingText(int key, const Settings& settings);

// A binding's value as the file writes it.
std::string settingNamesText(const std::vector<std::string>& names);

}  // namespace netduel
