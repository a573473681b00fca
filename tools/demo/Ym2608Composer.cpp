#include "Ym2608Composer.h"

#include <algorithm>
#include <cmath>

namespace varnhold::tools {

TYm2608Composer::TYm2608Composer(TS98Builder& Builder, std::uint8_t Device, double Clock)
    : TOpnFmComposer(Builder, Device, Clock) {}

void TYm2608Composer::Init() {
    Write(0, 0x29, 0x80); // six FM channels
    Write(0, 0x22, 0x00); // LFO off
    Write(0, 0x27, 0x30); // timers off, channel 3 in normal mode
    AllNotesOff();
    for (int Channel = 0; Channel < 3; ++Channel)
        SsgOff(Channel);
    SsgMixer(0x38);
    Write(0, 0x10, 0xBF); // stop every rhythm instrument
    RhythmTotalLevel(63);
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

// The SSG sounds Clock / (64 x period) Hz.
std::uint16_t TYm2608Composer::SsgPeriodOf(double Clock, int Key) {
    const long Period = std::lround(Clock / (64.0 * KeyFrequency(Key)));
    return static_cast<std::uint16_t>(std::clamp(Period, 1L, 4095L));
}

} // namespace varnhold::tools
