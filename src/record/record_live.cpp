// Recording while a copy runs: a windowed copy's client, a dedicated host's stretches,
// and the ships' holders followed through lobby lines.
#include <ctime>

#include "base/status.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"
#include "record/record_live.h"

namespace netduel {

namespace {

constexpr std::string_view JOINED = " connected =)";
constexpr std::string_view LEFT = " disconnected =(";
constexpr std::string_view RENAMED = " is now known as ";
constexpr std::string_view NOTICE_MARK = "* ";

// Who holds ships 0 and 1 on the host: the names of slots 0 and 1 while connected.
std::array<std::string, SHIP_COUNT> hostPlayers(const LobbyServer& server, bool& held)
{
    std::array<std::string, SHIP_COUNT> players;
    held = true;
    for (std::size_t ship = 0; ship < players.size(); ++ship) {
        players[ship] = lobbyServerShipHolder(server, ship);
        held = held && lobbyServerShipHeld(server, ship);
    }
    return players;
}

void hostStretchStart(RecordHost& recording, const std::array<std::string, SHIP_COUNT>& players, double now)
{
    if (!recordDirOpen(recording.writer, recording.directory, static_cast<std::int64_t>(std::time(nullptr)), now)) {
        recording.failed = true;
        return;
    }
    recordWriterLink(recording.writer, true, now);
    recordWriterPlayers(recording.writer, players, now);
    recording.players = players;
    statusWrite("Recording to " + recording.writer.path, true);
    recordDirPrune(recording.directory, recording.keep);
}

}  // namespace

bool recordRosterFollow(std::array<std::string, SHIP_COUNT>& players, std::string_view line)
{
    if (line.substr(0, NOTICE_MARK.size()) != NOTICE_MARK) return false;
    const std::string_view body = line.substr(NOTICE_MARK.size());
    const auto endsWith = [&](std::string_view tail) {
        return body.size() > tail.size() && body.substr(body.size() - tail.size()) == tail;
    };
    const std::array<std::string, SHIP_COUNT> before = players;
    if (endsWith(JOINED)) {
        const std::string_view name = body.substr(0, body.size() - JOINED.size());
        const std::int32_t slot = anonymousSlot(name);
        if (slot >= 0 && slot < SHIP_COUNT) players[std::size_t(slot)] = name;
    } else if (endsWith(LEFT)) {
        const std::string_view name = body.substr(0, body.size() - LEFT.size());
        for (std::string& player : players)
            if (player == name) player.clear();
    } else if (const std::size_t at = body.find(RENAMED); at != std::string_view::npos) {
        const std::string_view from = body.substr(0, at);
        for (std::string& player : players)
            if (player == from) player = body.substr(at + RENAMED.size());
    }
    return players != before;
}

void recordClientFrame(RecordClient& recording, const LobbyClient& client, double now)
{
    for (int line = lobbyClientLinesSince(client, recording.linesSeen) - 1; line >= 0; --line) {
        const std::string_view text = fixedTextView(client.history[line]);
        recordWriterLine(recording.writer, text, now);
        if (recordRosterFollow(recording.players, text))
            recordWriterPlayers(recording.writer, recording.players, now);
    }
    recording.linesSeen = client.historyPushed;
    const int slot = lobbyClientOwnSlot(client);
    const bool connected = client.connected;
    if (connected != recording.connected) {
        recording.connected = connected;
        recordWriterLink(recording.writer, connected, now);
    }
    if (slot != recording.slot) {
        recording.slot = slot;
        recordWriterSlot(recording.writer, slot, now);
    }
    recordWriterTick(recording.writer, now);
}

void recordHostHeard(void* recording, std::string_view notice)
{
    auto& host = *static_cast<RecordHost*>(recording);
    if (!host.writer.file) return;
    if (const auto line = noticeHistoryLine(notice)) recordWriterLine(host.writer, *line, host.clock);
}

void recordHostFrame(RecordHost& recording, const LobbyServer& server, const Snapshot* sent, double now)
{
    if (recording.directory.empty()) return;
    bool held = false;
    const std::array<std::string, SHIP_COUNT> players = hostPlayers(server, held);
    if (!held) {
        recordHostClose(recording);
        recording.writer = RecordWriter{};
        recording.failed = false;
        return;
    }
    if (!recording.writer.file && !recording.failed && !recording.writer.failed)
        hostStretchStart(recording, players, now);
    if (!recording.writer.file) return;
    if (players != recording.players) {
        recording.players = players;
        recordWriterPlayers(recording.writer, players, now);
    }
    if (sent) recordWriterSnapshot(recording.writer, *sent, now);
    recordWriterTick(recording.writer, now);
}

void recordHostClose(RecordHost& recording)
{
    if (!recording.writer.file) return;
    const std::string path = recording.writer.path;
    recordWriterClose(recording.writer);
    statusWrite("Recorded " + path, true);
}

}  // namespace netduel
