// Whole conversions for end-to-end tests: a composed log in, the MIDI file's lines out.
#pragma once

#include <string>
#include <vector>

#include "S98Builder.h"
#include "support/TestSupport.h"

namespace varnhold::test {

// Saves Log as Dir/Name.s98 and converts it with the default options, with no "debug.txt"
// beside the program; returns the lines of Dir/Name.mid. Throws std::runtime_error with
// the result text when the log is rejected.
std::vector<std::string> ConvertLog(const tools::TS98Builder& Log, const TTempDir& Dir,
                                    const std::string& Name);

// The lines after the default tick-0 start of a converted file; throws std::runtime_error
// when the file does not begin with that start.
std::vector<std::string> EventsAfterDefaultStart(const std::vector<std::string>& Lines);

} // namespace varnhold::test
