// Simulation step: the host's authoritative physics of both ships and their bullets.
#pragma once

#include "match.h"

namespace netduel {

inline constexpr double TURN_DAMPING = -15.0;   // per second: turnRate ← turnRate·dt·−15
inline constexpr double TURN_SNAP = 0.1;        // rad/s: smaller turn rates become 0
inline constexpr double SPEED_DAMPING = -50.0;  // per second: speed ← speed·dt·−50
inline constexpr float SHIP_MIN_X = 10.0f;      // px: the field shrunk by the ship radius,
inline constexpr float SHIP_MAX_X = 1014.0f;    // with the 60-pixel panel band excluded
inline constexpr float SHIP_MIN_Y = 70.0f;
inline constexpr float SHIP_MAX_Y = 758.0f;
inline constexpr float SHIP_RADIUS = 10.0f;     // px: a closer enemy bullet hits
inline constexpr float BULLET_SPEED = 350.0f;   // px/s
inline constexpr float MUZZLE_OFFSET = 15.0f;   // px from the ship's centre to a new bullet
inline constexpr float BULLET_MIN_X = 0.0f;     // px: bullets outside leave play
inline constexpr float BULLET_MAX_X = 1024.0f;
inline constexpr float BULLET_MIN_Y = 60.0f;
inline constexpr float BULLET_MAX_Y = 768.0f;
inline constexpr double FIRE_COOLDOWN = 0.1;    // s between two shots of either ship
inline constexpr int HIT_FLASH_LIMIT = 10;      // steps: hitCounter returns to 0 past this
// The cosine of the widest turn between a predicted bullet and the host's bullet that
// takes it over: three steering words lost (26°) turn the host's ship that much less.
inline constexpr float BULLET_SAME_DIRECTION = 0.9f;
inline constexpr float BULLET_PATH_SLACK = 2.0f * SHIP_RADIUS;  // px a takeover moves a drawn bullet
// The damping factors above are per step (speed·dt·−50 shrinks only while |dt| < 0.02 s),
// so a long frame is cut into steps of this length, as many as fit, and the rest of its
// time is carried into the next frame; past the limit the time is dropped, as after a
// suspend, so that one stall never flings a ship or costs a burst of work.
inline constexpr double SIM_STEP_MAX = 1.0 / 60.0;   // s: the step a 60 frames/s host takes
inline constexpr double SIM_STEP_SLACK = 0.002;      // s: a 60 Hz frame's jitter still runs whole
inline constexpr int SIM_STEPS_PER_FRAME_MAX = 6;    // 0.1 s of simulated time per frame

// The steps one frame is cut into: `count` steps of `dt` (negative s) each.
struct FrameSteps {
    int count = 0;
    double dt = 0.0;
};

// Program-clock reading that must be exceeded before the next shot of either ship.
// Zero at program start; tests reset it.
extern double nextShotTime;

// True while a bullet at `p` lies in the field where bullets fly, edges included; a
// coordinate that is not a number lies outside. Never fails.
bool bulletInPlay(Vec2 p);

// The unit vector of `heading` that a ship moves and its bullets fly along (times the
// steps' negative dt): a bullet's `direction`.
Vec2 shipHeadingVector(double heading);

// The way a ship at `heading` points its nose, thrusts and fires: −shipHeadingVector.
Vec2 shipFacing(double heading);

// The heading (rad, −π…π) whose nose points along `way`: the inverse of shipFacing.
double shipHeadingAlong(Vec2 way);

// The bullet a ship at `position` and `heading` fires: MUZZLE_OFFSET from its centre
// towards the nose, flying the nose's way.
Bullet bulletSpawn(Vec2 position, double heading);

// px/s a bullet flies at.
Vec2 bulletVelocity(const Bullet& bullet);

// Where `bullet` lies `seconds` on (negative: before), flying straight.
Vec2 bulletFlown(const Bullet& bullet, double seconds);

// s since `bullet` left the muzzle of a ship at `shipPosition`, along its own line;
// negative when it lies behind that muzzle.
double bulletAge(const Bullet& bullet, Vec2 shipPosition);

// True when a slot holds a new bullet in `now` that it did not in `before` (two snapshots,
// or two drawn frames). A bullet flies on straight: the same one keeps its direction
// within BULLET_SAME_DIRECTION and lies on its line, any way ahead but no more than
// BULLET_PATH_SLACK aside or behind, as far as a drawn copy's takeover by the host's
// bullet turns and moves it; a new shot starts at a muzzle, far from where the slot's
// last bullet left play.
bool bulletIsNew(const Bullet& before, const Bullet& now);

// True when a hit counter that went from `before` to `now` shows a new hit: a hit sets it
// to 1 and each step counts it on, so it starts, or comes back lower.
bool shipHitIsNew(std::int8_t before, std::int8_t now);

// `p` brought into the field a ship's centre may reach, as far as it lies outside; a
// coordinate that is not a number stays so. Never fails.
Vec2 shipFieldClamp(Vec2 p);

// Turns, moves and damps one ship by `dt` (negative s) and keeps it in the arena: the
// motion of simulateStep without the hit counter, bullets or fire. Never fails.
void shipStepMotion(Ship& ship, double dt);

// Advances both ships and their bullets by `dt` seconds, the previous frame's clock
// reading minus this frame's (so negative). Never fails.
void simulateStep(MatchState& match, const double& dt);

// How simulateFrame (below) cuts a frame of `frameDt` plus `carry`, updating `carry`.
// Never fails.
FrameSteps simulateFrameSteps(double frameDt, double& carry);

// Advances the match by one frame of `frameDt` (negative, as for simulateStep) plus the
// `carry` (s, ≥ 0) that earlier long frames left: a frame up to SIM_STEP_MAX +
// SIM_STEP_SLACK is one step of its own length; a longer one is whole steps of
// SIM_STEP_MAX, at most SIM_STEPS_PER_FRAME_MAX, with the remainder left in `carry`.
// Returns the number of steps taken; never fails.
int simulateFrame(MatchState& match, double frameDt, double& carry);

}  // namespace netduel
