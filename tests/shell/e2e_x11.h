// X helpers for end-to-end drivers: xdotool, the window of a process, and screenshots of
// one game window read back pixel by pixel. Free of the program's own headers, so a
// driver that talks to X directly can include it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

namespace netduel::e2e {

inline constexpr int SCREEN_WIDTH = 1024;  // the game window, which is what gets captured
inline constexpr int SCREEN_HEIGHT = 768;

inline std::string run(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    return output;
}

// Every X client runs under a time-out: a stuck one fails the test instead of hanging it.
inline constexpr const char* X_TIMEOUT = "timeout 30 ";

inline void xdotool(const std::string& arguments)
{
    ASSERT_EQ(std::system((X_TIMEOUT + std::string("xdotool ") + arguments).c_str()), 0) << arguments;
}

// The X window of the game with this process id; empty when none shows up.
inline std::string windowOf(pid_t pid)
{
    std::string window =
        run(X_TIMEOUT + std::string("xdotool search --sync --pid ") + std::to_string(pid) + " | head -n 1");
    window.erase(window.find_last_not_of('\n') + 1);
    return window;
}

// Focuses `window` and holds `key` for about 0.1 s, as a player presses it.
inline void press(const std::string& window, const std::string& key, double seconds = 0.1)
{
    xdotool("windowfocus --sync " + window + " keydown " + key + " sleep " +
            std::to_string(seconds) + " keyup " + key);
}

// The window as 1024×768 RGB bytes, raised first: an obscured window reads back as
// nothing. The game repaints it within a frame, so callers poll.
inline std::vector<unsigned char> screenshot(const std::string& window)
{
    std::vector<unsigned char> rgb(SCREEN_WIDTH * SCREEN_HEIGHT * 3);
    if (std::system((X_TIMEOUT + std::string("xdotool windowraise ") + window).c_str()) != 0) return {};
    const std::string command =
        X_TIMEOUT + std::string("xwd -silent -id ") + window + " | convert xwd:- -depth 8 rgb:-";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    const std::size_t got = std::fread(rgb.data(), 1, rgb.size(), pipe);
    pclose(pipe);
    if (got != rgb.size()) return {};
    return rgb;
}

// A window captured at whatever size it has now, as RGB bytes.
struct Shot {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // empty when the capture failed

    std::uint32_t at(int x, int y) const
    {
        const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return 0xFF000000u | p[0] << 16 | p[1] << 8 | p[2];
    }
};

// `window` raised and captured; xwd says its size through the PPM header.
inline Shot capture(const std::string& window)
{
    Shot shot;
    if (std::system((X_TIMEOUT + std::string("xdotool windowraise ") + window).c_str()) != 0) return shot;
    const std::string command =
        X_TIMEOUT + std::string("xwd -silent -id ") + window + " | convert xwd:- -depth 8 ppm:-";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return shot;
    // "P6", comment lines (the window's name), "WIDTH HEIGHT", "255", one per line.
    char line[256] = "#";
    int most = 0;
    bool header = std::fgets(line, sizeof line, pipe) && std::string(line) == "P6\n";
    while (header && std::fgets(line, sizeof line, pipe) && line[0] == '#') {
    }
    header = header && std::sscanf(line, "%d %d", &shot.width, &shot.height) == 2 &&
             std::fgets(line, sizeof line, pipe) && std::sscanf(line, "%d", &most) == 1 && most == 255;
    if (header) {
        shot.rgb.resize(static_cast<std::size_t>(shot.width) * shot.height * 3);
        if (std::fread(shot.rgb.data(), 1, shot.rgb.size(), pipe) != shot.rgb.size()) shot.rgb.clear();
    }
    pclose(pipe);
    return shot;
}

// The window's size as X has it now; 0 × 0 when xdotool cannot tell.
inline std::pair<int, int> windowSize(const std::string& window)
{
    const std::string text = run(X_TIMEOUT + std::string("xdotool getwindowgeometry --shell ") + window);
    const std::size_t width = text.find("WIDTH=");
    const std::size_t height = text.find("HEIGHT=");
    if (width == std::string::npos || height == std::string::npos) return {0, 0};
    return {std::atoi(text.c_str() + width + 6), std::atoi(text.c_str() + height + 7)};
}

inline std::uint32_t pixel(const std::vector<unsigned char>& rgb, int x, int y)
{
    const unsigned char* p = &rgb[(y * SCREEN_WIDTH + x) * 3];
    return 0xFF000000u | p[0] << 16 | p[1] << 8 | p[2];
}

// In a child about to run the game: the settings folder `place`, or one of its own below
// the run's XDG_CONFIG_HOME (which e2e.sh sets) when `place` is empty.
inline void settingsPlaceOwn(const std::string& place = {})
{
    const char* run = std::getenv("XDG_CONFIG_HOME");
    const std::string own = run ? std::string(run) + "/" + std::to_string(getpid()) : "/nonexistent";
    setenv("XDG_CONFIG_HOME", place.empty() ? own.c_str() : place.c_str(), 1);
}

// A driver's main: gtest's own flags, then the game executable as the one argument left.
inline int driverMain(int argc, char** argv, const char*& gamePath)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s GAME\n", argv[0]);
        return 2;
    }
    gamePath = argv[1];
    return RUN_ALL_TESTS();
}

}  // namespace netduel::e2e
