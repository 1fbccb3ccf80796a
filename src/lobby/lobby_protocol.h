// Lobby protocol: the port and channel map, and the channel-0 texts both sides parse and build.
//
// A channel-0 payload is one text followed by a NUL. A text starts with a four-character
// code (three capitals and a space); the body is the rest. In "SAY ", "WSP " and "NME "
// notices the body's first space separates a name from the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace netduel {

inline constexpr std::uint16_t LOBBY_PORT = 42069;
inline constexpr std::size_t LOBBY_MAX_PEERS = 25;
inline constexpr std::uint8_t CHANNEL_TEXT = 0;      // lobby texts, reliable, both ways
inline constexpr std::uint8_t CHANNEL_CONTROL = 1;   // 4-byte control words to the server
inline constexpr std::uint8_t CHANNEL_SNAPSHOT = 2;  // 464-byte snapshots to every client
inline constexpr std::size_t CLIENT_CHANNELS = 10;
inline constexpr double PING_INTERVAL = 5.0;         // seconds between keep-alive passes
inline constexpr std::size_t CODE_CHARS = 4;
inline constexpr std::size_t CHAT_LINE_LIMIT = 70;   // a longer chat line is sent at once
// Longest request text the server acts on, bytes. The chat line sends at most 70 typed
// characters behind a code; this leaves room for any client that types more, while a
// relayed line stays far below what a packet may hold.
inline constexpr std::size_t TEXT_REQUEST_LIMIT = 512;

// Requests (client to server) and notices (server to client).
inline constexpr std::string_view CODE_SAY = "SAY ";
inline constexpr std::string_view CODE_REN = "REN ";
inline constexpr std::string_view CODE_WHO = "WHO ";
inline constexpr std::string_view CODE_WSP = "WSP ";
inline constexpr std::string_view CODE_NEW = "NEW ";
inline constexpr std::string_view CODE_OLD = "OLD ";
inline constexpr std::string_view CODE_NME = "NME ";

inline constexpr std::string_view LOBBY_SENDER = "Lobby";
inline constexpr std::string_view WELCOME_TEXT = "Welcome to the lobby!";

// A channel-0 text split into its code and body; both view the parsed text.
struct LobbyMessage {
    std::string_view code;  // first four characters, all of the text when shorter
    std::string_view body;  // from the fifth character on; empty when there is none
};

// A notice body split at its first space.
struct NamedBody {
    std::string_view name;  // up to the first space; empty when there is none
    std::string_view rest;  // after the first space; the whole body when there is none
};

// What the who-is-here listing shows of one connected slot.
struct PeerStats {
    std::string_view name;
    std::int32_t slot = 0;
    std::uint32_t roundTripTime = 0;          // ms
    std::uint32_t roundTripTimeVariance = 0;  // ms
    std::uint32_t packetLoss = 0;             // as ENet scales it
    std::uint32_t packetsLost = 0;
    std::uint32_t packetsSent = 0;
};

// Copies the first N−1 bytes of `value` into a fixed text and zero-fills the rest.
template <std::size_t N>
void fixedTextSet(char (&text)[N], std::string_view value)
{
    const std::size_t count = value.size() < N - 1 ? value.size() : N - 1;
    std::memcpy(text, value.data(), count);
    std::memset(text + count, 0, N - count);
}

// A fixed text up to its terminator, never past its last byte.
template <std::size_t N>
std::string_view fixedTextView(const char (&text)[N])
{
    return std::string_view(text, strnlen(text, N));
}

// The text of a channel-0 payload: up to the first NUL, or to the end when there is none.
std::string_view lobbyPayloadText(std::span<const std::uint8_t> payload);

// Splits a text into code and body.
LobbyMessage lobbyMessageParse(std::string_view text);

// Splits a notice body at its first space.
NamedBody lobbyBodySplit(std::string_view body);

// The payload that carries `text`: its bytes followed by one NUL.
std::vector<std::uint8_t> lobbyFrame(std::string_view text);

// The request for a finished chat line: "/name x" → "REN x", "/who…" → "WHO ",
// any other "/…" unchanged, everything else "SAY " + line.
std::string chatRequest(std::string_view line);

// Notices the server sends.
std::string welcomeNotice();
std::string newNotice(std::string_view name);
std::string oldNotice(std::string_view name);
std::string sayNotice(std::string_view sender, std::string_view text);
std::string nameNotice(std::string_view oldName, std::string_view newName);
std::string whisperNotice(std::string_view sender, std::string_view text);
// "WSP Lobby Chatters:" CR LF and one line per slot, in the order given.
std::string whoNotice(std::span<const PeerStats> peers);

// True when every byte of `name` is printable ASCII other than the blank ('!'…'~'): a
// name the server can show and tell apart. The empty name passes.
bool chatNameBytesAllowed(std::string_view name);

// Names the server assigns: "Anonymous" + slot on arrival; on rename the first 32
// characters asked for, or "Lamer" + whole seconds of `now` when those hold a byte
// outside '!'…'~' (a space included) or equal one of `others`, the names other connected
// chatters hold. The empty name is always granted.
std::string anonymousName(std::int32_t slot);
// The slot that an arrival name from anonymousName stands for; −1 for any other text.
std::int32_t anonymousSlot(std::string_view name);
std::string renamedName(std::string_view requested, double now,
                        std::span<const std::string_view> others = {});

// The history line a client shows for a notice, at most HISTORY_CHARS characters however
// long the notice; empty for a text that is no notice.
std::optional<std::string> noticeHistoryLine(std::string_view text);

// A history line read back: who arrived, left, took the name `rest`, said or whispered
// `rest`. The name is never empty and holds no blank, as the server hands out only such;
// a line cut at HISTORY_CHARS may read as Other.
enum class HistoryLine { Other, Joined, Left, Renamed, Said, Whispered };
struct HistoryLineRead {
    HistoryLine kind = HistoryLine::Other;
    std::string_view name;
    std::string_view rest;
};
HistoryLineRead historyLineRead(std::string_view line);

}  // namespace netduel
