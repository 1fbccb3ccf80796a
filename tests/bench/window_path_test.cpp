// The window benchmark's reading of pixels and its comparison of a drawn path with the
// host's: a ship found where it is drawn whatever its heading line covers, and the error,
// delay, stalls and jumps of drawn paths whose faults are known.
#include "window_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace netduel {
namespace {

constexpr std::uint32_t RED = 0x800000;
constexpr std::uint32_t BLUE = 0x000080;
constexpr std::uint32_t WHITE = 0xFFFFFF;
constexpr std::uint32_t YELLOW = 0xFFFF00;

struct Picture {
    int width = 200;
    int height = 150;
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(std::size_t(width) * height, 0);

    void set(int x, int y, std::uint32_t colour)
    {
        if (x >= 0 && y >= 0 && x < width && y < height) pixels[std::size_t(y) * width + x] = colour;
    }
    void disc(int cx, int cy, int radius, std::uint32_t colour)
    {
        for (int y = cy - radius; y <= cy + radius; ++y)
            for (int x = cx - radius; x <= cx + radius; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) set(x, y, colour);
    }
    // The heading line as the game draws it: from the centre 15 px towards the nose.
    void heading(int cx, int cy, double angle)
    {
        for (int i = 0; i <= 60; ++i) {
            const double u = 15.0 * i / 60.0;
            set(int(std::lround(cx - u * std::sin(angle))), int(std::lround(cy - u * std::cos(angle))), WHITE);
        }
    }
    PixelView view(int left = 0, int top = 0) const { return {pixels.data(), width, height, width, left, top}; }
};

TEST(WindowPixels, AShipIsFoundAtItsCentreWhateverItsHeadingLineCovers)
{
    for (const double heading : {0.0, 0.5, 1.5707963, 2.4, 3.1415926, -1.5707963, -0.8}) {
        Picture picture;
        picture.disc(80, 60, 10, RED);
        picture.heading(80, 60, heading);
        picture.disc(104, 60, 10, BLUE);  // the other ship, touching
        picture.disc(80, 75, 2, YELLOW);  // a bullet across the rim
        Vec2 centre;
        ASSERT_TRUE(windowDiscFind(picture.view(300, 200), RED, 10.0f, centre)) << heading;
        EXPECT_NEAR(centre.x, 380.0f, 0.5f) << heading;  // in the window, not the rectangle
        EXPECT_NEAR(centre.y, 260.0f, 0.5f) << heading;
        ASSERT_TRUE(windowDiscFind(picture.view(), BLUE, 10.0f, centre));
        EXPECT_EQ(centre, (Vec2{104.0f, 60.0f}));
    }
}

TEST(WindowPixels, TooFewPixelsOfTheColourOrADiscCutByTheRectangleAreNoShip)
{
    Picture small;
    small.disc(50, 50, 4, RED);  // under a quarter of a radius-10 disc: a bullet's worth, say
    Vec2 centre{1.0f, 2.0f};
    EXPECT_FALSE(windowDiscFind(small.view(), RED, 10.0f, centre));
    EXPECT_EQ(centre, (Vec2{1.0f, 2.0f}));
    // Cut by each edge of the rectangle, a disc's box has its middle elsewhere.
    for (const auto& [x, y] : {std::pair{4, 75}, std::pair{100, 3}, std::pair{195, 75}, std::pair{100, 146}}) {
        Picture cut;
        cut.disc(x, y, 10, RED);
        EXPECT_FALSE(windowDiscFind(cut.view(), RED, 10.0f, centre)) << x << "," << y;
        cut.disc(x, y, 10, 0);
        cut.disc(100, 75, 10, RED);
        ASSERT_TRUE(windowDiscFind(cut.view(), RED, 10.0f, centre));
        EXPECT_EQ(centre, (Vec2{100.0f, 75.0f}));
    }
}

TEST(WindowPixels, AColourCountsNearAPointOnlyWithinTheRadius)
{
    Picture picture;
    picture.set(119, 50, YELLOW);  // 19 px right of (100, 50)
    picture.set(100, 80, RED);
    EXPECT_TRUE(windowColourNear(picture.view(), YELLOW, {100.0f, 50.0f}, 19.0f));
    EXPECT_FALSE(windowColourNear(picture.view(), YELLOW, {100.0f, 50.0f}, 18.9f));
    EXPECT_FALSE(windowColourNear(picture.view(), YELLOW, {100.0f, 80.0f}, 18.9f));  // the red one is no bullet
    EXPECT_TRUE(windowColourNear(picture.view(10, 0), YELLOW, {129.0f, 50.0f}, 0.5f));
}

TEST(WindowPixels, EachGroupOfAColourIsADiscAtTheMiddleOfItsBox)
{
    Picture picture;
    picture.disc(30, 40, 2, YELLOW);
    picture.disc(36, 40, 2, YELLOW);   // a gap of one pixel: a second bullet
    picture.disc(80, 60, 10, BLUE);    // a ship under a bullet, which stays one group
    picture.disc(89, 60, 2, YELLOW);
    picture.set(150, 100, YELLOW);     // corners touching are one group
    picture.set(151, 101, YELLOW);
    std::vector<Vec2> centres = windowDiscsFind(picture.view(100, 10), YELLOW);
    std::sort(centres.begin(), centres.end(), [](Vec2 a, Vec2 b) { return a.x < b.x; });
    const std::vector<Vec2> expected{{130.0f, 50.0f}, {136.0f, 50.0f}, {189.0f, 70.0f}, {250.5f, 110.5f}};
    EXPECT_EQ(centres, expected);
    EXPECT_TRUE(windowDiscsFind(picture.view(), RED).empty());
}

// A touch as the shooter's window showed it against the flash: reads every 1/60 s of
// touch and white frames, and what the pairing makes of them.
TEST(WindowShots, TouchesAndFlashesPairWithinTheFlashsLength)
{
    constexpr double LENGTH = 10.0 / 60.0;
    constexpr double EARLY = 1.0 / 60.0;
    struct Stretch {
        double from, to;  // s, reads at every 1/60 s from `from` up to `to`
        bool touch, flash;
    };
    struct Case {
        const char* name;
        std::vector<Stretch> stretches;
        int touches, flashes, paired;
        std::vector<double> delays;
    };
    const std::vector<Case> cases{
        {"flash in the touch's frame, blinking", {{1.0, 1.04, true, false}, {1.0, 1.03, false, true},
                                                  {1.065, 1.095, false, true}, {1.13, 1.16, false, true}},
         1, 1, 1, {0.0}},
        {"flash two frames late", {{1.0, 1.04, true, false}, {1.0333, 1.06, false, true}}, 1, 1, 1, {0.0333}},
        {"flash past the flash's length", {{1.0, 1.04, true, false}, {1.18, 1.2, false, true}}, 1, 1, 0, {}},
        {"flash a frame early", {{1.0, 1.04, true, false}, {0.9834, 1.0, false, true}}, 1, 1, 1, {-0.0166}},
        {"flash two frames early", {{1.0, 1.04, true, false}, {0.966, 1.0, false, true}}, 1, 1, 0, {}},
        {"a bullet seen missing, then a hit", {{1.0, 1.04, true, false}, {1.45, 1.48, true, false},
                                               {1.466, 1.5, false, true}}, 2, 1, 1, {0.0166}},
        {"touch reads closer than a flash's length are one bullet", {{1.0, 1.02, true, false},
                                                                     {1.1, 1.12, true, false}}, 1, 0, 0, {}},
        {"flashes a shot apart are two, with no touch", {{1.0, 1.03, false, true}, {1.45, 1.48, false, true}},
         0, 2, 0, {}},
        {"one flash pairs with one touch only", {{1.0, 1.0, true, false}, {1.17, 1.17, true, false},
                                                 {1.16, 1.16, false, true}}, 2, 1, 1, {0.16}},
    };
    for (const Case& c : cases) {
        std::vector<ShotFrame> frames;
        for (const Stretch& stretch : c.stretches)
            for (double t = stretch.from; t <= stretch.to + 1e-9; t += 1.0 / 60.0) frames.push_back({t, stretch.touch, stretch.flash});
        std::sort(frames.begin(), frames.end(), [](const ShotFrame& a, const ShotFrame& b) { return a.t < b.t; });
        const ShotPairing pairing = windowShotPairing(frames, LENGTH, EARLY);
        EXPECT_EQ(pairing.touches, c.touches) << c.name;
        EXPECT_EQ(pairing.flashes, c.flashes) << c.name;
        EXPECT_EQ(pairing.paired, c.paired) << c.name;
        ASSERT_EQ(pairing.touchToFlash.size(), c.delays.size()) << c.name;
        for (std::size_t i = 0; i < c.delays.size(); ++i) EXPECT_NEAR(pairing.touchToFlash[i], c.delays[i], 1e-3) << c.name;
    }
}

TEST(WindowPath, BetweenItsPointsAPathIsInterpolatedAndHeldAtBothEnds)
{
    const std::vector<TimedPoint> path{{1.0, {0.0f, 0.0f}}, {2.0, {10.0f, -20.0f}}, {4.0, {10.0f, 20.0f}}};
    EXPECT_EQ(windowPathAt(path, 0.0), (Vec2{0.0f, 0.0f}));
    EXPECT_EQ(windowPathAt(path, 1.5), (Vec2{5.0f, -10.0f}));
    EXPECT_EQ(windowPathAt(path, 3.0), (Vec2{10.0f, 0.0f}));
    EXPECT_EQ(windowPathAt(path, 9.0), (Vec2{10.0f, 20.0f}));
    EXPECT_DOUBLE_EQ(windowPercentile({5.0, 1.0, 4.0, 2.0, 3.0}, 0.5), 3.0);
    EXPECT_DOUBLE_EQ(windowPercentile({5.0, 1.0, 4.0, 2.0}, 1.0), 5.0);
    EXPECT_DOUBLE_EQ(windowPercentile({}, 0.5), 0.0);
}

// The host's ship circling at about 209 px/s, as 30 snapshots a second.
std::vector<TimedPoint> hostCircle(double seconds)
{
    std::vector<TimedPoint> path;
    for (double t = 0.0; t <= seconds; t += 1.0 / 30.0)
        path.push_back({t, {float(512.0 + 60.0 * std::cos(3.5 * t)), float(414.0 + 60.0 * std::sin(3.5 * t))}});
    return path;
}

// A window at 60 frames a second drawing the host's ship `delay` back, rounded, with a
// fault at frame 300: none, stuck for 6 frames, or thrown 15 px (a jump) or 5 px (less
// than one) off for one frame.
enum class Fault { None, Stall, Jump, Nudge };
std::vector<TimedPoint> windowDraws(const std::vector<TimedPoint>& host, double delay, Fault fault)
{
    std::vector<TimedPoint> drawn;
    const double frame = 1.0 / 60.0;
    for (int f = 0; f < 600; ++f) {
        const double t = 0.5 + 0.003 + f * frame;  // the reader sees each frame a little late
        Vec2 p = windowPathAt(host, t - delay);
        p = {std::round(p.x), std::round(p.y)};
        if (fault == Fault::Stall && f > 300 && f <= 306) p = drawn.back().p;
        if (fault == Fault::Jump && f == 300) p = p + Vec2{15.0f, 0.0f};
        if (fault == Fault::Nudge && f == 300) p = p + Vec2{5.0f, 0.0f};
        if (drawn.empty() || distance(p, drawn.back().p) > 0.1f) drawn.push_back({t, p});  // as the reader keeps them
    }
    return drawn;
}

TEST(WindowPath, TheComparisonFindsTheDelayTheErrorAgainstTheIdealStallsAndJumps)
{
    const std::vector<TimedPoint> host = hostCircle(12.0);
    struct Case {
        double delay;
        Fault fault;
        double ratioLow, ratioHigh;
        int stalls, jumps;
    };
    const Case cases[] = {
        {0.080, Fault::None, 0.9, 1.1, 0, 0},
        {0.245, Fault::None, 0.9, 1.1, 0, 0},
        {0.120, Fault::Stall, 1.3, 3.0, 1, 0},  // the catching up is the motion of the stall's time
        {0.120, Fault::Jump, 1.05, 2.0, 0, 2},  // off, and back
        {0.120, Fault::Nudge, 0.9, 1.3, 0, 0},
    };
    for (const Case& c : cases) {
        const std::vector<TimedPoint> drawn = windowDraws(host, c.delay, c.fault);
        const WindowFit fit = windowPathCompare(drawn, host, 1.0, 10.0, 0.0, 0.6);
        // Held frames lag half a frame on top of the delay they draw at, and the reader's 3 ms.
        EXPECT_NEAR(fit.delay, c.delay + 0.5 / 60.0 + 0.003, 0.004) << c.delay;
        EXPECT_GT(fit.ideal, 0.8);  // 3.5 px a frame held: about 1 px
        EXPECT_LT(fit.ideal, 1.3);
        EXPECT_GE(fit.rms / fit.ideal, c.ratioLow) << int(c.fault);
        EXPECT_LE(fit.rms / fit.ideal, c.ratioHigh) << int(c.fault);
        EXPECT_EQ(fit.stalls, c.stalls) << int(c.fault);
        EXPECT_EQ(fit.jumps, c.jumps) << int(c.fault);
        EXPECT_GE(fit.worst, fit.rms);
    }
    // Only the stretch asked for counts: the faults at 5.5 s lie outside [6, 10).
    for (const Fault fault : {Fault::Stall, Fault::Jump}) {
        const WindowFit later = windowPathCompare(windowDraws(host, 0.1, fault), host, 6.0, 10.0, 0.0, 0.6);
        EXPECT_EQ(later.stalls, 0);
        EXPECT_EQ(later.jumps, 0);
    }
}

}  // namespace
}  // namespace netduel
