#include "OpnFmComposer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace varnhold::tools {

// OPN FM registers written here (c = channel code 0-2; port 1 holds channels 3-5):
//   port 0 only: 0x28 key on (bits 7-4 operators, bit 2 port, bits 1-0 code)
//   operator groups 0x30+c DT/MUL, 0x40 TL, 0x50 KS/AR, 0x60 AM/DR, 0x70 SR, 0x80 SL/RR,
//   0x90 SSG-EG; register offsets +0, +4, +8, +12 hold slots S1, S3, S2, S4
//   0xA0+c F-number low byte, 0xA4+c block and F-number bits 10-8 (latched until 0xA0)
//   0xB0+c FB/ALG, 0xB4+c pan (bits 7-6)

namespace {
// Register offset of operators S1..S4 within a parameter group.
constexpr std::array<std::uint8_t, 4> OperatorOffset{0, 8, 4, 12};
} // namespace

TOpnFmComposer::TOpnFmComposer(TS98Builder& Builder, std::uint8_t Device, double Clock)
    : Clock(Clock), Out(Builder), Device(Device) {}

void TOpnFmComposer::Write(std::uint8_t Port, std::uint8_t Register, std::uint8_t Value) {
    Out.Write(Device, Port, Register, Value);
}

void TOpnFmComposer::FmWrite(int Channel, std::uint8_t Base, std::uint8_t Value) {
    Write(PortOf(Channel), static_cast<std::uint8_t>(Base + CodeOf(Channel)), Value);
}

void TOpnFmComposer::OperatorWrite(int Channel, int Operator, std::uint8_t Base,
                                   std::uint8_t Value) {
    FmWrite(Channel, static_cast<std::uint8_t>(Base + OperatorOffset[Operator & 3]), Value);
}

void TOpnFmComposer::SetVoice(int Channel, const TFmVoice& Voice) {
    // Algorithm first, so that a reader who takes the loudness from the carriers at each
    // level write knows which operators are the carriers.
    FmWrite(Channel, 0xB0,
            static_cast<std::uint8_t>((Voice.Feedback & 7) << 3 | (Voice.Algorithm & 7)));
    for (int k = 0; k < 4; ++k) {
        const TFmOperator& Op = Voice.Operators[k];
        OperatorWrite(Channel, k, 0x30,
                      static_cast<std::uint8_t>((Op.Detune & 7) << 4 | (Op.Multiple & 15)));
        OperatorWrite(Channel, k, 0x40, Op.TotalLevel & 0x7F);
        OperatorWrite(Channel, k, 0x50,
                      static_cast<std::uint8_t>((Op.KeyScale & 3) << 6 | (Op.AttackRate & 31)));
        OperatorWrite(
            Channel, k, 0x60,
            static_cast<std::uint8_t>((Op.AmplitudeMod ? 0x80 : 0) | (Op.DecayRate & 31)));
        OperatorWrite(Channel, k, 0x70, Op.SustainRate & 31);
        OperatorWrite(
            Channel, k, 0x80,
            static_cast<std::uint8_t>((Op.SustainLevel & 15) << 4 | (Op.ReleaseRate & 15)));
        OperatorWrite(Channel, k, 0x90, 0);
    }
}

void TOpnFmComposer::SetPan(int Channel, TPan Pan) {
    FmWrite(Channel, 0xB4, static_cast<std::uint8_t>(Pan));
}

void TOpnFmComposer::SetTotalLevel(int Channel, int Operator, std::uint8_t Level) {
    OperatorWrite(Channel, Operator, 0x40, Level & 0x7F);
}

void TOpnFmComposer::SetPitch(int Channel, int Key, double Cents) {
    const TFmPitch P = FmPitchOf(Clock, Key, Cents);
    // The block and high bits are latched; the low byte makes them take effect.
    FmWrite(Channel, 0xA4, static_cast<std::uint8_t>(P.Block << 3 | (P.FNumber >> 8)));
    FmWrite(Channel, 0xA0, static_cast<std::uint8_t>(P.FNumber & 0xFF));
}

void TOpnFmComposer::NoteOn(int Channel, int Key) {
    NoteOff(Channel);
    SetPitch(Channel, Key);
    Write(0, 0x28, static_cast<std::uint8_t>(0xF0 | PortOf(Channel) << 2 | CodeOf(Channel)));
}

void TOpnFmComposer::NoteOff(int Channel) {
    Write(0, 0x28, static_cast<std::uint8_t>(PortOf(Channel) << 2 | CodeOf(Channel)));
}

void TOpnFmComposer::AllNotesOff() {
    for (int Channel = 0; Channel < 6; ++Channel)
        NoteOff(Channel);
}

double TOpnFmComposer::KeyFrequency(int Key, double Cents) {
    return 440.0 * std::exp2((Key - 69 + Cents / 100.0) / 12.0);
}

// The chip sounds Clock / 72 x F-number / 2^(22 - block) Hz; the block is the octave
// (key 60 in block 4), so F-numbers stay in the usual 600..1200 range.
TFmPitch TOpnFmComposer::FmPitchOf(double Clock, int Key, double Cents) {
    const int Block = std::clamp(Key / 12 - 1, 0, 7);
    const double F = KeyFrequency(Key, Cents) * 72.0 * std::ldexp(1.0, 22 - Block) / Clock;
    const long Rounded = std::lround(F);
    return {static_cast<std::uint16_t>(std::clamp(Rounded, 1L, 2047L)),
            static_cast<std::uint8_t>(Block)};
}

} // namespace varnhold::tools
