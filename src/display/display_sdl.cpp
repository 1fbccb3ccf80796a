// SDL2 back end of the display: the window, the copy of the surface into it, the event
// pump (display_sdl_events.cpp translates each event) and the 60 Hz retrace clock.
// Events are handled on the main thread inside unlock, retrace wait, sleep, poll and
// the prompt, which every frame calls.
#include <cstdlib>
#include <string>

#include <SDL2/SDL.h>

#include "base/status.h"
#include "display/display.h"
#include "display/display_sdl_events.h"

namespace netduel {

namespace {

constexpr double RETRACE_HZ = 60.0;

SDL_Window* sdlWindow(const Display& display)
{
    return static_cast<SDL_Window*>(display.window);
}

void sdlPump(Display& display)
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) displaySdlEvent(display, event);
}

// The surface sits at the window's top-left corner; a window that a window manager made
// smaller than the surface shows the rows and columns that fit.
void sdlShow(Display& display, int firstRow, int lastRow)
{
    SDL_Surface* target = SDL_GetWindowSurface(sdlWindow(display));
    const DisplayRegion region =
        target ? displayVisibleRegion(target->w, target->h, firstRow, lastRow) : DisplayRegion{};
    if (region.height > 0 && SDL_LockSurface(target) == 0) {
        const int pitch = DISPLAY_WIDTH * 4;
        SDL_ConvertPixels(region.width, region.height, SDL_PIXELFORMAT_ARGB8888,
                          display.pixels.data() + region.top * DISPLAY_WIDTH, pitch,
                          target->format->format,
                          static_cast<Uint8*>(target->pixels) + region.top * target->pitch,
                          target->pitch);
        SDL_UnlockSurface(target);
        const SDL_Rect rows{0, region.top, region.width, region.height};
        SDL_UpdateWindowSurfaceRects(sdlWindow(display), &rows, 1);
    }
    sdlPump(display);
}

// Waits, handling events, until the performance counter reaches `deadline`.
void waitUntil(Display& display, Uint64 deadline)
{
    for (;;) {
        sdlPump(display);
        if (SDL_GetPerformanceCounter() >= deadline) return;
        SDL_Delay(1);
    }
}

// Ticks are whole multiples of 1/60 s on the performance counter, so a late frame
// does not shift the ones after it.
void sdlWaitRetrace(Display& display)
{
    const double period = static_cast<double>(SDL_GetPerformanceFrequency()) / RETRACE_HZ;
    const double ticks = static_cast<double>(SDL_GetPerformanceCounter()) / period;
    waitUntil(display, static_cast<Uint64>((static_cast<Uint64>(ticks) + 1) * period));
}

void sdlSleep(Display& display, int milliseconds)
{
    const Uint64 length = SDL_GetPerformanceFrequency() * static_cast<Uint64>(milliseconds) / 1000;
    waitUntil(display, SDL_GetPerformanceCounter() + length);
}

std::string programStem(const char* path)
{
    std::string name = path ? path : "";
    name.erase(0, name.find_last_of('/') + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

// Drivers that SDL falls back to when no display server answers: nobody would see them.
bool isInvisibleDriver(const char* driver)
{
    const std::string name = driver ? driver : "";
    return name == "offscreen" || name == "dummy";
}

// Where a display server was looked for, for the status line that says none answered.
std::string displayServerLooked()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::string where;
    if (x11 && *x11) where = std::string("DISPLAY=") + x11;
    if (wayland && *wayland)
        where += (where.empty() ? "" : " and ") + std::string("WAYLAND_DISPLAY=") + wayland;
    if (where.empty()) return "neither DISPLAY nor WAYLAND_DISPLAY is set";
    return "no display server answers at " + where;
}

// A visible window, unless an invisible driver was asked for by name (SDL_VIDEODRIVER in
// the environment, or the same hint set by the program).
bool videoDriverUsable()
{
    const char* chosen = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (!isInvisibleDriver(SDL_GetCurrentVideoDriver()) || (chosen && *chosen)) return true;
    statusWrite("Cannot open the window: " + displayServerLooked() + " (SDL offers only its " +
                    SDL_GetCurrentVideoDriver() +
                    " driver); run with --dedicated to host without a screen",
                true);
    return false;
}

}  // namespace

bool displayOpen(Display& display, const char* programPath)
{
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // Ctrl+C and SIGTERM stay with the program's own stop request, which the loops poll;
    // SDL would turn them into a quit event that nothing reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        statusWrite(std::string("Cannot open the window: ") + SDL_GetError(), true);
        return false;
    }
    if (!videoDriverUsable()) {
        SDL_Quit();
        return false;
    }
    display.window = SDL_CreateWindow(programStem(programPath).c_str(), SDL_WINDOWPOS_CENTERED,
                                      SDL_WINDOWPOS_CENTERED, DISPLAY_WIDTH, DISPLAY_HEIGHT, 0);
    if (!display.window) {
        statusWrite(std::string("Cannot open the window: ") + SDL_GetError(), true);
        SDL_Quit();
        return false;
    }
    SDL_StartTextInput();
    display.backEnd = {sdlShow, sdlPump, sdlWaitRetrace, sdlSleep};
    displayClear(display);
    displayLock(display);
    displayUnlock(display, -1, -1);
    return true;
}

void displayClose(Display& display)
{
    if (!display.window) return;
    display.backEnd = {};
    SDL_DestroyWindow(sdlWindow(display));
    display.window = nullptr;
    SDL_Quit();
}

}  // namespace netduel
