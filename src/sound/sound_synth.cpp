// Sound effects: each clip is a few notes, every note a swept tone with an overtone and
// filtered noise under an envelope that starts and ends at exactly zero.
#include "sound/sound_synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>

namespace netduel {

namespace {

constexpr double PI = 3.14159265358979323846;
// Raised-cosine rise and fall of every note: a few milliseconds is no click, yet still a
// sharp attack.
constexpr double FADE_SECONDS = 0.004;

struct Note {
    double at = 0.0;        // s from the clip's start
    double seconds = 0.0;   // length
    double from = 0.0;      // Hz at the start, swept exponentially
    double to = 0.0;        // Hz at the end
    double decay = 0.0;     // per second, of the exponential fade between the edges
    double overtone = 0.0;  // share of the third harmonic
    double noise = 0.0;     // share of low-passed noise
    double cutoff = 0.0;    // Hz, of the noise's one-pole low pass
};

struct Effect {
    SoundEffect effect;
    float peak;  // the clip is scaled to this loudest sample
    std::initializer_list<Note> notes;
};

// Hits are the loudest, lobby events the softest: they only tell, they must not startle.
const Effect EFFECTS[] = {
    {SoundEffect::OwnShot, 0.35f, {{0.0, 0.09, 1400, 500, 20, 0.35, 0.0, 0}}},
    {SoundEffect::OtherShot, 0.35f, {{0.0, 0.11, 900, 300, 15, 0.0, 0.15, 3000}}},
    {SoundEffect::OwnHit, SOUND_CLIP_PEAK_MAX, {{0.0, 0.28, 110, 50, 10, 0.2, 0.8, 900}}},
    {SoundEffect::OtherHit, 0.45f, {{0.0, 0.18, 700, 450, 18, 0.1, 0.5, 4000}}},
    {SoundEffect::Chat, 0.3f, {{0.0, 0.06, 988, 988, 25}, {0.06, 0.07, 1319, 1319, 20}}},
    {SoundEffect::Join, 0.3f, {{0.0, 0.07, 523, 523, 15}, {0.06, 0.07, 659, 659, 15}, {0.12, 0.09, 784, 784, 12}}},
    {SoundEffect::Leave, 0.3f, {{0.0, 0.07, 784, 784, 15}, {0.06, 0.07, 659, 659, 15}, {0.12, 0.09, 523, 523, 12}}},
    {SoundEffect::Connected, 0.3f,
     {{0.0, 0.07, 523, 523, 12}, {0.07, 0.07, 659, 659, 12}, {0.14, 0.07, 784, 784, 12}, {0.21, 0.16, 1047, 1047, 8}}},
    {SoundEffect::Lost, 0.3f, {{0.0, 0.4, 392, 196, 5, 0.3, 0.0, 0}}},
};

int framesFor(double seconds) { return static_cast<int>(std::lround(seconds * SOUND_RATE)); }

// A note's gain at frame i of n: zero at both ends.
double envelope(int i, int n, double decay)
{
    const int fade = std::max(1, std::min(framesFor(FADE_SECONDS), n / 2));
    double gain = std::exp(-decay * i / SOUND_RATE);
    if (i < fade) gain *= 0.5 - 0.5 * std::cos(PI * i / fade);
    if (n - 1 - i < fade) gain *= 0.5 - 0.5 * std::cos(PI * (n - 1 - i) / fade);
    return gain;
}

// xorshift32: the same noise on every run, so every run's clips are the same.
double noiseSample(std::uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state / 2147483648.0 - 1.0;
}

void addNote(std::vector<float>& clip, const Note& note, std::uint32_t& noise)
{
    const int start = framesFor(note.at);
    const int n = framesFor(note.seconds);
    if (clip.size() < static_cast<std::size_t>(start + n)) clip.resize(start + n, 0.0f);
    const double lowPass = 1.0 - std::exp(-2.0 * PI * note.cutoff / SOUND_RATE);
    double phase = 0.0;
    double filtered = 0.0;
    for (int i = 0; i < n; ++i) {
        const double hz = note.from * std::pow(note.to / note.from, double(i) / n);
        phase += 2.0 * PI * hz / SOUND_RATE;
        filtered += lowPass * (noiseSample(noise) - filtered);
        const double tone = std::sin(phase) + note.overtone * std::sin(3.0 * phase);
        clip[start + i] += static_cast<float>(envelope(i, n, note.decay) * (tone + note.noise * filtered));
    }
}

void scaleToPeak(std::vector<float>& clip, float peak)
{
    float most = 0.0f;
    for (const float sample : clip) most = std::max(most, std::fabs(sample));
    if (most > 0.0f)
        for (float& sample : clip) sample *= peak / most;
}

}  // namespace

void soundBankMake(SoundBank& bank)
{
    for (const Effect& effect : EFFECTS) {
        std::vector<float>& clip = bank.clips[static_cast<int>(effect.effect)];
        clip.clear();
        std::uint32_t noise = 0x9E3779B9u + static_cast<std::uint32_t>(effect.effect);
        for (const Note& note : effect.notes) addNote(clip, note, noise);
        scaleToPeak(clip, effect.peak);
    }
}

std::span<const float> soundBankClip(const SoundBank& bank, SoundEffect effect)
{
    const int index = static_cast<int>(effect);
    if (index < 0 || index >= SOUND_EFFECTS) return {};
    return bank.clips[index];
}

}  // namespace netduel
