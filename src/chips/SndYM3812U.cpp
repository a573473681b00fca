#include "chips/SndYM3812U.h"

#include <memory>

namespace varnhold {

const TSndDeviceClass TSndYM3812::Class{
    "TSndYM3812", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM3812>(); }};

TSndYM3812::TSndYM3812() {
    SetClock(3579545.0);
    SetChannelMapRow(0);
}

void TSndYM3812::WriteRegister(TStateConv&, std::uint8_t, std::uint8_t, std::uint8_t) {}

} // namespace varnhold
