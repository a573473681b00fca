// The FM voice bank and its .vm3 file.
//
// Voice record, 55 bytes, identical in memory and in the file:
//
//   0-1   voice number, big-endian (the index in the bank, written by SaveToFile)
//   2     0x34        3  0x7C (bank MSB)   4  0x01 (bank LSB)
//   5     program number 0..127            6-7  0
//   8-23  name, 16 single-byte characters padded with spaces
//   24    0           25 0x79              26  algorithm code (bits 0-2)
//   27+7k operator k, k = 0..3:
//         +0  SR(7-4)  EG type(1)  KSR(0)        +1  RR(7-4)  DR(3-0)
//         +2  AR(7-4)  SL(3-0)                   +3  TL(7-2)  KSL(1-0)
//         +4  AM(4)    VIB(0)                    +5  MUL(7-4) DT(2-0)
//         +6  WS(7-3)  FB(2-0)
//
// File: "FMM3", the byte count of all records as big-endian 32-bit, then the records.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace varnhold {

inline constexpr std::size_t Vm3VoiceSize = 55;
using TVm3Voice = std::array<std::uint8_t, Vm3VoiceSize>;

class TVm3 {
public:
    std::array<std::uint8_t, 8> FileHeader{'F', 'M', 'M', '3', 0, 0, 0, 0};
    std::uint32_t DataSize = 0;

    static void InitVoice(TVm3Voice& Voice);
    // Each setter ORs (Value AND its mask) into its bits of operator block Operator (0..3).
    static void SetOpSustainRate(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpEnvelopeType(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpKeyScaleRate(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpReleaseRate(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpDecayRate(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpAttackRate(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpSustainLevel(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpTotalLevel(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpKeyScaleLevel(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpAmplitudeMod(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpVibrato(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpMultiple(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpDetune(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpWaveform(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetOpFeedback(TVm3Voice& Voice, int Operator, std::uint8_t Value);
    static void SetAlgorithm(TVm3Voice& Voice, std::uint8_t Value);

    // Index of the first stored voice equal to Voice, ignoring the stored program number
    // and name; -1 when there is none.
    int FindVoice(const TVm3Voice& Voice) const;
    // Stores (ProgramNumber AND 0x7F) and the name (16 bytes, space padded) into Voice,
    // then appends a copy.
    void AddVoice(TVm3Voice& Voice, std::uint8_t ProgramNumber, const std::string& Name);

    int Count() const { return static_cast<int>(Voices.size()); }
    const TVm3Voice& Voice(int Index) const { return Voices[static_cast<std::size_t>(Index)]; }

    void Clear();

    // Builds the file bytes (numbering the stored voices 0..N-1 as it goes).
    std::vector<std::uint8_t> BuildFile();
    // Writes the file atomically; an empty bank writes nothing. Returns false when the file
    // could not be written (an existing file then keeps its content).
    bool SaveToFile(const std::string& FileName);

private:
    std::vector<TVm3Voice> Voices;
};

} // namespace varnhold
