#include "chips/SndYM2612U.h"

#include <cmath>
#include <memory>

#include "convert/StateConvU.h"

namespace varnhold {

// YM2612 register map (two ports of three channels; channel code = register & 3, where
// code 3 names no channel and lands on the port's last channel):
//
//   0x28        key on/off   bits 7-4 operator key-on (any set = key on), bits 2-0 channel
//   0x2A/0x2B   DAC          not modelled; channel 6 always plays FM
//   0x22-0x27, 0x29          LFO, timers, channel-3 mode: ignored
//
//   Operator registers 0x30-0x9F, one group of 16 per parameter. Within a group the
//   register offset +0, +4, +8, +12 selects operator 0, 2, 1, 3; bits 1-0 the channel code.
//   0x30-0x3F   DT/MUL       bits 6-4 detune, bits 3-0 multiple
//   0x40-0x4F   TL           bits 6-0 total level
//   0x50-0x5F   KS/AR        bits 7-6 key scale, bits 4-0 attack rate
//   0x60-0x6F   AM/DR        bit 7 amplitude modulation, bits 4-0 decay rate
//   0x70-0x7F   SR           bits 4-0 sustain rate
//   0x80-0x8F   SL/RR        bits 7-4 sustain level, bits 3-0 release rate
//   0x90-0x9F   SSG-EG       bits 3-0
//
//   0xA0-0xA3   F-number     bits 7-0 of the F-number; the pitch is taken on this write
//   0xA4-0xA7   block/F-num  bits 5-3 block, bits 2-0 F-number bits 10-8 (latched only)
//   0xA8-0xAF   channel-3 special-mode F-numbers: ignored
//   0xB0-0xB3   FB/ALG       bits 5-3 feedback, bits 2-0 algorithm
//   0xB4-0xB7   L/R/AMS/PMS  bit 7 left, bit 6 right, bits 5-4 AMS, bits 2-0 PMS

namespace {

constexpr std::array<std::uint8_t, 16> ChannelTable{0, 1, 2, 2, 3, 4, 5, 5, 3, 4, 5, 5, 3, 4, 5, 5};

constexpr std::uint8_t PortOf(std::uint8_t Port) {
    return Port > 1 ? 1 : Port;
}

} // namespace

const TSndDeviceClass TSndYM2612::Class{
    "TSndYM2612", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2612>(); }};

TSndYM2612::TSndYM2612() {
    SetClock(3579545.0);
    SetChannelMapRow(0);
}

std::uint8_t TSndYM2612::ChannelOf(std::uint8_t Index) {
    return ChannelTable[Index & 15];
}

bool TSndYM2612::IsModulator(std::uint8_t Algorithm, std::uint8_t Op) {
    switch (Algorithm) {
    case 0:
    case 1:
    case 2:
    case 3: return Op <= 2;
    case 4: return Op == 0 || Op == 2;
    case 5:
    case 6: return Op == 0;
    default: return false;
    }
}

void TSndYM2612::WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                               std::uint8_t Value) {
    if (Register == 0x28) {
        WriteKeyOnOff(Converter, Port, Value);
        return;
    }
    if (Register < 0x30 || Register >= 0xB8) return;

    // The six channels occupy records 0-5 directly, without the channel map.
    const std::uint8_t Channel = ChannelOf(PortOf(Port) * 4 + (Register & 3));
    TChannelState& R = Converter.Channels[Channel];
    if (Register < 0xA0) {
        WriteOperator(R, Register, Value);
    } else if (Register < 0xA4) {
        FNumber[Channel] = (FNumber[Channel] & 0xFF00) | Value;
        UpdatePitch(Converter, Channel);
    } else if (Register < 0xA8) {
        Block[Channel] = (Value >> 3) & 7;
        FNumber[Channel] = ((Value & 7) << 8) | (FNumber[Channel] & 0xFF);
    } else if (Register < 0xB0) {
        // channel-3 special-mode F-numbers
    } else if (Register < 0xB4) {
        WriteAlgorithm(R, Value);
    } else {
        WritePanAndSensitivity(R, Value);
    }
}

void TSndYM2612::WriteKeyOnOff(TStateConv& Converter, std::uint8_t Port, std::uint8_t Value) {
    TChannelState& R = Converter.Channels[ChannelOf(PortOf(Port) * 8 + (Value & 7))];
    if ((Value & 0xF0) == 0) {
        R.KeyReleased = 1;
        R.Restrike = 1;
    } else {
        R.KeyReleased = 0;
    }
}

void TSndYM2612::WriteOperator(TChannelState& R, std::uint8_t Register, std::uint8_t Value) {
    const std::uint8_t OpIndex = OpnOperatorOf(Register);
    WriteOpnOperatorFields(R.Operators[OpIndex], Register, Value);
    switch (Register & 0xF0) {
    case 0x40:
        R.Loudness = CarrierLoudness(R);
        // A modulator's level changes the timbre, not the loudness: a new voice.
        if (IsModulator(R.Algorithm, OpIndex)) {
            R.ProgramPending = 1;
            R.Restrike = 1;
        }
        break;
    case 0x90: break; // the SSG-type envelope is not part of the voice
    default: R.ProgramPending = 1; break;
    }
}

void TSndYM2612::WriteAlgorithm(TChannelState& R, std::uint8_t Value) {
    R.Algorithm = Value & 7;
    R.Feedback = (Value >> 3) & 7;
    R.Restrike = 1;
    R.ProgramPending = 1;
}

void TSndYM2612::WritePanAndSensitivity(TChannelState& R, std::uint8_t Value) {
    R.Ams = (Value >> 4) & 3;
    R.Pms = Value & 7;
    R.Pan = OpnPan(Value);
}

void TSndYM2612::UpdatePitch(TStateConv& Converter, std::uint8_t Channel) const {
    TChannelState& R = Converter.Channels[Channel];
    std::uint8_t M = LowestMultiple4(R.Operators[0].Multiple, R.Operators[1].Multiple,
                                     R.Operators[2].Multiple, R.Operators[3].Multiple);
    if (Converter.UseProgramChange && Converter.DebugMode) M = 1;

    if (FNumber[Channel] == 0) {
        FrequencyToNote(R.Note, R.Fine, 0.0);
        R.Restrike = 1;
        return;
    }
    // The frequency depends on the 11-bit F-number, the 3-bit block and the multiple.
    const std::uint32_t Key = FNumber[Channel] | Block[Channel] << 11 | (M & 15u) << 14;
    CachedRegisterToNote(R.Note, R.Fine, Key, [&] {
        const int Exponent = 22 - Block[Channel] - MultipleOctave[M];
        const long double Hz =
            static_cast<long double>(Clock) * FNumber[Channel] / 72 / PowerOfTwo(Exponent);
        return static_cast<double>(Hz);
    });
}

} // namespace varnhold
