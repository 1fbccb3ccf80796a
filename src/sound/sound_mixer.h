// The mixer: the clips playing now, each with its own left and right gain, summed under a
// master gain and a peak limiter into interleaved 16-bit stereo frames.
#pragma once

#include <cstdint>
#include <span>

namespace netduel {

inline constexpr int SOUND_VOICES = 32;          // clips at once; a newer one waits for none
inline constexpr float SOUND_LIMIT = 0.89f;      // the limiter's ceiling, about −1 dB of full scale
inline constexpr int SOUND_CHANNELS = 2;         // interleaved left, right

// Gains of a sound at `pan` (−1 left … 1 right), at equal power: a sound keeps its
// loudness wherever it stands.
struct SoundPan {
    float left = 0.0f;
    float right = 0.0f;
};
SoundPan soundPan(float pan);

struct SoundVoice {
    const float* samples = nullptr;  // a clip of the bank, which outlives the mixer
    int length = 0;
    int position = 0;                // next frame to mix
    SoundPan gains;
};

struct SoundMixer {
    SoundVoice voices[SOUND_VOICES];
    int voiceCount = 0;
    float gain = 0.0f;        // master gain now
    float gainTarget = 0.0f;  // where the master gain ramps to
    float limiterGain = 1.0f;
    std::uint64_t begun = 0;    // voices whose first frame was mixed, ever
    std::uint64_t dropped = 0;  // clips refused because every voice was busy
};

// Silence, with the master gain at `gain` from the first frame on.
void soundMixerInit(SoundMixer& mixer, float gain);

// Starts `clip` (mono, at the mixer's rate) with `gains`; false and nothing started when
// every voice is busy. The clip must stay alive until it has played.
bool soundMixerPlay(SoundMixer& mixer, std::span<const float> clip, SoundPan gains);

// The master gain to ramp to, over a few milliseconds so that a change never clicks.
void soundMixerSetGain(SoundMixer& mixer, float gain);

// Mixes the next out.size() / 2 frames into `out`, interleaved left and right; a voice
// that has played to its end is freed. Output never passes SOUND_LIMIT of full scale.
void soundMixerRender(SoundMixer& mixer, std::span<std::int16_t> out);

}  // namespace netduel
