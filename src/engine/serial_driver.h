// The serial seam: a port opened by number, configured, waited on until bytes arrive,
// read without waiting, written synchronously and closed. One implementation per
// platform (the Win32 COM port, and a POSIX terminal device); tests may supply their own
// table.
#pragma once

#include <cstdint>
#include <string>

#include "settings/settings.h"

namespace vorda {

struct SerialPort;  // one open port of the driver

enum class OpenError : int { None = 0, NotFound, AccessDenied, Other };

// Error flags of the comm error query (the Win32 CE_* values).
constexpr uint32_t kCommOverrun = 0x0002;
constexpr uint32_t kCommRxParity = 0x0004;
constexpr uint32_t kCommFrame = 0x0008;

struct SerialDriver {
    void* context = nullptr;
    // Opens "<comName><number>" for reading and writing, not shared; nullptr on failure
    // with the reason and the system error code.
    SerialPort* (*open)(void* context, const std::string& comName, int number, OpenError* error,
                        uint32_t* systemError) = nullptr;
    void (*setupQueues)(SerialPort* port, uint32_t inBytes, uint32_t outBytes) = nullptr;
    // Applies the settings; true when the system accepted them.
    bool (*configure)(SerialPort* port, const SerialSettings& settings) = nullptr;
    // The comm error flags pending (cleared by the query) and the bytes queued for
    // reading; false with a system error code when the query fails.
    bool (*queryErrors)(SerialPort* port, uint32_t* errorFlags, uint32_t* queued,
                        uint32_t* systemError) = nullptr;
    // Reads up to `max` bytes that are already queued; false with a system error code.
    bool (*read)(SerialPort* port, uint8_t* buffer, uint32_t max, uint32_t* got,
                 uint32_t* systemError) = nullptr;
    // Writes the whole block; false with a system error code.
    bool (*write)(SerialPort* port, const uint8_t* bytes, uint32_t count,
                  uint32_t* systemError) = nullptr;
    // The receiver's sleep: returns true once bytes are queued for reading (at once when
    // some already are), false when wake() was called for the port or the wait failed
    // (*systemError then 0 when woken, else the failure's code). One thread at a time.
    bool (*waitForInput)(SerialPort* port, uint32_t* systemError) = nullptr;
    // Discards the bytes received and not yet read (may be left empty).
    void (*discardInput)(SerialPort* port) = nullptr;
    // Makes a waitForInput under way on the port, and every later one, return false at
    // once. From any thread; the port stays open.
    void (*wake)(SerialPort* port) = nullptr;
    // Whether a system error code of a query, read, write or wait means that the device
    // is gone (unplugged, hung up): the port is useless until it is opened again.
    bool (*deviceGone)(uint32_t systemError) = nullptr;
    // Whether what was opened is a serial port (its comm state can be read).
    bool (*isSerialPort)(SerialPort* port) = nullptr;
    void (*clearDtr)(SerialPort* port) = nullptr;
    void (*close)(SerialPort* port) = nullptr;
};

// The driver of the platform this was built for.
SerialDriver platformSerialDriver();

#ifndef _WIN32
// Where the POSIX driver finds port n: "<directory>/COM<n>" (a device or a symlink to
// one, such as a pseudo-terminal). Default "/dev/vorda".
void setSerialPortDirectory(const std::string& directory);
#endif

}  // namespace vorda
