#include "settings/version.h"

#include <cstdio>
#include <cstring>

namespace vorda {

namespace {

// January 01 to December 12, decided by the first letter and, where several months
// share it, by one more letter.
int monthOf(const char* m) {
    switch (m[0]) {
        case 'J':
            if (m[1] == 'a') {
                return 1;
            }
            return m[2] == 'n' ? 6 : 7;
        case 'F':
            return 2;
        case 'M':
            return m[2] == 'y' ? 5 : 3;
        case 'A':
            return m[1] == 'p' ? 4 : 8;
        case 'S':
            return 9;
        case 'O':
            return 10;
        case 'N':
            return 11;
        case 'D':
            return 12;
        default:
            return 0;
    }
}

}  // namespace

std::string buildDatePart(const char* buildDate) {
    if (buildDate == nullptr || std::strlen(buildDate) < 11) {
        return "000000";
    }
    char day[3] = {buildDate[4], buildDate[5], '\0'};
    if (day[0] < '0' || day[0] > '9') {
        day[0] = '0';
    }
    char out[8];
    std::snprintf(out, sizeof out, "%c%c%02d%s", buildDate[9], buildDate[10], monthOf(buildDate),
                  day);
    return out;
}

std::string versionText(const std::string& title, const char* buildDate) {
    return title + " :  ver." VORDA_VERSION "." + buildDatePart(buildDate);
}

const char* coreBuildDate() {
    return __DATE__;
}

}  // namespace vorda
