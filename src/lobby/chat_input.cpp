// Chat input line: the program-wide line being typed and its one-key-per-call editing.
#include "chat_input.h"

#include "lobby_client.h"
#include "lobby_protocol.h"

namespace netduel {

namespace {

// What has been typed since chat mode was switched on; empty whenever it is off.
std::string chatLine;

// False, keeping the line for a later Enter, when the client has no connection that
// takes it (no peer yet, or a connection still being made or already gone).
bool chatSend(LobbyClient& client)
{
    if (!chatSendLine(client, chatLine)) return false;
    chatLine.clear();
    return true;
}

void chatEdit(std::string_view key)
{
    if (key.size() == 1 && key.front() == KEY_BACKSPACE) {
        if (!chatLine.empty()) chatLine.pop_back();
        return;
    }
    chatLine += key;
}

}  // namespace

std::string chatInput(LobbyPair& net, bool& chatMode, std::string_view key)
{
    const bool enter = key.size() == 1 && key.front() == KEY_ENTER;
    if (enter || chatLine.size() > CHAT_LINE_LIMIT) {
        if (chatSend(net.client)) chatMode = false;
    } else {
        chatEdit(key);
    }
    return chatLine;
}

bool chatSendLine(LobbyClient& client, std::string_view line)
{
    return lobbyClientSendBytes(client, CHANNEL_TEXT, lobbyFrame(chatRequest(line)), true);
}

void chatLineReset() { chatLine.clear(); }

}  // namespace netduel
