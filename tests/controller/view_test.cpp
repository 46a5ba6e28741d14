// The main window's scrolling over the 623 x 512 view.
#include "controller/view.h"

#include <gtest/gtest.h>

namespace vorda {
namespace {

TEST(View, ScrollingStopsAtTheEndsAndFollowsTheSize) {
    ScrollView r;
    viewSizing(r, 700, 600);  // large enough: nothing to scroll
    EXPECT_EQ(r.hScrollMax + r.vScrollMax + r.hOffset + r.vOffset, 0);
    viewSizing(r, 300, 400);
    EXPECT_EQ(r.hScrollMax, 323);
    EXPECT_EQ(r.vScrollMax, 112);
    const struct {
        bool vertical;
        ScrollCode code;
        int thumb;
        int moved;
    } steps[] = {
        {true, ScrollCode::LineBack, 0, 0},         {true, ScrollCode::LineForward, 0, 1},
        {true, ScrollCode::PageForward, 0, 111},    {true, ScrollCode::PageForward, 0, 0},
        {true, ScrollCode::Start, 0, -112},         {false, ScrollCode::PageForward, 0, 300},
        {false, ScrollCode::PageForward, 0, 23},    {false, ScrollCode::PageBack, 0, -300},
        {true, ScrollCode::Other, 50, 0},           {true, ScrollCode::ThumbPosition, 50, 50},
        {true, ScrollCode::ThumbPosition, 500, 62}, {true, ScrollCode::End, 0, 0},
        {false, ScrollCode::End, 0, 300},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(viewScroll(r, s.vertical, s.code, s.thumb), s.moved)
            << s.vertical << " " << static_cast<int>(s.code);
    }
    // Enlarging the window brings the offsets back within the new range.
    const ViewShift shift = viewSizing(r, 600, 450);
    EXPECT_EQ(r.vOffset, 62);
    EXPECT_EQ(r.hOffset, 23);
    EXPECT_EQ(shift.dy, 50);
    EXPECT_EQ(shift.dx, 300);
}

}  // namespace
}  // namespace vorda
