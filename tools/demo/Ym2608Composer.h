// Register traffic for one YM2608 in an S98 log, written in musical terms: FM voices, notes
// from MIDI keys, SSG notes and rhythm strikes. Used by the example-tune generator, the
// tests and the benchmark logs.
#pragma once

#include <array>
#include <cstdint>

#include "S98Builder.h"

namespace varnhold::tools {

// One FM operator as the chip holds it (rates and levels in register units).
struct TFmOperator {
    std::uint8_t Detune = 0;     // 0..7
    std::uint8_t Multiple = 1;   // 0..15
    std::uint8_t TotalLevel = 0; // 0..127, 0 loudest
    std::uint8_t KeyScale = 0;   // 0..3
    std::uint8_t AttackRate = 31;
    std::uint8_t DecayRate = 0;
    std::uint8_t SustainRate = 0;
    std::uint8_t SustainLevel = 0; // 0..15
    std::uint8_t ReleaseRate = 7;  // 0..15
    bool AmplitudeMod = false;
};

// A four-operator voice; Operators[k] is slot k + 1 (S1..S4).
struct TFmVoice {
    std::uint8_t Algorithm = 0; // 0..7
    std::uint8_t Feedback = 0;  // 0..7
    std::array<TFmOperator, 4> Operators{};
};

enum class TPan : std::uint8_t { Centre = 0xC0, Left = 0x80, Right = 0x40 };

// F-number and block of a pitch.
struct TFmPitch {
    std::uint16_t FNumber; // 11 bits
    std::uint8_t Block;    // 0..7
};

class TYm2608Composer {
public:
    static constexpr double DefaultClock = 7987200.0;

    // Writes go to device Device of Builder; Clock is the chip clock the pitches are for.
    explicit TYm2608Composer(TS98Builder& Builder, std::uint8_t Device = 0,
                             double Clock = DefaultClock);

    // Six-channel mode, LFO and timers off, every FM key released, SSG silent and tone
    // only, rhythm total level at its loudest.
    void Init();

    // FM channels are 0..5 (0-2 on port 0, 3-5 on port 1).
    void SetVoice(int Channel, const TFmVoice& Voice);
    void SetPan(int Channel, TPan Pan);
    // Sets the pitch of MIDI key Key and keys the channel on (released first, so that a
    // repeated key strikes again). The key sounds as written when the voice's lowest
    // operator multiple is 1.
    void NoteOn(int Channel, int Key);
    void NoteOff(int Channel);
    // A new pitch without a new strike (a slur or a bend).
    void SetPitch(int Channel, int Key, double Cents = 0);
    // Total level of one operator (k = slot k + 1), e.g. a carrier for a swell.
    void SetTotalLevel(int Channel, int Operator, std::uint8_t Level);

    // SSG channels are 0..2 (A-C). Level 0..15 (15 loudest, 0 silent).
    void SsgMixer(std::uint8_t Value);
    void SsgNote(int Channel, int Key, std::uint8_t Level);
    void SsgOff(int Channel);

    // Rhythm instruments 0..5: bass drum, snare, top cymbal, hi-hat, tom, rim shot.
    void RhythmTotalLevel(std::uint8_t Level); // 0..63, 63 loudest
    void RhythmLevel(int Instrument, std::uint8_t Level, TPan Pan = TPan::Centre); // 0..31
    void Strike(std::uint8_t InstrumentMask);

    void Wait(std::uint32_t Syncs) { Out.Wait(Syncs); }
    // Any register, for what the helpers above do not cover.
    void Write(std::uint8_t Port, std::uint8_t Register, std::uint8_t Value);

    static TFmPitch FmPitchOf(double Clock, int Key, double Cents = 0);
    static std::uint16_t SsgPeriodOf(double Clock, int Key);
    static double KeyFrequency(int Key, double Cents = 0);

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
