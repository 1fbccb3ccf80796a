// SDL2 back end of the display: the window, the copy of the surface into it, window
// events into the key-state table and the typed-key ring, the 60 Hz retrace clock.
// Events are handled on the main thread inside unlock, retrace wait, sleep, poll and
// the prompt, which every frame calls.
#include <cstdlib>
#include <string>

#include <SDL2/SDL.h>

#include "base/status.h"
#include "shell/display.h"

namespace netduel {

namespace {

constexpr double RETRACE_HZ = 60.0;

// PC scan code set 1 for each SDL scancode; extended (E0) keys share their base code.
int scanCodeOf(SDL_Scancode code)
{
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z) {
        static constexpr unsigned char LETTERS[26] = {
            30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,  // A…M
            49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44,  // N…Z
        };
        return LETTERS[code - SDL_SCANCODE_A];
    }
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_0) return 2 + (code - SDL_SCANCODE_1);
    if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F10) return 59 + (code - SDL_SCANCODE_F1);
    switch (code) {
    case SDL_SCANCODE_ESCAPE: return 1;
    case SDL_SCANCODE_MINUS: return 12;
    case SDL_SCANCODE_EQUALS: return 13;
    case SDL_SCANCODE_BACKSPACE: return 14;
    case SDL_SCANCODE_TAB: return 15;
    case SDL_SCANCODE_LEFTBRACKET: return 26;
    case SDL_SCANCODE_RIGHTBRACKET: return 27;
    case SDL_SCANCODE_RETURN: case SDL_SCANCODE_KP_ENTER: return 28;
    case SDL_SCANCODE_LCTRL: case SDL_SCANCODE_RCTRL: return 29;
    case SDL_SCANCODE_SEMICOLON: return 39;
    case SDL_SCANCODE_APOSTROPHE: return 40;
    case SDL_SCANCODE_GRAVE: return 41;
    case SDL_SCANCODE_LSHIFT: return 42;
    case SDL_SCANCODE_BACKSLASH: return 43;
    case SDL_SCANCODE_COMMA: return 51;
    case SDL_SCANCODE_PERIOD: return 52;
    case SDL_SCANCODE_SLASH: case SDL_SCANCODE_KP_DIVIDE: return 53;
    case SDL_SCANCODE_RSHIFT: return 54;
    case SDL_SCANCODE_KP_MULTIPLY: case SDL_SCANCODE_PRINTSCREEN: return 55;
    case SDL_SCANCODE_LALT: case SDL_SCANCODE_RALT: return 56;
    case SDL_SCANCODE_SPACE: return 57;
    case SDL_SCANCODE_CAPSLOCK: return 58;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 69;
    case SDL_SCANCODE_SCROLLLOCK: return 70;
    case SDL_SCANCODE_KP_7: case SDL_SCANCODE_HOME: return 71;
    case SDL_SCANCODE_KP_8: case SDL_SCANCODE_UP: return 72;
    case SDL_SCANCODE_KP_9: case SDL_SCANCODE_PAGEUP: return 73;
    case SDL_SCANCODE_KP_MINUS: return 74;
    case SDL_SCANCODE_KP_4: case SDL_SCANCODE_LEFT: return 75;
    case SDL_SCANCODE_KP_5: return 76;
    case SDL_SCANCODE_KP_6: case SDL_SCANCODE_RIGHT: return 77;
    case SDL_SCANCODE_KP_PLUS: return 78;
    case SDL_SCANCODE_KP_1: case SDL_SCANCODE_END: return 79;
    case SDL_SCANCODE_KP_2: case SDL_SCANCODE_DOWN: return 80;
    case SDL_SCANCODE_KP_3: case SDL_SCANCODE_PAGEDOWN: return 81;
    case SDL_SCANCODE_KP_0: case SDL_SCANCODE_INSERT: return 82;
    case SDL_SCANCODE_KP_PERIOD: case SDL_SCANCODE_DELETE: return 83;
    case SDL_SCANCODE_NONUSBACKSLASH: return 86;
    case SDL_SCANCODE_F11: return 87;
    case SDL_SCANCODE_F12: return 88;
    case SDL_SCANCODE_LGUI: return 91;
    case SDL_SCANCODE_RGUI: return 92;
    case SDL_SCANCODE_APPLICATION: return 93;
    default: return 0;
    }
}

bool isModifier(SDL_Scancode code)
{
    return (code >= SDL_SCANCODE_LCTRL && code <= SDL_SCANCODE_RGUI) ||
           code == SDL_SCANCODE_CAPSLOCK || code == SDL_SCANCODE_NUMLOCKCLEAR ||
           code == SDL_SCANCODE_SCROLLLOCK;
}

// Keypad digits and the point type text only while Num Lock is on.
bool isNumLockKey(SDL_Scancode code)
{
    return code >= SDL_SCANCODE_KP_1 && code <= SDL_SCANCODE_KP_PERIOD;
}

// A press's typed-key entry: the control characters from the press itself, keys that
// type text leave it to SDL_TEXTINPUT, the rest as keys without a character.
void pushKeyPress(Display& display, const SDL_Keysym& key, int scanCode)
{
    const SDL_Keycode sym = key.sym;
    if (sym == SDLK_RETURN || sym == SDLK_KP_ENTER) return keyRingPush(display.keys, '\r');
    if (sym == SDLK_BACKSPACE) return keyRingPush(display.keys, '\b');
    if (sym == SDLK_TAB) return keyRingPush(display.keys, '\t');
    if (sym == SDLK_ESCAPE) return keyRingPush(display.keys, 27);
    if (isModifier(key.scancode) || scanCode == 0) return;
    const bool typesText = (sym >= 32 && sym < 127) ||
                           (sym >= SDLK_KP_DIVIDE && sym <= SDLK_KP_PLUS) ||
                           (isNumLockKey(key.scancode) && (key.mod & KMOD_NUM));
    if (!typesText) keyRingPush(display.keys, keyWithoutCharacter(scanCode));
}

// UTF-8 text into one entry per code point below 256; others are dropped.
void pushText(Display& display, const char* text)
{
    const auto* byte = reinterpret_cast<const unsigned char*>(text);
    while (*byte) {
        int extra = 0;
        unsigned codePoint = *byte;
        if (codePoint >= 0xF0) { extra = 3; codePoint &= 0x07; }
        else if (codePoint >= 0xE0) { extra = 2; codePoint &= 0x0F; }
        else if (codePoint >= 0xC0) { extra = 1; codePoint &= 0x1F; }
        ++byte;
        for (; extra > 0 && (*byte & 0xC0) == 0x80; --extra, ++byte)
            codePoint = (codePoint << 6) | (*byte & 0x3F);
        if (extra == 0 && codePoint < 256) keyRingPush(display.keys, static_cast<KeyEntry>(codePoint));
    }
}

void handleEvent(Display& display, const SDL_Event& event)
{
    switch (event.type) {
    case SDL_KEYDOWN: {
        const int scanCode = scanCodeOf(event.key.keysym.scancode);
        displayKeyEvent(display, scanCode, true);
        pushKeyPress(display, event.key.keysym, scanCode);
        break;
    }
    case SDL_KEYUP:
        displayKeyEvent(display, scanCodeOf(event.key.keysym.scancode), false);
        break;
    case SDL_TEXTINPUT:
        pushText(display, event.text.text);
        break;
    case SDL_WINDOWEVENT:
        // The close button closes nothing: it only types the close pseudo key.
        if (event.window.event == SDL_WINDOWEVENT_CLOSE)
            keyRingPush(display.keys, keyWithoutCharacter(SCAN_CLOSE));
        break;
    default:
        break;
    }
}

SDL_Window* sdlWindow(const Display& display)
{
    return static_cast<SDL_Window*>(display.window);
}

void sdlPump(Display& display)
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) handleEvent(display, event);
}

void sdlShow(Display& display, int firstRow, int lastRow)
{
    SDL_Surface* target = SDL_GetWindowSurface(sdlWindow(display));
    if (target && target->w >= DISPLAY_WIDTH && target->h > lastRow &&
        SDL_LockSurface(target) == 0) {
        const int pitch = DISPLAY_WIDTH * 4;
        SDL_ConvertPixels(DISPLAY_WIDTH, lastRow - firstRow + 1, SDL_PIXELFORMAT_ARGB8888,
                          display.pixels.data() + firstRow * DISPLAY_WIDTH, pitch,
                          target->format->format,
                          static_cast<Uint8*>(target->pixels) + firstRow * target->pitch,
                          target->pitch);
        SDL_UnlockSurface(target);
        const SDL_Rect rows{0, firstRow, DISPLAY_WIDTH, lastRow - firstRow + 1};
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

// A visible window, unless SDL_VIDEODRIVER asked for an invisible one.
bool videoDriverUsable()
{
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
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
