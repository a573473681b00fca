// Register model of the YM2413: nine two-operator FM channels playing fifteen built-in
// instruments or one user instrument, and a rhythm mode with five percussion instruments.
#pragma once

#include <array>
#include <cstdint>

#include "chips/SndBaseU.h"

namespace varnhold {

class TSndYM2413 : public TSndDevice {
public:
    static const TSndDeviceClass Class;

    using TPatch = std::array<std::uint8_t, 8>; // instrument bytes in register order 0x00..0x07
    // Entry 0 is the initial user instrument, entries 1..15 the chip's built-in instruments.
    static const std::array<TPatch, 16> BuiltInPatches;

    bool MelodicMode = false;                  // false: registers 0x36..0x38 are rhythm volumes
    std::array<std::uint8_t, 9> FNumberLow{};  // F-number bits 7..0
    std::array<std::uint8_t, 9> FNumberHigh{}; // F-number bit 8
    std::array<std::uint8_t, 9> Block{};       // 0..7
    std::array<std::uint8_t, 9> KeyState{};    // key bit
    std::array<std::uint8_t, 9> Instrument{};  // 0..15
    std::array<TPatch, 16> Patches{};          // entry 0 is the user instrument

    TSndYM2413();
    void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value) override;

    // Copies instrument InstrumentNumber into the voice fields of converter channel Channel.
    void LoadVoice(TStateConv& Converter, std::uint8_t InstrumentNumber, std::uint8_t Channel);

private:
    void WriteUserInstrument(TStateConv& Converter, std::uint8_t Register, std::uint8_t Value);
    void WriteRhythmControl(TStateConv& Converter, std::uint8_t Value);
    void WriteKeyBlock(TStateConv& Converter, std::uint8_t n, std::uint8_t Value);
    void WriteInstrumentVolume(TStateConv& Converter, std::uint8_t n, std::uint8_t Value);
    void WriteRhythmVolume(TStateConv& Converter, std::uint8_t Register, std::uint8_t Value);
    void UpdatePitch(TStateConv& Converter, std::uint8_t n);
};

} // namespace varnhold
