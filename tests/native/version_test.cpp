#include "storage/version.h"

#include <gtest/gtest.h>

namespace vorda {
namespace {

TEST(VersionText, IsTheTitleAndTheBuildDateAsYearMonthDay) {
    EXPECT_EQ(versionText("Vorda Cen", "Feb 12 2015"), "Vorda Cen :  ver.1.2.53.150212");
}

TEST(VersionText, DaysOneToNineGetALeadingZero) {
    EXPECT_EQ(buildDatePart("Mar  5 2015"), "150305");
}

TEST(VersionText, EveryMonthAbbreviationGivesItsNumber) {
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 0; m < 12; ++m) {
        const std::string date = std::string(months[m]) + " 28 2026";
        char expected[8];
        std::snprintf(expected, sizeof expected, "26%02d28", m + 1);
        EXPECT_EQ(buildDatePart(date.c_str()), expected) << date;
    }
}

TEST(VersionText, TheCoreKnowsTheDateItWasBuilt) {
    const std::string part = buildDatePart(coreBuildDate());
    ASSERT_EQ(part.size(), 6u);
    EXPECT_NE(part.substr(2, 2), "00");
}

}  // namespace
}  // namespace vorda
