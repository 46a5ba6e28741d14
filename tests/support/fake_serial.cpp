#include "support/fake_serial.h"

namespace vorda::test {

namespace {

// The driver's own port record; the core only ever holds it as an opaque pointer.
struct FakePort {
    FakeSerial* serial;
    bool woken = false;  // under the serial's mutex
};

FakeSerial* of(SerialPort* p) {
    return reinterpret_cast<FakePort*>(p)->serial;
}

}  // namespace

SerialDriver FakeSerial::driver() {
    SerialDriver d;
    d.context = this;
    d.open = [](void* c, const std::string& comName, int number, OpenError* error,
                uint32_t* systemError) -> SerialPort* {
        auto* s = static_cast<FakeSerial*>(c);
        std::lock_guard<std::mutex> lock(s->mutex);
        s->opened.push_back(comName + std::to_string(number));
        *error = s->openError;
        if (s->openError != OpenError::None) {
            *systemError = 2;
            return nullptr;
        }
        s->openPorts++;
        return reinterpret_cast<SerialPort*>(new FakePort{s, false});
    };
    d.setupQueues = [](SerialPort*, uint32_t, uint32_t) {};
    d.configure = [](SerialPort* p, const SerialSettings& settings) {
        std::lock_guard<std::mutex> lock(of(p)->mutex);
        of(p)->configured.push_back(settings);
        return !of(p)->refuseSettings;
    };
    d.queryErrors = [](SerialPort* p, uint32_t* flags, uint32_t* queued, uint32_t* systemError) {
        FakeSerial* s = of(p);
        std::lock_guard<std::mutex> lock(s->mutex);
        if (s->queryError != 0) {
            *systemError = s->queryError;
            return false;
        }
        *flags = s->commFlags;
        s->commFlags = 0;
        *queued = static_cast<uint32_t>(s->incoming.size());
        return true;
    };
    d.read = [](SerialPort* p, uint8_t* buffer, uint32_t max, uint32_t* got,
                uint32_t* systemError) {
        FakeSerial* s = of(p);
        std::lock_guard<std::mutex> lock(s->mutex);
        if (s->readError != 0) {
            *systemError = s->readError;
            return false;
        }
        uint32_t n = 0;
        while (n < max && !s->incoming.empty()) {
            buffer[n++] = s->incoming.front();
            s->incoming.pop_front();
        }
        *got = n;
        return true;
    };
    d.write = [](SerialPort* p, const uint8_t* bytes, uint32_t count, uint32_t* systemError) {
        FakeSerial* s = of(p);
        std::lock_guard<std::mutex> lock(s->mutex);
        s->writes.emplace_back(reinterpret_cast<const char*>(bytes), count);
        if (s->writeError != 0) {
            *systemError = s->writeError;
            return false;
        }
        if (s->answer && count >= 4) {
            const std::string reply = s->answer(s->writes.back().substr(1, count - 4));
            s->incoming.insert(s->incoming.end(), reply.begin(), reply.end());
            s->changed.notify_all();
        }
        return true;
    };
    d.waitForInput = [](SerialPort* p, uint32_t* systemError) {
        FakePort* port = reinterpret_cast<FakePort*>(p);
        FakeSerial* s = port->serial;
        std::unique_lock<std::mutex> lock(s->mutex);
        s->changed.wait(lock,
                        [&] { return port->woken || s->waitError != 0 || !s->incoming.empty(); });
        *systemError = port->woken ? 0 : s->waitError;
        return !port->woken && s->waitError == 0;
    };
    d.wake = [](SerialPort* p) {
        std::lock_guard<std::mutex> lock(of(p)->mutex);
        reinterpret_cast<FakePort*>(p)->woken = true;
        of(p)->changed.notify_all();
    };
    d.deviceGone = [](uint32_t code) { return code == kGone; };
    d.isSerialPort = [](SerialPort* p) {
        std::lock_guard<std::mutex> lock(of(p)->mutex);
        return !of(p)->notSerial;
    };
    d.clearDtr = [](SerialPort* p) {
        std::lock_guard<std::mutex> lock(of(p)->mutex);
        of(p)->dtrClears++;
    };
    d.close = [](SerialPort* p) {
        {
            std::lock_guard<std::mutex> lock(of(p)->mutex);
            of(p)->closes++;
            of(p)->openPorts--;
        }
        delete reinterpret_cast<FakePort*>(p);
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
