#include "Ym2608Composer.h"

#include <algorithm>
#include <cmath>

namespace varnhold::tools {

namespace {
// Register offset of operators S1..S4 within a parameter group.
constexpr std::array<std::uint8_t, 4> OperatorOffset{0, 8, 4, 12};
} // namespace

TYm2608Composer::TYm2608Composer(TS98Builder& Builder, std::uint8_t Device, double Clock)
    : Out(Builder), Device(Device), Clock(Clock) {}

void TYm2608Composer::Write(std::uint8_t Port, std::uint8_t Register, std::uint8_t Value) {
    Out.Write(Device, Port, Register, Value);
}

void TYm2608Composer::Init() {
    Write(0, 0x29, 0x80); // six FM channels
    Write(0, 0x22, 0x00); // LFO off
    Write(0, 0x27, 0x30); // timers off, channel 3 in normal mode
    for (int Channel = 0; Channel < 6; ++Channel)
        NoteOff(Channel);
    for (int Channel = 0; Channel < 3; ++Channel)
        SsgOff(Channel);
    SsgMixer(0x38);
    Write(0, 0x10, 0xBF); // stop every rhythm instrument
    RhythmTotalLevel(63);
}

void TYm2608Composer::FmWrite(int Channel, std::uint8_t Base, std::uint8_t Value) {
    Write(PortOf(Channel), static_cast<std::uint8_t>(Base + CodeOf(Channel)), Value);
}

void TYm2608Composer::OperatorWrite(int Channel, int Operator, std::uint8_t Base,
                                    std::uint8_t Value) {
    FmWrite(Channel, static_cast<std::uint8_t>(Base + OperatorOffset[Operator & 3]), Value);
}

void TYm2608Composer::SetVoice(int Channel, const TFmVoice& Voice) {
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

void TYm2608Composer::SetPan(int Channel, TPan Pan) {
    FmWrite(Channel, 0xB4, static_cast<std::uint8_t>(Pan));
}

void TYm2608Composer::SetTotalLevel(int Channel, int Operator, std::uint8_t Level) {
    OperatorWrite(Channel, Operator, 0x40, Level & 0x7F);
}

void TYm2608Composer::SetPitch(int Channel, int Key, double Cents) {
    const TFmPitch P = FmPitchOf(Clock, Key, Cents);
    // The block and high bits are latched; the low byte makes them take effect.
    FmWrite(Channel, 0xA4, static_cast<std::uint8_t>(P.Block << 3 | (P.FNumber >> 8)));
    FmWrite(Channel, 0xA0, static_cast<std::uint8_t>(P.FNumber & 0xFF));
}

void TYm2608Composer::NoteOn(int Channel, int Key) {
    NoteOff(Channel);
    SetPitch(Channel, Key);
    Write(0, 0x28, static_cast<std::uint8_t>(0xF0 | PortOf(Channel) << 2 | CodeOf(Channel)));
}

void TYm2608Composer::NoteOff(int Channel) {
    Write(0, 0x28, static_cast<std::uint8_t>(PortOf(Channel) << 2 | CodeOf(Channel)));
}

void TYm2608Composer::SsgMixer(std::uint8_t Value) {
    Write(0, 0x07, Value);
}

void TYm2608Composer::SsgNote(int Channel, int Key, std::uint8_t Level) {
    const std::uint16_t Period = SsgPeriodOf(Clock, Key);
    const auto c = static_cast<std::uint8_t>(Channel % 3);
    Write(0, static_cast<std::uint8_t>(2 * c), Period & 0xFF);
    Write(0, static_cast<std::uint8_t>(2 * c + 1), static_cast<std::uint8_t>(Period >> 8));
    Write(0, static_cast<std::uint8_t>(8 + c), Level & 15);
}

void TYm2608Composer::SsgOff(int Channel) {
    Write(0, static_cast<std::uint8_t>(8 + Channel % 3), 0);
}

void TYm2608Composer::RhythmTotalLevel(std::uint8_t Level) {
    Write(0, 0x11, Level & 0x3F);
}

void TYm2608Composer::RhythmLevel(int Instrument, std::uint8_t Level, TPan Pan) {
    Write(0, static_cast<std::uint8_t>(0x18 + Instrument % 6),
          static_cast<std::uint8_t>(static_cast<std::uint8_t>(Pan) | (Level & 31)));
}

void TYm2608Composer::Strike(std::uint8_t InstrumentMask) {
    if (InstrumentMask & 0x3F) Write(0, 0x10, InstrumentMask & 0x3F);
}

double TYm2608Composer::KeyFrequency(int Key, double Cents) {
    return 440.0 * std::exp2((Key - 69 + Cents / 100.0) / 12.0);
}

// The chip sounds Clock / 72 x F-number / 2^(22 - block) Hz; the block is the octave
// (key 60 in block 4), so F-numbers stay in the usual 600..1200 range.
TFmPitch TYm2608Composer::FmPitchOf(double Clock, int Key, double Cents) {
    const int Block = std::clamp(Key / 12 - 1, 0, 7);
    const double F = KeyFrequency(Key, Cents) * 72.0 * std::ldexp(1.0, 22 - Block) / Clock;
    const long Rounded = std::lround(F);
    return {static_cast<std::uint16_t>(std::clamp(Rounded, 1L, 2047L)),
            static_cast<std::uint8_t>(Block)};
}

// The SSG sounds Clock / (64 x period) Hz.
std::uint16_t TYm2608Composer::SsgPeriodOf(double Clock, int Key) {
    const long Period = std::lround(Clock / (64.0 * KeyFrequency(Key)));
    return static_cast<std::uint16_t>(std::clamp(Period, 1L, 4095L));
}

} // namespace varnhold::tools
