// The application record: the one record of the run, created with the main window and
// destroyed with it. Flags shared between threads are atomic 32-bit values holding 0 or 1.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace vorda {

struct SerialPort;  // the serial seam's open port

// The open port. Whoever reads, writes or configures it holds a reference for that
// call, so the port is closed only when nobody is using it any more.
struct PortHolder {
    std::mutex mutex;
    std::shared_ptr<SerialPort> port;
};

using Flag = std::atomic<int32_t>;

// The logical font of the view and of the price labels.
struct FontDescription {
    int height = 55;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = 900;
    int italic = 0;
    int underline = 0;
    int strikeOut = 0;
    int charSet = 255;  // OEM
    int outPrecision = 0;
    int clipPrecision = 0;
    int quality = 0;
    int pitchAndFamily = 0x31;  // fixed pitch, modern family
    const char* faceName = "Arial";
};

struct AppRecord {
    PortHolder portHandle;
    std::atomic<uint8_t> portNumber{1};
    uint8_t retryCount = 0;  // under the link locks

    Flag connected{0};
    Flag autoConnected{0};
    Flag scriptRunning{0};
    Flag backlightOn{0};
    Flag senderRun{0};
    Flag answerTimerOn{0};
    Flag pollTimersOn{0};
    Flag dataAnswerExpected{0};
    Flag readBackRequested{0};
    Flag testMode{0};
    Flag logToFile{0};
    Flag autoBacklight{0};
    Flag hideOnMinimise{0};

    std::atomic<uint8_t> dataBits{8};
    std::atomic<uint8_t> parity{0};
    std::atomic<uint8_t> stopBits{0};
    std::atomic<uint32_t> baudRate{19200};
    uint16_t portListIndex = 0;

    FontDescription viewFont;
    uint32_t textColour = 0;

    std::atomic<int32_t> slotInFlight{0};

    int32_t viewWidth = 0;
    int32_t viewHeight = 0;
    int32_t hScrollMax = 0;
    int32_t vScrollMax = 0;
    int32_t hOffset = 0;
    int32_t vOffset = 0;
    int32_t cellWidth = 1;
    int32_t cellHeight = 1;

    std::thread receiverThread;
    std::atomic<uint32_t> receiverThreadId{0};  // the receiver clears it when it ends
    std::thread senderThread;
    std::atomic<uint32_t> senderThreadId{0};  // the sender clears it as its last act

    void* ownerWindow = nullptr;
};

}  // namespace vorda
