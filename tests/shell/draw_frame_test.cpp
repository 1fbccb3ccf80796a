// drawFrame read back by pixels: ships, heading lines, bullets, the panel and its text.
#include <gtest/gtest.h>

#include <limits>

#include "base/timer.h"
#include "duel/score.h"
#include "lobby/lobby_protocol.h"
#include "display/pixel_fixture.h"
#include "shell/draw_frame.h"
#include "shell/host.h"
#include "shell/shell.h"

namespace netduel {
namespace {

constexpr double HIT_WHITE_TIME = 0.04;  // sin(100·t) < 0
constexpr double HIT_OWN_TIME = 0.01;    // sin(100·t) > 0
constexpr double PROMPT_SHOWN_TIME = 0.1;   // sin(10·t) > 0
constexpr double PROMPT_HIDDEN_TIME = 0.4;  // sin(10·t) < 0

class DrawFrameTest : public PixelTest {
protected:
    MatchState match;
    LobbyClient client;
    ENetHost* fakeHost = reinterpret_cast<ENetHost*>(&client);  // only tested for presence

    void SetUp() override
    {
        timerSetManual(HIT_OWN_TIME);
        hostMatchStart(match);
    }
    void TearDown() override { timerSetReal(); }

    void draw(bool chatMode = false, std::string_view echo = "")
    {
        drawFrame(display, match, client, chatMode, echo);
    }
    // Rows 1…59 between the frame's side edges: the panel's inside.
    int panelText() const { return countColour(1, 1, 1022, 59, FOREGROUND); }
};

TEST_F(DrawFrameTest, StartStateShowsBothShipsWithHeadingLines)
{
    draw();
    EXPECT_EQ(at(50, 389), SHIP0_COLOUR);
    EXPECT_EQ(at(40, 384), SHIP0_COLOUR);
    EXPECT_EQ(at(60, 384), SHIP0_COLOUR);
    EXPECT_EQ(at(974, 389), SHIP1_COLOUR);
    EXPECT_EQ(at(984, 384), SHIP1_COLOUR);
    for (int y = 369; y <= 384; ++y) {
        EXPECT_EQ(at(50, y), FOREGROUND) << y;
        EXPECT_EQ(at(974, y), FOREGROUND) << y;
    }
    EXPECT_EQ(at(50, 368), BACKGROUND);
    EXPECT_EQ(at(974, 368), BACKGROUND);
    EXPECT_EQ(at(500, 384), BACKGROUND);
}

TEST_F(DrawFrameTest, AKeptScoreIsCentredBelowThePanelWithTheHoldersNames)
{
    const int top = int(PANEL_BOTTOM + SCORE_MARGIN);
    const auto row = [&](int left, int right) { return countColour(left, top, right, top + CELL_SIZE - 1, FOREGROUND); };
    draw();
    EXPECT_EQ(row(0, 1023), 0) << "no score kept";
    scoreWrite(match.ships[0], {3, 5});
    scoreWrite(match.ships[1], {1, 5});
    const std::string names[] = {"alice"};
    drawFrame(display, match, client, false, "", "", {}, nullptr, names);
    const std::string text = scoreBoardText(match, "alice", "ship 1");
    EXPECT_EQ(text, "alice 3 - 1 ship 1  (first to 5)");
    const int width = CELL_SIZE * int(text.size());
    const int left = (DISPLAY_WIDTH - width) / 2;
    EXPECT_GT(row(left, left + 5 * CELL_SIZE - 1), 20) << "alice";
    EXPECT_GT(row(left + width - 5 * CELL_SIZE, left + width - 1), 10) << "to 5)";
    EXPECT_EQ(row(0, left - 1) + row(left + width, 1023), 0);
}

TEST_F(DrawFrameTest, HeadingLineFollowsTheHeading)
{
    match.ships[0].heading = 1.5707963f;  // nose to the left: (x − 15, y)
    draw();
    EXPECT_EQ(at(35, 384), FOREGROUND);
    EXPECT_EQ(at(34, 384), BACKGROUND);
    EXPECT_EQ(at(50, 374), SHIP0_COLOUR);
}

TEST_F(DrawFrameTest, PanelIsFilledAndFramedAndEmptyBeforeConnecting)
{
    fixedTextSet(client.history[0], "* Anonymous0 connected =)");
    draw(true, "typed");
    EXPECT_EQ(at(500, 30), PANEL_FILL);
    EXPECT_EQ(at(0, 0), PANEL_FRAME);
    EXPECT_EQ(at(500, 0), PANEL_FRAME);
    EXPECT_EQ(at(500, 60), PANEL_FRAME);
    EXPECT_EQ(at(0, 30), PANEL_FRAME);
    EXPECT_EQ(at(1023, 30), PANEL_FRAME);
    EXPECT_EQ(at(1023, 60), PANEL_FRAME);
    EXPECT_EQ(at(500, 61), BACKGROUND);
    EXPECT_EQ(countColour(1, 1, 1022, 59, PANEL_FILL), 1022 * 59);
}

TEST_F(DrawFrameTest, OverlayIsAFramedBoxInTheBottomRightCornerWithItsLines)
{
    draw();
    EXPECT_EQ(countColour(900, 700, 1023, 767, PANEL_FRAME), 0);
    const std::string lines[] = {"rtt 50+-2 ms", "fps 60"};
    drawFrame(display, match, client, false, "", "", lines);
    EXPECT_EQ(displayPixel(display, 1019, 763), PANEL_FRAME);  // the box's corner, 4 px off both edges
    EXPECT_EQ(displayPixel(display, 1020, 764), BACKGROUND);
    const int left = 1019 - 12 * CELL_SIZE - 8;
    EXPECT_EQ(displayPixel(display, left, 763 - 2 * CELL_SIZE - 8), PANEL_FRAME);
    EXPECT_EQ(displayPixel(display, left - 1, 763), BACKGROUND);
    EXPECT_GT(countColour(left + 1, 740, 1018, 762, FOREGROUND), 20);  // both lines of text
    EXPECT_GT(countColour(1019 - 4 - 6 * CELL_SIZE, 755, 1018, 762, FOREGROUND), 5);
}

TEST_F(DrawFrameTest, AReplaysBarShowsThePlayedShareAndItsPanelTheRecordedLines)
{
    fixedTextSet(client.history[0], "newest");
    draw();
    EXPECT_EQ(countColour(0, 10, 47, 17, FOREGROUND), 0) << "no host, no history";
    EXPECT_EQ(countColour(0, int(BAR_TOP), 1023, 767, PANEL_FILL), 0);

    const PlaybackBar bar{25.0, 100.0, 2.0, true};
    EXPECT_EQ(playbackBarText(bar), "25.0 / 100.0 s  2x  paused");
    EXPECT_EQ(playbackBarText(PlaybackBar{3.04, 63.44, 0.25, false}), "3.0 / 63.4 s  0.25x");
    drawFrame(display, match, client, false, "", "", {}, &bar);
    EXPECT_GT(countColour(0, 10, 47, 17, FOREGROUND), 0) << "a replay's panel shows the history";
    const int top = int(BAR_TOP);
    for (const int row : {top, top + 1}) {
        EXPECT_EQ(at(0, row), PANEL_FRAME);
        EXPECT_EQ(at(255, row), PANEL_FRAME) << "a quarter of 1023 px played";
        EXPECT_EQ(at(257, row), PANEL_FILL);
    }
    EXPECT_EQ(at(100, top + 2), PANEL_FILL);
    EXPECT_EQ(at(1023, 767), PANEL_FILL);
    const int textRight = 4 + CELL_SIZE * int(playbackBarText(bar).size());
    EXPECT_GT(countColour(4, top + 4, textRight, 767, FOREGROUND), 50);
    EXPECT_EQ(countColour(textRight + 1, top + 2, 1023, 767, FOREGROUND), 0);
}

TEST_F(DrawFrameTest, PanelCoversShipsInTheTopRows)
{
    match.ships[0].position = Vec2{200.0f, 55.0f};
    draw();
    EXPECT_EQ(at(200, 59), PANEL_FILL);
    EXPECT_EQ(at(200, 62), SHIP0_COLOUR);
}

TEST_F(DrawFrameTest, HistoryLinesShowOnceConnectedNewestOnTop)
{
    client.host = fakeHost;
    draw();
    EXPECT_EQ(panelText(), 0);  // empty lines draw nothing

    fixedTextSet(client.history[0], "newest");
    fixedTextSet(client.history[4], std::string(150, 'M'));
    draw();
    EXPECT_GT(countColour(0, 10, 47, 17, FOREGROUND), 0);
    EXPECT_EQ(countColour(48, 10, 1023, 17, FOREGROUND), 0);
    EXPECT_EQ(countColour(0, 18, 1023, 49, FOREGROUND), 0);
    EXPECT_GT(countColour(1016, 50, 1023, 57, FOREGROUND), 0);  // cut after 128 cells
    EXPECT_EQ(at(5, 19), PANEL_FILL);  // grey between the letters and the lines
    EXPECT_EQ(countColour(1, 58, 1022, 59, PANEL_FILL), 1022 * 2);
}

TEST_F(DrawFrameTest, ChatPromptBlinksAndTheEchoStays)
{
    client.host = fakeHost;
    timerSetManual(PROMPT_HIDDEN_TIME);
    draw(true, "");
    const int withoutPrompt = panelText();
    timerSetManual(PROMPT_SHOWN_TIME);
    draw(true, "");
    EXPECT_GT(panelText(), withoutPrompt);
    EXPECT_GT(countColour(0, 0, 7, 7, FOREGROUND), 0);
    EXPECT_EQ(countColour(8, 0, 1023, 9, FOREGROUND), 0);

    timerSetManual(PROMPT_HIDDEN_TIME);
    draw(true, "hi");
    EXPECT_EQ(countColour(0, 1, 15, 7, FOREGROUND), 0);
    EXPECT_GT(countColour(16, 0, 31, 7, FOREGROUND), 0);

    draw(false, "hi");
    EXPECT_EQ(countColour(0, 1, 1022, 9, FOREGROUND), 0);
}

TEST_F(DrawFrameTest, HitShipBlinksWhiteWithTheClock)
{
    match.ships[0].hitCounter = 3;
    match.ships[1].hitCounter = -1;
    timerSetManual(HIT_WHITE_TIME);
    draw();
    EXPECT_EQ(at(50, 389), HIT_BLINK_COLOUR);
    EXPECT_EQ(at(974, 389), SHIP1_COLOUR);
    timerSetManual(HIT_OWN_TIME);
    draw();
    EXPECT_EQ(at(50, 389), SHIP0_COLOUR);
}

TEST_F(DrawFrameTest, OnlyAHitShipBlinks)
{
    // In the white phase: the first step of a hit blinks, a ship never hit does not.
    match.ships[0].hitCounter = 1;
    match.ships[1].hitCounter = 0;
    timerSetManual(HIT_WHITE_TIME);
    draw();
    EXPECT_EQ(at(50, 389), HIT_BLINK_COLOUR);
    EXPECT_EQ(at(974, 389), SHIP1_COLOUR);
    EXPECT_EQ(at(984, 384), SHIP1_COLOUR);
}

TEST_F(DrawFrameTest, AHeadingThatIsNoNumberDrawsTheBodyWithoutItsLine)
{
    match.ships[0].heading = std::numeric_limits<float>::quiet_NaN();
    match.ships[1].heading = std::numeric_limits<float>::infinity();
    draw();
    EXPECT_EQ(at(50, 384), SHIP0_COLOUR);
    EXPECT_EQ(at(974, 384), SHIP1_COLOUR);
    EXPECT_EQ(at(974, 375), SHIP1_COLOUR);
    EXPECT_EQ(countColour(0, 61, 1023, 767, FOREGROUND), 0);
}

TEST_F(DrawFrameTest, OnlyActiveBulletsAreDrawn)
{
    match.ships[1].bullets[3].position = Vec2{300.0f, 300.0f};
    match.ships[1].bullets[3].active = BULLET_ACTIVE;
    match.ships[1].bullets[4].position = Vec2{400.0f, 400.0f};
    draw();
    EXPECT_EQ(at(300, 300), BULLET_COLOUR);
    EXPECT_EQ(at(302, 300), BULLET_COLOUR);
    EXPECT_EQ(at(303, 300), BACKGROUND);
    EXPECT_EQ(countColour(390, 390, 410, 410, BACKGROUND), 21 * 21);
}

}  // namespace
}  // namespace netduel
