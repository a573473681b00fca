// The device set-up: which model each record gets, the device set, shared or per-device
// converters, channel-map rows, clocks and output suffixes.
#include <gtest/gtest.h>

#include "JobTestUtil.h"
#include "chips/SndBaseU.h"
#include "job/VarnholdU.h"

namespace varnhold {
namespace {

using namespace tools;

struct TRecord {
    std::uint32_t Type;
    bool Used = true; // the stream writes to it
    std::uint32_t Clock = 0;
};

struct TSetCase {
    const char* Name;
    char Version;
    std::vector<TRecord> Records;
    std::uint8_t Code;
    std::vector<std::string> Classes;
    std::vector<std::uint8_t> Rows;
    std::vector<std::string> Suffixes; // per-device converters; empty for a shared output
};

const TSetCase SetCases[] = {
    {"VersionOneGetsDefaultDevice", '1', {}, 0, {"TSndYM2608"}, {0}, {}},
    {"NoRecordsGetDefaultDevice", '3', {}, 0, {"TSndYM2608"}, {0}, {}},
    {"OneYM2608", '3', {{S98YM2608}}, 7, {"TSndYM2608"}, {0}, {}},
    {"YM2149AndYM2151",
     '3',
     {{S98YM2149}, {S98YM2151}},
     2,
     {"TSndYM2149", "TSndYM2151"},
     {1, 0},
     {}},
    {"ThreeYM2149",
     '3',
     {{S98YM2149}, {S98YM2149}, {S98YM2149}},
     3,
     {"TSndYM2149", "TSndYM2149", "TSndYM2149"},
     {3, 4, 5},
     {}},
    {"TwoYM2149AroundUnusedRecord",
     '3',
     {{S98YM2149}, {S98YM2151, false}, {S98YM2149}},
     3,
     {"TSndYM2149", "TSndNothing", "TSndYM2149"},
     {3, 0, 5},
     {}},
    {"YM2149Alone", '3', {{S98YM2149}}, 4, {"TSndYM2149"}, {0}, {}},
    {"YM2203Alone", '3', {{S98YM2203}}, 5, {"TSndYM2203"}, {0}, {}},
    {"YM2612Alone", '3', {{S98YM2612}}, 6, {"TSndYM2612"}, {0}, {}},
    {"YM2151Alone", '3', {{S98YM2151}}, 8, {"TSndYM2151"}, {0}, {}},
    {"YM2413Alone", '3', {{S98YM2413}}, 9, {"TSndYM2413"}, {6}, {}},
    {"YM3526Alone", '3', {{S98YM3526}}, 10, {"TSndYM3812"}, {0}, {}},
    {"YM3812Alone", '3', {{S98YM3812}}, 11, {"TSndYM3812"}, {0}, {}},
    {"YMF262Alone", '3', {{S98YMF262}}, 12, {"TSndNothing"}, {0}, {}},
    {"AY38910Alone", '3', {{S98AY38910}}, 13, {"TSndAY38910"}, {0}, {}},
    {"SN76489Alone", '3', {{S98SN76489}}, 14, {"TSndSN76489"}, {0}, {}},
    {"YM2413AndSN76489",
     '3',
     {{S98YM2413}, {S98SN76489}},
     15,
     {"TSndYM2413", "TSndSN76489"},
     {6, 7},
     {}},
    {"YM2612AndSN76489",
     '3',
     {{S98YM2612}, {S98SN76489}},
     16,
     {"TSndYM2612", "TSndSN76489"},
     {0, 7},
     {}},
    {"YM2608AndUnusedYM2151",
     '3',
     {{S98YM2608}, {S98YM2151, false}},
     7,
     {"TSndYM2608", "TSndNothing"},
     {0, 0},
     {}},
    {"UnusedRecordsOnly",
     '3',
     {{S98YM2608, false}, {S98YM2151, false}},
     0,
     {"TSndNothing", "TSndNothing"},
     {0, 0},
     {}},
    // No row matches: one converter per device.
    {"YM2608AndYM2151",
     '3',
     {{S98YM2608}, {S98YM2151}},
     1,
     {"TSndYM2608", "TSndYM2151"},
     {0, 0},
     {"_ID0_TSndYM2608", "_ID1_TSndYM2151"}},
    {"TwoYM2608",
     '3',
     {{S98YM2608}, {S98YM2608}},
     1,
     {"TSndYM2608", "TSndYM2608"},
     {0, 0},
     {"_ID0_TSndYM2608", "_ID1_TSndYM2608"}},
    {"FourYM2149",
     '3',
     {{S98YM2149}, {S98YM2149}, {S98YM2149}, {S98YM2149}},
     1,
     {"TSndYM2149", "TSndYM2149", "TSndYM2149", "TSndYM2149"},
     {0, 0, 0, 0},
     {"_ID0_TSndYM2149", "_ID1_TSndYM2149", "_ID2_TSndYM2149", "_ID3_TSndYM2149"}},
    {"SN76489OutsideItsSets",
     '3',
     {{S98YM2608}, {S98SN76489}},
     1,
     {"TSndYM2608", "TSndSN76489"},
     {0, 0},
     {"_ID0_TSndYM2608", "_ID1_TSndSN76489"}},
    {"Type12Used",
     '3',
     {{S98YM2608}, {12}},
     1,
     {"TSndYM2608", "TSndNothing"},
     {0, 0},
     {"_ID0_TSndYM2608", "_ID1_TSndNothing"}},
    // A type beyond the table has no model and belongs to no known set.
    {"TypeAbove16Used",
     '3',
     {{S98YM2608}, {40}},
     1,
     {"TSndYM2608", "TSndNothing"},
     {0, 0},
     {"_ID0_TSndYM2608", "_ID1_TSndNothing"}},
    {"TypeAbove16Alone", '3', {{17}}, 1, {"TSndNothing"}, {0}, {"_ID0_TSndNothing"}},
    {"TypeAbove16Unused",
     '3',
     {{S98YM2608}, {17, false}},
     7,
     {"TSndYM2608", "TSndNothing"},
     {0, 0},
     {}},
};

class DeviceSetUpTest : public ::testing::TestWithParam<TSetCase> {
protected:
    TVarnhold Job;

    void SetUpFile(char Version, const std::vector<TRecord>& Records) {
        TS98Builder B(Version);
        for (const TRecord& R : Records)
            B.Device(R.Type, R.Clock);
        for (std::size_t n = 0; n < Records.size(); ++n)
            if (Records[n].Used) B.Write(static_cast<std::uint8_t>(n), 0, 0x00, 0x00);
        B.End();
        TMemoryStream Stream = test::StreamOf(B);
        std::string Text;
        const int FileVersion = Job.ValidateS98(Stream, Text);
        ASSERT_EQ(FileVersion, Version - '0') << Text;
        Job.Devices = std::make_unique<TSndDeviceList>();
        Job.SetUpDevices(Stream, FileVersion);
    }
};

TEST_P(DeviceSetUpTest, ModelsRowsAndConverters) {
    const TSetCase& Case = GetParam();
    SetUpFile(Case.Version, Case.Records);
    EXPECT_EQ(Job.DeviceSetCode, Case.Code);
    const bool Shared = Case.Suffixes.empty();
    EXPECT_EQ(Job.SharedOutput, Shared);
    EXPECT_EQ(Job.SharedConverter != nullptr, Shared);
    ASSERT_EQ(Job.Devices->Count(), static_cast<int>(Case.Classes.size()));
    for (int n = 0; n < Job.Devices->Count(); ++n) {
        SCOPED_TRACE("device " + std::to_string(n));
        const TSndDevice* Model = Job.Devices->Get(n);
        ASSERT_NE(Model->DeviceClass, nullptr);
        EXPECT_EQ(Model->DeviceClass->Name, Case.Classes[n]);
        EXPECT_EQ(Model->ChannelMapRow, Case.Rows[n]);
        EXPECT_EQ(Model->GetClock(), 7987200.0);
        if (Shared) {
            EXPECT_EQ(Model->Converter, nullptr);
        } else {
            ASSERT_NE(Model->Converter, nullptr);
            EXPECT_EQ(Model->Converter->NameSuffix, Case.Suffixes[n]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceSetUpTest, ::testing::ValuesIn(SetCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(DeviceSetUpTest, RecordClockOrDefault) {
    SetUpFile('3', {{S98YM2612, true, 0}, {S98SN76489, true, 3579545}});
    EXPECT_EQ(Job.Devices->Get(0)->GetClock(), 7987200.0);
    EXPECT_EQ(Job.Devices->Get(1)->GetClock(), 3579545.0);
}

TEST_F(DeviceSetUpTest, EveryConverterGetsTheJobsOptions) {
    // Every option away from its default, so that a missed copy shows.
    Job.UsePanpot = false;
    Job.UseProgramChange = true;
    Job.UsePitchBend = false;
    Job.UsePitchBendVib = false;
    Job.UseVelocity = true;
    Job.DebugMode = true;
    SetUpFile('3', {{S98YM2608}, {S98YM2151}, {S98YM2413}});
    ASSERT_FALSE(Job.SharedOutput);
    for (int n = 0; n < Job.Devices->Count(); ++n) {
        const TStateConv& C = *Job.Devices->Get(n)->Converter;
        EXPECT_FALSE(C.UsePanpot);
        EXPECT_TRUE(C.UseProgramChange);
        EXPECT_FALSE(C.UsePitchBend);
        EXPECT_FALSE(C.UsePitchBendVib);
        EXPECT_TRUE(C.UseVelocity);
        EXPECT_TRUE(C.DebugMode);
        EXPECT_GT(C.Smf.Count(), 0u) << "Reset wrote no tick-0 set-up";
    }
}

TEST(ClassifyDeviceSet, CountsMustMatchExactly) {
    std::array<std::uint8_t, 17> Counts{};
    EXPECT_EQ(TVarnhold::ClassifyDeviceSet(Counts), 0);
    Counts[S98YM2151] = 1;
    EXPECT_EQ(TVarnhold::ClassifyDeviceSet(Counts), 8);
    Counts[S98YM2151] = 2;
    EXPECT_EQ(TVarnhold::ClassifyDeviceSet(Counts), 1);
    Counts[S98YM2151] = 1;
    Counts[S98YM2149] = 1;
    EXPECT_EQ(TVarnhold::ClassifyDeviceSet(Counts), 2);
    Counts[S98None] = 1; // entry 0 is compared too
    EXPECT_EQ(TVarnhold::ClassifyDeviceSet(Counts), 1);
}

TEST(UsesSharedOutput, OnlyTheUnknownSetSplits) {
    for (int Code = 0; Code <= 16; ++Code)
        EXPECT_EQ(TVarnhold::UsesSharedOutput(static_cast<std::uint8_t>(Code)), Code != 1)
            << "code " << Code;
}

} // namespace
} // namespace varnhold
