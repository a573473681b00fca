// Register model of the YM3812. (Placeholder until the model lands.)
#pragma once

#include "chips/SndBaseU.h"

namespace varnhold {

class TSndYM3812 : public TSndDevice {
public:
    static const TSndDeviceClass Class;
    TSndYM3812();
    void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value) override;
};

} // namespace varnhold
