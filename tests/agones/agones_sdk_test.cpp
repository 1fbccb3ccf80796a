// The Agones client against a stand-in sidecar on loopback, frames on the real clock.
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "agones/agones.h"
#include "base/timer.h"
#include "stand_in_sidecar.h"

namespace netduel {
namespace {

constexpr double DEADLINE = 20.0;  // s

// Frames every 5 ms with `ships` held until `done`; false when the deadline passed first.
bool framesUntil(AgonesSdk& sdk, int ships, const std::function<bool()>& done)
{
    const double end = timerSeconds() + DEADLINE;
    while (!done()) {
        if (timerSeconds() > end) return false;
        agonesFrame(sdk, ships, timerSeconds());
        usleep(5000);
    }
    return true;
}

TEST(AgonesSdk, NothingRunsWithoutAPortInTheVariable)
{
    StandInSidecar sidecar;
    ASSERT_TRUE(sidecar.start());
    const std::string port = std::to_string(sidecar.port);
    for (const char* value : {static_cast<const char*>(nullptr), "", "http://127.0.0.1:9358", "0", "port"}) {
        AgonesSdk sdk;
        EXPECT_FALSE(agonesOpen(sdk, value)) << (value ? value : "unset");
        for (int frame = 0; frame < 100; ++frame) agonesFrame(sdk, 2, timerSeconds());
        EXPECT_FALSE(sdk.worker.joinable());
        EXPECT_FALSE(agonesFinished(sdk));
        agonesClose(sdk);
    }
    // The same frames with the port given do call: the stand-in would have heard them.
    AgonesSdk sdk;
    ASSERT_TRUE(agonesOpen(sdk, port.c_str()));
    EXPECT_TRUE(framesUntil(sdk, 2, [&] { return sidecar.count("POST /ready") == 1; }));
    agonesClose(sdk);
}

TEST(AgonesSdk, TheFrameNeverWaitsForTheSidecar)
{
    StandInSidecar sidecar;
    sidecar.delay = std::chrono::milliseconds(500);
    ASSERT_TRUE(sidecar.start());
    const std::string port = std::to_string(sidecar.port);
    AgonesSdk sdk;
    ASSERT_TRUE(agonesOpen(sdk, port.c_str()));
    agonesFrame(sdk, 1, timerSeconds());  // hands POST /ready to the worker
    for (int frame = 0; frame < 10; ++frame) agonesFrame(sdk, 1, timerSeconds());
    // The sidecar records a call only after its delay: the frames came back before that.
    EXPECT_EQ(sidecar.total(), 0u);
    EXPECT_TRUE(framesUntil(sdk, 1, [&] { return sdk.plan.ready; }));

    sidecar.delay = std::chrono::milliseconds(0);
    {
        std::lock_guard<std::mutex> held(sidecar.lock);
        sidecar.state = "Allocated";
        sidecar.tracking = true;
    }
    EXPECT_TRUE(framesUntil(sdk, 1, [&] { return sdk.plan.allocated && sdk.plan.playersReported == 1; }));
    EXPECT_EQ(sidecar.label("agones.dev/sdk-ships"), "1");
    EXPECT_TRUE(framesUntil(sdk, 2, [&] { return sidecar.playerCount() == 2; }));
    EXPECT_EQ(sidecar.capacity, AGONES_PLAYER_CAPACITY);
    EXPECT_EQ(sidecar.label("agones.dev/sdk-ships"), "2");
    EXPECT_EQ(sidecar.count("POST /ready"), 1);
    agonesClose(sdk);
}

TEST(AgonesSdk, ASidecarThatComesUpLateIsStillToldReady)
{
    int port = 0;
    {
        StandInSidecar probe;  // a free port, then nobody on it
        ASSERT_TRUE(probe.start());
        port = probe.port;
    }
    AgonesSdk sdk;
    ASSERT_TRUE(agonesOpen(sdk, std::to_string(port).c_str()));
    ASSERT_TRUE(framesUntil(sdk, 0, [&] { return sdk.plan.retryDelay > AGONES_RETRY_LEAST; }));
    EXPECT_FALSE(sdk.plan.ready);
    StandInSidecar sidecar;
    ASSERT_TRUE(sidecar.start(port));
    EXPECT_TRUE(framesUntil(sdk, 0, [&] { return sdk.plan.ready && sdk.plan.labelled == 0; }));
    EXPECT_EQ(sidecar.count("POST /ready"), 1);
    EXPECT_EQ(sdk.plan.retryDelay, 0.0);
    agonesClose(sdk);
}

}  // namespace
}  // namespace netduel
