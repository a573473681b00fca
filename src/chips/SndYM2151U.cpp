#include "chips/SndYM2151U.h"

#include <memory>
#include <stdexcept>

namespace varnhold {

const TSndDeviceClass TSndYM2151::Class{"TSndYM2151", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2151>(); }};

TSndYM2151::TSndYM2151() { SetClock(3579545.0); }

void TSndYM2151::WriteRegister(TStateConv&, std::uint8_t, std::uint8_t, std::uint8_t) {
    throw std::logic_error("TSndYM2151: this chip model is not built yet");
}

} // namespace varnhold
