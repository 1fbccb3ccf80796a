// Bounds on what peers send: the name rules, history lines that never outgrow their
// field, and the server's request handling run without a network (allowances, the text
// limit, the flood release).
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/status.h"
#include "base/timer.h"
#include "lobby/lobby.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"

namespace netduel {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(ServerNames, OnlyPrintableBytesWithoutSpacesAreKept)
{
    for (int value = 0; value < 256; ++value) {
        const std::string requested = "ab" + std::string(1, char(value)) + "c";
        const bool printable = value >= 0x21 && value <= 0x7E;
        EXPECT_EQ(renamedName(requested, 42.9), printable ? requested : "Lamer42") << value;
    }
    EXPECT_EQ(renamedName("Lobby\xFFwhispers", 7.0), "Lamer7");
    EXPECT_EQ(renamedName("!~", 7.0), "!~");
}

TEST(ServerNames, ANameAnotherChatterHoldsIsReplaced)
{
    const std::array<std::string_view, 3> others{"Pilot", "", "Anonymous2"};
    EXPECT_EQ(renamedName("Pilot", 61.2, others), "Lamer61");
    EXPECT_EQ(renamedName("Anonymous2", 61.2, others), "Lamer61");
    EXPECT_EQ(renamedName("pilot", 61.2, others), "pilot");  // names compare case and all
    EXPECT_EQ(renamedName("Pilot2", 61.2, others), "Pilot2");
    EXPECT_EQ(renamedName("", 61.2, others), "");  // the empty name is granted even when held
    // The cut name is what is compared: 40 characters whose first 32 someone holds.
    const std::string held(NAME_CHARS, 'h');
    const std::array<std::string_view, 1> holder{held};
    EXPECT_EQ(renamedName(held + "tail-ignored", 3.0, holder), "Lamer3");
    EXPECT_EQ(renamedName(held.substr(1), 3.0, holder), held.substr(1));
}

TEST(NoticeHistory, EveryNoticeIsCutToTheHistoryWidth)
{
    const std::string long1(4000, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"SAY Pilot " + long1, "Pilot: " + long1},
        {"WSP Lobby " + long1, "Lobby whispers: " + long1},
        {"NEW " + long1, "* " + long1 + " connected =)"},
        {"OLD " + long1, "* " + long1 + " disconnected =("},
        {"NME Pilot " + long1, "* Pilot is now known as " + long1},
        // Cut inside the fixed words at the end, and exactly at the width.
        {"OLD " + std::string(140, 'o'), "* " + std::string(140, 'o') + " disconnected =("},
        {"NEW " + std::string(135, 'n'), "* " + std::string(135, 'n') + " connected =)"},
    };
    for (const auto& [notice, whole] : cases) {
        const auto line = noticeHistoryLine(notice);
        ASSERT_TRUE(line.has_value()) << notice.substr(0, 12);
        EXPECT_EQ(*line, whole.substr(0, HISTORY_CHARS)) << notice.substr(0, 12);
    }
    EXPECT_EQ(noticeHistoryLine("NEW " + std::string(135, 'n'))->size(), std::size_t(HISTORY_CHARS));
    EXPECT_EQ(*noticeHistoryLine("SAY a b"), "a: b");
}

// A server without an ENet host whose table holds `count` connected slots, each with a
// zeroed peer of its own, as a harness drives the request handler.
class RequestHandlerTest : public testing::Test {
protected:
    void SetUp() override
    {
        timerSetManual(500.0);
        statusOut = nullptr;
    }
    void TearDown() override
    {
        statusOut = stdout;
        timerSetReal();
    }

    void connect(std::size_t count)
    {
        peers.resize(count);
        for (std::size_t slot = 0; slot < count; ++slot) {
            ClientSlot& client = server.clients.emplace_back();
            client.id = std::int32_t(slot);
            client.connected = true;
            client.peer = &peers[slot];
            peers[slot].data = reinterpret_cast<void*>(slot);
            fixedTextSet(client.name, anonymousName(client.id));
            rateLimiterReset(client.controlAllowance, CONTROL_RULE, timerSeconds());
            rateLimiterReset(client.textAllowance, TEXT_RULE, timerSeconds());
        }
    }

    void request(std::size_t slot, std::string_view text)
    {
        const std::vector<std::uint8_t> payload = lobbyFrame(text);
        lobbyServerHandleRequest(server, slot, payload, timerSeconds());
    }

    std::string name(std::size_t slot) { return std::string(fixedTextView(server.clients[slot].name)); }

    LobbyServer server;
    std::vector<ENetPeer> peers;
};

TEST_F(RequestHandlerTest, RequestsRunWithoutAHostAndKeepTheNameRules)
{
    connect(3);
    request(0, "SAY hello");
    request(1, "WHO ");
    request(0, "REN Pilot");
    EXPECT_EQ(name(0), "Pilot");
    request(2, "REN Pilot");
    EXPECT_EQ(name(2), "Lamer500");
    request(0, "REN Pilot");  // its own name again
    EXPECT_EQ(name(0), "Pilot");
    request(1, "REN tab\tbed");
    EXPECT_EQ(name(1), "Lamer500");
    // A free slot, or one past the table, is not handled.
    server.clients[2].connected = false;
    request(2, "REN Free");
    request(7, "REN Nobody");
    EXPECT_EQ(name(2), "Lamer500");
    lobbyServerHandleRequest(server, 0, bytesOf("REN Nul-less"), timerSeconds());  // the text ends with the payload
    EXPECT_EQ(name(0), "Nul-less");
}

TEST_F(RequestHandlerTest, TextsOverTheLimitAreRefusedAndSpendTheTextAllowance)
{
    connect(1);
    request(0, "REN " + std::string(TEXT_REQUEST_LIMIT - 4, 'a'));  // at the limit: handled
    EXPECT_EQ(name(0), std::string(NAME_CHARS, 'a'));
    request(0, "REN " + std::string(TEXT_REQUEST_LIMIT - 3, 'b'));  // one over: refused
    EXPECT_EQ(name(0), std::string(NAME_CHARS, 'a'));
    for (int i = 2; i < int(TEXT_RULE.burst); ++i) request(0, std::string(TEXT_REQUEST_LIMIT + 1, 'c'));
    request(0, "REN Spent");
    EXPECT_EQ(name(0), std::string(NAME_CHARS, 'a'));
    timerSetManual(500.0 + 1.0 / TEXT_RULE.perSecond);
    request(0, "REN Refilled");
    EXPECT_EQ(name(0), "Refilled");
}

TEST_F(RequestHandlerTest, IgnoredTextsCostAControlWordNotAText)
{
    connect(1);
    for (int i = 0; i < 40; ++i) request(0, "XYZ ignored");
    EXPECT_EQ(server.clients[0].controlAllowance.windowDrops, 40 - int(CONTROL_RULE.burst));
    request(0, "REN StillFree");
    EXPECT_EQ(name(0), "StillFree");
}

TEST_F(RequestHandlerTest, ASlotFloodingForTwoWindowsIsReleasedWithOneLine)
{
    char* log = nullptr;
    std::size_t length = 0;
    statusOut = open_memstream(&log, &length);
    connect(2);
    const int flood = int(TEXT_RULE.burst) + TEXT_RULE.floodDrops;
    for (int window = 0; window < FLOOD_WINDOWS; ++window) {
        timerSetManual(500.0 + window * RATE_WINDOW_SECONDS);
        for (int i = 0; i < flood; ++i) request(1, "SAY spam");
        EXPECT_TRUE(server.clients[1].connected) << window;
    }
    timerSetManual(500.0 + FLOOD_WINDOWS * RATE_WINDOW_SECONDS);
    request(1, "SAY one more");
    std::fclose(statusOut);
    statusOut = nullptr;
    const std::string text(log, length);
    std::free(log);

    EXPECT_FALSE(server.clients[1].connected);
    EXPECT_EQ(server.clients[1].id, -1);
    EXPECT_EQ(name(1), "");
    EXPECT_EQ(peers[1].data, nullptr);
    EXPECT_TRUE(server.clients[0].connected);
    EXPECT_EQ(text, "Cli1 flooded the server: disconnected.\nCli1 disconnected.\n");
}

}  // namespace
}  // namespace netduel
