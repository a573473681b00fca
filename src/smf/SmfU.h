// The MIDI event model and the Standard MIDI File writer.
//
// An event is a small value (16 bytes) rather than a heap object: a long log makes
// millions of them. Each kind below stands for one event class of the design and writes
// exactly the bytes listed beside it (everything after the delta time; no running status):
//
//   kind            class                Status       bytes written by WriteTo
//   NoteOn          TSmfNoteOn           0x90 | ch    Status Note Velocity
//   NoteOff         TSmfNoteOff          0x80 | ch    Status Note 00
//   ProgramChange   TSmfProgramChange    0xC0 | ch    Status low-byte(Program)
//   ControlChange   TSmfControlChange    0xB0 | ch    Status Controller Value
//   PitchBendShort  TSmfPitchBendShort   0xE0 | ch    Status 00 clamp(Bend, 0, 127)
//   SysEx           TSmfSysEx            0xF0         F0 varlen(len) Data   (Data ends in F7)
//   Tempo           TSmfTempo (a meta)   0xF7         FF 51 varlen(3) tt tt tt
//
// An event whose Status is 0 is skipped by the writer. The variable-length byte data of
// SysEx and tempo events lives in the list (TSmf::DirectData), indexed by the event.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace varnhold {

enum class TSmfEventKind : std::uint8_t {
    NoteOn,
    NoteOff,
    ProgramChange,
    ControlChange,
    PitchBendShort,
    SysEx,
    Tempo,
};

struct TSmfEvent {
    std::int32_t Time = 0;  // absolute tick
    std::uint8_t Status = 0;
    TSmfEventKind Kind = TSmfEventKind::NoteOn;
    std::uint8_t Data1 = 0; // Note, Controller; MetaType (0x51) for Tempo
    std::uint8_t Data2 = 0; // Velocity, Value
    std::int32_t Value = 0; // Program, Bend, Bpm
    std::uint32_t Direct = 0; // index into TSmf::DirectData for SysEx and Tempo
};
static_assert(sizeof(TSmfEvent) == 16, "events are kept compact");

// Largest value a four-byte variable-length quantity holds.
inline constexpr std::uint32_t MaxVarLen = 0x0FFFFFFF;

// Appends Value (at most MaxVarLen) as a MIDI variable-length quantity; returns the count.
std::uint32_t WriteVarLen(std::vector<std::uint8_t>& Out, std::uint32_t Value);

class TSmf {
public:
    std::int32_t Division = 48; // ticks per quarter note, written into the header
    std::int32_t EndTime = 0;   // tick of the end-of-track event

    // The adding operations: each appends one event at the end and returns it.
    // Channel is OR-ed into the status byte without masking; data bytes are not masked.
    TSmfEvent& AddNoteOn(std::int32_t Time, std::uint8_t Channel, std::uint8_t Note,
                         std::uint8_t Velocity);
    TSmfEvent& AddNoteOff(std::int32_t Time, std::uint8_t Channel, std::uint8_t Note);
    TSmfEvent& AddProgramChange(std::int32_t Time, std::uint8_t Channel, std::uint8_t Program);
    TSmfEvent& AddControlChange(std::int32_t Time, std::uint8_t Channel, std::uint8_t Controller,
                                std::uint8_t Value);
    TSmfEvent& AddPitchBend(std::int32_t Time, std::uint8_t Channel, std::int32_t Bend);
    // Bpm is at least 1 (0 throws std::invalid_argument).
    TSmfEvent& AddTempo(std::int32_t Time, std::uint32_t Bpm);
    // Body is the message without the leading F0 and the closing F7.
    TSmfEvent& AddSysEx(std::int32_t Time, std::span<const std::uint8_t> Body);

    // Appends the bytes of Event (everything after its delta time); returns the count.
    std::uint32_t WriteTo(const TSmfEvent& Event, std::vector<std::uint8_t>& Out) const;

    std::size_t Count() const { return Events.size(); }
    const TSmfEvent& operator[](std::size_t Index) const { return Events[Index]; }
    TSmfEvent& operator[](std::size_t Index) { return Events[Index]; }
    const std::vector<TSmfEvent>& Items() const { return Events; }
    const std::vector<std::uint8_t>& DirectBytes(const TSmfEvent& Event) const {
        return DirectData[Event.Direct];
    }

    // Frees every event; Division and EndTime stay.
    void Clear();

    // Stable sort by ascending Time: events of equal time keep the order of addition.
    void SortByTime();

    // Sorts, then returns the whole format-0 file. Throws ELimitError when a delta time
    // does not fit a four-byte variable-length quantity.
    std::vector<std::uint8_t> BuildFile();

    // Writes the file built by BuildFile in one piece, replacing FileName atomically.
    // An empty list writes nothing. Throws EFileError (naming the file) or ELimitError;
    // either way an existing file keeps its content.
    void SaveToFile(const std::string& FileName);

private:
    std::vector<TSmfEvent> Events;
    std::vector<std::vector<std::uint8_t>> DirectData;
};

} // namespace varnhold
