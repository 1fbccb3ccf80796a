// Lobby protocol: parsing and building of channel-0 texts; no network here.
#include "lobby_protocol.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "lobby.h"

namespace netduel {

namespace {

// The history lines' own words around the names.
constexpr std::string_view NOTICE_LINE = "* ";
constexpr std::string_view JOINED = " connected =)";
constexpr std::string_view LEFT = " disconnected =(";
constexpr std::string_view RENAMED = " is now known as ";
constexpr std::string_view SAID = ": ";
constexpr std::string_view WHISPERED = " whispers: ";

// The parts one after another, cut after `limit` characters.
std::string joinedUpTo(std::size_t limit, std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (std::string_view part : parts) {
        if (text.size() >= limit) break;
        text += part.substr(0, limit - text.size());
    }
    return text;
}

std::string joined(std::initializer_list<std::string_view> parts)
{
    return joinedUpTo(std::string::npos, parts);
}

}  // namespace

std::string_view lobbyPayloadText(std::span<const std::uint8_t> payload)
{
    const auto end = std::find(payload.begin(), payload.end(), std::uint8_t{0});
    return std::string_view(reinterpret_cast<const char*>(payload.data()),
                            static_cast<std::size_t>(end - payload.begin()));
}

LobbyMessage lobbyMessageParse(std::string_view text)
{
    if (text.size() <= CODE_CHARS) return {text, {}};
    return {text.substr(0, CODE_CHARS), text.substr(CODE_CHARS)};
}

NamedBody lobbyBodySplit(std::string_view body)
{
    const std::size_t space = body.find(' ');
    if (space == std::string_view::npos) return {{}, body};
    return {body.substr(0, space), body.substr(space + 1)};
}

std::vector<std::uint8_t> lobbyFrame(std::string_view text)
{
    std::vector<std::uint8_t> payload(text.begin(), text.end());
    payload.push_back(0);
    return payload;
}

std::string chatRequest(std::string_view line)
{
    if (line.empty() || line.front() != '/') return joined({CODE_SAY, line});
    const std::size_t space = line.find(' ');
    // The command word runs from after the slash to the first space or the end.
    const std::string_view word = line.substr(1, space == std::string_view::npos ? line.npos : space - 1);
    if (word == "name") {
        // Without a space the whole line, "/name" included, becomes the name.
        return joined({CODE_REN, space == std::string_view::npos ? line : line.substr(space + 1)});
    }
    if (word == "who") return std::string(CODE_WHO);
    return std::string(line);
}

std::string welcomeNotice() { return whisperNotice(LOBBY_SENDER, WELCOME_TEXT); }
std::string newNotice(std::string_view name) { return joined({CODE_NEW, name}); }
std::string oldNotice(std::string_view name) { return joined({CODE_OLD, name}); }

std::string sayNotice(std::string_view sender, std::string_view text)
{
    return joined({CODE_SAY, sender, " ", text});
}

std::string nameNotice(std::string_view oldName, std::string_view newName)
{
    return joined({CODE_NME, oldName, " ", newName});
}

std::string whisperNotice(std::string_view sender, std::string_view text)
{
    return joined({CODE_WSP, sender, " ", text});
}

std::string whoNotice(std::span<const PeerStats> peers)
{
    std::string list = "Chatters:\r\n";
    for (const PeerStats& peer : peers) {
        list += joined({peer.name, " (#", std::to_string(peer.slot), ", ",
                        std::to_string(peer.roundTripTime), " +/- ",
                        std::to_string(peer.roundTripTimeVariance), ", ",
                        std::to_string(peer.packetLoss), ", ", std::to_string(peer.packetsLost),
                        ", ", std::to_string(peer.packetsSent), ")\r\n"});
    }
    return whisperNotice(LOBBY_SENDER, list);
}

bool chatNameBytesAllowed(std::string_view name)
{
    return std::all_of(name.begin(), name.end(), [](char c) { return c >= '!' && c <= '~'; });
}

std::string anonymousName(std::int32_t slot) { return "Anonymous" + std::to_string(slot); }

std::int32_t anonymousSlot(std::string_view name)
{
    constexpr std::string_view PREFIX = "Anonymous";
    if (name.substr(0, PREFIX.size()) != PREFIX) return -1;
    const std::string_view digits = name.substr(PREFIX.size());
    std::int32_t slot = -1;
    const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), slot);
    // Only the form anonymousName writes: no sign, no leading zero, nothing after.
    if (digits.empty() || error != std::errc() || stop != digits.data() + digits.size() ||
        slot < 0 || anonymousName(slot) != name)
        return -1;
    return slot;
}

std::string renamedName(std::string_view requested, double now,
                        std::span<const std::string_view> others)
{
    const std::string_view name = requested.substr(0, NAME_CHARS);
    const bool taken = !name.empty() && std::find(others.begin(), others.end(), name) != others.end();
    if (chatNameBytesAllowed(name) && !taken) return std::string(name);
    return "Lamer" + std::to_string(static_cast<long long>(std::floor(now)));
}

std::optional<std::string> noticeHistoryLine(std::string_view text)
{
    const LobbyMessage message = lobbyMessageParse(text);
    const NamedBody named = lobbyBodySplit(message.body);
    const std::size_t limit = HISTORY_CHARS;
    if (message.code == CODE_SAY) return joinedUpTo(limit, {named.name, SAID, named.rest});
    if (message.code == CODE_WSP) return joinedUpTo(limit, {named.name, WHISPERED, named.rest});
    if (message.code == CODE_NEW) return joinedUpTo(limit, {NOTICE_LINE, message.body, JOINED});
    if (message.code == CODE_OLD) return joinedUpTo(limit, {NOTICE_LINE, message.body, LEFT});
    if (message.code == CODE_NME) return joinedUpTo(limit, {NOTICE_LINE, named.name, RENAMED, named.rest});
    return std::nullopt;
}

HistoryLineRead historyLineRead(std::string_view line)
{
    const auto nameFits = [](std::string_view name) {
        return !name.empty() && name.find(' ') == std::string_view::npos;
    };
    if (line.starts_with(NOTICE_LINE)) {
        const std::string_view body = line.substr(NOTICE_LINE.size());
        for (const auto& [kind, tail] : {std::pair{HistoryLine::Joined, JOINED}, std::pair{HistoryLine::Left, LEFT}}) {
            const std::string_view name = body.substr(0, body.size() - std::min(body.size(), tail.size()));
            if (body.ends_with(tail) && nameFits(name)) return {kind, name, {}};
        }
        const std::size_t at = body.find(RENAMED);
        if (at != std::string_view::npos && nameFits(body.substr(0, at)))
            return {HistoryLine::Renamed, body.substr(0, at), body.substr(at + RENAMED.size())};
    }
    // A whisper's line holds ": " too, after a blank: it is tried first.
    for (const auto& [kind, middle] : {std::pair{HistoryLine::Whispered, WHISPERED}, std::pair{HistoryLine::Said, SAID}}) {
        const std::size_t at = line.find(middle);
        if (at != std::string_view::npos && nameFits(line.substr(0, at)))
            return {kind, line.substr(0, at), line.substr(at + middle.size())};
    }
    return {};
}

}  // namespace netduel
