// Register model of the YM2608 (OPNA): six four-operator FM channels on two ports, three
// SSG square-wave channels and the six-instrument rhythm section. The YM2203 (OPN) is
// served by the same model (SndYM2203U).
#pragma once

#include <array>
#include <cstdint>

#include "chips/SndBaseU.h"

namespace varnhold {

struct TChannelState;

class TSndYM2608 : public TSndDevice {
public:
    static const TSndDeviceClass Class;

    // Slot indices: FM registers name slot port x 4 + channel code (3 and 7 name no
    // channel); the SSG channels A-C are slots 16-18.
    static constexpr std::uint8_t SsgSlot = 16;

    // SSG mixer states of one channel, from register 0x07.
    using enum TPsgMixerState;

    std::array<std::uint16_t, 4> SsgPeriod{}; // 12-bit tone period of SSG A-C (0..2 used)
    std::array<std::uint16_t, 4> SsgMixer{};  // mixer state of SSG A-C (0..2 used)
    std::array<std::uint8_t, 4> SsgMode{};    // SSG voice last applied: 0 tone, 1 noise, 2 both
    std::array<std::uint32_t, 8> FNumber{};   // latched 11-bit F-number per FM slot
    std::array<std::uint32_t, 8> Block{};     // latched block per FM slot

    TSndYM2608();

    void WriteRegister(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value) override;

    // The chip-local channel of a slot index (0-7 FM, 16-18 SSG): 0-2 FM 1-3, 3-5 FM 4-6,
    // 6-8 SSG A-C, 15 for the channel code that names no channel.
    static std::uint8_t LocalChannelOf(std::uint8_t Slot);

    // Sounding frequencies in Hz; 0 for period or F-number 0. LowestMultiple is the
    // smallest operator multiple of the FM channel's voice (0..15).
    long double SsgFrequency(std::uint8_t SsgChannel) const;
    long double FmFrequency(std::uint8_t Slot, std::uint8_t LowestMultiple) const;

private:
    TChannelState& RecordOf(TStateConv& Converter, std::uint8_t Slot) const;

    void WriteSsgOrRhythm(TStateConv& Converter, std::uint8_t Register, std::uint8_t Value);
    void WriteSsgPeriod(TStateConv& Converter, std::uint8_t Register, std::uint8_t Value);
    void WriteSsgMixer(TStateConv& Converter, std::uint8_t Value);
    void WriteSsgLevel(TStateConv& Converter, std::uint8_t SsgChannel, std::uint8_t Value);
    static void WriteRhythmKeyOn(TStateConv& Converter, std::uint8_t Value);

    void WriteKeyOnOff(TStateConv& Converter, std::uint8_t Port, std::uint8_t Value);
    void WriteFm(TStateConv& Converter, std::uint8_t Port, std::uint8_t Register,
                 std::uint8_t Value);

    void UpdateSsgPitch(TStateConv& Converter, std::uint8_t SsgChannel) const;
    void UpdateFmPitch(TStateConv& Converter, std::uint8_t Slot) const;
};

} // namespace varnhold
