// Fuzz target: a client's handling of one channel-0 notice from the server. Whatever
// arrives, every history line stays terminated inside its fixed buffer, and a notice
// either pushes exactly one line or none.
#include <cstdlib>
#include <cstring>
#include <span>

#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"

using namespace netduel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    LobbyClient client;
    lobbyClientPushHistory(client, "sentinel");
    const auto line = noticeHistoryLine(lobbyPayloadText(std::span(data, size)));
    if (line) lobbyClientPushHistory(client, *line);

    const int sentinelAt = line ? 1 : 0;
    if (std::strcmp(client.history[sentinelAt], "sentinel") != 0) std::abort();
    for (const auto& text : client.history) {
        if (text[HISTORY_CHARS] != '\0') std::abort();
        const std::size_t length = std::strlen(text);
        for (std::size_t i = length; i <= HISTORY_CHARS; ++i)
            if (text[i] != '\0') std::abort();
    }
    return 0;
}
