// The program's display for the native tests: it records every call through the seam, from
// any thread, in order ("status POŁĄCZONY", "menu 1 0 1", "message Błąd otwarcia COM3 |
// Błąd", "light 87", "invalidate 450 112 600 167 0", "price 0 5.49", "blink 0 1",
// "startstop 1", "wait "). The last value of each ("status", "price 0", ...) is what the
// panel shows; the boxes the operator types into are the same fields.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "controller/display.h"

namespace vorda::test {

class FakeUi {
  public:
    DisplaySeam seam();
    PanelSeam panel();
    // Waits until `condition` holds (checked every few ms); false on time-out.
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) const;

    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
    void clearCalls();
    std::string status() const { return field("status"); }
    std::string lightLevel() const { return field("light"); }
    std::string priceText(int row) const { return field("price " + std::to_string(row)); }
    bool blinkChecked(int row) const { return field("blink " + std::to_string(row)) == "1"; }
    std::string temperature() const { return field("temperature"); }
    std::string menu() const { return field("menu"); }
    std::string trayTip() const { return field("tip"); }  // "1 0 1": "Połącz", "Rozłącz", "Test"
    std::vector<std::string> messages() const;            // "text | caption"

    // The operator's input.
    void setPriceBox(int row, const std::string& text) {
        set("price " + std::to_string(row), text);
    }
    void setBlinkBox(int row, bool checked) {
        set("blink " + std::to_string(row), checked ? "1" : "0");
    }
    void setControlFile(const std::string& path) { set("file", path); }
    void setTemperature(const std::string& text) { set("temperature", text); }

  private:
    std::string field(const std::string& name) const;
    void set(const std::string& name, const std::string& value);
    // A seam entry: the field's new value, and the call "name value".
    static void record(void* ui, const std::string& name, const std::string& value);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::map<std::string, std::string> fields_;
};

}  // namespace vorda::test
