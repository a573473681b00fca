#include "chips/SndYM2203U.h"

#include <memory>

namespace varnhold {

const TSndDeviceClass TSndYM2203::Class{
    "TSndYM2203", []() -> std::unique_ptr<TSndDevice> { return std::make_unique<TSndYM2203>(); }};

} // namespace varnhold
