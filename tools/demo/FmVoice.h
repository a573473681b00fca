// Four-operator FM voices as the composers write them, in register units, and the output
// pan bits, which the OPN and OPM families place alike.
#pragma once

#include <array>
#include <cstdint>

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

// An operator in one line of a voice table: detune, multiple, total level, attack, decay,
// sustain rate, sustain level, release and key scale.
constexpr TFmOperator FmOp(std::uint8_t Dt, std::uint8_t Mul, std::uint8_t Tl, std::uint8_t Ar,
                           std::uint8_t Dr, std::uint8_t Sr, std::uint8_t Sl, std::uint8_t Rr,
                           std::uint8_t Ks = 0) {
    return {.Detune = Dt,
            .Multiple = Mul,
            .TotalLevel = Tl,
            .KeyScale = Ks,
            .AttackRate = Ar,
            .DecayRate = Dr,
            .SustainRate = Sr,
            .SustainLevel = Sl,
            .ReleaseRate = Rr};
}

// A four-operator voice; Operators[k] is slot k + 1 (S1..S4).
struct TFmVoice {
    std::uint8_t Algorithm = 0; // 0..7
    std::uint8_t Feedback = 0;  // 0..7
    std::array<TFmOperator, 4> Operators{};
};

enum class TPan : std::uint8_t { Centre = 0xC0, Left = 0x80, Right = 0x40 };

} // namespace varnhold::tools
