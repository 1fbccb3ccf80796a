// The own ship's bullets in its own time frame: a shot predicted the moment its word
// leaves, from the predicted ship's muzzle, and the host's bullets carried forward by the
// own ship's lead, each predicted shot taken over by the host's bullet for it.
#pragma once

#include "duel/match.h"

namespace netduel {

// s past the round trip after which a shot no snapshot confirmed is gone, whatever came.
inline constexpr double OWN_SHOT_GIVE_UP = 0.08;
// A new host bullet flying a predicted shot's way is that shot when it lies this near it
// (px) or left the muzzle this near its time (s): less than a word (4 frames) apart.
inline constexpr float OWN_SHOT_MATCH_DISTANCE = 40.0f;
inline constexpr double OWN_SHOT_MATCH_TIME = 0.06;
inline constexpr float OWN_SHOT_SNAP_DISTANCE = 60.0f;  // px: a larger miss is taken at once

// One drawn bullet slot of the own ship.
struct OwnShot {
    Bullet bullet;       // direction, and position at `at` without `error`; active while drawn
    double at = 0.0;     // s, this copy's clock
    double fired = 0.0;  // s: when it left the muzzle, in the own ship's time frame
    double lastWord = 0.0;  // s: the last word with fire sent while it waited for the host's
    int hostSlot = -1;   // the host's slot of the bullet it follows; -1: only predicted
    bool used = false;   // drawn, or still following a host bullet that left play here
    Vec2 error;          // px: the drawn bullet minus the host's, eased out
    float easeRate = 0.0f;  // px/s
};

struct OwnShots {
    OwnShot shots[BULLETS_PER_SHIP];       // the own ship's drawn bullet slots
    bool firing = false;                   // a word with fire left: the frame spawns the shot
    double lastShot = -1e9;                // s: the latest shot of either ship, own time frame
    Bullet seenOther[BULLETS_PER_SHIP];    // the other ship's bullets in the last snapshot
    bool shown[BULLETS_PER_SHIP] = {};     // drawn in the last frame: a new shot waits a frame,
                                           // so that each new one is a slot turning active
    double lastFrame = 0.0;                // s, the last ownShotsFrame
    int phantoms = 0;                      // predicted shots the host never made, ever
};

// Forgets every shot, as for a new connection or another ship.
void ownShotsReset(OwnShots& shots);

// A word sent at `now` (s): with fire, and the shared cooldown over as this copy sees it
// and a slot free, the next ownShotsFrame spawns a shot; with fire but the cooldown
// running, the shot that waits may still be fired by this word (the link lost the first).
void ownShotsControl(OwnShots& shots, KeyFlags word, double now);

// A snapshot that arrived at `now` (s) for a copy steering ship `own` (0 or 1) whose
// predicted ship leads it by `lead` s: the host's bullets of the own ship take over the
// predicted shots they answer or join as they are; shots that this snapshot should hold
// and does not are gone; new bullets of the other ship move the cooldown.
void ownShotsSnapshot(OwnShots& shots, const MatchState& snapshot, int own, double lead, double now);

// The frame at `now` (s): a shot whose word left spawns at the muzzle of `drawnShip` (the
// own ship as drawn) and flies along `heading` (the predicted ship's, where the host's
// will point), every shot flies on, takeovers ease in, and a shot unconfirmed a
// `roundTrip` (s) plus OWN_SHOT_GIVE_UP after it left is gone.
void ownShotsFrame(OwnShots& shots, const Ship& drawnShip, float heading, double roundTrip, double now);

// The drawn shots into `out.bullets`.
void ownShotsDraw(const OwnShots& shots, Ship& out);

}  // namespace netduel
