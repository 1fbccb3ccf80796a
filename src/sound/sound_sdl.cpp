// SDL2 back end of the sound: the default audio device, whose own thread pulls each
// buffer from the mixer; the frame reaches the mixer only under the device's lock.
#include <string>

#include <SDL2/SDL.h>

#include "base/status.h"
#include "sound/sound.h"

namespace netduel {

namespace {

void sdlAudioPull(void* userData, Uint8* stream, int bytes)
{
    auto* mixer = static_cast<SoundMixer*>(userData);
    soundMixerRender(*mixer, {reinterpret_cast<std::int16_t*>(stream), bytes / sizeof(std::int16_t)});
}

void sdlAudioLock(Sound& sound) { SDL_LockAudioDevice(sound.device); }

void sdlAudioUnlock(Sound& sound) { SDL_UnlockAudioDevice(sound.device); }

void sdlAudioFailed(const char* what)
{
    statusWrite(std::string("No sound: ") + what + ": " + SDL_GetError() + "; the game plays silent", true);
}

}  // namespace

bool soundOpen(Sound& sound, const SoundSettings& settings)
{
    sound.settings = settings;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        sdlAudioFailed("cannot start SDL's audio");
        return false;
    }
    // SDL converts to whatever the device takes: the mixer always makes this.
    SDL_AudioSpec wanted{};
    wanted.freq = SOUND_RATE;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = SOUND_CHANNELS;
    wanted.samples = SOUND_BUFFER_FRAMES;
    wanted.callback = sdlAudioPull;
    wanted.userdata = &sound.mixer;
    SDL_AudioSpec obtained{};
    soundMixerInit(sound.mixer, soundGain(settings, sound.focused));
    sound.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (sound.device == 0) {
        sdlAudioFailed("cannot open the audio device");
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    soundBankMake(sound.bank);
    soundWatchReset(sound.watch);
    sound.backEnd = {sdlAudioLock, sdlAudioUnlock};
    SDL_PauseAudioDevice(sound.device, 0);
    return true;
}

void soundClose(Sound& sound)
{
    if (sound.device == 0) return;
    sound.backEnd = {};
    SDL_CloseAudioDevice(sound.device);  // waits for the device's thread to end
    sound.device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace netduel
