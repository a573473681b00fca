// The YM2203 (OPN) is served by the YM2608 model unchanged.
#pragma once

#include "chips/SndYM2608U.h"

namespace varnhold {

class TSndYM2203 : public TSndYM2608 {
public:
    static const TSndDeviceClass Class;
};

} // namespace varnhold
