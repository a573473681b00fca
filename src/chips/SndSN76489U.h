// Register model of the SN76489: three square-wave tone channels and one noise channel,
// programmed by single bytes written to one port.
#pragma once

#include <array>
#include <cstdint>

#include "chips/SndBaseU.h"

namespace varnhold {

class TSndSN76489 : public TSndDevice {
public:
    static const TSndDeviceClass Class;

    std::uint8_t LatchedChannel = 0;           // chip channel of the last latch byte, 0..3
    std::array<std::uint16_t, 4> TonePeriod{}; // 10-bit period; channel 3: noise control
    bool FirstWrite = true;                    // no byte has been processed yet

    TSndSN76489();
    // Only Value, the byte sent to the chip, has a meaning; Port and Register are ignored.
    void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value) override;

private:
    void SetUpChannels(TStateConv& Converter);
    void WriteLatch(TStateConv& Converter, std::uint8_t Value);
    void WriteData(TStateConv& Converter, std::uint8_t Value);
    void UpdatePitch(TStateConv& Converter);
};

} // namespace varnhold
