// Register traffic for one YM2151 in an S98 log, in musical terms: FM voices, notes from
// MIDI keys with a fine offset in cents. Used by the benchmark logs.
#pragma once

#include <cstdint>

#include "FmVoice.h"
#include "S98Builder.h"

namespace varnhold::tools {

// Key code (octave in bits 6-4, note code in bits 3-0) and key fraction (bits 7-2).
struct TOpmPitch {
    std::uint8_t KeyCode;
    std::uint8_t KeyFraction;
};

class TYm2151Composer {
public:
    static constexpr double DefaultClock = 3579545.0;

    explicit TYm2151Composer(TS98Builder& Builder, std::uint8_t Device = 0);

    // LFO, noise and timers off, every key released.
    void Init();

    // Channels are 0..7. The pan travels with the algorithm in one register.
    void SetVoice(int Channel, const TFmVoice& Voice, TPan Pan = TPan::Centre);
    // Sets the pitch of MIDI key Key and keys the channel on (released first).
    void NoteOn(int Channel, int Key);
    void NoteOff(int Channel);
    // A new pitch without a new strike.
    void SetPitch(int Channel, int Key, double Cents = 0);
    void SetTotalLevel(int Channel, int Operator, std::uint8_t Level);

    void Write(std::uint8_t Register, std::uint8_t Value);

    // Key 13 (C#0) is key code 0 of octave 0; keys below it read as 13, above 108 as 108.
    static TOpmPitch PitchOf(int Key, double Cents = 0);

private:
    TS98Builder& Out;
    std::uint8_t Device;

    void OperatorWrite(int Channel, int Operator, std::uint8_t Base, std::uint8_t Value);
};

} // namespace varnhold::tools
