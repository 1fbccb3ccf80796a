// What is heard: the sounds that follow what a frame draws (a bullet first drawn is a
// shot, a flash that starts is a hit) and what the lobby client heard (chat lines,
// players coming and going, the connection made and lost), each with its pan.
#pragma once

#include <cstdint>
#include <vector>

#include "duel/match.h"
#include "lobby/lobby.h"
#include "sound/sound_synth.h"

namespace netduel {

struct SoundCue {
    SoundEffect effect = SoundEffect::OwnShot;
    float pan = 0.0f;  // −1 left … 1 right; the own ship and the lobby sit in the middle
    bool operator==(const SoundCue&) const = default;
};

// What the previous frame showed, to tell what is new in this one.
struct SoundWatch {
    bool matchSeen = false;         // `last` holds a frame of the match now drawn
    MatchState last;                // the ships and bullets the previous frame drew
    bool lobbySeen = false;         // the fields below hold the client as last looked at
    std::uint32_t historyPushed = 0;
    bool busy = false;              // an attempt or a connection existed
    bool connected = false;
    int ownSlot = -1;
};

// Where a sound at field position x stands, −1 (left wall) … 1 (right wall), a little
// short of the walls so that the far ear still hears it.
float soundPanAt(float x);

// Forgets what was seen, as for a new connection: the next frame only looks.
void soundWatchReset(SoundWatch& watch);

// The match's sounds in the frame that draws `drawn`, appended to `cues`. Ship `ownSlot`
// (lobbyClientOwnSlot) is this player's; for any other slot both ships are the other's.
// A frame that is not `live` (a stale match shown until the first snapshot comes) is
// only looked at, as is the first live one after it.
void soundWatchMatch(SoundWatch& watch, const MatchState& drawn, int ownSlot, bool live,
                     std::vector<SoundCue>& cues);

// The lobby's sounds since the last look at `client`, appended to `cues`: its own arrival
// is heard as the connection made, not as a player joining.
void soundWatchLobby(SoundWatch& watch, const LobbyClient& client, std::vector<SoundCue>& cues);

}  // namespace netduel
