// Register traffic for one SN76489 in an S98 log: three tone channels and the noise
// channel, each byte one write. Used by the benchmark logs.
#pragma once

#include <cstdint>

#include "S98Builder.h"

namespace varnhold::tools {

class TSn76489Composer {
public:
    static constexpr double DefaultClock = 3579545.0;

    explicit TSn76489Composer(TS98Builder& Builder, std::uint8_t Device = 0,
                              double Clock = DefaultClock);

    // Every channel silent.
    void Init();

    // Tone channels 0..2: the period of MIDI key Key plus Cents (keys below about A2 do
    // not fit the ten-bit period and are clamped).
    void Tone(int Channel, int Key, double Cents = 0);
    // Attenuation 0 (loudest) .. 15 (off), channels 0..3.
    void Attenuation(int Channel, std::uint8_t Level);
    // Noise control: bit 2 white noise, bits 1-0 rate.
    void Noise(std::uint8_t Mode);

    static std::uint16_t PeriodOf(double Clock, int Key, double Cents = 0);

private:
    TS98Builder& Out;
    std::uint8_t Device;
    double Clock;

    void Byte(std::uint8_t Value);
};

} // namespace varnhold::tools
