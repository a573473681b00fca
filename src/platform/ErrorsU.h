// Errors of the platform and of the conversion's own limits.
//
// Errors of the input file are not exceptions: the check returns -1 and a message.
// What is thrown here is what the user cannot fix by choosing another option: a file that
// cannot be opened or created, a register write to a device that has no chip model, or a
// log longer than a MIDI file can hold. Every message names the file or the device.
#pragma once

#include <stdexcept>
#include <string>

namespace varnhold {

class EVarnholdError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be opened, read, created or written.
class EFileError : public EVarnholdError {
public:
    using EVarnholdError::EVarnholdError;
};

// An index beyond the end of an owning list, e.g. a register write to a device number
// that has no chip model.
class EListIndexError : public EVarnholdError {
public:
    using EVarnholdError::EVarnholdError;
};

// The log needs a tick or a delta time that a MIDI file cannot hold.
class ELimitError : public EVarnholdError {
public:
    using EVarnholdError::EVarnholdError;
};

} // namespace varnhold
