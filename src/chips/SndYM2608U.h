// Register model of the YM2608. (Placeholder until the model lands.)
#pragma once

#include "chips/SndBaseU.h"

namespace varnhold {

class TSndYM2608 : public TSndDevice {
public:
    static const TSndDeviceClass Class;
    TSndYM2608();
    void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value) override;
};

} // namespace varnhold
