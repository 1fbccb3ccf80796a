// The in-memory display: lock, rasterizer, 8×8 text, key state, typed keys, line prompt.
#include "display.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <chrono>

#include <SDL2/SDL2_gfxPrimitives_font.h>  // gfxPrimitivesFontdata: 256 glyphs × 8 rows, bit 7 leftmost

#include "base/stop_request.h"

namespace netduel {

namespace {

constexpr double COORDINATE_LIMIT = 1.0e6;  // px: far enough out to clip, small enough for int
constexpr double LINE_MARGIN = 1.0;  // px around the surface that a cut line keeps, so
                                     // rounding at the edge never loses an edge pixel
constexpr int PROMPT_IDLE_MS = 10;
constexpr char KEY_ESCAPE = 27;

// Within ±COORDINATE_LIMIT; NaN goes to the lower limit.
double limitCoordinate(double v)
{
    if (!(v >= -COORDINATE_LIMIT)) return -COORDINATE_LIMIT;
    if (!(v <= COORDINATE_LIMIT)) return COORDINATE_LIMIT;
    return v;
}

// Nearest pixel, halves away from zero; NaN and huge values land far outside.
int roundPixel(double v)
{
    return static_cast<int>(std::lround(limitCoordinate(v)));
}

bool isScanCode(int scanCode)
{
    return scanCode >= 0 && scanCode < SCAN_CODES;
}

bool onSurface(int x, int y)
{
    return x >= 0 && x < DISPLAY_WIDTH && y >= 0 && y < DISPLAY_HEIGHT;
}

void plot(Display& display, int x, int y, std::uint32_t colour)
{
    if (onSurface(x, y)) display.pixels[y * DISPLAY_WIDTH + x] = colour;
}

// Fills the inclusive integer rectangle, clipped to the surface.
void fillRect(Display& display, int x1, int y1, int x2, int y2, std::uint32_t colour)
{
    const int left = std::max(std::min(x1, x2), 0);
    const int right = std::min(std::max(x1, x2), DISPLAY_WIDTH - 1);
    const int top = std::max(std::min(y1, y2), 0);
    const int bottom = std::min(std::max(y1, y2), DISPLAY_HEIGHT - 1);
    for (int y = top; y <= bottom && left <= right; ++y) {
        auto row = display.pixels.begin() + y * DISPLAY_WIDTH;
        std::fill(row + left, row + right + 1, colour);
    }
}

struct LineEnds {
    double x1, y1, x2, y2;
};

// Cuts the segment to the surface widened by LINE_MARGIN (Liang–Barsky); false when no
// part of it lies there.
bool clipToSurface(LineEnds& line)
{
    const double dx = line.x2 - line.x1;
    const double dy = line.y2 - line.y1;
    // For each edge: the change along the segment and the room from its start to the edge.
    const double along[4] = {-dx, dx, -dy, dy};
    const double room[4] = {line.x1 + LINE_MARGIN, DISPLAY_WIDTH - 1 + LINE_MARGIN - line.x1,
                            line.y1 + LINE_MARGIN, DISPLAY_HEIGHT - 1 + LINE_MARGIN - line.y1};
    double enter = 0.0;
    double leave = 1.0;
    for (int edge = 0; edge < 4; ++edge) {
        if (along[edge] == 0.0) {
            if (room[edge] < 0.0) return false;  // parallel to this edge and beyond it
            continue;
        }
        const double t = room[edge] / along[edge];
        if (along[edge] < 0.0)
            enter = std::max(enter, t);
        else
            leave = std::min(leave, t);
    }
    if (enter > leave) return false;
    line = {line.x1 + enter * dx, line.y1 + enter * dy, line.x1 + leave * dx, line.y1 + leave * dy};
    return true;
}

// Bresenham from (x, y) to (endX, endY), both included; off-surface pixels are skipped.
void rasterLine(Display& display, int x, int y, int endX, int endY)
{
    const int dx = std::abs(endX - x);
    const int dy = -std::abs(endY - y);
    const int stepX = x < endX ? 1 : -1;
    const int stepY = y < endY ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        plot(display, x, y, FOREGROUND);
        if (x == endX && y == endY) return;
        const int twice = 2 * error;
        if (twice >= dy) { error += dy; x += stepX; }
        if (twice <= dx) { error += dx; y += stepY; }
    }
}

void drawGlyph(Display& display, int left, int top, unsigned char code)
{
    const unsigned char* rows = &gfxPrimitivesFontdata[code * CELL_SIZE];
    for (int row = 0; row < CELL_SIZE; ++row)
        for (int column = 0; column < CELL_SIZE; ++column)
            if (rows[row] & (0x80 >> column)) plot(display, left + column, top + row, FOREGROUND);
}

void pump(Display& display)
{
    if (display.backEnd.pump) display.backEnd.pump(display);
}

// The prompt's row: prompt, line and, while typing, a '_' under the edit position.
void showPromptRow(Display& display, std::string_view prompt, const std::string& line,
                   std::size_t editAt, bool typing)
{
    const int left = display.cursorColumn * CELL_SIZE;
    const int top = display.cursorRow * CELL_SIZE;
    displayLock(display);
    fillRect(display, left, top, DISPLAY_WIDTH - 1, top + CELL_SIZE - 1, BACKGROUND);
    std::string row(prompt);
    row += line;
    drawText(display, left, top, row);
    if (typing) drawText(display, left + (prompt.size() + editAt) * CELL_SIZE, top, "_");
    displayUnlock(display, top, top + CELL_SIZE - 1);
}

// Applies one typed key to the line; returns true when it ends the line.
bool editLine(std::string& line, std::size_t& editAt, const std::string& key)
{
    const auto code = static_cast<unsigned char>(key[0]);
    if (key.size() == 2) {
        switch (static_cast<unsigned char>(key[1])) {
        case SCAN_LEFT: if (editAt > 0) --editAt; break;
        case SCAN_RIGHT: if (editAt < line.size()) ++editAt; break;
        case SCAN_HOME: editAt = 0; break;
        case SCAN_END: editAt = line.size(); break;
        case SCAN_DELETE: if (editAt < line.size()) line.erase(editAt, 1); break;
        default: break;
        }
    } else if (code == '\r' || code == '\n') {
        return true;
    } else if (code == '\b') {
        if (editAt > 0) line.erase(--editAt, 1);
    } else if (code >= 32 && line.size() < PROMPT_FIELD_MAX) {
        line.insert(editAt++, 1, key[0]);
    }
    return false;
}

}  // namespace

void displayLock(Display& display)
{
    ++display.lockDepth;
}

void displayUnlock(Display& display, int firstRow, int lastRow)
{
    if (firstRow < 0) firstRow = 0;
    if (lastRow < 0 || lastRow >= DISPLAY_HEIGHT) lastRow = DISPLAY_HEIGHT - 1;
    display.firstChanged = std::min(display.firstChanged, firstRow);
    display.lastChanged = std::max(display.lastChanged, lastRow);
    if (display.lockDepth > 0 && --display.lockDepth > 0) return;
    if (display.backEnd.show && display.firstChanged <= display.lastChanged)
        display.backEnd.show(display, display.firstChanged, display.lastChanged);
    display.firstChanged = DISPLAY_HEIGHT;
    display.lastChanged = -1;
}

void displayWaitRetrace(Display& display)
{
    if (display.backEnd.waitRetrace) display.backEnd.waitRetrace(display);
}

void displayClear(Display& display)
{
    std::fill(display.pixels.begin(), display.pixels.end(), BACKGROUND);
    display.cursorColumn = 0;
    display.cursorRow = 0;
}

void drawLine(Display& display, double x1, double y1, double x2, double y2)
{
    if (std::isnan(x1) || std::isnan(y1) || std::isnan(x2) || std::isnan(y2)) return;
    LineEnds line{limitCoordinate(x1), limitCoordinate(y1), limitCoordinate(x2),
                  limitCoordinate(y2)};
    const bool inside = onSurface(roundPixel(line.x1), roundPixel(line.y1)) &&
                        onSurface(roundPixel(line.x2), roundPixel(line.y2));
    if (!inside && !clipToSurface(line)) return;
    rasterLine(display, roundPixel(line.x1), roundPixel(line.y1), roundPixel(line.x2),
               roundPixel(line.y2));
}

void drawBox(Display& display, double x1, double y1, double x2, double y2,
             std::uint32_t colour, bool filled)
{
    const int left = roundPixel(x1);
    const int top = roundPixel(y1);
    const int right = roundPixel(x2);
    const int bottom = roundPixel(y2);
    if (filled) {
        fillRect(display, left, top, right, bottom, colour);
        return;
    }
    fillRect(display, left, top, right, top, colour);
    fillRect(display, left, bottom, right, bottom, colour);
    fillRect(display, left, top, left, bottom, colour);
    fillRect(display, right, top, right, bottom, colour);
}

void drawCircle(Display& display, double centreX, double centreY, double radius,
                std::uint32_t colour)
{
    if (!(radius >= 0.0)) return;
    radius = std::min(radius, COORDINATE_LIMIT);
    const int cx = roundPixel(centreX);
    const int cy = roundPixel(centreY);
    const int reach = static_cast<int>(radius);
    const int top = std::max(cy - reach, 0);
    const int bottom = std::min(cy + reach, DISPLAY_HEIGHT - 1);
    for (int y = top; y <= bottom; ++y) {
        const double dy = y - cy;
        const int half = static_cast<int>(std::sqrt(radius * radius - dy * dy));
        fillRect(display, cx - half, y, cx + half, y, colour);
    }
}

void drawText(Display& display, double x, double y, std::string_view text)
{
    const int top = roundPixel(y);
    int left = roundPixel(x);
    if (top <= -CELL_SIZE || top >= DISPLAY_HEIGHT) return;
    for (const char byte : text) {
        if (left >= DISPLAY_WIDTH) return;
        if (left > -CELL_SIZE) drawGlyph(display, left, top, static_cast<unsigned char>(byte));
        left += CELL_SIZE;
    }
}

std::uint32_t displayPixel(const Display& display, int x, int y)
{
    return onSurface(x, y) ? display.pixels[y * DISPLAY_WIDTH + x] : BACKGROUND;
}

DisplayRect displayFit(int outputWidth, int outputHeight)
{
    if (outputWidth <= 0 || outputHeight <= 0) return {};
    // 64-bit products: a huge drawable must not overflow the comparison.
    const long long wide = static_cast<long long>(outputWidth) * DISPLAY_HEIGHT;
    const long long tall = static_cast<long long>(outputHeight) * DISPLAY_WIDTH;
    DisplayRect picture{0, 0, outputWidth, outputHeight};
    if (wide > tall)
        picture.width = static_cast<int>(tall / DISPLAY_HEIGHT);  // bars left and right
    else
        picture.height = static_cast<int>(wide / DISPLAY_WIDTH);  // bars above and below
    picture.x = (outputWidth - picture.width) / 2;
    picture.y = (outputHeight - picture.height) / 2;
    return picture;
}

DisplayWindow displayWindowFit(const DisplayWindow& asked, int screenWidth, int screenHeight)
{
    DisplayWindow fitted = asked;
    double scale = 1.0;
    if (screenWidth > 0 && asked.width > screenWidth) scale = double(screenWidth) / asked.width;
    if (screenHeight > 0 && asked.height > screenHeight)
        scale = std::min(scale, double(screenHeight) / asked.height);
    fitted.width = std::max(static_cast<int>(std::lround(asked.width * scale)), WINDOW_MIN_WIDTH);
    fitted.height = std::max(static_cast<int>(std::lround(asked.height * scale)), WINDOW_MIN_HEIGHT);
    return fitted;
}

void displayKeyEvent(Display& display, int scanCode, bool down)
{
    if (scanCode == 0 || !isScanCode(scanCode)) return;  // 0: a key with no PC scan code
    display.keyState[scanCode] = down;
    if (down) display.keyTapped[scanCode] = true;
}

bool keyDown(const Display& display, int scanCode)
{
    return isScanCode(scanCode) && (display.keyState[scanCode] || display.keyTapped[scanCode]);
}

bool displayKeyHeld(const Display& display, int scanCode)
{
    return isScanCode(scanCode) && display.keyState[scanCode];
}

bool displayKeyPressed(const Display& display, int scanCode)
{
    return isScanCode(scanCode) && display.keyTapped[scanCode];
}

void displayForgetTap(Display& display, int scanCode)
{
    if (isScanCode(scanCode)) display.keyTapped[scanCode] = false;
}

void displayPadEvent(Display& display, std::uint32_t held, std::uint32_t pressed)
{
    display.padTapped |= pressed | (held & ~display.padHeld);
    display.padHeld = held;
}

std::uint32_t displayPadDown(const Display& display) { return display.padHeld | display.padTapped; }

void displayForgetTaps(Display& display)
{
    std::fill(std::begin(display.keyTapped), std::end(display.keyTapped), false);
    display.padTapped = 0;
}

void pollEvents(Display& display)
{
    pump(display);
}

std::string readKey(Display& display)
{
    return keyRingRead(display.keys);
}

void sleepMs(Display& display, int milliseconds)
{
    if (display.backEnd.sleepMs)
        display.backEnd.sleepMs(display, milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::optional<std::string> promptLine(Display& display, std::string_view prompt, const PromptWatch& watch)
{
    std::string line;
    std::size_t editAt = 0;
    for (;;) {
        showPromptRow(display, prompt, line, editAt, true);
        pump(display);
        std::string key = readKey(display);
        if (key == std::string_view(&KEY_ESCAPE, 1) || stopRequested()) return std::nullopt;
        const PromptTake take = watch.step ? watch.step(watch.user, display, key, line.empty()) : PromptTake::Pass;
        if (take == PromptTake::End) {
            line.clear();
            break;
        }
        if (take == PromptTake::Taken) continue;
        if (key.empty()) {
            if (!display.backEnd.pump) break;  // no window: no more keys will come
            sleepMs(display, PROMPT_IDLE_MS);
            continue;
        }
        if (editLine(line, editAt, key)) break;
    }
    showPromptRow(display, prompt, line, editAt, false);
    displayForgetTaps(display);  // the keys typed here were text, not controls
    display.cursorColumn = 0;
    display.cursorRow = std::min(display.cursorRow + 1, DISPLAY_HEIGHT / CELL_SIZE - 1);
    return inputField(line);
}

std::string inputField(std::string_view line)
{
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    std::string_view rest = line.substr(start);
    std::size_t end = 0;
    if (rest.front() == '"') {
        rest.remove_prefix(1);
        end = rest.find('"');
    } else {
        end = rest.find(',');
    }
    return std::string(rest.substr(0, std::min<std::size_t>(end, PROMPT_FIELD_MAX)));
}

}  // namespace netduel
