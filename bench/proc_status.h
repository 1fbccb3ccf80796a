// What the kernel reports of a process in /proc/PID/status, for the benchmarks that
// measure a host's memory.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

namespace netduel {

// The figure of a "Field:" line, in kB, of the file /proc/PID/`file` of process `pid`
// ("self" for this one); −1 when the line is missing.
inline long procFieldKb(const std::string& pid, std::string_view file, std::string_view field)
{
    std::ifstream status("/proc/" + pid + "/" + std::string(file));
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field) && line.size() > field.size() && line[field.size()] == ':')
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// The figure of a "Vm…" line of /proc/PID/status such as VmRSS or VmHWM (peak RSS), in kB.
inline long procStatusKb(const std::string& pid, std::string_view field)
{
    return procFieldKb(pid, "status", field);
}

}  // namespace netduel
