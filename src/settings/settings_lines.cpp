// Settings file lines: our keys, and values read from and written into text.
#include "settings/settings_lines.h"

#include <charconv>
#include <cstdio>

namespace netduel {

namespace {

constexpr std::string_view BLANKS = " \t";
constexpr char QUOTE = '"';
constexpr char ESCAPE = '\\';
constexpr char SEPARATOR = ',';  // between the two keys of a binding
constexpr int PORT_MOST = 65535;

enum class Kind { Text, Address, Number, Flag };

struct SettingInfo {
    std::string_view name;
    Kind kind;
    int least = 0;  // Number only
    int most = 0;   //   unless the caller's range gives it:
    int SettingsRanges::*mostFrom = nullptr;
};
constexpr SettingInfo SETTINGS[SETTING_BINDINGS] = {
    {"name", Kind::Text},
    {"join-address", Kind::Address},
    {"join-port", Kind::Number, 1, PORT_MOST},
    {"window-width", Kind::Number, 1, 0, &SettingsRanges::windowSideMost},
    {"window-height", Kind::Number, 1, 0, &SettingsRanges::windowSideMost},
    {"fullscreen", Kind::Flag},
    {"volume", Kind::Number, 0, 0, &SettingsRanges::volumeMost},
    {"mute", Kind::Flag},
    {"level", Kind::Number, 1, 0, &SettingsRanges::levelMost},
    {"list-url", Kind::Text},
};

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(BLANKS);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(BLANKS) - first + 1);
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

bool isControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// One field of a setting's value as text: a plain field is taken as it stands; a
// quoted one to its closing quote, with its escapes. Reads from the front of `rest`
// up to the end, or (`list`) up to the next separator, which it consumes.
std::string fieldRead(std::string_view& rest, bool list, std::string& text)
{
    rest = trimmed(rest);
    if (rest.empty() || rest.front() != QUOTE) {
        const std::size_t end = list ? rest.find(SEPARATOR) : std::string_view::npos;
        text = trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        return {};
    }
    text.clear();
    std::size_t at = 1;
    for (; at < rest.size() && rest[at] != QUOTE; ++at) {
        if (rest[at] != ESCAPE) {
            text += rest[at];
            continue;
        }
        const std::string_view escape = rest.substr(at + 1, 3);
        unsigned byte = 0;
        if (!escape.empty() && (escape[0] == QUOTE || escape[0] == ESCAPE)) {
            text += escape[0];
            at += 1;
        } else if (escape.size() == 3 && escape[0] == 'x' &&
                   std::from_chars(escape.data() + 1, escape.data() + 3, byte, 16).ptr == escape.data() + 3) {
            text += static_cast<char>(byte);
            at += 3;
        } else {
            return "an unknown escape after a backslash (\\\", \\\\ and \\xHH are known)";
        }
    }
    if (at >= rest.size()) return "a quote that is not closed";
    rest = trimmed(rest.substr(at + 1));
    if (rest.empty()) return {};
    if (list && rest.front() == SEPARATOR) {
        rest.remove_prefix(1);
        return {};
    }
    return "something after the closing quote";
}

// A field as the file writes it: as it is, unless blanks at its ends, a leading quote,
// a control byte or (in a binding) the separator would read back otherwise.
std::string fieldText(std::string_view text, bool list)
{
    bool plain = !text.empty() && text.find_first_of(BLANKS) != 0 &&
                 text.find_last_of(BLANKS) != text.size() - 1 && text.front() != QUOTE &&
                 !(list && text.find(SEPARATOR) != std::string_view::npos);
    for (const char byte : text) plain = plain && !isControl(static_cast<unsigned char>(byte));
    if (plain) return std::string(text);
    std::string out(1, QUOTE);
    for (const char byte : text) {
        if (byte == QUOTE || byte == ESCAPE) {
            out += ESCAPE;
            out += byte;
        } else if (isControl(static_cast<unsigned char>(byte))) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(byte));
            out += hex;
        } else {
            out += byte;
        }
    }
    return out + QUOTE;
}

// A host name or an IPv4 address as --join takes it, without its port.
bool addressBytes(std::string_view text)
{
    for (const char byte : text)
        if (byte == ':' || static_cast<unsigned char>(byte) <= ' ' || byte == 0x7F) return false;
    return true;
}

bool flagRead(std::string_view text, bool& flag)
{
    for (const std::string_view yes : {"yes", "true", "on", "1"})
        if (text == yes) return flag = true;
    for (const std::string_view no : {"no", "false", "off", "0"})
        if (text == no) return !(flag = false);
    return false;
}

// The setting's field in a Settings record: one of the three is set.
struct SettingField {
    std::string* text = nullptr;
    int* number = nullptr;
    bool* flag = nullptr;
};

SettingField settingField(int key, Settings& settings)
{
    switch (key) {
    case SETTING_NAME: return {&settings.name};
    case SETTING_JOIN_ADDRESS: return {&settings.joinAddress};
    case SETTING_JOIN_PORT: return {nullptr, &settings.joinPort};
    case SETTING_WINDOW_WIDTH: return {nullptr, &settings.window.width};
    case SETTING_WINDOW_HEIGHT: return {nullptr, &settings.window.height};
    case SETTING_FULLSCREEN: return {nullptr, nullptr, &settings.window.fullscreen};
    case SETTING_VOLUME: return {nullptr, &settings.sound.volume};
    case SETTING_MUTE: return {nullptr, nullptr, &settings.sound.muted};
    case SETTING_LEVEL: return {nullptr, &settings.level};
    case SETTING_LIST_URL: return {&settings.listUrl};
    default: return {};
    }
}

}  // namespace

std::optional<SettingsLine> settingsLineSplit(std::string_view line)
{
    const std::string_view text = trimmed(line);
    if (text.empty() || text.front() == '#') return std::nullopt;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return SettingsLine{text, {}, false};
    return SettingsLine{trimmed(text.substr(0, equals)), trimmed(text.substr(equals + 1)), true};
}

int settingKeyOf(std::string_view key)
{
    for (int k = 0; k < SETTING_KEYS; ++k)
        if (settingKeyName(k) == key) return k;
    return -1;
}

std::string_view settingKeyName(int key)
{
    return key < SETTING_BINDINGS ? SETTINGS[key].name : GAME_KEY_TABLE[key - SETTING_BINDINGS].setting;
}

std::string settingRead(int key, std::string_view value, const SettingsRanges& ranges, Settings& settings)
{
    const SettingInfo& info = SETTINGS[key];
    const int most = info.mostFrom ? ranges.*info.mostFrom : info.most;
    std::string text;
    std::string_view rest = value;
    std::string problem = fieldRead(rest, false, text);
    if (!problem.empty()) return problem;
    const SettingField field = settingField(key, settings);
    switch (info.kind) {
    case Kind::Text:
        *field.text = text;
        return {};
    case Kind::Address:
        // What --join takes: a host name or an IPv4 address, without a port.
        if (text.empty() || !addressBytes(text)) return "a host name or an IPv4 address, not " + quoted(text);
        *field.text = text;
        return {};
    case Kind::Number: {
        int number = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || number < info.least ||
            number > most)
            return "a whole number from " + std::to_string(info.least) + " to " + std::to_string(most) +
                   ", not " + quoted(text);
        *field.number = number;
        return {};
    }
    case Kind::Flag:
        if (!flagRead(text, *field.flag)) return "yes or no, not " + quoted(text);
        return {};
    }
    return {};
}

std::string settingReadNames(std::string_view value, std::vector<std::string>& names)
{
    names.clear();
    std::string_view rest = value;
    while (!rest.empty() || names.empty()) {
        std::string name;
        const std::string problem = fieldRead(rest, true, name);
        if (!problem.empty()) return problem;
        if (name.empty() || names.size() == KEYS_PER_BINDING)
            return "one or two key names with a comma between, not " + quoted(value);
        names.push_back(name);
    }
    return {};
}

bool settingUnset(int key, const Settings& settings)
{
    switch (key) {
    case SETTING_JOIN_ADDRESS: return settings.joinAddress.empty();
    case SETTING_JOIN_PORT: return settings.joinPort == 0;
    case SETTING_LEVEL: return settings.level == 0;
    case SETTING_LIST_URL: return settings.listUrl.empty();
    default: return false;
    }
}

std::string settingText(int key, const Settings& settings)
{
    const SettingField field = settingField(key, const_cast<Settings&>(settings));
    if (field.text) return fieldText(*field.text, false);
    if (field.number) return std::to_string(*field.number);
    return *field.flag ? "yes" : "no";
}

std::string settingNamesText(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + fieldText(name, true);
    return text;
}

}  // namespace netduel
