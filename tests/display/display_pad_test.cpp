// Game controllers through SDL's virtual joysticks: which one steers as they come and go,
// a press shorter than a frame, and the player's own mappings (the buttons' words are
// the shell's tests). No window has the focus, so background events are allowed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/status.h"
#include "display/display.h"
#include "display/display_sdl_events.h"
#include "display/virtual_pad.h"

namespace netduel {
namespace {

class DisplayPad : public ::testing::Test {
protected:
    std::unique_ptr<Display> owned = std::make_unique<Display>();
    Display& display = *owned;

    void SetUp() override
    {
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(SDL_Init(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    }
    void TearDown() override { SDL_Quit(); }

    // What the next frame sees: every pending event handled, then the taps forgotten.
    std::uint32_t frame()
    {
        SDL_Event event;
        while (SDL_PollEvent(&event)) displaySdlEvent(display, event);
        const std::uint32_t down = displayPadDown(display);
        displayForgetTaps(display);
        return down;
    }
};

TEST_F(DisplayPad, APressBetweenTwoFramesCountsOnce)
{
    VirtualPad pad = VirtualPad::attach();
    frame();
    pad.button(SDL_CONTROLLER_BUTTON_A, true);
    SDL_PumpEvents();
    pad.button(SDL_CONTROLLER_BUTTON_A, false);
    EXPECT_EQ(frame(), PAD_FIRE);
    EXPECT_EQ(frame(), 0u);
}

TEST_F(DisplayPad, TheFirstControllerSteersAndOnePulledOutLeavesNothingHeld)
{
    VirtualPad first = VirtualPad::attach();
    VirtualPad second = VirtualPad::attach();
    frame();
    second.button(SDL_CONTROLLER_BUTTON_A, true);
    EXPECT_EQ(frame(), 0u) << "a second controller does not steer";
    second.button(SDL_CONTROLLER_BUTTON_A, false);
    first.button(SDL_CONTROLLER_BUTTON_A, true);
    first.axis(SDL_CONTROLLER_AXIS_LEFTX, SDL_JOYSTICK_AXIS_MIN);
    EXPECT_EQ(frame(), PAD_FIRE | PAD_LEFT);
    first.pull();
    EXPECT_EQ(frame(), 0u) << "pulled out while firing and turning";
    second.button(SDL_CONTROLLER_BUTTON_B, true);
    EXPECT_EQ(frame(), PAD_THRUST) << "the one left steers now";
    second.pull();
    EXPECT_EQ(frame(), 0u);
    EXPECT_EQ(display.padSteering, -1);
    VirtualPad third = VirtualPad::attach();
    third.button(SDL_CONTROLLER_BUTTON_BACK, true);
    EXPECT_EQ(frame(), PAD_OVERLAY) << "one plugged in later steers when none does";
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

TEST(DisplayPadMappings, TheFileBesideTheSettingsMapsUnlessTheEnvironmentNamesOne)
{
    const std::string dir = mkdtemp(std::string("/tmp/netduel-pads-XXXXXX").data());
    std::ofstream(dir + "/gamecontrollerdb.txt") << mappingLine(SDL_CONTROLLER_BUTTON_Y);
    std::ofstream(dir + "/named.txt") << mappingLine(SDL_CONTROLLER_BUTTON_X);
    statusOut = nullptr;
    for (const int mapped : {int(SDL_CONTROLLER_BUTTON_Y), int(SDL_CONTROLLER_BUTTON_X)}) {
        if (mapped == SDL_CONTROLLER_BUTTON_X) setenv("SDL_GAMECONTROLLERCONFIG_FILE", (dir + "/named.txt").c_str(), 1);
        auto display = std::make_unique<Display>();
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");  // SDL_Quit forgets both
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        ASSERT_TRUE(displayOpen(*display, "netduel", {}, dir + "/gamecontrollerdb.txt"));
        VirtualPad pad = VirtualPad::attach();
        for (const int button : {int(SDL_CONTROLLER_BUTTON_A), mapped}) {
            pad.button(button, true);
            pollEvents(*display);
            EXPECT_EQ(display->padHeld == PAD_FIRE, button == mapped) << button << " " << mapped;
            pad.button(button, false);
            pollEvents(*display);
        }
        pad.pull();
        displayClose(*display);
    }
    unsetenv("SDL_GAMECONTROLLERCONFIG_FILE");
    statusOut = stdout;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace netduel
