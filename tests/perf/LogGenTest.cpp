// The benchmark's log generator: repeatable, of the size asked for, streamed in pieces that
// make up the same file, and accepted by the converter with the features it is meant to
// exercise (notes, bends, expression, drums).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogGen.h"
#include "job/VarnholdU.h"
#include "support/MidiText.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

using tools::TLogFamily;

class LogGenTest : public ::testing::TestWithParam<TLogFamily> {};

TEST_P(LogGenTest, SameSeedSameBytesOtherSeedOtherMusic) {
    const auto A = tools::BuildLog(GetParam(), 64 * 1024, 7);
    EXPECT_EQ(A, tools::BuildLog(GetParam(), 64 * 1024, 7));
    EXPECT_NE(A, tools::BuildLog(GetParam(), 64 * 1024, 8));
}

TEST_P(LogGenTest, SizeIsReachedWithinABar) {
    for (const std::uint64_t Size : {1u, 100u * 1024, 700u * 1024}) {
        std::vector<std::uint8_t> Streamed;
        const std::uint64_t Reported = tools::ComposeLog(
            GetParam(), Size, 1, [&](const std::uint8_t* Data, std::size_t Count) {
                Streamed.insert(Streamed.end(), Data, Data + Count);
            });
        EXPECT_EQ(Reported, Streamed.size());
        EXPECT_GE(Streamed.size(), Size);
        // A bar of dense music is some tens of kilobytes.
        EXPECT_LT(Streamed.size(), Size + 64 * 1024) << "size " << Size;
        EXPECT_EQ(Streamed, tools::BuildLog(GetParam(), Size, 1));
    }
}

TEST_P(LogGenTest, SavedLogConvertsWithNotesBendsAndExpression) {
    test::TTempDir Dir;
    const std::string File = Dir.File("log.s98");
    const std::uint64_t Size = tools::SaveLog(GetParam(), 128 * 1024, File);
    EXPECT_EQ(test::ReadFileBytes(File), tools::BuildLog(GetParam(), 128 * 1024));
    EXPECT_EQ(Size, test::ReadFileBytes(File).size());
    EXPECT_FALSE(test::FileExistsPlain(File + ".tmp"));

    TVarnhold Job;
    Job.ProgramFile = Dir.File("varnhold");
    ASSERT_TRUE(Job.Convert(File)) << Job.ResultText;
    // Lines past the tick-0 set-up: "<tick> ch<n> on|bend|cc ...".
    int NoteOns = 0, Bends = 0, Expressions = 0, Drums = 0;
    for (const std::string& Line : test::MidiFileLines(Dir.File("log.mid"))) {
        if (Line.rfind("0 ", 0) == 0) continue;
        if (Line.find(" ch9 on ") != std::string::npos)
            ++Drums;
        else if (Line.find(" on ") != std::string::npos)
            ++NoteOns;
        if (Line.find(" bend ") != std::string::npos) ++Bends;
        if (Line.find(" cc 11 ") != std::string::npos) ++Expressions;
    }
    EXPECT_GT(NoteOns, 200);
    EXPECT_GT(Bends, 500);
    EXPECT_GT(Expressions, 50);
    if (GetParam() == TLogFamily::Ym2608) {
        EXPECT_GT(Drums, 50);
    }
}

TEST(LogGenTest, FamiliesByName) {
    for (const TLogFamily Family : tools::AllLogFamilies)
        EXPECT_EQ(tools::LogFamilyByName(tools::LogFamilyName(Family)), Family);
    EXPECT_FALSE(tools::LogFamilyByName("ym2203"));
}

TEST(LogGenTest, UnwritableTargetThrowsAndLeavesNothing) {
    test::TTempDir Dir;
    EXPECT_THROW(tools::SaveLog(TLogFamily::Ym2151, 1024, Dir.File("missing/log.s98")),
                 std::runtime_error);
    EXPECT_FALSE(test::FileExistsPlain(Dir.File("missing/log.s98.tmp")));
}

INSTANTIATE_TEST_SUITE_P(Families, LogGenTest, ::testing::ValuesIn(tools::AllLogFamilies),
                         [](const auto& Info) {
                             return std::string(tools::LogFamilyName(Info.param));
                         });

} // namespace
} // namespace varnhold
