// The FM part that the OPN chips (YM2608, YM2612) share, in musical terms: voices, pan,
// notes from MIDI keys with a fine offset in cents. The chip composers derive from it and
// add their own set-up and their other units.
#pragma once

#include <cstdint>

#include "FmVoice.h"
#include "S98Builder.h"

namespace varnhold::tools {

// F-number and block of a pitch.
struct TFmPitch {
    std::uint16_t FNumber; // 11 bits
    std::uint8_t Block;    // 0..7
};

class TOpnFmComposer {
public:
    // Channels are 0..5 (0-2 on port 0, 3-5 on port 1).
    void SetVoice(int Channel, const TFmVoice& Voice);
    void SetPan(int Channel, TPan Pan);
    // Sets the pitch of MIDI key Key and keys the channel on (released first, so that a
    // repeated key strikes again). The key sounds as written when the voice's lowest
    // operator multiple is 1.
    void NoteOn(int Channel, int Key);
    void NoteOff(int Channel);
    // Releases channels 0..5 in order.
    void AllNotesOff();
    // A new pitch without a new strike (a slur or a bend).
    void SetPitch(int Channel, int Key, double Cents = 0);
    // Total level of one operator (k = slot k + 1), e.g. a carrier for a swell.
    void SetTotalLevel(int Channel, int Operator, std::uint8_t Level);

    void Wait(std::uint32_t Syncs) { Out.Wait(Syncs); }
    // Any register, for what the helpers above do not cover.
    void Write(std::uint8_t Port, std::uint8_t Register, std::uint8_t Value);

    static TFmPitch FmPitchOf(double Clock, int Key, double Cents = 0);
    static double KeyFrequency(int Key, double Cents = 0);

protected:
    // Writes go to device Device of Builder; Clock is the chip clock the pitches are for.
    TOpnFmComposer(TS98Builder& Builder, std::uint8_t Device, double Clock);

    const double Clock;

private:
    TS98Builder& Out;
    std::uint8_t Device;

    static std::uint8_t PortOf(int Channel) { return Channel >= 3 ? 1 : 0; }
    static std::uint8_t CodeOf(int Channel) { return static_cast<std::uint8_t>(Channel % 3); }
    void FmWrite(int Channel, std::uint8_t Base, std::uint8_t Value);
    void OperatorWrite(int Channel, int Operator, std::uint8_t Base, std::uint8_t Value);
};

} // namespace varnhold::tools
