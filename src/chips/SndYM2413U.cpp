#include "chips/SndYM2413U.h"

#include <memory>
#include <stdexcept>

namespace varnhold {

const TSndDeviceClass TSndYM2413::Class{"TSndYM2413", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2413>(); }};

TSndYM2413::TSndYM2413() { SetClock(3579545.0); }

void TSndYM2413::WriteRegister(TStateConv&, std::uint8_t, std::uint8_t, std::uint8_t) {
    throw std::logic_error("TSndYM2413: this chip model is not built yet");
}

} // namespace varnhold
