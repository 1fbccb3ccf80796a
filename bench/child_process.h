// Child processes for the benchmarks that measure the real executable: starting one
// with its output on a pipe, an Xvfb screen for a windowed copy, and the CPU time that
// the kernel counts for a process.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace netduel {

using Clock = std::chrono::steady_clock;
inline constexpr auto DEADLINE = std::chrono::seconds(20);

// A child process; killed (SIGTERM, then SIGKILL) and reaped when it goes.
struct Process {
    pid_t pid = -1;
    int out = -1;  // its standard output, when captured
    std::string settings;  // XDG_CONFIG_HOME of its own: no player's settings, none kept

    ~Process() { stop(); }

    // Ends it (SIGTERM, after 5 s SIGKILL) and reaps it; nothing when it never started.
    void stop()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            const auto deadline = Clock::now() + std::chrono::seconds(5);
            while (waitpid(pid, nullptr, WNOHANG) == 0) {
                if (Clock::now() > deadline) {
                    kill(pid, SIGKILL);
                    waitpid(pid, nullptr, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (out >= 0) close(out);
        if (!settings.empty()) std::filesystem::remove_all(settings);
        pid = -1;
        out = -1;
        settings.clear();
    }

    // Reads its output until `text` shows up; false when it ends or time runs out first.
    bool await(const std::string& text)
    {
        std::string seen;
        const auto deadline = Clock::now() + DEADLINE;
        while (Clock::now() < deadline && seen.find(text) == std::string::npos) {
            pollfd ready{out, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            char buffer[256];
            const ssize_t count = read(out, buffer, sizeof buffer);
            if (count <= 0) return false;
            seen.append(buffer, count);
        }
        return seen.find(text) != std::string::npos;
    }
};

// Starts `argv`; its standard output comes back through `out`, its errors are dropped.
inline void start(Process& process, std::vector<std::string> argv, const std::string& display)
{
    int ends[2];
    if (pipe(ends) != 0) return;
    static int started = 0;
    process.settings = "/tmp/netduel-bench-settings-" + std::to_string(getpid()) + "-" + std::to_string(++started);
    process.pid = fork();
    if (process.pid == 0) {
        setenv("XDG_CONFIG_HOME", process.settings.c_str(), 1);
        dup2(ends[1], STDOUT_FILENO);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        close(ends[0]);
        close(ends[1]);
        if (display.empty()) {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
        } else {
            setenv("DISPLAY", display.c_str(), 1);
        }
        std::vector<char*> words;
        for (std::string& word : argv) words.push_back(word.data());
        words.push_back(nullptr);
        execvp(words[0], words.data());
        _exit(127);
    }
    close(ends[1]);
    process.out = ends[0];
}

// Xvfb with `screen` (WIDTHxHEIGHTxDEPTH) on display `number` (":85"; empty: any free
// one); it writes its number on `out` once it takes clients.
inline bool startXvfbOn(Process& xvfb, std::string& display, const std::string& number,
                        const char* screen)
{
    int ends[2];
    if (pipe(ends) != 0) return false;
    xvfb.pid = fork();
    if (xvfb.pid == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        close(ends[0]);
        const std::string fd = std::to_string(ends[1]);
        std::vector<const char*> words{"Xvfb"};
        if (!number.empty()) words.push_back(number.c_str());
        // -noreset: a probe that disconnects must not reset the server under the next client.
        for (const char* word : {"-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"})
            words.push_back(word);
        words.push_back(nullptr);
        execvp("Xvfb", const_cast<char* const*>(words.data()));
        _exit(127);
    }
    close(ends[1]);
    xvfb.out = ends[0];
    std::string written;
    const auto deadline = Clock::now() + DEADLINE;
    while (Clock::now() < deadline && written.find('\n') == std::string::npos) {
        pollfd ready{xvfb.out, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char buffer[32];
        const ssize_t count = read(xvfb.out, buffer, sizeof buffer);
        if (count <= 0) return false;
        written.append(buffer, count);
    }
    if (written.empty() || written.find('\n') == std::string::npos) return false;
    display = ":" + written.substr(0, written.find('\n'));
    return true;
}

// The same on the first of `numbers` that is free, or on any free display without them.
inline bool startXvfb(Process& xvfb, std::string& display, const char* screen = "1024x768x24",
                      const std::vector<int>& numbers = {})
{
    if (numbers.empty()) return startXvfbOn(xvfb, display, "", screen);
    for (const int number : numbers) {
        if (startXvfbOn(xvfb, display, ":" + std::to_string(number), screen)) return true;
        xvfb.stop();  // that number was taken: try the next
    }
    return false;
}

// openbox on `display`, once X takes clients; true once it manages the screen (its
// check window, of class openbox, is there).
inline bool startWindowManager(Process& manager, const std::string& display)
{
    const std::string on = "DISPLAY=" + display + " timeout 20 ";
    const auto deadline = Clock::now() + DEADLINE;
    while (std::system((on + "xdotool getdisplaygeometry >/dev/null 2>&1").c_str()) != 0) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    start(manager, {"openbox"}, display);
    return std::system((on + "xdotool search --sync --classname openbox >/dev/null 2>&1").c_str()) == 0;
}

// utime + stime of `pid`, in seconds.
inline double cpuSeconds(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));  // the name may hold blanks
    std::string field;
    for (int i = 3; i < 14 && fields >> field; ++i) {
    }
    unsigned long long user = 0;
    unsigned long long system = 0;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Seconds on a CPU of every thread of `pid`, from the first field of each schedstat.
inline double scheduledSeconds(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double seconds = 0.0;
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::ifstream file(task.path() / "schedstat");
        unsigned long long nanoseconds = 0;
        if (file >> nanoseconds) seconds += static_cast<double>(nanoseconds) * 1e-9;
    }
    return seconds;
}

}  // namespace netduel
