// Settings file: its place, reading it line by line, the bindings, writing it back whole.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <ctime>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "base/status.h"
#include "settings/settings.h"
#include "settings/settings_lines.h"

namespace netduel {

namespace {

constexpr std::size_t SETTINGS_FILE_MAX = 64 * 1024;  // bytes; a larger file is not ours
constexpr double SETTINGS_WRITE_INTERVAL = 1.0;  // s: changes quicker than this are written together
constexpr int SETTINGS_PROBLEMS_SHOWN = 3;       // bad lines told one by one, the rest counted
constexpr mode_t FOLDER_MODE = 0700;  // as the XDG base directories are made
constexpr int LINK_HOPS_MOST = 40;    // symbolic links followed to the file, as the kernel does
constexpr std::size_t TEMPORARY_SUFFIX = 6;      // mkstemp's XXXXXX
constexpr time_t TEMPORARY_STALE_SECONDS = 60;   // older: no copy is writing it any more
constexpr std::string_view KEPT_TEXT = "; the default is used and the file is left as it is";
constexpr const char* FIRST_LINES =
    "# netduel's settings, rewritten by the game as they change; see netduel(6).\n"
    "# Lines of your own and keys the game does not know are kept.\n";

// The keys that no binding may take.
struct FixedKey {
    int scanCode;
    std::string_view does;
};
constexpr FixedKey FIXED_KEYS[] = {{SCAN_ESCAPE, "Escape always quits"}, {SCAN_J, "J connects"}};

struct Clash {
    int key;
    std::string why;
};

// A binding of the file's that must go back to its default because it takes Escape, J
// or a key another game key answers to (of two the file set, the later goes back);
// nothing once every key does one thing. A default put back may take a key in turn.
std::optional<Clash> bindingsClash(const Bindings& bindings, const bool set[GAME_KEYS])
{
    for (int key = 0; key < GAME_KEYS; ++key) {
        for (const int code : bindings.keys[key]) {
            if (!set[key] || code == 0) continue;
            for (const FixedKey& fixed : FIXED_KEYS)
                if (fixed.scanCode == code) return Clash{key, std::string(fixed.does)};
            for (int other = 0; other < GAME_KEYS; ++other) {
                const int* theirs = bindings.keys[other];
                if (other == key || (theirs[0] != code && theirs[1] != code) || (set[other] && other > key)) continue;
                return Clash{key, "its key is bound to " + std::string(GAME_KEY_TABLE[other].setting) + " already"};
            }
        }
    }
    return std::nullopt;
}

bool absolute(const char* path) { return path && path[0] == '/'; }

// Bad lines, told one by one up to SETTINGS_PROBLEMS_SHOWN and then counted.
struct Problems {
    std::string_view path;
    int count = 0;
};

void problemTell(Problems& problems, int line, std::string_view text)
{
    if (++problems.count > SETTINGS_PROBLEMS_SHOWN) return;
    statusWrite(statusEscape(std::string(problems.path) + ":" + std::to_string(line) + ": " + std::string(text)) +
                    std::string(KEPT_TEXT),
                true);
}

void problemsEnd(const Problems& problems)
{
    if (problems.count > SETTINGS_PROBLEMS_SHOWN)
        statusWrite(statusEscape(problems.path) + ": " + std::to_string(problems.count - SETTINGS_PROBLEMS_SHOWN) +
                        " more bad lines",
                    true);
}

// The whole file, or what went wrong; ENOENT is no file yet.
bool fileRead(const std::string& path, std::string& text, int& error)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    text.clear();
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(fd, buffer, sizeof buffer)) > 0 && text.size() <= SETTINGS_FILE_MAX)
        text.append(buffer, static_cast<std::size_t>(count));
    error = count < 0 ? errno : text.size() > SETTINGS_FILE_MAX ? EFBIG : 0;
    close(fd);
    return error == 0;
}

std::vector<std::string> linesOf(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

// One line into `settings` or the file's key names; a bad line is told and changes nothing.
void lineRead(SettingsFile& file, int number, const SettingsRanges& ranges, Settings& settings,
              std::vector<int>& seenOn, Problems& problems)
{
    const std::string& line = file.lines[number - 1];
    for (const char byte : line)
        if (static_cast<unsigned char>(byte) < ' ' && byte != '\t')
            return problemTell(problems, number, "a control character, which no line of ours holds");
    const auto split = settingsLineSplit(line);
    if (!split) return;
    if (!split->hasEquals) return problemTell(problems, number, "no '=' between a key and its value");
    const int key = settingKeyOf(split->key);
    if (key < 0) return;  // someone else's: kept as it is
    if (seenOn[key] != 0)
        return problemTell(problems, number, std::string(split->key) + " is set on line " + std::to_string(seenOn[key]) +
                                         " already");
    seenOn[key] = number;
    std::string problem;
    if (key >= SETTING_BINDINGS) {
        KeyNames& names = file.keyNames[key - SETTING_BINDINGS];
        problem = settingReadNames(split->value, names.names);
        names.line = problem.empty() ? number : 0;
    } else {
        Settings read = settings;
        problem = settingRead(key, split->value, ranges, read);
        if (problem.empty()) settings = read;
    }
    if (!problem.empty()) problemTell(problems, number, std::string(split->key) + " takes " + problem);
}

// The file's lines with the settings that changed since `file.written` put in, and our
// keys that have no line yet added at the end.
std::string settingsRender(const SettingsFile& file, const Settings& settings)
{
    std::string text = file.lines.empty() ? FIRST_LINES : "";
    std::vector<bool> present(SETTING_KEYS, false);
    for (const std::string& line : file.lines) {
        const auto split = settingsLineSplit(line);
        const int key = split && split->hasEquals ? settingKeyOf(split->key) : -1;
        if (key >= 0) present[key] = true;
        const bool changed = key >= 0 && key < SETTING_BINDINGS &&
                             settingText(key, settings) != settingText(key, file.written);
        text += changed ? std::string(settingKeyName(key)) + " = " + settingText(key, settings) : line;
        text += '\n';
    }
    for (int key = 0; key < SETTING_KEYS; ++key) {
        if (present[key] || (key < SETTING_BINDINGS && settingUnset(key, settings))) continue;
        std::string value;
        if (key < SETTING_BINDINGS) value = settingText(key, settings);
        else value = settingNamesText({std::string(GAME_KEY_TABLE[key - SETTING_BINDINGS].defaultName)});
        text += std::string(settingKeyName(key)) + " = " + value + "\n";
    }
    return text;
}

bool folderMake(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (mkdir(path.substr(0, slash).c_str(), FOLDER_MODE) != 0 && errno != EEXIST) return false;
    return true;
}

// The file a symbolic link at `path` leads to, through every link on the way (a
// relative one from its own folder); `path` itself when it is no link. A loop of links
// ends at the last one tried, where the rename then replaces that link.
std::string linkTarget(std::string path)
{
    for (int hop = 0; hop < LINK_HOPS_MOST; ++hop) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length <= 0) break;
        target.resize(static_cast<std::size_t>(length));
        path = target.front() == '/' ? target : path.substr(0, path.rfind('/') + 1) + target;
    }
    return path;
}

// Temporary files that a write left beside `path` when it was cut short (mkstemp's six
// characters after the name) and that no write of the last while owns any more.
void staleTemporariesRemove(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string stem = path.substr(slash + 1) + ".";
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    const time_t now = time(nullptr);
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() != stem.size() + TEMPORARY_SUFFIX || name.substr(0, stem.size()) != stem) continue;
        const std::string stale = folder + std::string(name);
        struct stat status {};
        if (lstat(stale.c_str(), &status) == 0 && S_ISREG(status.st_mode) && now - status.st_mtime > TEMPORARY_STALE_SECONDS)
            unlink(stale.c_str());
    }
    closedir(dir);
}

// `text` into a new file beside `path`, flushed to the disk, then renamed over it.
bool fileReplace(const std::string& path, const std::string& text)
{
    if (!folderMake(path)) return false;
    staleTemporariesRemove(path);
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = write(fd, text.data() + done, text.size() - done);
        if (count <= 0) break;
        done += static_cast<std::size_t>(count);
    }
    const bool written = done == text.size() && fsync(fd) == 0;
    const int writeError = errno;
    const bool closed = close(fd) == 0;
    if (written && closed && rename(temporary.c_str(), path.c_str()) == 0) return true;
    const int error = written && closed ? errno : writeError;
    unlink(temporary.c_str());
    errno = error;
    return false;
}

}  // namespace

std::string settingsPath(const char* xdgConfigHome, const char* home)
{
    std::string base;
    if (absolute(xdgConfigHome)) base = xdgConfigHome;
    else if (absolute(home)) base = std::string(home) + "/.config";
    else return {};
    return base + "/" + std::string(SETTINGS_FOLDER) + "/" + std::string(SETTINGS_FILE_NAME);
}

std::string settingsBeside(std::string_view path, std::string_view fileName)
{
    if (path.empty()) return {};
    return std::string(path.substr(0, path.rfind('/') + 1)) + std::string(fileName);
}

Settings settingsLoad(SettingsFile& file, const std::string& path, const SettingsRanges& ranges)
{
    file = SettingsFile{};
    file.path = path;
    Settings settings;
    std::string text;
    int error = 0;
    if (path.empty()) return settings;
    if (!fileRead(path, text, error)) {
        file.keep = error != ENOENT;
        if (file.keep)
            statusWrite("Cannot read the settings from " + statusEscape(path) + ": " +
                            (error == EFBIG ? "it is larger than " + std::to_string(SETTINGS_FILE_MAX) + " bytes"
                                            : std::string(std::strerror(error))) +
                            "; the defaults are used and the file is left as it is",
                        true);
        return settings;
    }
    file.lines = linesOf(text);
    std::vector<int> seenOn(SETTING_KEYS, 0);
    Problems problems{path};
    for (int number = 1; number <= int(file.lines.size()); ++number)
        lineRead(file, number, ranges, settings, seenOn, problems);
    problemsEnd(problems);
    file.keep = problems.count > 0;
    file.complete = true;
    for (int key = 0; key < SETTING_KEYS; ++key)
        file.complete = file.complete && (seenOn[key] != 0 || (key < SETTING_BINDINGS && settingUnset(key, settings)));
    file.written = settings;
    return settings;
}

Bindings bindingsDefault()
{
    Bindings bindings;
    for (int key = 0; key < GAME_KEYS; ++key) bindings.keys[key][0] = GAME_KEY_TABLE[key].defaultScanCode;
    return bindings;
}

Bindings settingsBindings(SettingsFile& file, KeyNamed keyNamed)
{
    const Bindings defaults = bindingsDefault();
    Bindings bindings = defaults;
    bool set[GAME_KEYS] = {};  // the file's binding stands
    Problems problems{file.path};
    const auto revert = [&](int key, const std::string& why) {
        std::copy(std::begin(defaults.keys[key]), std::end(defaults.keys[key]), bindings.keys[key]);
        problemTell(problems, file.keyNames[key].line, std::string(GAME_KEY_TABLE[key].setting) + ": " + why);
    };
    for (int key = 0; key < GAME_KEYS; ++key) {
        const KeyNames& names = file.keyNames[key];
        if (names.line == 0) continue;
        int codes[KEYS_PER_BINDING] = {};
        std::string problem;
        for (std::size_t i = 0; i < names.names.size() && problem.empty(); ++i) {
            codes[i] = keyNamed(names.names[i]);
            if (codes[i] == 0) problem = "no key is named '" + names.names[i] + "'";
        }
        if (problem.empty() && codes[1] != 0 && codes[0] == codes[1]) problem = "the same key twice";
        if (!problem.empty()) {
            revert(key, problem);
            continue;
        }
        std::copy(std::begin(codes), std::end(codes), bindings.keys[key]);
        set[key] = true;
    }
    for (auto clash = bindingsClash(bindings, set); clash; clash = bindingsClash(bindings, set)) {
        revert(clash->key, clash->why);
        set[clash->key] = false;
    }
    problemsEnd(problems);
    if (problems.count > 0) file.keep = true;
    return bindings;
}

void settingsKeep(SettingsFile& file, const Settings& settings, double now)
{
    if (now < file.nextWrite || settings == file.written) return;
    file.nextWrite = now + SETTINGS_WRITE_INTERVAL;
    settingsSave(file, settings);
}

bool settingsSave(SettingsFile& file, const Settings& settings)
{
    if (settings == file.written && file.complete) return true;
    if (file.path.empty() || file.keep || !file.writable) return false;
    const std::string text = settingsRender(file, settings);
    if (!fileReplace(linkTarget(file.path), text)) {
        statusWrite("Cannot write the settings to " + statusEscape(file.path) + ": " + std::strerror(errno) +
                        "; they are not kept this run",
                    true);
        file.writable = false;
        return false;
    }
    file.lines = linesOf(text);
    file.written = settings;
    file.complete = true;
    return true;
}

}  // namespace netduel
