// What the kernel reports of a process in /proc/PID/status, for the benchmarks that
// measure a host's memory.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

namespace netduel {

// The figure of a "Vm…" line such as VmRSS or VmHWM (peak RSS), in kB, of process `pid`
// ("self" for this one); −1 when the line is missing.
inline long procStatusKb(const std::string& pid, std::string_view field)
{
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field) && line.size() > field.size() && line[field.size()] == ':')
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

}  // namespace netduel
