// The main window's view: a virtual surface of 623 x 512 one-pixel cells that carries the
// control panel, and its scrolling.
#pragma once

#include "record/app_record.h"

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
ViewShift viewSizing(AppRecord& record, int width, int height);

// One scroll message; returns the change of the offset after clamping (the content moves
// the other way by as much).
int viewScroll(AppRecord& record, bool vertical, ScrollCode code, int thumbPosition);

}  // namespace vorda
