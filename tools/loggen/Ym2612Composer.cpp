#include "Ym2612Composer.h"

#include <array>

namespace varnhold::tools {

// The FM registers match the YM2608's (operator groups 0x30-0x90 with offsets +0, +4, +8,
// +12 for S1, S3, S2, S4; F-number 0xA0/0xA4; FB/ALG 0xB0; pan 0xB4), and so does the
// pitch formula. Port 0 only: 0x22 LFO, 0x27 timers, 0x28 key on, 0x2B DAC enable.

namespace {
constexpr std::array<std::uint8_t, 4> OperatorOffset{0, 8, 4, 12};
} // namespace

TYm2612Composer::TYm2612Composer(TS98Builder& Builder, std::uint8_t Device, double Clock)
    : Out(Builder), Device(Device), Clock(Clock) {}

void TYm2612Composer::Write(std::uint8_t Port, std::uint8_t Register, std::uint8_t Value) {
    Out.Write(Device, Port, Register, Value);
}

void TYm2612Composer::Init() {
    Write(0, 0x22, 0x00);
    Write(0, 0x27, 0x00);
    Write(0, 0x2B, 0x00);
    for (int Channel = 0; Channel < 6; ++Channel)
        NoteOff(Channel);
}

void TYm2612Composer::FmWrite(int Channel, std::uint8_t Base, std::uint8_t Value) {
    Write(PortOf(Channel), static_cast<std::uint8_t>(Base + CodeOf(Channel)), Value);
}

void TYm2612Composer::OperatorWrite(int Channel, int Operator, std::uint8_t Base,
                                    std::uint8_t Value) {
    FmWrite(Channel, static_cast<std::uint8_t>(Base + OperatorOffset[Operator & 3]), Value);
}

void TYm2612Composer::SetVoice(int Channel, const TFmVoice& Voice) {
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

void TYm2612Composer::SetPan(int Channel, TPan Pan) {
    FmWrite(Channel, 0xB4, static_cast<std::uint8_t>(Pan));
}

void TYm2612Composer::SetTotalLevel(int Channel, int Operator, std::uint8_t Level) {
    OperatorWrite(Channel, Operator, 0x40, Level & 0x7F);
}

void TYm2612Composer::SetPitch(int Channel, int Key, double Cents) {
    const TFmPitch P = TYm2608Composer::FmPitchOf(Clock, Key, Cents);
    FmWrite(Channel, 0xA4, static_cast<std::uint8_t>(P.Block << 3 | (P.FNumber >> 8)));
    FmWrite(Channel, 0xA0, static_cast<std::uint8_t>(P.FNumber & 0xFF));
}

void TYm2612Composer::NoteOn(int Channel, int Key) {
    NoteOff(Channel);
    SetPitch(Channel, Key);
    Write(0, 0x28, static_cast<std::uint8_t>(0xF0 | PortOf(Channel) << 2 | CodeOf(Channel)));
}

void TYm2612Composer::NoteOff(int Channel) {
    Write(0, 0x28, static_cast<std::uint8_t>(PortOf(Channel) << 2 | CodeOf(Channel)));
}

} // namespace varnhold::tools
