#include "chips/SndSN76489U.h"

#include <memory>
#include <stdexcept>

namespace varnhold {

const TSndDeviceClass TSndSN76489::Class{"TSndSN76489", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndSN76489>(); }};

TSndSN76489::TSndSN76489() { SetClock(3579545.0); }

void TSndSN76489::WriteRegister(TStateConv&, std::uint8_t, std::uint8_t, std::uint8_t) {
    throw std::logic_error("TSndSN76489: this chip model is not built yet");
}

} // namespace varnhold
