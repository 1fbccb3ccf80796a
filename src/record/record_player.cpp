// Playback of a recording: the playhead, block after block, into the view and the panel.
#include "record/record_player.h"

#include <algorithm>
#include <cmath>

#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"

namespace netduel {

namespace {

void playerApply(RecordPlayer& player, const RecordEvent& event)
{
    switch (event.kind) {
    case RecordKind::Snapshot:
        if (clientViewReceive(player.view, event.snapshot, event.time)) player.lastSnapshot = event.time;
        break;
    case RecordKind::Line: lobbyClientPushHistory(player.panel, event.text); break;
    case RecordKind::Panel:
        for (int i = 0; i < HISTORY_LINES; ++i) fixedTextSet(player.panel.history[i], event.panel[std::size_t(i)]);
        break;
    case RecordKind::Slot: player.panel.ownSlot = event.slot; break;
    case RecordKind::Link: player.panel.connected = event.connected; break;
    case RecordKind::Players: player.players = event.players; break;
    }
}

// Makes block `index` the one played from its first event; ended past the last block or
// when the block no longer decodes.
void playerLoad(RecordPlayer& player, std::size_t index)
{
    player.block = index;
    player.next = 0;
    player.ended = !recordReaderBlock(*player.reader, index, player.events);
}

// The next event not played yet, loading the blocks after this one; null at the end.
const RecordEvent* playerUpcoming(RecordPlayer& player)
{
    while (!player.ended && player.next == player.events.size()) playerLoad(player, player.block + 1);
    return player.ended ? nullptr : &player.events[player.next];
}

// Plays every event up to and including `time`.
void playerPlayTo(RecordPlayer& player, double time)
{
    for (const RecordEvent* event = playerUpcoming(player); event && event->time <= time;
         event = playerUpcoming(player)) {
        playerApply(player, *event);
        ++player.next;
    }
}

}  // namespace

void recordPlayerStart(RecordPlayer& player, RecordReader& reader, bool smoothing)
{
    player.reader = &reader;
    player.view.smoothed.smoothing = smoothing;
    player.view.prediction = false;
    player.speed = 1.0;
    player.paused = false;
    recordPlayerSeek(player, 0.0);
}

void recordPlayerSeek(RecordPlayer& player, double time)
{
    const double length = player.reader->length;
    time = std::clamp(time, 0.0, length);
    matchStateInit(player.match);
    clientViewReset(player.view, &player.match);
    player.panel = LobbyClient{};
    player.panel.ownSlot = -1;
    player.players = {};
    player.lastSnapshot = -1.0;
    playerLoad(player, recordReaderBlockAt(*player.reader, std::max(0.0, time - PLAYER_LEAD_IN)));
    playerPlayTo(player, time);
    player.position = time;
}

const MatchState& recordPlayerFrame(RecordPlayer& player, double seconds)
{
    const double step = player.paused ? 0.0 : seconds * player.speed;
    player.position += step;
    if (player.position >= player.reader->length) {
        player.position = player.reader->length;
        player.paused = true;
    }
    playerPlayTo(player, player.position);
    return clientViewFrame(player.view, -step, player.position);
}

bool recordPlayerStep(RecordPlayer& player)
{
    player.paused = true;
    // What comes before the next snapshot plays with it.
    const RecordEvent* event = playerUpcoming(player);
    while (event && event->kind != RecordKind::Snapshot) {
        playerApply(player, *event);
        ++player.next;
        event = playerUpcoming(player);
    }
    if (!event) return false;
    const double time = event->time;
    playerPlayTo(player, time);
    player.position = time;
    return true;
}

void recordPlayerSpeed(RecordPlayer& player, int steps)
{
    player.speed = std::clamp(player.speed * std::pow(2.0, steps), PLAYER_SPEED_MIN, PLAYER_SPEED_MAX);
}

}  // namespace netduel
