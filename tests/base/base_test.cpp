// Program clock and status stream.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

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

// Seconds since this process started, from the kernel's own records.
double processAgeSeconds()
{
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    // Field 22, start time in clock ticks after boot, counted after the command's ')'.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int index = 3; index <= 22; ++index) fields >> field;
    const double started = std::stod(field) / double(sysconf(_SC_CLK_TCK));
    double uptime = 0.0;
    std::ifstream("/proc/uptime") >> uptime;
    return uptime - started;
}

TEST(Timer, CountsFromProgramStart)
{
    const double age = processAgeSeconds();
    const double now = timerSeconds();
    EXPECT_GE(now, 0.0);
    // Tick granularity and the reading order allow a little slack, not a machine's uptime.
    EXPECT_LE(now, age + 1.0);
}

TEST(StatusEscape, ControlBytesBecomeHexAndEverythingElseStays)
{
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        const bool control = value < 0x20 || value == 0x7F || (value >= 0x80 && value <= 0x9F);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", value);
        EXPECT_EQ(statusEscape(std::string(1, byte)), control ? std::string(hex) : std::string(1, byte))
            << value;
    }
    EXPECT_EQ(statusEscape("esc\x1b[2J bel\a cr\r lf\nCli9 connected"),
              "esc\\x1b[2J bel\\x07 cr\\x0d lf\\x0aCli9 connected");
    EXPECT_EQ(statusEscape("\x9b\x7f\xa0\xff~ !"), "\\x9b\\x7f\xa0\xff~ !");
    const std::string printable = "SAY Anonymous0 hello, world! (#0, 12 +/- 3) ~";
    EXPECT_EQ(statusEscape(printable), printable);
    EXPECT_EQ(statusEscape(std::string_view("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(statusEscape(""), "");
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
