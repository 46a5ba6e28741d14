#include "support/fake_serial.h"

#include <utility>

namespace vorda::test {

namespace {

// The driver's own port record; the core only ever holds it as an opaque pointer.
struct FakePort {
    FakeSerial* serial;
    bool woken = false;  // under the serial's mutex
};

FakePort* port(SerialPort* p) {
    return reinterpret_cast<FakePort*>(p);
}

// A port's serial, locked while the call lasts.
struct Locked {
    explicit Locked(SerialPort* p) : s(port(p)->serial), lock(s->mutex) {}
    FakeSerial* operator->() const { return s; }
    FakeSerial* s;
    std::unique_lock<std::mutex> lock;
};

// Whether a call fails with the system error `code` (0: it succeeds).
bool fails(uint32_t code, uint32_t* systemError) {
    *systemError = code;
    return code != 0;
}

}  // namespace

SerialDriver FakeSerial::driver() {
    SerialDriver d;
    d.context = this;
    d.open = [](void* c, const std::string& comName, int number, OpenError* error,
                uint32_t* systemError) -> SerialPort* {
        auto* s = static_cast<FakeSerial*>(c);
        if (s->onOpen) {
            s->onOpen();
        }
        std::lock_guard<std::mutex> lock(s->mutex);
        s->opened.push_back(comName + std::to_string(number));
        *error = s->openError;
        if (fails(s->openError != OpenError::None ? 2 : 0, systemError)) {
            return nullptr;
        }
        s->openPorts++;
        return reinterpret_cast<SerialPort*>(new FakePort{s, false});
    };
    d.setupQueues = [](SerialPort*, uint32_t, uint32_t) {};
    d.configure = [](SerialPort* p, const SerialSettings& settings) {
        Locked s(p);
        s->configured.push_back(settings);
        return !s->refuseSettings;
    };
    d.queryErrors = [](SerialPort* p, uint32_t* flags, uint32_t* queued, uint32_t* systemError) {
        Locked s(p);
        if (fails(s->queryError, systemError)) {
            return false;
        }
        *flags = std::exchange(s->commFlags, 0u);
        *queued = static_cast<uint32_t>(s->incoming.size());
        return true;
    };
    d.read = [](SerialPort* p, uint8_t* buffer, uint32_t max, uint32_t* got,
                uint32_t* systemError) {
        Locked s(p);
        for (*got = 0; s->readError == 0 && *got < max && !s->incoming.empty(); ++*got) {
            buffer[*got] = s->incoming.front();
            s->incoming.pop_front();
        }
        return !fails(s->readError, systemError);
    };
    d.write = [](SerialPort* p, const uint8_t* bytes, uint32_t count, uint32_t* systemError) {
        Locked s(p);
        s->writes.emplace_back(reinterpret_cast<const char*>(bytes), count);
        if (s->writeError == 0 && s->answer && count >= 4) {
            const std::string reply = s->answer(s->writes.back().substr(1, count - 4));
            s->incoming.insert(s->incoming.end(), reply.begin(), reply.end());
            s->changed.notify_all();
        }
        return !fails(s->writeError, systemError);
    };
    d.waitForInput = [](SerialPort* p, uint32_t* systemError) {
        Locked s(p);
        s->changed.wait(
            s.lock, [&] { return port(p)->woken || s->waitError != 0 || !s->incoming.empty(); });
        return !fails(port(p)->woken ? 0 : s->waitError, systemError) && !port(p)->woken;
    };
    d.wake = [](SerialPort* p) {
        Locked s(p);
        port(p)->woken = true;
        s->changed.notify_all();
    };
    d.discardInput = [](SerialPort* p) {
        Locked s(p);
        s->incoming.clear();
        s->discards++;
    };
    d.deviceGone = [](uint32_t code) { return code == kGone; };
    d.isSerialPort = [](SerialPort* p) { return !Locked(p)->notSerial; };
    d.clearDtr = [](SerialPort* p) { Locked(p)->dtrClears++; };
    d.close = [](SerialPort* p) {
        {
            Locked s(p);
            s->closes++;
            s->openPorts--;
        }
        delete port(p);
    };
    return d;
}

void FakeSerial::receive(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex);
    incoming.insert(incoming.end(), bytes.begin(), bytes.end());
    changed.notify_all();
}

void FakeSerial::failWaits(uint32_t code) {
    std::lock_guard<std::mutex> lock(mutex);
    waitError = code;
    changed.notify_all();
}

}  // namespace vorda::test
