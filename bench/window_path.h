// The real-window benchmark's pure part: finding a ship and a bullet in a window's pixels,
// and comparing the path a window drew with the host's path, as a player's eye would.
#pragma once

#include <cstdint>
#include <vector>

#include "vecmath/vec2.h"

namespace netduel {

// A frame as the drawn picture is compared: 400 samples a second of the held picture.
inline constexpr double WINDOW_SAMPLE_STEP = 0.0025;           // s
inline constexpr double WINDOW_DISPLAY_FRAME = 1.0 / 60.0;     // s: the ideal renderer's frame
// A stall: the drawn ship still for 4 frames or more (seen as one position that long, less
// half a frame of slack for when the reader looks) while the host's ship moved more than 6 px.
inline constexpr double WINDOW_STALL_SECONDS = 3.5 * WINDOW_DISPLAY_FRAME;
inline constexpr float WINDOW_STALL_MOVE_PX = 6.0f;
// A jump: a drawn step more than 3 times the host's motion over the same time plus 2 px.
inline constexpr double WINDOW_JUMP_FACTOR = 3.0;
inline constexpr float WINDOW_JUMP_SLACK_PX = 2.0f;

// A position at a time (s of one clock).
struct TimedPoint {
    double t = 0.0;
    Vec2 p;
};

// A rectangle of a window's 32-bit 0x00RRGGBB pixels, rows `stride` pixels apart, whose
// first pixel is at (left, top) of the window.
struct PixelView {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    int left = 0;
    int top = 0;
};

// The centre of the disc drawn in `colour` (its alpha ignored): the middle of the box
// around its pixels, which a heading line drawn across it cannot move by more than half a
// pixel. False when fewer than a disc's worth of pixels (a quarter) have the colour, or
// they touch the rectangle's edge (a disc cut there).
bool windowDiscFind(const PixelView& view, std::uint32_t colour, float radius, Vec2& centre);

// True when any pixel of `colour` lies within `radius` px of `centre`.
bool windowColourNear(const PixelView& view, std::uint32_t colour, Vec2 centre, float radius);

// The path at `t`, between its points (held at both ends); the path is in time order.
Vec2 windowPathAt(const std::vector<TimedPoint>& path, double t);

// The drawn path (each point held until the next: the positions the window showed, each
// from when it was first seen) against the host's path, between `from` and `to`.
struct WindowFit {
    double delay = 0.0;  // s behind the host that fits best
    double rms = 0.0;    // px at that delay
    double worst = 0.0;  // px
    double ideal = 0.0;  // px: an ideal renderer's RMS at the same delay
    int stalls = 0;
    int jumps = 0;
};

// The error of `drawn` against `host` moved `delay` back, sampled every WINDOW_SAMPLE_STEP
// over [from, to); rms and worst only.
WindowFit windowHeldError(const std::vector<TimedPoint>& drawn, const std::vector<TimedPoint>& host,
                          double from, double to, double delay);

// The ideal renderer: at every WINDOW_DISPLAY_FRAME from `from`, the host's position exactly
// `delay` back, rounded to the pixel as the window draws it, held until the next frame.
std::vector<TimedPoint> windowIdealDrawn(const std::vector<TimedPoint>& host, double from, double to,
                                         double delay);

// The best constant delay within [low, high] (1 ms, then 0.1 ms), its error, the ideal
// renderer's at that delay (its own frames fitted up to a frame later, as held frames lag),
// and the stalls and jumps there.
WindowFit windowPathCompare(const std::vector<TimedPoint>& drawn, const std::vector<TimedPoint>& host,
                            double from, double to, double low, double high);

// The middles of the boxes around each 8-connected group of `colour` pixels (its alpha
// ignored), in the window's coordinates: the centres of small discs, such as bullets.
std::vector<Vec2> windowDiscsFind(const PixelView& view, std::uint32_t colour);

// One read of the shooter's window: whether an own bullet's centre lay within a hit's
// distance of the drawn other ship's centre, and whether that ship was drawn white.
struct ShotFrame {
    double t = 0.0;  // s
    bool touch = false;
    bool flash = false;
};

// Touches and flashes paired. Touch reads less than the flash's length apart are one touch
// (one bullet, as the copy lights one flash for them), white reads so are one flash (its
// blinks); a touch and a flash pair when the flash's first white read lies from `early`
// before the touch to `length` after it, each at most once, the earliest first.
struct ShotPairing {
    int touches = 0;
    int flashes = 0;
    int paired = 0;  // touches followed by a flash, and flashes after a touch
    std::vector<double> touchToFlash;  // s from each paired touch to its first white read
};

ShotPairing windowShotPairing(const std::vector<ShotFrame>& frames, double length, double early);

// The value below which `share` (0…1) of `values` lie (nearest rank); 0 for none.
double windowPercentile(std::vector<double> values, double share);

}  // namespace netduel
