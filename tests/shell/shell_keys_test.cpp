// The game keys as the player binds them (by SDL's key names) and game controllers (SDL's
// virtual ones) beside the keyboard, into the frame's control word; no window.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/status.h"
#include "display/display_sdl_events.h"
#include "display/virtual_pad.h"
#include "shell/shell.h"

namespace netduel {
namespace {

// SDL's events into the display; a key held is let go once the shell waits for it.
void pumpSdl(Display& display)
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) displaySdlEvent(display, event);
    for (bool& held : display.keyState) held = false;
}

class ShellKeysTest : public ::testing::Test {
protected:
    std::unique_ptr<Shell> owned = std::make_unique<Shell>();
    Shell& shell = *owned;
    VirtualPad pad;

    void SetUp() override
    {
        statusOut = nullptr;
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(SDL_Init(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
        pad = VirtualPad::attach();
        shell.display.backEnd.pump = pumpSdl;
        for (const char c : std::string_view("n\r")) keyRingPush(shell.display.keys, static_cast<unsigned char>(c));
        ASSERT_TRUE(shellStart(shell, "", 44620));
        Bindings bindings = bindingsDefault();
        bindings.keys[GAME_KEY_FIRE][0] = displayKeyNamed("Space");
        bindings.keys[GAME_KEY_FIRE][1] = displayKeyNamed("Left Ctrl");
        bindings.keys[GAME_KEY_THRUST][0] = displayKeyNamed("W");
        bindings.keys[GAME_KEY_MUTE][0] = displayKeyNamed("N");
        shellBind(shell, bindings);
    }
    void TearDown() override
    {
        shellStop(shell);
        SDL_Quit();
        statusOut = stdout;
    }
    // The frame's word, after the pad's news came in.
    KeyFlags frame()
    {
        pollEvents(shell.display);
        shellFrame(shell);
        return shell.controlWord;
    }
};

TEST_F(ShellKeysTest, BoundKeysAndTheControllerMakeOneWord)
{
    const struct {
        std::vector<int> keys;
        int button;  // −1: none
        int axis;    // with `value`; −1: none
        Sint16 value;
        KeyFlags word;
    } cases[] = {
        {{57}, -1, -1, 0, KEY_FIRE},  // Space
        {{29}, SDL_CONTROLLER_BUTTON_X, -1, 0, KEY_FIRE},  // Left Ctrl; X is no button of ours
        {{SCAN_X, SCAN_UP}, -1, -1, 0, 0},  // no longer fire or thrust
        {{17}, -1, -1, 0, KEY_UP},    // W
        {{SCAN_LEFT, SCAN_DOWN}, -1, -1, 0, KEY_LEFT | KEY_DOWN},
        {{}, SDL_CONTROLLER_BUTTON_A, -1, 0, KEY_FIRE},
        {{}, SDL_CONTROLLER_BUTTON_B, -1, 0, KEY_UP},
        {{}, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, -1, 0, KEY_RIGHT},
        {{}, -1, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MAX, KEY_FIRE},
        {{}, -1, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_JOYSTICK_AXIS_MAX, KEY_UP},
        {{}, -1, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_JOYSTICK_AXIS_MIN / 2 - 200, 0},  // under a quarter pulled
        {{}, -1, SDL_CONTROLLER_AXIS_LEFTX, SDL_JOYSTICK_AXIS_MIN, KEY_LEFT},
        {{}, -1, SDL_CONTROLLER_AXIS_LEFTX, SDL_JOYSTICK_AXIS_MAX / 4 - 100, 0},  // in the dead zone
        {{17, 57}, -1, SDL_CONTROLLER_AXIS_LEFTX, SDL_JOYSTICK_AXIS_MIN, KEY_UP | KEY_FIRE | KEY_LEFT},
    };
    for (const auto& c : cases) {
        const Sint16 rest = c.axis >= SDL_CONTROLLER_AXIS_TRIGGERLEFT ? SDL_JOYSTICK_AXIS_MIN : 0;  // the last two
        for (const int key : c.keys) displayKeyEvent(shell.display, key, true);
        if (c.button >= 0) pad.button(c.button, true);
        if (c.axis >= 0) pad.axis(c.axis, c.value);
        EXPECT_EQ(frame(), c.word) << c.button << " " << c.axis << " " << (c.keys.empty() ? 0 : c.keys[0]);
        for (const int key : c.keys) displayKeyEvent(shell.display, key, false);
        if (c.button >= 0) pad.button(c.button, false);
        if (c.axis >= 0) pad.axis(c.axis, rest);
        EXPECT_EQ(frame(), 0u) << "let go";
    }
}

TEST_F(ShellKeysTest, BackAndBoundKeysToggleOnceAndTapsWaitForTheWord)
{
    pad.button(SDL_CONTROLLER_BUTTON_BACK, true);
    frame();
    frame();
    EXPECT_TRUE(shell.overlay) << "Back toggles once however long it is held";
    displayKeyEvent(shell.display, SCAN_M, true);
    frame();
    displayKeyEvent(shell.display, displayKeyNamed("N"), true);
    frame();
    EXPECT_TRUE(shell.sound.settings.muted) << "N mutes, M no longer does";
    // Quicker than a frame, a bound key's tap or a button's waits for the next word as X's does.
    controlOutboxReset(shell.link.outbox);
    displayKeyEvent(shell.display, 57, true);  // Space
    displayKeyEvent(shell.display, 57, false);
    pad.button(SDL_CONTROLLER_BUTTON_B, true);
    SDL_PumpEvents();
    pad.button(SDL_CONTROLLER_BUTTON_B, false);
    frame();
    EXPECT_EQ(shell.link.outbox.pressed, KEY_FIRE | KEY_UP);
}

TEST_F(ShellKeysTest, TheFirstControllerSteersAndOnePulledOutLeavesNothingHeld)
{
    VirtualPad second = VirtualPad::attach();
    second.button(SDL_CONTROLLER_BUTTON_A, true);
    EXPECT_EQ(frame(), 0u) << "a second controller does not steer";
    second.button(SDL_CONTROLLER_BUTTON_A, false);
    pad.button(SDL_CONTROLLER_BUTTON_A, true);
    pad.axis(SDL_CONTROLLER_AXIS_LEFTX, SDL_JOYSTICK_AXIS_MIN);
    EXPECT_EQ(frame(), KEY_FIRE | KEY_LEFT);
    pad.pull();
    EXPECT_EQ(frame(), 0u) << "pulled out while firing and turning";
    second.button(SDL_CONTROLLER_BUTTON_B, true);
    EXPECT_EQ(frame(), KEY_UP) << "the one left steers now";
    second.pull();
    EXPECT_EQ(frame(), 0u);
    VirtualPad third = VirtualPad::attach();
    third.button(SDL_CONTROLLER_BUTTON_A, true);
    EXPECT_EQ(frame(), KEY_FIRE) << "one plugged in later steers when none does";
}

}  // namespace
}  // namespace netduel
