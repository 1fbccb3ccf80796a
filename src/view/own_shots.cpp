// Own shots: the predicted bullets and the host's, drawn where the own ship's time frame
// has them.
//
// The own ship is drawn `lead` seconds ahead of the newest snapshot (the steps the
// prediction replayed from it), so a host bullet of the own ship, flying straight at a
// fixed speed, is drawn `lead` seconds further along its line. A predicted shot leaves
// the drawn muzzle in the frame its word leaves in, as the host fires in the step after
// it applies the word; when the host's bullet for it comes, the drawn bullet follows that
// one and what lay between them is eased out. Each drawn slot follows at most one host
// slot, so no host bullet is drawn twice, and a predicted shot keeps its slot when the
// host's bullet takes it over.
#include "view/own_shots.h"

#include <algorithm>
#include <cmath>

#include "duel/simulate.h"

namespace netduel {

namespace {

constexpr double NEW_SHOT_AGE_MAX = 0.2; // s: a new bullet is younger than a snapshot gap

// vecmath's length() reads a zero vector as 1 (for its normalising); an error of none is 0.
float magnitude(Vec2 v) { return distance(v, Vec2()); }

// Where the host's part of a shot is at `now`, without the error still to ease out.
Vec2 shotFollowed(const OwnShot& shot, double now)
{
    return bulletFlown(shot.bullet, now - shot.at);
}

Vec2 shotDrawn(const OwnShot& shot, double now) { return shotFollowed(shot, now) + shot.error; }

// The shot follows `target` (at `now`) from here on; the drawn bullet stays where it was.
void shotRebase(OwnShot& shot, const Bullet& host, Vec2 target, double now)
{
    const Vec2 drawn = shotDrawn(shot, now);
    shot.bullet.direction = host.direction;
    shot.bullet.position = target;
    shot.at = now;
    shot.error = drawn - target;
    if (!(magnitude(shot.error) <= OWN_SHOT_SNAP_DISTANCE)) shot.error = Vec2();
    shot.easeRate = std::min(toF32(magnitude(shot.error) / OWN_SHOT_EASE_TIME), OWN_SHOT_EASE_SPEED_MAX);
}

// How long ago a bullet left the muzzle of `ship`, as the ship stands now.
double shotAge(const Bullet& bullet, const Ship& ship)
{
    return std::clamp(bulletAge(bullet, ship.position), 0.0, NEW_SHOT_AGE_MAX);
}

void shotVanish(OwnShots& shots, OwnShot& shot)
{
    ++shots.phantoms;
    shot = OwnShot{};
}

bool slotFree(const OwnShots& shots, int j) { return !shots.shots[j].used && !shots.shown[j]; }

int freeSlot(const OwnShots& shots, int preferred)
{
    if (preferred >= 0 && slotFree(shots, preferred)) return preferred;
    for (int j = 0; j < BULLETS_PER_SHIP; ++j)
        if (slotFree(shots, j)) return j;
    return -1;
}

// Drops the shots whose host bullet is gone or replaced; the others follow it afresh.
void shotsFollowHost(OwnShots& shots, const Ship& mine, double lead, double now)
{
    for (OwnShot& shot : shots.shots) {
        if (!shot.used || shot.hostSlot < 0) continue;
        const Bullet& host = mine.bullets[shot.hostSlot];
        const Vec2 target = bulletFlown(host, lead);
        const bool same = host.active && host.direction == shot.bullet.direction &&
                          distance(target, shotFollowed(shot, now)) < OWN_SHOT_MATCH_DISTANCE;
        if (!same) shot = OwnShot{};
        else shotRebase(shot, host, target, now);
    }
}

// The predicted shot that `host` (at `target` now, fired at `fired` in the own ship's time
// frame) answers: flying its way, near it in place or in time and nearer than a takeover
// may ease, the nearest in time; null when none. A steering word the link lost turns the host's ship less than the predicted
// one, so its bullet may fly some degrees off the predicted line.
OwnShot* shotAnswered(OwnShots& shots, const Bullet& host, Vec2 target, double fired, double now)
{
    OwnShot* best = nullptr;
    double bestTime = 0.0;
    for (OwnShot& shot : shots.shots) {
        if (!shot.used || shot.hostSlot >= 0 || !(dot(shot.bullet.direction, host.direction) > BULLET_SAME_DIRECTION))
            continue;
        const double apart = std::fabs(shot.fired - fired);
        const float away = distance(shotDrawn(shot, now), target);
        if (!(away < OWN_SHOT_SNAP_DISTANCE) || (!(apart < OWN_SHOT_MATCH_TIME) && !(away < OWN_SHOT_MATCH_DISTANCE)))
            continue;  // what would jump is another shot
        if (best && !(apart < bestTime)) continue;
        bestTime = apart;
        best = &shot;
    }
    return best;
}

// The host's bullets that no drawn slot follows yet: each takes over the predicted shot it
// answers, or joins as a shot this copy did not predict.
void shotsTakeNew(OwnShots& shots, const Ship& mine, double lead, double now)
{
    for (int k = 0; k < BULLETS_PER_SHIP; ++k) {
        const Bullet& host = mine.bullets[k];
        if (!host.active) continue;
        const bool followed = std::any_of(std::begin(shots.shots), std::end(shots.shots),
                                          [k](const OwnShot& shot) { return shot.used && shot.hostSlot == k; });
        if (followed) continue;
        const Vec2 target = bulletFlown(host, lead);
        const double fired = now - lead - shotAge(host, mine);
        if (OwnShot* shot = shotAnswered(shots, host, target, fired, now)) {
            shot->hostSlot = k;
            shotRebase(*shot, host, target, now);
            continue;
        }
        const int slot = freeSlot(shots, k);
        if (slot < 0) continue;
        OwnShot& shot = shots.shots[slot];
        shot = OwnShot{};
        shot.bullet = host;
        shot.bullet.position = target;
        shot.bullet.active = bulletInPlay(target) ? BULLET_ACTIVE : 0;
        shot.at = now;
        shot.fired = fired;
        shot.hostSlot = k;
        shot.used = true;
        shots.lastShot = std::max(shots.lastShot, shot.fired);
    }
}

// The other ship's bullets new since the last snapshot: its shots hold the shared cooldown.
void shotsSeeOther(OwnShots& shots, const Ship& other, double ownTime)
{
    for (int j = 0; j < BULLETS_PER_SHIP; ++j) {
        const Bullet& now = other.bullets[j];
        if (bulletIsNew(shots.seenOther[j], now)) shots.lastShot = std::max(shots.lastShot, ownTime - shotAge(now, other));
        shots.seenOther[j] = now;
    }
}

}  // namespace

void ownShotsReset(OwnShots& shots)
{
    shots = OwnShots{};
}

void ownShotsControl(OwnShots& shots, KeyFlags word, double now)
{
    if (!(word & KEY_FIRE)) return;
    if (now > shots.lastShot + FIRE_COOLDOWN && freeSlot(shots, -1) >= 0) {
        shots.firing = true;
        shots.lastShot = now;
        return;
    }
    for (OwnShot& shot : shots.shots)
        if (shot.used && shot.hostSlot < 0 && now - shot.fired <= FIRE_COOLDOWN) shot.lastWord = now;
}

void ownShotsSnapshot(OwnShots& shots, const MatchState& snapshot, int own, double lead, double now)
{
    if (own != 0 && own != 1) return;
    const Ship& mine = snapshot.ships[own];
    shotsFollowHost(shots, mine, lead, now);
    shotsTakeNew(shots, mine, lead, now);
    // A snapshot that shows the own ship past a shot's words by a step or two lacks it for good.
    const double ownTime = now - lead;
    for (OwnShot& shot : shots.shots)
        if (shot.used && shot.hostSlot < 0 && std::max(shot.fired, shot.lastWord) < ownTime - OWN_SHOT_WAIT)
            shotVanish(shots, shot);
    shotsSeeOther(shots, snapshot.ships[1 - own], ownTime);
}

void ownShotsFrame(OwnShots& shots, const Ship& drawnShip, float heading, double roundTrip, double now)
{
    const double elapsed = std::clamp(now - shots.lastFrame, 0.0, 0.1);
    shots.lastFrame = now;
    if (shots.firing) {
        shots.firing = false;
        const int slot = freeSlot(shots, -1);
        if (slot >= 0) {
            OwnShot& shot = shots.shots[slot];
            shot = OwnShot{};
            shot.bullet = bulletSpawn(drawnShip.position, drawnShip.heading);
            shot.bullet.direction = shipHeadingVector(heading);  // the host's ship will point so
            shot.at = shot.fired = shot.lastWord = now;
            shot.used = true;
        }
    }
    for (OwnShot& shot : shots.shots) {
        if (!shot.used) continue;
        if (shot.hostSlot < 0 && now - shot.fired > roundTrip + OWN_SHOT_GIVE_UP) {
            shotVanish(shots, shot);
            continue;
        }
        const float size = magnitude(shot.error);
        const double eased = shot.easeRate * elapsed;
        shot.error = size > eased ? shot.error * ((size - eased) / size) : Vec2();
        // Out of play it is never drawn again; a host bullet is still followed till it goes.
        if (!bulletInPlay(shotDrawn(shot, now))) shot.bullet.active = 0;
        if (!shot.bullet.active && shot.hostSlot < 0) shot = OwnShot{};
    }
    for (int j = 0; j < BULLETS_PER_SHIP; ++j) shots.shown[j] = shots.shots[j].used && shots.shots[j].bullet.active;
}

void ownShotsDraw(const OwnShots& shots, Ship& out)
{
    for (int j = 0; j < BULLETS_PER_SHIP; ++j) {
        const OwnShot& shot = shots.shots[j];
        out.bullets[j] = shot.bullet;
        out.bullets[j].position = shotDrawn(shot, shots.lastFrame);
        if (!shot.used) out.bullets[j].active = 0;
    }
}

}  // namespace netduel
