#include "controller/view.h"

#include <gtest/gtest.h>

namespace vorda {
namespace {

TEST(View, ALargeClientAreaNeedsNoScrolling) {
    ScrollView r;
    viewSizing(r, 700, 600);
    EXPECT_EQ(r.hScrollMax, 0);
    EXPECT_EQ(r.vScrollMax, 0);
    EXPECT_EQ(r.hOffset, 0);
    EXPECT_EQ(r.vOffset, 0);
}

TEST(View, A400PixelHighAreaScrolls112PixelsToTheBottom) {
    ScrollView r;
    viewSizing(r, 700, 400);
    EXPECT_EQ(r.vScrollMax, 112);
    EXPECT_EQ(viewScroll(r, true, ScrollCode::End, 0), 112);
    EXPECT_EQ(r.vOffset, 112);
}

TEST(View, PagesAndLinesStopAtTheEnds) {
    ScrollView r;
    viewSizing(r, 300, 400);
    EXPECT_EQ(r.hScrollMax, 323);
    EXPECT_EQ(viewScroll(r, true, ScrollCode::LineBack, 0), 0);
    EXPECT_EQ(viewScroll(r, true, ScrollCode::LineForward, 0), 1);
    EXPECT_EQ(viewScroll(r, true, ScrollCode::PageForward, 0), 111);
    EXPECT_EQ(r.vOffset, 112);
    EXPECT_EQ(viewScroll(r, true, ScrollCode::PageForward, 0), 0);
    EXPECT_EQ(viewScroll(r, true, ScrollCode::Start, 0), -112);
    EXPECT_EQ(viewScroll(r, false, ScrollCode::PageForward, 0), 300);
    EXPECT_EQ(viewScroll(r, false, ScrollCode::PageForward, 0), 23);
    EXPECT_EQ(viewScroll(r, false, ScrollCode::PageBack, 0), -300);
}

TEST(View, TheThumbMovesTheViewOnlyWhenTheDragEnds) {
    ScrollView r;
    viewSizing(r, 300, 400);
    EXPECT_EQ(viewScroll(r, true, ScrollCode::Other, 50), 0);
    EXPECT_EQ(viewScroll(r, true, ScrollCode::ThumbPosition, 50), 50);
    EXPECT_EQ(viewScroll(r, true, ScrollCode::ThumbPosition, 500), 62);
}

TEST(View, EnlargingTheWindowBringsTheOffsetsBackWithinTheNewRange) {
    ScrollView r;
    viewSizing(r, 300, 400);
    viewScroll(r, true, ScrollCode::End, 0);
    viewScroll(r, false, ScrollCode::End, 0);
    const ViewShift shift = viewSizing(r, 600, 450);
    EXPECT_EQ(r.vOffset, 62);
    EXPECT_EQ(r.hOffset, 23);
    EXPECT_EQ(shift.dy, 50);
    EXPECT_EQ(shift.dx, 300);
}

}  // namespace
}  // namespace vorda
