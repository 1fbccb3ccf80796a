// SDL back end, input half: key presses, releases, typed text and the close button.
#include "display_sdl_events.h"

namespace netduel {

namespace {

constexpr unsigned LATIN1_END = 256;       // typed characters from here on are dropped
constexpr SDL_Keycode PRINTABLE_FIRST = 32;   // blank
constexpr SDL_Keycode LATIN1_PRINTABLE = 0xA0;  // no-break space; 127…159 are controls
// A stick or trigger counts once it is past a quarter of its way, so that a worn stick
// resting a little off its centre turns nothing.
constexpr Sint16 PAD_DEAD_ZONE = SDL_JOYSTICK_AXIS_MAX / 4;

struct PadButton {
    SDL_GameControllerButton button;
    std::uint32_t bit;
};
constexpr PadButton PAD_BUTTONS[] = {
    {SDL_CONTROLLER_BUTTON_A, PAD_FIRE},          {SDL_CONTROLLER_BUTTON_B, PAD_THRUST},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PAD_LEFT},  {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PAD_RIGHT},
    {SDL_CONTROLLER_BUTTON_BACK, PAD_OVERLAY},
};

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

// Key codes that are characters (any layout's letters included) type through
// SDL_TEXTINPUT; key codes of keys without one carry SDL's scancode mask.
bool typesText(const SDL_Keysym& key)
{
    const SDL_Keycode sym = key.sym;
    const bool character = (sym & SDLK_SCANCODE_MASK) == 0 &&
                           ((sym >= PRINTABLE_FIRST && sym < SDLK_DELETE) || sym >= LATIN1_PRINTABLE);
    return character || (sym >= SDLK_KP_DIVIDE && sym <= SDLK_KP_PLUS) ||
           (isNumLockKey(key.scancode) && (key.mod & KMOD_NUM));
}

// The window's own keys, which the game never sees.
bool isFullscreenKey(const Display& display, const SDL_Keysym& key)
{
    const bool enter = key.sym == SDLK_RETURN || key.sym == SDLK_KP_ENTER;
    const int scanCode = displaySdlScanCode(key.scancode);
    const bool bound = scanCode != 0 && (scanCode == display.fullscreenKeys[0] || scanCode == display.fullscreenKeys[1]);
    return bound || (enter && (key.mod & KMOD_ALT));
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
    if (isModifier(key.scancode) || scanCode == 0 || typesText(key)) return;
    keyRingPush(display.keys, keyWithoutCharacter(scanCode));
}

// UTF-8 text into one entry per code point below 256; others, and bytes that start no
// code point, are dropped.
void pushText(Display& display, const char* text)
{
    const auto* byte = reinterpret_cast<const unsigned char*>(text);
    while (*byte) {
        int extra = 0;
        unsigned codePoint = *byte;
        if (codePoint >= 0xF0) { extra = 3; codePoint &= 0x07; }
        else if (codePoint >= 0xE0) { extra = 2; codePoint &= 0x0F; }
        else if (codePoint >= 0xC0) { extra = 1; codePoint &= 0x1F; }
        else if (codePoint >= 0x80) codePoint = LATIN1_END;  // a continuation byte alone
        ++byte;
        for (; extra > 0 && (*byte & 0xC0) == 0x80; --extra, ++byte)
            codePoint = (codePoint << 6) | (*byte & 0x3F);
        if (extra == 0 && codePoint < LATIN1_END)
            keyRingPush(display.keys, static_cast<KeyEntry>(codePoint));
    }
}

// The PAD_ bits of an axis's position: the left stick's side, a trigger pulled.
std::uint32_t padAxisBits(SDL_GameControllerAxis axis, Sint16 value)
{
    switch (axis) {
    case SDL_CONTROLLER_AXIS_LEFTX: return value < -PAD_DEAD_ZONE ? PAD_LEFT : value > PAD_DEAD_ZONE ? PAD_RIGHT : 0;
    case SDL_CONTROLLER_AXIS_TRIGGERLEFT: return value > PAD_DEAD_ZONE ? PAD_THRUST : 0;
    case SDL_CONTROLLER_AXIS_TRIGGERRIGHT: return value > PAD_DEAD_ZONE ? PAD_FIRE : 0;
    default: return 0;
    }
}

std::uint32_t padHeld(SDL_GameController* pad)
{
    std::uint32_t bits = 0;
    for (const PadButton& button : PAD_BUTTONS)
        if (SDL_GameControllerGetButton(pad, button.button)) bits |= button.bit;
    for (const SDL_GameControllerAxis axis :
         {SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT})
        bits |= padAxisBits(axis, SDL_GameControllerGetAxis(pad, axis));
    return bits;
}

// What one event of the steering controller pressed, however briefly.
std::uint32_t padPressed(const SDL_Event& event)
{
    if (event.type == SDL_CONTROLLERAXISMOTION)
        return padAxisBits(static_cast<SDL_GameControllerAxis>(event.caxis.axis), event.caxis.value);
    if (event.type != SDL_CONTROLLERBUTTONDOWN) return 0;
    for (const PadButton& button : PAD_BUTTONS)
        if (button.button == event.cbutton.button) return button.bit;
    return 0;
}

// Opens the controller at `deviceIndex` to steer; false when it does not open.
bool padSteer(Display& display, int deviceIndex)
{
    SDL_GameController* pad = SDL_GameControllerOpen(deviceIndex);
    if (!pad) return false;
    display.padSteering = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad));
    displayPadEvent(display, padHeld(pad), 0);
    return true;
}

// The first controller plugged in steers until it is pulled out; then the first of those
// left takes over, from what it holds then. A later one is left closed meanwhile.
void padAdded(Display& display, int deviceIndex)
{
    if (display.padSteering < 0) padSteer(display, deviceIndex);
}

void padRemoved(Display& display, SDL_JoystickID instance)
{
    if (instance != display.padSteering) return;
    SDL_GameControllerClose(SDL_GameControllerFromInstanceID(instance));
    display.padSteering = -1;
    displayPadEvent(display, 0, 0);  // nothing stays held
    for (int index = 0; index < SDL_NumJoysticks(); ++index)
        if (SDL_JoystickGetDeviceInstanceID(index) != instance && SDL_IsGameController(index) &&
            padSteer(display, index))
            return;
}

}  // namespace

int displayKeyNamed(std::string_view text)
{
    const std::string name(text);
    const SDL_Keycode key = SDL_GetKeyFromName(name.c_str());
    SDL_Scancode code = key == SDLK_UNKNOWN ? SDL_SCANCODE_UNKNOWN : SDL_GetScancodeFromKey(key);
    if (code == SDL_SCANCODE_UNKNOWN) code = SDL_GetScancodeFromName(name.c_str());
    return displaySdlScanCode(code);
}

int displaySdlScanCode(SDL_Scancode code)
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

DisplaySdlRequest displaySdlEvent(Display& display, const SDL_Event& event)
{
    switch (event.type) {
    case SDL_KEYDOWN: {
        if (isFullscreenKey(display, event.key.keysym))
            return event.key.repeat ? DisplaySdlRequest::None : DisplaySdlRequest::ToggleFullscreen;
        const int scanCode = displaySdlScanCode(event.key.keysym.scancode);
        // A key's repeat types again but is no new press: a toggle held past the repeat
        // delay must not flip on every repeat.
        if (!event.key.repeat) displayKeyEvent(display, scanCode, true);
        pushKeyPress(display, event.key.keysym, scanCode);
        break;
    }
    case SDL_KEYUP:
        displayKeyEvent(display, displaySdlScanCode(event.key.keysym.scancode), false);
        break;
    case SDL_TEXTINPUT:
        pushText(display, event.text.text);
        break;
    case SDL_CONTROLLERDEVICEADDED:
        padAdded(display, event.cdevice.which);
        break;
    case SDL_CONTROLLERDEVICEREMOVED:
        padRemoved(display, event.cdevice.which);
        break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
    case SDL_CONTROLLERAXISMOTION:
        // The three share where the controller's number lies.
        if (event.cbutton.which == display.padSteering)
            displayPadEvent(display, padHeld(SDL_GameControllerFromInstanceID(event.cbutton.which)),
                            padPressed(event));
        break;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            // The close button closes nothing: it only types the close pseudo key.
            keyRingPush(display.keys, keyWithoutCharacter(SCAN_CLOSE));
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        case SDL_WINDOWEVENT_FOCUS_LOST:
            display.focused = event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            // Full screen's size is the desktop's; the window comes back at its own.
            if (!display.shown.fullscreen) {
                display.shown.width = event.window.data1;
                display.shown.height = event.window.data2;
            }
            return DisplaySdlRequest::Present;
        case SDL_WINDOWEVENT_EXPOSED:
            return DisplaySdlRequest::Present;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return DisplaySdlRequest::None;
}

}  // namespace netduel
