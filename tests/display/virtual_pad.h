// SDL's virtual joysticks as game controllers for tests, which set their buttons and axes.
#pragma once

#include <SDL2/SDL.h>

namespace netduel {

// A virtual controller with every button and axis, triggers at rest. Its USB numbers (of
// no real device) let a mapping of the player's take it over from SDL's own.
struct VirtualPad {
    SDL_Joystick* joystick = nullptr;

    static VirtualPad attach()
    {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
        desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
        desc.name = "test pad";
        desc.vendor_id = 0x1209;
        desc.product_id = 0x0d06;
        VirtualPad pad{SDL_JoystickOpen(SDL_JoystickAttachVirtualEx(&desc))};
        for (const int trigger : {SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT})
            pad.axis(trigger, SDL_JOYSTICK_AXIS_MIN);
        return pad;
    }
    void button(int which, bool down) { SDL_JoystickSetVirtualButton(joystick, which, down); }
    void axis(int which, Sint16 value) { SDL_JoystickSetVirtualAxis(joystick, which, value); }
    void pull()
    {
        const SDL_JoystickID id = SDL_JoystickInstanceID(joystick);
        SDL_JoystickClose(joystick);
        for (int index = 0; index < SDL_NumJoysticks(); ++index)
            if (SDL_JoystickGetDeviceInstanceID(index) == id) SDL_JoystickDetachVirtual(index);
    }
};

}  // namespace netduel
