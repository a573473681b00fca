// The fuzzer's harness outside the fuzzer: its seeds are valid logs that convert, every
// input it ever found a fault with converts without one now, and its checks of the
// written files catch broken files.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "FuzzHarness.h"
#include "SeedCorpus.h"
#include "support/TestSupport.h"

namespace varnhold::fuzz {
namespace {

namespace fs = std::filesystem;

TEST(FuzzSeeds, EverySeedConvertsAndKeepsThePromises) {
    const std::vector<TSeed> Seeds = MakeSeedCorpus();
    ASSERT_GE(Seeds.size(), 30u);
    for (const TSeed& Seed : Seeds) {
        const TFuzzResult R = RunFuzzInput(Seed.Bytes.data(), Seed.Bytes.size());
        EXPECT_EQ(R.Outcome, TFuzzOutcome::Done) << Seed.Name << ": " << R.Text;
        EXPECT_EQ(R.Problem, "") << Seed.Name;
    }
}

TEST(FuzzSeeds, TrailerRoundTrips) {
    TFuzzOptions O;
    O.UsePitchBend = false;
    O.UseVelocity = O.DebugMode = O.OlderOutputs = true;
    O.Resolution = 1024;
    const std::vector<std::uint8_t> T = EncodeTrailer(O);
    ASSERT_EQ(T.size(), TrailerSize);
    const TFuzzOptions D = DecodeTrailer(T[0], T[1]);
    EXPECT_EQ(D.Resolution, 1024u);
    EXPECT_FALSE(D.UsePitchBend);
    EXPECT_TRUE(D.UsePitchBendVib && D.UsePanpot && D.UseVelocity && D.DebugMode && D.OlderOutputs);
    EXPECT_FALSE(D.UseProgramChange || D.SeparateOutputDir);
    EXPECT_EQ(DecodeTrailer(255, 0).Resolution, 192u);
    EXPECT_EQ(DecodeTrailer(0, 0).Resolution, 32u);
}

// Inputs that once made the fuzzer report a fault, kept under fuzz/regressions.
TEST(FuzzRegressions, EveryFormerFindingConvertsCleanly) {
    const fs::path Dir = VARNHOLD_FUZZ_REGRESSIONS;
    ASSERT_TRUE(fs::is_directory(Dir));
    int Count = 0;
    for (const auto& Entry : fs::directory_iterator(Dir)) {
        if (!Entry.is_regular_file() || Entry.path().extension() != ".s98") continue;
        const std::vector<std::uint8_t> Bytes = test::ReadFileBytes(Entry.path().string());
        const TFuzzResult R = RunFuzzInput(Bytes.data(), Bytes.size());
        EXPECT_EQ(R.Problem, "") << Entry.path().filename() << ": " << R.Text;
        ++Count;
    }
    RecordProperty("inputs", Count);
}

// The checks that the fuzzer applies to every written file see through broken ones.
TEST(FuzzChecks, BrokenMidiFilesAreCaught) {
    // Header, one track: a note on and off, end of track.
    const std::vector<std::uint8_t> Good = {'M',  'T',  'h', 'd', 0,    0,    0,    6,   0,
                                            0,    0,    1,   0,   48,   'M',  'T',  'r', 'k',
                                            0,    0,    0,   13,  0x00, 0x90, 60,   100, 0x81,
                                            0x00, 0x80, 60,  0,   0x00, 0xFF, 0x2F, 0x00};
    ASSERT_EQ(CheckMidiFile(Good), "");
    using TBytes = std::vector<std::uint8_t>;
    const struct {
        const char* Fault;
        std::function<void(TBytes&)> Break;
    } Faults[] = {
        {"cut off", [](TBytes& B) { B.resize(30); }},
        {"track length", [](TBytes& B) { B[21] = 14; }},
        {"data above 127", [](TBytes& B) { B[24] = 200; }},
        {"division", [](TBytes& B) { B[13] = 96; }},
        {"two tracks", [](TBytes& B) { B[11] = 2; }},
        {"five-byte delta",
         [](TBytes& B) {
             B[26] = 0x80;
             B.insert(B.begin() + 26, {0x80, 0x80, 0x80});
             B[21] += 3;
         }},
        {"no end of track", [](TBytes& B) { B[33] = 0x01; }},
        {"bytes after the end",
         [](TBytes& B) {
             B.push_back(0);
             B[21] += 1;
         }},
    };
    for (const auto& F : Faults) {
        TBytes Bad = Good;
        F.Break(Bad);
        EXPECT_NE(CheckMidiFile(Bad), "") << F.Fault;
    }
}

TEST(FuzzChecks, BrokenVoiceBanksAreCaught) {
    std::vector<std::uint8_t> Good = {'F', 'M', 'M', '3', 0, 0, 0, 55};
    Good.resize(8 + 55);
    ASSERT_EQ(CheckBankFile(Good), "");
    std::vector<std::uint8_t> Short = Good;
    Short.pop_back();
    EXPECT_NE(CheckBankFile(Short), "");
    std::vector<std::uint8_t> Magic = Good;
    Magic[3] = '2';
    EXPECT_NE(CheckBankFile(Magic), "");
    EXPECT_NE(CheckBankFile({'F', 'M', 'M', '3', 0, 0, 0, 0}), "");
}

} // namespace
} // namespace varnhold::fuzz
