// The mixer: voices summed in blocks of floats, then the master gain's ramp and the
// limiter frame by frame. The limiter takes its gain down at once to whatever keeps a
// frame under the ceiling, so nothing ever clips, and gives it back gently, so a burst
// of clips is heard softer rather than torn.
#include "sound/sound_mixer.h"

#include <algorithm>
#include <cmath>

#include "sound/sound_synth.h"

namespace netduel {

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int BLOCK_FRAMES = 256;               // mixed at a time on the stack
constexpr double GAIN_RAMP_SECONDS = 0.01;      // a full master gain change, from 0 to 1
constexpr double LIMITER_RELEASE_SECONDS = 0.05;  // time constant of the gain's return
const float GAIN_STEP = static_cast<float>(1.0 / (GAIN_RAMP_SECONDS * SOUND_RATE));
const float LIMITER_RELEASE = static_cast<float>(1.0 - std::exp(-1.0 / (LIMITER_RELEASE_SECONDS * SOUND_RATE)));

// Adds up to `frames` of `voice` into `mix`.
void voiceMix(SoundVoice& voice, float* mix, int frames)
{
    const int count = std::min(frames, voice.length - voice.position);
    const float* from = voice.samples + voice.position;
    for (int i = 0; i < count; ++i) {
        mix[2 * i] += from[i] * voice.gains.left;
        mix[2 * i + 1] += from[i] * voice.gains.right;
    }
    voice.position += count;
}

void mixerMixVoices(SoundMixer& mixer, float* mix, int frames)
{
    for (int v = 0; v < mixer.voiceCount;) {
        SoundVoice& voice = mixer.voices[v];
        if (voice.position == 0) ++mixer.begun;
        voiceMix(voice, mix, frames);
        if (voice.position < voice.length) {
            ++v;
            continue;
        }
        voice = mixer.voices[--mixer.voiceCount];  // the order of voices does not matter
    }
}

float gainRamped(float gain, float target)
{
    if (gain < target) return std::min(target, gain + GAIN_STEP);
    return std::max(target, gain - GAIN_STEP);
}

std::int16_t sampleOf(float value) { return static_cast<std::int16_t>(std::lround(value * 32767.0f)); }

// The master gain, the limiter and the conversion of one block.
void mixerFinish(SoundMixer& mixer, const float* mix, std::int16_t* out, int frames)
{
    for (int i = 0; i < frames; ++i) {
        mixer.gain = gainRamped(mixer.gain, mixer.gainTarget);
        const float left = mix[2 * i] * mixer.gain;
        const float right = mix[2 * i + 1] * mixer.gain;
        const float peak = std::max(std::fabs(left), std::fabs(right));
        const float needed = peak > SOUND_LIMIT ? SOUND_LIMIT / peak : 1.0f;
        mixer.limiterGain = std::min(needed, mixer.limiterGain + (1.0f - mixer.limiterGain) * LIMITER_RELEASE);
        out[2 * i] = sampleOf(left * mixer.limiterGain);
        out[2 * i + 1] = sampleOf(right * mixer.limiterGain);
    }
}

}  // namespace

SoundPan soundPan(float pan)
{
    const double angle = (std::clamp(pan, -1.0f, 1.0f) + 1.0) * PI / 4.0;
    return SoundPan{static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle))};
}

void soundMixerInit(SoundMixer& mixer, float gain)
{
    mixer = SoundMixer{};
    mixer.gain = gain;
    mixer.gainTarget = gain;
}

bool soundMixerPlay(SoundMixer& mixer, std::span<const float> clip, SoundPan gains)
{
    if (clip.empty()) return true;
    if (mixer.voiceCount == SOUND_VOICES) {
        ++mixer.dropped;
        return false;
    }
    mixer.voices[mixer.voiceCount++] = SoundVoice{clip.data(), static_cast<int>(clip.size()), 0, gains};
    return true;
}

void soundMixerSetGain(SoundMixer& mixer, float gain) { mixer.gainTarget = gain; }

void soundMixerRender(SoundMixer& mixer, std::span<std::int16_t> out)
{
    const int frames = static_cast<int>(out.size()) / SOUND_CHANNELS;
    for (int done = 0; done < frames;) {
        const int block = std::min(BLOCK_FRAMES, frames - done);
        float mix[BLOCK_FRAMES * SOUND_CHANNELS] = {};
        mixerMixVoices(mixer, mix, block);
        mixerFinish(mixer, mix, out.data() + done * SOUND_CHANNELS, block);
        done += block;
    }
}

}  // namespace netduel
