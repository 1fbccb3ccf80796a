// The own ship predicted on the client: its control words applied at once in a private
// copy of the match, corrected by the host's snapshots and eased in so nothing snaps.
#pragma once

#include "base/ring.h"
#include "duel/match.h"

namespace netduel {

inline constexpr int PREDICTION_WORDS = 64;           // words kept for replay: 3 s at 20/s
inline constexpr int PREDICTION_TRACE = 64;           // frames of the private ship kept: 1 s
inline constexpr double PREDICTION_EASE_TIME = 0.1;   // s over which a correction is eased in
inline constexpr float PREDICTION_SNAP_DISTANCE = 50.0f;  // px: a larger miss is taken at once
inline constexpr float PREDICTION_SNAP_HEADING = 1.0f;    // rad: so is a larger turn
// px/s: a large correction is eased no faster, so that no frame moves it by more than
// 2.5 px at 60 frames/s; a word the link lost costs about 13 px, eased in 0.09 s.
inline constexpr float PREDICTION_EASE_SPEED_MAX = 150.0f;
// The host steps 1/60 s at a time and each step damps speed and turn by a fixed factor,
// so a replay runs whole steps: 60 of them cover a one-second round trip.
inline constexpr int PREDICTION_REPLAY_STEPS_MAX = 60;
// Steps by which the snapshot's own reading of the newest word it holds may move the
// replay from the lag: a poor link's jitter, and under half the 4-frame word cadence, so
// that a reading never takes one word for its neighbour.
inline constexpr double PREDICTION_ALIGN_WINDOW = 1.9;
// Steps a word may reach the host later than the lag says and still be waited for;
// later than that, with the snapshot still without it, it counts as lost.
inline constexpr int PREDICTION_LATE_STEPS = 2;
inline constexpr double PREDICTION_HEADING_WEIGHT = 25.0;  // px a radian counts as in a miss
// The lag is the round trip plus a bias that follows each snapshot meeting the private
// ship's trace within PREDICTION_TRACE_MATCH px by this share (a lost word's snapshots
// meet none), up to the limit (steps): ENet's round trip also counts both ends' waits.
inline constexpr float PREDICTION_TRACE_MATCH = 2.0f;
inline constexpr double PREDICTION_TRACE_SPEED_WEIGHT = 0.1;  // px per px/s in a trace match
inline constexpr double PREDICTION_LAG_LEARN = 0.1;
inline constexpr double PREDICTION_LAG_BIAS_MAX = 3.0;

struct SentWord {
    KeyFlags word = 0;
    double sent = 0.0;  // s, this copy's clock
    int step = 0;       // the private ship's step count when it was applied
};

// The private ship after one frame, for measuring how far the snapshots lag behind it.
struct ShipTrace {
    int step = 0;
    Vec2 position;
    float heading = 0.0f;
    float speed = 0.0f;
};

struct Prediction {
    int slot = -1;                    // the ship this copy steers; -1: none, predicts nothing
    Ship ship;                        // the private copy of the own ship
    Ring<SentWord, PREDICTION_WORDS> words;   // the words sent lately
    Ring<ShipTrace, PREDICTION_TRACE> trace;  // the private ship's last frames
    int steps = 0;                    // steps the private ship has taken
    double carry = 0.0;               // s of frame time owed to the next step, as on the host
    double lagBias = 0.0;             // steps the snapshots' ship is behind beyond the round trip
    Vec2 positionError;               // px still to ease out of the drawn ship
    float headingError = 0.0f;        // rad still to ease out
    float positionEaseRate = 0.0f;    // px/s at which positionError shrinks
    float headingEaseRate = 0.0f;     // rad/s at which headingError shrinks
    float lastCorrection = 0.0f;      // px: the size of the last correction, for the overlay
    int lead = 0;                     // steps the private ship led the newest snapshot's by
    bool started = false;             // a snapshot has given the ship's state
};

// Starts predicting ship `slot` (0 or 1); any other slot predicts nothing. Never fails.
void predictionReset(Prediction& prediction, int slot);

// A control word this copy sent to the host at `now` (s): applied to the private ship at
// once and kept for replay.
void predictionControl(Prediction& prediction, KeyFlags word, double now);

// A snapshot's ships arrived at `now` (s): the own ship is taken from it, the words the
// host cannot have applied yet are replayed on it, and the difference from the old
// prediction is eased in (or taken at once past PREDICTION_SNAP_DISTANCE). How far the
// snapshot is behind comes from where it meets the private ship's trace, from `roundTrip`
// (s) until it has, and from the snapshot's speed or turn rate for the newest word it holds.
void predictionSnapshot(Prediction& prediction, const MatchState& ships, double now,
                        double roundTrip);

// Steps the private ship by one frame of `frameDt` (negative s), with the simulation's
// motion rules and walls, and eases the correction.
void predictionFrame(Prediction& prediction, double frameDt);

// Host steps since a thrust word last set `ship`'s speed, read from the speed as each
// step damps it; −1 when that is too long ago to read (or no word explains the speed).
int predictionStepsSinceThrust(const Ship& ship);

// Host steps since a turn word last set `ship`'s turn rate; −1 once it has run out.
int predictionStepsSinceTurn(const Ship& ship);

// s the private ship leads the newest snapshot's ship by, as the replay ran it.
double predictionLead(const Prediction& prediction);

// The own ship to draw into `out` (position, heading; the rest from `out`); false and
// `out` untouched when nothing is predicted.
bool predictionShip(const Prediction& prediction, Ship& out);

}  // namespace netduel
