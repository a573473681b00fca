#include "JobTestUtil.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace varnhold::test {

namespace {

std::uint32_t ReadVarLen(const std::vector<std::uint8_t>& B, std::size_t& Pos) {
    std::uint32_t Value = 0;
    for (int i = 0; i < 4 && Pos < B.size(); ++i) {
        const std::uint8_t Byte = B[Pos++];
        Value = (Value << 7) | (Byte & 0x7F);
        if (!(Byte & 0x80)) return Value;
    }
    ADD_FAILURE() << "variable-length quantity longer than four bytes or cut off";
    return Value;
}

} // namespace

std::vector<TMidiEvent> ReadMidiEvents(const std::string& FileName) {
    const std::vector<std::uint8_t> B = ReadFileBytes(FileName);
    std::vector<TMidiEvent> Events;
    if (B.size() < 22 || std::string(B.begin(), B.begin() + 4) != "MThd" ||
        std::string(B.begin() + 14, B.begin() + 18) != "MTrk") {
        ADD_FAILURE() << FileName << " is not a one-track MIDI file";
        return Events;
    }
    std::size_t Pos = 22;
    std::int64_t Tick = 0;
    while (Pos < B.size()) {
        Tick += ReadVarLen(B, Pos);
        TMidiEvent Event{Tick, {}};
        const std::size_t Start = Pos;
        const std::uint8_t Status = B.at(Pos++);
        if (Status == 0xFF) {
            Pos += 1;
            const std::uint32_t Length = ReadVarLen(B, Pos);
            Pos += Length;
        } else if (Status == 0xF0) {
            const std::uint32_t Length = ReadVarLen(B, Pos);
            Pos += Length;
        } else if ((Status & 0xF0) == 0xC0 || (Status & 0xF0) == 0xD0) {
            Pos += 1;
        } else if (Status & 0x80) {
            Pos += 2;
        } else {
            ADD_FAILURE() << "running status or data byte at offset " << Start;
            return Events;
        }
        if (Pos > B.size()) {
            ADD_FAILURE() << "event cut off at offset " << Start;
            return Events;
        }
        Event.Bytes.assign(B.begin() + static_cast<std::ptrdiff_t>(Start),
                           B.begin() + static_cast<std::ptrdiff_t>(Pos));
        Events.push_back(std::move(Event));
    }
    return Events;
}

std::int64_t EndOfTrackTick(const std::string& FileName) {
    const auto Events = ReadMidiEvents(FileName);
    if (Events.empty() || Events.back().Bytes != std::vector<std::uint8_t>{0xFF, 0x2F, 0x00}) {
        ADD_FAILURE() << FileName << " does not end with an end-of-track event";
        return -1;
    }
    return Events.back().Tick;
}

} // namespace varnhold::test
