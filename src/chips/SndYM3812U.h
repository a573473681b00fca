// Register model of the YM3812 and YM3526 (two-operator OPL family).
//
// The family's registers are not interpreted: every write is accepted and ignored, so a log
// of such a device yields only what its converter writes by itself. It still counts as a
// converting model (unlike TSndNothing) and gets an output of its own in per-device mode.
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
