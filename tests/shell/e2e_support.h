// End-to-end helpers: child processes with their output read as it comes, and rows of a
// game window's screenshot compared with what the program's own drawText paints.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_x11.h"
#include "panel_row.h"
#include "display/display.h"

namespace netduel::e2e {

using Clock = std::chrono::steady_clock;
inline constexpr auto DEADLINE = std::chrono::seconds(20);

// A program started with its standard output and error on pipes.
struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    std::string outText;
    std::string errText;
    int status = -1;  // wait status once it has ended

    ~Child()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0) close(out);
        if (err >= 0) close(err);
        if (!outText.empty()) std::printf("output of a child:\n%s\n", outText.c_str());
        if (!errText.empty()) std::printf("errors of a child:\n%s\n", errText.c_str());
    }

    void read()
    {
        char buffer[512];
        ssize_t count;
        while (out >= 0 && (count = ::read(out, buffer, sizeof buffer)) > 0) outText.append(buffer, count);
        while (err >= 0 && (count = ::read(err, buffer, sizeof buffer)) > 0) errText.append(buffer, count);
    }

    // True once it has ended; its wait status is in `status`.
    bool ended()
    {
        read();
        if (pid <= 0) return true;
        if (waitpid(pid, &status, WNOHANG) != pid) return false;
        pid = -1;
        read();
        return true;
    }

    bool exitedWith(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    bool said(const std::string& text) const { return outText.find(text) != std::string::npos; }
};

// Starts `program` with `arguments`; without DISPLAY (and the other ways to a display
// server) when `screen` is false; its settings in the folder `settings`, else in one of
// its own.
inline std::unique_ptr<Child> spawn(const std::string& program, std::vector<std::string> arguments,
                                    bool screen = true, const std::string& settings = {})
{
    auto child = std::make_unique<Child>();
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return child;
    child->pid = fork();
    if (child->pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) close(fd);
        if (!screen) {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("SDL_VIDEODRIVER");
        }
        settingsPlaceOwn(settings);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    child->out = outPipe[0];
    child->err = errPipe[0];
    fcntl(child->out, F_SETFL, O_NONBLOCK);
    fcntl(child->err, F_SETFL, O_NONBLOCK);
    return child;
}

// Calls `step` (which services whatever the test watches) until `done` holds.
inline bool waitFor(const std::function<bool()>& done, Clock::duration limit = DEADLINE,
                    const std::function<void()>& step = [] { usleep(5000); })
{
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (done()) return true;
        step();
    }
    return done();
}

// True when the panel's text row at `top` of the screenshot shows exactly `text`.
inline bool rowShows(const std::vector<unsigned char>& rgb, int top, std::string_view text)
{
    if (rgb.empty()) return false;
    auto expected = std::make_unique<Display>();
    drawPanelRow(*expected, top, text);
    for (int y = top; y < top + CELL_SIZE; ++y)
        for (int x = 0; x < DISPLAY_WIDTH; ++x)
            if (pixel(rgb, x, y) != displayPixel(*expected, x, y)) return false;
    return true;
}

}  // namespace netduel::e2e
