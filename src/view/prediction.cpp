// Prediction: the own ship stepped like the host steps it, replayed from each snapshot
// over the words the host cannot have applied yet, with the difference eased out.
//
// The private ship counts its steps; a word is applied at once and stepped from then on,
// so at a snapshot the private ship has taken `age` steps since each word. The host
// applies a word one link delay later, after its own step, and its snapshot takes another
// link delay back: the snapshot's ship is `lag` steps behind the private one. The replay
// runs those steps from the snapshot's ship, applying each word that the snapshot lacks
// before the step that follows it. The lag is the round trip, moved to where snapshots
// meet the private ship's trace; the snapshot's speed or turn rate tells which word it
// holds last, which places a word that the link delayed by a step or two.
#include "view/prediction.h"

#include <algorithm>
#include <cmath>

#include "duel/packet_handlers.h"
#include "duel/simulate.h"

namespace netduel {

namespace {

constexpr double STEP = SIM_STEP_MAX;
constexpr double SPEED_FACTOR = -SPEED_DAMPING * STEP;  // the speed kept by one host step
constexpr double TURN_FACTOR = -TURN_DAMPING * STEP;    // the turn rate kept by one step
constexpr int THRUST_READABLE_STEPS = 8;  // a thrust word this many steps old still shows
constexpr double THRUST_READABLE = 0.21;  // of THRUST_SPEED: between 8 steps' 0.23 and 9's 0.19

// The vector library's length reads 1 for a zero vector; a correction of nothing is 0 px.
float magnitude(Vec2 v)
{
    return toF32(std::hypot(double(v.x), double(v.y)));
}

bool predicting(const Prediction& prediction)
{
    return prediction.slot == 0 || prediction.slot == 1;
}

const SentWord& predictionWord(const Prediction& prediction, int age)
{
    return ringAt(prediction.words, age);
}

const ShipTrace& predictionTraceAt(const Prediction& prediction, int age)
{
    return ringAt(prediction.trace, age);
}

// Steps the private ship has taken since `sent` was applied.
int wordAge(const Prediction& prediction, const SentWord& sent)
{
    return std::max(0, prediction.steps - sent.step);
}

void shipStepWhole(Ship& ship, int steps)
{
    for (int i = 0; i < steps; ++i) shipStepMotion(ship, -STEP);
}

// Host steps since `value` (a speed or turn rate) was set to `full` by a word, as each
// step keeps `factor` of it; −1 when it is below `readable` of `full` or above it.
int stepsSinceSet(double value, double full, double factor, double readable)
{
    const double ratio = std::fabs(value) / full;
    if (!(ratio > readable) || ratio > 1.0 + 1e-3) return -1;
    return static_cast<int>(std::lround(std::log(std::min(ratio, 1.0)) / std::log(factor)));
}

// How far apart two ship states are, a radian of heading counting as
// PREDICTION_HEADING_WEIGHT px.
double shipMiss(Vec2 position, float heading, Vec2 otherPosition, float otherHeading)
{
    return magnitude(position - otherPosition) +
           PREDICTION_HEADING_WEIGHT * std::fabs(double(heading) - otherHeading);
}

// The steps the snapshot's ship `host` is behind the private one, where it meets the
// trace within PREDICTION_TRACE_MATCH px and the frames on either side of that lie
// farther off by as much again; −1 where it meets none so (a ship at rest meets every
// frame of its rest). Speed counts too, so that a word the host took a step late does
// not read as a longer lag.
int traceLag(const Prediction& prediction, const Ship& host)
{
    auto missAt = [&](int age) {
        const ShipTrace& at = predictionTraceAt(prediction, age);
        return shipMiss(host.position, host.heading, at.position, at.heading) +
               PREDICTION_TRACE_SPEED_WEIGHT * std::fabs(double(host.speed) - at.speed);
    };
    int bestAge = -1;
    double best = PREDICTION_TRACE_MATCH;
    for (int age = 1; age + 1 < prediction.trace.count; ++age) {
        const double miss = missAt(age);
        if (!(miss < best)) continue;
        best = miss;
        bestAge = age;
    }
    if (bestAge < 0 || !(missAt(bestAge - 1) >= best + PREDICTION_TRACE_MATCH) ||
        !(missAt(bestAge + 1) >= best + PREDICTION_TRACE_MATCH))
        return -1;
    return prediction.steps - predictionTraceAt(prediction, bestAge).step;
}

// Follows the lag a snapshot shows, as an offset from the round trip (`trip` steps) so
// that a change of route moves it at once; without a round trip yet, the whole lag.
void lagFollow(Prediction& prediction, int measured, double trip)
{
    if (measured < 0) return;
    const double limit = trip > 0.0 ? PREDICTION_LAG_BIAS_MAX : PREDICTION_REPLAY_STEPS_MAX;
    const double bias =
        prediction.lagBias + PREDICTION_LAG_LEARN * (measured - trip - prediction.lagBias);
    prediction.lagBias = std::clamp(bias, -limit, limit);
}

// One reading of what a snapshot holds: the host steps from its ship to now, and which
// of the words sent it has: those older than the replay's steps, except that words
// carrying `pending` no older than `pendingAge` are not in it, however old.
struct ReplayPlan {
    int steps = 0;
    KeyFlags pending = 0;
    int pendingAge = -1;
};

// The snapshot's ship run through the plan's steps, each word it lacks applied before the
// step after it (one the host took late, before the first step).
Ship planReplayed(const Prediction& prediction, const Ship& host, const ReplayPlan& plan)
{
    Ship ship = host;
    int left = plan.steps;
    for (int age = prediction.words.count - 1; age >= 0; --age) {
        const SentWord& sent = predictionWord(prediction, age);
        const int sentAge = wordAge(prediction, sent);
        const bool late = (sent.word & plan.pending) && sentAge <= plan.pendingAge;
        if (sentAge > plan.steps && !late) continue;  // held already
        const int after = std::min(sentAge, plan.steps);
        shipStepWhole(ship, left - after);
        left = std::min(left, after);
        shipApplyControl(ship, sent.word);
    }
    shipStepWhole(ship, left);
    ship.fireRequest = 0;  // bullets are the host's
    return ship;
}

// The readings tried on one snapshot and the one kept: the one that moves the private
// ship least (before the first snapshot, the one nearest the lag). The readings lie
// within PREDICTION_ALIGN_WINDOW of the lag, so none can explain a lost word away as
// every word arriving one word later.
struct PlanChoice {
    double lag = 0.0;
    Ship ship;
    double miss = 0.0;
    int steps = 0;  // the kept reading's replay
    bool made = false;
};

void planTry(const Prediction& prediction, const Ship& host, const ReplayPlan& plan,
             PlanChoice& choice)
{
    const Ship fresh = planReplayed(prediction, host, plan);
    const Ship& old = prediction.ship;
    const double miss = prediction.started
                            ? shipMiss(fresh.position, fresh.heading, old.position, old.heading)
                            : std::fabs(plan.steps - choice.lag);
    if (choice.made && !(miss < choice.miss)) return;
    choice = PlanChoice{choice.lag, fresh, miss, plan.steps, true};
}

// Tries every reading that the snapshot showing the newest word carrying `bits` `since`
// steps old allows within the window around the lag; the newer words carrying `bits` are
// late, up to PREDICTION_LATE_STEPS past the lag.
void planTryAligned(const Prediction& prediction, const Ship& host, KeyFlags bits, int since,
                    PlanChoice& choice)
{
    for (int age = 0; since >= 0 && age < prediction.words.count; ++age) {
        const SentWord& sent = predictionWord(prediction, age);
        const int sentAge = wordAge(prediction, sent);
        const int steps = sentAge - since;
        if (!(sent.word & bits) || steps < 0 || steps > PREDICTION_REPLAY_STEPS_MAX ||
            !(std::fabs(steps - choice.lag) <= PREDICTION_ALIGN_WINDOW))
            continue;
        const int late = std::min(sentAge - 1, steps + PREDICTION_LATE_STEPS);
        planTry(prediction, host, ReplayPlan{steps, bits, late}, choice);
    }
}

// The age of the oldest word carrying `bits` no older than `limit`; −1 when none.
int oldestSent(const Prediction& prediction, KeyFlags bits, int limit)
{
    int oldest = -1;
    for (int age = 0; age < prediction.words.count; ++age) {
        const SentWord& sent = predictionWord(prediction, age);
        const int sentAge = wordAge(prediction, sent);
        if ((sent.word & bits) && sentAge <= limit) oldest = std::max(oldest, sentAge);
    }
    return oldest;
}

// The private ship as the snapshot's ship `host` says it is now. A speed too low to read
// says that no thrust word of the last steps is in the snapshot: those are still on
// their way, and the replay reaches back to them.
PlanChoice predictionReplayed(Prediction& prediction, const Ship& host, double roundTrip)
{
    const double trip = roundTrip > 0.0 ? std::min(roundTrip / STEP, 1e3) : 0.0;
    lagFollow(prediction, traceLag(prediction, host), trip);
    PlanChoice choice;
    choice.lag = std::clamp(trip + prediction.lagBias, 0.0, double(PREDICTION_REPLAY_STEPS_MAX));
    const int timed = static_cast<int>(std::lround(choice.lag));
    const int sinceThrust = predictionStepsSinceThrust(host);
    const int wait = std::min(THRUST_READABLE_STEPS, PREDICTION_LATE_STEPS);
    const int unseen = sinceThrust < 0 ? timed + wait : -1;
    const int reach = std::max(timed, oldestSent(prediction, KEY_UP, unseen));
    planTry(prediction, host, ReplayPlan{reach, KEY_UP, unseen}, choice);
    planTryAligned(prediction, host, KEY_UP, sinceThrust, choice);
    planTryAligned(prediction, host, KEY_LEFT | KEY_RIGHT,
                   predictionStepsSinceTurn(host), choice);
    return choice;
}

// The drawn ship stays where it was; what the new prediction moved is eased out.
void predictionCorrect(Prediction& prediction, const Ship& fresh)
{
    const Vec2 drawnPosition = prediction.ship.position + prediction.positionError;
    const double drawnHeading = double(prediction.ship.heading) + prediction.headingError;
    prediction.lastCorrection = magnitude(fresh.position - prediction.ship.position);
    prediction.ship = fresh;
    prediction.positionError = drawnPosition - fresh.position;
    prediction.headingError = toF32(drawnHeading - fresh.heading);
    if (!(magnitude(prediction.positionError) <= PREDICTION_SNAP_DISTANCE) ||
        !(std::fabs(prediction.headingError) <= PREDICTION_SNAP_HEADING)) {
        prediction.positionError = Vec2();
        prediction.headingError = 0.0f;
    }
    const float rate = toF32(magnitude(prediction.positionError) / PREDICTION_EASE_TIME);
    prediction.positionEaseRate = std::min(rate, PREDICTION_EASE_SPEED_MAX);
    prediction.headingEaseRate = toF32(std::fabs(prediction.headingError) / PREDICTION_EASE_TIME);
}

// Shortens `error` by `amount` (≥ 0), never past zero.
Vec2 errorEased(Vec2 error, double amount)
{
    const float size = magnitude(error);
    if (!(size > amount)) return Vec2();
    return error * ((size - amount) / size);
}

float errorEased(float error, double amount)
{
    if (!(std::fabs(error) > amount)) return 0.0f;
    return toF32(error > 0.0f ? error - amount : error + amount);
}

void predictionTrace(Prediction& prediction)
{
    ringPush(prediction.trace, ShipTrace{prediction.steps, prediction.ship.position, prediction.ship.heading,
                                         prediction.ship.speed});
}

}  // namespace

void predictionReset(Prediction& prediction, int slot)
{
    prediction = Prediction{};
    prediction.slot = slot == 0 || slot == 1 ? slot : -1;
}

void predictionControl(Prediction& prediction, KeyFlags word, double now)
{
    if (!predicting(prediction)) return;
    ringPush(prediction.words, SentWord{word, now, prediction.steps});
    shipApplyControl(prediction.ship, word);
    prediction.ship.fireRequest = 0;
}

void predictionSnapshot(Prediction& prediction, const MatchState& ships, double,
                        double roundTrip)
{
    if (!predicting(prediction)) return;
    const PlanChoice choice = predictionReplayed(prediction, ships.ships[prediction.slot], roundTrip);
    const Ship& fresh = choice.ship;
    prediction.lead = choice.steps;
    if (prediction.started) {
        predictionCorrect(prediction, fresh);
        return;
    }
    prediction.ship = fresh;  // nothing was drawn from the prediction yet: nothing to ease
    prediction.started = true;
}

void predictionFrame(Prediction& prediction, double frameDt)
{
    if (!predicting(prediction) || !prediction.started) return;
    const FrameSteps steps = simulateFrameSteps(frameDt, prediction.carry);
    for (int i = 0; i < steps.count; ++i) shipStepMotion(prediction.ship, steps.dt);
    prediction.steps += steps.count;
    predictionTrace(prediction);
    const double seconds = std::fabs(frameDt);
    prediction.positionError =
        errorEased(prediction.positionError, prediction.positionEaseRate * seconds);
    prediction.headingError =
        errorEased(prediction.headingError, prediction.headingEaseRate * seconds);
}

int predictionStepsSinceThrust(const Ship& ship)
{
    return stepsSinceSet(ship.speed, THRUST_SPEED, SPEED_FACTOR, THRUST_READABLE);
}

int predictionStepsSinceTurn(const Ship& ship)
{
    return stepsSinceSet(ship.turnRate, TURN_RATE, TURN_FACTOR, 0.0);
}

double predictionLead(const Prediction& prediction)
{
    return prediction.lead * STEP;
}

bool predictionShip(const Prediction& prediction, Ship& out)
{
    if (!predicting(prediction) || !prediction.started) return false;
    out.position = prediction.ship.position + prediction.positionError;
    out.heading = toF32(double(prediction.ship.heading) + prediction.headingError);
    return true;
}

}  // namespace netduel
