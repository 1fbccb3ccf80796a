// Chat input line: edits the line being typed one key per call and sends it as a lobby request.
#pragma once

#include <string>
#include <string_view>

#include "lobby.h"

namespace netduel {

inline constexpr char KEY_ENTER = 13;
inline constexpr char KEY_BACKSPACE = 8;

// One call with the key text that readKey gave (empty, one byte, or 255 + scan code).
// Enter, or a line already past 70 characters (the key is then lost), sends the line's
// request reliably on channel 0, empties the line and turns chatMode off; Backspace
// drops the last byte; any other key is appended. Without a peer to send through the
// line is kept and chatMode stays on. Returns the line as it then stands.
std::string chatInput(LobbyPair& net, bool& chatMode, std::string_view key);

// Sends the request for a finished line ("/name x" → "REN x", "/who" → "WHO ", other
// lines as chatInput sends them) reliably on channel 0. False when the client has no
// connection that takes it.
bool chatSendLine(LobbyClient& client, std::string_view line);

// Tests only: empties the program-wide chat line.
void chatLineReset();

}  // namespace netduel
