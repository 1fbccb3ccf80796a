// The SDL back end without a screen: synthetic SDL events into the key-state table and
// the typed-key ring, and the copy of the surface into windows of other sizes through
// SDL's dummy video driver, read back from the window's own pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "display/display.h"
#include "display/display_sdl_events.h"

namespace netduel {
namespace {

class DisplaySdlEvents : public ::testing::Test {
protected:
    std::unique_ptr<Display> owned = std::make_unique<Display>();
    Display& display = *owned;

    void key(Uint32 type, SDL_Scancode scancode, SDL_Keycode sym, Uint16 mod = KMOD_NONE)
    {
        SDL_Event event{};
        event.type = type;
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.scancode = scancode;
        event.key.keysym.sym = sym;
        event.key.keysym.mod = mod;
        displaySdlEvent(display, event);
    }
    void press(SDL_Scancode scancode, SDL_Keycode sym, Uint16 mod = KMOD_NONE)
    {
        key(SDL_KEYDOWN, scancode, sym, mod);
    }
    void release(SDL_Scancode scancode, SDL_Keycode sym) { key(SDL_KEYUP, scancode, sym); }

    // What SDL sends after a press that types text, as UTF-8.
    void text(const char* utf8)
    {
        SDL_Event event{};
        event.type = SDL_TEXTINPUT;
        std::strncpy(event.text.text, utf8, sizeof event.text.text - 1);
        displaySdlEvent(display, event);
    }

    // Every key waiting in the ring, oldest first.
    std::vector<std::string> typed()
    {
        std::vector<std::string> keys;
        for (std::string key = readKey(display); !key.empty(); key = readKey(display))
            keys.push_back(key);
        return keys;
    }
    using Keys = std::vector<std::string>;
};

TEST_F(DisplaySdlEvents, EnterBackspaceTabAndEscapeTypeTheirControlCharacters)
{
    press(SDL_SCANCODE_RETURN, SDLK_RETURN);
    press(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, KMOD_NUM);
    press(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE);
    press(SDL_SCANCODE_TAB, SDLK_TAB);
    press(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    EXPECT_EQ(typed(), (Keys{"\x0D", "\x0D", "\x08", "\x09", "\x1B"}));
    EXPECT_TRUE(keyDown(display, 28));  // Enter
    EXPECT_TRUE(keyDown(display, 14));  // Backspace
    EXPECT_TRUE(keyDown(display, 15));  // Tab
    EXPECT_TRUE(displayKeyHeld(display, SCAN_ESCAPE));
    release(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    EXPECT_FALSE(displayKeyHeld(display, SCAN_ESCAPE));
}

TEST_F(DisplaySdlEvents, LettersAndDigitsArriveOnceThroughTheirText)
{
    press(SDL_SCANCODE_J, SDLK_j);
    text("j");
    press(SDL_SCANCODE_C, SDLK_c, KMOD_LSHIFT);
    text("C");
    press(SDL_SCANCODE_1, SDLK_1);
    text("1");
    press(SDL_SCANCODE_SPACE, SDLK_SPACE);
    text(" ");
    EXPECT_EQ(typed(), (Keys{"j", "C", "1", " "}));
    EXPECT_TRUE(displayKeyHeld(display, SCAN_J));
    EXPECT_TRUE(displayKeyHeld(display, SCAN_C));
    EXPECT_TRUE(displayKeyHeld(display, 2));   // 1
    EXPECT_TRUE(displayKeyHeld(display, 57));  // space
    release(SDL_SCANCODE_J, SDLK_j);
    EXPECT_FALSE(displayKeyHeld(display, SCAN_J));
    EXPECT_TRUE(displayKeyHeld(display, SCAN_C));
}

TEST_F(DisplaySdlEvents, ArrowsAndEditingKeysAreTheirScanCodeAfter255)
{
    press(SDL_SCANCODE_UP, SDLK_UP);
    press(SDL_SCANCODE_DOWN, SDLK_DOWN);
    press(SDL_SCANCODE_LEFT, SDLK_LEFT);
    press(SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    press(SDL_SCANCODE_HOME, SDLK_HOME);
    press(SDL_SCANCODE_END, SDLK_END);
    press(SDL_SCANCODE_DELETE, SDLK_DELETE);
    press(SDL_SCANCODE_F1, SDLK_F1);
    EXPECT_EQ(typed(), (Keys{"\xFF\x48", "\xFF\x50", "\xFF\x4B", "\xFF\x4D", "\xFF\x47",
                             "\xFF\x4F", "\xFF\x53", "\xFF\x3B"}));
    for (int scanCode : {SCAN_UP, SCAN_DOWN, SCAN_LEFT, SCAN_RIGHT})
        EXPECT_TRUE(displayKeyHeld(display, scanCode)) << scanCode;
    EXPECT_FALSE(displayKeyHeld(display, 73));  // Page Up was never pressed
    release(SDL_SCANCODE_UP, SDLK_UP);
    EXPECT_FALSE(displayKeyHeld(display, SCAN_UP));

    // Every repeat the system reports types the key once more.
    key(SDL_KEYDOWN, SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    key(SDL_KEYDOWN, SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    EXPECT_EQ(typed(), (Keys{"\xFF\x4D", "\xFF\x4D"}));
}

TEST_F(DisplaySdlEvents, KeypadTypesDigitsWithNumLockAndMovesWithout)
{
    press(SDL_SCANCODE_KP_8, SDLK_KP_8, KMOD_NUM);
    text("8");
    press(SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS);
    text("+");
    EXPECT_EQ(typed(), (Keys{"8", "+"}));
    EXPECT_TRUE(displayKeyHeld(display, 72));  // keypad 8 shares the Up arrow's code
    EXPECT_TRUE(displayKeyHeld(display, 78));

    press(SDL_SCANCODE_KP_4, SDLK_KP_4);
    press(SDL_SCANCODE_KP_PERIOD, SDLK_KP_PERIOD);
    EXPECT_EQ(typed(), (Keys{"\xFF\x4B", "\xFF\x53"}));
    EXPECT_TRUE(displayKeyHeld(display, SCAN_LEFT));
}

TEST_F(DisplaySdlEvents, ModifiersAreHeldButTypeNothing)
{
    press(SDL_SCANCODE_LSHIFT, SDLK_LSHIFT);
    press(SDL_SCANCODE_RCTRL, SDLK_RCTRL);
    press(SDL_SCANCODE_LALT, SDLK_LALT);
    press(SDL_SCANCODE_RGUI, SDLK_RGUI);
    press(SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK);
    press(SDL_SCANCODE_NUMLOCKCLEAR, SDLK_NUMLOCKCLEAR);
    EXPECT_EQ(typed(), Keys{});
    EXPECT_TRUE(displayKeyHeld(display, 42));  // left shift
    EXPECT_TRUE(displayKeyHeld(display, 29));  // control
    EXPECT_TRUE(displayKeyHeld(display, 56));  // alt
    EXPECT_TRUE(displayKeyHeld(display, 58));  // caps lock

    // A key the scan-code table does not know is neither held nor typed.
    press(SDL_SCANCODE_INTERNATIONAL1, SDLK_UNKNOWN);
    EXPECT_EQ(typed(), Keys{});
}

TEST_F(DisplaySdlEvents, AForeignLayoutsLetterIsOneEntryTheLetter)
{
    // The "2" key of a French keyboard: its key code is é, its text é in UTF-8.
    press(SDL_SCANCODE_2, 0xE9);
    text("\xC3\xA9");
    release(SDL_SCANCODE_2, 0xE9);
    // A Cyrillic letter: beyond Latin-1, so nothing is typed at all.
    press(SDL_SCANCODE_A, 0x0444);
    text("\xD1\x84");
    press(SDL_SCANCODE_Q, SDLK_q);
    text("q");
    EXPECT_EQ(typed(), (Keys{"\xE9", "q"}));
    EXPECT_TRUE(displayKeyHeld(display, 30));  // the key itself is still held by its place
}

TEST_F(DisplaySdlEvents, TextOutsideLatinOneIsDropped)
{
    text("a\xE2\x82\xAC" "b\xC3\xBF\xF0\x9F\x98\x80" "c");  // a € b ÿ 😀 c
    text("\x80" "d");  // a continuation byte that starts nothing
    EXPECT_EQ(typed(), (Keys{"a", "b", "\xFF", "c", "d"}));
}

TEST_F(DisplaySdlEvents, TheCloseButtonTypesTheClosePseudoKeyOnly)
{
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    displaySdlEvent(display, event);
    event.window.event = SDL_WINDOWEVENT_RESIZED;
    displaySdlEvent(display, event);
    event = SDL_Event{};
    event.type = SDL_QUIT;
    displaySdlEvent(display, event);
    EXPECT_EQ(typed(), (Keys{"\xFF\x6B"}));
    for (int scanCode = 0; scanCode < SCAN_CODES; ++scanCode)
        EXPECT_FALSE(keyDown(display, scanCode)) << scanCode;
}

// A window on SDL's dummy driver, which keeps the window's pixels in memory.
class DisplaySdlWindow : public ::testing::Test {
protected:
    std::unique_ptr<Display> owned = std::make_unique<Display>();
    Display& display = *owned;

    void SetUp() override
    {
        statusOut = nullptr;  // the line about running without a display server
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        ASSERT_TRUE(displayOpen(display, "/somewhere/netduel_test.bin"));
    }
    void TearDown() override
    {
        displayClose(display);
        statusOut = stdout;
    }

    SDL_Window* window() { return static_cast<SDL_Window*>(display.window); }

    // The window's pixel as 0xAARRGGBB, read from its own surface.
    std::uint32_t shown(int x, int y)
    {
        SDL_Surface* surface = SDL_GetWindowSurface(window());
        if (!surface || x >= surface->w || y >= surface->h) return 0;
        std::uint32_t argb = 0;
        SDL_ConvertPixels(1, 1, surface->format->format,
                          static_cast<const Uint8*>(surface->pixels) + y * surface->pitch +
                              x * surface->format->BytesPerPixel,
                          surface->pitch, SDL_PIXELFORMAT_ARGB8888, &argb, 4);
        return argb | 0xFF000000u;
    }

    // Four boxes of their own colour in the corners of the rows and columns that fit a
    // 700 × 500 window, and one just outside them.
    void drawMarkers()
    {
        displayLock(display);
        displayClear(display);
        drawBox(display, 0, 0, 9, 9, 0xFFFF0000, true);
        drawBox(display, 690, 0, 699, 9, 0xFF00FF00, true);
        drawBox(display, 0, 490, 9, 499, 0xFF0000FF, true);
        drawBox(display, 690, 490, 699, 499, 0xFFFFFF00, true);
        drawBox(display, 700, 500, 1023, 767, 0xFF00FFFF, true);
        displayUnlock(display, -1, -1);
    }
};

TEST_F(DisplaySdlWindow, TheWindowIsTitledAndShowsTheWholeSurface)
{
    EXPECT_STREQ(SDL_GetWindowTitle(window()), "netduel_test");
    drawMarkers();
    EXPECT_EQ(shown(5, 5), 0xFFFF0000u);
    EXPECT_EQ(shown(1023, 767), 0xFF00FFFFu);
    EXPECT_EQ(shown(600, 300), BACKGROUND);
}

TEST_F(DisplaySdlWindow, ASmallerWindowShowsTheRowsAndColumnsThatFit)
{
    SDL_SetWindowSize(window(), 700, 500);
    drawMarkers();
    SDL_Surface* surface = SDL_GetWindowSurface(window());
    ASSERT_NE(surface, nullptr);
    ASSERT_EQ(surface->w, 700);
    ASSERT_EQ(surface->h, 500);
    EXPECT_EQ(shown(0, 0), 0xFFFF0000u);
    EXPECT_EQ(shown(699, 0), 0xFF00FF00u);
    EXPECT_EQ(shown(0, 499), 0xFF0000FFu);
    EXPECT_EQ(shown(699, 499), 0xFFFFFF00u);
    EXPECT_EQ(shown(350, 250), BACKGROUND);

    // Only the rows marked changed are copied, and only those that fit.
    displayLock(display);
    drawBox(display, 0, 200, 1023, 767, 0xFF808080, true);
    displayUnlock(display, 400, 767);
    EXPECT_EQ(shown(350, 250), BACKGROUND);
    EXPECT_EQ(shown(350, 450), 0xFF808080u);
    EXPECT_EQ(shown(699, 499), 0xFF808080u);
}

}  // namespace
}  // namespace netduel
