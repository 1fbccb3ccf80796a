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

// Marks in a notice built to learn how its history line reads: a name (no blanks, as the
// server hands out only such) and the free text after it.
constexpr char NAME_MARK = '\x01';
constexpr char REST_MARK = '\x02';

// The history line of a notice built with the marks.
std::string lineForm(const std::string& notice) { return noticeHistoryLine(notice).value_or(""); }

// True when `line` reads as `form`: its text around the name mark the same, the name
// non-empty and without blanks, anything where the rest mark stands.
bool lineHasForm(std::string_view line, std::string_view form)
{
    const std::size_t mark = form.find(NAME_MARK);
    if (mark == std::string_view::npos || !line.starts_with(form.substr(0, mark))) return false;
    const std::string_view after = form.substr(mark + 1);
    const std::size_t rest = after.find(REST_MARK);
    const std::string_view tail = after.substr(0, rest);
    const std::string_view body = line.substr(mark);
    std::size_t nameEnd = std::string_view::npos;
    if (rest == std::string_view::npos && body.ends_with(tail)) nameEnd = body.size() - tail.size();
    if (rest != std::string_view::npos) nameEnd = body.find(tail);
    if (nameEnd == std::string_view::npos || nameEnd == 0) return false;
    return body.substr(0, nameEnd).find(' ') == std::string_view::npos;
}

struct LineForms {
    std::string join = lineForm(newNotice(std::string(1, NAME_MARK)));
    std::string leave = lineForm(oldNotice(std::string(1, NAME_MARK)));
    std::string say = lineForm(sayNotice(std::string(1, NAME_MARK), std::string(1, REST_MARK)));
    std::string whisper = lineForm(whisperNotice(std::string(1, NAME_MARK), std::string(1, REST_MARK)));
    std::string welcome = lineForm(welcomeNotice());
};

// The sound of one new history line, if it has one. The welcome whisper belongs to the
// connection, which is heard already; renames and the client's own lines are silent.
bool lineEffect(std::string_view line, SoundEffect& effect)
{
    static const LineForms forms;
    if (line == forms.welcome) return false;
    if (lineHasForm(line, forms.join)) effect = SoundEffect::Join;
    else if (lineHasForm(line, forms.leave)) effect = SoundEffect::Leave;
    else if (lineHasForm(line, forms.say) || lineHasForm(line, forms.whisper)) effect = SoundEffect::Chat;
    else return false;
    return true;
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
    const bool busy = lobbyClientBusy(client);
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
