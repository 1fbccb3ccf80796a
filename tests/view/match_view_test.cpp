// Smoothed view: interpolation at the playout time, bridging a loss, the extrapolation
// limit, bullets fired and retired between snapshots, and the delay following jitter.
#include <gtest/gtest.h>

#include "view/match_view.h"

namespace netduel {
namespace {

}  // namespace
}  // namespace netduel
