#include "Sn76489Composer.h"

#include <algorithm>
#include <cmath>

#include "Ym2608Composer.h"

namespace varnhold::tools {

// Latch byte 1 c c t d d d d (cc channel, t = 1 attenuation, dddd low period bits or the
// attenuation); data byte 0 0 d d d d d d (period bits 9-4). The S98 register byte is unused.

TSn76489Composer::TSn76489Composer(TS98Builder& Builder, std::uint8_t Device, double Clock)
    : Out(Builder), Device(Device), Clock(Clock) {}

void TSn76489Composer::Byte(std::uint8_t Value) {
    Out.Write(Device, 0, 0, Value);
}

void TSn76489Composer::Init() {
    for (int Channel = 0; Channel < 4; ++Channel)
        Attenuation(Channel, 15);
}

std::uint16_t TSn76489Composer::PeriodOf(double Clock, int Key, double Cents) {
    const long Period = std::lround(Clock / (32.0 * TYm2608Composer::KeyFrequency(Key, Cents)));
    return static_cast<std::uint16_t>(std::clamp(Period, 1L, 1023L));
}

void TSn76489Composer::Tone(int Channel, int Key, double Cents) {
    const std::uint16_t Period = PeriodOf(Clock, Key, Cents);
    Byte(static_cast<std::uint8_t>(0x80 | (Channel & 3) << 5 | (Period & 0x0F)));
    Byte(static_cast<std::uint8_t>((Period >> 4) & 0x3F));
}

void TSn76489Composer::Attenuation(int Channel, std::uint8_t Level) {
    Byte(static_cast<std::uint8_t>(0x90 | (Channel & 3) << 5 | (Level & 0x0F)));
}

void TSn76489Composer::Noise(std::uint8_t Mode) {
    Byte(static_cast<std::uint8_t>(0xE0 | (Mode & 0x07)));
}

} // namespace varnhold::tools
