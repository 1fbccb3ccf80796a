// Sound effects made by the program at start: short mono clips at the mixer's rate, each
// rising from silence and falling back to it, so no clip clicks where it starts or ends.
#pragma once

#include <span>
#include <vector>

namespace netduel {

inline constexpr int SOUND_RATE = 48000;  // frames per second, of every clip and the device
// Loudest sample of any clip: a few clips at once still fit under the limiter's ceiling.
inline constexpr float SOUND_CLIP_PEAK_MAX = 0.5f;

enum class SoundEffect {
    OwnShot,    // this player's ship fired
    OtherShot,  // the other ship fired (a watcher hears both ships so)
    OwnHit,     // this player's ship was hit
    OtherHit,   // the other ship was hit
    Chat,       // a chat line or a whisper arrived
    Join,       // a player joined the lobby
    Leave,      // a player left it
    Connected,  // this copy's connection came up
    Lost,       // this copy's attempt failed or its connection ended
    Count
};
inline constexpr int SOUND_EFFECTS = static_cast<int>(SoundEffect::Count);

struct SoundBank {
    std::vector<float> clips[SOUND_EFFECTS];  // −1…1, SOUND_RATE frames a second
};

// Synthesises every clip; the same clips on every run.
void soundBankMake(SoundBank& bank);

// One effect's clip; empty before soundBankMake.
std::span<const float> soundBankClip(const SoundBank& bank, SoundEffect effect);

}  // namespace netduel
