// Price texts onto the price board and through the frame. Input: the five price boxes
// (strings each ended by a backslash and one more byte), sent in test mode, where the
// sender shows them on the board; then one more command text, framed and shown there
// directly. The blink boxes come from the last bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <numeric>
#include <regex>

#include "fuzz_support.h"

using namespace vorda;

static std::array<uint8_t, 3> codesOf(const PriceBoard& board, int row) {
    return {board.segment(row, 0), board.segment(row, 1), board.segment(row, 2)};
}

// STX, the text, its checksum (XOR seeded with 0x72) in upper-case hex, ETX.
static void checkFrame(const std::string& text) {
    const int sum = std::accumulate(text.begin(), text.end(), 0x72,
                                    [](int s, char c) { return s ^ static_cast<uint8_t>(c); });
    const char* hex = "0123456789ABCDEF";
    FUZZ_CHECK(buildFrame(text) == "\x02" + text + hex[sum >> 4] + hex[sum & 15] + "\x03");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::Boxes boxes;
    for (int row = 0; row < kPriceRows; ++row) {
        boxes.prices[row] = in.ConsumeRandomLengthString(12);
        boxes.blinks[row] = in.ConsumeBool();
    }
    Controller controller(boxes.platform());
    PriceBoard& board = controller.board();
    controller.enterTestMode();
    controller.sendPrices();
    for (int pass = 0; pass < 6; ++pass) {
        controller.link().tick(0);  // in test mode: five prices and "20E", on the board
    }
    FUZZ_CHECK(!controller.mailbox().anyPending());
    static const std::regex plain("([0-9-]\\.?){3}");  // three symbols: read back as typed
    for (int row = 0; row < kPriceRows; ++row) {
        const std::string& box = boxes.prices[row];
        FUZZ_CHECK(!std::regex_match(box, plain) ||
                   priceTextOfSegments(codesOf(board, row).data()) == box);
        FUZZ_CHECK(board.blinking(row) == boxes.blinks[row]);
        FUZZ_CHECK(fuzz::printable(controller.mailbox().text(kSlotPrice1 + row)));
    }
    // The row a text names shows what decodePriceCommand makes of it, in six characters.
    const std::string text = in.ConsumeRemainingBytesAsString();
    checkFrame(text);
    int row = text.size() > 1 && text[1] >= '1' && text[1] <= '5' ? text[1] - '1' : 0;
    std::array<uint8_t, 3> codes = codesOf(board, row);
    bool blink = false;
    const bool decoded = decodePriceCommand(text.c_str(), &row, codes.data(), &blink);
    board.showCommand(text.c_str());
    FUZZ_CHECK(!decoded || (codesOf(board, row) == codes && board.blinking(row) == blink));
    FUZZ_CHECK(priceTextOfSegments(codesOf(board, row).data()).size() <= 6);
    return 0;
}
