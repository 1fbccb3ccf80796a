// Playing a recording back: a seek shows what playing straight there shows, and pause,
// speed and steps change when snapshots are shown, never which; the replay's sound.
#include <gtest/gtest.h>

#include <map>

#include "base/timer.h"
#include "lobby/lobby_client.h"
#include "record/record_player.h"
#include "record_fixture.h"
#include "sound/sound_cues.h"

namespace netduel {
namespace {

struct PlayerTest : ::testing::Test {
    test::RecordFolder folder;
    std::vector<RecordEvent> written;
    RecordReader reader;

    void SetUp() override
    {
        const std::string path = folder.path("play.ndrec");
        written = test::writeSampleRecording(path, 6.0);
        std::string problem;
        ASSERT_TRUE(recordReaderOpen(reader, path, problem)) << problem;
    }
    void TearDown() override { recordReaderClose(reader); }

    // The snapshots recorded up to `time`, and the newest of them.
    std::pair<int, const RecordEvent*> recordedUpTo(double time) const
    {
        int count = 0;
        const RecordEvent* newest = nullptr;
        for (const RecordEvent& event : written) {
            if (event.kind != RecordKind::Snapshot || event.time > time) continue;
            ++count;
            newest = &event;
        }
        return {count, newest};
    }
};

void expectSameShips(const MatchState& a, const MatchState& b, double tolerance, const std::string& where)
{
    for (int ship = 0; ship < SHIP_COUNT; ++ship) {
        EXPECT_NEAR(a.ships[ship].position.x, b.ships[ship].position.x, tolerance) << where << " ship " << ship;
        EXPECT_NEAR(a.ships[ship].position.y, b.ships[ship].position.y, tolerance) << where << " ship " << ship;
        EXPECT_NEAR(a.ships[ship].heading, b.ships[ship].heading, tolerance) << where << " ship " << ship;
        for (int j = 0; j < BULLETS_PER_SHIP; ++j)
            EXPECT_EQ(a.ships[ship].bullets[j].active, b.ships[ship].bullets[j].active) << where << " bullet " << j;
    }
}

TEST_F(PlayerTest, SeekingShowsWhatPlayingStraightThereShows)
{
    auto straight = std::make_unique<RecordPlayer>();
    recordPlayerStart(*straight, reader, true);
    auto seeking = std::make_unique<RecordPlayer>();
    recordPlayerStart(*seeking, reader, true);
    // Inside the first lead-in, just after blocks begin (where a block alone would hold
    // one snapshot), and the end.
    ASSERT_GE(reader.blocks.size(), 5u);
    for (const double target : {0.67, reader.blocks[2].base + 0.02, reader.blocks[4].base + 0.02, 99.0}) {
        MatchState shown;
        while (straight->position < target && !straight->paused) shown = recordPlayerFrame(*straight, 1.0 / 60.0);
        recordPlayerSeek(*seeking, 5.9 - straight->position);  // from somewhere else
        recordPlayerSeek(*seeking, straight->position);
        const MatchState& sought = recordPlayerFrame(*seeking, 0.0);
        const std::string where = "at " + std::to_string(straight->position) + " s";
        EXPECT_EQ(snapshotEncode(seeking->match), snapshotEncode(straight->match)) << where;
        expectSameShips(sought, shown, 0.05, where);
        for (int i = 0; i < HISTORY_LINES; ++i)
            EXPECT_STREQ(seeking->panel.history[i], straight->panel.history[i]) << where << " line " << i;
        EXPECT_EQ(seeking->players, straight->players) << where;
        EXPECT_EQ(lobbyClientOwnSlot(seeking->panel), 1) << where;
        EXPECT_TRUE(seeking->panel.connected) << where;
    }
    EXPECT_TRUE(straight->paused) << "the end pauses";
    EXPECT_DOUBLE_EQ(straight->position, reader.length);
}

TEST_F(PlayerTest, PauseSpeedAndStepsChangeWhenSnapshotsShowNeverWhich)
{
    auto player = std::make_unique<RecordPlayer>();
    recordPlayerStart(*player, reader, true);
    struct Stretch {
        int frames;
        int speedSteps;  // before the stretch
        bool paused;
        int steps;       // '.' presses before the stretch
    };
    const Stretch stretches[] = {
        {20, 0, false, 0}, {30, 2, false, 0}, {15, 0, true, 0}, {10, 1, false, 0},
        {40, -5, false, 0}, {5, 0, true, 3}, {30, 3, false, 0}, {30, 5, false, 0},
    };
    for (const Stretch& stretch : stretches) {
        recordPlayerSpeed(*player, stretch.speedSteps);
        for (int i = 0; i < stretch.steps; ++i) {
            const int before = recordedUpTo(player->position).first;
            ASSERT_TRUE(recordPlayerStep(*player));
            EXPECT_EQ(recordedUpTo(player->position).first, before + 1) << "a step shows one snapshot";
        }
        player->paused = stretch.paused;
        for (int frame = 0; frame < stretch.frames; ++frame) {
            const double before = player->position;
            recordPlayerFrame(*player, 1.0 / 60.0);
            if (stretch.paused) {
                EXPECT_EQ(player->position, before);
            }
            const auto [count, newest] = recordedUpTo(player->position);
            ASSERT_NE(newest, nullptr);
            EXPECT_EQ(player->view.smoothed.received, count) << "at " << player->position << " s, "
                                                            << player->speed << "x";
            MatchState recorded;
            snapshotApply(recorded, newest->snapshot);
            EXPECT_EQ(snapshotEncode(player->match), snapshotEncode(recorded)) << "at " << player->position;
        }
    }
    // Eight times at most and a quarter at least: ten doublings from 0.25 end at 8.
    EXPECT_EQ(player->speed, PLAYER_SPEED_MAX);
    recordPlayerSpeed(*player, -10);
    EXPECT_EQ(player->speed, PLAYER_SPEED_MIN);
}


// The replay hears the match as the recording copy heard it: its own ship's shots as its
// own (in the middle), the other ship's as the other's, and its connection come and go.
TEST(PlayerSound, TheRecordingCopysSlotAndLinkAreHeardAsItsOwn)
{
    test::RecordFolder folder;
    const std::string path = folder.path("slot.ndrec");
    RecordWriter writer;
    ASSERT_TRUE(recordWriterOpen(writer, path, 0.0));
    test::SampleMatch sample;
    for (int i = 0; i <= 90; ++i) {
        const double at = i / 30.0;
        if (i == 15) recordWriterLink(writer, true, at);
        if (i == 15) recordWriterSlot(writer, 0, at);
        if (i == 75) recordWriterLink(writer, false, at);
        if (i == 75) recordWriterSlot(writer, -1, at);
        timerSetManual(at);  // the guns' cooldown runs on the program clock
        recordWriterSnapshot(writer, sample.next(), at);
        recordWriterTick(writer, at);
    }
    timerSetReal();
    recordWriterClose(writer);
    RecordReader reader;
    std::string problem;
    ASSERT_TRUE(recordReaderOpen(reader, path, problem)) << problem;
    auto player = std::make_unique<RecordPlayer>();
    recordPlayerStart(*player, reader, true);
    SoundWatch watch;
    std::vector<SoundCue> cues;
    std::map<SoundEffect, int> heard;
    int ownSlotSeen = -1;
    while (!player->paused) {
        const MatchState& drawn = recordPlayerFrame(*player, 1.0 / 60.0);
        ownSlotSeen = std::max(ownSlotSeen, lobbyClientOwnSlot(player->panel));
        cues.clear();
        soundWatchMatch(watch, drawn, lobbyClientOwnSlot(player->panel), player->view.smoothed.received > 0, cues);
        soundWatchLobby(watch, player->panel, cues);
        for (const SoundCue& cue : cues) {
            ++heard[cue.effect];
            if (cue.effect == SoundEffect::OwnShot) {
                EXPECT_EQ(cue.pan, 0.0f);
            }
        }
    }
    recordReaderClose(reader);
    EXPECT_EQ(ownSlotSeen, 0);
    EXPECT_EQ(heard[SoundEffect::Connected], 1);
    EXPECT_EQ(heard[SoundEffect::Lost], 1);
    // Ship 0 fires (the guns' cooldown is shared, so ship 1 never does): its own while the
    // recording copy holds slot 0, the other's before and after.
    EXPECT_GT(heard[SoundEffect::OwnShot], 0);
    EXPECT_GT(heard[SoundEffect::OtherShot], 0);
}

}  // namespace
}  // namespace netduel
