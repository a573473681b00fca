#include "chips/SndYM2608U.h"

#include <memory>
#include <stdexcept>

namespace varnhold {

const TSndDeviceClass TSndYM2608::Class{"TSndYM2608", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2608>(); }};

TSndYM2608::TSndYM2608() { SetClock(3579545.0); }

void TSndYM2608::WriteRegister(TStateConv&, std::uint8_t, std::uint8_t, std::uint8_t) {
    throw std::logic_error("TSndYM2608: this chip model is not built yet");
}

} // namespace varnhold
