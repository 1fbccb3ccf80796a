// The SDL back end without a screen: synthetic SDL events into the key-state table and
// the typed-key ring, and the surface scaled into windows of other sizes and full
// screen through SDL's dummy video driver, read back from the renderer's pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/status.h"
#include "display/display.h"
#include "display/display_sdl_events.h"
#include "display/virtual_pad.h"

namespace netduel {
namespace {

class DisplaySdlEvents : public ::testing::Test {
protected:
    std::unique_ptr<Display> owned = std::make_unique<Display>();
    Display& display = *owned;

    DisplaySdlRequest key(Uint32 type, SDL_Scancode scancode, SDL_Keycode sym,
                          Uint16 mod = KMOD_NONE, Uint8 repeat = 0)
    {
        SDL_Event event{};
        event.type = type;
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.repeat = repeat;
        event.key.keysym.scancode = scancode;
        event.key.keysym.sym = sym;
        event.key.keysym.mod = mod;
        return displaySdlEvent(display, event);
    }
    DisplaySdlRequest press(SDL_Scancode scancode, SDL_Keycode sym, Uint16 mod = KMOD_NONE)
    {
        return key(SDL_KEYDOWN, scancode, sym, mod);
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

    // Every repeat the system reports types the key once more, but presses it only once.
    key(SDL_KEYDOWN, SDL_SCANCODE_RIGHT, SDLK_RIGHT);
    displayForgetTaps(display);
    key(SDL_KEYDOWN, SDL_SCANCODE_RIGHT, SDLK_RIGHT, KMOD_NONE, 1);
    EXPECT_EQ(typed(), (Keys{"\xFF\x4D", "\xFF\x4D"}));
    EXPECT_FALSE(displayKeyPressed(display, SCAN_RIGHT)) << "a repeat is no new press";
    EXPECT_TRUE(displayKeyHeld(display, SCAN_RIGHT));
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

TEST_F(DisplaySdlEvents, F11AndAltEnterToggleFullScreenAndReachNeitherKeysNorText)
{
    using Request = DisplaySdlRequest;
    EXPECT_EQ(press(SDL_SCANCODE_F11, SDLK_F11), Request::ToggleFullscreen);
    EXPECT_EQ(press(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT), Request::ToggleFullscreen);
    EXPECT_EQ(press(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, KMOD_RALT | KMOD_NUM),
              Request::ToggleFullscreen);
    // Held down, the key repeats: one toggle per press, and still nothing typed.
    EXPECT_EQ(key(SDL_KEYDOWN, SDL_SCANCODE_F11, SDLK_F11, KMOD_NONE, 1), Request::None);
    EXPECT_EQ(key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT, 1), Request::None);
    EXPECT_FALSE(keyDown(display, 87));  // F11's scan code
    EXPECT_FALSE(keyDown(display, 28));  // Enter's
    EXPECT_EQ(typed(), Keys{});
    release(SDL_SCANCODE_F11, SDLK_F11);
    release(SDL_SCANCODE_RETURN, SDLK_RETURN);
    // Enter alone, or with Ctrl or Shift, is still the game's.
    EXPECT_EQ(press(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LCTRL | KMOD_LSHIFT), Request::None);
    EXPECT_TRUE(keyDown(display, 28));
    EXPECT_EQ(press(SDL_SCANCODE_F10, SDLK_F10), Request::None);
    EXPECT_EQ(typed(), (Keys{"\r", "\xFF\x44"}));
}

TEST_F(DisplaySdlEvents, ABoundFullScreenKeyTakesF11sPlaceAndAltEnterStays)
{
    display.fullscreenKeys[1] = SCAN_X;
    EXPECT_EQ(press(SDL_SCANCODE_X, SDLK_x), DisplaySdlRequest::ToggleFullscreen);
    display.fullscreenKeys[0] = 0;
    EXPECT_EQ(press(SDL_SCANCODE_F11, SDLK_F11), DisplaySdlRequest::None);
    EXPECT_EQ(press(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT), DisplaySdlRequest::ToggleFullscreen);
    EXPECT_EQ(std::pair(keyDown(display, SCAN_X), keyDown(display, SCAN_F11)), std::pair(false, true));
}

TEST_F(DisplaySdlEvents, AResizedOrUncoveredWindowAsksForThePictureAgain)
{
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    for (const Uint8 kind : {SDL_WINDOWEVENT_SIZE_CHANGED, SDL_WINDOWEVENT_EXPOSED}) {
        event.window.event = kind;
        EXPECT_EQ(displaySdlEvent(display, event), DisplaySdlRequest::Present) << int(kind);
    }
    for (const Uint8 kind : {SDL_WINDOWEVENT_MOVED, SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_CLOSE}) {
        event.window.event = kind;
        EXPECT_EQ(displaySdlEvent(display, event), DisplaySdlRequest::None) << int(kind);
    }
}

TEST_F(DisplaySdlEvents, TheFocusFollowsTheWindowsFocusEventsAlone)
{
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    const std::pair<Uint8, bool> steps[] = {
        {SDL_WINDOWEVENT_FOCUS_LOST, false}, {SDL_WINDOWEVENT_EXPOSED, false},
        {SDL_WINDOWEVENT_FOCUS_GAINED, true}, {SDL_WINDOWEVENT_HIDDEN, true},
        {SDL_WINDOWEVENT_FOCUS_LOST, false},
    };
    EXPECT_TRUE(display.focused);
    for (const auto& [kind, focused] : steps) {
        event.window.event = kind;
        displaySdlEvent(display, event);
        EXPECT_EQ(display.focused, focused) << int(kind);
    }
}

// A window on SDL's dummy driver (a 1024×768 screen), which renders in software into
// pixels kept in memory.
class DisplaySdlWindow : public ::testing::Test {
protected:
    std::unique_ptr<Display> owned = std::make_unique<Display>();
    Display& display = *owned;

    void SetUp() override
    {
        statusOut = nullptr;  // the line about running without a display server
    }
    void TearDown() override
    {
        displayClose(display);
        statusOut = stdout;
    }

    void open(const DisplayWindow& asked = {})
    {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");  // SDL_Quit forgets it
        ASSERT_TRUE(displayOpen(display, "/somewhere/netduel_test.bin", asked));
    }

    SDL_Window* window() { return static_cast<SDL_Window*>(display.window); }

    std::pair<int, int> output()
    {
        int width = 0;
        int height = 0;
        SDL_GetRendererOutputSize(SDL_GetRenderer(window()), &width, &height);
        return {width, height};
    }

    // The window's pixel as 0xAARRGGBB, as the renderer last presented it.
    std::uint32_t shown(int x, int y)
    {
        std::uint32_t argb = 0;
        const SDL_Rect one{x, y, 1, 1};
        if (SDL_RenderReadPixels(SDL_GetRenderer(window()), &one, SDL_PIXELFORMAT_ARGB8888, &argb, 4) != 0)
            return 0;
        return argb | 0xFF000000u;
    }

    // Boxes of their own colour in the surface's corners and one across its middle.
    void drawMarkers()
    {
        displayLock(display);
        displayClear(display);
        drawBox(display, 0, 0, 9, 9, 0xFFFF0000, true);
        drawBox(display, 1014, 0, 1023, 9, 0xFF00FF00, true);
        drawBox(display, 0, 758, 9, 767, 0xFF0000FF, true);
        drawBox(display, 1014, 758, 1023, 767, 0xFFFFFF00, true);
        drawBox(display, 500, 300, 523, 467, 0xFF00FFFF, true);
        displayUnlock(display, -1, -1);
    }

    void send(SDL_Scancode scancode, SDL_Keycode sym, Uint16 mod = KMOD_NONE)
    {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.state = SDL_PRESSED;
        event.key.keysym = {scancode, sym, mod, 0};
        SDL_PushEvent(&event);
        pollEvents(display);
    }
    bool fullscreen() { return (SDL_GetWindowFlags(window()) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP; }
};

TEST_F(DisplaySdlWindow, TheWindowIsTitledAndShowsTheWholeSurface)
{
    open();
    EXPECT_STREQ(SDL_GetWindowTitle(window()), "netduel_test");
    EXPECT_EQ(displayShownPicture(display).width, 1024);
    EXPECT_EQ(output(), std::pair(1024, 768));
    EXPECT_TRUE(SDL_GetWindowFlags(window()) & SDL_WINDOW_RESIZABLE);
    drawMarkers();
    EXPECT_EQ(shown(0, 0), 0xFFFF0000u);
    EXPECT_EQ(shown(9, 9), 0xFFFF0000u);
    EXPECT_EQ(shown(10, 10), BACKGROUND);
    EXPECT_EQ(shown(1023, 0), 0xFF00FF00u);
    EXPECT_EQ(shown(1023, 767), 0xFFFFFF00u);
    EXPECT_EQ(shown(600, 300), BACKGROUND);
}

TEST_F(DisplaySdlWindow, AResizedWindowShowsTheWholeSurfaceScaledBetweenBars)
{
    open();
    SDL_SetWindowSize(window(), 1600, 900);
    drawMarkers();
    ASSERT_EQ(output(), std::pair(1600, 900));
    const DisplayRect picture = displayShownPicture(display);
    EXPECT_EQ(std::pair(picture.x, picture.width), std::pair(200, 1200));
    EXPECT_EQ(std::pair(picture.y, picture.height), std::pair(0, 900));
    // 1200 × 900 from x = 200: a surface pixel becomes 1.17 × 1.17 window pixels.
    EXPECT_EQ(shown(200, 0), 0xFFFF0000u);
    EXPECT_EQ(shown(210, 10), 0xFFFF0000u);
    EXPECT_EQ(shown(199, 0), BACKGROUND);
    EXPECT_EQ(shown(1399, 0), 0xFF00FF00u);
    EXPECT_EQ(shown(1400, 0), BACKGROUND);
    EXPECT_EQ(shown(200, 899), 0xFF0000FFu);
    EXPECT_EQ(shown(1399, 899), 0xFFFFFF00u);
    EXPECT_EQ(shown(1599, 899), BACKGROUND);
    // Nearest neighbour: across the middle box's edges every pixel is one or the other.
    for (int x = 780; x < 830; ++x) {
        const std::uint32_t colour = shown(x, 450);
        EXPECT_TRUE(colour == BACKGROUND || colour == 0xFF00FFFFu) << x << " " << std::hex << colour;
    }
    EXPECT_EQ(shown(200 + 511 * 1200 / 1024, 383 * 900 / 768), 0xFF00FFFFu);

    // Taller than 4:3: bars above and below, 800 × 600 from y = 100.
    SDL_SetWindowSize(window(), 800, 800);
    drawMarkers();
    EXPECT_EQ(shown(0, 99), BACKGROUND);
    EXPECT_EQ(shown(0, 100), 0xFFFF0000u);
    EXPECT_EQ(shown(799, 699), 0xFFFFFF00u);
    EXPECT_EQ(shown(799, 700), BACKGROUND);
}

TEST_F(DisplaySdlWindow, OnlyTheRowsMarkedChangedReachTheWindow)
{
    open();
    SDL_SetWindowSize(window(), 1600, 900);
    drawMarkers();
    displayLock(display);
    drawBox(display, 0, 200, 1023, 767, 0xFF808080, true);
    displayUnlock(display, 400, 767);
    EXPECT_EQ(shown(800, 300 * 900 / 768), BACKGROUND);   // surface row 300: not sent
    EXPECT_EQ(shown(800, 500 * 900 / 768), 0xFF808080u);  // row 500: sent
    EXPECT_EQ(shown(1399, 899), 0xFF808080u);
    EXPECT_EQ(shown(1500, 800), BACKGROUND);               // the bar stays black
}

TEST_F(DisplaySdlWindow, TheWindowAsLeftIsItsLastWindowedSizeAndWhetherFullScreen)
{
    open({800, 600, false});
    EXPECT_EQ(display.shown, (DisplayWindow{800, 600, false}));
    SDL_SetWindowSize(window(), 900, 700);
    pollEvents(display);
    EXPECT_EQ(display.shown, (DisplayWindow{900, 700, false}));
    send(SDL_SCANCODE_F11, SDLK_F11);
    EXPECT_EQ(display.shown, (DisplayWindow{900, 700, true})) << "full screen keeps the windowed size";
    displayClose(display);
    open({640, 480, true});
    EXPECT_EQ(display.shown, (DisplayWindow{640, 480, true}));
}

// The mapping that names the virtual pad's button `fire` as A.
std::string mappingLine(int fire)
{
    SDL_Init(SDL_INIT_JOYSTICK);
    VirtualPad pad = VirtualPad::attach();
    char guid[33];
    SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(pad.joystick), guid, sizeof guid);
    pad.pull();
    SDL_Quit();
    return std::string(guid) + ",test pad,a:b" + std::to_string(fire) + ",platform:Linux,\n";
}

TEST_F(DisplaySdlWindow, ControllersAreMappedByTheFileBesideTheSettings)
{
    const std::string dir = mkdtemp(std::string("/tmp/netduel-pads-XXXXXX").data());
    std::ofstream(dir + "/gamecontrollerdb.txt") << mappingLine(SDL_CONTROLLER_BUTTON_Y);
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");  // no window has the focus
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    ASSERT_TRUE(displayOpen(display, "netduel", {}, dir + "/gamecontrollerdb.txt"));
    VirtualPad pad = VirtualPad::attach();
    for (const int button : {SDL_CONTROLLER_BUTTON_A, SDL_CONTROLLER_BUTTON_Y}) {
        pad.button(button, true);
        pollEvents(display);
        EXPECT_EQ(display.padHeld == PAD_FIRE, button == SDL_CONTROLLER_BUTTON_Y) << button;
        pad.button(button, false);
    }
    pad.pull();
    std::filesystem::remove_all(dir);
}

TEST_F(DisplaySdlWindow, F11AndAltEnterToggleFullScreenAndThePointer)
{
    open();
    drawMarkers();
    send(SDL_SCANCODE_F11, SDLK_F11);
    EXPECT_TRUE(fullscreen());
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    send(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT);
    EXPECT_FALSE(fullscreen());
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_EQ(readKey(display), "");  // neither typed anything
}

TEST_F(DisplaySdlWindow, TheWindowStartsAtTheAskedSizeFittedToTheScreenOrFullScreen)
{
    const auto windowSize = [&] {
        int width = 0;
        int height = 0;
        SDL_GetWindowSize(window(), &width, &height);
        return std::pair(width, height);
    };
    open({800, 600, false});
    EXPECT_EQ(windowSize(), std::pair(800, 600));
    EXPECT_FALSE(fullscreen());
    displayClose(display);

    open({3000, 2000, false});  // the dummy screen is 1024 × 768
    EXPECT_EQ(windowSize(), std::pair(1024, 683));
    displayClose(display);

    EXPECT_EQ(displayShownPicture(display).height, 0);  // closed: no window
    open({1024, 768, true});
    EXPECT_TRUE(fullscreen());
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    drawMarkers();
    EXPECT_EQ(shown(0, 0), 0xFFFF0000u);
}

}  // namespace
}  // namespace netduel
