// Network overlay: figures gathered from the client view and the frame, printed short.
#include "view/overlay.h"

#include <cstdio>

namespace netduel {

namespace {

std::string formatted(const char* format, double a, double b = 0.0)
{
    char line[48];
    std::snprintf(line, sizeof line, format, a, b);
    return line;
}

}  // namespace

void overlayFromView(OverlayFigures& figures, const ClientView& view, double now)
{
    figures.loss = matchViewLoss(view.smoothed);
    figures.snapshotsPerSecond = matchViewPerSecond(view.smoothed, now);
    figures.playoutDelay = view.smoothed.smoothing ? view.smoothed.delay : 0.0;
    const bool predicting = view.prediction && view.predicted.slot >= 0;
    figures.correction = predicting ? view.predicted.lastCorrection : -1.0f;
}

void overlayCountFrame(OverlayFigures& figures, double frameDt)
{
    if (!(frameDt < 0.0)) return;
    const double rate = -1.0 / frameDt;
    if (figures.framesPerSecond == 0.0) figures.framesPerSecond = rate;
    figures.framesPerSecond += (rate - figures.framesPerSecond) * OVERLAY_FPS_WEIGHT;
}

std::vector<std::string> overlayLines(const OverlayFigures& figures)
{
    std::vector<std::string> lines = {
        formatted("rtt %.0f+-%.0f ms", figures.roundTrip.mean * 1000.0,
                  figures.roundTrip.variance * 1000.0),
        formatted("loss %.1f %%", figures.loss * 100.0),
        formatted("snapshots %.0f/s", figures.snapshotsPerSecond),
        formatted("delay %.0f ms", figures.playoutDelay * 1000.0),
        formatted("fps %.0f", figures.framesPerSecond),
    };
    if (figures.correction >= 0.0f) lines.push_back(formatted("corr %.1f px", figures.correction));
    return lines;
}

}  // namespace netduel
