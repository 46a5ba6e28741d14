// The main window's view: a virtual surface of 623 x 512 one-pixel cells at 96 DPI (larger
// at a higher DPI) that carries the control panel, and its scrolling.
#pragma once

#include <cstdint>

namespace vorda {

constexpr int kViewColumns = 623;
constexpr int kViewRows = 512;

enum class ScrollCode {
    LineBack,
    LineForward,
    PageBack,
    PageForward,
    ThumbPosition,
    Start,
    End,
    Other
};

// The content moves by the returned amounts (old offset minus new offset, in pixels)
// when the client area becomes `width` x `height`; the ranges and offsets are updated.
struct ViewShift {
    int dx;
    int dy;
};
// The main window's scroll geometry.
struct ScrollView {
    int32_t viewWidth = 0;
    int32_t viewHeight = 0;
    int32_t hScrollMax = 0;
    int32_t vScrollMax = 0;
    int32_t hOffset = 0;
    int32_t vOffset = 0;
    int32_t cellWidth = 1;
    int32_t cellHeight = 1;
    // The surface's size in cells: the panel's at the window's DPI.
    int32_t columns = kViewColumns;
    int32_t rows = kViewRows;
};

ViewShift viewSizing(ScrollView& view, int width, int height);

// One scroll message; returns the change of the offset after clamping (the content moves
// the other way by as much).
int viewScroll(ScrollView& view, bool vertical, ScrollCode code, int thumbPosition);

}  // namespace vorda
