// The network overlay F3 shows over the field: the link's figures as short text lines.
#pragma once

#include <string>
#include <vector>

#include "lobby/lobby_client.h"
#include "view/client_view.h"

namespace netduel {

inline constexpr double OVERLAY_FPS_WEIGHT = 0.05;  // share of one frame in the shown rate

struct OverlayFigures {
    RoundTrip roundTrip;            // s, as ENet measures it
    double loss = 0.0;              // share of snapshots lost lately, 0…1
    int snapshotsPerSecond = 0;     // arrived within the last second
    double playoutDelay = 0.0;      // s the smoothed ships trail the newest snapshot
    double framesPerSecond = 0.0;   // smoothed
    float correction = -1.0f;       // px of the own ship's last correction; < 0: not predicting
};

// What the client view knows at `now` (s): loss, snapshots, delay and correction.
void overlayFromView(OverlayFigures& figures, const ClientView& view, double now);

// Folds one frame of `frameDt` (negative s) into the smoothed frame rate.
void overlayCountFrame(OverlayFigures& figures, double frameDt);

// The overlay's lines, each short enough for a corner of the field; never fails.
std::vector<std::string> overlayLines(const OverlayFigures& figures);

}  // namespace netduel
