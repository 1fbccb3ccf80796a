// The panel as drawFrame paints it, with one text row: what a test expects to see there.
#pragma once

#include <string_view>

#include "display/display.h"
#include "shell/draw_frame.h"

namespace netduel {

// Fill, frame and `text` with its top at `top`, painted by the program's own operations.
inline void drawPanelRow(Display& display, int top, std::string_view text)
{
    drawBox(display, 0, 0, DISPLAY_WIDTH, PANEL_BOTTOM, PANEL_FILL, true);
    drawBox(display, 0, 0, DISPLAY_WIDTH - 1, PANEL_BOTTOM, PANEL_FRAME, false);
    drawText(display, 0, top, text);
}

}  // namespace netduel
