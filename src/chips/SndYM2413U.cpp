#include "chips/SndYM2413U.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "convert/StateConvU.h"

namespace varnhold {

const TSndDeviceClass TSndYM2413::Class{
    "TSndYM2413", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2413>(); }};

const std::array<TSndYM2413::TPatch, 16> TSndYM2413::BuiltInPatches{{
    {0x49, 0x4C, 0x4C, 0x32, 0x00, 0x00, 0x00, 0x00}, // user instrument until written
    {0x61, 0x61, 0x1E, 0x17, 0xF0, 0x7F, 0x00, 0x17},
    {0x13, 0x41, 0x16, 0x0E, 0xFD, 0xF4, 0x23, 0x23},
    {0x03, 0x01, 0x9A, 0x04, 0xF3, 0xF3, 0x13, 0xF3},
    {0x11, 0x61, 0x0E, 0x07, 0xFA, 0x64, 0x70, 0x17},
    {0x22, 0x21, 0x1E, 0x06, 0xF0, 0x76, 0x00, 0x28},
    {0x21, 0x22, 0x16, 0x05, 0xF0, 0x71, 0x00, 0x18},
    {0x21, 0x61, 0x1D, 0x07, 0x82, 0x80, 0x17, 0x17},
    {0x23, 0x21, 0x2D, 0x16, 0x90, 0x90, 0x00, 0x07},
    {0x21, 0x21, 0x1B, 0x06, 0x64, 0x65, 0x10, 0x17},
    {0x21, 0x21, 0x0B, 0x1A, 0x85, 0xA0, 0x70, 0x07},
    {0x23, 0x01, 0x83, 0x10, 0xFF, 0xB4, 0x10, 0xF4},
    {0x97, 0xC1, 0x20, 0x07, 0xFF, 0xF4, 0x22, 0x22},
    {0x61, 0x00, 0x0C, 0x05, 0xC2, 0xF6, 0x40, 0x44},
    {0x01, 0x01, 0x56, 0x03, 0x94, 0xC2, 0x03, 0x12},
    {0x21, 0x01, 0x89, 0x03, 0xF1, 0xE4, 0xF0, 0x23},
}};

namespace {
constexpr std::uint8_t FmChannelCount = 9;
constexpr std::uint8_t RhythmModeLevel = 108;
// Carrier release rates below this are raised to it in the channel's voice.
constexpr std::uint8_t MinCarrierRelease = 7;

std::uint8_t Bits(std::uint8_t Value, int High, int Low) {
    return static_cast<std::uint8_t>((Value >> Low) & ((1u << (High - Low + 1)) - 1));
}
} // namespace

TSndYM2413::TSndYM2413() : Patches(BuiltInPatches) {
    SetClock(3579545.0);
    SetChannelMapRow(0);
}

// Register map (port ignored; n = chip channel 0..8):
//   0x00, 0x01  user instrument, modulator / carrier:
//               bit 7 AM, bit 6 vibrato, bit 5 EG type, bit 4 KSR, bits 3..0 multiple
//   0x02        bits 7..6 modulator KSL, bits 5..0 modulator total level
//   0x03        bits 7..6 carrier KSL, bit 4 modulator waveform, bit 3 carrier waveform,
//               bits 2..0 feedback
//   0x04, 0x05  modulator / carrier: bits 7..4 attack rate, bits 3..0 decay rate
//   0x06, 0x07  modulator / carrier: bits 7..4 sustain level, bits 3..0 release rate
//   0x0E        rhythm: bit 5 rhythm mode, bit 4 bass drum, bit 3 snare, bit 2 tom,
//               bit 1 top cymbal, bit 0 hi-hat
//   0x10+n      F-number bits 7..0
//   0x20+n      bit 5 sustain (ignored), bit 4 key, bits 3..1 block, bit 0 F-number bit 8
//   0x30+n      bits 7..4 instrument, bits 3..0 volume (0 loudest);
//               in rhythm mode 0x36..0x38 hold the drum volumes instead
void TSndYM2413::WriteRegister(TStateConv& Converter, std::uint8_t, std::uint8_t Register,
                               std::uint8_t Value) {
    const std::uint8_t Group = Register & 0xF0;
    const std::uint8_t n = Register & 0x0F;
    if (Register <= 0x07) {
        WriteUserInstrument(Converter, Register, Value);
    } else if (Register == 0x0E) {
        WriteRhythmControl(Converter, Value);
    } else if (Group == 0x10 && n < FmChannelCount) {
        FNumberLow[n] = Value;
        UpdatePitch(Converter, n);
    } else if (Group == 0x20 && n < FmChannelCount) {
        WriteKeyBlock(Converter, n, Value);
    } else if (Group == 0x30 && n < FmChannelCount) {
        if (!MelodicMode && n >= 6)
            WriteRhythmVolume(Converter, Register, Value);
        else
            WriteInstrumentVolume(Converter, n, Value);
    }
}

void TSndYM2413::WriteUserInstrument(TStateConv& Converter, std::uint8_t Register,
                                     std::uint8_t Value) {
    Patches[0][Register] = Value;
    for (std::uint8_t n = 0; n < FmChannelCount; ++n)
        if (Instrument[n] == 0) LoadVoice(Converter, 0, MapChannel(n));
}

void TSndYM2413::WriteRhythmControl(TStateConv& Converter, std::uint8_t Value) {
    if (IsBitClear(Value, 5)) {
        MelodicMode = true;
        return;
    }
    MelodicMode = false;
    Converter.RhythmLevel = RhythmModeLevel;
    // Rhythm records in the shared order: bass drum, snare, top cymbal, hi-hat, tom.
    static constexpr std::uint8_t KeyBits[5] = {4, 3, 1, 0, 2};
    for (int i = 0; i < 5; ++i)
        Converter.Rhythm[i].KeyOn = IsBitSet(Value, KeyBits[i]) ? 1 : 0;
}

void TSndYM2413::WriteKeyBlock(TStateConv& Converter, std::uint8_t n, std::uint8_t Value) {
    KeyState[n] = Bits(Value, 4, 4);
    FNumberHigh[n] = Bits(Value, 0, 0);
    Block[n] = Bits(Value, 3, 1);
    UpdatePitch(Converter, n);
    TChannelState& R = Converter.Channels[MapChannel(n)];
    if (KeyState[n] == 0) {
        R.KeyReleased = 1;
        R.Restrike = 1;
    } else {
        R.KeyReleased = 0;
    }
}

void TSndYM2413::WriteInstrumentVolume(TStateConv& Converter, std::uint8_t n, std::uint8_t Value) {
    const std::uint8_t ch = MapChannel(n);
    Instrument[n] = Value >> 4;
    LoadVoice(Converter, Instrument[n], ch);
    Converter.Channels[ch].Loudness = VolumeStepToLoudness(Value & 0x0F);
}

void TSndYM2413::WriteRhythmVolume(TStateConv& Converter, std::uint8_t Register,
                                   std::uint8_t Value) {
    const std::uint8_t High = VolumeStepToLoudness(Value >> 4);
    const std::uint8_t Low = VolumeStepToLoudness(Value & 0x0F);
    auto& Rhythm = Converter.Rhythm;
    if (Register == 0x36) {
        Rhythm[0].Velocity = Low; // bass drum; the high nibble is unused
    } else if (Register == 0x37) {
        Rhythm[3].Velocity = High; // hi-hat
        Rhythm[1].Velocity = Low;  // snare drum
    } else if (Register == 0x38) {
        Rhythm[4].Velocity = High; // tom-tom
        Rhythm[2].Velocity = Low;  // top cymbal
    }
}

// The sounding pitch follows the lower of the two operator multiples; the chip's frequency
// is Clock / 72 x F-number / 2^(19 - block), shifted by the octave of that multiple.
void TSndYM2413::UpdatePitch(TStateConv& Converter, std::uint8_t n) {
    TChannelState& R = Converter.Channels[MapChannel(n)];
    std::uint8_t m = LowestMultiple2(R.Operators[0].Multiple, R.Operators[1].Multiple);
    if (Converter.DebugMode) m = 1;
    const int e = 19 - Block[n] + MultipleOctave[m];
    const unsigned FNumber = FNumberHigh[n] * 256u + FNumberLow[n];
    const long double Hz = static_cast<long double>(GetClock()) / 72.0L * FNumber / PowerOfTwo(e);
    CachedFrequencyToNote(R.Note, R.Fine, static_cast<double>(Hz));
}

void TSndYM2413::LoadVoice(TStateConv& Converter, std::uint8_t InstrumentNumber,
                           std::uint8_t Channel) {
    const TPatch& b = Patches[InstrumentNumber & 0x0F];
    TChannelState& R = Converter.Channels[Channel];
    TOperatorState& Mod = R.Operators[0];
    TOperatorState& Car = R.Operators[1];

    R.ProgramPending = 1;
    R.Algorithm = 8; // two-operator voice

    for (int i = 0; i < 2; ++i) {
        TOperatorState& Op = R.Operators[i];
        Op.AmplitudeMod = Bits(b[i], 7, 7);
        Op.Vibrato = Bits(b[i], 6, 6);
        Op.EnvelopeType = Bits(b[i], 5, 5);
        Op.KeyScaleRate = Bits(b[i], 4, 4);
        Op.Multiple = Bits(b[i], 3, 0);
    }
    Mod.KeyScaleLevel = Bits(b[2], 7, 6);
    Mod.TotalLevel = Bits(b[2], 5, 0);
    Car.TotalLevel = 0;
    Car.KeyScaleLevel = Bits(b[3], 7, 6);
    Mod.Waveform = Bits(b[3], 4, 4);
    Car.Waveform = Bits(b[3], 3, 3);
    R.Feedback = Bits(b[3], 2, 0);
    Mod.AttackRate = Bits(b[4], 7, 4);
    Mod.DecayRate = Bits(b[4], 3, 0);
    Car.AttackRate = Bits(b[5], 7, 4);
    Car.DecayRate = Bits(b[5], 3, 0);
    Mod.SustainLevel = Bits(b[6], 7, 4);
    Mod.ReleaseRate = Bits(b[6], 3, 0);
    Car.SustainLevel = Bits(b[7], 7, 4);
    Car.ReleaseRate = std::max(Bits(b[7], 3, 0), MinCarrierRelease);
}

} // namespace varnhold
