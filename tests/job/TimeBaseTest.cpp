// The time base: sync periods to ticks through whole conversions, read back from the end
// of the written MIDI track (one tick after the last timing mark).
#include <gtest/gtest.h>

#include <optional>

#include "JobTestUtil.h"
#include "job/VarnholdU.h"
#include "platform/ErrorsU.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

using namespace tools;

struct TTickCase {
    const char* Name;
    char Version;
    std::uint32_t Numerator, Denominator; // 0/0: the defaults (10 ms)
    std::uint32_t Resolution;
    std::vector<std::uint8_t> Stream;
    std::optional<std::uint32_t> TagOffsetFromDump; // v3: TagOffset = DumpOffset + this
    std::int64_t LastTick;
};

const std::vector<std::uint8_t> FFx10(10, 0xFF);

const TTickCase TickCases[] = {
    // 10 ms: one sync is 0.96 ticks.
    {"OneSyncStaysAtTickZero", '3', 0, 0, 192, {0xFF}, {}, 0},
    {"TwoSyncs", '3', 0, 0, 192, {0xFF, 0xFF}, {}, 1},
    {"HundredSyncs", '3', 0, 0, 192, {0xFE, 98}, {}, 96},
    // 1/60 s: the scale is stored as a double just below 1/120.
    {"SixtiethFiveSyncs", '3', 1, 60, 192, {0xFE, 0x03}, {}, 7},
    {"SixtiethTenSyncsOneByOne", '3', 1, 60, 192, FFx10, {}, 15},
    {"Resolution96", '3', 10, 1000, 96, {0xFE, 98}, {}, 192},
    {"Resolution1024", '3', 10, 1000, 1024, {0xFE, 98}, {}, 18},
    // Wait counts: count + 2 syncs.
    {"CountThree", '3', 0, 0, 192, {0xFE, 0x03}, {}, 4},            // 5 syncs
    {"CountTwoBytes", '3', 0, 0, 192, {0xFE, 0xC8, 0x01}, {}, 193}, // 202 syncs
    {"CountZero", '3', 0, 0, 192, {0xFE, 0x00}, {}, 1},             // 2 syncs
    {"CountSixBytesKeepsLow32Bits",
     '3',
     0,
     0,
     192,
     {0xFE, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01},
     {},
     1},
    // Count 0xFFFFFFFF: the fifth byte holds bits 28-31, its high bits fall away.
    {"CountFiveBytesAllOnes",
     '3',
     1,
     1000000,
     192,
     {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},
     {},
     412316},
    // 2 * (2^32 + 1) syncs: a 32-bit count would wrap to 2 and stall at tick 0.
    {"SyncCountBeyond32Bits",
     '3',
     1,
     1000000,
     192,
     {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F},
     {},
     824633},
    // 22369622 syncs: SyncCount * 192 passes 2^32; the tick keeps growing.
    {"PastTwoPow32Over192Syncs",
     '3',
     0,
     0,
     192,
     {0xFE, 0xD3, 0xAA, 0xD5, 0x0A, 0xFF},
     {},
     21474837},
    // Endings.
    {"EndCommandStopsTheRun", '3', 0, 0, 192, {0xFF, 0xFF, 0xFD, 0xFF, 0xFF}, {}, 1},
    {"ByteBeforeTagOffsetNotActedOn", '3', 0, 0, 192, {0xFF, 0xFF, 0xFF, 0xFF}, 3, 1},
    {"TagOffsetZeroLeavesLastByte", '3', 0, 0, 192, {0xFF, 0xFF, 0xFF}, 0, 1},
    {"VersionOneIgnoresTagOffset", '1', 0, 0, 192, {0xFF, 0xFF, 0xFF}, 1, 2},
    {"VersionOneEndCommand", '1', 0, 0, 192, {0xFF, 0xFF, 0xFD, 0xFF}, {}, 1},
};

class TickTest : public ::testing::TestWithParam<TTickCase> {
protected:
    test::TTempDir Dir;
};

TEST_P(TickTest, EndOfTrackOneTickAfterLastMark) {
    const TTickCase& Case = GetParam();
    TS98Builder B(Case.Version);
    B.Sync(Case.Numerator, Case.Denominator);
    if (Case.Version == '3') B.Device(S98YM3812);
    B.Raw(Case.Stream);
    // Version 3 never acts on the last byte before its end offset (the file size here).
    if (!Case.TagOffsetFromDump) B.End();
    if (Case.TagOffsetFromDump)
        B.TagOffset(*Case.TagOffsetFromDump == 0 ? 0
                                                 : B.DefaultDumpOffset() + *Case.TagOffsetFromDump);
    B.Save(Dir.File("song.s98"));

    TVarnhold Job;
    Job.ProgramFile = Dir.File("bin/varnhold");
    Job.Resolution = Case.Resolution;
    ASSERT_TRUE(Job.Convert(Dir.File("song.s98"))) << Job.ResultText;
    EXPECT_EQ(Job.ResultText, "[Done]");
    EXPECT_EQ(test::EndOfTrackTick(Dir.File("song.mid")), Case.LastTick + 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, TickTest, ::testing::ValuesIn(TickCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(Tempo, BeatsPerMinuteFromResolution) {
    const std::pair<std::uint32_t, std::uint32_t> Cases[] = {
        {192, 120}, {96, 240}, {32, 720}, {1024, 22}, {1000, 23}};
    for (const auto& [Resolution, Bpm] : Cases) {
        TVarnhold Job;
        Job.Resolution = Resolution;
        EXPECT_EQ(Job.Tempo(), Bpm) << "Resolution " << Resolution;
    }
}

// Sync period 1/2 s at Resolution 1024 makes exactly 9 ticks per sync, so the last tick
// a MIDI track can end one tick after is reached exactly.
class TickLimitTest : public ::testing::Test {
protected:
    test::TTempDir Dir;

    bool ConvertSyncs(std::uint32_t Syncs) {
        TS98Builder('3')
            .Sync(1, 2)
            .Device(S98YM3526)
            .Device(S98YM3812)
            .Write(0, 0, 0x20, 0x01)
            .Write(1, 0, 0x20, 0x01)
            .Wait(Syncs)
            .Save(Dir.File("long.s98"));
        TVarnhold Job;
        Job.ProgramFile = Dir.File("bin/varnhold");
        Job.Resolution = 1024;
        return Job.Convert(Dir.File("long.s98"));
    }
};

TEST_F(TickLimitTest, LastTickThatFitsConverts) {
    ASSERT_TRUE(ConvertSyncs(29826161)); // tick 268435449
    EXPECT_EQ(test::EndOfTrackTick(Dir.File("long_ID0_TSndYM3812.mid")), 268435450);
    EXPECT_EQ(test::EndOfTrackTick(Dir.File("long_ID1_TSndYM3812.mid")), 268435450);
}

TEST_F(TickLimitTest, TickBeyondMidiRangeWritesNothing) {
    try {
        ConvertSyncs(29826162); // tick 268435458
        FAIL() << "no error";
    } catch (const ELimitError& Error) {
        EXPECT_NE(std::string(Error.what()).find(Dir.File("long.s98")), std::string::npos)
            << Error.what();
    }
    EXPECT_FALSE(test::FileExistsPlain(Dir.File("long_ID0_TSndYM3812.mid")));
    EXPECT_FALSE(test::FileExistsPlain(Dir.File("long_ID1_TSndYM3812.mid")));
}

} // namespace
} // namespace varnhold
