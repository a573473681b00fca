#include "voicebank/vm3unit.h"

#include "platform/FileUtilU.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace varnhold {

namespace {

constexpr std::size_t ProgramAt = 5;
constexpr std::size_t NameAt = 8;
constexpr std::size_t NameSize = 16;
constexpr std::size_t AlgorithmAt = 26;
constexpr std::size_t OperatorsAt = 27;
constexpr std::size_t OperatorSize = 7;

// ORs (Value AND Mask) shifted by Shift into byte Offset of operator block Operator.
void SetOpBits(TVm3Voice& Voice, int Operator, std::size_t Offset, std::uint8_t Value,
               std::uint8_t Mask, int Shift) {
    if (Operator < 0 || Operator > 3)
        throw std::out_of_range("FM operator " + std::to_string(Operator) +
                                " does not exist (0 to 3)");
    Voice[OperatorsAt + OperatorSize * static_cast<std::size_t>(Operator) + Offset] |=
        static_cast<std::uint8_t>((Value & Mask) << Shift);
}

bool IsBlankName(const TVm3Voice& Voice) {
    return std::all_of(Voice.begin() + NameAt, Voice.begin() + NameAt + NameSize,
                       [](std::uint8_t C) { return C == ' '; });
}

// Equal in every byte but the stored voice's program number and name.
bool SameSound(const TVm3Voice& Stored, const TVm3Voice& Voice) {
    return std::memcmp(Stored.data(), Voice.data(), ProgramAt) == 0 &&
           std::memcmp(Stored.data() + ProgramAt + 1, Voice.data() + ProgramAt + 1,
                       NameAt - ProgramAt - 1) == 0 &&
           std::memcmp(Stored.data() + NameAt + NameSize, Voice.data() + NameAt + NameSize,
                       Vm3VoiceSize - NameAt - NameSize) == 0;
}

} // namespace

void TVm3::InitVoice(TVm3Voice& Voice) {
    Voice.fill(0);
    Voice[2] = 0x34;
    Voice[3] = 0x7C; // bank select MSB, as sent before the program changes
    Voice[4] = 0x01; // bank select LSB
    std::fill_n(Voice.begin() + NameAt, NameSize, ' ');
    Voice[25] = 0x79;
}

// Operator block byte, mask and shift as in the record layout of the header.
void TVm3::SetOpSustainRate(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 0, X, 0x0F, 4);
}
void TVm3::SetOpEnvelopeType(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 0, X, 1, 1);
}
void TVm3::SetOpKeyScaleRate(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 0, X, 1, 0);
}
void TVm3::SetOpReleaseRate(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 1, X, 0x0F, 4);
}
void TVm3::SetOpDecayRate(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 1, X, 0x0F, 0);
}
void TVm3::SetOpAttackRate(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 2, X, 0x0F, 4);
}
void TVm3::SetOpSustainLevel(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 2, X, 0x0F, 0);
}
void TVm3::SetOpTotalLevel(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 3, X, 0x3F, 2);
}
void TVm3::SetOpKeyScaleLevel(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 3, X, 3, 0);
}
void TVm3::SetOpAmplitudeMod(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 4, X, 1, 4);
}
void TVm3::SetOpVibrato(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 4, X, 1, 0);
}
void TVm3::SetOpMultiple(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 5, X, 0x0F, 4);
}
void TVm3::SetOpDetune(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 5, X, 7, 0);
}
void TVm3::SetOpWaveform(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 6, X, 0x1F, 3);
}
void TVm3::SetOpFeedback(TVm3Voice& V, int Op, std::uint8_t X) {
    SetOpBits(V, Op, 6, X, 7, 0);
}

void TVm3::SetAlgorithm(TVm3Voice& Voice, std::uint8_t Value) {
    Voice[AlgorithmAt] |= static_cast<std::uint8_t>(Value & 7);
}

int TVm3::FindVoice(const TVm3Voice& Voice) const {
    // A stored voice counts as program 0 with a blank name, so a candidate with anything
    // else there matches nothing.
    if (Voice[ProgramAt] != 0 || !IsBlankName(Voice)) return -1;
    for (std::size_t I = 0; I < Voices.size(); ++I)
        if (SameSound(Voices[I], Voice)) return static_cast<int>(I);
    return -1;
}

void TVm3::AddVoice(TVm3Voice& Voice, std::uint8_t ProgramNumber, const std::string& Name) {
    Voice[ProgramAt] = ProgramNumber & 0x7F;
    const std::size_t Length = std::min(Name.size(), NameSize);
    std::copy_n(Name.begin(), Length, Voice.begin() + NameAt);
    std::fill(Voice.begin() + NameAt + Length, Voice.begin() + NameAt + NameSize, ' ');
    Voices.push_back(Voice);
}

void TVm3::Clear() {
    Voices.clear();
    DataSize = 0;
}

std::vector<std::uint8_t> TVm3::BuildFile() {
    DataSize = 0;
    std::vector<std::uint8_t> Out;
    Out.reserve(FileHeader.size() + Voices.size() * Vm3VoiceSize);
    Out.insert(Out.end(), FileHeader.begin(), FileHeader.end());
    for (std::size_t I = 0; I < Voices.size(); ++I) {
        // The voice number is the voice's place in the bank: its program number in the song.
        Voices[I][0] = static_cast<std::uint8_t>(I >> 8);
        Voices[I][1] = static_cast<std::uint8_t>(I);
        DataSize += Vm3VoiceSize;
        Out.insert(Out.end(), Voices[I].begin(), Voices[I].end());
    }
    FileHeader[4] = static_cast<std::uint8_t>(DataSize >> 24);
    FileHeader[5] = static_cast<std::uint8_t>(DataSize >> 16);
    FileHeader[6] = static_cast<std::uint8_t>(DataSize >> 8);
    FileHeader[7] = static_cast<std::uint8_t>(DataSize);
    std::copy(FileHeader.begin(), FileHeader.end(), Out.begin());
    return Out;
}

bool TVm3::SaveToFile(const std::string& FileName) {
    DataSize = 0;
    if (Voices.empty()) return true;
    // The bank is a debugging aid: a failure is reported only through the result.
    try {
        const std::vector<std::uint8_t> File = BuildFile();
        SaveFileAtomically(FileName, File.data(), File.size());
    } catch (...) {
        return false;
    }
    return true;
}

} // namespace varnhold
