// SDL2 back end of the display: the window, the surface scaled into it through SDL's
// renderer, full screen, the event pump (display_sdl_events.cpp translates each event)
// and the 60 Hz retrace clock. Events are handled on the main thread inside unlock,
// retrace wait, sleep, poll and the prompt, which every frame calls.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <SDL2/SDL.h>

#include "base/status.h"
#include "display/display.h"
#include "display/display_sdl_events.h"

namespace netduel {

namespace {

constexpr double RETRACE_HZ = 60.0;
constexpr const char* TEXTURE_DATA = "netduel.texture";  // the window's streaming texture
constexpr Uint32 FULLSCREEN = SDL_WINDOW_FULLSCREEN_DESKTOP;  // at the desktop's resolution

SDL_Window* sdlWindow(const Display& display)
{
    return static_cast<SDL_Window*>(display.window);
}

SDL_Texture* sdlTexture(const Display& display)
{
    return static_cast<SDL_Texture*>(SDL_GetWindowData(sdlWindow(display), TEXTURE_DATA));
}

// The window's drawable size in pixels; false without a renderer.
bool sdlOutputSize(const Display& display, int& width, int& height)
{
    SDL_Renderer* renderer = display.window ? SDL_GetRenderer(sdlWindow(display)) : nullptr;
    return renderer && SDL_GetRendererOutputSize(renderer, &width, &height) == 0;
}

// The last uploaded picture fitted into the drawable pixels (which a high-DPI screen
// makes more than the window's size), black bars around it. Bars and picture cover
// every pixel, so no clear is needed first.
void sdlPresent(Display& display)
{
    SDL_Renderer* renderer = SDL_GetRenderer(sdlWindow(display));
    int width = 0;
    int height = 0;
    if (!sdlOutputSize(display, width, height)) return;
    const DisplayRect p = displayFit(width, height);
    if (p.height <= 0) return;
    const SDL_Rect bars[4] = {
        {0, 0, p.x, height},
        {p.x + p.width, 0, width - p.x - p.width, height},
        {p.x, 0, p.width, p.y},
        {p.x, p.y + p.height, p.width, height - p.y - p.height},
    };
    const SDL_Rect picture{p.x, p.y, p.width, p.height};
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, SDL_ALPHA_OPAQUE);
    SDL_RenderFillRects(renderer, bars, 4);
    SDL_RenderCopy(renderer, sdlTexture(display), nullptr, &picture);
    SDL_RenderPresent(renderer);
}

// Full screen hides the pointer, which would only sit on the picture there.
void sdlSetFullscreen(Display& display, bool fullscreen)
{
    if (SDL_SetWindowFullscreen(sdlWindow(display), fullscreen ? FULLSCREEN : 0) != 0) {
        statusWrite(std::string("Cannot switch full screen: ") + SDL_GetError(), true);
        return;
    }
    SDL_ShowCursor(fullscreen ? SDL_DISABLE : SDL_ENABLE);
    display.shown.fullscreen = fullscreen;
}

void sdlToggleFullscreen(Display& display)
{
    const bool fullscreen = (SDL_GetWindowFlags(sdlWindow(display)) & FULLSCREEN) == FULLSCREEN;
    sdlSetFullscreen(display, !fullscreen);
}

void sdlPump(Display& display)
{
    bool present = false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        const DisplaySdlRequest request = displaySdlEvent(display, event);
        if (request == DisplaySdlRequest::ToggleFullscreen) sdlToggleFullscreen(display);
        present = present || request != DisplaySdlRequest::None;
    }
    if (present) sdlPresent(display);
}

// Only the changed rows travel to the texture; the renderer scales the whole picture.
void sdlShow(Display& display, int firstRow, int lastRow)
{
    const SDL_Rect rows{0, firstRow, DISPLAY_WIDTH, lastRow - firstRow + 1};
    SDL_UpdateTexture(sdlTexture(display), &rows, display.pixels.data() + firstRow * DISPLAY_WIDTH,
                      DISPLAY_WIDTH * 4);
    sdlPresent(display);
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

// SDL's drivers without Wayland when nobody asked for a driver and Wayland cannot be
// reached (WAYLAND_DISPLAY names no socket path and XDG_RUNTIME_DIR is unset): libwayland
// would say so on standard error before the window's own line. Empty: SDL chooses.
std::string videoDriversToTry()
{
    const char* chosen = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if ((chosen && *chosen) || (wayland && wayland[0] == '/') || (runtime && *runtime)) return {};
    std::string drivers;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const std::string name = SDL_GetVideoDriver(i);
        if (name != "wayland") drivers += (drivers.empty() ? "" : ",") + name;
    }
    return drivers;
}

// A visible window, unless an invisible driver was asked for by name (SDL_VIDEODRIVER in
// the environment, or the same hint set by the program; not `ownList`, our own choice).
bool videoDriverUsable(bool ownList)
{
    const char* chosen = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (!isInvisibleDriver(SDL_GetCurrentVideoDriver()) || (chosen && *chosen && !ownList)) return true;
    statusWrite("Cannot open the window: " + displayServerLooked() + " (SDL offers only its " +
                    SDL_GetCurrentVideoDriver() +
                    " driver); run with --dedicated to host without a screen",
                true);
    return false;
}

constexpr int FRAME_ROOM = 64;           // px: a window this close to the screen's size may not fit with its frame
constexpr Uint32 FRAME_WAIT_MS = 250;    // for the window manager to tell the frame's size

// The window manager's frame around the shown window, waited for a moment; 0 without one.
SDL_Rect sdlFrameRoom(SDL_Window* window)
{
    int top = 0, left = 0, bottom = 0, right = 0;
    const Uint32 start = SDL_GetTicks();
    while (SDL_GetTicks() - start < FRAME_WAIT_MS) {
        SDL_PumpEvents();  // the frame's size arrives as a property of the window
        if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) == 0 && top + left + bottom + right > 0)
            break;
        SDL_Delay(5);
    }
    return {left, top, left + right, top + bottom};
}

// Shows the window, first fitted to the usable part of its screen, then again once the
// frame is known when the two come close.
void sdlShowFitted(SDL_Window* window, const DisplayWindow& asked)
{
    SDL_Rect usable{};
    const bool known = SDL_GetDisplayUsableBounds(std::max(SDL_GetWindowDisplayIndex(window), 0), &usable) == 0;
    const DisplayWindow fitted = displayWindowFit(asked, known ? usable.w : 0, known ? usable.h : 0);
    SDL_SetWindowSize(window, fitted.width, fitted.height);
    SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    SDL_ShowWindow(window);
    if (!known || asked.fullscreen ||
        (fitted.width + FRAME_ROOM < usable.w && fitted.height + FRAME_ROOM < usable.h))
        return;
    const SDL_Rect frame = sdlFrameRoom(window);
    const DisplayWindow framed = displayWindowFit(asked, usable.w - frame.w, usable.h - frame.h);
    if (framed.width == fitted.width && framed.height == fitted.height) return;
    SDL_SetWindowSize(window, framed.width, framed.height);
    SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

// An OpenGL renderer whose GL rasterizes on the CPU (Mesa's llvmpipe and softpipe, as on
// a machine without a GPU or a virtual X server) costs several times SDL's own
// software renderer for the same picture.
bool rendersOnCpu(SDL_Renderer* renderer)
{
    SDL_RendererInfo info{};
    if (SDL_GetRendererInfo(renderer, &info) != 0 || !info.name) return false;
    const std::string name = info.name;
    if (name.rfind("opengl", 0) != 0) return false;  // opengl, opengles2
    using GetString = const unsigned char* (*)(unsigned);
    constexpr unsigned GL_RENDERER_NAME = 0x1F01;  // GL_RENDERER
    const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const unsigned char* text = getString ? getString(GL_RENDERER_NAME) : nullptr;
    const std::string gl = text ? reinterpret_cast<const char*>(text) : "";
    for (const char* software : {"llvmpipe", "softpipe", "Software Rasterizer", "SWR"})
        if (gl.find(software) != std::string::npos) return true;
    return false;
}

// Linux without a GPU device node: its GL could only be a CPU rasterizer, and loading
// one just to find that out costs some 70 MB of memory for the rest of the run.
bool noGpuDevice()
{
#ifdef __linux__
    std::error_code error;
    for (const auto& node : std::filesystem::directory_iterator("/dev/dri", error))
        if (node.path().filename().string().rfind("card", 0) == 0 ||
            node.path().filename().string().rfind("renderD", 0) == 0)
            return false;
    return true;
#else
    return false;
#endif
}

// Game controllers, mapped by SDL's own list, the file that SDL_GAMECONTROLLERCONFIG_FILE
// names in the environment, else `mappings`; each one plugged in arrives as an event.
void sdlPadsOpen(const std::string& mappings)
{
    if (!mappings.empty()) SDL_SetHint(SDL_HINT_GAMECONTROLLERCONFIG_FILE, mappings.c_str());  // the environment wins
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
        statusWrite(std::string("No game controllers: ") + SDL_GetError(), true);
}

// The GPU's renderer where there is one, else SDL's software renderer; SDL_RENDER_DRIVER
// in the environment chooses instead.
SDL_Renderer* sdlRendererFor(SDL_Window* window)
{
    const char* chosen = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    const bool asked = chosen && *chosen;
    if (!asked && noGpuDevice()) return SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, 0);
    if (!renderer || asked || !rendersOnCpu(renderer)) return renderer;
    SDL_DestroyRenderer(renderer);
    return SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
}

// The renderer and its streaming texture. XRGB holds the surface's bytes as they are:
// its alpha is always opaque.
bool sdlCreateRenderer(SDL_Window* window)
{
    SDL_Renderer* renderer = sdlRendererFor(window);
    SDL_Texture* texture =
        renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                     DISPLAY_WIDTH, DISPLAY_HEIGHT)
                 : nullptr;
    if (!texture) return false;
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);  // pixels and glyphs stay hard
    SDL_SetWindowData(window, TEXTURE_DATA, texture);
    return true;
}

}  // namespace

bool displayOpen(Display& display, const char* programPath, const DisplayWindow& window,
                 const std::string& padMappings)
{
    // The software renderer draws into the window's own framebuffer, not into a texture
    // of yet another renderer.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // Ctrl+C and SIGTERM stay with the program's own stop request, which the loops poll;
    // SDL would turn them into a quit event that nothing reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    const std::string drivers = videoDriversToTry();
    if (!drivers.empty()) SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        statusWrite(std::string("Cannot open the window: ") + SDL_GetError(), true);
        return false;
    }
    if (!videoDriverUsable(!drivers.empty())) {
        SDL_Quit();
        return false;
    }
    // Hidden until its renderer is chosen, which may replace the window underneath.
    const DisplayWindow size = displayWindowFit(window, 0, 0);  // fitted to the screen when shown
    display.window = SDL_CreateWindow(programStem(programPath).c_str(), SDL_WINDOWPOS_CENTERED,
                                      SDL_WINDOWPOS_CENTERED, size.width, size.height,
                                      SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!display.window || !sdlCreateRenderer(sdlWindow(display))) {
        statusWrite(std::string("Cannot open the window: ") + SDL_GetError(), true);
        if (display.window) displayClose(display);
        else SDL_Quit();
        return false;
    }
    SDL_SetWindowMinimumSize(sdlWindow(display), WINDOW_MIN_WIDTH, WINDOW_MIN_HEIGHT);
    display.shown = {size.width, size.height, false};
    if (size.fullscreen) sdlSetFullscreen(display, true);
    sdlShowFitted(sdlWindow(display), size);
    if (!size.fullscreen) SDL_GetWindowSize(sdlWindow(display), &display.shown.width, &display.shown.height);
    sdlPadsOpen(padMappings);
    SDL_StartTextInput();
    display.backEnd = {sdlShow, sdlPump, sdlWaitRetrace, sdlSleep};
    displayClear(display);
    displayLock(display);
    displayUnlock(display, -1, -1);
    return true;
}

DisplayRect displayShownPicture(const Display& display)
{
    int width = 0;
    int height = 0;
    return sdlOutputSize(display, width, height) ? displayFit(width, height) : DisplayRect{};
}

void displayClose(Display& display)
{
    if (!display.window) return;
    display.backEnd = {};
    if (display.padSteering >= 0) SDL_GameControllerClose(SDL_GameControllerFromInstanceID(display.padSteering));
    display.padSteering = -1;
    SDL_Window* window = sdlWindow(display);
    if (SDL_Renderer* renderer = SDL_GetRenderer(window)) SDL_DestroyRenderer(renderer);  // and its texture
    SDL_DestroyWindow(window);
    display.window = nullptr;
    SDL_Quit();
}

}  // namespace netduel
