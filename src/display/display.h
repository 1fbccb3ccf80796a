// Display and input services: the 1024×768 0xAARRGGBB surface with our own rasterizer
// and 8×8 text, the key-state table by PC scan code (set 1), the typed-key ring and the
// start-up line prompt. Everything here works without a window; a window system joins
// through the back-end hooks that displayOpen (display_sdl.cpp) installs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/key_ring.h"

namespace netduel {

inline constexpr int DISPLAY_WIDTH = 1024;
inline constexpr int DISPLAY_HEIGHT = 768;
inline constexpr int CELL_SIZE = 8;  // text cells are 8 × 8 pixels
inline constexpr std::uint32_t FOREGROUND = 0xFFFFFFFF;
inline constexpr std::uint32_t BACKGROUND = 0xFF000000;
inline constexpr int SCAN_CODES = 128;
inline constexpr int PROMPT_FIELD_MAX = 4096;  // longest line and field promptLine takes
// Smallest window: a quarter of the surface each way, where 8×8 text is still 2×2 pixels.
inline constexpr int WINDOW_MIN_WIDTH = DISPLAY_WIDTH / 4;
inline constexpr int WINDOW_MIN_HEIGHT = DISPLAY_HEIGHT / 4;

// Scan codes (PC set 1) the program and the back end use by name.
inline constexpr int SCAN_ESCAPE = 1;
inline constexpr int SCAN_R = 19;
inline constexpr int SCAN_J = 36;
inline constexpr int SCAN_X = 45;
inline constexpr int SCAN_C = 46;
inline constexpr int SCAN_M = 50;
inline constexpr int SCAN_F3 = 61;
inline constexpr int SCAN_HOME = 71;
inline constexpr int SCAN_UP = 72;
inline constexpr int SCAN_LEFT = 75;
inline constexpr int SCAN_RIGHT = 77;
inline constexpr int SCAN_END = 79;
inline constexpr int SCAN_DOWN = 80;
inline constexpr int SCAN_DELETE = 83;
inline constexpr int SCAN_F11 = 87;
inline constexpr int SCAN_CLOSE = 107;  // pseudo key of the window's close button

// The game controller's buttons as the game uses them (A or the right trigger fires, B
// or the left trigger thrusts, the left stick or the D-pad turns, Back shows the overlay).
inline constexpr std::uint32_t PAD_LEFT = 1u << 0;
inline constexpr std::uint32_t PAD_RIGHT = 1u << 1;
inline constexpr std::uint32_t PAD_THRUST = 1u << 2;
inline constexpr std::uint32_t PAD_FIRE = 1u << 3;
inline constexpr std::uint32_t PAD_OVERLAY = 1u << 4;

// How the window starts: its size in screen units, or full screen at the desktop's size.
struct DisplayWindow {
    int width = DISPLAY_WIDTH;
    int height = DISPLAY_HEIGHT;
    bool fullscreen = false;
    bool operator==(const DisplayWindow&) const = default;
};

struct Display;

// What a window system adds to the in-memory display. A null hook means no window:
// nothing is shown, no events arrive, the retrace wait returns at once.
struct DisplayBackEnd {
    void (*show)(Display& display, int firstRow, int lastRow) = nullptr;
    void (*pump)(Display& display) = nullptr;  // handle pending window events
    void (*waitRetrace)(Display& display) = nullptr;
    void (*sleepMs)(Display& display, int milliseconds) = nullptr;
};

struct Display {
    std::vector<std::uint32_t> pixels =
        std::vector<std::uint32_t>(DISPLAY_WIDTH * DISPLAY_HEIGHT, BACKGROUND);  // row-major
    int lockDepth = 0;
    int firstChanged = DISPLAY_HEIGHT;  // rows marked changed since the outermost lock
    int lastChanged = -1;
    int cursorColumn = 0;  // text cursor, in cells
    int cursorRow = 0;
    bool keyState[SCAN_CODES] = {};   // held now
    bool keyTapped[SCAN_CODES] = {};  // pressed since the shell last sampled the keys
    KeyRing keys;
    bool focused = true;  // the window has the keyboard focus; a window just opened is looked at
    DisplayWindow shown;  // the window now: its size when last windowed, and full screen or not
    int fullscreenKeys[2] = {SCAN_F11, 0};  // toggle full screen as Alt+Enter does; 0: none
    // The steering game controller (the first plugged in): its PAD_ bits held now, and
    // pressed since the taps were last forgotten; -1: no controller steers.
    std::uint32_t padHeld = 0;
    std::uint32_t padTapped = 0;
    std::int32_t padSteering = -1;  // the back end's number for it
    DisplayBackEnd backEnd;
    void* window = nullptr;  // the back end's window handle; null without a window
};

// A rectangle of a window's drawable pixels.
struct DisplayRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Opens the window titled with the program file's stem (`window`'s size fitted to the
// screen, resizable, `fullscreenKeys` and Alt+Enter toggle full screen), black, text
// cursor home, and installs the window back end; game controllers come and go with it,
// mapped by SDL's own list, SDL_GAMECONTROLLERCONFIG_FILE, else the file `padMappings`
// (where there is one). False, with one status line saying why, when SDL fails, finds no
// display server (SDL's invisible fallback drivers count as none unless SDL_VIDEODRIVER
// names them) or has no renderer for the window; no controllers cost one line, not the window.
bool displayOpen(Display& display, const char* programPath, const DisplayWindow& window = {},
                 const std::string& padMappings = {});

// The scan code of the key that SDL names `name` (a key name such as "X", "Space" or
// "Left Ctrl", read for the keyboard's layout once the window is open, else a scancode
// name); 0 for no key, or one without a PC scan code.
int displayKeyNamed(std::string_view name);

// Begins drawing; locks nest.
void displayLock(Display& display);

// Marks rows first…last as changed (−1, −1: every row) and ends one lock; the
// outermost unlock shows the changed rows in the window.
void displayUnlock(Display& display, int firstRow, int lastRow);

// Returns at the next tick of the display's 60 Hz retrace clock; at once without a window.
void displayWaitRetrace(Display& display);

// Fills the surface with the background colour and homes the text cursor.
void displayClear(Display& display);

// Solid one-pixel foreground line, both end points included. A line reaching off the
// surface is cut to it first, so no line costs more than one across the surface; an end
// point that is not a number draws nothing.
void drawLine(Display& display, double x1, double y1, double x2, double y2);

// Rectangle with these corners (inclusive): every pixel when filled, else its four edges.
void drawBox(Display& display, double x1, double y1, double x2, double y2,
             std::uint32_t colour, bool filled);

// Filled disc: every pixel whose distance from the rounded centre is at most `radius`.
void drawCircle(Display& display, double centreX, double centreY, double radius,
                std::uint32_t colour);

// One 8×8 foreground glyph per byte, left to right from the top-left corner (x, y);
// only set glyph pixels are written. Byte 0 is a blank glyph.
void drawText(Display& display, double x, double y, std::string_view text);

// The pixel at (x, y); BACKGROUND outside the surface.
std::uint32_t displayPixel(const Display& display, int x, int y);

// Where the surface shows in a drawable area of this many pixels: the largest size of
// its 4:3 shape that fits, centred (bars share the rest, an odd pixel going right or
// down). Empty for an empty area.
DisplayRect displayFit(int outputWidth, int outputHeight);

// A starting window size: `asked` shrunk, keeping its shape, until it fits a screen area
// of screenWidth × screenHeight (0: unknown, nothing to fit), then raised to the smallest
// window. The full-screen flag is kept.
DisplayWindow displayWindowFit(const DisplayWindow& asked, int screenWidth, int screenHeight);

// Window events: a press sets the scan code's held and tapped entries, a release clears
// the held one (codes outside 1…127 are ignored).
void displayKeyEvent(Display& display, int scanCode, bool down);

// True while the key with this scan code is held, or when it was tapped since the taps
// were last forgotten, so a press shorter than a frame still counts; false above 127.
bool keyDown(const Display& display, int scanCode);

// True while the key is held, whatever was tapped.
bool displayKeyHeld(const Display& display, int scanCode);

// True when the key went down since the taps were last forgotten, held now or not.
bool displayKeyPressed(const Display& display, int scanCode);

// The steering controller's buttons now held, and those of them that this event pressed
// (a press and release between two samplings still counts, as a key's tap does).
void displayPadEvent(Display& display, std::uint32_t held, std::uint32_t pressed);

// The controller's PAD_ bits held, or pressed since the taps were last forgotten.
std::uint32_t displayPadDown(const Display& display);

// Forgets one key's tap (after its press has acted) or every key's and the controller's
// (once the shell has sampled the keys for a frame).
void displayForgetTap(Display& display, int scanCode);
void displayForgetTaps(Display& display);

// Handles the window's pending events now.
void pollEvents(Display& display);

// The oldest typed key, removed (see keyRingRead); "" when none waits.
std::string readKey(Display& display);

// Sleeps about `milliseconds`, handling window events meanwhile; keys do not cut it short.
void sleepMs(Display& display, int milliseconds);

// What a prompt watches beside its line (see promptLine).
enum class PromptTake { Pass, Taken, End };
struct PromptWatch {
    // Runs once per round of the prompt with the key just typed ("" when none): Taken keeps
    // the key from the line, End ends the prompt with an empty field.
    PromptTake (*step)(void* user, Display& display, const std::string& key, bool lineEmpty) = nullptr;
    void* user = nullptr;
};

// Shows `prompt` at the text cursor, lets the player type and edit one line after it
// until Enter, moves the cursor to the next row and returns the line's first input
// field; a `watch` sees every round and key first. Without a window the line ends when
// the typed keys run out. Nothing when the player leaves with Escape or a stop is
// requested meanwhile.
std::optional<std::string> promptLine(Display& display, std::string_view prompt, const PromptWatch& watch = {});

// First input field of a typed line: leading blanks and tabs skipped, up to the first
// comma or the end (trailing blanks kept); a field opening with a double quote runs to
// the closing quote, commas included, quotes dropped. At most 4096 characters.
std::string inputField(std::string_view line);

// Where the window shows the picture now, in its drawable pixels (displayFit of their
// count); empty without a window.
DisplayRect displayShownPicture(const Display& display);

// Tears the window down at exit; accepts a display that never opened.
void displayClose(Display& display);

}  // namespace netduel
