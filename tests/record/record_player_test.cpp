// Playing a recording back: a seek shows what playing straight there shows, and pause,
// speed and steps change when snapshots are shown, never which.
#include <gtest/gtest.h>

#include "record/record_player.h"
#include "record_fixture.h"

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
        EXPECT_EQ(seeking->slot, 1) << where;
        EXPECT_TRUE(seeking->connected) << where;
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

}  // namespace
}  // namespace netduel
