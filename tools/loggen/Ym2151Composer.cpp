#include "Ym2151Composer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace varnhold::tools {

// YM2151 registers written here (c = channel 0-7):
//   0x01 test/LFO reset   0x08 key on (bits 6-3 operators, bits 2-0 channel)   0x0F noise
//   0x14 timers   0x18 LFO rate   0x19 modulation depth   0x1B waveform
//   0x20+c RL/FB/CON   0x28+c key code   0x30+c key fraction (bits 7-2)
//   operator groups of 32 from 0x40 (DT1/MUL, TL, KS/AR, AMS/D1R, DT2/D2R, D1L/RR);
//   register offsets +0, +8, +16, +24 hold slots S1, S3, S2, S4.

namespace {
constexpr std::array<std::uint8_t, 4> OperatorOffset{0, 16, 8, 24};
constexpr std::uint8_t AllOperators = 0x78;
} // namespace

TYm2151Composer::TYm2151Composer(TS98Builder& Builder, std::uint8_t Device)
    : Out(Builder), Device(Device) {}

void TYm2151Composer::Write(std::uint8_t Register, std::uint8_t Value) {
    Out.Write(Device, 0, Register, Value);
}

void TYm2151Composer::Init() {
    Write(0x01, 0x02); // reset the LFO
    Write(0x01, 0x00);
    Write(0x0F, 0x00); // noise off
    Write(0x14, 0x00); // timers off
    Write(0x18, 0x00);
    Write(0x19, 0x00);
    Write(0x1B, 0x00);
    for (int Channel = 0; Channel < 8; ++Channel)
        NoteOff(Channel);
}

void TYm2151Composer::OperatorWrite(int Channel, int Operator, std::uint8_t Base,
                                    std::uint8_t Value) {
    Write(static_cast<std::uint8_t>(Base + OperatorOffset[Operator & 3] + (Channel & 7)), Value);
}

void TYm2151Composer::SetVoice(int Channel, const TFmVoice& Voice, TPan Pan) {
    Write(static_cast<std::uint8_t>(0x20 + (Channel & 7)),
          static_cast<std::uint8_t>(static_cast<std::uint8_t>(Pan) | (Voice.Feedback & 7) << 3 |
                                    (Voice.Algorithm & 7)));
    for (int k = 0; k < 4; ++k) {
        const TFmOperator& Op = Voice.Operators[k];
        OperatorWrite(Channel, k, 0x40,
                      static_cast<std::uint8_t>((Op.Detune & 7) << 4 | (Op.Multiple & 15)));
        OperatorWrite(Channel, k, 0x60, Op.TotalLevel & 0x7F);
        OperatorWrite(Channel, k, 0x80,
                      static_cast<std::uint8_t>((Op.KeyScale & 3) << 6 | (Op.AttackRate & 31)));
        OperatorWrite(
            Channel, k, 0xA0,
            static_cast<std::uint8_t>((Op.AmplitudeMod ? 0x80 : 0) | (Op.DecayRate & 31)));
        OperatorWrite(Channel, k, 0xC0, Op.SustainRate & 31);
        OperatorWrite(
            Channel, k, 0xE0,
            static_cast<std::uint8_t>((Op.SustainLevel & 15) << 4 | (Op.ReleaseRate & 15)));
    }
}

TOpmPitch TYm2151Composer::PitchOf(int Key, double Cents) {
    // 64 fraction steps per semitone, counted from C#0.
    const double Steps = std::floor(((Key - 13) + Cents / 100.0) * 64.0);
    const long Clamped = std::clamp(static_cast<long>(Steps), 0L, 95L * 64 + 63);
    const long Semitone = Clamped / 64, Fraction = Clamped % 64;
    const long Octave = Semitone / 12, Note = Semitone % 12;
    // Note codes skip 3, 7 and 11.
    return {static_cast<std::uint8_t>(Octave << 4 | (Note + Note / 3)),
            static_cast<std::uint8_t>(Fraction << 2)};
}

void TYm2151Composer::SetPitch(int Channel, int Key, double Cents) {
    const TOpmPitch P = PitchOf(Key, Cents);
    Write(static_cast<std::uint8_t>(0x30 + (Channel & 7)), P.KeyFraction);
    Write(static_cast<std::uint8_t>(0x28 + (Channel & 7)), P.KeyCode);
}

void TYm2151Composer::NoteOn(int Channel, int Key) {
    NoteOff(Channel);
    SetPitch(Channel, Key);
    Write(0x08, static_cast<std::uint8_t>(AllOperators | (Channel & 7)));
}

void TYm2151Composer::NoteOff(int Channel) {
    Write(0x08, static_cast<std::uint8_t>(Channel & 7));
}

void TYm2151Composer::SetTotalLevel(int Channel, int Operator, std::uint8_t Level) {
    OperatorWrite(Channel, Operator, 0x60, Level & 0x7F);
}

} // namespace varnhold::tools
