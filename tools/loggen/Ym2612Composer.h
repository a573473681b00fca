// Register traffic for one YM2612 in an S98 log, in musical terms: FM voices on six
// channels, notes from MIDI keys with a fine offset in cents. Used by the benchmark logs.
#pragma once

#include <cstdint>

#include "S98Builder.h"
#include "Ym2608Composer.h"

namespace varnhold::tools {

class TYm2612Composer {
public:
    static constexpr double DefaultClock = 7670453.0;

    explicit TYm2612Composer(TS98Builder& Builder, std::uint8_t Device = 0,
                             double Clock = DefaultClock);

    // LFO, timers and DAC off, every key released.
    void Init();

    // Channels are 0..5 (0-2 on port 0, 3-5 on port 1).
    void SetVoice(int Channel, const TFmVoice& Voice);
    void SetPan(int Channel, TPan Pan);
    void NoteOn(int Channel, int Key);
    void NoteOff(int Channel);
    void SetPitch(int Channel, int Key, double Cents = 0);
    void SetTotalLevel(int Channel, int Operator, std::uint8_t Level);

    void Write(std::uint8_t Port, std::uint8_t Register, std::uint8_t Value);

private:
    TS98Builder& Out;
    std::uint8_t Device;
    double Clock;

    static std::uint8_t PortOf(int Channel) { return Channel >= 3 ? 1 : 0; }
    static std::uint8_t CodeOf(int Channel) { return static_cast<std::uint8_t>(Channel % 3); }
    void FmWrite(int Channel, std::uint8_t Base, std::uint8_t Value);
    void OperatorWrite(int Channel, int Operator, std::uint8_t Base, std::uint8_t Value);
};

} // namespace varnhold::tools
