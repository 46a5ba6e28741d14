#include "controller/view.h"

#include <algorithm>

namespace vorda {

ViewShift viewSizing(ScrollView& r, int width, int height) {
    ViewShift shift{0, 0};
    r.viewHeight = height;
    r.vScrollMax = std::max(0, r.rows * r.cellHeight - height);
    const int newV = std::min(r.vOffset, r.vScrollMax);
    shift.dy = r.vOffset - newV;
    r.vOffset = newV;

    r.viewWidth = width;
    r.hScrollMax = std::max(0, r.columns * r.cellWidth - width);
    const int newH = std::min(r.hOffset, r.hScrollMax);
    shift.dx = r.hOffset - newH;
    r.hOffset = newH;
    return shift;
}

int viewScroll(ScrollView& r, bool vertical, ScrollCode code, int thumbPosition) {
    int& offset = vertical ? r.vOffset : r.hOffset;
    const int max = vertical ? r.vScrollMax : r.hScrollMax;
    const int line = vertical ? r.cellHeight : r.cellWidth;
    const int page = vertical ? r.viewHeight : r.viewWidth;
    int amount = 0;
    switch (code) {
        case ScrollCode::LineBack:
            amount = -line;
            break;
        case ScrollCode::LineForward:
            amount = line;
            break;
        case ScrollCode::PageBack:
            amount = -page;
            break;
        case ScrollCode::PageForward:
            amount = page;
            break;
        case ScrollCode::ThumbPosition:
            amount = thumbPosition - offset;
            break;
        case ScrollCode::Start:
            amount = -offset;
            break;
        case ScrollCode::End:
            amount = max - offset;
            break;
        case ScrollCode::Other:
            return 0;
    }
    if (offset + amount > max) {
        amount = max - offset;
    }
    if (offset + amount < 0) {
        amount = -offset;
    }
    offset += amount;
    return amount;
}

}  // namespace vorda
