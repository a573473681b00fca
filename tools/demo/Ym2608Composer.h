// Register traffic for one YM2608 in an S98 log, written in musical terms: FM voices, notes
// from MIDI keys, SSG notes and rhythm strikes. Used by the example-tune generator, the
// tests and the benchmark logs.
#pragma once

#include <cstdint>

#include "OpnFmComposer.h"
#include "S98Builder.h"

namespace varnhold::tools {

// The FM part (voices, pan, notes on channels 0..5) comes from TOpnFmComposer.
class TYm2608Composer : public TOpnFmComposer {
public:
    static constexpr double DefaultClock = 7987200.0;

    // Writes go to device Device of Builder; Clock is the chip clock the pitches are for.
    explicit TYm2608Composer(TS98Builder& Builder, std::uint8_t Device = 0,
                             double Clock = DefaultClock);

    // Six-channel mode, LFO and timers off, every FM key released, SSG silent and tone
    // only, rhythm total level at its loudest.
    void Init();

    // SSG channels are 0..2 (A-C). Level 0..15 (15 loudest, 0 silent).
    void SsgMixer(std::uint8_t Value);
    void SsgNote(int Channel, int Key, std::uint8_t Level);
    void SsgOff(int Channel);

    // Rhythm instruments 0..5: bass drum, snare, top cymbal, hi-hat, tom, rim shot.
    void RhythmTotalLevel(std::uint8_t Level); // 0..63, 63 loudest
    void RhythmLevel(int Instrument, std::uint8_t Level, TPan Pan = TPan::Centre); // 0..31
    void Strike(std::uint8_t InstrumentMask);

    static std::uint16_t SsgPeriodOf(double Clock, int Key);
};

} // namespace varnhold::tools
