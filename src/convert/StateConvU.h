// The converter: the channel state table that the chip models write, and the conversion
// of its changes into MIDI events and FM voices at every timing mark.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "smf/SmfU.h"
#include "voicebank/vm3unit.h"

namespace varnhold {

// One FM operator. The chip models store the chip's own values; which fields a chip
// family uses is in its model.
struct TOperatorState {
    std::uint8_t AttackRate = 0;
    std::uint8_t DecayRate = 0;
    std::uint8_t SustainRate = 0;
    std::uint8_t ReleaseRate = 0;
    std::uint8_t SustainLevel = 0;
    std::uint8_t TotalLevel = 0;
    std::uint8_t KeyScale = 0;
    std::uint8_t Multiple = 0;
    std::uint8_t Detune = 0;
    std::uint8_t AmplitudeMod = 0;
    std::uint8_t Vibrato = 0;
    std::uint8_t EnvelopeType = 0;
    std::uint8_t KeyScaleRate = 0;
    std::uint8_t KeyScaleLevel = 0;
    std::uint8_t SsgEnvelope = 0;
    std::uint8_t Waveform = 0;

    bool operator==(const TOperatorState&) const = default;
};

// One channel. Flags hold 0 or 1. Chip models raise flags, the converter clears them.
struct TChannelState {
    std::uint8_t Program = 0;        // 255: none chosen yet
    std::uint8_t ProgramPending = 0; // choose the program again when the channel sounds
    std::uint8_t Algorithm = 0;      // 0..7 four-operator algorithm, 8 two-operator voice
    std::uint8_t Feedback = 0;
    std::uint8_t Ams = 0;
    std::uint8_t Pms = 0;
    std::array<TOperatorState, 4> Operators{};
    std::uint8_t Sounding = 0;      // computed by the converter at each pass
    std::uint8_t Restrike = 0;      // strike the note again even if the key is unchanged
    std::uint8_t Note = 0;          // MIDI key 1..127; 0 = no pitch
    std::uint8_t KeyReleased = 0;   // 1 while the chip's key is off
    std::uint8_t ToneGenerator = 0; // 1: square-wave/noise generator channel
    std::uint8_t GeneratorMode = 0; // 0 tone, 1 noise, 2 tone plus noise
    std::uint8_t Fine = 0;          // 32 + offset from Note in 1/32 semitone
    std::uint8_t Loudness = 0;      // 0..127; 0 = silent
    std::uint8_t Pan = 0;           // 0..127, 64 = centre

    bool operator==(const TChannelState&) const = default;
};

// One rhythm instrument: 0 bass drum, 1 snare, 2 top cymbal, 3 hi-hat, 4 tom, 5 rim shot.
struct TRhythmState {
    std::uint8_t KeyOn = 0; // struck since the last pass
    std::uint8_t Velocity = 0;
    std::uint8_t Note = 0; // General MIDI drum key, rewritten at every pass
};

// Converter channel 16 receives chip channels without a MIDI channel; it is never converted.
inline constexpr int SpareChannel = 16;
inline constexpr int ChannelCount = 17;
inline constexpr int MaxCapturedVoices = 126;

class TStateConv {
public:
    std::uint8_t VoiceCount = 0;
    TSmf Smf;
    TVm3 Bank;
    TVm3Voice VoiceScratch{};
    std::array<TChannelState, ChannelCount> Emitted{};
    std::int32_t Now = 0;

    bool UsePitchBend = false;
    bool UsePanpot = false;
    bool UseProgramChange = false;
    bool DebugMode = false;
    bool UsePitchBendVib = false;
    bool UseVelocity = false;

    std::string NameSuffix;

    std::array<TChannelState, ChannelCount> Channels{};
    std::uint8_t RhythmLevel = 0;
    std::uint8_t RhythmLevelEmitted = 0;
    std::array<TRhythmState, 6> Rhythm{};

    // The tick-0 set-up: tempo, master volume, per-channel controllers; initial records.
    void Reset(std::uint16_t Tempo);
    // Turns the changes since the last pass into events stamped Now.
    void ProcessMark();
    // Ends the notes one tick later and writes the .mid (and in debug mode with program
    // changes the .vm3) beside SourceFileName, named after it plus NameSuffix.
    void Finish(const std::string& SourceFileName);

    void CaptureVoice(std::uint8_t Channel);
    static void FoldVibrato(std::uint8_t& Note, std::uint8_t& Fine, std::uint8_t LastNote,
                            std::uint8_t LastFine);

    // Captured voices go out as a bank: bank-select before program changes and a .vm3.
    bool WritesVoiceBank() const { return UseProgramChange && DebugMode; }

    // The names Finish writes to, for SourceFileName.
    std::string MidFileName(const std::string& SourceFileName) const;
    std::string Vm3FileName(const std::string& SourceFileName) const;
};

} // namespace varnhold
