#include "smf/SmfU.h"

#include "platform/ErrorsU.h"
#include "platform/FileUtilU.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>

namespace varnhold {

std::uint32_t WriteVarLen(std::vector<std::uint8_t>& Out, std::uint32_t Value) {
    // Seven bits per byte, most significant group first, bit 7 set on all but the last.
    std::uint8_t Groups[5];
    std::uint32_t Count = 0;
    Groups[Count++] = static_cast<std::uint8_t>(Value & 0x7F);
    while ((Value >>= 7) != 0)
        Groups[Count++] = static_cast<std::uint8_t>((Value & 0x7F) | 0x80);
    for (std::uint32_t I = Count; I > 0; --I)
        Out.push_back(Groups[I - 1]);
    return Count;
}

namespace {

std::uint32_t Write2(std::vector<std::uint8_t>& Out, std::uint8_t A, std::uint8_t B) {
    Out.push_back(A);
    Out.push_back(B);
    return 2;
}

std::uint32_t Write3(std::vector<std::uint8_t>& Out, std::uint8_t A, std::uint8_t B,
                     std::uint8_t C) {
    Out.push_back(A);
    Out.push_back(B);
    Out.push_back(C);
    return 3;
}

void WriteBigEndian32(std::uint8_t* At, std::uint32_t Value) {
    At[0] = static_cast<std::uint8_t>(Value >> 24);
    At[1] = static_cast<std::uint8_t>(Value >> 16);
    At[2] = static_cast<std::uint8_t>(Value >> 8);
    At[3] = static_cast<std::uint8_t>(Value);
}

TSmfEvent MakeEvent(std::int32_t Time, std::uint8_t Status, TSmfEventKind Kind) {
    TSmfEvent Event;
    Event.Time = Time;
    Event.Status = Status;
    Event.Kind = Kind;
    return Event;
}

// The ordering rule of the writer: the right element goes first only when the 32-bit
// (wrapping) difference of the times is positive.
bool RightGoesFirst(const TSmfEvent& L, const TSmfEvent& R) {
    const auto Difference = static_cast<std::int32_t>(static_cast<std::uint32_t>(L.Time) -
                                                      static_cast<std::uint32_t>(R.Time));
    return Difference > 0;
}

// Top-down merge sort with that rule, for lists whose times span 2^31 ticks or more, where
// the wrapping difference is no longer an order and only this exact procedure says what
// the result is.
void MergeSort(TSmfEventStore& Items, std::vector<TSmfEvent>& Left, std::size_t Lo,
               std::size_t Hi) {
    if (Lo >= Hi) return;
    const std::size_t Mid = Lo + (Hi - Lo) / 2;
    MergeSort(Items, Left, Lo, Mid);
    MergeSort(Items, Left, Mid + 1, Hi);
    const std::size_t LeftCount = Mid - Lo + 1;
    std::copy(Items.begin() + static_cast<std::ptrdiff_t>(Lo),
              Items.begin() + static_cast<std::ptrdiff_t>(Mid + 1), Left.begin());
    std::size_t I = 0, J = Mid + 1, K = Lo;
    while (I < LeftCount && J <= Hi) {
        if (RightGoesFirst(Left[I], Items[J]))
            Items[K++] = Items[J++];
        else
            Items[K++] = Left[I++];
    }
    while (I < LeftCount)
        Items[K++] = Left[I++];
}

// Events are mostly added in time order, and the few that are not (a note off stamped a
// tick ahead) lie a short way from their place. Insertion moves each late event back past
// those few, stable and without a second buffer. Returns false, with the list stably permuted but
// unsorted, when it has done more than MaxMoves moves: the list is far from order.
bool InsertionSort(TSmfEventStore& Items, std::size_t MaxMoves) {
    std::size_t Moves = 0;
    for (std::size_t I = 1; I < Items.size(); ++I) {
        if (!(Items[I].Time < Items[I - 1].Time)) continue;
        const TSmfEvent Item = Items[I];
        std::size_t J = I;
        do {
            Items[J] = Items[J - 1];
            --J;
        } while (J > 0 && Item.Time < Items[J - 1].Time);
        Items[J] = Item;
        Moves += I - J;
        if (Moves > MaxMoves) return false;
    }
    return true;
}

} // namespace

TSmfEvent& TSmf::AddNoteOn(std::int32_t Time, std::uint8_t Channel, std::uint8_t Note,
                           std::uint8_t Velocity) {
    TSmfEvent Event = MakeEvent(Time, 0x90 | Channel, TSmfEventKind::NoteOn);
    Event.Data1 = Note;
    Event.Data2 = Velocity;
    return Events.emplace_back(Event);
}

TSmfEvent& TSmf::AddNoteOff(std::int32_t Time, std::uint8_t Channel, std::uint8_t Note) {
    TSmfEvent Event = MakeEvent(Time, 0x80 | Channel, TSmfEventKind::NoteOff);
    Event.Data1 = Note;
    Event.Data2 = 0;
    return Events.emplace_back(Event);
}

TSmfEvent& TSmf::AddProgramChange(std::int32_t Time, std::uint8_t Channel, std::uint8_t Program) {
    TSmfEvent Event = MakeEvent(Time, 0xC0 | Channel, TSmfEventKind::ProgramChange);
    Event.Value = Program;
    return Events.emplace_back(Event);
}

TSmfEvent& TSmf::AddControlChange(std::int32_t Time, std::uint8_t Channel, std::uint8_t Controller,
                                  std::uint8_t Value) {
    TSmfEvent Event = MakeEvent(Time, 0xB0 | Channel, TSmfEventKind::ControlChange);
    Event.Data1 = Controller;
    Event.Data2 = Value;
    return Events.emplace_back(Event);
}

TSmfEvent& TSmf::AddPitchBend(std::int32_t Time, std::uint8_t Channel, std::int32_t Bend) {
    // Kept as given; the writer clamps.
    TSmfEvent Event = MakeEvent(Time, 0xE0 | Channel, TSmfEventKind::PitchBendShort);
    Event.Value = Bend;
    return Events.emplace_back(Event);
}

TSmfEvent& TSmf::AddTempo(std::int32_t Time, std::uint32_t Bpm) {
    if (Bpm == 0)
        throw std::invalid_argument("a tempo of 0 quarter notes per minute has no duration");
    const std::uint32_t Microseconds = 60000000u / Bpm;
    TSmfEvent Event = MakeEvent(Time, 0xF7, TSmfEventKind::Tempo);
    Event.Data1 = 0x51;
    Event.Value = static_cast<std::int32_t>(Bpm);
    Event.Direct = static_cast<std::uint32_t>(DirectData.size());
    DirectData.push_back({static_cast<std::uint8_t>(Microseconds >> 16),
                          static_cast<std::uint8_t>(Microseconds >> 8),
                          static_cast<std::uint8_t>(Microseconds)});
    return Events.emplace_back(Event);
}

TSmfEvent& TSmf::AddSysEx(std::int32_t Time, std::span<const std::uint8_t> Body) {
    TSmfEvent Event = MakeEvent(Time, 0xF0, TSmfEventKind::SysEx);
    Event.Direct = static_cast<std::uint32_t>(DirectData.size());
    std::vector<std::uint8_t> Data;
    Data.reserve(Body.size() + 1);
    Data.assign(Body.begin(), Body.end());
    Data.push_back(0xF7);
    DirectData.push_back(std::move(Data));
    return Events.emplace_back(Event);
}

std::uint32_t TSmf::WriteTo(const TSmfEvent& Event, std::vector<std::uint8_t>& Out) const {
    switch (Event.Kind) {
    case TSmfEventKind::NoteOn:
    case TSmfEventKind::NoteOff:
    case TSmfEventKind::ControlChange: return Write3(Out, Event.Status, Event.Data1, Event.Data2);
    case TSmfEventKind::ProgramChange:
        return Write2(Out, Event.Status, static_cast<std::uint8_t>(Event.Value));
    case TSmfEventKind::PitchBendShort: {
        // Only the coarse seven bits are sent; the fine part is always 0.
        const std::int32_t Bend =
            std::max<std::int32_t>(std::min<std::int32_t>(Event.Value, 127), 0);
        return Write3(Out, Event.Status, 0x00, static_cast<std::uint8_t>(Bend));
    }
    case TSmfEventKind::SysEx: {
        const auto& Data = DirectBytes(Event);
        Out.push_back(0xF0);
        const std::uint32_t Length = WriteVarLen(Out, static_cast<std::uint32_t>(Data.size()));
        Out.insert(Out.end(), Data.begin(), Data.end());
        return 1 + Length + static_cast<std::uint32_t>(Data.size());
    }
    case TSmfEventKind::Tempo: {
        const auto& Data = DirectBytes(Event);
        Out.push_back(0xFF);
        Out.push_back(Event.Data1);
        const std::uint32_t Length = WriteVarLen(Out, static_cast<std::uint32_t>(Data.size()));
        Out.insert(Out.end(), Data.begin(), Data.end());
        return 2 + Length + static_cast<std::uint32_t>(Data.size());
    }
    }
    return 0;
}

void TSmf::Clear() {
    // Release the storage too: a long conversion leaves millions of events behind.
    Events.clear();
    std::vector<std::vector<std::uint8_t>>().swap(DirectData);
}

void TSmf::SortByTime() {
    if (Events.size() < 2) return;
    // One pass: already in order (the usual case, events are added as time goes on)?
    bool Sorted = true;
    std::int32_t Min = Events.front().Time, Max = Min;
    for (std::size_t I = 1; I < Events.size(); ++I) {
        const std::int32_t Time = Events[I].Time;
        if (Time < Events[I - 1].Time) Sorted = false;
        Min = std::min(Min, Time);
        Max = std::max(Max, Time);
    }
    // Within a span below 2^31 the wrapping difference orders exactly like the times, and
    // any stable sort gives the merge sort's result.
    if (static_cast<std::int64_t>(Max) - Min <= std::numeric_limits<std::int32_t>::max()) {
        // Insertion keeps equal times in their order, so the library's stable sort after an
        // abandoned insertion gives the same result as on the list as it was added.
        if (!Sorted && !InsertionSort(Events, 4 * Events.size()))
            std::stable_sort(
                Events.begin(), Events.end(),
                [](const TSmfEvent& A, const TSmfEvent& B) { return A.Time < B.Time; });
        return;
    }
    std::vector<TSmfEvent> Left(Events.size() / 2 + 1);
    MergeSort(Events, Left, 0, Events.size() - 1);
}

std::vector<std::uint8_t> TSmf::BuildFile() {
    SortByTime();

    std::size_t Estimate = 22 + 4 + 5 * Events.size();
    for (const auto& Data : DirectData)
        Estimate += Data.size() + 4;
    std::vector<std::uint8_t> Out;
    Out.reserve(Estimate);

    const std::uint8_t Header[] = {'M',
                                   'T',
                                   'h',
                                   'd',
                                   0,
                                   0,
                                   0,
                                   6,
                                   0,
                                   0,
                                   0,
                                   1,
                                   static_cast<std::uint8_t>(Division >> 8),
                                   static_cast<std::uint8_t>(Division)};
    const std::uint8_t TrackHeader[] = {'M', 'T', 'r', 'k', 0, 0, 0, 0};
    // Byte by byte: GCC 12 at -O3 misreads a range insert into the reserved buffer.
    for (const std::uint8_t B : Header)
        Out.push_back(B);
    for (const std::uint8_t B : TrackHeader)
        Out.push_back(B);
    const std::size_t LengthAt = Out.size() - 4;

    // A delta beyond four bytes of variable-length quantity would make a corrupt file.
    const auto Delta = [](std::int64_t To, std::int64_t From, const char* What) {
        const std::int64_t Ticks = std::max<std::int64_t>(0, To - From);
        if (Ticks > MaxVarLen)
            throw ELimitError(std::string(What) + " at tick " + std::to_string(To) + " is " +
                              std::to_string(Ticks) + " ticks after tick " + std::to_string(From) +
                              ": a MIDI delta time holds at most " + std::to_string(MaxVarLen) +
                              " ticks");
        return static_cast<std::uint32_t>(Ticks);
    };

    std::int32_t Previous = 0;
    for (const auto& Event : Events) {
        if (Event.Status == 0) continue;
        WriteVarLen(Out, Delta(Event.Time, Previous, "a MIDI event"));
        Previous = std::max<std::int32_t>(0, Event.Time);
        WriteTo(Event, Out);
    }
    WriteVarLen(Out, Delta(EndTime, Previous, "the end of the track"));
    Write3(Out, 0xFF, 0x2F, 0x00);

    const std::size_t TrackLength = Out.size() - (LengthAt + 4);
    if (TrackLength > std::numeric_limits<std::uint32_t>::max())
        throw ELimitError("the MIDI track is " + std::to_string(TrackLength) +
                          " bytes long; a track holds at most 4294967295 bytes");
    WriteBigEndian32(Out.data() + LengthAt, static_cast<std::uint32_t>(TrackLength));
    return Out;
}

void TSmf::SaveToFile(const std::string& FileName) {
    if (Events.empty()) return;
    const std::vector<std::uint8_t> File = BuildFile();
    SaveFileAtomically(FileName, File.data(), File.size());
}

} // namespace varnhold
