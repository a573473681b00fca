#include "smf/SmfU.h"

#include "platform/ErrorsU.h"
#include "platform/FileUtilU.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>

namespace varnhold {

namespace {

// Bytes of Value as a variable-length quantity: seven bits per byte.
std::uint32_t VarLenSize(std::uint32_t Value) {
    std::uint32_t Count = 1;
    while ((Value >>= 7) != 0)
        ++Count;
    return Count;
}

// Writes Value at P, most significant group first, bit 7 set on all but the last byte;
// returns the position after it.
std::uint8_t* PutVarLen(std::uint8_t* P, std::uint32_t Value) {
    const std::uint32_t Count = VarLenSize(Value);
    for (std::uint32_t I = Count; I > 0; --I) {
        P[I - 1] = static_cast<std::uint8_t>((Value & 0x7F) | (I == Count ? 0 : 0x80));
        Value >>= 7;
    }
    return P + Count;
}

} // namespace

std::uint32_t WriteVarLen(std::vector<std::uint8_t>& Out, std::uint32_t Value) {
    const std::uint32_t Count = VarLenSize(Value);
    const std::size_t At = Out.size();
    Out.resize(At + Count);
    PutVarLen(Out.data() + At, Value);
    return Count;
}

namespace {

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

// The bytes of an event after its delta time, as the table in the header lists them: how
// many, and writing them at P (returning the position after them). Unknown kinds write
// nothing.
std::uint32_t EncodedSize(const TSmf& Smf, const TSmfEvent& Event) {
    switch (Event.Kind) {
    case TSmfEventKind::NoteOn:
    case TSmfEventKind::NoteOff:
    case TSmfEventKind::ControlChange:
    case TSmfEventKind::PitchBendShort: return 3;
    case TSmfEventKind::ProgramChange: return 2;
    case TSmfEventKind::SysEx:
    case TSmfEventKind::Tempo: {
        const auto Length = static_cast<std::uint32_t>(Smf.DirectBytes(Event).size());
        return (Event.Kind == TSmfEventKind::SysEx ? 1 : 2) + VarLenSize(Length) + Length;
    }
    }
    return 0;
}

std::uint8_t* Encode(const TSmf& Smf, const TSmfEvent& Event, std::uint8_t* P) {
    switch (Event.Kind) {
    case TSmfEventKind::NoteOn:
    case TSmfEventKind::NoteOff:
    case TSmfEventKind::ControlChange:
        P[0] = Event.Status;
        P[1] = Event.Data1;
        P[2] = Event.Data2;
        return P + 3;
    case TSmfEventKind::ProgramChange:
        P[0] = Event.Status;
        P[1] = static_cast<std::uint8_t>(Event.Value);
        return P + 2;
    case TSmfEventKind::PitchBendShort:
        // Only the coarse seven bits are sent; the fine part is always 0.
        P[0] = Event.Status;
        P[1] = 0x00;
        P[2] = static_cast<std::uint8_t>(
            std::max<std::int32_t>(std::min<std::int32_t>(Event.Value, 127), 0));
        return P + 3;
    case TSmfEventKind::SysEx:
    case TSmfEventKind::Tempo: {
        const auto& Data = Smf.DirectBytes(Event);
        if (Event.Kind == TSmfEventKind::SysEx) {
            *P++ = 0xF0;
        } else {
            *P++ = 0xFF;
            *P++ = Event.Data1;
        }
        P = PutVarLen(P, static_cast<std::uint32_t>(Data.size()));
        return std::copy(Data.begin(), Data.end(), P);
    }
    }
    return P;
}

[[noreturn]] void FailDelta(const char* What, std::int64_t To, std::int64_t From,
                            std::int64_t Ticks) {
    throw ELimitError(std::string(What) + " at tick " + std::to_string(To) + " is " +
                      std::to_string(Ticks) + " ticks after tick " + std::to_string(From) +
                      ": a MIDI delta time holds at most " + std::to_string(MaxVarLen) + " ticks");
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
    const std::uint32_t Count = EncodedSize(*this, Event);
    const std::size_t At = Out.size();
    Out.resize(At + Count);
    Encode(*this, Event, Out.data() + At);
    return Count;
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
    std::int32_t Min = Events.front().Time, Max = Min, Last = Min;
    Events.ForEach([&](const TSmfEvent& Event) {
        const std::int32_t Time = Event.Time;
        if (Time < Last) Sorted = false;
        Last = Time;
        Min = std::min(Min, Time);
        Max = std::max(Max, Time);
    });
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

    // A delta beyond four bytes of variable-length quantity would make a corrupt file.
    const auto Delta = [](std::int64_t To, std::int64_t From, const char* What) {
        const std::int64_t Ticks = std::max<std::int64_t>(0, To - From);
        if (Ticks > MaxVarLen) [[unlikely]]
            FailDelta(What, To, From, Ticks);
        return static_cast<std::uint32_t>(Ticks);
    };

    // Two passes: the exact size (checking every delta), then the bytes into a buffer of
    // that size, with no check per byte and nothing reserved that is not written.
    std::uint64_t TrackLength = 0;
    std::int32_t Previous = 0;
    Events.ForEach([&](const TSmfEvent& Event) {
        if (Event.Status == 0) return;
        TrackLength += VarLenSize(Delta(Event.Time, Previous, "a MIDI event"));
        TrackLength += EncodedSize(*this, Event);
        Previous = std::max<std::int32_t>(0, Event.Time);
    });
    const std::uint32_t EndDelta = Delta(EndTime, Previous, "the end of the track");
    constexpr std::uint8_t EndOfTrack[] = {0xFF, 0x2F, 0x00};
    TrackLength += VarLenSize(EndDelta) + sizeof EndOfTrack;
    if (TrackLength > std::numeric_limits<std::uint32_t>::max())
        throw ELimitError("the MIDI track is " + std::to_string(TrackLength) +
                          " bytes long; a track holds at most 4294967295 bytes");

    // clang-format off
    const std::uint8_t Header[] = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6,                 // header chunk of 6 bytes
        0, 0, 0, 1,                                     // format 0, one track
        static_cast<std::uint8_t>(Division >> 8), static_cast<std::uint8_t>(Division),
        'M', 'T', 'r', 'k'};
    // clang-format on
    std::vector<std::uint8_t> Out(sizeof Header + 4 + static_cast<std::size_t>(TrackLength));
    std::uint8_t* P = std::copy(std::begin(Header), std::end(Header), Out.data());
    WriteBigEndian32(P, static_cast<std::uint32_t>(TrackLength));
    P += 4;

    Previous = 0;
    Events.ForEach([&](const TSmfEvent& Event) {
        if (Event.Status == 0) return;
        P = PutVarLen(P, Delta(Event.Time, Previous, "a MIDI event"));
        Previous = std::max<std::int32_t>(0, Event.Time);
        P = Encode(*this, Event, P);
    });
    P = PutVarLen(P, EndDelta);
    std::copy(std::begin(EndOfTrack), std::end(EndOfTrack), P);
    return Out;
}

void TSmf::SaveToFile(const std::string& FileName) {
    if (Events.empty()) return;
    const std::vector<std::uint8_t> File = BuildFile();
    SaveFileAtomically(FileName, File.data(), File.size());
}

} // namespace varnhold
