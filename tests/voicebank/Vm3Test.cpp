#include "support/TestSupport.h"
#include "voicebank/vm3unit.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace varnhold {
namespace {

using TBytes = std::vector<std::uint8_t>;

TVm3Voice BlankVoice() {
    TVm3Voice Voice;
    Voice.fill(0xEE); // InitVoice must set every byte
    TVm3::InitVoice(Voice);
    return Voice;
}

TEST(Vm3Voice, InitVoiceFillsTheDefaults) {
    TBytes Expected(Vm3VoiceSize, 0);
    Expected[2] = 0x34;
    Expected[3] = 0x7C;
    Expected[4] = 0x01;
    std::fill(Expected.begin() + 8, Expected.begin() + 24, ' ');
    Expected[25] = 0x79;
    const TVm3Voice Voice = BlankVoice();
    EXPECT_EQ(TBytes(Voice.begin(), Voice.end()), Expected);
}

using TSetter = void (*)(TVm3Voice&, int, std::uint8_t);

struct TSetterCase {
    const char* Name;
    TSetter Set;
    std::size_t Byte;  // within the operator block
    std::uint8_t Bits; // what 0xFF sets
};

const TSetterCase SetterCases[] = {
    {"sustain rate", TVm3::SetOpSustainRate, 0, 0xF0},
    {"envelope type", TVm3::SetOpEnvelopeType, 0, 0x02},
    {"key-scale rate", TVm3::SetOpKeyScaleRate, 0, 0x01},
    {"release rate", TVm3::SetOpReleaseRate, 1, 0xF0},
    {"decay rate", TVm3::SetOpDecayRate, 1, 0x0F},
    {"attack rate", TVm3::SetOpAttackRate, 2, 0xF0},
    {"sustain level", TVm3::SetOpSustainLevel, 2, 0x0F},
    {"total level", TVm3::SetOpTotalLevel, 3, 0xFC},
    {"key-scale level", TVm3::SetOpKeyScaleLevel, 3, 0x03},
    {"amplitude modulation", TVm3::SetOpAmplitudeMod, 4, 0x10},
    {"vibrato", TVm3::SetOpVibrato, 4, 0x01},
    {"multiple", TVm3::SetOpMultiple, 5, 0xF0},
    {"detune", TVm3::SetOpDetune, 5, 0x07},
    {"waveform", TVm3::SetOpWaveform, 6, 0xF8},
    {"feedback", TVm3::SetOpFeedback, 6, 0x07},
};

TEST(Vm3Voice, EachSetterOrsItsMaskedBitsIntoItsOperator) {
    for (const auto& C : SetterCases) {
        for (int Operator = 0; Operator < 4; ++Operator) {
            SCOPED_TRACE(std::string(C.Name) + " op " + std::to_string(Operator));
            TVm3Voice Voice = BlankVoice();
            C.Set(Voice, Operator, 0xFF);
            TVm3Voice Expected = BlankVoice();
            Expected[27 + 7 * static_cast<std::size_t>(Operator) + C.Byte] = C.Bits;
            EXPECT_EQ(Voice, Expected);

            // A second call never clears: the bits already there stay.
            C.Set(Voice, Operator, 0);
            EXPECT_EQ(Voice, Expected);
        }
    }
}

TEST(Vm3Voice, SettersPlaceValuesAndKeepEarlierBits) {
    TVm3Voice Voice = BlankVoice();
    TVm3::SetOpTotalLevel(Voice, 1, 63);
    TVm3::SetOpTotalLevel(Voice, 1, 64); // 64 AND 0x3F is 0
    EXPECT_EQ(Voice[27 + 7 + 3], 63 << 2);

    TVm3::SetOpMultiple(Voice, 2, 0x5);
    TVm3::SetOpDetune(Voice, 2, 0x3);
    TVm3::SetOpMultiple(Voice, 2, 0x2); // OR: 5 | 2 = 7
    EXPECT_EQ(Voice[27 + 14 + 5], 0x73);

    TVm3::SetAlgorithm(Voice, 0xFD); // only bits 0-2
    EXPECT_EQ(Voice[26], 0x05);
    TVm3::SetAlgorithm(Voice, 2);
    EXPECT_EQ(Voice[26], 0x07);
}

TEST(Vm3Voice, SettersRejectOperatorsOutsideTheBlock) {
    TVm3Voice Voice = BlankVoice();
    EXPECT_THROW(TVm3::SetOpFeedback(Voice, 4, 7), std::out_of_range);
    EXPECT_THROW(TVm3::SetOpFeedback(Voice, -1, 7), std::out_of_range);
    EXPECT_EQ(Voice, BlankVoice());
}

TEST(Vm3Bank, AddVoiceStoresProgramAndName) {
    const struct {
        std::uint8_t Program;
        std::string Name;
        std::uint8_t StoredProgram;
        std::string StoredName;
    } Cases[] = {
        {5, "Varnhold", 5, "Varnhold        "},
        {200, "Brennic-End", 72, "Brennic-End     "},
        {127, "", 127, "                "},
        {0, "Seventeen chars!!", 0, "Seventeen chars!"},
        {128, std::string("a\0b", 3), 0, std::string("a\0b", 3) + std::string(13, ' ')},
    };
    TVm3 Bank;
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TVm3Voice Voice = BlankVoice();
        Bank.AddVoice(Voice, C.Program, C.Name);
        // The caller's record is filled in too.
        EXPECT_EQ(Voice[5], C.StoredProgram);
        const TVm3Voice& Stored = Bank.Voice(Bank.Count() - 1);
        EXPECT_EQ(Stored, Voice);
        EXPECT_EQ(std::string(Stored.begin() + 8, Stored.begin() + 24), C.StoredName);
    }
    EXPECT_EQ(Bank.Count(), 5);
}

TEST(Vm3Bank, FindVoiceIgnoresStoredProgramAndName) {
    TVm3 Bank;
    EXPECT_EQ(Bank.FindVoice(BlankVoice()), -1);

    TVm3Voice First = BlankVoice();
    TVm3::SetOpTotalLevel(First, 0, 20);
    TVm3Voice Second = First;
    TVm3::SetOpFeedback(Second, 0, 5); // differs only in feedback bits
    Bank.AddVoice(First, 5, "Varnhold");
    Bank.AddVoice(Second, 6, "Varnhold");
    // A duplicate of the first, added later, is never the one found.
    TVm3Voice Again = BlankVoice();
    TVm3::SetOpTotalLevel(Again, 0, 20);
    Bank.AddVoice(Again, 9, "Other");

    TVm3Voice Candidate = BlankVoice();
    TVm3::SetOpTotalLevel(Candidate, 0, 20);
    const TVm3Voice Before = Candidate;
    EXPECT_EQ(Bank.FindVoice(Candidate), 0);
    EXPECT_EQ(Candidate, Before);
    TVm3::SetOpFeedback(Candidate, 0, 5);
    EXPECT_EQ(Bank.FindVoice(Candidate), 1);
    TVm3::SetOpFeedback(Candidate, 1, 1);
    EXPECT_EQ(Bank.FindVoice(Candidate), -1);

    // The candidate's own program number and name are compared with 0 and blanks.
    TVm3Voice Named = BlankVoice();
    TVm3::SetOpTotalLevel(Named, 0, 20);
    Named[5] = 5;
    EXPECT_EQ(Bank.FindVoice(Named), -1);
    Named[5] = 0;
    Named[8] = 'V';
    EXPECT_EQ(Bank.FindVoice(Named), -1);

    // Stored voices are not changed by the search.
    EXPECT_EQ(Bank.Voice(0)[5], 5);
    EXPECT_EQ(Bank.Voice(0)[8], 'V');
}

TEST(Vm3Bank, FindVoiceAfterSaveComparesTheVoiceNumbers) {
    test::TTempDir Dir;
    TVm3 Bank;
    TVm3Voice A = BlankVoice(), B = BlankVoice();
    TVm3::SetOpAttackRate(B, 3, 15);
    Bank.AddVoice(A, 0, "Varnhold");
    Bank.AddVoice(B, 1, "Varnhold");
    ASSERT_TRUE(Bank.SaveToFile(Dir.File("bank.vm3")));
    TVm3Voice Candidate = BlankVoice();
    TVm3::SetOpAttackRate(Candidate, 3, 15);
    EXPECT_EQ(Bank.FindVoice(Candidate), -1); // stored voice number is now 00 01
    EXPECT_EQ(Bank.FindVoice(BlankVoice()), 0);
}

class Vm3File : public ::testing::Test {
protected:
    test::TTempDir Dir;
    const std::string Target = Dir.File("song.vm3");
    TVm3 Bank;

    void AddVoices(int Count) {
        for (int I = 0; I < Count; ++I) {
            TVm3Voice Voice = BlankVoice();
            TVm3::SetOpTotalLevel(Voice, 0, static_cast<std::uint8_t>(I));
            TVm3::SetAlgorithm(Voice, static_cast<std::uint8_t>(I));
            Bank.AddVoice(Voice, static_cast<std::uint8_t>(I), "Varnhold");
        }
    }
};

TEST_F(Vm3File, EmptyBankWritesNothingAndSucceeds) {
    EXPECT_TRUE(Bank.SaveToFile(Target));
    EXPECT_FALSE(test::FileExistsPlain(Target));

    // Also after Clear, and an existing file is left as it is.
    AddVoices(2);
    Bank.Clear();
    EXPECT_EQ(Bank.Count(), 0);
    test::WriteFileBytes(Target, {1, 2, 3});
    EXPECT_TRUE(Bank.SaveToFile(Target));
    EXPECT_EQ(test::ReadFileBytes(Target), (TBytes{1, 2, 3}));
}

TEST_F(Vm3File, OneVoiceGivesSixtyThreeBytes) {
    AddVoices(1);
    ASSERT_TRUE(Bank.SaveToFile(Target));
    const TBytes File = test::ReadFileBytes(Target);
    ASSERT_EQ(File.size(), 63u);
    EXPECT_EQ(TBytes(File.begin(), File.begin() + 10),
              (TBytes{'F', 'M', 'M', '3', 0x00, 0x00, 0x00, 0x37, 0x00, 0x00}));
    EXPECT_EQ(TBytes(File.begin() + 8, File.end()),
              TBytes(Bank.Voice(0).begin(), Bank.Voice(0).end()));
    EXPECT_EQ(Bank.DataSize, 55u);
}

TEST_F(Vm3File, VoicesAreNumberedInBankOrder) {
    AddVoices(127);
    ASSERT_TRUE(Bank.SaveToFile(Target));
    const TBytes File = test::ReadFileBytes(Target);
    ASSERT_EQ(File.size(), 8u + 127 * 55);
    EXPECT_EQ(TBytes(File.begin() + 4, File.begin() + 8), (TBytes{0x00, 0x00, 0x1B, 0x49}));
    for (int I = 0; I < 127; ++I) {
        const std::size_t At = 8 + 55 * static_cast<std::size_t>(I);
        EXPECT_EQ(File[At], 0);
        EXPECT_EQ(File[At + 1], I);
        EXPECT_EQ(File[At + 5], I);      // program as added
        EXPECT_EQ(File[At + 26], I & 7); // algorithm: the records keep their order
    }
    EXPECT_EQ(File[8 + 55 * 126 + 1], 0x7E);
    // The stored voices carry their numbers now; the header keeps its size.
    EXPECT_EQ(Bank.Voice(126)[1], 0x7E);
    EXPECT_EQ(Bank.FileHeader[7], 0x49);

    Bank.Clear();
    EXPECT_EQ(Bank.DataSize, 0u);
    EXPECT_EQ(Bank.FileHeader[6], 0x1B);
}

TEST_F(Vm3File, FailedSaveReturnsFalseAndTouchesNothing) {
    AddVoices(3);
    EXPECT_FALSE(Bank.SaveToFile(Dir.File("nodir/song.vm3")));
    test::WriteFileBytes(Target, {1, 2, 3});
    std::filesystem::create_directory(Dir.File("taken.vm3"));
    EXPECT_FALSE(Bank.SaveToFile(Dir.File("taken.vm3")));
    EXPECT_TRUE(std::filesystem::is_directory(Dir.File("taken.vm3")));
    // A later save to a good name still works and replaces the old file.
    EXPECT_TRUE(Bank.SaveToFile(Target));
    EXPECT_EQ(test::ReadFileBytes(Target).size(), 8u + 3 * 55);
}

} // namespace
} // namespace varnhold
