// Program clock and status stream.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "base/status.h"
#include "base/timer.h"

namespace netduel {
namespace {

TEST(Timer, ManualPinAndRelease)
{
    const double before = timerSeconds();
    timerSetManual(12.5);
    EXPECT_EQ(timerSeconds(), 12.5);
    EXPECT_EQ(timerSeconds(), 12.5);
    timerSetReal();
    const double after = timerSeconds();
    EXPECT_GE(after, before);
    EXPECT_NE(after, 12.5);
}

TEST(Status, LinesReachTheStreamAsWrittenAndFlushed)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* memory = open_memstream(&buffer, &size);
    ASSERT_NE(memory, nullptr);
    std::FILE* saved = statusOut;
    statusOut = memory;
    statusWrite("Cli", false);
    statusWrite(std::string_view("0\0x", 3), false);
    statusWrite(" disconnected.", true);
    // The line end flushes, so the text is visible without closing the stream.
    EXPECT_EQ(std::string(buffer, size), std::string("Cli0\0x disconnected.\n", 21));
    statusOut = nullptr;
    statusWrite("dropped", true);
    statusOut = saved;
    std::fclose(memory);
    std::free(buffer);
}

}  // namespace
}  // namespace netduel
