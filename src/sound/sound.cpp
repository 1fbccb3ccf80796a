// Sound: the settings turned into the mixer's gain, and one frame's cues into its voices.
#include "sound/sound.h"

#include <algorithm>

#include "lobby/lobby_client.h"

namespace netduel {

namespace {

bool soundPlaying(const Sound& sound) { return sound.backEnd.lock != nullptr; }

// Runs `change` on the mixer with the device's thread kept off it.
template <typename Change>
void soundWithMixer(Sound& sound, Change change)
{
    if (!soundPlaying(sound)) return;
    sound.backEnd.lock(sound);
    change(sound.mixer);
    sound.backEnd.unlock(sound);
}

}  // namespace

float soundGain(const SoundSettings& settings, bool focused)
{
    if (settings.muted || (!focused && !settings.inBackground)) return 0.0f;
    const float share = static_cast<float>(std::clamp(settings.volume, 0, SOUND_VOLUME_MAX)) / SOUND_VOLUME_MAX;
    return share * share;
}

void soundSetSettings(Sound& sound, const SoundSettings& settings)
{
    sound.settings = settings;
    const float gain = soundGain(settings, sound.focused);
    soundWithMixer(sound, [gain](SoundMixer& mixer) { soundMixerSetGain(mixer, gain); });
}

void soundToggleMute(Sound& sound)
{
    SoundSettings settings = sound.settings;
    settings.muted = !settings.muted;
    soundSetSettings(sound, settings);
}

void soundFrame(Sound& sound, const MatchState& drawn, const LobbyClient& client, bool live,
                bool focused)
{
    if (!soundPlaying(sound)) return;
    sound.cues.clear();
    soundWatchMatch(sound.watch, drawn, lobbyClientOwnSlot(client), live, sound.cues);
    soundWatchLobby(sound.watch, client, sound.cues);
    const bool focusChanged = focused != sound.focused;
    sound.focused = focused;
    if (sound.cues.empty() && !focusChanged) return;
    const float gain = soundGain(sound.settings, focused);
    soundWithMixer(sound, [&](SoundMixer& mixer) {
        soundMixerSetGain(mixer, gain);
        for (const SoundCue& cue : sound.cues)
            soundMixerPlay(mixer, soundBankClip(sound.bank, cue.effect), soundPan(cue.pan));
    });
}

std::string soundOverlayLine(const Sound& sound)
{
    if (!soundPlaying(sound)) return "no sound";
    if (sound.settings.muted) return "muted";
    return "volume " + std::to_string(sound.settings.volume);
}

}  // namespace netduel
