// End-to-end sound: the real game joins a host that this driver runs (so it can fire the
// other ship's gun and flash either ship at will), and SDL's disk audio driver writes
// what the game plays to a file, which is read back and matched against the effects.
// e2e.sh runs it inside a private network namespace and its own Xvfb.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/timer.h"
#include "e2e_support.h"
#include "lobby/lobby_server.h"
#include "lobby/chat_input.h"
#include "lobby/lobby_client.h"
#include "shell/host.h"
#include "sound/sound.h"
#include "sound/made_bank.h"

namespace netduel {
namespace {

using namespace e2e;

constexpr std::uint16_t HOST_PORT = 44301;
constexpr int MATCH_FRAMES = SOUND_RATE * 30 / 1000;  // 30 ms of a clip are compared
constexpr int LATE_FRAMES = SOUND_RATE;               // a sound this far past its cause is not its
const char* gamePath = nullptr;

// What the disk driver wrote: 16-bit stereo frames at the mixer's rate, read as it grows
// (whole frames only), so that a poll costs the same late in a run as early.
struct Recording {
    std::string path;
    std::vector<std::int16_t> samples;

    int frames()
    {
        std::ifstream file(path, std::ios::binary);
        file.seekg(static_cast<std::streamoff>(samples.size() * sizeof(std::int16_t)));
        std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::size_t frameBytes = SOUND_CHANNELS * sizeof(std::int16_t);
        const std::size_t old = samples.size();
        samples.resize(old + bytes.size() / frameBytes * SOUND_CHANNELS);
        if (samples.size() > old)
            std::memcpy(samples.data() + old, bytes.data(), (samples.size() - old) * sizeof(std::int16_t));
        return static_cast<int>(samples.size() / SOUND_CHANNELS);
    }
    int left(int frame) const { return samples[SOUND_CHANNELS * frame]; }
    int right(int frame) const { return samples[SOUND_CHANNELS * frame + 1]; }
    // The first frame from `from` on that is not silent; -1 when none is.
    int onset(int from) const
    {
        for (int f = from; f < int(samples.size()) / SOUND_CHANNELS; ++f)
            if (left(f) != 0 || right(f) != 0) return f;
        return -1;
    }
};

// How well the frames from `at` on match a clip on one channel: the best normalised
// correlation over a few frames of lag, as the first frames of a clip round to zero.
double likeness(const Recording& rec, int at, std::span<const float> clip, bool right)
{
    double best = 0.0;
    for (int lag = 0; lag < 8; ++lag) {
        double ab = 0.0, aa = 0.0, bb = 0.0;
        for (int i = 0; i < MATCH_FRAMES && lag + i < int(clip.size()); ++i) {
            const double a = right ? rec.right(at + i) : rec.left(at + i);
            ab += a * clip[lag + i];
            aa += a * a;
            bb += double(clip[lag + i]) * clip[lag + i];
        }
        if (aa > 0.0 && bb > 0.0) best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

class SoundEndToEnd : public ::testing::Test {
protected:
    std::string dir;
    Recording recording;
    LobbyServer server;
    MatchState match;
    bool toggle = true;
    double lastTime = 0.0;
    double dt = 0.0;
    double carry = 0.0;
    std::unique_ptr<Child> game;
    LobbyClient chatter;  // a second player, serviced beside the host once it connects

    void SetUp() override
    {
        char pattern[] = "/tmp/netduel-sound-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        recording.path = dir + "/played.raw";
    }
    void TearDown() override
    {
        game.reset();
        lobbyClientDestroy(chatter);
        lobbyServerDestroy(server);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    void hostStep()
    {
        hostClockAdvance(toggle, lastTime, dt);
        hostFrame(server, match, dt, toggle, carry);
        lobbyClientService(chatter);
        usleep(4000);
    }
    bool until(const std::function<bool()>& done) { return waitFor(done, DEADLINE, [this] { hostStep(); }); }

    void startGame(const char* driver, std::vector<std::string> arguments)
    {
        setenv("SDL_AUDIODRIVER", driver, 1);
        setenv("SDL_DISKAUDIOFILE", recording.path.c_str(), 1);
        lobbyServerDestroy(server);  // a new host for every game: it gets slot 0, ship 0
        server = LobbyServer{};
        hostMatchStart(match);
        ASSERT_TRUE(hostCreate(server, match, HOST_PORT));
        lastTime = timerSeconds();
        arguments.insert(arguments.begin(), {"--join", "127.0.0.1:" + std::to_string(HOST_PORT)});
        game = spawn(gamePath, arguments);
        ASSERT_TRUE(until([&] { return server.clients.size() > 0 && server.clients[0].connected; }));
    }
    bool ownBulletFlies() const
    {
        for (const Bullet& bullet : match.ships[0].bullets)
            if (bullet.active) return true;
        return false;
    }

    // Waits for the first sound after frame `from` and checks that it is `effect` at `pan`;
    // returns the frame where the clip ends.
    int expectHeard(int from, SoundEffect effect, float pan)
    {
        int at = -1;
        const bool heard = until([&] {
            const int frames = recording.frames();
            at = recording.onset(from);
            return at >= 0 && frames > at + MATCH_FRAMES + 8;
        });
        EXPECT_TRUE(heard) << "nothing heard for effect " << int(effect);
        if (!heard) return from;
        EXPECT_LT(at - from, LATE_FRAMES) << "effect " << int(effect) << " came late";
        int best = 0;
        double bestLikeness = 0.0;
        for (int e = 0; e < SOUND_EFFECTS; ++e) {
            const double l = likeness(recording, at, soundBankClip(madeBank(), SoundEffect(e)), pan > 0);
            if (l > bestLikeness) bestLikeness = l, best = e;
        }
        EXPECT_EQ(best, int(effect)) << "likeness " << bestLikeness;
        EXPECT_GT(bestLikeness, 0.99);
        double left = 0.0, right = 0.0;
        for (int i = 0; i < MATCH_FRAMES; ++i) left += std::abs(recording.left(at + i)), right += std::abs(recording.right(at + i));
        const SoundPan gains = soundPan(pan);
        EXPECT_NEAR(right / left, gains.right / gains.left, 0.02 * gains.right / gains.left) << int(effect);
        const int end = at + static_cast<int>(soundBankClip(madeBank(), effect).size());
        EXPECT_TRUE(until([&] { return recording.frames() > end; }));
        return end;
    }
};

TEST_F(SoundEndToEnd, ShotsHitsAndTheLobbyAreHeardAtTheirFramesOwnInTheMiddleOtherPanned)
{
    startGame("disk", {"--volume", "100"});
    int from = expectHeard(0, SoundEffect::Connected, 0.0f);
    const std::string window = windowOf(game->pid);
    ASSERT_FALSE(window.empty());
    press(window, "x");
    from = expectHeard(from, SoundEffect::OwnShot, 0.0f);
    ASSERT_TRUE(until([&] { return ownBulletFlies(); }));  // the copy draws it before the host fires
    const float right = soundPanAt(SHIP1_START.x);
    ASSERT_TRUE(until([&] { return !ownBulletFlies(); }));  // the shared cooldown is long over
    from = recording.frames();
    match.ships[1].fireRequest = FIRE_REQUESTED;
    from = expectHeard(from, SoundEffect::OtherShot, right);
    from = recording.frames();
    match.ships[0].hitCounter = 1;
    from = expectHeard(from, SoundEffect::OwnHit, 0.0f);
    from = recording.frames();
    match.ships[1].hitCounter = 1;
    from = expectHeard(from, SoundEffect::OtherHit, right);

    from = recording.frames();
    ASSERT_TRUE(lobbyClientConnect(chatter, "127.0.0.1", HOST_PORT, CLIENT_CHANNELS));
    from = expectHeard(from, SoundEffect::Join, 0.0f);
    ASSERT_TRUE(until([&] { return chatter.connected; }));
    from = recording.frames();
    ASSERT_TRUE(chatSendLine(chatter, "hello"));
    from = expectHeard(from, SoundEffect::Chat, 0.0f);
    lobbyClientDisconnect(chatter);
    expectHeard(from, SoundEffect::Leave, 0.0f);
}

// With the sound off a shot writes silence; with --mute, M gives it back.
TEST_F(SoundEndToEnd, MuteAndVolumeZeroWriteSilenceAndMGivesTheSoundBack)
{
    struct Case {
        std::vector<std::string> arguments;
        bool heardAfterM;
    };
    for (const Case& c : {Case{{"--volume", "0"}, false}, Case{{"--mute"}, true}}) {
        startGame("disk", c.arguments);
        const std::string window = windowOf(game->pid);
        ASSERT_FALSE(window.empty());
        for (const bool m : {false, true}) {
            if (m) press(window, "m");
            ASSERT_TRUE(until([&] { return !ownBulletFlies(); }));
            const int from = recording.frames();
            press(window, "x");
            ASSERT_TRUE(until([&] { return ownBulletFlies(); }));
            if (m && c.heardAfterM) {
                expectHeard(from, SoundEffect::OwnShot, 0.0f);
                continue;
            }
            const int shot = recording.frames();
            ASSERT_TRUE(until([&] { return recording.frames() > shot + SOUND_RATE / 2; }));
            EXPECT_EQ(recording.onset(0), -1) << c.arguments[0] << (m ? " after M" : "");
        }
        press(window, "Escape");
        ASSERT_TRUE(until([&] { return game->ended(); }));
        EXPECT_TRUE(game->exitedWith(0));
        game.reset();
        std::remove(recording.path.c_str());
        recording.samples.clear();
    }
}

TEST_F(SoundEndToEnd, AFailingDeviceLeavesTheGameRunningSilentWithOneLine)
{
    startGame("nosuchdriver", {});
    ASSERT_TRUE(until([&] { game->read(); return game->said("No sound: "); }));
    const std::string window = windowOf(game->pid);
    ASSERT_FALSE(window.empty());
    press(window, "x");
    ASSERT_TRUE(until([&] { return ownBulletFlies(); }));  // still playing, silent
    press(window, "Escape");
    ASSERT_TRUE(until([&] { return game->ended(); }));
    EXPECT_TRUE(game->exitedWith(0));
    const std::size_t first = game->outText.find("No sound: ");
    EXPECT_EQ(game->outText.find("No sound: ", first + 1), std::string::npos);
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv) { return netduel::e2e::driverMain(argc, argv, netduel::gamePath); }
