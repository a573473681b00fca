// Register model of the AY-3-8910 programmable sound generator and its twin, the YM2149:
// three square-wave tone channels, one shared noise generator, a mixer and 4-bit amplitudes.
#pragma once

#include <array>
#include <cstdint>

#include "chips/SndBaseU.h"

namespace varnhold {

class TSndAY38910 : public TSndDevice {
public:
    static const TSndDeviceClass Class;

    // Mixer modes: bit 0 set = tone disabled, bit 1 set = noise disabled.
    using enum TPsgMixerState;

    std::array<std::uint16_t, 4> TonePeriod{}; // 12-bit period per chip channel (0..2 used)
    std::array<std::uint16_t, 4> MixerMode{};  // per chip channel, from register 7 (0..2 used)

    TSndAY38910();
    void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value) override;

private:
    void UpdatePitch(TStateConv& Converter, std::uint8_t Channel);
    void UpdateMixer(TStateConv& Converter, std::uint8_t Value);
    void UpdateAmplitude(TStateConv& Converter, std::uint8_t Channel, std::uint8_t Value);
};

// The YM2149 is register-compatible; it has its own class only for its name in output files.
class TSndYM2149 : public TSndAY38910 {
public:
    static const TSndDeviceClass Class;
};

} // namespace varnhold
