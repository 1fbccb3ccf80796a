// A dedicated host's folder of recordings: one file per stretch, named by its start, the
// oldest removed past the number kept.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "base/status.h"
#include "record/record_live.h"

namespace netduel {

namespace {

constexpr std::string_view PREFIX = "match-";
constexpr std::string_view SUFFIX = ".ndrec";
constexpr std::size_t STAMP_CHARS = 15;  // YYYYMMDD-HHMMSS
constexpr unsigned NUMBER_MOST = 99999;  // the "-N" of one second's names, as nameParse reads them
constexpr mode_t FILE_MODE = 0644;

struct Named {
    std::string stamp;
    unsigned number = 1;  // the "-N" after the stamp; 1 without one
    std::filesystem::path path;
};

bool digits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// This program's names only: match-YYYYMMDD-HHMMSS[-N].ndrec.
bool nameParse(const std::string& name, Named& named)
{
    const std::string_view text = name;
    if (text.size() < PREFIX.size() + STAMP_CHARS + SUFFIX.size() || text.substr(0, PREFIX.size()) != PREFIX ||
        text.substr(text.size() - SUFFIX.size()) != SUFFIX)
        return false;
    const std::string_view stamp = text.substr(PREFIX.size(), STAMP_CHARS);
    if (!digits(stamp.substr(0, 8)) || stamp[8] != '-' || !digits(stamp.substr(9))) return false;
    const std::string_view rest = text.substr(PREFIX.size() + STAMP_CHARS,
                                              text.size() - PREFIX.size() - STAMP_CHARS - SUFFIX.size());
    named.stamp = stamp;
    named.number = 1;
    if (rest.empty()) return true;
    if (rest[0] != '-' || !digits(rest.substr(1)) || rest.size() > 6) return false;
    named.number = static_cast<unsigned>(std::stoul(std::string(rest.substr(1))));
    return true;
}

}  // namespace

std::string recordDirPath(const std::string& directory, std::int64_t startSeconds, unsigned number)
{
    const std::time_t seconds = static_cast<std::time_t>(startSeconds);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string suffix = number > 1 ? "-" + std::to_string(number) : std::string();
    return (std::filesystem::path(directory) / (std::string(PREFIX) + stamp + suffix + std::string(SUFFIX))).string();
}

bool recordDirOpen(RecordWriter& writer, const std::string& directory, std::int64_t startSeconds, double now)
{
    recordWriterClose(writer);
    for (unsigned number = 1; number <= NUMBER_MOST; ++number) {
        const std::string path = recordDirPath(directory, startSeconds, number);
        // Exclusive: a name taken between a look and the open is never written over.
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, FILE_MODE);
        if (fd < 0 && errno == EEXIST) continue;
        std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
        if (!file) {
            statusWrite("Cannot record to " + path + ": " + std::strerror(errno), true);
            if (fd >= 0) close(fd);
            writer = RecordWriter{};
            return false;
        }
        return recordWriterOpenStream(writer, file, path, now);
    }
    statusWrite("Cannot record to " + directory + ": every name for this second is taken", true);
    writer = RecordWriter{};
    return false;
}

int recordDirPrune(const std::string& directory, int keep)
{
    std::vector<Named> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        Named named;
        if (entry.is_regular_file(error) && nameParse(entry.path().filename().string(), named)) {
            named.path = entry.path();
            found.push_back(std::move(named));
        }
    }
    std::sort(found.begin(), found.end(), [](const Named& a, const Named& b) {
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.number < b.number;
    });
    int removed = 0;
    for (std::size_t i = 0; i + std::size_t(std::max(keep, 0)) < found.size(); ++i) {
        if (std::filesystem::remove(found[i].path, error)) ++removed;
        else statusWrite("Cannot remove the old recording " + found[i].path.string() + ": " + error.message(), true);
    }
    return removed;
}

}  // namespace netduel
