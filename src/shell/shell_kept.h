// What the settings keep of a run: the host joined last, the name the lobby granted as
// typed with /name, and the window and sound where the player changed them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "display/display.h"
#include "settings/settings.h"
#include "shell/shell_link.h"
#include "sound/sound.h"

namespace netduel {

struct ShellKept {
    std::string joinedHost;     // the host joined last, other than this copy or --join's
    std::uint16_t joinedPort = 0;
    bool joinGiven = false;     // --join: its host holds for the run, the settings do not keep it
    std::optional<std::string> askedName;  // the name last typed with /name, until the lobby grants it
    bool nameChosen = false;    // the lobby granted a name typed in chat
    DisplayWindow windowAtStart;  // the window as opened: the settings keep only the player's changes
    SoundSettings soundAtStart;   // the sound as opened (set once it is open), likewise
};

// A chat line sent: when it asks for a name, the name is the player's once the lobby grants it.
void shellKeptAsked(ShellKept& kept, std::string_view line);

// After the client's service (`wasConnected` before it): the host joined, unless it is
// this copy or --join's, and the name typed with /name once the lobby grants it, which
// becomes the link's chat name (the server keeps its first 32 characters).
void shellKeptLobby(ShellKept& kept, ShellLink& link, bool wasConnected);

// `saved` with what the player changed: the granted name (`chatName`), the host joined
// last, and the window (`shown`) and sound (`heard`) where they differ from the start.
Settings shellKeptSettings(const ShellKept& kept, std::string_view chatName, const DisplayWindow& shown,
                           const SoundSettings& heard, Settings saved);

}  // namespace netduel
