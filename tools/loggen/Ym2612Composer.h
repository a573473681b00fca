// Register traffic for one YM2612 in an S98 log, in musical terms: FM voices on six
// channels, notes from MIDI keys with a fine offset in cents. Used by the benchmark logs.
#pragma once

#include <cstdint>

#include "OpnFmComposer.h"
#include "S98Builder.h"

namespace varnhold::tools {

// The FM registers and the pitch formula are the YM2608's, so all but the set-up comes
// from TOpnFmComposer.
class TYm2612Composer : public TOpnFmComposer {
public:
    static constexpr double DefaultClock = 7670453.0;

    explicit TYm2612Composer(TS98Builder& Builder, std::uint8_t Device = 0,
                             double Clock = DefaultClock);

    // LFO, timers and DAC off, every key released.
    void Init();
};

} // namespace varnhold::tools
