#include "chips/SndYM2612U.h"

#include <memory>
#include <stdexcept>

namespace varnhold {

const TSndDeviceClass TSndYM2612::Class{"TSndYM2612", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2612>(); }};

TSndYM2612::TSndYM2612() { SetClock(3579545.0); }

void TSndYM2612::WriteRegister(TStateConv&, std::uint8_t, std::uint8_t, std::uint8_t) {
    throw std::logic_error("TSndYM2612: this chip model is not built yet");
}

} // namespace varnhold
