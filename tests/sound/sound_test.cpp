// Sound without a device: the clips, the mixer with its limiter and gains, and the rule
// of what a frame and the lobby make heard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "sound/made_bank.h"
#include "sound/sound.h"

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

TEST(SoundClips, EachIsShortRisesFromAndFallsToSilenceAndSoundsUnlikeTheOthers)
{
    for (int e = 0; e < SOUND_EFFECTS; ++e) {
        const auto clip = soundBankClip(madeBank(), SoundEffect(e));
        ASSERT_GT(clip.size(), std::size_t(SOUND_RATE / 50)) << e;
        EXPECT_LE(clip.size(), std::size_t(SOUND_RATE / 2)) << e;
        EXPECT_EQ(clip.front(), 0.0f) << e;
        EXPECT_EQ(clip.back(), 0.0f) << e;
        const float peak = std::fabs(*std::max_element(clip.begin(), clip.end(), [](float a, float b) {
            return std::fabs(a) < std::fabs(b);
        }));
        EXPECT_GT(peak, 0.2f) << e;
        EXPECT_LE(peak, SOUND_CLIP_PEAK_MAX) << e;
        for (std::size_t i = 0; i < SOUND_RATE / 1000; ++i)  // no click in the first and last ms
            EXPECT_LT(std::max(std::fabs(clip[i]), std::fabs(clip[clip.size() - 1 - i])), peak / 3) << e << " " << i;
        for (int other = 0; other < e; ++other) {
            const auto b = soundBankClip(madeBank(), SoundEffect(other));
            const std::size_t n = std::min(clip.size(), b.size());
            const double ab = std::inner_product(clip.begin(), clip.begin() + n, b.begin(), 0.0);
            const double aa = std::inner_product(clip.begin(), clip.begin() + n, clip.begin(), 0.0);
            const double bb = std::inner_product(b.begin(), b.begin() + n, b.begin(), 0.0);
            EXPECT_LT(std::fabs(ab) / std::sqrt(aa * bb), 0.8) << e << " " << other;
        }
    }
}

TEST(SoundMixer, PansAtEqualPowerAndMixesAClipExactlyAtItsGains)
{
    for (const float pan : {-1.0f, -0.4f, 0.0f, 0.8f, 1.0f}) {
        const SoundPan gains = soundPan(pan);
        EXPECT_NEAR(gains.left * gains.left + gains.right * gains.right, 1.0f, 1e-5f) << pan;
        EXPECT_EQ(gains.right > gains.left, pan > 0.0f) << pan;
    }
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
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(soundMixerPlay(mixer, soundBankClip(madeBank(), SoundEffect::OwnHit), {1, 1}));
    const std::vector<std::int16_t> burst = render(mixer, SOUND_RATE / 2);
    EXPECT_LE(peakOf(burst), int(SOUND_LIMIT * 32767.0f) + 1);
    EXPECT_GT(peakOf(burst), int(0.8f * 32767.0f));  // limited, not silenced
    const auto clip = soundBankClip(madeBank(), SoundEffect::Chat);
    render(mixer, SOUND_RATE / 2);
    soundMixerPlay(mixer, clip, SoundPan{1.0f, 1.0f});
    EXPECT_NEAR(peakOf(render(mixer, static_cast<int>(clip.size()))), 0.3f * 32767.0f, 2.0);
}

TEST(SoundMixer, ZeroGainIsSilenceAndAGainChangeRampsWithoutAClick)
{
    SoundMixer mixer;
    soundMixerInit(mixer, 0.0f);
    soundMixerPlay(mixer, soundBankClip(madeBank(), SoundEffect::OwnHit), soundPan(0.0f));
    EXPECT_EQ(peakOf(render(mixer, SOUND_RATE / 2)), 0);  // the whole clip, unheard
    const std::vector<float> level(SOUND_RATE, 0.5f);     // held: only the gain's ramp shows
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

// A frame with one bullet slot and hit counter of ship `ship` set.
MatchState frame(int ship, bool active, Vec2 position, Vec2 direction, std::int8_t hit = 0)
{
    MatchState match;
    match.ships[0].position = {50.0f, 384.0f};
    match.ships[1].position = {974.0f, 384.0f};
    match.ships[ship].bullets[3] = Bullet{position, direction, std::uint8_t(active ? BULLET_ACTIVE : 0)};
    match.ships[ship].hitCounter = hit;
    return match;
}

TEST(SoundCues, BulletsFirstDrawnAreShotsAndFlashesThatStartAreHitsOwnInTheMiddleOthersPanned)
{
    const Vec2 up{0.0f, 1.0f};  // flies towards smaller y
    const Vec2 none{};
    struct Case {
        const char* what;
        MatchState before, after;
        int ownSlot;
        bool live;
        std::vector<SoundCue> heard;
    };
    const float right = soundPanAt(974);
    const Case cases[] = {
        {"own shot", frame(0, false, none, up), frame(0, true, {50.0f, 369.0f}, up), 0, true, {{SoundEffect::OwnShot, 0}}},
        {"other shot", frame(1, false, none, up), frame(1, true, {974.0f, 369.0f}, up), 0, true, {{SoundEffect::OtherShot, right}}},
        {"watcher", frame(0, false, none, up), frame(0, true, {50.0f, 369.0f}, up), 2, true, {{SoundEffect::OtherShot, soundPanAt(50)}}},
        {"stale", frame(0, false, none, up), frame(0, true, {50.0f, 369.0f}, up), 0, false, {}},
        {"flight", frame(0, true, {50.0f, 369.0f}, up), frame(0, true, {50.0f, 200.0f}, up), 0, true, {}},
        {"correction", frame(0, true, {50.0f, 369.0f}, up), frame(0, true, {54.0f, 375.0f}, {0.1f, 0.995f}), 0, true, {}},
        {"takeover turned 20°", frame(0, true, {50.0f, 369.0f}, up), frame(0, true, {52.0f, 363.5f}, {0.342f, 0.9397f}), 0, true, {}},
        {"refired", frame(0, true, {50.0f, 61.0f}, up), frame(0, true, {50.0f, 369.0f}, up), 0, true, {{SoundEffect::OwnShot, 0}}},
        {"turned", frame(0, true, {50.0f, 300.0f}, up), frame(0, true, {50.0f, 290.0f}, {1.0f, 0.0f}), 0, true, {{SoundEffect::OwnShot, 0}}},
        {"gone", frame(0, true, {50.0f, 61.0f}, up), frame(0, false, none, up), 0, true, {}},
        {"own hit", frame(0, false, none, up, 0), frame(0, false, none, up, 1), 0, true, {{SoundEffect::OwnHit, 0}}},
        {"other hit", frame(1, false, none, up, 0), frame(1, false, none, up, 2), 0, true, {{SoundEffect::OtherHit, right}}},
        {"flashing", frame(1, false, none, up, 4), frame(1, false, none, up, 6), 0, true, {}},
        {"hit again", frame(1, false, none, up, 7), frame(1, false, none, up, 1), 0, true, {{SoundEffect::OtherHit, right}}},
    };
    for (const Case& c : cases) {
        SoundWatch watch;
        std::vector<SoundCue> cues;
        soundWatchMatch(watch, c.before, c.ownSlot, true, cues);
        EXPECT_TRUE(cues.empty()) << c.what << ": the first frame only looks";
        soundWatchMatch(watch, c.after, c.ownSlot, c.live, cues);
        EXPECT_EQ(cues, c.heard) << c.what;
    }
    SoundWatch watch;  // the first live frame after a stale one only looks too
    std::vector<SoundCue> cues;
    soundWatchMatch(watch, frame(0, false, none, up), 0, false, cues);
    soundWatchMatch(watch, frame(0, true, {50.0f, 369.0f}, up), 0, true, cues);
    EXPECT_TRUE(cues.empty());
    EXPECT_LT(soundPanAt(50), -0.7f);
    EXPECT_GT(right, 0.7f);
    EXPECT_EQ(soundPanAt(std::nanf("")), 0.0f);
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
        std::vector<SoundEffect> effects;
        for (const SoundCue& cue : cues) effects.push_back(cue.pan == 0.0f ? cue.effect : SoundEffect::Count);
        return effects;
    };
    using E = SoundEffect;
    using Heard = std::vector<E>;
    static int peer;  // only whether there is one is looked at
    client.peer = reinterpret_cast<ENetPeer*>(&peer);
    EXPECT_EQ(hear({}), Heard{});  // an attempt alone is not heard
    client.connected = true;
    client.ownSlot = 2;  // learnt from the "NEW " after the welcome
    EXPECT_EQ(hear({welcomeNotice(), newNotice("Anonymous2"), newNotice("bob")}), (Heard{E::Connected, E::Join}));
    EXPECT_EQ(hear({sayNotice("bob", "hi: * x connected =)"), nameNotice("bob", "al"), oldNotice("al"),
                    whisperNotice("Lobby", "Chatters:")}),
              (Heard{E::Chat, E::Leave, E::Chat}));
    // More lines than the history keeps: the five kept are heard, oldest first.
    EXPECT_EQ(hear({sayNotice("a", "1"), newNotice("c"), sayNotice("a", "2"), sayNotice("a", "3"),
                    sayNotice("a", "4"), oldNotice("c")}),
              (Heard{E::Join, E::Chat, E::Chat, E::Chat, E::Leave}));
    client.connected = false;
    client.peer = nullptr;
    lobbyClientPushHistory(client, "Client informationdisconected.");
    EXPECT_EQ(hear({}), Heard{E::Lost});
}

void noLock(Sound&) {}

TEST(Sound, TheGainFollowsVolumeMuteAndFocus)
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
    const LobbyClient client;
    for (const bool focused : {false, true, false}) {
        soundFrame(sound, MatchState{}, client, true, focused);
        EXPECT_EQ(sound.mixer.gainTarget, soundGain(sound.settings, focused)) << focused;
    }
    soundToggleMute(sound);
    EXPECT_EQ(soundOverlayLine(sound), "muted");
}

}  // namespace
}  // namespace netduel
