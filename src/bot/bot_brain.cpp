// Computer player's decisions: tracking, aiming, firing, closing in, walls and dodging.
#include "bot_brain.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "duel/packet_handlers.h"
#include "duel/simulate.h"

namespace netduel {

namespace {

constexpr double FIT_WINDOW = 0.5;       // s of sights that one fit of a course spans at most
constexpr double TURN_SENSE_SPAN = 0.1;  // s of headings that tell which way a ship turns now
constexpr double TURN_SEEN = 0.01;       // rad: a smaller heading change is no turn
// Of THRUST_SPEED: a slower ship has had no thrust word for over six steps, twice the
// spacing of a held key's words: it was let go, and the ship glides.
constexpr double GLIDE_SPEED_SHARE = 0.3;
constexpr double TURNING_MIN = 0.05;     // rad/s: slower course changes count as straight
constexpr int GLIDE_STEPS = 120;        // host steps after which a glide counts as over
constexpr int SETTLE_STEPS_MAX = 8;     // a turn rate snaps to 0 well within these
constexpr double SAMPLE = 1.0 / 120.0;  // s between two points of a flight looked at
constexpr double FLIGHT_MAX = 2.0;      // s: no bullet stays in the field longer
constexpr float CLOSE_BAND = 30.0f;     // px beyond the fighting distance before closing in
constexpr double THRUST_CONE = 0.7;         // rad off the wanted course that still thrusts
constexpr double ORBIT_RADIUS_MAX = 150.0;  // px: a ship turning on a wider circle is fought up close
constexpr double TURN_DEADBAND = 0.55;  // of a quantum: smaller errors wait for a better shot

double wrapAngle(double angle) { return std::remainder(angle, 2.0 * std::numbers::pi); }

// px a ship gliding at THRUST_SPEED covers in n host steps with no new thrust: a copy of
// a ship far from every wall, stepped by the simulation's own motion.
struct GlideTable {
    double px[GLIDE_STEPS + 1] = {};
};

const GlideTable& glideTable()
{
    static const GlideTable table = [] {
        GlideTable t;
        Ship ship;
        ship.position = Vec2((SHIP_MIN_X + SHIP_MAX_X) / 2.0f, SHIP_MAX_Y - 1.0f);
        ship.speed = THRUST_SPEED;
        const Vec2 start = ship.position;
        for (int n = 1; n <= GLIDE_STEPS; ++n) {
            shipStepMotion(ship, -BOT_STEP);
            t.px[n] = distance(ship.position, start);
        }
        return t;
    }();
    return table;
}

// px a ship gliding at `speed` covers in `seconds` with no new thrust, between whole steps.
double glide(double speed, double seconds)
{
    const GlideTable& table = glideTable();
    const double steps = seconds > 0.0 ? std::min(seconds / BOT_STEP, double(GLIDE_STEPS)) : 0.0;  // NaN: 0
    const int whole = std::min(int(steps), GLIDE_STEPS - 1);
    const double px = table.px[whole] + (table.px[whole + 1] - table.px[whole]) * (steps - whole);
    return px * speed / THRUST_SPEED;
}

std::uint64_t nextRandom(std::uint64_t& state)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// Roughly normal, mean 0 and spread 1: the sum of three uniform draws.
double spreadDraw(std::uint64_t& state)
{
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) sum += double(nextRandom(state) >> 11) / double(1ull << 53) - 0.5;
    return sum * 2.0;
}

int ringIndex(const BotBrain& brain, int back) { return (brain.sightNewest - back + BOT_SIGHTS) % BOT_SIGHTS; }

// The newest sight received at or before `moment`; −1 when every sight is newer.
int sightAtOrBefore(const BotBrain& brain, double moment)
{
    for (int back = 0; back < brain.sightCount; ++back) {
        const int at = ringIndex(brain, back);
        if (brain.sights[at].received <= moment) return at;
    }
    return -1;
}

// Where the heading comes to rest once its turn has died down (a copy stepped by the
// simulation) and the turn words not yet visible in the sight have acted.
double settledHeading(const BotBrain& brain, const Ship& own, double sightReceived)
{
    Ship settling = own;
    for (int i = 0; i < SETTLE_STEPS_MAX && settling.turnRate != 0.0f; ++i) shipStepMotion(settling, -BOT_STEP);
    double heading = settling.heading;
    const double unseenAfter = sightReceived - brain.echo;
    for (const BotPendingTurn& turn : brain.pending)
        if (turn.sentAt >= 0.0 && turn.sentAt > unseenAfter) heading += turn.delta;
    return heading;
}

float turnDelta(KeyFlags word)
{
    if (word & KEY_RIGHT) return -BOT_TURN_QUANTUM;
    if (word & KEY_LEFT) return BOT_TURN_QUANTUM;
    return 0.0f;
}

// The turn bit towards `wanted` from `heading`, or 0 when it is within the deadband.
KeyFlags turnTowards(double heading, double wanted)
{
    const double error = wrapAngle(wanted - heading);
    if (error > TURN_DEADBAND * BOT_TURN_QUANTUM) return KEY_LEFT;
    if (error < -TURN_DEADBAND * BOT_TURN_QUANTUM) return KEY_RIGHT;
    return 0;
}

// Everything one decision looks at, taken from the sight it reacts to.
struct Situation {
    Ship own;
    Ship enemy;
    BotTrack track;
    Vec2 shooter;     // own position when the word is served
    double heading;   // own heading at rest, with the unseen turns
    double delay;     // s from the sight's moment at the host to the step serving the word
    Vec2 haunt;       // the middle of the circle the enemy flies; where it is when none
    float roam;       // px: that circle's radius; 0 when none
};

// The shot of this word: 0 when it does not fire, else KEY_FIRE with the turn bit (if any)
// whose first step points the nose best.
KeyFlags shotChoice(BotBrain& brain, const Situation& s, double now)
{
    const BotLevel& level = brain.level;
    // A fire word that no snapshot has answered with a bullet by now lost the shared
    // cooldown (to the enemy's shot, or to the host's clock): the next word may try again.
    const bool unanswered = brain.ownShotSeenAt < brain.lastFireTime &&
                            now - brain.lastFireTime > brain.echo + 2.0 * BOT_STEP;
    if (now < brain.nextFireTime && !unanswered) return 0;
    struct Option {
        KeyFlags bits;
        double heading;
    };
    Option options[3] = {{0, s.heading},
                         {KEY_LEFT, s.heading + BOT_TURN_FIRST_STEP},
                         {KEY_RIGHT, s.heading - BOT_TURN_FIRST_STEP}};
    const int count = level.shootsWhileTurning ? 3 : 1;
    float best = level.fireMiss;
    KeyFlags chosen = 0;
    // A player who does not lead judges a shot by where the enemy is, not where it goes.
    BotTrack judged = s.track;
    if (!level.leads) judged = BotTrack{s.track.position, Vec2(), 0.0};
    for (int i = 0; i < count; ++i) {
        const double believed = options[i].heading - brain.wobble;  // the aim error misleads it
        const float miss = botShotMiss(judged, s.shooter, believed, s.delay, level.leadsTurns);
        if (miss <= best) {
            best = miss;
            chosen = KEY_FIRE | options[i].bits;
        }
    }
    return chosen;
}

// Own positions ahead: gliding at `speed` along `heading` from `from`.
Vec2 ownAt(Vec2 from, double heading, double speed, double seconds)
{
    return shipFieldClamp(from + shipFacing(heading) * glide(speed, seconds));
}

// Closest pass of one enemy bullet in the next BOT_DODGE_HORIZON s, own ship gliding.
float bulletPass(const Bullet& bullet, Vec2 from, double heading, double speed, double delay)
{
    float closest = 1e9f;
    for (double t = 0.0; t <= BOT_DODGE_HORIZON; t += 2.0 * SAMPLE) {
        const Vec2 b = bulletFlown(bullet, delay + t);
        if (!bulletInPlay(b)) break;
        closest = std::min(closest, distance(b, ownAt(from, heading, speed, t)));
    }
    return closest;
}

float nearestPass(const Situation& s, double heading, double speed)
{
    float nearest = 1e9f;
    for (const Bullet& bullet : s.enemy.bullets)
        if (bullet.active) nearest = std::min(nearest, bulletPass(bullet, s.shooter, heading, speed, s.delay));
    return nearest;
}

// Thrust, and perhaps a turn, that takes the ship out of a bullet's way; `word` holds the
// turn chosen so far. Unchanged when nothing comes close or nothing helps.
KeyFlags dodge(const Situation& s, float margin, KeyFlags word)
{
    const double heading = s.heading + turnDelta(word);
    const float coasting = nearestPass(s, heading, s.own.speed);
    if (coasting >= margin) return word;
    KeyFlags best = word;
    float bestPass = coasting;
    for (KeyFlags turn : {word & (KEY_LEFT | KEY_RIGHT), KeyFlags(KEY_LEFT), KeyFlags(KEY_RIGHT)}) {
        const KeyFlags fire = word & KEY_FIRE;
        const KeyFlags keep = (turn == (word & (KEY_LEFT | KEY_RIGHT))) ? fire : 0;  // a new turn spoils the shot
        const float pass = nearestPass(s, s.heading + turnDelta(turn), THRUST_SPEED);
        if (pass > bestPass + 2.0f) {
            bestPass = pass;
            best = turn | KEY_UP | keep;
        }
    }
    return best;
}

// Within `margin` px of a wall of the field a ship's centre may reach.
bool nearWall(Vec2 p, float margin)
{
    return p.x < SHIP_MIN_X + margin || p.x > SHIP_MAX_X - margin || p.y < SHIP_MIN_Y + margin ||
           p.y > SHIP_MAX_Y - margin;
}

// Thrust along `heading` unless it would take the ship into a wall within a second.
KeyFlags thrustClear(const Situation& s, double heading)
{
    const Vec2 ahead = s.shooter + shipFacing(heading) * glide(THRUST_SPEED, 1.0);
    return nearWall(ahead, BOT_WALL_MARGIN / 2) ? 0 : KEY_UP;  // outside the field counts as near
}

// A turn towards `course`, and thrust once the nose points along it.
KeyFlags steerTowards(const Situation& s, double course)
{
    const KeyFlags turn = turnTowards(s.heading, course);
    const bool along = std::fabs(wrapAngle(course - s.heading - turnDelta(turn))) < THRUST_CONE;
    return turn | (along ? KEY_UP : 0);
}

// Near a wall: off towards the middle of the field. Over the enemy, nearer than half of
// BOT_CLOSEST, where a bullet leaves the muzzle past it: off away from it, never into a
// wall. Empty when neither.
std::optional<KeyFlags> escape(const Situation& s)
{
    const Vec2 p = s.shooter;
    if (nearWall(p, BOT_WALL_MARGIN)) {
        const Vec2 middle((SHIP_MIN_X + SHIP_MAX_X) / 2.0, (SHIP_MIN_Y + SHIP_MAX_Y) / 2.0);
        return steerTowards(s, shipHeadingAlong(middle - p));
    }
    if (!(distance(p, s.track.position) < MUZZLE_OFFSET)) return std::nullopt;
    const KeyFlags off = steerTowards(s, shipHeadingAlong(p - s.track.position));
    return (off & ~KEY_UP) | ((off & KEY_UP) ? thrustClear(s, s.heading + turnDelta(off)) : 0);
}

// Thrust that closes to the fighting distance, never into a wall. An enemy that circles
// is fought from outside its circle: from within, its bearing turns faster than turn
// words can follow, so a bot inside flies out whenever its nose points out. A bot that
// has found no shot or hit nothing for a while comes closer still: the nearer the enemy,
// the smaller the miss between two of the headings its turn words can reach.
KeyFlags closeIn(const BotBrain& brain, const Situation& s, KeyFlags turn, double now)
{
    const double heading = s.heading + turnDelta(turn);
    const float range = distance(s.shooter, s.haunt);
    if (range < s.roam) {
        const double away = shipHeadingAlong(s.shooter - s.haunt);
        return std::fabs(wrapAngle(away - heading)) > THRUST_CONE ? 0 : thrustClear(s, heading);
    }
    const bool stuck = now - brain.lastFireTime > BOT_SHOTLESS_SECONDS || now - brain.hitSeenAt > BOT_HITLESS_SECONDS;
    const float wanted = s.roam + (stuck ? BOT_CLOSEST : brain.level.fightDistance + CLOSE_BAND);
    if (range <= wanted) return 0;
    const double towards = shipHeadingAlong(s.haunt - s.shooter);
    return std::fabs(wrapAngle(towards - heading)) > THRUST_CONE ? 0 : thrustClear(s, heading);
}

void wobbleUpdate(BotBrain& brain, double now)
{
    if (now < brain.wobbleUntil) return;
    brain.wobble = brain.level.aimWobble * spreadDraw(brain.random);
    brain.wobbleUntil = now + brain.level.wobblePeriod;
}

Situation situationOf(const BotBrain& brain, int at, int ownShip, double now)
{
    const BotSight& sight = brain.sights[at];
    Situation s;
    s.own = sight.ships[ownShip];
    s.enemy = sight.ships[1 - ownShip];
    s.track = botTrack(brain, at, 1 - ownShip);
    // The echo is the word's way to its step plus the way of the sight back, and a frame
    // on average waiting for the broadcast.
    s.delay = (now - sight.received) + std::max(0.0, brain.echo - BOT_STEP);
    s.heading = settledHeading(brain, s.own, sight.received);
    s.shooter = ownAt(s.own.position, s.own.heading, s.own.speed, s.delay);
    // A ship that turns as it goes flies a circle: what to fight from outside of.
    s.haunt = s.track.position;
    s.roam = 0.0f;
    const double speed = std::hypot(s.track.velocity.x, s.track.velocity.y);
    const double radius = std::fabs(s.track.turning) > TURNING_MIN ? speed / s.track.turning : 0.0;  // signed
    if (!s.track.gliding && radius != 0.0 && std::fabs(radius) < ORBIT_RADIUS_MAX) {
        // The middle lies a quarter turn to its left of its course (right when `radius` < 0).
        const double course = shipHeadingAlong(s.track.velocity);
        s.haunt = s.track.position + shipFacing(course + std::numbers::pi / 2.0) * radius;
        s.roam = static_cast<float>(std::fabs(radius));
    }
    return s;
}

KeyFlags wordFor(BotBrain& brain, const Situation& s, double now)
{
    const BotLevel& level = brain.level;
    const Vec2 aim = botAimPoint(s.track, s.shooter, s.delay, level.leads, level.leadsTurns);
    const double wanted = shipHeadingAlong(aim - s.shooter) + brain.wobble;
    KeyFlags word = shotChoice(brain, s, now);
    if (!(word & KEY_FIRE)) word = turnTowards(s.heading, wanted);
    if (const auto off = escape(s)) {
        word = (word & KEY_FIRE) && !(*off & KEY_UP) ? word : *off;
    } else {
        word |= closeIn(brain, s, word, now);
    }
    if (level.dodgeMargin > 0.0f) word = dodge(s, level.dodgeMargin, word);
    return word;
}

}  // namespace

BotLevel botLevel(int level)
{
    BotLevel l;
    switch (level) {
    case 1:
        l.reactionDelay = 0.30;
        l.aimWobble = 0.06;
        l.wobblePeriod = 0.7;
        l.fireMiss = 22.0f;
        l.fireGap = 0.3;
        l.fightDistance = 240.0f;
        l.leads = false;
        l.leadsTurns = false;
        l.shootsWhileTurning = false;
        l.dodgeMargin = 0.0f;
        return l;
    case 3:
        l.reactionDelay = 0.0;
        l.aimWobble = 0.0;
        l.fireMiss = 8.0f;
        l.fireGap = BOT_SHOT_SPACING;
        l.fightDistance = 140.0f;
        l.dodgeMargin = 22.0f;
        return l;
    default:
        l.reactionDelay = 0.15;
        l.aimWobble = 0.03;
        l.fireMiss = 12.0f;
        l.fireGap = 0.15;
        l.fightDistance = 200.0f;
        l.shootsWhileTurning = false;
        l.dodgeMargin = 14.0f;
        return l;
    }
}

void botBrainReset(BotBrain& brain, BotLevel level, std::uint64_t seed)
{
    brain = BotBrain{};
    brain.level = level;
    brain.random = seed ? seed : 0x9E3779B97F4A7C15ull;
}

namespace {

// A turn word shows in the own ship's turn rate as ±1.25 one step after it was served and
// ±0.3125 after two; the first sight that shows it answers the newest turn word of that
// sense sent before, and the time between is one echo.
void echoMeasure(BotBrain& brain, const Ship& own, const Ship* before, double now)
{
    constexpr float ONE_STEP = static_cast<float>(TURN_RATE * BOT_TURN_KEPT);
    constexpr float TWO_STEPS = static_cast<float>(ONE_STEP * BOT_TURN_KEPT);
    const auto near = [](float rate, float magnitude) { return std::fabs(std::fabs(rate) - magnitude) < 0.01f; };
    const bool seenBefore = before && near(before->turnRate, ONE_STEP) && (before->turnRate < 0) == (own.turnRate < 0);
    if (!near(own.turnRate, ONE_STEP) && !(near(own.turnRate, TWO_STEPS) && !seenBefore)) return;
    const float sense = own.turnRate < 0 ? BOT_TURN_QUANTUM : -BOT_TURN_QUANTUM;
    double sentAt = -1.0;
    for (const BotPendingTurn& turn : brain.pending)
        if (turn.delta == sense && turn.sentAt >= 0.0 && turn.sentAt < now) sentAt = std::max(sentAt, turn.sentAt);
    if (sentAt < 0.0 || now - sentAt > BOT_ECHO_MAX) return;
    const double sample = now - sentAt;
    brain.echo = sample > brain.echo ? (brain.echo + sample) / 2.0 : brain.echo + (sample - brain.echo) / 4.0;
}

bool newBullet(const Ship& now, const Ship& before)
{
    for (int j = 0; j < BULLETS_PER_SHIP; ++j)
        if (bulletIsNew(before.bullets[j], now.bullets[j])) return true;
    return false;
}

}  // namespace

void botBrainSee(BotBrain& brain, const MatchState& seen, std::uint32_t stamp, int ownShip, double now)
{
    const BotSight* last = brain.sightCount ? &brain.sights[brain.sightNewest] : nullptr;
    if (ownShip >= 0 && ownShip < SHIP_COUNT) {
        const Ship* before = last ? &last->ships[ownShip] : nullptr;
        echoMeasure(brain, seen.ships[ownShip], before, now);
        if (before && newBullet(seen.ships[ownShip], *before)) brain.ownShotSeenAt = now;
        const std::int8_t flashBefore = last ? last->ships[1 - ownShip].hitCounter : 0;
        if (shipHitIsNew(flashBefore, seen.ships[1 - ownShip].hitCounter)) brain.hitSeenAt = now;
    }
    brain.sightNewest = (brain.sightNewest + 1) % BOT_SIGHTS;
    brain.sightCount = std::min(brain.sightCount + 1, BOT_SIGHTS);
    BotSight& sight = brain.sights[brain.sightNewest];
    sight.received = now;
    sight.hostTime = now;
    // The host's stamps space the sights as they were sent, free of the link's jitter.
    const std::uint32_t sinceLast = last ? stamp - last->stamp : 0;
    if (last && stamp && last->stamp && sinceLast > 0 && sinceLast <= 1000)
        sight.hostTime = last->hostTime + sinceLast * 0.001;
    sight.stamp = stamp;
    std::copy(std::begin(seen.ships), std::end(seen.ships), sight.ships);
}

std::optional<KeyFlags> botBrainDecide(BotBrain& brain, int ownShip, double now)
{
    if (ownShip < 0 || ownShip >= SHIP_COUNT || now < brain.nextSendTime) return std::nullopt;
    const int at = sightAtOrBefore(brain, now - brain.level.reactionDelay);
    if (at < 0) return std::nullopt;
    wobbleUpdate(brain, now);
    const Situation s = situationOf(brain, at, ownShip, now);
    const KeyFlags word = wordFor(brain, s, now);
    if (!word) return std::nullopt;
    brain.nextSendTime = now + BOT_SEND_INTERVAL;
    if (word & KEY_FIRE) {
        brain.nextFireTime = now + brain.level.fireGap;
        brain.lastFireTime = now;
    }
    if (const float delta = turnDelta(word)) {
        brain.pending[brain.pendingNext] = BotPendingTurn{now, delta};
        brain.pendingNext = (brain.pendingNext + 1) % BOT_PENDING_TURNS;
    }
    return word;
}

BotTrack botTrack(const BotBrain& brain, int at, int ship)
{
    const BotSight& newest = brain.sights[at];
    const Ship& now = newest.ships[ship];
    BotTrack track;
    track.position = now.position;
    // The sights at or before `at`, newest first, as long as they are older.
    const BotSight* chain[BOT_SIGHTS];
    int count = 0;
    for (int back = 0; back < brain.sightCount; ++back) {
        const BotSight& sight = brain.sights[(at - back + BOT_SIGHTS) % BOT_SIGHTS];
        if (count > 0 && !(sight.hostTime < chain[count - 1]->hostTime)) break;  // wrapped past the oldest
        chain[count++] = &sight;
        if (sight.hostTime <= newest.hostTime - FIT_WINDOW) break;
    }
    if (count < 2) return track;
    // Not thrust for a while: it glides, slowing as the host's steps damp it.
    if (now.speed < GLIDE_SPEED_SHARE * THRUST_SPEED) {
        track.velocity = shipFacing(now.heading) * double(now.speed);
        track.gliding = true;
        return track;
    }
    // The way it turns now: over the last TURN_SENSE_SPAN s of headings.
    int senseFrom = 1;
    while (senseFrom + 1 < count && chain[senseFrom]->hostTime > newest.hostTime - TURN_SENSE_SPAN) ++senseFrom;
    const double turned = double(now.heading) - chain[senseFrom]->ships[ship].heading;
    const int sense = turned > TURN_SEEN ? 1 : turned < -TURN_SEEN ? -1 : 0;
    // The chords between successive sights back to where it held something else (turned the
    // other way, or at all when it turns no more, or glided), fitted as a course that
    // turns at a steady rate, at the chords' mean speed.
    double sumW = 0, sumT = 0, sumC = 0, sumTT = 0, sumTC = 0, length = 0, span = 0;
    double course = 0.0;
    for (int k = 0; k + 1 < count; ++k) {
        const Ship& a = chain[k + 1]->ships[ship];
        const Ship& b = chain[k]->ships[ship];
        const double dt = chain[k]->hostTime - chain[k + 1]->hostTime;
        const double dh = double(b.heading) - a.heading;
        const bool otherTurn = sense == 0 ? std::fabs(dh) > TURN_SEEN : dh * sense < -TURN_SEEN;
        if (k > 0 && (otherTurn || a.speed < GLIDE_SPEED_SHARE * THRUST_SPEED)) break;
        const Vec2 chord = b.position - a.position;
        const double px = std::hypot(double(chord.x), double(chord.y));
        if (px > 0.0) {
            const double c = shipHeadingAlong(b.position - a.position);
            course = k == 0 ? c : course + wrapAngle(c - course);  // unwrapped along the chain
            const double mid = (chain[k]->hostTime + chain[k + 1]->hostTime) / 2.0 - newest.hostTime;
            sumW += px;
            sumT += px * mid;
            sumC += px * course;
            sumTT += px * mid * mid;
            sumTC += px * mid * course;
        }
        length += px;
        span += dt;
    }
    if (!(span > 0.0) || !(sumW > 0.0)) return track;
    const double meanT = sumT / sumW, meanC = sumC / sumW;
    const double spread = sumTT / sumW - meanT * meanT;
    track.turning = sense != 0 && spread > 1e-6 ? (sumTC / sumW - meanT * meanC) / spread : 0.0;
    const double courseNow = meanC - track.turning * meanT;
    track.velocity = shipFacing(courseNow) * (length / span);
    return track;
}

Vec2 botTrackAt(const BotTrack& track, double seconds, bool turns)
{
    if (track.gliding) {
        const double speed = std::hypot(track.velocity.x, track.velocity.y);
        if (!(speed > 0.0)) return track.position;
        return shipFieldClamp(track.position + track.velocity * (glide(speed, seconds) / speed));
    }
    if (!turns || std::fabs(track.turning) < TURNING_MIN)
        return shipFieldClamp(track.position + track.velocity * seconds);
    const double speed = std::hypot(track.velocity.x, track.velocity.y);
    const double course = shipHeadingAlong(track.velocity);
    const double w = track.turning;
    const double later = course + w * seconds;
    const Vec2 arc(speed * (std::cos(later) - std::cos(course)) / w,
                   speed * (std::sin(course) - std::sin(later)) / w);
    return shipFieldClamp(track.position + arc);
}

Vec2 botAimPoint(const BotTrack& track, Vec2 shooter, double delay, bool leads, bool turns)
{
    if (!leads) return track.position;
    double flight = 0.0;
    Vec2 meet = botTrackAt(track, delay, turns);
    for (int i = 0; i < 6; ++i) {
        flight = std::max(0.0, (double(distance(shooter, meet)) - MUZZLE_OFFSET) / BULLET_SPEED);
        meet = botTrackAt(track, delay + flight, turns);
    }
    return meet;
}

float botShotMiss(const BotTrack& track, Vec2 shooter, double heading, double delay, bool turns)
{
    const Bullet shot = bulletSpawn(shooter, heading);
    float closest = 1e9f;
    for (double t = 0.0; t <= FLIGHT_MAX; t += SAMPLE) {
        const Vec2 b = bulletFlown(shot, t);
        if (!bulletInPlay(b)) break;
        // The host tests a bullet one step after placing it, against where the ship is then.
        closest = std::min(closest, distance(b, botTrackAt(track, delay + t + BOT_STEP, turns)));
    }
    return closest;
}

}  // namespace netduel
