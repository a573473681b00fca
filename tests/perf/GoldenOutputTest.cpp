// Byte-exact outputs of whole conversions of generated logs: every output file of every
// family and option set is compared by its FNV-1a hash with the hash of the output that the
// converter wrote before any speed work. A change of speed or memory must not move a byte.
//
// When the generator itself changes, the input hashes fail first; regenerate the table
// then (the failure messages print the rows), never to cover a converter change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "LogGen.h"
#include "job/VarnholdU.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

using tools::TLogFamily;

std::uint64_t Fnv1a64(const std::vector<std::uint8_t>& Bytes) {
    std::uint64_t Hash = 0xCBF29CE484222325ull;
    for (std::uint8_t B : Bytes) {
        Hash ^= B;
        Hash *= 0x100000001B3ull;
    }
    return Hash;
}

std::string Hex(std::uint64_t Value) {
    char Text[19];
    std::snprintf(Text, sizeof Text, "0x%016" PRIX64, Value);
    return Text;
}

constexpr std::uint64_t LogSize = 300 * 1024;

struct TOptionSet {
    const char* Name;
    std::function<void(TVarnhold&)> Apply;
};

const std::vector<TOptionSet>& OptionSets() {
    static const std::vector<TOptionSet> Sets = {
        {"defaults", [](TVarnhold&) {}},
        {"velocity", [](TVarnhold& J) { J.UseVelocity = true; }},
        {"program", [](TVarnhold& J) { J.UseProgramChange = true; }},
        {"program-debug",
         [](TVarnhold& J) {
             J.UseProgramChange = true;
             J.DebugMode = true;
         }},
        {"resolution-96", [](TVarnhold& J) { J.Resolution = 96; }},
        {"resolution-1024", [](TVarnhold& J) { J.Resolution = 1024; }},
        {"bend-off", [](TVarnhold& J) { J.UsePitchBend = false; }},
        {"vibrato-pan-off",
         [](TVarnhold& J) {
             J.UsePitchBendVib = false;
             J.UsePanpot = false;
         }},
    };
    return Sets;
}

struct TInputHash {
    TLogFamily Family;
    std::uint64_t Hash;
};

// The generated inputs (seed 1, at least LogSize bytes).
const TInputHash InputHashes[] = {
    {TLogFamily::Ym2608, 0x8EB93370FC080857},
    {TLogFamily::Ym2151, 0xCE0E775864F10D22},
    {TLogFamily::Ym2612Sn76489, 0x57684E2318ADDD4A},
};

struct TOutputHash {
    TLogFamily Family;
    const char* Options;
    const char* File; // output file name
    std::uint64_t Hash;
};

// Recorded from the converter before the speed work.
const TOutputHash OutputHashes[] = {
    {TLogFamily::Ym2608, "bend-off", "ym2608.mid", 0x28F247CB61816050},
    {TLogFamily::Ym2608, "defaults", "ym2608.mid", 0x284ABB60CDF35065},
    {TLogFamily::Ym2608, "program-debug", "ym2608.mid", 0x12E3A661409962E6},
    {TLogFamily::Ym2608, "program-debug", "ym2608.vm3", 0x92DDC757808325C3},
    {TLogFamily::Ym2608, "program", "ym2608.mid", 0x2F03937BD309B408},
    {TLogFamily::Ym2608, "resolution-1024", "ym2608.mid", 0x4FFAA1657A9B8737},
    {TLogFamily::Ym2608, "resolution-96", "ym2608.mid", 0xF7E690B7994E1E5D},
    {TLogFamily::Ym2608, "velocity", "ym2608.mid", 0x506D63D5ED448798},
    {TLogFamily::Ym2608, "vibrato-pan-off", "ym2608.mid", 0x6B59C266F28B899B},
    {TLogFamily::Ym2151, "bend-off", "ym2151.mid", 0x57F7D2DC200A2F1D},
    {TLogFamily::Ym2151, "defaults", "ym2151.mid", 0xE1CE1BDF70EF7E6C},
    {TLogFamily::Ym2151, "program-debug", "ym2151.mid", 0xB0682B4764E511B6},
    {TLogFamily::Ym2151, "program-debug", "ym2151.vm3", 0xE881DAD7CED433CC},
    {TLogFamily::Ym2151, "program", "ym2151.mid", 0x7B687D91C2C61F3A},
    {TLogFamily::Ym2151, "resolution-1024", "ym2151.mid", 0xA27AFCEFA28625B3},
    {TLogFamily::Ym2151, "resolution-96", "ym2151.mid", 0x206497B08B4EC217},
    {TLogFamily::Ym2151, "velocity", "ym2151.mid", 0x5679639826790C7F},
    {TLogFamily::Ym2151, "vibrato-pan-off", "ym2151.mid", 0x17E15768DED555D3},
    {TLogFamily::Ym2612Sn76489, "bend-off", "ym2612sn.mid", 0x2B8E39188CB5C702},
    {TLogFamily::Ym2612Sn76489, "defaults", "ym2612sn.mid", 0x5E18C9A1D7864A58},
    {TLogFamily::Ym2612Sn76489, "program-debug", "ym2612sn.mid", 0x363DFFC5894E9A4F},
    {TLogFamily::Ym2612Sn76489, "program-debug", "ym2612sn.vm3", 0x44CC8DDAE100630C},
    {TLogFamily::Ym2612Sn76489, "program", "ym2612sn.mid", 0x5D02299B78688089},
    {TLogFamily::Ym2612Sn76489, "resolution-1024", "ym2612sn.mid", 0xAF55D1B5D70521BE},
    {TLogFamily::Ym2612Sn76489, "resolution-96", "ym2612sn.mid", 0x23601C9D35281F0F},
    {TLogFamily::Ym2612Sn76489, "velocity", "ym2612sn.mid", 0x8AEF7EEFB167D8C0},
    {TLogFamily::Ym2612Sn76489, "vibrato-pan-off", "ym2612sn.mid", 0x8B09F56CB42129CB},
};

class GoldenOutputTest : public ::testing::TestWithParam<TLogFamily> {
protected:
    test::TTempDir Dir;
};

TEST_P(GoldenOutputTest, OutputsMatchTheRecordedBytes) {
    const TLogFamily Family = GetParam();
    const std::string FamilyName = tools::LogFamilyName(Family);
    const std::vector<std::uint8_t> Log = tools::BuildLog(Family, LogSize);
    const auto Input = std::find_if(std::begin(InputHashes), std::end(InputHashes),
                                    [&](const TInputHash& H) { return H.Family == Family; });
    ASSERT_NE(Input, std::end(InputHashes));
    ASSERT_EQ(Hex(Fnv1a64(Log)), Hex(Input->Hash))
        << "the generated " << FamilyName << " log changed; the output hashes no longer apply";

    const std::string Source = Dir.File(FamilyName + ".s98");
    test::WriteFileBytes(Source, Log);
    std::filesystem::create_directory(Dir.File("bin"));

    std::map<std::string, std::uint64_t> Expected;
    for (const TOutputHash& H : OutputHashes)
        if (H.Family == Family) Expected[std::string(H.Options) + "/" + H.File] = H.Hash;

    std::map<std::string, std::uint64_t> Actual;
    for (const TOptionSet& Set : OptionSets()) {
        const std::string Out = Dir.File(Set.Name);
        std::filesystem::create_directory(Out);
        TVarnhold Job;
        Job.ProgramFile = Dir.File("bin/varnhold"); // no debug.txt beside it
        Job.OutputDir = Out;
        Set.Apply(Job);
        ASSERT_TRUE(Job.Convert(Source)) << Set.Name << ": " << Job.ResultText;
        for (const auto& Entry : std::filesystem::directory_iterator(Out))
            Actual[std::string(Set.Name) + "/" + Entry.path().filename().string()] =
                Fnv1a64(test::ReadFileBytes(Entry.path().string()));
    }

    std::string Rows;
    for (const auto& [Key, Hash] : Actual) {
        const std::size_t Slash = Key.find('/');
        Rows += "    {TLogFamily::" +
                std::string(Family == TLogFamily::Ym2608   ? "Ym2608"
                            : Family == TLogFamily::Ym2151 ? "Ym2151"
                                                           : "Ym2612Sn76489") +
                ", \"" + Key.substr(0, Slash) + "\", \"" + Key.substr(Slash + 1) + "\", " +
                Hex(Hash) + "},\n";
    }
    EXPECT_EQ(Actual, Expected) << "rows of the outputs written now:\n" << Rows;
}

INSTANTIATE_TEST_SUITE_P(Families, GoldenOutputTest, ::testing::ValuesIn(tools::AllLogFamilies),
                         [](const auto& Info) {
                             return std::string(tools::LogFamilyName(Info.param));
                         });

} // namespace
} // namespace varnhold
