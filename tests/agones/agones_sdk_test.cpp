// The Agones client's worker against a stand-in sidecar on loopback, on the real clock.
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "agones/agones.h"
#include "base/timer.h"
#include "stand_in_sidecar.h"

namespace netduel {
namespace {

// Frames every 5 ms with a ship held until `done`; false after 20 s without it.
bool framesUntil(AgonesSdk& sdk, const std::function<bool()>& done)
{
    for (const double end = timerSeconds() + 20.0; !done(); usleep(5000)) {
        if (timerSeconds() > end) return false;
        agonesFrame(sdk, 1, timerSeconds());
    }
    return true;
}

TEST(AgonesSdk, TheFrameNeverWaitsForASidecarThatIsLateOrSlow)
{
    int port = 0;
    {
        StandInSidecar probe;  // a free port, then nobody on it
        ASSERT_TRUE(probe.start());
        port = probe.port;
    }
    AgonesSdk sdk;
    ASSERT_TRUE(agonesOpen(sdk, std::to_string(port).c_str()));
    ASSERT_TRUE(framesUntil(sdk, [&] { return sdk.plan.retryDelay > AGONES_RETRY_LEAST; }));
    StandInSidecar sidecar;
    sidecar.delay = std::chrono::milliseconds(500);
    ASSERT_TRUE(sidecar.start(port));
    ASSERT_TRUE(framesUntil(sdk, [&] { return sdk.plan.waiting; }));  // the retry is out
    for (int frame = 0; frame < 10; ++frame) agonesFrame(sdk, 1, timerSeconds());
    // The sidecar records a call after its delay: these frames came back before that.
    EXPECT_EQ(sidecar.count("POST /ready"), 0);
    EXPECT_TRUE(framesUntil(sdk, [&] { return sdk.plan.ready; }));
    EXPECT_EQ(sidecar.count("POST /ready"), 1);
    EXPECT_EQ(sdk.plan.retryDelay, 0.0);
    agonesClose(sdk);
}

}  // namespace
}  // namespace netduel
