// Stop request: SIGINT and SIGTERM raise the flag instead of ending the process.
#include <csignal>

#include <gtest/gtest.h>

#include "base/stop_request.h"

namespace netduel {
namespace {

TEST(StopRequest, EitherSignalRaisesItAndResetForgetsIt)
{
    ASSERT_TRUE(stopRequestInstall());
    stopRequestReset();
    EXPECT_FALSE(stopRequested());
    for (const int signal : {SIGTERM, SIGINT}) {
        ASSERT_EQ(std::raise(signal), 0);  // without the handler the test process ends here
        EXPECT_TRUE(stopRequested()) << signal;
        stopRequestReset();
        EXPECT_FALSE(stopRequested());
    }
}

}  // namespace
}  // namespace netduel
