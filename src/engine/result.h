// What an engine or controller operation that can fail reports: one value for every
// failure, which the controller turns into what the operator is told.
#pragma once

namespace vorda {

enum class Result {
    Ok,
    PortMissing,  // the port could not be opened (absent, in use, not a serial port)
    PortRefused,  // the port opened but refused its settings
    FileMissing,  // a file to read could not be opened (or no name was given)
    NoThread,     // a thread could not be started
};

}  // namespace vorda
