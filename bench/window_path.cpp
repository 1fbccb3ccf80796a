// The real-window benchmark's pixel finders and path comparison.
#include "window_path.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace netduel {

namespace {

constexpr std::uint32_t RGB_MASK = 0x00FFFFFF;

bool colourAt(const PixelView& view, int x, int y, std::uint32_t colour)
{
    return (view.pixels[static_cast<std::size_t>(y) * view.stride + x] & RGB_MASK) == (colour & RGB_MASK);
}

// The index of the last point at or before `t`, searched onwards from `from`.
std::size_t heldIndex(const std::vector<TimedPoint>& path, double t, std::size_t from)
{
    while (from + 1 < path.size() && path[from + 1].t <= t) ++from;
    return from;
}

}  // namespace

bool windowDiscFind(const PixelView& view, std::uint32_t colour, float radius, Vec2& centre)
{
    int least[2] = {view.width, view.height};
    int most[2] = {-1, -1};
    int count = 0;
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x < view.width; ++x) {
            if (!colourAt(view, x, y, colour)) continue;
            ++count;
            least[0] = std::min(least[0], x);
            least[1] = std::min(least[1], y);
            most[0] = std::max(most[0], x);
            most[1] = std::max(most[1], y);
        }
    if (count < std::numbers::pi * radius * radius / 4.0) return false;
    // A disc cut by the rectangle's edge has its middle elsewhere: the caller reads more.
    if (least[0] == 0 || least[1] == 0 || most[0] == view.width - 1 || most[1] == view.height - 1) return false;
    centre = {float(view.left + (least[0] + most[0]) / 2.0), float(view.top + (least[1] + most[1]) / 2.0)};
    return true;
}

bool windowColourNear(const PixelView& view, std::uint32_t colour, Vec2 centre, float radius)
{
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x < view.width; ++x)
            if (colourAt(view, x, y, colour) &&
                distance(Vec2{float(view.left + x), float(view.top + y)}, centre) <= radius)
                return true;
    return false;
}

Vec2 windowPathAt(const std::vector<TimedPoint>& path, double t)
{
    const auto after = std::upper_bound(path.begin(), path.end(), t,
                                        [](double time, const TimedPoint& point) { return time < point.t; });
    if (after == path.begin()) return path.front().p;
    if (after == path.end()) return path.back().p;
    const TimedPoint& a = *(after - 1);
    const TimedPoint& b = *after;
    const double u = (t - a.t) / (b.t - a.t);
    return {float(a.p.x + (b.p.x - a.p.x) * u), float(a.p.y + (b.p.y - a.p.y) * u)};
}

WindowFit windowHeldError(const std::vector<TimedPoint>& drawn, const std::vector<TimedPoint>& host,
                          double from, double to, double delay)
{
    WindowFit fit;
    fit.delay = delay;
    if (drawn.empty() || host.empty()) return fit;
    double sum = 0.0;
    long samples = 0;
    std::size_t index = 0;
    for (double t = from; t < to; t += WINDOW_SAMPLE_STEP) {
        index = heldIndex(drawn, t, index);
        const double error = distance(drawn[index].p, windowPathAt(host, t - delay));
        sum += error * error;
        fit.worst = std::max(fit.worst, error);
        ++samples;
    }
    fit.rms = std::sqrt(sum / double(std::max(samples, 1L)));
    return fit;
}

std::vector<TimedPoint> windowIdealDrawn(const std::vector<TimedPoint>& host, double from, double to,
                                         double delay)
{
    std::vector<TimedPoint> frames;
    for (double t = from; t < to; t += WINDOW_DISPLAY_FRAME) {
        const Vec2 exact = windowPathAt(host, t - delay);
        frames.push_back({t, {std::round(exact.x), std::round(exact.y)}});
    }
    return frames;
}

WindowFit windowPathCompare(const std::vector<TimedPoint>& drawn, const std::vector<TimedPoint>& host,
                            double from, double to, double low, double high)
{
    WindowFit best = windowHeldError(drawn, host, from, to, low);
    for (double delay = low; delay <= high; delay += 0.001) {
        const WindowFit fit = windowHeldError(drawn, host, from, to, delay);
        if (fit.rms < best.rms) best = fit;
    }
    const double coarse = best.delay;
    for (double delay = coarse - 0.001; delay <= coarse + 0.001; delay += 0.0001) {
        const WindowFit fit = windowHeldError(drawn, host, from, to, delay);
        if (fit.rms < best.rms) best = fit;
    }
    if (drawn.empty() || host.empty()) return best;
    // The ideal renderer shows the host's ship at the same delay, and is fitted as the
    // window is: its held frames lag half a frame, which its own best delay takes up.
    const std::vector<TimedPoint> ideal = windowIdealDrawn(host, from, to, best.delay);
    best.ideal = windowHeldError(ideal, host, from, to, best.delay).rms;
    for (double delay = best.delay; delay <= best.delay + WINDOW_DISPLAY_FRAME; delay += 0.0005)
        best.ideal = std::min(best.ideal, windowHeldError(ideal, host, from, to, delay).rms);
    // Each position the window showed, from when it was first seen until the next.
    const double d = best.delay;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const double start = std::max(drawn[i].t, from);
        const double end = std::min(i + 1 < drawn.size() ? drawn[i + 1].t : to, to);
        if (end <= start) continue;
        const float hostMoved = distance(windowPathAt(host, end - d), windowPathAt(host, start - d));
        if (end - start >= WINDOW_STALL_SECONDS && hostMoved > WINDOW_STALL_MOVE_PX) ++best.stalls;
        if (i > 0 && drawn[i].t >= from) {
            const float step = distance(drawn[i].p, drawn[i - 1].p);
            const float expected = distance(windowPathAt(host, drawn[i].t - d), windowPathAt(host, drawn[i - 1].t - d));
            if (step > WINDOW_JUMP_FACTOR * expected + WINDOW_JUMP_SLACK_PX) ++best.jumps;
        }
    }
    return best;
}

std::vector<Vec2> windowDiscsFind(const PixelView& view, std::uint32_t colour)
{
    std::vector<Vec2> centres;
    std::vector<bool> seen(std::size_t(view.width) * view.height, false);
    std::vector<std::pair<int, int>> group;
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x < view.width; ++x) {
            if (seen[std::size_t(y) * view.width + x] || !colourAt(view, x, y, colour)) continue;
            seen[std::size_t(y) * view.width + x] = true;
            group.assign(1, {x, y});
            int least[2] = {x, y};
            int most[2] = {x, y};
            while (!group.empty()) {
                const auto [gx, gy] = group.back();
                group.pop_back();
                least[0] = std::min(least[0], gx);
                least[1] = std::min(least[1], gy);
                most[0] = std::max(most[0], gx);
                most[1] = std::max(most[1], gy);
                for (int ny = std::max(gy - 1, 0); ny <= std::min(gy + 1, view.height - 1); ++ny)
                    for (int nx = std::max(gx - 1, 0); nx <= std::min(gx + 1, view.width - 1); ++nx) {
                        const std::size_t at = std::size_t(ny) * view.width + nx;
                        if (seen[at] || !colourAt(view, nx, ny, colour)) continue;
                        seen[at] = true;
                        group.push_back({nx, ny});
                    }
            }
            centres.push_back({float(view.left + (least[0] + most[0]) / 2.0),
                               float(view.top + (least[1] + most[1]) / 2.0)});
        }
    return centres;
}

ShotPairing windowShotPairing(const std::vector<ShotFrame>& frames, double length, double early)
{
    // The first read of each touch and of each flash.
    std::vector<double> touches;
    std::vector<double> flashes;
    double lastTouch = -1e300;
    double lastFlash = -1e300;
    for (const ShotFrame& frame : frames) {
        if (frame.touch) {
            if (frame.t - lastTouch >= length) touches.push_back(frame.t);
            lastTouch = frame.t;
        }
        if (frame.flash) {
            if (frame.t - lastFlash >= length) flashes.push_back(frame.t);
            lastFlash = frame.t;
        }
    }
    ShotPairing pairing;
    pairing.touches = int(touches.size());
    pairing.flashes = int(flashes.size());
    std::vector<bool> paired(flashes.size(), false);
    for (const double touch : touches)
        for (std::size_t f = 0; f < flashes.size(); ++f) {
            if (paired[f] || flashes[f] < touch - early || flashes[f] > touch + length) continue;
            paired[f] = true;
            ++pairing.paired;
            pairing.touchToFlash.push_back(flashes[f] - touch);
            break;
        }
    return pairing;
}

double windowPercentile(std::vector<double> values, double share)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(share * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

}  // namespace netduel
