// Lobby texts: payload cutting, code and body, the notices and their history lines,
// the who-is-here listing, chat requests and the names the server assigns.
#include <array>
#include <vector>

#include <gtest/gtest.h>

#include "lobby/lobby.h"
#include "lobby/lobby_protocol.h"

namespace netduel {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(LobbyPayload, TextEndsAtTheFirstNulOrTheEndOfThePacket)
{
    EXPECT_EQ(lobbyPayloadText(bytesOf(std::string_view("SAY hi\0rest\0", 12))), "SAY hi");
    EXPECT_EQ(lobbyPayloadText(bytesOf("WHO ")), "WHO ");
    EXPECT_EQ(lobbyPayloadText({}), "");
    // A view into a larger buffer must stop at its own end, not at the buffer's NUL.
    const std::array<std::uint8_t, 6> buffer{'S', 'A', 'Y', ' ', 'x', 0};
    EXPECT_EQ(lobbyPayloadText(std::span(buffer).first(4)), "SAY ");
}

TEST(LobbyPayload, FrameAddsExactlyOneNul)
{
    EXPECT_EQ(lobbyFrame("SAY "), (std::vector<std::uint8_t>{'S', 'A', 'Y', ' ', 0}));
    EXPECT_EQ(lobbyFrame(""), std::vector<std::uint8_t>{0});
}

TEST(LobbyMessage, CodeIsTheFirstFourCharactersAndBodyTheRest)
{
    const std::array<std::array<std::string_view, 3>, 5> cases{{
        {"SAY hello there", "SAY ", "hello there"},
        {"SAY ", "SAY ", ""},
        {"SAY", "SAY", ""},
        {"WHO  x", "WHO ", " x"},
        {"", "", ""},
    }};
    for (const auto& [text, code, body] : cases) {
        EXPECT_EQ(lobbyMessageParse(text).code, code) << text;
        EXPECT_EQ(lobbyMessageParse(text).body, body) << text;
    }
}

TEST(LobbyMessage, BodySplitsAtItsFirstSpace)
{
    const std::array<std::array<std::string_view, 3>, 4> cases{{
        {"Pilot hello there", "Pilot", "hello there"},
        {"hello", "", "hello"},
        {" hello", "", "hello"},
        {"", "", ""},
    }};
    for (const auto& [body, name, rest] : cases) {
        EXPECT_EQ(lobbyBodySplit(body).name, name) << body;
        EXPECT_EQ(lobbyBodySplit(body).rest, rest) << body;
    }
}

TEST(LobbyNotices, ServerTexts)
{
    EXPECT_EQ(welcomeNotice(), "WSP Lobby Welcome to the lobby!");
    EXPECT_EQ(newNotice("Anonymous0"), "NEW Anonymous0");
    EXPECT_EQ(oldNotice("Anonymous1"), "OLD Anonymous1");
    EXPECT_EQ(sayNotice("Anonymous0", ""), "SAY Anonymous0 ");
    EXPECT_EQ(nameNotice("Pilot", ""), "NME Pilot ");
}

TEST(LobbyNotices, WhoListingHasAHeadingAndOneLinePerSlot)
{
    const std::array<PeerStats, 2> peers{{{"Anonymous0", 0, 12, 3, 0, 1, 44},
                                          {"Pilot", 2, 4294967295u, 7, 65536, 0, 9}}};
    EXPECT_EQ(whoNotice(peers), "WSP Lobby Chatters:\r\n"
                                "Anonymous0 (#0, 12 +/- 3, 0, 1, 44)\r\n"
                                "Pilot (#2, 4294967295 +/- 7, 65536, 0, 9)\r\n");
}

TEST(LobbyNotices, HistoryLines)
{
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"SAY Pilot hello there", "Pilot: hello there"},
        {"WSP Lobby Welcome to the lobby!", "Lobby whispers: Welcome to the lobby!"},
        {"NEW Anonymous", "* Anonymous connected =)"},
        {"OLD Anonymous", "* Anonymous disconnected =("},
        {"NEW Pilot One", "* Pilot One connected =)"},
        {"NME Anonymous Pilot", "* Anonymous is now known as Pilot"},
        {"SAY hello", ": hello"},
        {"SAY  hello", ": hello"},
        {"SAY ", ": "},
        {"WSP Lobby Chatters:\r\nA (#0, 1 +/- 0, 0, 0, 3)\r\n",
         "Lobby whispers: Chatters:\r\nA (#0, 1 +/- 0, 0, 0, 3)\r\n"},
    };
    for (const auto& [notice, line] : cases) {
        const auto shown = noticeHistoryLine(notice);
        ASSERT_TRUE(shown.has_value()) << notice;
        EXPECT_EQ(*shown, line) << notice;
    }
    for (std::string_view ignored : {"SAY", "say hi", "WSP", "REN x", "WHO ", "XYZ hi", ""}) {
        EXPECT_FALSE(noticeHistoryLine(ignored).has_value()) << ignored;
    }
}

TEST(LobbyNotices, HistoryLinesReadBackAsTheyWereWritten)
{
    struct Case {
        std::string notice;
        HistoryLine kind;
        std::string_view name, rest;
    };
    const Case cases[] = {
        {newNotice("Anonymous3"), HistoryLine::Joined, "Anonymous3", ""},
        {oldNotice("Pilot"), HistoryLine::Left, "Pilot", ""},
        {nameNotice("Anonymous0", "Pilot"), HistoryLine::Renamed, "Anonymous0", "Pilot"},
        {sayNotice("Pilot", "hi: there"), HistoryLine::Said, "Pilot", "hi: there"},
        {whisperNotice("Pilot", "psst"), HistoryLine::Whispered, "Pilot", "psst"},
        // Text that mimics another line's words stays what it is.
        {whisperNotice("*", "x connected =)"), HistoryLine::Whispered, "*", "x connected =)"},
        {sayNotice("a", "b whispers: c"), HistoryLine::Said, "a", "b whispers: c"},
        {sayNotice("*", "x disconnected =("), HistoryLine::Said, "*", "x disconnected =("},
        // A name the server never hands out (empty, or with a blank) is no join.
        {newNotice(""), HistoryLine::Other, "", ""},
        {newNotice("Pilot One"), HistoryLine::Other, "", ""},
    };
    for (const Case& c : cases) {
        const std::string line = noticeHistoryLine(c.notice).value();
        const HistoryLineRead read = historyLineRead(line);
        EXPECT_EQ(read.kind, c.kind) << line;
        EXPECT_EQ(read.name, c.name) << line;
        EXPECT_EQ(read.rest, c.rest) << line;
    }
}

TEST(ChatRequest, LinesAndCommands)
{
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"", "SAY "},
        {"hello", "SAY hello"},
        {"hello /who", "SAY hello /who"},
        {"/name Pilot", "REN Pilot"},
        {"/name  Pilot", "REN  Pilot"},
        {"/name", "REN /name"},
        {"/name ", "REN "},
        {"/who", "WHO "},
        {"/who is here", "WHO "},
        {"/WHO", "/WHO"},
        {"/", "/"},
        {"/ name", "/ name"},
        {"/names x", "/names x"},
    };
    for (const auto& [line, request] : cases) EXPECT_EQ(chatRequest(line), request) << line;
}

TEST(ServerNames, ArrivalAndRename)
{
    EXPECT_EQ(anonymousName(0), "Anonymous0");
    EXPECT_EQ(anonymousName(24), "Anonymous24");
    EXPECT_EQ(renamedName("Pilot", 9.0), "Pilot");
    EXPECT_EQ(renamedName("", 9.0), "");
    EXPECT_EQ(renamedName(std::string(40, 'n'), 9.0), std::string(NAME_CHARS, 'n'));
    EXPECT_EQ(renamedName("Red Baron", 1234.99), "Lamer1234");
    EXPECT_EQ(renamedName(std::string(32, 'c') + " x", 1.0), std::string(32, 'c'));
    EXPECT_EQ(renamedName(std::string(31, 'c') + " x", 77.5), "Lamer77");
}

TEST(FixedText, CutsAndZeroFills)
{
    char text[6];
    std::memset(text, 'z', sizeof text);
    fixedTextSet(text, "abcdefgh");
    EXPECT_EQ(fixedTextView(text), "abcde");
    EXPECT_EQ(text[5], '\0');
    fixedTextSet(text, "ab");
    EXPECT_EQ(fixedTextView(text), "ab");
    for (int i = 2; i < 6; ++i) EXPECT_EQ(text[i], '\0');
}

}  // namespace
}  // namespace netduel
