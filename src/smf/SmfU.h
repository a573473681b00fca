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

#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
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
    std::int32_t Time = 0; // absolute tick
    std::uint8_t Status = 0;
    TSmfEventKind Kind = TSmfEventKind::NoteOn;
    std::uint8_t Data1 = 0;   // Note, Controller; MetaType (0x51) for Tempo
    std::uint8_t Data2 = 0;   // Velocity, Value
    std::int32_t Value = 0;   // Program, Bend, Bpm
    std::uint32_t Direct = 0; // index into TSmf::DirectData for SysEx and Tempo
};
static_assert(sizeof(TSmfEvent) == 16, "events are kept compact");

// The events of a list, kept in blocks of fixed capacity. Growing never moves what is
// stored, so a long conversion never holds its events twice (as a doubling array does while
// it copies), and a block's pages are touched only as events fill them.
class TSmfEventStore {
public:
    static constexpr std::size_t BlockBits = 14; // 16384 events, 256 KB
    static constexpr std::size_t BlockSize = std::size_t{1} << BlockBits;

    template <class TStore, class TValue> class TIterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = TSmfEvent;
        using difference_type = std::ptrdiff_t;
        using pointer = TValue*;
        using reference = TValue&;

        TIterator() = default;
        TIterator(TStore* Store, std::size_t Index) : Store(Store), Index(Index) {}

        reference operator*() const { return (*Store)[Index]; }
        pointer operator->() const { return &(*Store)[Index]; }
        reference operator[](difference_type N) const {
            return (*Store)[static_cast<std::size_t>(static_cast<difference_type>(Index) + N)];
        }
        TIterator& operator++() { return ++Index, *this; }
        TIterator operator++(int) { return TIterator(Store, Index++); }
        TIterator& operator--() { return --Index, *this; }
        TIterator operator--(int) { return TIterator(Store, Index--); }
        TIterator& operator+=(difference_type N) {
            Index = static_cast<std::size_t>(static_cast<difference_type>(Index) + N);
            return *this;
        }
        TIterator& operator-=(difference_type N) { return *this += -N; }
        friend TIterator operator+(TIterator I, difference_type N) { return I += N; }
        friend TIterator operator+(difference_type N, TIterator I) { return I += N; }
        friend TIterator operator-(TIterator I, difference_type N) { return I -= N; }
        friend difference_type operator-(const TIterator& A, const TIterator& B) {
            return static_cast<difference_type>(A.Index) - static_cast<difference_type>(B.Index);
        }
        friend bool operator==(const TIterator& A, const TIterator& B) {
            return A.Index == B.Index;
        }
        friend auto operator<=>(const TIterator& A, const TIterator& B) {
            return A.Index <=> B.Index;
        }

    private:
        TStore* Store = nullptr;
        std::size_t Index = 0;
    };
    using iterator = TIterator<TSmfEventStore, TSmfEvent>;
    using const_iterator = TIterator<const TSmfEventStore, const TSmfEvent>;

    TSmfEvent& emplace_back(const TSmfEvent& Event) {
        if (Count == Blocks.size() * BlockSize) Blocks.emplace_back().reserve(BlockSize);
        ++Count;
        return Blocks.back().emplace_back(Event);
    }
    std::size_t size() const { return Count; }
    bool empty() const { return Count == 0; }
    TSmfEvent& operator[](std::size_t Index) {
        return Blocks[Index >> BlockBits][Index & (BlockSize - 1)];
    }
    const TSmfEvent& operator[](std::size_t Index) const {
        return Blocks[Index >> BlockBits][Index & (BlockSize - 1)];
    }
    const TSmfEvent& front() const { return (*this)[0]; }
    iterator begin() { return {this, 0}; }
    iterator end() { return {this, Count}; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, Count}; }
    // Calls F with every event in order, block by block (cheaper than indexing).
    template <class TF> void ForEach(TF&& F) const {
        for (const std::vector<TSmfEvent>& Block : Blocks)
            for (const TSmfEvent& Event : Block)
                F(Event);
    }
    // Frees every block.
    void clear() {
        std::vector<std::vector<TSmfEvent>>().swap(Blocks);
        Count = 0;
    }

private:
    std::vector<std::vector<TSmfEvent>> Blocks;
    std::size_t Count = 0;
};

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
    const TSmfEventStore& Items() const { return Events; }
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
    TSmfEventStore Events;
    std::vector<std::vector<std::uint8_t>> DirectData;
};

} // namespace varnhold
