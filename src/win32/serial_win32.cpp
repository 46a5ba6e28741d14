// The serial seam on Windows: a COM port opened as "\\.\COM<n>" for overlapped I/O.
//
// The receiver waits in an overlapped ReadFile of one byte, with comm time-outs that
// make a read return as soon as a byte is there, beside an event that wake() sets; the
// byte read ahead is handed out first by the next read. (WaitCommEvent would wait without
// reading, but Wine ends it at once with ERROR_OPERATION_ABORTED on a COM port that is a
// pseudo-terminal, which has no modem lines to read.)
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "engine/serial_driver.h"

namespace vorda {

struct SerialPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE wakeEvent = nullptr;   // set by wake(): every wait returns at once
    HANDLE readEvent = nullptr;   // the receiver's overlapped reads
    HANDLE writeEvent = nullptr;  // the sender's overlapped writes
    uint8_t early = 0;            // a byte the wait read ahead
    std::atomic<uint32_t> earlyCount{0};
    std::atomic<uint32_t> baudRate{9600};  // of the last settings the port accepted
    // The receiver's wait and the sender's write: kept with the port, so that an operation
    // a hung driver never ends cannot outlive what it writes into.
    OVERLAPPED waitOv = {};
    OVERLAPPED readOv = {};
    OVERLAPPED writeOv = {};
    // What a read fills and a write sends, kept with the port too.
    uint8_t readBuffer[4096] = {};
    uint8_t writeBuffer[4096] = {};
    // A cancelled operation had not ended in time: the driver may still write into what is
    // above, so the port is given up (its device taken for gone) and never freed.
    std::atomic<bool> abandoned{false};
};

namespace {

// How long a cancelled read may take to end, and a write beyond its bytes' time on the line.
constexpr DWORD kCancelWaitMs = 1000;
constexpr DWORD kWriteSlackMs = 2000;

void closePort(SerialPort* port) {
    if (port->handle != INVALID_HANDLE_VALUE) {
        CloseHandle(port->handle);  // cancels what is still under way on it
    }
    if (port->abandoned) {
        return;  // a hung driver may still complete into it: left as it is
    }
    for (HANDLE event : {port->wakeEvent, port->readEvent, port->writeEvent}) {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }
    delete port;
}

// Waits for an overlapped operation at most `ms`, then cancels it and waits for the
// cancellation at most kCancelWaitMs more; false (the port abandoned when even that did
// not end) when it did not complete in time.
bool waitFor(SerialPort* port, OVERLAPPED* ov, DWORD ms) {
    if (WaitForSingleObject(ov->hEvent, ms) == WAIT_OBJECT_0) {
        return true;
    }
    CancelIoEx(port->handle, ov);
    if (WaitForSingleObject(ov->hEvent, kCancelWaitMs) != WAIT_OBJECT_0) {
        port->abandoned = true;
    }
    return false;
}

SerialPort* win32Open(void*, const std::string& comName, int number, OpenError* error,
                      uint32_t* systemError) {
    char path[64];
    std::snprintf(path, sizeof path, "\\\\.\\%s%d", comName.c_str(), number);
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *systemError = code;
        *error = code == ERROR_ACCESS_DENIED ? OpenError::AccessDenied
                 : code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                     ? OpenError::NotFound
                     : OpenError::Other;
        return nullptr;
    }
    SerialPort* port = new SerialPort;
    port->handle = h;
    port->wakeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    port->readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    port->writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (port->wakeEvent == nullptr || port->readEvent == nullptr || port->writeEvent == nullptr) {
        *systemError = GetLastError();
        *error = OpenError::Other;
        closePort(port);
        return nullptr;
    }
    // A read returns what is queued at once, or waits for the first byte to come.
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = MAXDWORD - 1;
    SetCommTimeouts(h, &timeouts);  // what is not a serial port is refused by configure
    *error = OpenError::None;
    return port;
}

void win32SetupQueues(SerialPort* port, uint32_t inBytes, uint32_t outBytes) {
    SetupComm(port->handle, inBytes, outBytes);
}

bool win32Configure(SerialPort* port, const SerialSettings& s) {
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    GetCommState(port->handle, &dcb);
    dcb.BaudRate = s.baudRate;
    dcb.ByteSize = s.dataBits;
    dcb.Parity = s.parity;
    dcb.StopBits = s.stopBits;
    dcb.fBinary = 1;
    dcb.fParity = 0;  // no parity checking on receive, whatever the parity sent
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    const bool accepted = SetCommState(port->handle, &dcb) != 0;
    GetCommState(port->handle, &dcb);
    if (accepted) {
        port->baudRate = s.baudRate != 0 ? s.baudRate : 9600;
    }
    return accepted;
}

bool win32QueryErrors(SerialPort* port, uint32_t* errorFlags, uint32_t* queued,
                      uint32_t* systemError) {
    DWORD errors = 0;
    COMSTAT stat = {};
    if (!ClearCommError(port->handle, &errors, &stat)) {
        *systemError = GetLastError();
        return false;
    }
    *errorFlags = errors;
    *queued = stat.cbInQue + port->earlyCount;
    return true;
}

// The byte the wait read ahead first, then what the caller knows to be queued.
bool win32Read(SerialPort* port, uint8_t* buffer, uint32_t max, uint32_t* got,
               uint32_t* systemError) {
    uint32_t n = 0;
    if (max > 0 && port->earlyCount != 0) {
        buffer[n++] = port->early;
        port->earlyCount = 0;
    }
    if (n < max) {
        // What is queued comes at once; a read that does not is cancelled.
        OVERLAPPED& ov = port->readOv;
        ov = OVERLAPPED{};
        ov.hEvent = port->readEvent;
        const DWORD wanted = std::min<DWORD>(max - n, sizeof port->readBuffer);
        DWORD more = 0;
        if (!ReadFile(port->handle, port->readBuffer, wanted, nullptr, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                *systemError = GetLastError();
                return false;
            }
            if (!waitFor(port, &ov, kCancelWaitMs)) {
                *systemError = port->abandoned ? ERROR_GEN_FAILURE : ERROR_TIMEOUT;
                return false;
            }
        }
        if (!GetOverlappedResult(port->handle, &ov, &more, FALSE)) {
            *systemError = GetLastError();
            return false;
        }
        std::copy(port->readBuffer, port->readBuffer + more, buffer + n);
        n += more;
    }
    *got = n;
    return true;
}

// Writes the block and waits for it at most as long as its bytes take on the line and a
// margin: a stalled adapter (flow control held, a driver that hangs) fails the write
// instead of holding the link for ever.
bool win32Write(SerialPort* port, const uint8_t* bytes, uint32_t count, uint32_t* systemError) {
    if (port->abandoned || count > sizeof port->writeBuffer) {
        *systemError = ERROR_GEN_FAILURE;  // taken for a device that went away
        return false;
    }
    std::copy(bytes, bytes + count, port->writeBuffer);
    OVERLAPPED& ov = port->writeOv;
    ov = OVERLAPPED{};
    ov.hEvent = port->writeEvent;
    DWORD written = 0;
    if (!WriteFile(port->handle, port->writeBuffer, count, nullptr, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            *systemError = GetLastError();
            return false;
        }
        const DWORD limit =
            kWriteSlackMs + static_cast<DWORD>(uint64_t{count} * 10000 / port->baudRate);
        if (!waitFor(port, &ov, limit)) {
            *systemError = port->abandoned ? ERROR_GEN_FAILURE : ERROR_TIMEOUT;
            return false;
        }
    }
    if (!GetOverlappedResult(port->handle, &ov, &written, FALSE)) {
        *systemError = GetLastError();
        return false;
    }
    return true;
}

bool win32WaitForInput(SerialPort* port, uint32_t* systemError) {
    *systemError = 0;
    if (port->earlyCount != 0) {
        return true;
    }
    if (WaitForSingleObject(port->wakeEvent, 0) == WAIT_OBJECT_0) {
        return false;
    }
    OVERLAPPED& ov = port->waitOv;
    ov = OVERLAPPED{};
    ov.hEvent = port->readEvent;
    DWORD got = 0;
    if (!ReadFile(port->handle, &port->early, 1, nullptr, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            *systemError = GetLastError();
            return false;
        }
        HANDLE events[2] = {port->readEvent, port->wakeEvent};
        const DWORD which = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (which != WAIT_OBJECT_0) {
            *systemError = which == WAIT_FAILED ? GetLastError() : 0;
            CancelIoEx(port->handle, &ov);
            // The cancelled read ends at once on a sound driver; a hung one is not waited
            // for beyond a limit (the port is being closed or has gone).
            if (WaitForSingleObject(port->readEvent, kCancelWaitMs) != WAIT_OBJECT_0) {
                port->abandoned = true;
                *systemError = ERROR_GEN_FAILURE;
            } else if (GetOverlappedResult(port->handle, &ov, &got, FALSE) && got > 0) {
                port->earlyCount = 1;  // it came with the wake: dropped with the port
            }
            return false;
        }
    }
    if (!GetOverlappedResult(port->handle, &ov, &got, TRUE)) {
        *systemError = GetLastError();
        return false;
    }
    if (got == 0) {
        // Only the read's time-out of 49 days ends it without a byte; the link then looks
        // at the port now and then instead.
        *systemError = ERROR_HANDLE_EOF;
        return false;
    }
    port->earlyCount = 1;
    return true;
}

void win32DiscardInput(SerialPort* port) {
    PurgeComm(port->handle, PURGE_RXCLEAR);
    port->earlyCount = 0;
}

void win32Wake(SerialPort* port) {
    SetEvent(port->wakeEvent);
}

// What a vanished device leaves: on Windows, a USB adapter pulled out fails calls with
// access denied, an invalid handle, bad command, general failure, operation aborted or
// device not connected; under Wine a COM port whose pseudo-terminal closed fails them with
// not ready (the error query, writes) and broken pipe (reads).
bool win32DeviceGone(uint32_t systemError) {
    switch (systemError) {
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_HANDLE:
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_BROKEN_PIPE:
        case ERROR_OPERATION_ABORTED:
        case ERROR_DEVICE_NOT_CONNECTED:
            return true;
        default:
            return false;
    }
}

bool win32IsSerialPort(SerialPort* port) {
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    return GetCommState(port->handle, &dcb) != 0;
}

void win32ClearDtr(SerialPort* port) {
    EscapeCommFunction(port->handle, CLRDTR);
}

void win32Close(SerialPort* port) {
    closePort(port);
}

}  // namespace

SerialDriver platformSerialDriver() {
    SerialDriver d;
    d.open = win32Open;
    d.setupQueues = win32SetupQueues;
    d.configure = win32Configure;
    d.queryErrors = win32QueryErrors;
    d.read = win32Read;
    d.write = win32Write;
    d.waitForInput = win32WaitForInput;
    d.discardInput = win32DiscardInput;
    d.wake = win32Wake;
    d.deviceGone = win32DeviceGone;
    d.isSerialPort = win32IsSerialPort;
    d.clearDtr = win32ClearDtr;
    d.close = win32Close;
    return d;
}

}  // namespace vorda
