// The shooter's flash: lit by the drawn touch, the host's echo of it not drawn again.
#include <gtest/gtest.h>

#include "view/hit_flash.h"

namespace netduel {
namespace {

TEST(HitFlash, LitByTheDrawnTouchAndItsEchoFromTheHostNotDrawnAgain)
{
    struct Frame {
        double t;          // s
        bool touching;     // an own drawn bullet on the drawn other ship
        std::int8_t host;  // the host's counter at the playout time
        bool lit;
        const char* why;
    };
    const Frame frames[] = {
        {0.000, false, 0, false, "nothing yet"},
        {0.100, true, 0, true, "the touch lights it in its own frame"},
        {0.117, true, 0, true, "still touching"},
        {0.250, false, 0, true, "a flash's length after the last touch"},
        {0.300, false, 0, false, "over"},
        {0.450, false, 1, false, "the host's flash of that touch comes back: not twice"},
        {0.500, false, 4, false, "and not while it runs"},
        {0.700, false, 0, false, "the host's flash over"},
        {1.000, false, 1, true, "a hit the copy did not draw is shown as the host says"},
        {1.050, false, 3, true, "as it runs"},
        {1.300, false, 0, false, "over"},
        {1.400, true, 0, true, "another touch"},
        {1.420, false, 0, true, "its flash runs"},
        {2.500, false, 1, true, "a host flash long after is no echo of it"},
    };
    HitFlash flash;
    for (const Frame& f : frames) {
        Ship other;
        other.position = {500.0f, 300.0f};
        other.hitCounter = f.host;
        Ship own;
        own.bullets[3].active = f.touching ? 0xFF : 0;
        own.bullets[3].position = {505.0f, 300.0f};
        hitFlashFrame(flash, other, own, f.t);
        EXPECT_EQ(other.hitCounter > 0, f.lit) << f.t << " s: " << f.why;
    }
}

}  // namespace
}  // namespace netduel
