// Sound without a device: the clips, the mixer with its limiter and gains, the rule of
// what a frame and the lobby make heard, and one frame's cues reaching the mixer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "sound/sound.h"
#include "sound/made_bank.h"

namespace netduel {
namespace {

std::vector<std::int16_t> render(SoundMixer& mixer, int frames)
{
    std::vector<std::int16_t> out(frames * SOUND_CHANNELS);
    soundMixerRender(mixer, out);
    return out;
}

int peakOf(const std::vector<std::int16_t>& samples)
{
    int peak = 0;
    for (const std::int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

double correlation(std::span<const float> a, std::span<const float> b)
{
    const std::size_t n = std::min(a.size(), b.size());
    const double ab = std::inner_product(a.begin(), a.begin() + n, b.begin(), 0.0);
    const double aa = std::inner_product(a.begin(), a.begin() + n, a.begin(), 0.0);
    const double bb = std::inner_product(b.begin(), b.begin() + n, b.begin(), 0.0);
    return ab / std::sqrt(aa * bb);
}

TEST(SoundClips, EachIsShortRisesFromAndFallsToSilenceAndSoundsUnlikeTheOthers)
{
    for (int e = 0; e < SOUND_EFFECTS; ++e) {
        const auto clip = soundBankClip(madeBank(), SoundEffect(e));
        ASSERT_GT(clip.size(), std::size_t(SOUND_RATE / 50)) << e;
        EXPECT_LE(clip.size(), std::size_t(SOUND_RATE / 2)) << e;
        EXPECT_EQ(clip.front(), 0.0f) << e;
        EXPECT_EQ(clip.back(), 0.0f) << e;
        float peak = 0.0f;
        for (const float s : clip) peak = std::max(peak, std::fabs(s));
        EXPECT_GT(peak, 0.2f) << e;
        EXPECT_LE(peak, SOUND_CLIP_PEAK_MAX) << e;
        // No click: the first and last millisecond stay far below the clip's peak.
        const std::size_t edge = SOUND_RATE / 1000;
        for (std::size_t i = 0; i < edge; ++i) {
            EXPECT_LT(std::fabs(clip[i]), peak / 3) << e << " at " << i;
            EXPECT_LT(std::fabs(clip[clip.size() - 1 - i]), peak / 3) << e << " at end-" << i;
        }
        for (int other = 0; other < e; ++other)
            EXPECT_LT(std::fabs(correlation(clip, soundBankClip(madeBank(), SoundEffect(other)))), 0.8) << e << " " << other;
    }
}

TEST(SoundMixer, PansAtEqualPowerAndMixesAClipExactlyAtItsGains)
{
    for (const float pan : {-1.0f, -0.4f, 0.0f, 0.8f, 1.0f}) {
        const SoundPan gains = soundPan(pan);
        EXPECT_NEAR(gains.left * gains.left + gains.right * gains.right, 1.0f, 1e-5f) << pan;
        EXPECT_EQ(gains.right > gains.left, pan > 0.0f) << pan;
    }
    EXPECT_NEAR(soundPan(-1.0f).right, 0.0f, 1e-6f);
    const auto clip = soundBankClip(madeBank(), SoundEffect::OtherShot);
    SoundMixer mixer;
    soundMixerInit(mixer, 0.5f);
    ASSERT_TRUE(soundMixerPlay(mixer, clip, soundPan(0.6f)));
    const std::vector<std::int16_t> out = render(mixer, static_cast<int>(clip.size()) + 100);
    for (std::size_t i = 0; i < clip.size(); ++i) {
        ASSERT_NEAR(out[2 * i], clip[i] * 0.5f * soundPan(0.6f).left * 32767.0f, 1.0) << i;
        ASSERT_NEAR(out[2 * i + 1], clip[i] * 0.5f * soundPan(0.6f).right * 32767.0f, 1.0) << i;
    }
    EXPECT_EQ(mixer.voiceCount, 0);
    EXPECT_EQ(mixer.begun, 1u);
    EXPECT_EQ(peakOf({out.begin() + 2 * clip.size(), out.end()}), 0);
}

TEST(SoundMixer, TwentyLoudClipsAtOnceStayUnderTheCeilingAndTheGainComesBack)
{
    SoundMixer mixer;
    soundMixerInit(mixer, 1.0f);
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(soundMixerPlay(mixer, soundBankClip(madeBank(), SoundEffect::OwnHit), soundPan(0.0f)));
    const std::vector<std::int16_t> burst = render(mixer, SOUND_RATE / 2);
    EXPECT_LE(peakOf(burst), int(SOUND_LIMIT * 32767.0f) + 1);
    EXPECT_GT(peakOf(burst), int(0.8f * 32767.0f));  // limited, not silenced
    // Some time after the burst a lone clip plays at its own level again.
    render(mixer, SOUND_RATE / 2);
    const auto clip = soundBankClip(madeBank(), SoundEffect::Chat);
    soundMixerPlay(mixer, clip, SoundPan{1.0f, 1.0f});
    EXPECT_NEAR(peakOf(render(mixer, static_cast<int>(clip.size()))), 0.3f * 32767.0f, 2.0);
}

TEST(SoundMixer, ZeroGainIsSilenceAndAGainChangeRampsWithoutAClick)
{
    SoundMixer mixer;
    soundMixerInit(mixer, 0.0f);
    soundMixerPlay(mixer, soundBankClip(madeBank(), SoundEffect::OwnHit), soundPan(0.0f));
    EXPECT_EQ(peakOf(render(mixer, SOUND_RATE / 2)), 0);  // the whole clip, unheard
    // A square held at full level: the gain turned up and down shows only as its ramp.
    const std::vector<float> level(SOUND_RATE, 0.5f);
    soundMixerPlay(mixer, level, SoundPan{1.0f, 1.0f});
    soundMixerSetGain(mixer, 1.0f);
    std::vector<std::int16_t> out = render(mixer, SOUND_RATE / 20);
    soundMixerSetGain(mixer, 0.0f);
    const std::vector<std::int16_t> down = render(mixer, SOUND_RATE / 20);
    out.insert(out.end(), down.begin(), down.end());
    int step = 0;
    for (std::size_t i = 2; i < out.size(); i += 2) step = std::max(step, std::abs(out[i] - out[i - 2]));
    EXPECT_LT(step, 200);
    EXPECT_EQ(out[out.size() / 2 - 2], std::int16_t(std::lround(0.5f * 32767.0f)));
    EXPECT_EQ(out.back(), 0);
}

TEST(SoundMixer, AFullMixerRefusesAndCountsTheNextClip)
{
    SoundMixer mixer;
    soundMixerInit(mixer, 1.0f);
    for (int i = 0; i < SOUND_VOICES; ++i) EXPECT_TRUE(soundMixerPlay(mixer, soundBankClip(madeBank(), SoundEffect::Lost), {}));
    EXPECT_FALSE(soundMixerPlay(mixer, soundBankClip(madeBank(), SoundEffect::Lost), {}));
    EXPECT_EQ(mixer.dropped, 1u);
}

// Match frames: one ship's slot 3 and hit counter, on ship `ship`.
MatchState frame(int ship, bool active, Vec2 position, Vec2 direction, std::int8_t hit = 0)
{
    MatchState match;
    match.ships[0].position = {50.0f, 384.0f};
    match.ships[1].position = {974.0f, 384.0f};
    Bullet& bullet = match.ships[ship].bullets[3];
    bullet.active = active ? BULLET_ACTIVE : 0;
    bullet.position = position;
    bullet.direction = direction;
    match.ships[ship].hitCounter = hit;
    return match;
}

TEST(SoundCues, BulletsFirstDrawnAreShotsAndFlashesThatStartAreHitsOwnInTheMiddleOthersPanned)
{
    const Vec2 up{0.0f, 1.0f};  // flies towards smaller y
    struct Case {
        const char* what;
        MatchState before, after;
        int ownSlot;
        std::vector<SoundCue> heard;
    };
    const float right = soundPanAt(974);
    const Case cases[] = {
        {"own shot", frame(0, false, {}, up), frame(0, true, {50.0f, 369.0f}, up), 0, {{SoundEffect::OwnShot, 0}}},
        {"other shot", frame(1, false, {}, up), frame(1, true, {974.0f, 369.0f}, up), 0, {{SoundEffect::OtherShot, right}}},
        {"watcher", frame(0, false, {}, up), frame(0, true, {50.0f, 369.0f}, up), 2, {{SoundEffect::OtherShot, soundPanAt(50)}}},
        {"flight", frame(0, true, {50.0f, 369.0f}, up), frame(0, true, {50.0f, 200.0f}, up), 0, {}},
        {"correction", frame(0, true, {50.0f, 369.0f}, up), frame(0, true, {54.0f, 375.0f}, {0.1f, 0.995f}), 0, {}},
        {"refired", frame(0, true, {50.0f, 61.0f}, up), frame(0, true, {50.0f, 369.0f}, up), 0, {{SoundEffect::OwnShot, 0}}},
        {"turned", frame(0, true, {50.0f, 300.0f}, up), frame(0, true, {50.0f, 290.0f}, {1.0f, 0.0f}), 0, {{SoundEffect::OwnShot, 0}}},
        {"gone", frame(0, true, {50.0f, 61.0f}, up), frame(0, false, {}, up), 0, {}},
        {"own hit", frame(0, false, {}, up, 0), frame(0, false, {}, up, 1), 0, {{SoundEffect::OwnHit, 0}}},
        {"other hit", frame(1, false, {}, up, 0), frame(1, false, {}, up, 2), 0, {{SoundEffect::OtherHit, right}}},
        {"flashing", frame(1, false, {}, up, 4), frame(1, false, {}, up, 6), 0, {}},
        {"hit again", frame(1, false, {}, up, 7), frame(1, false, {}, up, 1), 0, {{SoundEffect::OtherHit, right}}},
    };
    for (const Case& c : cases) {
        SoundWatch watch;
        std::vector<SoundCue> cues;
        soundWatchMatch(watch, c.before, c.ownSlot, true, cues);
        EXPECT_TRUE(cues.empty()) << c.what << ": the first frame only looks";
        soundWatchMatch(watch, c.after, c.ownSlot, true, cues);
        EXPECT_EQ(cues, c.heard) << c.what;
    }
    EXPECT_LT(soundPanAt(50), -0.7f);
    EXPECT_GT(right, 0.7f);
    EXPECT_EQ(soundPanAt(std::nanf("")), 0.0f);
}

TEST(SoundCues, AStaleMatchAndTheFirstLiveFrameAfterItAreOnlyLookedAt)
{
    const Vec2 up{0.0f, 1.0f};
    SoundWatch watch;
    std::vector<SoundCue> cues;
    soundWatchMatch(watch, frame(0, false, {}, up), 0, true, cues);
    soundWatchMatch(watch, frame(0, true, {50.0f, 369.0f}, up), 0, false, cues);
    soundWatchMatch(watch, frame(1, true, {974.0f, 369.0f}, up), 0, true, cues);
    EXPECT_TRUE(cues.empty());
    soundWatchMatch(watch, frame(1, false, {}, up, 1), 0, true, cues);
    EXPECT_EQ(cues, (std::vector<SoundCue>{{SoundEffect::OtherHit, soundPanAt(974)}}));
}

TEST(SoundCues, TheLobbyIsHeardLineByLineAndTheOwnArrivalAsTheConnection)
{
    LobbyClient client;
    SoundWatch watch;
    std::vector<SoundCue> cues;
    soundWatchLobby(watch, client, cues);
    auto hear = [&](std::initializer_list<std::string> notices) {
        for (const std::string& notice : notices) lobbyClientPushHistory(client, noticeHistoryLine(notice).value());
        cues.clear();
        soundWatchLobby(watch, client, cues);
        return cues;
    };
    using E = SoundEffect;
    auto cuesOf = [](std::initializer_list<E> effects) {
        std::vector<SoundCue> out;
        for (const E e : effects) out.push_back({e, 0.0f});
        return out;
    };
    static int peer;  // only whether there is one is looked at
    client.peer = reinterpret_cast<ENetPeer*>(&peer);
    EXPECT_EQ(hear({}), cuesOf({}));  // an attempt alone is not heard
    client.connected = true;
    client.ownSlot = 2;  // learnt from the "NEW " after the welcome
    EXPECT_EQ(hear({welcomeNotice(), newNotice("Anonymous2"), newNotice("bob")}), cuesOf({E::Connected, E::Join}));
    EXPECT_EQ(hear({sayNotice("bob", "hi: * x connected =)"), nameNotice("bob", "al"), oldNotice("al"),
                    whisperNotice("Lobby", "Chatters:")}),
              cuesOf({E::Chat, E::Leave, E::Chat}));
    // More lines than the history keeps: the five kept are heard, oldest first.
    EXPECT_EQ(hear({sayNotice("a", "1"), newNotice("c"), sayNotice("a", "2"), sayNotice("a", "3"),
                    sayNotice("a", "4"), oldNotice("c")}),
              cuesOf({E::Join, E::Chat, E::Chat, E::Chat, E::Leave}));
    client.connected = false;
    client.peer = nullptr;
    client.ownSlot = -1;
    lobbyClientPushHistory(client, "Client informationdisconected.");
    EXPECT_EQ(hear({}), cuesOf({E::Lost}));
}

void noLock(Sound&) {}

TEST(Sound, TheGainFollowsVolumeMuteAndFocusAndAFrameStartsItsCues)
{
    struct Case {
        SoundSettings settings;
        bool focused;
        float gain;
    };
    for (const Case& c : {Case{{70, false, false}, true, 0.49f}, Case{{100, false, false}, true, 1.0f},
                          Case{{0, false, false}, true, 0.0f}, Case{{70, true, true}, true, 0.0f},
                          Case{{70, false, false}, false, 0.0f}, Case{{50, false, true}, false, 0.25f}})
        EXPECT_NEAR(soundGain(c.settings, c.focused), c.gain, 1e-6f) << c.settings.volume << c.focused;

    Sound sound;
    sound.backEnd = {noLock, noLock};
    soundBankMake(sound.bank);
    soundMixerInit(sound.mixer, soundGain(sound.settings, true));
    LobbyClient client;
    const Vec2 up{0.0f, 1.0f};
    soundFrame(sound, frame(1, false, {}, up), client, true, true);
    soundFrame(sound, frame(1, true, {974.0f, 369.0f}, up), client, true, false);
    ASSERT_EQ(sound.mixer.voiceCount, 1);
    EXPECT_EQ(sound.mixer.voices[0].samples, soundBankClip(sound.bank, SoundEffect::OtherShot).data());
    EXPECT_GT(sound.mixer.voices[0].gains.right, sound.mixer.voices[0].gains.left);
    EXPECT_EQ(sound.mixer.gainTarget, 0.0f);  // no focus
    soundFrame(sound, frame(1, true, {974.0f, 300.0f}, up), client, true, true);
    EXPECT_NEAR(sound.mixer.gainTarget, 0.49f, 1e-6f);
    soundToggleMute(sound);
    EXPECT_EQ(sound.mixer.gainTarget, 0.0f);
    EXPECT_EQ(soundOverlayLine(sound), "muted");
    soundToggleMute(sound);
    EXPECT_EQ(soundOverlayLine(sound), "volume 70");
    EXPECT_EQ(soundOverlayLine(Sound{}), "no sound");
}

}  // namespace
}  // namespace netduel
