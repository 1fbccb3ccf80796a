// The effects as soundBankMake makes them, made once for a whole test program.
#pragma once

#include "sound/sound_synth.h"

namespace netduel {

inline const SoundBank& madeBank()
{
    static const SoundBank made = [] {
        SoundBank bank;
        soundBankMake(bank);
        return bank;
    }();
    return made;
}

}  // namespace netduel
