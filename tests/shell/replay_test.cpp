// The replay's keys on a real recording: where each puts the playhead, the speed and pause.
#include <gtest/gtest.h>

#include "display/key_ring.h"
#include "record/record_fixture.h"
#include "shell/replay.h"

namespace netduel {
namespace {

std::string scanKey(int scanCode)
{
    return {static_cast<char>(KEY_NO_CHARACTER), static_cast<char>(scanCode)};
}

TEST(ReplayKeys, MoveThePlayheadTheSpeedAndThePause)
{
    test::RecordFolder folder;
    const std::string path = folder.path("keys.ndrec");
    test::writeSampleRecording(path, 60.0);
    RecordReader reader;
    std::string problem;
    ASSERT_TRUE(recordReaderOpen(reader, path, problem)) << problem;
    auto player = std::make_unique<RecordPlayer>();
    recordPlayerStart(*player, reader, true);
    struct Step {
        std::string key;
        bool shift;
        double position;
        bool paused;
        double speed;
    };
    const Step steps[] = {
        {" ", false, 0.0, true, 1.0},
        {"3", false, 18.0, true, 1.0},
        {scanKey(SCAN_RIGHT), false, 23.0, true, 1.0},
        {scanKey(SCAN_RIGHT), true, 53.0, true, 1.0},
        {scanKey(SCAN_LEFT), false, 48.0, true, 1.0},
        {scanKey(SCAN_LEFT), true, 18.0, true, 1.0},
        {" ", false, 18.0, false, 1.0},
        {"+", false, 18.0, false, 2.0},
        {"=", false, 18.0, false, 4.0},
        {"-", false, 18.0, false, 2.0},
        {"9", false, 54.0, false, 2.0},
        {scanKey(SCAN_RIGHT), true, 60.0, false, 2.0},
        {scanKey(SCAN_HOME), false, 0.0, false, 2.0},
        {scanKey(SCAN_LEFT), false, 0.0, false, 2.0},
        {scanKey(SCAN_END), false, 60.0, false, 2.0},
        {"0", false, 0.0, false, 2.0},
    };
    for (const Step& step : steps) {
        EXPECT_TRUE(replayKey(*player, step.key, step.shift)) << step.key;
        EXPECT_NEAR(player->position, step.position, 1e-6) << step.key;
        EXPECT_EQ(player->paused, step.paused) << step.key;
        EXPECT_EQ(player->speed, step.speed) << step.key;
    }
    // A step shows the next snapshot (the sample's second, late) and pauses.
    EXPECT_TRUE(replayKey(*player, ".", false));
    EXPECT_TRUE(player->paused);
    EXPECT_NEAR(player->position, 1.0 / 30.0 + test::LATE, 1e-6);
    EXPECT_EQ(player->view.smoothed.received, 2);
    // At the end Space plays again from the start.
    replayKey(*player, scanKey(SCAN_END), false);
    recordPlayerFrame(*player, 1.0 / 60.0);
    ASSERT_TRUE(player->paused);
    replayKey(*player, " ", false);
    EXPECT_FALSE(player->paused);
    EXPECT_EQ(player->position, 0.0);

    for (const std::string& other : {std::string("x"), std::string("\r"), scanKey(SCAN_UP)})
        EXPECT_FALSE(replayKey(*player, other, false));
    EXPECT_EQ(player->position, 0.0);
    recordReaderClose(reader);
}

}  // namespace
}  // namespace netduel
