#include "Ym2612Composer.h"

namespace varnhold::tools {

// Port 0 only: 0x22 LFO, 0x27 timers, 0x2B DAC enable; the rest is TOpnFmComposer's.

TYm2612Composer::TYm2612Composer(TS98Builder& Builder, std::uint8_t Device, double Clock)
    : TOpnFmComposer(Builder, Device, Clock) {}

void TYm2612Composer::Init() {
    Write(0, 0x22, 0x00);
    Write(0, 0x27, 0x00);
    Write(0, 0x2B, 0x00);
    AllNotesOff();
}

} // namespace varnhold::tools
