// What is heard, frame by frame: the drawn match against the previous frame's, the lobby
// client's history and connection against the previous look.
#include "sound/sound_cues.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "duel/simulate.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"

namespace netduel {

namespace {

// A sound at a wall still reaches the far ear a little: pan stops at ±this.
constexpr float PAN_SPREAD = 0.8f;

// The sound of one new history line, if it has one. The welcome whisper belongs to the
// connection, which is heard already; renames and the client's own lines are silent.
bool lineEffect(std::string_view line, SoundEffect& effect)
{
    static const std::string welcome = noticeHistoryLine(welcomeNotice()).value_or("");
    if (line == welcome) return false;
    switch (historyLineRead(line).kind) {
    case HistoryLine::Joined: effect = SoundEffect::Join; return true;
    case HistoryLine::Left: effect = SoundEffect::Leave; return true;
    case HistoryLine::Said:
    case HistoryLine::Whispered: effect = SoundEffect::Chat; return true;
    default: return false;
    }
}

void shipCues(const Ship& before, const Ship& now, bool own, std::vector<SoundCue>& cues)
{
    const float pan = own ? 0.0f : soundPanAt(now.position.x);
    for (int j = 0; j < BULLETS_PER_SHIP; ++j) {
        if (bulletIsNew(before.bullets[j], now.bullets[j]))
            cues.push_back({own ? SoundEffect::OwnShot : SoundEffect::OtherShot, pan});
    }
    if (shipHitIsNew(before.hitCounter, now.hitCounter))
        cues.push_back({own ? SoundEffect::OwnHit : SoundEffect::OtherHit, pan});
}

}  // namespace

float soundPanAt(float x)
{
    const float middle = (BULLET_MIN_X + BULLET_MAX_X) / 2.0f;
    const float pan = PAN_SPREAD * (x - middle) / (BULLET_MAX_X - middle);
    return std::isfinite(pan) ? std::clamp(pan, -PAN_SPREAD, PAN_SPREAD) : 0.0f;
}

void soundWatchReset(SoundWatch& watch) { watch = SoundWatch{}; }

void soundWatchMatch(SoundWatch& watch, const MatchState& drawn, int ownSlot, bool live,
                     std::vector<SoundCue>& cues)
{
    if (watch.matchSeen && live) {
        for (int i = 0; i < SHIP_COUNT; ++i)
            shipCues(watch.last.ships[i], drawn.ships[i], i == ownSlot, cues);
    }
    watch.matchSeen = live;
    watch.last = drawn;
}

void soundWatchLobby(SoundWatch& watch, const LobbyClient& client, std::vector<SoundCue>& cues)
{
    // A replay's panel is connected without a peer of its own; its link's loss is heard too.
    const bool busy = lobbyClientBusy(client) || client.connected;
    const int ownSlot = lobbyClientOwnSlot(client);
    if (watch.lobbySeen) {
        if (client.connected && !watch.connected) cues.push_back({SoundEffect::Connected, 0.0f});
        if (!busy && watch.busy) cues.push_back({SoundEffect::Lost, 0.0f});
        bool ownArrival = ownSlot >= 0 && watch.ownSlot < 0;  // its "NEW " line is among the new
        for (int line = lobbyClientLinesSince(client, watch.historyPushed) - 1; line >= 0; --line) {
            SoundEffect effect{};
            if (!lineEffect(fixedTextView(client.history[line]), effect)) continue;
            if (effect == SoundEffect::Join && ownArrival) {
                ownArrival = false;
                continue;
            }
            cues.push_back({effect, 0.0f});
        }
    }
    watch.lobbySeen = true;
    watch.historyPushed = client.historyPushed;
    watch.busy = busy;
    watch.connected = client.connected;
    watch.ownSlot = ownSlot;
}

}  // namespace netduel
