#include "chips/SndYM2608U.h"

#include <cmath>
#include <memory>

#include "convert/StateConvU.h"

namespace varnhold {

// YM2608 register map. FM registers exist on both ports (port 1 = channels 4-6); the SSG
// and the rhythm section only on port 0. Port 1 below 0x30 is the ADPCM unit.
//
//   SSG (port 0)
//   0x00-0x05   tone period A/B/C   even: bits 7-0 = period bits 7-0,
//                                   odd:  bits 3-0 = period bits 11-8
//   0x06        noise period        not modelled
//   0x07        mixer               bits 2-0 tone off A/B/C, bits 5-3 noise off A/B/C
//                                   (1 = disabled), bits 7-6 I/O direction (not used)
//   0x08-0x0A   level A/B/C         bit 4 envelope mode, bits 3-0 level (15 loudest)
//   0x0B-0x0F   envelope, I/O ports not modelled
//
//   Rhythm (port 0)
//   0x10        key on              bit 7 dump (stop), bits 5-0 rim, tom, hi-hat, top
//                                   cymbal, snare, bass drum (bit 0)
//   0x11        total level         bits 5-0 (63 loudest)
//   0x18-0x1D   instrument level    bits 7-6 left/right (not used), bits 4-0 level
//
//   FM (both ports; channel code = register bits 1-0, code 3 names no channel)
//   0x22-0x27, 0x29-0x2F            LFO, timers, channel-3 mode: not modelled
//   0x28        key on/off          bits 7-4 operator slots (any set = key on),
//                                   bit 2 channel group (4-6), bits 1-0 channel code
//   0x30-0x9F   operator registers, one group of 16 per parameter; register offsets
//               +0, +4, +8, +12 (bits 3-2) are operators 0, 2, 1, 3
//     0x30 DT/MUL   bits 6-4 detune, bits 3-0 multiple
//     0x40 TL       bits 6-0 total level
//     0x50 KS/AR    bits 7-6 key scale, bits 4-0 attack rate
//     0x60 AM/DR    bit 7 amplitude modulation, bits 4-0 decay rate
//     0x70 SR       bits 4-0 sustain rate
//     0x80 SL/RR    bits 7-4 sustain level, bits 3-0 release rate
//     0x90 SSG-EG   bits 3-0
//   0xA0-0xA3   F-number low        bits 7-0; the pitch is taken on this write
//   0xA4-0xA7   block/F-number high bits 5-3 block, bits 2-0 F-number bits 10-8 (latched)
//   0xA8-0xAF   channel-3 special-mode F-numbers: not modelled
//   0xB0-0xB3   FB/ALG              bits 5-3 feedback, bits 2-0 algorithm
//   0xB4-0xB7   L/R/AMS/PMS         bit 7 left, bit 6 right, bits 5-4 AMS, bits 2-0 PMS

namespace {

// Chip-local channel of FM slot indices 0-7.
constexpr std::array<std::uint8_t, 8> FmLocalChannel{0, 1, 2, 15, 3, 4, 5, 15};

constexpr std::uint8_t RhythmDump = 0x80;

constexpr std::uint8_t PortBit(std::uint8_t Port) {
    return Port & 1;
}

} // namespace

const TSndDeviceClass TSndYM2608::Class{
    "TSndYM2608", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2608>(); }};

TSndYM2608::TSndYM2608() {
    SetClock(3579545.0);
    SetChannelMapRow(0);
    SsgPeriod.fill(0);
    SsgMixer.fill(MixerNoiseOnly);
    SsgMode.fill(0);
}

std::uint8_t TSndYM2608::LocalChannelOf(std::uint8_t Slot) {
    if (Slot >= SsgSlot) return static_cast<std::uint8_t>(6 + (Slot - SsgSlot) % 3);
    return FmLocalChannel[Slot & 7];
}

TChannelState& TSndYM2608::RecordOf(TStateConv& Converter, std::uint8_t Slot) const {
    return Converter.Channels[MapChannel(LocalChannelOf(Slot))];
}

void TSndYM2608::WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                               std::uint8_t Value) {
    if (Register == 0x28) {
        WriteKeyOnOff(Converter, Port, Value);
    } else if (Register < 0x30) {
        // Port 1 holds the ADPCM unit here, which is not modelled.
        if (PortBit(Port) == 0) WriteSsgOrRhythm(Converter, Register, Value);
    } else {
        WriteFm(Converter, Port, Register, Value);
    }
}

// ---- SSG and rhythm section (port 0, below 0x30) ----

void TSndYM2608::WriteSsgOrRhythm(TStateConv& Converter, std::uint8_t Register,
                                  std::uint8_t Value) {
    if (Register <= 0x05) {
        WriteSsgPeriod(Converter, Register, Value);
    } else if (Register == 0x07) {
        WriteSsgMixer(Converter, Value);
    } else if (Register >= 0x08 && Register <= 0x0A) {
        WriteSsgLevel(Converter, Register - 0x08, Value);
    } else if (Register == 0x10) {
        WriteRhythmKeyOn(Converter, Value);
    } else if (Register == 0x11) {
        Converter.RhythmLevel =
            TotalLevelToLoudness(static_cast<std::uint8_t>(127 - 2 * (Value & 0x3F)));
    } else if (Register >= 0x18 && Register <= 0x1D) {
        Converter.Rhythm[Register - 0x18].Velocity = RhythmLevelToLoudness(Value & 0x3F);
    }
    // Everything else here (noise period, envelope, I/O ports, LFO, timers) is not modelled.
}

void TSndYM2608::WriteSsgPeriod(TStateConv& Converter, std::uint8_t Register, std::uint8_t Value) {
    const std::uint8_t c = Register >> 1;
    if ((Register & 1) == 0)
        SsgPeriod[c] = static_cast<std::uint16_t>((SsgPeriod[c] & 0xFF00) | Value);
    else
        SsgPeriod[c] = static_cast<std::uint16_t>((SsgPeriod[c] & 0x00FF) | ((Value & 0x0F) << 8));
    UpdateSsgPitch(Converter, c);
}

// Every mixer write re-applies the preset voice of each channel that still sounds, so
// that a voice can be captured for its generator mode; a channel switched off entirely
// keeps its voice and is struck again when it comes back.
void TSndYM2608::WriteSsgMixer(TStateConv& Converter, std::uint8_t Value) {
    for (std::uint8_t c = 0; c < 3; ++c)
        SsgMixer[c] = PsgMixerState(Value, c);

    for (std::uint8_t c = 0; c < 3; ++c) {
        const std::uint8_t Record = MapChannel(LocalChannelOf(SsgSlot + c));
        TChannelState& R = Converter.Channels[Record];
        R.ProgramPending = 1;
        ApplyPsgMixerState(Converter, Record, static_cast<TPsgMixerState>(SsgMixer[c]));
        if (SsgMixer[c] != MixerSilent) SsgMode[c] = R.GeneratorMode;
    }
}

void TSndYM2608::WriteSsgLevel(TStateConv& Converter, std::uint8_t SsgChannel, std::uint8_t Value) {
    TChannelState& R = RecordOf(Converter, SsgSlot + SsgChannel);
    if (!Converter.DebugMode) R.ToneGenerator = 1;
    R.Loudness = PsgAmplitudeLoudness(Value);
    if (R.Loudness == 0) R.Restrike = 1;
}

// A write with the dump bit stops the named instruments; only a write without it strikes.
void TSndYM2608::WriteRhythmKeyOn(TStateConv& Converter, std::uint8_t Value) {
    if (Value & RhythmDump) return;
    for (std::uint8_t j = 0; j < 6; ++j)
        if (IsBitSet(Value, j)) Converter.Rhythm[j].KeyOn = 1;
}

long double TSndYM2608::SsgFrequency(std::uint8_t SsgChannel) const {
    const std::uint16_t Period = SsgPeriod[SsgChannel];
    if (Period == 0) return 0.0L;
    return static_cast<long double>(Clock) / 2 / Period / 32;
}

void TSndYM2608::UpdateSsgPitch(TStateConv& Converter, std::uint8_t SsgChannel) const {
    TChannelState& R = RecordOf(Converter, SsgSlot + SsgChannel);
    if (!Converter.DebugMode) R.ToneGenerator = 1;
    CachedFrequencyToNote(R.Note, R.Fine, static_cast<double>(SsgFrequency(SsgChannel)));
    if (R.Note == 0) R.Restrike = 1;
}

// ---- FM (both ports) ----

void TSndYM2608::WriteKeyOnOff(TStateConv& Converter, std::uint8_t Port, std::uint8_t Value) {
    TChannelState& R =
        RecordOf(Converter, static_cast<std::uint8_t>((Value & 7) | (PortBit(Port) * 4)));
    if ((Value & 0xF0) == 0) {
        R.KeyReleased = 1;
        R.Restrike = 1;
    } else {
        R.KeyReleased = 0;
    }
}

void TSndYM2608::WriteFm(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                         std::uint8_t Value) {
    if (Register >= 0xB8) return;
    const std::uint8_t Slot = static_cast<std::uint8_t>(PortBit(Port) * 4 + (Register & 3));
    TChannelState& R = RecordOf(Converter, Slot);
    if (Register < 0xA0) {
        // Operator parameters only: a new voice is announced by the algorithm register.
        WriteOpnOperatorFields(R.Operators[OpnOperatorOf(Register)], Register, Value);
        if ((Register & 0xF0) == 0x40) R.Loudness = CarrierLoudness(R);
    } else if (Register < 0xA4) {
        FNumber[Slot] = (FNumber[Slot] & 0xFF00) | Value;
        UpdateFmPitch(Converter, Slot);
    } else if (Register < 0xA8) {
        Block[Slot] = (Value >> 3) & 7;
        FNumber[Slot] = ((Value & 7u) << 8) | (FNumber[Slot] & 0xFF);
    } else if (Register < 0xB0) {
        // channel-3 special-mode F-numbers
    } else if (Register < 0xB4) {
        R.Algorithm = Value & 7;
        R.Feedback = (Value >> 3) & 7;
        R.ProgramPending = 1;
    } else {
        R.Ams = (Value >> 4) & 3;
        R.Pms = Value & 7;
        R.Pan = OpnPan(Value);
    }
}

long double TSndYM2608::FmFrequency(std::uint8_t Slot, std::uint8_t LowestMultiple) const {
    // The lowest multiple sets the octave in which the voice sounds.
    const std::int32_t Exponent =
        22 - static_cast<std::int32_t>(Block[Slot]) - MultipleOctave[LowestMultiple & 15];
    return static_cast<long double>(Clock) / 72 * FNumber[Slot] / PowerOfTwo(Exponent);
}

void TSndYM2608::UpdateFmPitch(TStateConv& Converter, std::uint8_t Slot) const {
    TChannelState& R = RecordOf(Converter, Slot);
    std::uint8_t M = LowestMultiple4(R.Operators[0].Multiple, R.Operators[1].Multiple,
                                     R.Operators[2].Multiple, R.Operators[3].Multiple);
    if (Converter.DebugMode) M = 1;
    // The frequency depends on the 11-bit F-number, the 3-bit block and the multiple.
    const std::uint32_t Key = FNumber[Slot] | Block[Slot] << 11 | (M & 15u) << 14;
    CachedRegisterToNote(R.Note, R.Fine, Key,
                         [&] { return static_cast<double>(FmFrequency(Slot, M)); });
    if (R.Note == 0) R.Restrike = 1;
}

} // namespace varnhold
