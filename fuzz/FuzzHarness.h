// One fuzz input, run as a whole conversion: the bytes become an S98 file in a private
// temporary directory, a trailer chooses the options, and the outcome is checked against
// what a conversion promises (nothing half-written, nothing lost, no stray files).
//
// Input layout: <S98 file bytes> <resolution byte> <flags byte>. Inputs shorter than the
// trailer are converted as they are with the default options.
//   resolution byte r: 32 + 4 r for r <= 248 (32..1024), else 192
//   flags: bit 0 PitchBend, 1 PitchBendVib, 2 Panpot, 3 Velocity, 4 ProgramChange,
//          5 DebugMode, 6 outputs into a separate directory, 7 older outputs of the same
//          name lie there already
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace varnhold::fuzz {

inline constexpr std::size_t TrailerSize = 2;

struct TFuzzOptions {
    bool UsePitchBend = true;
    bool UsePitchBendVib = true;
    bool UsePanpot = true;
    bool UseVelocity = false;
    bool UseProgramChange = false;
    bool DebugMode = false;
    bool SeparateOutputDir = false;
    bool OlderOutputs = false;
    std::uint32_t Resolution = 192;
};

enum class TFuzzOutcome { Done, Rejected, Failed };

struct TFuzzResult {
    TFuzzOutcome Outcome = TFuzzOutcome::Failed;
    std::string Text;    // ResultText, or the message of the expected error
    std::string Problem; // empty when the conversion kept its promises
};

// The trailer for Options, to append to an S98 file.
std::vector<std::uint8_t> EncodeTrailer(const TFuzzOptions& Options);
TFuzzOptions DecodeTrailer(std::uint8_t ResolutionByte, std::uint8_t Flags);

// Empty when Bytes is a complete format-0 MIDI file (one track, division 48) that parses
// event by event to its end-of-track event at its very end; otherwise what is wrong.
std::string CheckMidiFile(const std::vector<std::uint8_t>& Bytes);
// Empty when Bytes is a complete .vm3 file of whole voice records; otherwise what is wrong.
std::string CheckBankFile(const std::vector<std::uint8_t>& Bytes);

// Converts one input. Expected errors (EVarnholdError) are an outcome; any other exception
// passes out to the caller, which treats it as a finding.
TFuzzResult RunFuzzInput(const std::uint8_t* Data, std::size_t Size);

} // namespace varnhold::fuzz
