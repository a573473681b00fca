// Helpers shared by the job tests: streams from composed logs and a reader of the MIDI
// files a conversion writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "S98Builder.h"
#include "platform/MemoryStreamU.h"

namespace varnhold::test {

inline TMemoryStream StreamOf(const std::vector<std::uint8_t>& Bytes) {
    TMemoryStream Stream;
    Stream.Buffer() = Bytes;
    return Stream;
}

inline TMemoryStream StreamOf(const tools::TS98Builder& Builder) {
    return StreamOf(Builder.Build());
}

struct TMidiEvent {
    std::int64_t Tick = 0;
    std::vector<std::uint8_t> Bytes; // status and data, as written
};

// The events of the single track of a format-0 file, end of track included; fails the
// running test on a malformed file.
std::vector<TMidiEvent> ReadMidiEvents(const std::string& FileName);

// The tick of the end-of-track event.
std::int64_t EndOfTrackTick(const std::string& FileName);

} // namespace varnhold::test
