// Register model of the SN76489. (Placeholder until the model lands.)
#pragma once

#include "chips/SndBaseU.h"

namespace varnhold {

class TSndSN76489 : public TSndDevice {
public:
    static const TSndDeviceClass Class;
    TSndSN76489();
    void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value) override;
};

} // namespace varnhold
