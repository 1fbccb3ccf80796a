// Frame rendering.
#include "draw_frame.h"

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <string>

#include "base/timer.h"
#include "duel/score.h"
#include "duel/simulate.h"

namespace netduel {

namespace {

std::uint32_t bodyColour(const Ship& ship)
{
    const bool blinkWhite = ship.hitCounter > 0 && std::sin(timerSeconds() * HIT_BLINK_RATE) < 0.0;
    return blinkWhite ? HIT_BLINK_COLOUR : ship.colour;
}

void drawShip(Display& display, const Ship& ship)
{
    const double x = ship.position.x;
    const double y = ship.position.y;
    const Vec2 nose = shipFacing(ship.heading);
    drawCircle(display, x, y, SHIP_BODY_RADIUS, bodyColour(ship));
    drawLine(display, x, y, x + HEADING_LENGTH * nose.x, y + HEADING_LENGTH * nose.y);
    for (const Bullet& bullet : ship.bullets)
        if (bullet.active != 0)
            drawCircle(display, bullet.position.x, bullet.position.y, BULLET_RADIUS, BULLET_COLOUR);
}

void drawPanel(Display& display, const LobbyClient& client, bool chatMode,
               std::string_view chatEcho, std::string_view hint, bool replay)
{
    drawBox(display, 0, 0, DISPLAY_WIDTH, PANEL_BOTTOM, PANEL_FILL, true);
    drawBox(display, 0, 0, DISPLAY_WIDTH - 1, PANEL_BOTTOM, PANEL_FRAME, false);
    if (!chatMode) drawText(display, 0, 0, hint);
    if (!client.host && !replay) return;
    if (chatMode) {
        std::string line = std::sin(timerSeconds() * PROMPT_BLINK_RATE) > 0.0 ? "> " : "  ";
        line += chatEcho;
        drawText(display, 0, 0, line);
    }
    // Every cell of the fixed line, terminator included: the zero bytes draw blank.
    for (int i = 0; i < HISTORY_LINES; ++i)
        drawText(display, 0, HISTORY_TOP + HISTORY_STEP * i,
                 std::string_view(client.history[i], HISTORY_CHARS));
}

// A framed box in the field's bottom-right corner, its lines right-aligned inside.
void drawOverlay(Display& display, std::span<const std::string> lines)
{
    if (lines.empty()) return;
    std::size_t columns = 0;
    for (const std::string& line : lines) columns = std::max(columns, line.size());
    const double right = DISPLAY_WIDTH - 1 - OVERLAY_MARGIN;
    const double bottom = DISPLAY_HEIGHT - 1 - OVERLAY_MARGIN;
    const double left = right - CELL_SIZE * double(columns) - 2 * OVERLAY_MARGIN;
    const double top = bottom - CELL_SIZE * double(lines.size()) - 2 * OVERLAY_MARGIN;
    drawBox(display, left, top, right, bottom, PANEL_FILL, true);
    drawBox(display, left, top, right, bottom, PANEL_FRAME, false);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double width = CELL_SIZE * double(lines[i].size());
        drawText(display, right - OVERLAY_MARGIN + 1 - width,
                 top + OVERLAY_MARGIN + 1 + CELL_SIZE * double(i), lines[i]);
    }
}

// The round's score centred along the field's top edge, when the host keeps one.
void drawScore(Display& display, const MatchState& match, std::span<const std::string> shipNames)
{
    std::string names[SHIP_COUNT];
    for (int i = 0; i < SHIP_COUNT; ++i)
        names[i] = scoreShipName(std::size_t(i) < shipNames.size() ? shipNames[std::size_t(i)] : std::string(), i);
    const std::string text = scoreBoardText(match, names[0], names[1]);
    if (text.empty()) return;
    const double width = CELL_SIZE * double(text.size());
    drawText(display, (DISPLAY_WIDTH - width) / 2.0, PANEL_BOTTOM + SCORE_MARGIN, text);
}

void drawBar(Display& display, const PlaybackBar& bar)
{
    const double right = DISPLAY_WIDTH - 1;
    drawBox(display, 0, BAR_TOP, right, DISPLAY_HEIGHT - 1, PANEL_FILL, true);
    const double played = bar.length > 0.0 ? std::clamp(bar.position / bar.length, 0.0, 1.0) : 1.0;
    if (played > 0.0)
        drawBox(display, 0, BAR_TOP, right * played, BAR_TOP + BAR_PROGRESS_ROWS - 1, PANEL_FRAME, true);
    drawText(display, OVERLAY_MARGIN, BAR_TOP + BAR_PROGRESS_ROWS + 2, playbackBarText(bar));
}

}  // namespace

std::string playbackBarText(const PlaybackBar& bar)
{
    char text[96];
    std::snprintf(text, sizeof text, "%.1f / %.1f s  %gx%s", bar.position, bar.length, bar.speed,
                  bar.paused ? "  paused" : "");
    return text;
}

void drawFrame(Display& display, const MatchState& match, const LobbyClient& client,
               bool chatMode, std::string_view chatEcho, std::string_view hint,
               std::span<const std::string> overlay, const PlaybackBar* bar,
               std::span<const std::string> shipNames)
{
    displayLock(display);
    displayClear(display);
    drawScore(display, match, shipNames);
    for (const Ship& ship : match.ships) drawShip(display, ship);
    drawOverlay(display, overlay);
    drawPanel(display, client, chatMode, chatEcho, hint, bar != nullptr);
    if (bar) drawBar(display, *bar);
    displayWaitRetrace(display);
    displayUnlock(display, -1, -1);
}

}  // namespace netduel
