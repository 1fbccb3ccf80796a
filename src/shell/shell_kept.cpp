// What the settings keep of a run, noted as it happens.
#include "shell_kept.h"

#include "lobby/chat_input.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"

namespace netduel {

void shellKeptAsked(ShellKept& kept, std::string_view line)
{
    const std::string request = chatRequest(line);
    if (request.rfind(CODE_REN, 0) == 0) kept.askedName = request.substr(CODE_REN.size());
}

void shellKeptLobby(ShellKept& kept, ShellLink& link, bool wasConnected)
{
    const LobbyClient& client = link.net.client;
    if (client.connected && !wasConnected && !link.net.server.host && !kept.joinGiven) {
        kept.joinedHost = link.serverAddress;
        kept.joinedPort = link.port;
    }
    const std::string_view own = lobbyClientOwnName(client);
    if (kept.askedName && lobbyClientOwnSlot(client) >= 0 && own == std::string_view(*kept.askedName).substr(0, NAME_CHARS)) {
        link.chatName = own;
        kept.nameChosen = true;
        kept.askedName.reset();
    }
}

Settings shellKeptSettings(const ShellKept& kept, std::string_view chatName, const DisplayWindow& shown,
                           const SoundSettings& heard, Settings saved)
{
    if (kept.nameChosen) saved.name = chatName;
    if (!kept.joinedHost.empty()) {
        saved.joinAddress = kept.joinedHost;
        saved.joinPort = kept.joinedPort;
    }
    const DisplayWindow& opened = kept.windowAtStart;
    if (shown.width != opened.width || shown.height != opened.height) {
        saved.window.width = shown.width;
        saved.window.height = shown.height;
    }
    if (shown.fullscreen != opened.fullscreen) saved.window.fullscreen = shown.fullscreen;
    if (heard.volume != kept.soundAtStart.volume) saved.sound.volume = heard.volume;
    if (heard.muted != kept.soundAtStart.muted) saved.sound.muted = heard.muted;
    return saved;
}

}  // namespace netduel
