// The in-memory display read back pixel by pixel, the typed-key ring and the line prompt.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <string>

#include "display/pixel_fixture.h"
#include "display/display.h"

namespace netduel {
namespace {

constexpr std::uint32_t GREY = 0xFF404040;
constexpr std::uint32_t RED = 0xFF800000;

using DisplayTest = PixelTest;

TEST_F(DisplayTest, CoordinatesRoundHalvesAwayFromZero)
{
    drawBox(display, 0.5, 0.5, 2.5, 2.49, RED, true);
    EXPECT_EQ(at(0, 0), BACKGROUND);
    EXPECT_EQ(at(1, 1), RED);
    EXPECT_EQ(at(3, 2), RED);
    EXPECT_EQ(at(3, 3), BACKGROUND);
    EXPECT_EQ(at(4, 1), BACKGROUND);

    // −0.5 rounds to −1, so a radius-2 disc reaches x = 1 but not x = 2.
    drawCircle(display, -0.5, 100.0, 2.0, RED);
    EXPECT_EQ(at(1, 100), RED);
    EXPECT_EQ(at(2, 100), BACKGROUND);

    drawLine(display, 200.5, 300.5, 200.5, 300.5);
    EXPECT_EQ(at(201, 301), FOREGROUND);
    EXPECT_EQ(countColour(195, 295, 205, 305, FOREGROUND), 1);
}

TEST_F(DisplayTest, BoxesIncludeBothCornersInEitherOrder)
{
    drawBox(display, 20, 15, 10, 10, RED, true);
    EXPECT_EQ(countColour(0, 0, 40, 40, RED), 11 * 6);
    EXPECT_EQ(at(10, 10), RED);
    EXPECT_EQ(at(20, 15), RED);
    EXPECT_EQ(at(21, 15), BACKGROUND);
    EXPECT_EQ(at(20, 16), BACKGROUND);

    drawBox(display, 100, 100, 110, 105, GREY, false);
    EXPECT_EQ(at(100, 100), GREY);
    EXPECT_EQ(at(110, 105), GREY);
    EXPECT_EQ(at(105, 100), GREY);
    EXPECT_EQ(at(100, 103), GREY);
    EXPECT_EQ(at(110, 103), GREY);
    EXPECT_EQ(countColour(101, 101, 109, 104, GREY), 0);
    EXPECT_EQ(countColour(90, 90, 120, 120, GREY), 2 * 11 + 2 * 4);
}

TEST_F(DisplayTest, ShapesPastTheEdgeAreClippedNotWrapped)
{
    drawBox(display, 1000, 700, 1100, 800, RED, true);
    EXPECT_EQ(at(1023, 767), RED);
    EXPECT_EQ(at(1000, 700), RED);
    EXPECT_EQ(countColour(0, 0, 999, 767, RED), 0);

    drawCircle(display, 1020, 384, 10, GREY);
    EXPECT_EQ(at(1023, 384), GREY);
    EXPECT_EQ(at(1010, 384), GREY);
    EXPECT_EQ(countColour(0, 370, 20, 400, GREY), 0);

    drawCircle(display, 500, -5, 10, GREY);
    EXPECT_EQ(at(500, 0), GREY);
    EXPECT_EQ(at(500, 5), GREY);
    EXPECT_EQ(at(500, 6), BACKGROUND);
    EXPECT_EQ(countColour(0, 760, 1023, 767, GREY), 0);

    drawLine(display, -50, 400, 1100, 400);
    EXPECT_EQ(countColour(0, 400, 1023, 400, FOREGROUND), DISPLAY_WIDTH);
    EXPECT_EQ(countColour(0, 401, 1023, 401, FOREGROUND), 0);
}

TEST_F(DisplayTest, DiscsAndLinesHaveTheirSizes)
{
    drawCircle(display, 300, 300, 10, RED);
    EXPECT_EQ(at(290, 300), RED);
    EXPECT_EQ(at(310, 300), RED);
    EXPECT_EQ(at(300, 290), RED);
    EXPECT_EQ(at(289, 300), BACKGROUND);
    EXPECT_EQ(at(293, 293), RED);      // inside: 7² + 7² < 10²
    EXPECT_EQ(at(292, 292), BACKGROUND);  // outside: 8² + 8² > 10²

    drawLine(display, 50, 384, 50, 369);
    EXPECT_EQ(countColour(40, 360, 60, 390, FOREGROUND), 16);
    drawLine(display, 100, 100, 110, 105);
    EXPECT_EQ(at(100, 100), FOREGROUND);
    EXPECT_EQ(at(110, 105), FOREGROUND);
    EXPECT_EQ(countColour(95, 95, 115, 110, FOREGROUND), 11);
}

TEST_F(DisplayTest, TextWritesOnlyGlyphPixels)
{
    drawBox(display, 0, 0, 200, 20, GREY, true);
    drawText(display, 8, 4, std::string("A\0B", 3));
    const int cellA = countColour(8, 4, 15, 11, FOREGROUND);
    EXPECT_GT(cellA, 0);
    EXPECT_EQ(cellA + countColour(8, 4, 15, 11, GREY), 64);  // the rest of the cell stays grey
    EXPECT_EQ(countColour(16, 4, 23, 11, GREY), 64);          // byte 0 is a blank cell
    EXPECT_GT(countColour(24, 4, 31, 11, FOREGROUND), 0);
    EXPECT_EQ(countColour(0, 0, 200, 3, FOREGROUND) + countColour(0, 12, 200, 20, FOREGROUND), 0);
}

TEST_F(DisplayTest, LongTextIsCutAtTheRightEdge)
{
    Display reference;
    drawText(reference, 0, 10, std::string(128, 'M'));
    drawText(display, 0, 10, std::string(150, 'M'));
    EXPECT_EQ(display.pixels, reference.pixels);
    EXPECT_GT(countColour(1016, 10, 1023, 17, FOREGROUND), 0);
    EXPECT_EQ(countColour(0, 18, 1023, 767, FOREGROUND), 0);
}

TEST_F(DisplayTest, ClearBlackensEverythingAndHomesTheCursor)
{
    drawBox(display, 0, 0, 1023, 767, RED, true);
    display.cursorRow = 4;
    display.cursorColumn = 7;
    displayClear(display);
    EXPECT_EQ(countColour(0, 0, 1023, 767, BACKGROUND), DISPLAY_WIDTH * DISPLAY_HEIGHT);
    EXPECT_EQ(display.cursorRow, 0);
    EXPECT_EQ(display.cursorColumn, 0);
}

// Rows handed to the back end's show hook.
struct ShowLog {
    int calls = 0;
    int first = -2;
    int last = -2;
};
ShowLog showLog;

TEST_F(DisplayTest, OnlyTheOutermostUnlockShowsTheChangedRows)
{
    showLog = {};
    display.backEnd.show = [](Display&, int first, int last) {
        ++showLog.calls;
        showLog.first = first;
        showLog.last = last;
    };
    displayLock(display);
    displayLock(display);
    displayUnlock(display, 100, 120);
    EXPECT_EQ(showLog.calls, 0);
    displayUnlock(display, 10, 20);
    EXPECT_EQ(showLog.calls, 1);
    EXPECT_EQ(showLog.first, 10);
    EXPECT_EQ(showLog.last, 120);

    displayLock(display);
    displayUnlock(display, -1, -1);
    EXPECT_EQ(showLog.calls, 2);
    EXPECT_EQ(showLog.first, 0);
    EXPECT_EQ(showLog.last, DISPLAY_HEIGHT - 1);
}

TEST_F(DisplayTest, KeyStateFollowsPressAndRelease)
{
    displayKeyEvent(display, SCAN_UP, true);
    EXPECT_TRUE(keyDown(display, SCAN_UP));
    EXPECT_TRUE(displayKeyHeld(display, SCAN_UP));
    displayKeyEvent(display, SCAN_UP, false);
    EXPECT_FALSE(displayKeyHeld(display, SCAN_UP));
    displayForgetTaps(display);
    EXPECT_FALSE(keyDown(display, SCAN_UP));
    displayKeyEvent(display, 200, true);
    EXPECT_FALSE(keyDown(display, 200));
    EXPECT_FALSE(keyDown(display, 128));
    EXPECT_FALSE(keyDown(display, -1));
    EXPECT_FALSE(displayKeyHeld(display, 128));
}

TEST_F(DisplayTest, ATapCountsAsDownUntilItIsForgotten)
{
    // Pressed and released before anyone looked: still down for the next look.
    displayKeyEvent(display, SCAN_J, true);
    displayKeyEvent(display, SCAN_J, false);
    displayKeyEvent(display, SCAN_C, true);
    displayKeyEvent(display, SCAN_C, false);
    EXPECT_TRUE(keyDown(display, SCAN_J));
    EXPECT_FALSE(displayKeyHeld(display, SCAN_J));

    displayForgetTap(display, SCAN_J);
    EXPECT_FALSE(keyDown(display, SCAN_J));
    EXPECT_TRUE(keyDown(display, SCAN_C));  // only the one key's tap went

    // A held key stays down however often the taps are forgotten.
    displayKeyEvent(display, SCAN_LEFT, true);
    displayForgetTaps(display);
    EXPECT_FALSE(keyDown(display, SCAN_C));
    EXPECT_TRUE(keyDown(display, SCAN_LEFT));
    displayForgetTap(display, SCAN_LEFT);
    EXPECT_TRUE(keyDown(display, SCAN_LEFT));
    displayKeyEvent(display, SCAN_LEFT, false);
    EXPECT_FALSE(keyDown(display, SCAN_LEFT));
}

TEST_F(DisplayTest, NotANumberDrawsNoLine)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    drawLine(display, nan, 384, 50, 369);
    drawLine(display, 50, nan, 50, 369);
    drawLine(display, 50, 384, nan, 369);
    drawLine(display, 50, 384, 50, nan);
    EXPECT_EQ(countColour(0, 0, 1023, 767, FOREGROUND), 0);
}

TEST_F(DisplayTest, LinesFarOffTheSurfaceAreCutToIt)
{
    const double inf = std::numeric_limits<double>::infinity();
    drawLine(display, 50, 300, inf, 300);
    EXPECT_EQ(countColour(50, 300, 1023, 300, FOREGROUND), 1024 - 50);
    EXPECT_EQ(countColour(0, 0, 1023, 767, FOREGROUND), 1024 - 50);

    displayClear(display);
    drawLine(display, -1e12, 200, 1e12, 200);
    drawLine(display, 600, 1e300, 600, -1e300);
    EXPECT_EQ(countColour(0, 200, 1023, 200, FOREGROUND), DISPLAY_WIDTH);
    EXPECT_EQ(countColour(600, 0, 600, 767, FOREGROUND), DISPLAY_HEIGHT);
    EXPECT_EQ(countColour(0, 0, 1023, 767, FOREGROUND), DISPLAY_WIDTH + DISPLAY_HEIGHT - 1);

    displayClear(display);
    drawLine(display, -inf, -inf, inf, inf);  // the diagonal through the top-left corner
    for (int i = 0; i < DISPLAY_HEIGHT; ++i) EXPECT_EQ(at(i, i), FOREGROUND) << i;
    EXPECT_EQ(countColour(0, 0, 1023, 767, FOREGROUND), DISPLAY_HEIGHT);

    displayClear(display);
    drawLine(display, -100, -100, 3000, -2);    // above the top edge all the way
    drawLine(display, 1025, -50, 1025, 5000);   // right of the right edge
    drawLine(display, -3, 900, 2000, 770);      // below the bottom edge
    drawLine(display, 1e9, 1e9, 1e9, 1e9);
    EXPECT_EQ(countColour(0, 0, 1023, 767, FOREGROUND), 0);
}

// A cut line draws what the whole line draws on the surface: one pixel per step along its
// longer axis between the end point inside and the edge, each within a pixel of the true
// line, whichever way it is drawn, and nothing past the end point inside.
TEST_F(DisplayTest, CutLinesKeepTheirPathUpToTheEdge)
{
    struct Point {
        double x, y;
    };
    const Point inside{500.0, 400.0};
    for (const Point far : {Point{-700, 100}, Point{2500, 900}, Point{650, -1700},
                            Point{100, 2400}, Point{-1e5, -2e5}, Point{3e5, 2e5}}) {
        const double dx = far.x - inside.x;
        const double dy = far.y - inside.y;
        const bool alongX = std::abs(dx) >= std::abs(dy);
        const double major = alongX ? dx : dy;  // the longer axis
        const double minor = alongX ? dy : dx;
        const double majorStart = alongX ? inside.x : inside.y;
        const double minorStart = alongX ? inside.y : inside.x;
        const int majorSize = alongX ? DISPLAY_WIDTH : DISPLAY_HEIGHT;
        const int minorSize = alongX ? DISPLAY_HEIGHT : DISPLAY_WIDTH;
        const int steps = static_cast<int>(major > 0 ? majorSize - 1 - majorStart : majorStart);
        for (const bool outwards : {true, false}) {
            displayClear(display);
            if (outwards)
                drawLine(display, inside.x, inside.y, far.x, far.y);
            else
                drawLine(display, far.x, far.y, inside.x, inside.y);
            for (int i = 0; i <= steps; ++i) {
                const int column = static_cast<int>(majorStart + (major > 0 ? i : -i));
                const double trueMinor = minorStart + minor * i / std::abs(major);
                int lit = 0;
                for (int across = 0; across < minorSize; ++across) {
                    if ((alongX ? at(column, across) : at(across, column)) != FOREGROUND) continue;
                    ++lit;
                    EXPECT_LE(std::abs(across - trueMinor), 1.0) << far.x << "," << far.y << " step " << i;
                }
                EXPECT_EQ(lit, 1) << far.x << "," << far.y << " step " << i << (outwards ? " out" : " in");
            }
            EXPECT_EQ(countColour(0, 0, 1023, 767, FOREGROUND), steps + 1) << far.x << "," << far.y;
        }
    }
}

void expectRect(DisplayRect rect, int x, int y, int width, int height)
{
    EXPECT_EQ(rect.x, x);
    EXPECT_EQ(rect.y, y);
    EXPECT_EQ(rect.width, width);
    EXPECT_EQ(rect.height, height);
}

TEST(DisplayFit, TheSurfaceFillsTheLargest4By3RectangleCentredBetweenBars)
{
    expectRect(displayFit(1024, 768), 0, 0, 1024, 768);
    expectRect(displayFit(800, 600), 0, 0, 800, 600);
    // Wider than 4:3: bars left and right.
    expectRect(displayFit(1600, 900), 200, 0, 1200, 900);
    expectRect(displayFit(1920, 1080), 240, 0, 1440, 1080);
    expectRect(displayFit(3840, 2160), 480, 0, 2880, 2160);
    // Taller: bars above and below; an odd pixel left over goes to the far bar.
    expectRect(displayFit(1024, 1000), 0, 116, 1024, 768);
    expectRect(displayFit(1000, 1001), 0, 125, 1000, 750);
    expectRect(displayFit(1367, 768), 171, 0, 1024, 768);
    // Shapes that do not divide evenly never overflow the area.
    expectRect(displayFit(1023, 767), 0, 0, 1022, 767);
    expectRect(displayFit(1, 1), 0, 0, 1, 0);
    expectRect(displayFit(0, 768), 0, 0, 0, 0);
    expectRect(displayFit(1024, -1), 0, 0, 0, 0);
    const DisplayRect huge = displayFit(2000000000, 2000000000);
    EXPECT_EQ(huge.width, 2000000000);
    EXPECT_EQ(huge.height, 1500000000);
}

TEST(DisplayFit, AStartingWindowTooLargeForTheScreenShrinksKeepingItsShape)
{
    const auto fit = [](int width, int height, int screenWidth, int screenHeight) {
        const DisplayWindow window = displayWindowFit({width, height, true}, screenWidth, screenHeight);
        EXPECT_TRUE(window.fullscreen);
        return std::pair{window.width, window.height};
    };
    EXPECT_EQ(fit(1024, 768, 1920, 1080), std::pair(1024, 768));
    EXPECT_EQ(fit(1920, 1080, 1920, 1080), std::pair(1920, 1080));
    EXPECT_EQ(fit(4096, 3072, 1920, 1080), std::pair(1440, 1080));  // the height limits
    EXPECT_EQ(fit(4000, 1000, 1920, 1080), std::pair(1920, 480));   // the width limits
    EXPECT_EQ(fit(1024, 768, 1366, 700), std::pair(933, 700));
    EXPECT_EQ(fit(3000, 2000, 0, 0), std::pair(3000, 2000));        // screen unknown
    // Never below the smallest window, however small the ask or the screen.
    EXPECT_EQ(fit(10, 10, 1920, 1080), std::pair(WINDOW_MIN_WIDTH, WINDOW_MIN_HEIGHT));
    EXPECT_EQ(fit(1024, 768, 100, 100), std::pair(WINDOW_MIN_WIDTH, WINDOW_MIN_HEIGHT));
}

TEST(KeyRingTest, KeepsTheLastFifteenKeysOldestFirst)
{
    KeyRing ring;
    EXPECT_EQ(keyRingRead(ring), "");
    for (char c = 'a'; c < 'a' + 20; ++c) keyRingPush(ring, static_cast<KeyEntry>(c));
    std::string read;
    for (int i = 0; i < 50; ++i) read += keyRingRead(ring);
    EXPECT_EQ(read, "fghijklmnopqrst");
    EXPECT_EQ(keyRingRead(ring), "");
}

TEST(KeyRingTest, KeysWithoutACharacterReadAsTwoBytes)
{
    Display display;
    keyRingPush(display.keys, keyWithoutCharacter(SCAN_UP));
    keyRingPush(display.keys, 0xE9);
    keyRingPush(display.keys, keyWithoutCharacter(SCAN_CLOSE));
    EXPECT_EQ(readKey(display), std::string("\xFF\x48"));
    EXPECT_EQ(readKey(display), std::string("\xE9"));
    EXPECT_EQ(readKey(display), std::string("\xFF\x6B"));
    EXPECT_EQ(readKey(display), "");
}

TEST(InputFieldTest, TakesTheFirstField)
{
    EXPECT_EQ(inputField("y"), "y");
    EXPECT_EQ(inputField(" \t y"), "y");
    EXPECT_EQ(inputField("Y "), "Y ");
    EXPECT_EQ(inputField("Y,more text"), "Y");
    EXPECT_EQ(inputField("a b , c"), "a b ");
    EXPECT_EQ(inputField(",y"), "");
    EXPECT_EQ(inputField(""), "");
    EXPECT_EQ(inputField("   "), "");
    EXPECT_EQ(inputField("  \"a, b\" c,d"), "a, b");
    EXPECT_EQ(inputField("\"unclosed, still"), "unclosed, still");
    EXPECT_EQ(inputField(std::string(5000, 'x')).size(), 4096u);
}

class PromptTest : public PixelTest {
protected:
    void type(std::string_view keys)
    {
        for (char c : keys) keyRingPush(display.keys, static_cast<unsigned char>(c));
    }
};

TEST_F(PromptTest, EditsTheLineAndReturnsItsFirstField)
{
    type("\t x\bb,z\rq");
    EXPECT_EQ(promptLine(display, "Create Host?"), "b");
    EXPECT_EQ(readKey(display), "q");  // Enter ended the line; later keys wait
    EXPECT_EQ(display.cursorRow, 1);
    EXPECT_EQ(display.cursorColumn, 0);
    EXPECT_GT(countColour(0, 0, 8 * 16 - 1, 7, FOREGROUND), 0);  // "Create Host? b,z"
    EXPECT_EQ(countColour(8 * 16, 0, 1023, 7, FOREGROUND), 0);   // no cursor after Enter
    EXPECT_EQ(countColour(0, 8, 1023, 767, FOREGROUND), 0);
}

TEST_F(PromptTest, ArrowsMoveTheEditPosition)
{
    type("bd");
    keyRingPush(display.keys, keyWithoutCharacter(SCAN_LEFT));
    type("c");
    keyRingPush(display.keys, keyWithoutCharacter(SCAN_HOME));
    type("a");
    keyRingPush(display.keys, keyWithoutCharacter(SCAN_DELETE));
    type("b\r");
    EXPECT_EQ(promptLine(display, ">"), "abcd");
}

TEST_F(PromptTest, KeysTypedIntoThePromptAreNoTapsAfterwards)
{
    displayKeyEvent(display, SCAN_J, true);
    displayKeyEvent(display, SCAN_J, false);
    type("j\r");
    EXPECT_EQ(promptLine(display, "?"), "j");
    EXPECT_FALSE(keyDown(display, SCAN_J));
}

TEST_F(PromptTest, EndsWithTheKeysWhenThereIsNoWindow)
{
    type("yes");
    EXPECT_EQ(promptLine(display, "?"), "yes");
    EXPECT_EQ(promptLine(display, "?"), "");
    EXPECT_EQ(display.cursorRow, 2);
}

}  // namespace
}  // namespace netduel
