// Simulation step: turns, moves and damps both ships, flies, fires and retires bullets, marks hits.
//
// dt is negative (previous clock reading minus the current one), and every formula uses
// it with its sign. Range and distance tests are written as !(v >= bound) so that a value
// that is not a number counts as lying below the bound.
#include "simulate.h"

#include <algorithm>
#include <cmath>

#include "base/timer.h"

namespace netduel {

double nextShotTime = 0.0;

namespace {

float clampAxis(float v, float lo, float hi)
{
    if (!(v >= lo)) return lo;
    if (v > hi) return hi;
    return v;
}

void shipCountHit(Ship& ship)
{
    if (ship.hitCounter > 0) ++ship.hitCounter;
    if (ship.hitCounter > HIT_FLASH_LIMIT) ship.hitCounter = 0;
}

// Marks every ship but `owner` that the bullet lies within SHIP_RADIUS of.
void bulletHitTest(MatchState& match, int owner, const Bullet& bullet)
{
    for (int k = 0; k < SHIP_COUNT; ++k) {
        if (k == owner) continue;
        Ship& target = match.ships[k];
        if (!(distance(target.position, bullet.position) >= SHIP_RADIUS)) target.hitCounter = 1;
    }
}

void bulletRetireOutside(Bullet& bullet)
{
    if (!bulletInPlay(bullet.position)) bullet.active = 0;
}

// Fires into `bullet` when the ship asks to and the shared cooldown has run out.
bool bulletTryFire(const Ship& ship, Bullet& bullet)
{
    if (ship.fireRequest != FIRE_REQUESTED || !(timerSeconds() > nextShotTime)) return false;
    nextShotTime = timerSeconds() + FIRE_COOLDOWN;
    bullet = bulletSpawn(ship.position, ship.heading);
    return true;
}

// Slots in order; a shot ends the pass, leaving the later slots untouched this step.
void shipBulletPass(MatchState& match, int owner, double dt)
{
    Ship& ship = match.ships[owner];
    for (Bullet& bullet : ship.bullets) {
        if (bullet.active != 0) {
            bulletHitTest(match, owner, bullet);
            bullet.position = bulletFlown(bullet, -dt);
        } else if (bulletTryFire(ship, bullet)) {
            return;
        }
        bulletRetireOutside(bullet);
    }
}

}  // namespace

Vec2 shipHeadingVector(double heading)
{
    return Vec2(std::sin(heading), std::cos(heading));
}

Vec2 shipFacing(double heading)
{
    return shipHeadingVector(heading) * -1.0f;
}

double shipHeadingAlong(Vec2 way)
{
    return std::atan2(-double(way.x), -double(way.y));
}

Bullet bulletSpawn(Vec2 position, double heading)
{
    const Vec2 d = shipHeadingVector(heading);
    return Bullet{position - d * MUZZLE_OFFSET, d, BULLET_ACTIVE};
}

Vec2 bulletVelocity(const Bullet& bullet)
{
    return bullet.direction * -BULLET_SPEED;
}

Vec2 bulletFlown(const Bullet& bullet, double seconds)
{
    return bullet.position + bulletVelocity(bullet) * seconds;
}

double bulletAge(const Bullet& bullet, Vec2 shipPosition)
{
    const Vec2 muzzle = shipPosition - bullet.direction * MUZZLE_OFFSET;
    return dot(bullet.position - muzzle, bullet.direction * -1.0f) / double(BULLET_SPEED);
}

bool bulletInPlay(Vec2 p)
{
    return p.x >= BULLET_MIN_X && p.x <= BULLET_MAX_X && p.y >= BULLET_MIN_Y && p.y <= BULLET_MAX_Y;
}

Vec2 shipFieldClamp(Vec2 p)
{
    return Vec2(std::clamp(p.x, SHIP_MIN_X, SHIP_MAX_X), std::clamp(p.y, SHIP_MIN_Y, SHIP_MAX_Y));
}

void shipStepMotion(Ship& ship, double dt)
{
    ship.heading = toF32(ship.heading + ship.turnRate * dt);
    ship.turnRate = toF32(ship.turnRate * dt * TURN_DAMPING);
    if (!(std::fabs(ship.turnRate) >= TURN_SNAP)) ship.turnRate = 0.0f;

    ship.position = ship.position + (shipHeadingVector(ship.heading) * ship.speed) * dt;
    ship.speed = toF32(ship.speed * dt * SPEED_DAMPING);

    ship.position.x = clampAxis(ship.position.x, SHIP_MIN_X, SHIP_MAX_X);
    ship.position.y = clampAxis(ship.position.y, SHIP_MIN_Y, SHIP_MAX_Y);
}

// The hit counter is counted after the motion: the two touch different fields.
void simulateStep(MatchState& match, const double& dt)
{
    for (int i = 0; i < SHIP_COUNT; ++i) {
        shipStepMotion(match.ships[i], dt);
        shipCountHit(match.ships[i]);
        shipBulletPass(match, i, dt);
        match.ships[i].fireRequest = 0;
    }
}

FrameSteps simulateFrameSteps(double frameDt, double& carry)
{
    const double seconds = carry - frameDt;
    carry = 0.0;
    if (!(seconds > SIM_STEP_MAX + SIM_STEP_SLACK)) return FrameSteps{1, -seconds};
    int steps = static_cast<int>(seconds / SIM_STEP_MAX);
    if (steps > SIM_STEPS_PER_FRAME_MAX) steps = SIM_STEPS_PER_FRAME_MAX;
    else carry = seconds - steps * SIM_STEP_MAX;
    return FrameSteps{steps, -SIM_STEP_MAX};
}

int simulateFrame(MatchState& match, double frameDt, double& carry)
{
    const FrameSteps steps = simulateFrameSteps(frameDt, carry);
    for (int i = 0; i < steps.count; ++i) simulateStep(match, steps.dt);
    return steps.count;
}

bool bulletIsNew(const Bullet& before, const Bullet& now)
{
    if (now.active == 0) return false;
    if (before.active == 0 || !(dot(before.direction, now.direction) >= BULLET_SAME_DIRECTION)) return true;
    const Vec2 ahead = before.direction * -1.0f;
    const Vec2 travel = now.position - before.position;
    return !(dot(travel, ahead) >= -BULLET_PATH_SLACK) || !(std::fabs(cross(ahead, travel)) <= BULLET_PATH_SLACK);
}

bool shipHitIsNew(std::int8_t before, std::int8_t now)
{
    return now > 0 && (before <= 0 || now < before);
}

}  // namespace netduel
