// The serial seam on Windows: a COM port opened as "\\.\COM<n>".
#include <windows.h>

#include <cstdio>

#include "engine/serial_driver.h"

namespace vorda {

struct SerialPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

SerialPort* win32Open(void*, const std::string& comName, int number, OpenError* error,
                      uint32_t* systemError) {
    char path[64];
    std::snprintf(path, sizeof path, "\\\\.\\%s%d", comName.c_str(), number);
    HANDLE h =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *systemError = code;
        *error = code == ERROR_ACCESS_DENIED ? OpenError::AccessDenied
                 : code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                     ? OpenError::NotFound
                     : OpenError::Other;
        return nullptr;
    }
    *error = OpenError::None;
    return new SerialPort{h};
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
    *queued = stat.cbInQue;
    return true;
}

bool win32Read(SerialPort* port, uint8_t* buffer, uint32_t max, uint32_t* got,
               uint32_t* systemError) {
    DWORD n = 0;
    if (!ReadFile(port->handle, buffer, max, &n, nullptr)) {
        *systemError = GetLastError();
        return false;
    }
    *got = n;
    return true;
}

bool win32Write(SerialPort* port, const uint8_t* bytes, uint32_t count, uint32_t* systemError) {
    DWORD written = 0;
    if (!WriteFile(port->handle, bytes, count, &written, nullptr)) {
        *systemError = GetLastError();
        return false;
    }
    return true;
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
    CloseHandle(port->handle);
    delete port;
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
    d.isSerialPort = win32IsSerialPort;
    d.clearDtr = win32ClearDtr;
    d.close = win32Close;
    return d;
}

}  // namespace vorda
