// Replay: the recording opened before the window, then one frame after another.
#include "shell/replay.h"

#include <algorithm>
#include <memory>

#include "base/status.h"
#include "base/stop_request.h"
#include "base/timer.h"
#include "display/display.h"
#include "lobby/lobby_client.h"
#include "shell/draw_frame.h"

namespace netduel {

namespace {

bool isKey(const std::string& key, int scanCode)
{
    const KeyEntry entry = keyWithoutCharacter(scanCode);
    return key.size() == 2 && static_cast<std::uint8_t>(key[0]) == (entry & 0xFF) &&
           static_cast<std::uint8_t>(key[1]) == scanCode;
}

std::string replayHint(const RecordPlayer& player, const std::string& path)
{
    std::string hint = "Replay of " + path;
    const int slot = lobbyClientOwnSlot(player.panel);
    if (slot >= 0) hint += ", recorded by the player in slot " + std::to_string(slot);
    return hint;
}

}  // namespace

bool replayKey(RecordPlayer& player, const std::string& key, bool shift)
{
    const double length = player.reader->length;
    const double skip = shift ? PLAYER_SKIP_LONG : PLAYER_SKIP;
    if (key == " ") {
        if (player.paused && player.position >= length) {
            recordPlayerSeek(player, 0.0);
            player.paused = false;
        } else {
            player.paused = !player.paused;
        }
    } else if (isKey(key, SCAN_LEFT)) {
        recordPlayerSeek(player, player.position - skip);
    } else if (isKey(key, SCAN_RIGHT)) {
        recordPlayerSeek(player, player.position + skip);
    } else if (isKey(key, SCAN_HOME)) {
        recordPlayerSeek(player, 0.0);
    } else if (isKey(key, SCAN_END)) {
        recordPlayerSeek(player, length);
    } else if (key.size() == 1 && key[0] >= '0' && key[0] <= '9') {
        recordPlayerSeek(player, length * (key[0] - '0') / 10.0);
    } else if (key == "-") {
        recordPlayerSpeed(player, -1);
    } else if (key == "+" || key == "=") {
        recordPlayerSpeed(player, 1);
    } else if (key == ".") {
        recordPlayerStep(player);
    } else {
        return false;
    }
    return true;
}

bool replayOpen(RecordReader& reader, const std::string& path)
{
    std::string problem;
    if (!recordReaderOpen(reader, path, problem)) {
        std::fprintf(stderr, "netduel: %s\n", statusEscape(problem).c_str());
        return false;
    }
    if (!reader.damage.empty()) statusWrite(statusEscape(path + ": " + reader.damage), true);
    return true;
}

void replayRun(Display& display, Sound& sound, RecordReader& reader, const Options& options,
               std::span<const int> muteKeys)
{
    auto player = std::make_unique<RecordPlayer>();
    recordPlayerStart(*player, reader, options.smoothing);
    double last = timerSeconds();
    do {
        const bool shift = displayKeyHeld(display, SCAN_SHIFT_LEFT) || displayKeyHeld(display, SCAN_SHIFT_RIGHT);
        if (std::any_of(muteKeys.begin(), muteKeys.end(),
                        [&](int scanCode) { return scanCode != 0 && displayKeyPressed(display, scanCode); }))
            soundToggleMute(sound);
        displayForgetTaps(display);  // a press acts once; the window's events come in while drawing
        for (std::string key = readKey(display); !key.empty(); key = readKey(display)) {
            const double from = player->position;
            if (replayKey(*player, key, shift) && key != "." && player->position != from)
                soundWatchReset(sound.watch);  // a jump is no burst of every shot on the way
        }
        const double now = timerSeconds();
        const MatchState& drawn = recordPlayerFrame(*player, now - last);
        last = now;
        soundFrame(sound, drawn, player->panel, player->view.smoothed.received > 0, display.focused);
        const PlaybackBar bar{player->position, reader.length, player->speed, player->paused};
        drawFrame(display, drawn, player->panel, false, {}, replayHint(*player, options.replayPath), {}, &bar,
                  player->players);
        sleepMs(display, FRAME_PAUSE_MS);
    } while (!keyDown(display, SCAN_ESCAPE) && !stopRequested());
}

}  // namespace netduel
