#include "chips/SndBaseU.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <string>

#include "convert/StateConvU.h"
#include "platform/ErrorsU.h"

namespace varnhold {

// Where each chip-local channel (column) lands for a device set (row); 16 = no MIDI channel.
const std::array<std::array<std::uint8_t, 16>, 8> ChannelMapTable{{
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {10, 11, 12, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
    {13, 14, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
    {0, 1, 2, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
    {3, 4, 5, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
    {6, 7, 8, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 16, 16, 16, 16, 16},
    {10, 11, 12, 13, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
}};

// Octave shift of an operator multiple; multiple 0 stands for one half.
const std::array<std::int32_t, 16> MultipleOctave{-1, 0, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3};

const TSndDeviceClass TSndNothing::Class{
    "TSndNothing", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndNothing>(); }};

TSndDevice& TSndDeviceList::Add(const TSndDeviceClass& DeviceClass) {
    std::unique_ptr<TSndDevice> Model = DeviceClass.Create();
    Model->DeviceClass = &DeviceClass;
    Models.push_back(std::move(Model));
    return *Models.back();
}

TSndDevice* TSndDeviceList::Get(int Index) const {
    if (Index < 0) return nullptr;
    if (Index >= Count())
        throw EListIndexError("device list index " + std::to_string(Index) +
                              " is out of bounds (the list holds " + std::to_string(Count()) +
                              " devices)");
    return Models[static_cast<std::size_t>(Index)].get();
}

void TSndDeviceList::Clear() {
    // Free in index order, as the models were created.
    for (auto& Model : Models)
        Model.reset();
    Models.clear();
}

void FrequencyToNote(std::uint8_t& Note, std::uint8_t& Fine, double Hz) {
    long a = 0;
    if (Hz != 0) {
        // rint honours the rounding mode; make sure it is ties-to-even here. (rint gives
        // nearbyint's value without saving and restoring the floating-point environment.)
        const int OldMode = std::fegetround();
        if (OldMode != FE_TONEAREST) std::fesetround(FE_TONEAREST);
        const long double Key =
            (std::log2(static_cast<long double>(Hz) / 440.0L) * 12.0L + 69.0L) * 32.0L;
        const long double Rounded = std::rint(Key);
        if (OldMode != FE_TONEAREST) std::fesetround(OldMode);
        // Anything outside 1..4095 (also NaN and infinities) means no pitch.
        a = (Rounded > 0.0L && Rounded < 4096.0L) ? static_cast<long>(Rounded) : 0;
    }
    if (a <= 0 || a >= 4096) {
        Note = 0;
        Fine = 32;
        return;
    }
    Note = static_cast<std::uint8_t>(a / 32);
    Fine = static_cast<std::uint8_t>(a % 32 + 32);
    // Keep the offset within -16..+15 by moving to the next key, except at the top key.
    if (Fine >= 48 && Note < 127) {
        Note = static_cast<std::uint8_t>(Note + 1);
        Fine = static_cast<std::uint8_t>(Fine - 32);
    }
}

namespace {

// Trunc(127 * 10^Exponent), for exponents <= 0.
std::uint8_t Loudness127(long double Exponent) {
    return static_cast<std::uint8_t>(std::trunc(127.0L * std::pow(10.0L, Exponent)));
}

std::uint8_t TotalLevelCurve(std::uint8_t Level) {
    return Loudness127(Level * (-3.0L / 220.0L));
}

std::uint8_t RhythmLevelCurve(std::uint8_t Level) {
    if (Level == 0) return 0;
    return Loudness127((Level + 1) * -3.75L / 64.0L / 40.0L);
}

std::uint8_t VolumeStepCurve(std::uint8_t Step) {
    const std::uint8_t v = Loudness127((8 * Step + 7) * -0.00625L);
    return v >= 24 ? v : 0;
}

// Each curve takes a byte, so it is tabulated once (on first use, read-only after) instead
// of raising to a power at every level write.
using TLoudnessTable = std::array<std::uint8_t, 256>;

TLoudnessTable Tabulate(std::uint8_t (*Curve)(std::uint8_t)) {
    TLoudnessTable Table{};
    for (std::size_t i = 0; i < Table.size(); ++i)
        Table[i] = Curve(static_cast<std::uint8_t>(i));
    return Table;
}

} // namespace

std::uint8_t TotalLevelToLoudness(std::uint8_t Level) {
    static const TLoudnessTable Table = Tabulate(TotalLevelCurve);
    return Table[Level];
}

std::uint8_t RhythmLevelToLoudness(std::uint8_t Level) {
    static const TLoudnessTable Table = Tabulate(RhythmLevelCurve);
    return Table[Level];
}

std::uint8_t VolumeStepToLoudness(std::uint8_t Step) {
    static const TLoudnessTable Table = Tabulate(VolumeStepCurve);
    return Table[Step];
}

std::uint8_t CarrierTotalLevel(std::uint8_t Algorithm, std::uint8_t TL0, std::uint8_t TL1,
                               std::uint8_t TL2, std::uint8_t TL3) {
    int Level;
    switch (Algorithm) {
    case 4: Level = (TL1 + TL3 + 1) / 2; break;
    case 5:
    case 6: Level = (TL1 + TL2 + TL3 + 1) / 3; break;
    case 7: Level = (TL0 + TL1 + TL2 + TL3 + 1) / 4; break;
    default: Level = TL3; break;
    }
    return static_cast<std::uint8_t>(Level);
}

std::uint8_t CarrierLoudness(const TChannelState& R) {
    return TotalLevelToLoudness(
        CarrierTotalLevel(R.Algorithm, R.Operators[0].TotalLevel, R.Operators[1].TotalLevel,
                          R.Operators[2].TotalLevel, R.Operators[3].TotalLevel));
}

std::uint8_t OpnOperatorOf(std::uint8_t Register) {
    static constexpr std::uint8_t OperatorOfOffset[4] = {0, 2, 1, 3};
    return OperatorOfOffset[(Register >> 2) & 3];
}

void WriteOpnOperatorFields(TOperatorState& Op, std::uint8_t Register, std::uint8_t Value) {
    switch (Register & 0xF0) {
    case 0x30:
        Op.Detune = (Value >> 4) & 7;
        Op.Multiple = Value & 0x0F;
        break;
    case 0x40: Op.TotalLevel = Value & 0x7F; break;
    case 0x50:
        Op.KeyScale = Value >> 6;
        Op.AttackRate = Value & 0x1F;
        break;
    case 0x60:
        Op.AmplitudeMod = Value >> 7;
        Op.DecayRate = Value & 0x1F;
        break;
    case 0x70: Op.SustainRate = Value & 0x1F; break;
    case 0x80:
        Op.SustainLevel = Value >> 4;
        Op.ReleaseRate = Value & 0x0F;
        break;
    case 0x90: Op.SsgEnvelope = Value & 0x0F; break;
    }
}

std::uint8_t OpnPan(std::uint8_t Value) {
    switch (Value >> 6) {
    case 1: return 127; // right only
    case 2: return 0;   // left only
    default: return 64; // both, or neither
    }
}

TPsgMixerState PsgMixerState(std::uint8_t MixerRegister, std::uint8_t Channel) {
    return static_cast<TPsgMixerState>(IsBitSet(MixerRegister, Channel) +
                                       2 * IsBitSet(MixerRegister, Channel + 3));
}

void ApplyPsgMixerState(TStateConv& Converter, std::uint8_t Channel, TPsgMixerState State) {
    // Generator mode and preset voice of each sounding state.
    struct TMixerVoice {
        std::uint8_t GeneratorMode;
        void (*InitVoice)(TStateConv&, std::uint8_t);
    };
    static constexpr TMixerVoice MixerVoices[3] = {
        {2, InitToneNoiseVoice}, // tone and noise
        {1, InitNoiseVoice},     // noise only
        {0, InitToneVoice},      // tone only
    };
    TChannelState& R = Converter.Channels.at(Channel);
    if (State == MixerSilent) {
        R.Restrike = 1;
        return;
    }
    const TMixerVoice& Voice = MixerVoices[State];
    if (R.GeneratorMode != Voice.GeneratorMode) R.Restrike = 1;
    R.GeneratorMode = Voice.GeneratorMode;
    Voice.InitVoice(Converter, Channel);
}

std::uint8_t PsgAmplitudeLoudness(std::uint8_t Value) {
    if (IsBitSet(Value, 4)) return 96;
    return VolumeStepToLoudness(static_cast<std::uint8_t>(15 - (Value & 0x0F)));
}

namespace {

// The four operator presets of the generator voices; fields not listed stay as they are.
struct TOperatorPreset {
    std::uint8_t AttackRate, DecayRate, SustainRate, ReleaseRate, SustainLevel, TotalLevel,
        KeyScale, Multiple, Detune, Vibrato, Waveform;
};

constexpr TOperatorPreset PresetA{31, 0, 0, 0, 0, 127, 0, 1, 0, 1, 9};
constexpr TOperatorPreset PresetB{31, 5, 0, 31, 0, 8, 0, 1, 0, 1, 6};
constexpr TOperatorPreset PresetC{31, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
constexpr TOperatorPreset PresetD{31, 0, 0, 31, 0, 8, 0, 1, 0, 0, 0};

void ApplyPreset(TOperatorState& Op, const TOperatorPreset& P) {
    Op.AttackRate = P.AttackRate;
    Op.DecayRate = P.DecayRate;
    Op.SustainRate = P.SustainRate;
    Op.ReleaseRate = P.ReleaseRate;
    Op.SustainLevel = P.SustainLevel;
    Op.TotalLevel = P.TotalLevel;
    Op.KeyScale = P.KeyScale;
    Op.Multiple = P.Multiple;
    Op.Detune = P.Detune;
    Op.Vibrato = P.Vibrato;
    Op.Waveform = P.Waveform;
}

} // namespace

void InitToneVoice(TStateConv& Converter, std::uint8_t Channel) {
    TChannelState& C = Converter.Channels.at(Channel);
    C.Algorithm = 8;
    C.Feedback = 0;
    ApplyPreset(C.Operators[0], PresetA);
    ApplyPreset(C.Operators[1], PresetB);
}

void InitNoiseVoice(TStateConv& Converter, std::uint8_t Channel) {
    TChannelState& C = Converter.Channels.at(Channel);
    C.Algorithm = 8;
    C.Feedback = 7;
    ApplyPreset(C.Operators[0], PresetC);
    ApplyPreset(C.Operators[1], PresetD);
}

void InitToneNoiseVoice(TStateConv& Converter, std::uint8_t Channel) {
    TChannelState& C = Converter.Channels.at(Channel);
    C.Algorithm = 4;
    C.Feedback = 7;
    ApplyPreset(C.Operators[0], PresetC);
    ApplyPreset(C.Operators[1], PresetD);
    ApplyPreset(C.Operators[2], PresetA);
    ApplyPreset(C.Operators[3], PresetB);
}

} // namespace varnhold
