// End to end: the real game's window on a 1920×1080 Xvfb screen under a window manager
// (e2e.sh runs both), resized, full screen and started at other sizes by xdotool, with
// its pixels read back and compared with the picture the program's own drawing makes.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "display/display.h"
#include "shell/e2e_support.h"
#include "shell/host.h"
#include "shell/panel_row.h"

namespace netduel {
namespace {

using e2e::Shot;

const char* gamePath = nullptr;
constexpr int SCREEN_W = 1920;
constexpr int SCREEN_H = 1080;
// The panel's texts (history, hint) stay left of this column and above this row; the
// picture is compared everywhere else.
constexpr int TEXT_RIGHT = 600;
constexpr int TEXT_BOTTOM = 58;

// Ports of this test's games, inside their own network namespace.
constexpr int PORT_RESIZE = 49870;
constexpr int PORT_FULLSCREEN = 49871;
constexpr int PORT_WINDOW = 49872;
constexpr int PORT_CHAT = 49873;

// The picture of a game that hosts and has not moved its ships: both at their start,
// the panel without its texts.
std::unique_ptr<Display> startPicture()
{
    auto picture = std::make_unique<Display>();
    MatchState match;
    hostMatchStart(match);
    for (const Ship& ship : match.ships) {
        drawCircle(*picture, ship.position.x, ship.position.y, SHIP_BODY_RADIUS, ship.colour);
        drawLine(*picture, ship.position.x, ship.position.y, ship.position.x,
                 ship.position.y - HEADING_LENGTH);
    }
    drawPanelRow(*picture, 0, "");
    return picture;
}

bool inText(int x, int y) { return x < TEXT_RIGHT && y < TEXT_BOTTOM; }

// Empty when `shot` shows `picture` scaled into the largest centred 4:3 rectangle of its
// size with black bars: each pixel one of the surface pixels nearest to where it maps
// (no blend), the panel frame and ship 0's body where they belong. Else what differs.
std::string scaledMismatch(const Shot& shot, const Display& picture)
{
    if (shot.rgb.empty()) return "no capture";
    const DisplayRect fit = displayFit(shot.width, shot.height);
    std::ostringstream why;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const std::uint32_t got = shot.at(x, y);
            const bool inside = x >= fit.x && x < fit.x + fit.width && y >= fit.y && y < fit.y + fit.height;
            if (!inside) {
                if (got != BACKGROUND) why << "bar pixel " << x << "," << y << " is " << std::hex << got;
                if (!why.str().empty()) return why.str();
                continue;
            }
            const int sx = (x - fit.x) * DISPLAY_WIDTH / fit.width;
            const int sy = (y - fit.y) * DISPLAY_HEIGHT / fit.height;
            if (inText(sx + 1, sy + 1)) continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = displayPixel(picture, sx + dx, sy + dy) == got;
            if (!near) {
                why << "pixel " << x << "," << y << " (surface " << sx << "," << sy << ") is " << std::hex
                    << got << ", expected " << displayPixel(picture, sx, sy);
                return why.str();
            }
        }
    }
    // Where the surface's features land: the frame's right edge, the fill, ship 0's body.
    const auto shown = [&](int sx, int sy) {
        return shot.at(fit.x + (2 * sx + 1) * fit.width / (2 * DISPLAY_WIDTH),
                       fit.y + (2 * sy + 1) * fit.height / (2 * DISPLAY_HEIGHT));
    };
    if (shown(1023, 30) != PANEL_FRAME) return "no panel frame at the picture's right edge";
    if (shown(1000, 30) != PANEL_FILL) return "no panel fill inside the frame";
    if (shown(50, 390) != 0xFF800000u) return "ship 0's body is not at its scaled place";
    return {};
}

// Empty when `shot` is `picture` pixel for pixel, the panel's texts aside.
std::string exactMismatch(const Shot& shot, const Display& picture)
{
    if (shot.width != DISPLAY_WIDTH || shot.height != DISPLAY_HEIGHT || shot.rgb.empty())
        return "captured " + std::to_string(shot.width) + "x" + std::to_string(shot.height);
    for (int y = 0; y < DISPLAY_HEIGHT; ++y)
        for (int x = 0; x < DISPLAY_WIDTH; ++x)
            if (!inText(x, y) && shot.at(x, y) != displayPixel(picture, x, y)) {
                std::ostringstream why;
                why << "pixel " << x << "," << y << " is " << std::hex << shot.at(x, y) << ", expected "
                    << displayPixel(picture, x, y);
                return why.str();
            }
    return {};
}

// Whether the pointer over the window shows nothing (SDL's blank cursor).
bool pointerHidden()
{
    ::Display* x = XOpenDisplay(nullptr);
    if (!x) return false;
    XFixesCursorImage* image = XFixesGetCursorImage(x);
    bool blank = image != nullptr;
    for (int i = 0; image && i < image->width * image->height; ++i)
        blank = blank && (image->pixels[i] >> 24) == 0;
    if (image) XFree(image);
    XCloseDisplay(x);
    return blank;
}

class WindowEndToEnd : public ::testing::Test {
protected:
    std::unique_ptr<e2e::Child> game;
    std::string window;
    std::unique_ptr<Display> picture = startPicture();
    std::string lastMismatch;

    static void SetUpTestSuite() { ASSERT_TRUE(waitForWindowManager()) << "no window manager"; }

    // A window manager names itself on the root window before its start is over, and a
    // window mapped in that moment may never be managed (the game's would then wait for
    // its map for good). Ready is when it has managed a probe window of ours: it gives
    // it WM_STATE. The probe is mapped again on each try.
    static bool waitForWindowManager()
    {
        ::Display* x = XOpenDisplay(nullptr);
        if (!x) return false;
        const Window probe = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 8, 8, 0, 0, 0);
        const Atom wmState = XInternAtom(x, "WM_STATE", False);
        const auto managed = [&] {
            Atom type = None;
            int format = 0;
            unsigned long count = 0;
            unsigned long after = 0;
            unsigned char* data = nullptr;
            XGetWindowProperty(x, probe, wmState, 0, 2, False, AnyPropertyType, &type, &format, &count, &after,
                               &data);
            if (data) XFree(data);
            return count > 0;
        };
        const bool ready = e2e::waitFor([&] {
            XMapWindow(x, probe);
            XSync(x, False);
            if (e2e::waitFor(managed, std::chrono::seconds(1))) return true;
            XUnmapWindow(x, probe);
            XSync(x, False);
            return false;
        }, std::chrono::seconds(60));
        XDestroyWindow(x, probe);
        XCloseDisplay(x);
        return ready;
    }

    void TearDown() override
    {
        if (game && !game->ended()) {
            e2e::press(window, "Escape");
            EXPECT_TRUE(e2e::waitFor([&] { return game->ended(); }));
            EXPECT_TRUE(game->exitedWith(0));
        }
    }

    void start(std::vector<std::string> arguments)
    {
        game = e2e::spawn(gamePath, std::move(arguments));
        ASSERT_GT(game->pid, 0);
        // Only the shown window: the game may replace a hidden one while it opens. Asked
        // anew each time: xdotool's own --sync wait has missed a window shown under a
        // window manager for many seconds.
        ASSERT_TRUE(e2e::waitFor([&] {
            window = e2e::run(std::string(e2e::X_TIMEOUT) + "xdotool search --onlyvisible --pid " +
                              std::to_string(game->pid) + " | head -n 1");
            window.erase(window.find_last_not_of('\n') + 1);
            return !window.empty();
        }, std::chrono::seconds(30), [] { usleep(50000); })) << "no game window";
    }

    void host(int port, std::vector<std::string> more = {})
    {
        more.insert(more.begin(), {"--host", "--port", std::to_string(port)});
        start(more);
        ASSERT_TRUE(e2e::waitFor([&] { return game->ended() || game->said("Host running!\n"); }));
        ASSERT_TRUE(game->said("Host running!\n"));
    }

    bool sizeIs(int width, int height)
    {
        return e2e::waitFor([&] { return e2e::windowSize(window) == std::pair(width, height); });
    }

    // Polls captures until the window shows the start picture scaled to its size.
    bool showsScaled()
    {
        return e2e::waitFor([&] {
            lastMismatch = scaledMismatch(e2e::capture(window), *picture);
            return lastMismatch.empty();
        });
    }
    bool showsExactly()
    {
        return e2e::waitFor([&] {
            lastMismatch = exactMismatch(e2e::capture(window), *picture);
            return lastMismatch.empty();
        });
    }
};

TEST_F(WindowEndToEnd, TheWindowScalesWhenResizedAndTogglesFullScreen)
{
    host(PORT_RESIZE);
    ASSERT_TRUE(sizeIs(DISPLAY_WIDTH, DISPLAY_HEIGHT));
    EXPECT_TRUE(showsExactly()) << lastMismatch;

    e2e::xdotool("windowsize --sync " + window + " 1600 900");
    ASSERT_TRUE(sizeIs(1600, 900));
    EXPECT_TRUE(showsScaled()) << lastMismatch;  // 1200 × 900 from x = 200

    e2e::press(window, "F11");
    ASSERT_TRUE(sizeIs(SCREEN_W, SCREEN_H));
    EXPECT_TRUE(showsScaled()) << lastMismatch;  // 1440 × 1080 from x = 240
    e2e::xdotool("mousemove 960 540");
    EXPECT_TRUE(e2e::waitFor(pointerHidden));

    e2e::press(window, "alt+Return");
    ASSERT_TRUE(sizeIs(1600, 900));
    EXPECT_TRUE(showsScaled()) << lastMismatch;
    e2e::xdotool("mousemove --window " + window + " 800 450");
    EXPECT_TRUE(e2e::waitFor([] { return !pointerHidden(); }));
    EXPECT_FALSE(game->ended());
}

TEST_F(WindowEndToEnd, FullscreenStartsFullScreen)
{
    host(PORT_FULLSCREEN, {"--fullscreen"});
    ASSERT_TRUE(sizeIs(SCREEN_W, SCREEN_H));
    EXPECT_TRUE(showsScaled()) << lastMismatch;
    e2e::press(window, "F11");  // and F11 leaves it for the default window
    ASSERT_TRUE(sizeIs(DISPLAY_WIDTH, DISPLAY_HEIGHT));
    EXPECT_TRUE(showsExactly()) << lastMismatch;
}

TEST_F(WindowEndToEnd, WindowStartsAtTheAskedSizeAndATooLargeOneIsFitted)
{
    host(PORT_WINDOW, {"--window", "800x600"});
    ASSERT_TRUE(sizeIs(800, 600));
    EXPECT_TRUE(showsScaled()) << lastMismatch;
    e2e::press(window, "Escape");
    ASSERT_TRUE(e2e::waitFor([&] { return game->ended(); }));
    EXPECT_TRUE(game->exitedWith(0));

    // 4000 × 3000 on a 1920 × 1080 screen: the same shape, within the screen and its frame.
    host(PORT_WINDOW, {"--window", "4000x3000"});
    ASSERT_TRUE(e2e::waitFor([&] {
        const auto [width, height] = e2e::windowSize(window);
        return width > 1000 && height < SCREEN_H && std::abs(width * 3 - height * 4) < 8;
    }));
    EXPECT_TRUE(showsScaled()) << lastMismatch;
}

// The top row of the panel in chat mode, either blink phase of the prompt.
bool chatRowIs(const std::string& window, const std::string& line)
{
    return e2e::waitFor([&] {
        const std::vector<unsigned char> shot = e2e::screenshot(window);
        return e2e::rowShows(shot, 0, "> " + line) || e2e::rowShows(shot, 0, "  " + line);
    });
}

TEST_F(WindowEndToEnd, TheFullScreenKeysTypeNothingIntoTheChatLineOrThePrompt)
{
    // At "Create Host?": F11 and Alt+Enter neither type nor end the answer.
    start({"--port", std::to_string(PORT_CHAT)});
    ASSERT_TRUE(sizeIs(DISPLAY_WIDTH, DISPLAY_HEIGHT));
    e2e::press(window, "F11");
    ASSERT_TRUE(sizeIs(SCREEN_W, SCREEN_H));
    e2e::press(window, "alt+Return");
    ASSERT_TRUE(sizeIs(DISPLAY_WIDTH, DISPLAY_HEIGHT));
    e2e::press(window, "y");
    e2e::press(window, "Return");
    ASSERT_TRUE(e2e::waitFor([&] { return game->ended() || game->said("Host running!\n"); }));
    EXPECT_TRUE(game->said("Creating server\nHost running!\n"));

    // Connected and chatting: the line stays as typed through both toggles.
    e2e::press(window, "j");
    ASSERT_TRUE(e2e::waitFor([&] { game->read(); return game->said("connected from"); }));
    e2e::press(window, "c");
    ASSERT_TRUE(chatRowIs(window, ""));
    e2e::press(window, "F11");
    ASSERT_TRUE(sizeIs(SCREEN_W, SCREEN_H));
    e2e::press(window, "alt+Return");
    ASSERT_TRUE(sizeIs(DISPLAY_WIDTH, DISPLAY_HEIGHT));
    EXPECT_TRUE(chatRowIs(window, ""));
    e2e::xdotool("windowfocus --sync " + window + " type --delay 100 ab");
    ASSERT_TRUE(chatRowIs(window, "ab"));
    e2e::press(window, "alt+Return");
    ASSERT_TRUE(sizeIs(SCREEN_W, SCREEN_H));
    e2e::press(window, "F11");
    ASSERT_TRUE(sizeIs(DISPLAY_WIDTH, DISPLAY_HEIGHT));
    EXPECT_TRUE(chatRowIs(window, "ab"));
    EXPECT_FALSE(game->said("SAY "));  // nothing was sent
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    return netduel::e2e::driverMain(argc, argv, netduel::gamePath);
}
