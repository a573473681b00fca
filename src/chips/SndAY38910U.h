// Register model of the AY38910. (Placeholder until the model lands.)
#pragma once

#include "chips/SndBaseU.h"

namespace varnhold {

class TSndAY38910 : public TSndDevice {
public:
    static const TSndDeviceClass Class;
    TSndAY38910();
    void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value) override;
};

} // namespace varnhold

namespace varnhold {

// The YM2149 is served by the AY-3-8910 model unchanged.
class TSndYM2149 : public TSndAY38910 {
public:
    static const TSndDeviceClass Class;
};

} // namespace varnhold
