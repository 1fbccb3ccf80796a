// SDL back end, input half: one SDL event into the display's key-state table and its
// typed-key ring, and what the window must do about it. Needs no window, so synthetic
// events can drive it.
#pragma once

#include <SDL2/SDL.h>

#include "display/display.h"

namespace netduel {

// What an event asks of the window after it has been applied.
enum class DisplaySdlRequest {
    None,
    Present,           // the window was resized or uncovered: show the picture again
    ToggleFullscreen,  // F11 or Alt+Enter
};

// PC scan code (set 1) of an SDL scancode; keypad and extended keys share their base
// key's code (keypad 8 and Up are both 72). 0 for a key the table does not know.
int displaySdlScanCode(SDL_Scancode code);

// Applies one event: a key press or release to the key state (a press also to the
// ring when it yields no text of its own: Enter 13, Backspace 8, Tab 9, Escape 27,
// keys without a character 255 + scan code), typed text as one entry per Latin-1
// character (others are dropped), the close button as 255 + 107. The full-screen keys
// and Alt+Enter (either Enter key) belong to the window: they reach neither the key
// state nor the ring, and a first press, not a repeat, asks for the full-screen toggle.
// The window gaining or losing the keyboard focus sets `focused`, a new size `shown`
// unless full screen. A game controller plugged in is opened when none steers; the
// steering one's buttons and axes set the PAD_ bits, and pulling it out clears them and
// hands the steering to another one still plugged in. Other events change nothing here.
DisplaySdlRequest displaySdlEvent(Display& display, const SDL_Event& event);

}  // namespace netduel
