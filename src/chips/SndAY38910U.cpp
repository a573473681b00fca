#include "chips/SndAY38910U.h"

#include <memory>
#include <stdexcept>

namespace varnhold {

const TSndDeviceClass TSndAY38910::Class{"TSndAY38910", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndAY38910>(); }};

TSndAY38910::TSndAY38910() { SetClock(3579545.0); }

void TSndAY38910::WriteRegister(TStateConv&, std::uint8_t, std::uint8_t, std::uint8_t) {
    throw std::logic_error("TSndAY38910: this chip model is not built yet");
}

} // namespace varnhold

namespace varnhold {

const TSndDeviceClass TSndYM2149::Class{
    "TSndYM2149", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2149>(); }};

} // namespace varnhold
