// The own ship predicted on the client: its control words applied at once in a private
// copy of the match, corrected by the host's snapshots and eased in so nothing snaps.
#pragma once

#include "duel/match.h"

namespace netduel {

inline constexpr int PREDICTION_WORDS = 64;           // words kept for replay: 3 s at 20/s
inline constexpr double PREDICTION_EASE_TIME = 0.1;   // s over which a correction is eased in
inline constexpr float PREDICTION_SNAP_DISTANCE = 50.0f;  // px: a larger miss is taken at once

struct SentWord {
    KeyFlags word = 0;
    double sent = 0.0;  // s, this copy's clock
};

struct Prediction {
    int slot = -1;                    // the ship this copy steers; -1: none, predicts nothing
    Ship ship;                        // the private copy of the own ship
    SentWord words[PREDICTION_WORDS]; // ring of the words sent lately
    int wordCount = 0;
    int wordNewest = -1;
    Vec2 positionError;               // px still to ease out of the drawn ship
    float headingError = 0.0f;        // rad still to ease out
    float lastCorrection = 0.0f;      // px: the size of the last correction, for the overlay
    bool started = false;             // a snapshot has given the ship's state
};

// Starts predicting ship `slot` (0 or 1); any other slot predicts nothing. Never fails.
void predictionReset(Prediction& prediction, int slot);

// A control word this copy sent to the host at `now` (s): applied to the private ship at
// once and kept for replay.
void predictionControl(Prediction& prediction, KeyFlags word, double now);

// A snapshot's ships arrived at `now` (s): the own ship is taken from it, the words sent
// within the last `roundTrip` (s) are replayed on it, and the difference from the old
// prediction is eased in (or taken at once past PREDICTION_SNAP_DISTANCE).
void predictionSnapshot(Prediction& prediction, const MatchState& ships, double now,
                        double roundTrip);

// Steps the private ship by one frame of `frameDt` (negative s), with the simulation's
// motion rules and walls, and eases the correction.
void predictionFrame(Prediction& prediction, double frameDt);

// The own ship to draw into `out` (position, heading; the rest from `out`); false and
// `out` untouched when nothing is predicted.
bool predictionShip(const Prediction& prediction, Ship& out);

}  // namespace netduel
