// The chip-model base: the interface every register model offers, the owning device list,
// and the conversions from chip values to MIDI values that all models share.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

namespace varnhold {

class TStateConv;
struct TChannelState;
struct TOperatorState;
class TSndDevice;

// Nearest MIDI key and the offset from it in 1/32 semitone plus 32.
void FrequencyToNote(std::uint8_t& Note, std::uint8_t& Fine, double Hz);

// FrequencyToNote's results for the frequencies met so far, keyed by the exact bits of the
// frequency. A chip's pitch writes keep coming back to the same few hundred values, and the
// logarithm is the costliest step of a dense log; a hit gives the same bytes as the call.
class TNoteCache {
public:
    void Convert(std::uint8_t& Note, std::uint8_t& Fine, double Hz) {
        const auto Bits = std::bit_cast<std::uint64_t>(Hz);
        TEntry& E = Entries[(Bits * 0x9E3779B97F4A7C15ull) >> (64 - IndexBits)];
        if (!E.Used || E.Bits != Bits) {
            FrequencyToNote(E.Note, E.Fine, Hz);
            E.Bits = Bits;
            E.Used = true;
        }
        Note = E.Note;
        Fine = E.Fine;
    }

private:
    static constexpr int IndexBits = 9;
    struct TEntry {
        std::uint64_t Bits = 0;
        std::uint8_t Note = 0;
        std::uint8_t Fine = 0;
        bool Used = false;
    };
    std::array<TEntry, 1u << IndexBits> Entries{};
};

// FrequencyToNote of a frequency that a model computes from a few register values and its
// clock, remembered under those values (Key) and that clock: a hit also skips computing the
// frequency. Key must hold every register value the frequency depends on.
class TRegisterNoteCache {
public:
    template <class THz>
    void Convert(std::uint8_t& Note, std::uint8_t& Fine, std::uint32_t Key, double Clock,
                 THz&& Hz) {
        const auto ClockBits = std::bit_cast<std::uint64_t>(Clock);
        if (ClockBits != EntriesClock) {
            Entries.fill(TEntry{});
            EntriesClock = ClockBits;
        }
        TEntry& E = Entries[(Key * 0x9E3779B1u) >> (32 - IndexBits)];
        if (!E.Used || E.Key != Key) {
            FrequencyToNote(E.Note, E.Fine, Hz());
            E.Key = Key;
            E.Used = true;
        }
        Note = E.Note;
        Fine = E.Fine;
    }

private:
    static constexpr int IndexBits = 10;
    struct TEntry {
        std::uint32_t Key = 0;
        std::uint8_t Note = 0;
        std::uint8_t Fine = 0;
        bool Used = false;
    };
    std::uint64_t EntriesClock = 0;
    std::array<TEntry, 1u << IndexBits> Entries{};
};

// A model class: its name (written into per-device output names) and its factory.
struct TSndDeviceClass {
    const char* Name;
    std::unique_ptr<TSndDevice> (*Create)();
};

class TSndDevice {
public:
    double Clock = 0;                             // master clock in Hz
    std::uint8_t ChannelMapRow = 0;               // row of ChannelMapTable
    const TSndDeviceClass* DeviceClass = nullptr; // stored by TSndDeviceList::Add
    TStateConv* Converter = nullptr;              // own converter in per-device output; not owned

    virtual ~TSndDevice() = default;

    // Applies one register write to the state of Converter. Port is 0 or 1.
    virtual void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                               std::uint8_t Value) = 0;

    double GetClock() const { return Clock; }
    void SetClock(double Hz) { Clock = Hz; }
    // Rows 0..7; anything else stores 0.
    void SetChannelMapRow(std::uint8_t Row) { ChannelMapRow = Row <= 7 ? Row : 0; }
    // The converter channel (0..15, or 16 for none) of chip-local channel 0..15.
    std::uint8_t MapChannel(std::uint8_t LocalChannel) const;

protected:
    // FrequencyToNote, remembered by this model (each model has its own memory).
    void CachedFrequencyToNote(std::uint8_t& Note, std::uint8_t& Fine, double Hz) const {
        NoteCache.Convert(Note, Fine, Hz);
    }

    // FrequencyToNote of Hz(), remembered under the register values Key and the clock.
    template <class THz>
    void CachedRegisterToNote(std::uint8_t& Note, std::uint8_t& Fine, std::uint32_t Key,
                              THz&& Hz) const {
        RegisterNoteCache.Convert(Note, Fine, Key, Clock, Hz);
    }

private:
    mutable TNoteCache NoteCache;
    mutable TRegisterNoteCache RegisterNoteCache;
};

// The model of a chip without a model: every write is ignored.
class TSndNothing : public TSndDevice {
public:
    static const TSndDeviceClass Class;
    void WriteRegister(TStateConv&, std::uint8_t, std::uint8_t, std::uint8_t) override {}
};

// The chip models of one conversion, in device-record order; owns them.
class TSndDeviceList {
public:
    // Creates a model of DeviceClass, stores the class in it, appends it and returns it.
    TSndDevice& Add(const TSndDeviceClass& DeviceClass);
    int Count() const { return static_cast<int>(Models.size()); }
    // nullptr for a negative Index; throws EListIndexError for Index >= Count.
    TSndDevice* Get(int Index) const;
    void Clear();

private:
    std::vector<std::unique_ptr<TSndDevice>> Models;
};

extern const std::array<std::array<std::uint8_t, 16>, 8> ChannelMapTable;
extern const std::array<std::int32_t, 16> MultipleOctave;

// 2^Exponent for 0 <= Exponent < 64: exactly ldexp(1.0L, Exponent), without a library call
// in the pitch formulas that run at every pitch write.
constexpr long double PowerOfTwo(int Exponent) {
    return static_cast<long double>(std::uint64_t{1} << Exponent);
}

inline bool IsBitSet(std::uint8_t B, std::uint8_t Bit) {
    return (B >> Bit) & 1;
}
inline bool IsBitClear(std::uint8_t B, std::uint8_t Bit) {
    return !IsBitSet(B, Bit);
}

std::uint8_t TotalLevelToLoudness(std::uint8_t Level);
std::uint8_t RhythmLevelToLoudness(std::uint8_t Level);
std::uint8_t VolumeStepToLoudness(std::uint8_t Step);

std::uint8_t CarrierTotalLevel(std::uint8_t Algorithm, std::uint8_t TL0, std::uint8_t TL1,
                               std::uint8_t TL2, std::uint8_t TL3);
// The loudness of a four-operator FM channel: its carriers' total level on the TL curve.
std::uint8_t CarrierLoudness(const TChannelState& Channel);
// Inline: they run at every register write.
inline std::uint8_t TSndDevice::MapChannel(std::uint8_t LocalChannel) const {
    const std::size_t Row = ChannelMapRow <= 7 ? ChannelMapRow : 0;
    return ChannelMapTable[Row][LocalChannel & 0x0F];
}

inline std::uint8_t LowestMultiple4(std::uint8_t M0, std::uint8_t M1, std::uint8_t M2,
                                    std::uint8_t M3) {
    return std::min<std::uint8_t>({15, M0, M1, M2, M3});
}

inline std::uint8_t LowestMultiple2(std::uint8_t M0, std::uint8_t M1) {
    return std::min<std::uint8_t>({15, M0, M1});
}

// OPN-family operator registers 0x30-0x9F (YM2608, YM2203, YM2612): one group of 16 per
// parameter, the operator in register bits 3-2 (offsets +0, +4, +8, +12 are operators
// 0, 2, 1, 3).
std::uint8_t OpnOperatorOf(std::uint8_t Register);
// Stores the fields that an OPN operator register write (0x30-0x9F) holds.
void WriteOpnOperatorFields(TOperatorState& Op, std::uint8_t Register, std::uint8_t Value);
// Pan of the OPN L/R bits 7-6: right only 127, left only 0, both or neither the centre.
std::uint8_t OpnPan(std::uint8_t Value);

// Square-wave generators (the AY-3-8910 family and the YM2608's SSG). The mixer state of a
// channel, from its tone-off and noise-off bits in the mixer register.
enum TPsgMixerState : std::uint16_t {
    MixerToneNoise = 0,
    MixerNoiseOnly = 1,
    MixerToneOnly = 2,
    MixerSilent = 3,
};
TPsgMixerState PsgMixerState(std::uint8_t MixerRegister, std::uint8_t Channel);
// A mixer state applied to record Channel: a sounding state selects its generator mode
// (striking the note again when the mode changes) and writes its preset voice; the silent
// state only strikes again and keeps mode and voice.
void ApplyPsgMixerState(TStateConv& Converter, std::uint8_t Channel, TPsgMixerState State);
// Loudness of an amplitude register: bits 3-0 the level (15 loudest); bit 4 envelope mode,
// which is not followed and gets a fixed middle loudness.
std::uint8_t PsgAmplitudeLoudness(std::uint8_t Value);

// Preset voices of square-wave and noise generator channels, written into record Channel.
void InitToneVoice(TStateConv& Converter, std::uint8_t Channel);
void InitNoiseVoice(TStateConv& Converter, std::uint8_t Channel);
void InitToneNoiseVoice(TStateConv& Converter, std::uint8_t Channel);

} // namespace varnhold
