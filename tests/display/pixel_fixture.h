// Test fixture with a windowless display and pixel read-back helpers.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "display/display.h"

namespace netduel {

class PixelTest : public ::testing::Test {
protected:
    std::unique_ptr<Display> owned = std::make_unique<Display>();
    Display& display = *owned;

    std::uint32_t at(int x, int y) const { return displayPixel(display, x, y); }

    // Pixels of `colour` in the inclusive rectangle.
    int countColour(int left, int top, int right, int bottom, std::uint32_t colour) const
    {
        int count = 0;
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x) count += at(x, y) == colour;
        return count;
    }
};

}  // namespace netduel
