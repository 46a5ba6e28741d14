#include "storage/settings_file.h"

#include <cstdio>
#include <cstring>
#include <functional>

#include "storage/files.h"

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

struct NumericItem {
    int64_t min;
    int64_t max;
    std::function<void(int64_t)> store;
};

}  // namespace

bool loadSettings(Core& core) {
    AppRecord* r = core.record.get();
    if (r == nullptr) {
        return false;
    }
    std::string text;
    if (!readFile(startDirectoryPath(core.startDirectory, kSettingsFileName), text)) {
        return false;
    }
    LightLevels& l = core.light;
    auto u8 = [](std::atomic<uint8_t>& field) {
        return [&field](int64_t v) { field = static_cast<uint8_t>(v); };
    };
    auto i32 = [](std::atomic<int32_t>& field) {
        return [&field](int64_t v) { field = static_cast<int32_t>(v); };
    };
    const NumericItem items[22] = {
        {1, 255, u8(r->portNumber)},
        {0, 0, [r](int64_t v) { r->baudRate = static_cast<uint32_t>(v); }},  // checked below
        {4, 8, u8(r->dataBits)},
        {0, 4, u8(r->parity)},
        {0, 2, u8(r->stopBits)},
        {0, 1, i32(r->logToFile)},
        {0, 255, i32(l.display1LowLightLevel)},
        {0, 255, i32(l.display1LowLevelBrightness)},
        {0, 255, i32(l.display1HighLightLevel)},
        {0, 255, i32(l.display1HighLevelBrightness)},
        {1, 255, i32(l.scrollPeriod1)},
        {0, 255, i32(l.display2LowLightLevel)},
        {0, 255, i32(l.display2LowLevelBrightness)},
        {0, 255, i32(l.display2HighLightLevel)},
        {0, 255, i32(l.display2HighLevelBrightness)},
        {1, 255, i32(l.scrollPeriod2)},
        {0, 255, i32(l.lowLightLevel)},
        {0, 255, i32(l.lowLevelBrightness)},
        {0, 255, i32(l.highLightLevel)},
        {0, 255, i32(l.highLevelBrightness)},
        {0, 1, i32(r->autoBacklight)},
        {0, 1, i32(r->hideOnMinimise)},
    };

    Reader reader(std::move(text));
    bool readable = true;
    for (int i = 0; i < 22 && readable; ++i) {
        int64_t v = 0;
        readable = reader.readInt(v);
        if (readable) {
            bool accepted;
            if (i == 1) {
                // Compared as the unsigned number the signed value stands for.
                const uint32_t rate = static_cast<uint32_t>(v);
                accepted = false;
                for (uint32_t b : kAcceptedBaudRates) {
                    accepted = accepted || (rate == b && v == static_cast<int64_t>(rate));
                }
            } else {
                accepted = v >= items[i].min && v <= items[i].max;
            }
            if (accepted) {
                items[i].store(v);
            }
        }
        if (i == 5) {
            core.loggingSwitch = r->logToFile.load();
        }
    }
    if (!readable) {
        return true;  // the first unreadable item ends the reading; the rest keeps its value
    }
    reader.skipRestOfLine();
    for (int row = 0; row < kPriceRows; ++row) {
        std::string line;
        if (!reader.readLine(line)) {
            break;
        }
        char* field = core.labels.priceLabelText[row];
        const size_t n = std::min(line.size(), static_cast<size_t>(kLabelSize - 1));
        std::memcpy(field, line.data(), n);
        field[n] = '\0';
        uint32_t colour = 0;
        if (!reader.readLine(line) || !parseColour(line, colour)) {
            break;
        }
        core.labels.priceLabelColour[row] = colour;
    }
    return true;
}

std::string settingsFileText(Core& core) {
    AppRecord& r = *core.record;
    const LightLevels& l = core.light;
    const PriceLabels& p = core.labels;
    char buffer[1024];
    std::snprintf(
        buffer, sizeof buffer,
        "%u\r\n%u\r\n%u\r\n%u\r\n%u\r\n%d\r\n"
        "%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n"
        "%d\r\n"
        "%s\r\n%u\r\n%s\r\n%u\r\n%s\r\n%u\r\n%s\r\n%u\r\n%s\r\n%u\r\n",
        unsigned{r.portNumber}, unsigned{r.baudRate}, unsigned{r.dataBits}, unsigned{r.parity},
        unsigned{r.stopBits}, int{r.logToFile}, int{l.display1LowLightLevel},
        int{l.display1LowLevelBrightness}, int{l.display1HighLightLevel},
        int{l.display1HighLevelBrightness}, int{l.scrollPeriod1}, int{l.display2LowLightLevel},
        int{l.display2LowLevelBrightness}, int{l.display2HighLightLevel},
        int{l.display2HighLevelBrightness}, int{l.scrollPeriod2}, int{l.lowLightLevel},
        int{l.lowLevelBrightness}, int{l.highLightLevel}, int{l.highLevelBrightness},
        int{r.autoBacklight}, int{r.hideOnMinimise}, p.priceLabelText[0],
        unsigned{p.priceLabelColour[0]}, p.priceLabelText[1], unsigned{p.priceLabelColour[1]},
        p.priceLabelText[2], unsigned{p.priceLabelColour[2]}, p.priceLabelText[3],
        unsigned{p.priceLabelColour[3]}, p.priceLabelText[4], unsigned{p.priceLabelColour[4]});
    return buffer;
}

bool saveSettings(Core& core) {
    if (core.record == nullptr) {
        return false;
    }
    // A file that cannot be written is skipped silently; the old one stays as it was.
    writeFileReplacing(startDirectoryPath(core.startDirectory, kSettingsFileName),
                       settingsFileText(core));
    return true;
}

bool saveSettingsLocked(Core& core) {
    SpinGuard guard(core.locks.settingsLock);
    return saveSettings(core);
}

}  // namespace vorda
