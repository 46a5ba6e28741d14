#include "settings/settings_file.h"

#include <cstdio>
#include <cstring>
#include <algorithm>

#include "settings/files.h"

namespace vorda {

namespace {

constexpr uint32_t kAcceptedBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                           19200, 38400, 56000, 57600, 115200, 128000, 256000};

// Reads the file's bytes the way formatted input would, with the two exceptions that
// descriptions are whole lines and that nothing is read past a failed item.
class Reader {
  public:
    explicit Reader(std::string text) : text_(std::move(text)) {}

    // A signed decimal after any white space ("%d"). False, consuming nothing that
    // matters, when there is none.
    bool readInt(int64_t& value) {
        while (pos_ < text_.size() && isSpace(text_[pos_])) {
            ++pos_;
        }
        size_t p = pos_;
        bool negative = false;
        if (p < text_.size() && (text_[p] == '-' || text_[p] == '+')) {
            negative = text_[p] == '-';
            ++p;
        }
        if (p >= text_.size() || !isDigit(text_[p])) {
            return false;
        }
        int64_t v = 0;
        while (p < text_.size() && isDigit(text_[p])) {
            if (v < (int64_t{1} << 40)) {
                v = v * 10 + (text_[p] - '0');
            }
            ++p;
        }
        pos_ = p;
        value = negative ? -v : v;
        return true;
    }

    // The rest of the current line is passed over, its line end included.
    void skipRestOfLine() {
        while (pos_ < text_.size() && text_[pos_] != '\n') {
            ++pos_;
        }
        if (pos_ < text_.size()) {
            ++pos_;
        }
    }

    // The next whole line without its CR LF or LF; false at the end of the text.
    bool readLine(std::string& line) {
        if (pos_ >= text_.size()) {
            return false;
        }
        const size_t end = text_.find('\n', pos_);
        const size_t stop = end == std::string::npos ? text_.size() : end;
        line = text_.substr(pos_, stop - pos_);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        pos_ = end == std::string::npos ? text_.size() : end + 1;
        return true;
    }

  private:
    static bool isSpace(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    std::string text_;
    size_t pos_ = 0;
};

// An unsigned decimal on a line of its own ("%u"), taken modulo 2^32.
bool parseColour(const std::string& line, uint32_t& colour) {
    size_t p = 0;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) {
        ++p;
    }
    if (p < line.size() && line[p] == '+') {
        ++p;
    }
    if (p >= line.size() || line[p] < '0' || line[p] > '9') {
        return false;
    }
    uint32_t v = 0;
    while (p < line.size() && line[p] >= '0' && line[p] <= '9') {
        v = v * 10u + static_cast<uint32_t>(line[p] - '0');
        ++p;
    }
    colour = v;
    return true;
}

// At most kSettingsReadLimit bytes. When the file goes on past them (or cannot be read
// to its end), the line they cut is left out: a cut number or colour would read as a
// shorter one.
bool readFile(const std::string& path, std::string& text) {
    std::FILE* f = openFile(path, "rb");
    if (f == nullptr) {
        return false;
    }
    text.resize(kSettingsReadLimit);
    text.resize(std::fread(&text[0], 1, text.size(), f));
    const bool cut = std::ferror(f) != 0 || std::fgetc(f) != EOF;
    std::fclose(f);
    if (cut) {
        const size_t lineEnd = text.rfind('\n');
        text.resize(lineEnd == std::string::npos ? 0 : lineEnd + 1);
    }
    return true;
}

}  // namespace

void readSettingsText(const std::string& text, Settings& s) {
    LightLevels& l = s.light;
    struct NumericItem {
        int64_t min;
        int64_t max;
        int32_t* field;  // or one of the narrower fields below
    };
    int32_t port = s.portNumber, baud = 0, dataBits = s.serial.dataBits, parity = s.serial.parity,
            stopBits = s.serial.stopBits, log = s.logToFile, autoBacklight = s.autoBacklight,
            hide = s.hideOnMinimise;
    const NumericItem items[22] = {
        {1, 255, &port},
        {0, 0, &baud},  // checked against the accepted rates below
        {4, 8, &dataBits},
        {0, 4, &parity},
        {0, 2, &stopBits},
        {0, 1, &log},
        {0, 255, &l.display1LowLightLevel},
        {0, 255, &l.display1LowLevelBrightness},
        {0, 255, &l.display1HighLightLevel},
        {0, 255, &l.display1HighLevelBrightness},
        {1, 255, &l.scrollPeriod1},
        {0, 255, &l.display2LowLightLevel},
        {0, 255, &l.display2LowLevelBrightness},
        {0, 255, &l.display2HighLightLevel},
        {0, 255, &l.display2HighLevelBrightness},
        {1, 255, &l.scrollPeriod2},
        {0, 255, &l.lowLightLevel},
        {0, 255, &l.lowLevelBrightness},
        {0, 255, &l.highLightLevel},
        {0, 255, &l.highLevelBrightness},
        {0, 1, &autoBacklight},
        {0, 1, &hide},
    };

    Reader reader(text);
    bool readable = true;
    for (int i = 0; i < 22 && readable; ++i) {
        int64_t v = 0;
        readable = reader.readInt(v);
        if (!readable) {
            break;
        }
        if (i == 1) {
            // Compared as the unsigned number the signed value stands for.
            const uint32_t rate = static_cast<uint32_t>(v);
            for (uint32_t b : kAcceptedBaudRates) {
                if (rate == b && v == static_cast<int64_t>(rate)) {
                    s.serial.baudRate = rate;
                }
            }
        } else if (v >= items[i].min && v <= items[i].max) {
            *items[i].field = static_cast<int32_t>(v);
        }
    }
    s.portNumber = static_cast<uint8_t>(port);
    s.serial.dataBits = static_cast<uint8_t>(dataBits);
    s.serial.parity = static_cast<uint8_t>(parity);
    s.serial.stopBits = static_cast<uint8_t>(stopBits);
    s.logToFile = log != 0;
    s.autoBacklight = autoBacklight != 0;
    s.hideOnMinimise = hide != 0;
    if (!readable) {
        return;  // the first unreadable item ends the reading; the rest keeps its value
    }
    reader.skipRestOfLine();
    for (int row = 0; row < kSettingsRows; ++row) {
        std::string line;
        if (!reader.readLine(line)) {
            break;
        }
        const size_t n = std::min(line.size(), static_cast<size_t>(kLabelSize - 1));
        std::memcpy(s.labelText[row], line.data(), n);
        s.labelText[row][n] = '\0';
        uint32_t colour = 0;
        if (!reader.readLine(line) || !parseColour(line, colour)) {
            break;
        }
        s.labelColour[row] = colour;
    }
}

bool loadSettingsFile(const std::string& directory, Settings& settings) {
    std::string text;
    if (!readFile(startDirectoryPath(directory, kSettingsFileName), text)) {
        return false;
    }
    readSettingsText(text, settings);
    return true;
}

std::string settingsFileText(const Settings& s) {
    const LightLevels& l = s.light;
    char buffer[1024];
    std::snprintf(
        buffer, sizeof buffer,
        "%u\r\n%u\r\n%u\r\n%u\r\n%u\r\n%d\r\n"
        "%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n"
        "%d\r\n"
        "%s\r\n%u\r\n%s\r\n%u\r\n%s\r\n%u\r\n%s\r\n%u\r\n%s\r\n%u\r\n",
        unsigned{s.portNumber}, unsigned{s.serial.baudRate}, unsigned{s.serial.dataBits},
        unsigned{s.serial.parity}, unsigned{s.serial.stopBits}, int{s.logToFile},
        l.display1LowLightLevel, l.display1LowLevelBrightness, l.display1HighLightLevel,
        l.display1HighLevelBrightness, l.scrollPeriod1, l.display2LowLightLevel,
        l.display2LowLevelBrightness, l.display2HighLightLevel, l.display2HighLevelBrightness,
        l.scrollPeriod2, l.lowLightLevel, l.lowLevelBrightness, l.highLightLevel,
        l.highLevelBrightness, int{s.autoBacklight}, int{s.hideOnMinimise}, s.labelText[0],
        unsigned{s.labelColour[0]}, s.labelText[1], unsigned{s.labelColour[1]}, s.labelText[2],
        unsigned{s.labelColour[2]}, s.labelText[3], unsigned{s.labelColour[3]}, s.labelText[4],
        unsigned{s.labelColour[4]});
    return buffer;
}

bool saveSettingsFile(const std::string& directory, const Settings& settings) {
    return writeFileReplacing(startDirectoryPath(directory, kSettingsFileName),
                              settingsFileText(settings));
}

}  // namespace vorda
