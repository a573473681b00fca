// Register model of the YM2612 (OPN2): six four-operator FM channels on two ports.
#pragma once

#include <array>
#include <cstdint>

#include "chips/SndBaseU.h"

namespace varnhold {

struct TChannelState;

class TSndYM2612 : public TSndDevice {
public:
    static const TSndDeviceClass Class;

    std::array<std::uint16_t, 16> FNumber{}; // latched 11-bit F-number per channel
    std::array<std::uint8_t, 16> Block{};    // latched block per channel

    TSndYM2612();

    void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value) override;

    // Channel 0-5 of a channel code (port x 4 + code for 0x30-0xB7, port x 8 + code for
    // the key-on register).
    static std::uint8_t ChannelOf(std::uint8_t Index);
    // Whether operator Op only modulates others (is not heard directly) in Algorithm.
    static bool IsModulator(std::uint8_t Algorithm, std::uint8_t Op);

private:
    static void WriteKeyOnOff(TStateConv& Converter, std::uint8_t Port, std::uint8_t Value);
    static void WriteOperator(TChannelState& R, std::uint8_t Register, std::uint8_t Value);
    static void WriteAlgorithm(TChannelState& R, std::uint8_t Value);
    static void WritePanAndSensitivity(TChannelState& R, std::uint8_t Value);
    void UpdatePitch(TStateConv& Converter, std::uint8_t Channel) const;
};

} // namespace varnhold
