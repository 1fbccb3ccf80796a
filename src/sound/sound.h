// Sound: the player's settings, the effects, the mixer and what is heard, played on the
// audio device that soundOpen (sound_sdl.cpp) opens beside the window. Everything here
// works without a device: nothing is played then.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "duel/match.h"
#include "lobby/lobby.h"
#include "sound/sound_cues.h"
#include "sound/sound_mixer.h"
#include "sound/sound_synth.h"

namespace netduel {

inline constexpr int SOUND_VOLUME_MAX = 100;
inline constexpr int SOUND_VOLUME_DEFAULT = 70;
inline constexpr int SOUND_BUFFER_FRAMES = 512;  // the device's buffer: about 11 ms at 48 kHz

// What the player chooses: kept apart so that it can be loaded and saved as it is.
struct SoundSettings {
    int volume = SOUND_VOLUME_DEFAULT;  // 0…100
    bool muted = false;
    bool inBackground = false;          // keep playing while the window has no focus
    bool operator==(const SoundSettings&) const = default;
};

struct Sound;

// What an audio device adds. Null hooks mean no device: nothing is played.
struct SoundBackEnd {
    void (*lock)(Sound& sound) = nullptr;  // keeps the device's thread off the mixer
    void (*unlock)(Sound& sound) = nullptr;
};

struct Sound {
    SoundSettings settings;
    SoundBank bank;
    SoundMixer mixer;               // touched by the device's thread: only under the lock
    SoundWatch watch;
    std::vector<SoundCue> cues;     // the last frame's, kept to spare an allocation a frame
    bool focused = true;            // the window had the focus in the last frame
    SoundBackEnd backEnd;
    std::uint32_t device = 0;       // the back end's device; 0 without one
};

// The master gain the settings ask for: 0 when muted, or when the window has no focus and
// the sound is not to play in the background; else the volume's square, which sounds
// about evenly spaced from step to step.
float soundGain(const SoundSettings& settings, bool focused);

// Opens the default audio device (48 kHz stereo, a buffer of SOUND_BUFFER_FRAMES),
// synthesises the effects and starts playing silence at the settings' gain. False, with
// one status line saying why, when SDL has no audio device that opens; the game then
// runs silent.
bool soundOpen(Sound& sound, const SoundSettings& settings);

// Takes new settings; the gain follows within a few milliseconds.
void soundSetSettings(Sound& sound, const SoundSettings& settings);

// M: mutes, or gives the sound back.
void soundToggleMute(Sound& sound);

// One frame: the sounds of what `drawn` shows and the client heard start now (see
// soundWatchMatch for `live`), and the gain follows the focus.
void soundFrame(Sound& sound, const MatchState& drawn, const LobbyClient& client, bool live,
                bool focused);

// The overlay's line: "volume 70", "muted" or "no sound".
std::string soundOverlayLine(const Sound& sound);

// Stops and closes the device; safe on a sound that never opened.
void soundClose(Sound& sound);

}  // namespace netduel
