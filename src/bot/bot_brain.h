// Computer player's decisions: from the snapshots it has received and the time, the next
// control word. Pure: no sockets, no clock of its own, no globals; the same inputs and
// seed give the same words.
#pragma once

#include <cstdint>
#include <optional>

#include "duel/match.h"
#include "duel/packet_handlers.h"
#include "duel/simulate.h"
#include "vecmath/vec2.h"

namespace netduel {

// A person's copy sends at most one control word per this many seconds; a little more
// than 0.05 so that jitter on the way never lets 21 words land within one second.
inline constexpr double BOT_SEND_INTERVAL = 0.052;
inline constexpr double BOT_STEP = SIM_STEP_MAX;  // s: the host's step
// The share of a turn rate that one host step keeps.
inline constexpr double BOT_TURN_KEPT = -TURN_DAMPING * BOT_STEP;

// Heading change of one turn word: TURN_RATE for a step, then damped by each step until
// it snaps to 0 (0.0833 + 0.0208 + 0.0052 rad at 60 steps a second).
constexpr double botTurnOfOneWord()
{
    double turned = 0.0;
    for (double rate = TURN_RATE; rate >= TURN_SNAP; rate *= BOT_TURN_KEPT) turned += rate * BOT_STEP;
    return turned;
}
inline constexpr float BOT_TURN_QUANTUM = static_cast<float>(botTurnOfOneWord());
// The first step alone: the heading a word with both a turn and the fire bit shoots at.
inline constexpr float BOT_TURN_FIRST_STEP = static_cast<float>(TURN_RATE * BOT_STEP);
// Fire words this far apart (the cooldown's steps and one more: seven) each find the shared
// cooldown over; two words 0.052 s apart reach the host six steps after a shot, and lose
// the race with its clock about half the time.
inline constexpr double BOT_SHOT_SPACING = (int(FIRE_COOLDOWN / BOT_STEP + 0.5) + 1) * BOT_STEP - 0.0015;
// Seconds from a word leaving to the first snapshot that shows it, until measured (on
// loopback: a frame until the host's service, its step, and a frame until a broadcast):
// the bot times its own turn words and keeps the echo in a fast-rising, slowly-falling
// mean that follows a link that gets worse.
inline constexpr double BOT_ECHO_GUESS = 0.05;
inline constexpr double BOT_ECHO_MAX = 1.0;
inline constexpr float BOT_WALL_MARGIN = 45.0f;   // px from a ship bound: too near a wall
inline constexpr double BOT_DODGE_HORIZON = 0.6;  // s ahead that enemy bullets are feared
// A bot that found no shot for this long, or hit nothing for BOT_HITLESS_SECONDS, closes in
// to BOT_CLOSEST (px), where one of the headings its turn words reach passes within 5 px
// of any target: from farther off, a still one may lie between two of them.
inline constexpr double BOT_SHOTLESS_SECONDS = 1.5;
inline constexpr double BOT_HITLESS_SECONDS = 3.0;
inline constexpr float BOT_CLOSEST = 80.0f;
inline constexpr int BOT_SIGHTS = 48;             // snapshots kept: 1.6 s at 30 a second
inline constexpr int BOT_PENDING_TURNS = 8;       // turn words remembered until seen

// What sets the levels apart.
struct BotLevel {
    double reactionDelay = 0.0;  // s: the bot decides on what it received this long ago
    double aimWobble = 0.0;      // rad: spread of a slowly changing aim error
    double wobblePeriod = 0.6;   // s between two draws of the aim error
    float fireMiss = 8.0f;       // px: fires when the shot passes at most this far
    double fireGap = 0.0;        // s: least time between two fire words
    float fightDistance = 150.0f;  // px: the range it closes to and holds
    bool leads = true;           // aims where the enemy will be, not where it is
    bool leadsTurns = true;      // expects a turning enemy to keep turning
    bool shootsWhileTurning = true;  // may fire on the first step of a turn
    float dodgeMargin = 0.0f;    // px: an enemy bullet passing closer is dodged; 0: never
};

inline constexpr int BOT_LEVEL_DEFAULT = 2;
inline constexpr int BOT_LEVEL_MAX = 3;  // levels 1…3

// Levels 1 (a beginner's match) to 3 (hard for a practised player); others read as 2.
BotLevel botLevel(int level);

// One snapshot as the bot received it.
struct BotSight {
    double received = 0.0;  // s, the bot's clock
    double hostTime = 0.0;  // s, the host's send clock where stamped, else `received`
    std::uint32_t stamp = 0;
    Ship ships[SHIP_COUNT];
};

struct BotPendingTurn {
    double sentAt = -1.0;  // s, the bot's clock; negative: empty
    float delta = 0.0f;    // rad the word turns the heading by
};

struct BotBrain {
    BotLevel level;
    BotSight sights[BOT_SIGHTS];  // ring, newest at sightNewest
    int sightCount = 0;
    int sightNewest = -1;
    BotPendingTurn pending[BOT_PENDING_TURNS];  // ring of the last turn words sent
    int pendingNext = 0;
    double nextSendTime = 0.0;  // s: no word before this
    double nextFireTime = 0.0;  // s: no fire bit before this
    double lastFireTime = 0.0;  // s: the last word with a fire bit
    double ownShotSeenAt = 0.0; // s: the last sight with a new bullet of its own
    double hitSeenAt = 0.0;     // s: the last sight in which the enemy was newly hit
    double wobble = 0.0;        // rad, the aim error now
    double wobbleUntil = -1.0;  // s: when it is drawn again
    double echo = BOT_ECHO_GUESS;  // s from sending a word to seeing it in a snapshot
    std::uint64_t random = 1;   // xorshift state, never 0
};

// A moving ship as the bot expects it to go on.
struct BotTrack {
    Vec2 position;
    Vec2 velocity;         // px/s: its mean speed along its course now
    double turning = 0;    // rad/s of its course, counted like heading
    bool gliding = false;  // it thrusts no more: `velocity` dies down as the host damps it
};

// Forgets everything and plays at `level`, its random draws from `seed`.
void botBrainReset(BotBrain& brain, BotLevel level, std::uint64_t seed);

// Records a snapshot received at `now` (the bot's clock) with its send stamp (0: none);
// with `ownShip` known (0 or 1), times the echo of the bot's last turn word in it.
void botBrainSee(BotBrain& brain, const MatchState& seen, std::uint32_t stamp, int ownShip, double now);

// The control word to send now for `ownShip` (0 or 1); empty when no word is due (the
// interval has not passed, nothing seen yet, or nothing to do). A word it returns
// counts as sent at `now`.
std::optional<KeyFlags> botBrainDecide(BotBrain& brain, int ownShip, double now);

// Where `ship` of the sight at index `at` is expected to go on: its course and mean speed
// fitted over the sights since it last held other keys (up to half a second of them), as a
// course that turns at a steady rate; a ship that has not thrust for a while glides.
BotTrack botTrack(const BotBrain& brain, int at, int ship);

// Where the track will be `seconds` ahead, its course turning as it does now when
// `turns`, slowing as the host's steps damp it when it glides; never past the ship bounds.
Vec2 botTrackAt(const BotTrack& track, double seconds, bool turns);

// The point to aim at from `shooter` so that a bullet fired `delay` seconds from now
// meets the track; the track's position now when `leads` is false.
Vec2 botAimPoint(const BotTrack& track, Vec2 shooter, double delay, bool leads, bool turns);

// How close a bullet fired at `heading` from a ship at `shooter`, `delay` seconds from
// now, passes the track (px), for as long as the bullet stays in the field.
float botShotMiss(const BotTrack& track, Vec2 shooter, double heading, double delay, bool turns);

}  // namespace netduel
