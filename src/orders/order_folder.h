// The orders' folder: "<data folder>/Zlecenia", where other programs drop order documents
// (*.json), with "przyjete" (taken in), "odrzucone" (refused, each beside "<name>.txt" with
// the reason) and "wyniki" (the results, "<id>.json") inside. Used from one thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "orders/order.h"
#include "settings/files.h"

namespace vorda {

class OrderFolder {
  public:
    explicit OrderFolder(std::string dataDirectory);

    std::string path() const;
    // Creates "Zlecenia" and the three folders inside when missing; false when one is not
    // there after.
    bool prepare();

    // The names of the *.json files (the extension in any case) directly in "Zlecenia",
    // oldest first (by modification time, then name).
    std::vector<std::string> pending() const;

    enum class Intake { Busy, Accepted, Refused, Gone };
    // Looks at one pending file. Busy, left where it is: another process holds it open
    // (Windows), its size or modification time changed since the last look, it is seen for
    // the first time and changed less than 2 s before `now`, or it cannot be read or moved
    // now. Accepted: a valid document, its orders (source Folder) in `orders`, the file left
    // where it is until settle() files it. Refused: moved to "odrzucone" with "<name>.txt"
    // beside it holding the reason (UTF-8 with a byte order mark, CR LF), the reason in
    // `why`. Gone: it vanished. A name taken in "przyjete" or "odrzucone" gets "-1", "-2",
    // ... before its extension.
    Intake takeIn(const std::string& name, int64_t now, std::vector<Order>* orders,
                  std::string* why);
    // Files an accepted file once its orders are kept: moved to "przyjete", or, with a
    // reason `refusal`, to "odrzucone" with the reason beside it. False when it could not
    // be moved (it stays, to be looked at again).
    bool settle(const std::string& name, const std::string& refusal = std::string());

    // "wyniki/<name>.json" with orderResultJson(order, ""), replaced in one step, the name
    // as orderFileName makes it; when another file of "wyniki" could be the same file on
    // Windows (its name differs only in case), the name gets the id's hash as well.
    bool writeResult(const Order& order);

  private:
    std::string directory_;
    mutable std::map<std::string, FileStatus> seen_;  // the last look at each pending file
};

// The id as a file name that is safe on Windows: the characters Windows does not allow in
// one (< > : " / \ | ? *), '~' and control characters become '_', a trailing space or dot
// becomes '_', and a name that Windows takes for a device (CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, COM1 to COM9, LPT1 to LPT9, in any case, before any dot and trailing spaces)
// gets a leading '_'. A name that differs so from the id gets '~' and eight hex digits of
// the id's hash, so that two ids never share one ("a/b": "a_b~3a8e75c1").
std::string orderFileName(const std::string& id);

}  // namespace vorda
