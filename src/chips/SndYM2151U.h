// Register model of the YM2151 (OPM): eight four-operator FM channels behind one port.
#pragma once

#include <array>
#include <cstdint>

#include "chips/SndBaseU.h"

namespace varnhold {

struct TChannelState;
struct TOperatorState;

class TSndYM2151 : public TSndDevice {
public:
    static const TSndDeviceClass Class;

    // Frequency of each 7-bit key code (octave in bits 4-6, note code in bits 0-3), in the
    // units of the pitch formula. Unused note codes 3, 7, 11 repeat codes 4, 8, 12; code 15
    // is the next octave's code 0.
    static const std::array<double, 128> KeyCodeFrequency;

    std::array<std::uint8_t, 8> KeyCode{};     // latched key code per chip channel
    std::array<std::uint8_t, 8> KeyFraction{}; // latched key fraction, 1/32 semitone

    TSndYM2151();

    void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value) override;

private:
    TChannelState& Record(TStateConv& Converter, std::uint8_t ChipChannel) const;
    void WriteKeyOnOff(TStateConv& Converter, std::uint8_t Value) const;
    static void WriteChannelControl(TChannelState& R, std::uint8_t Value);
    static void WriteOperator(TChannelState& R, std::uint8_t Register, std::uint8_t Value);
    void UpdatePitch(TStateConv& Converter, std::uint8_t ChipChannel) const;
};

} // namespace varnhold
