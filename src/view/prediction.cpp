// Not predicting yet: every call leaves the own ship to the smoothed view.
#include "view/prediction.h"

namespace netduel {

void predictionReset(Prediction& prediction, int slot)
{
    prediction = Prediction{};
    prediction.slot = slot == 0 || slot == 1 ? slot : -1;
}

void predictionControl(Prediction&, KeyFlags, double) {}

void predictionSnapshot(Prediction&, const MatchState&, double, double) {}

void predictionFrame(Prediction&, double) {}

bool predictionShip(const Prediction&, Ship&) { return false; }

}  // namespace netduel
