// Whole conversions: result texts, which files are written, errors that end a conversion
// without output, debug.txt, the output directory and the message pump.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "JobTestUtil.h"
#include "job/VarnholdU.h"
#include "platform/ErrorsU.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

using namespace tools;

class ConvertTest : public ::testing::Test {
protected:
    test::TTempDir Dir;
    TVarnhold Job;

    ConvertTest() {
        // debug.txt is looked for beside this (never created) program file.
        std::filesystem::create_directory(Dir.File("bin"));
        Job.ProgramFile = Dir.File("bin/varnhold");
    }

    std::string Save(const TS98Builder& B, const std::string& Name = "song.s98") {
        B.Save(Dir.File(Name));
        return Dir.File(Name);
    }

    // Names of the files in Path, sorted.
    static std::vector<std::string> FilesIn(const std::string& Path) {
        std::vector<std::string> Names;
        for (const auto& Entry : std::filesystem::directory_iterator(Path))
            if (Entry.is_regular_file()) Names.push_back(Entry.path().filename().string());
        std::sort(Names.begin(), Names.end());
        return Names;
    }
};

// One YM3812 (its writes are accepted and ignored): a whole run with the tick-0 set-up only.
TS98Builder OneYM3812() {
    TS98Builder B('3');
    B.Device(S98YM3812).Write(0, 0, 0x20, 0x01).Wait(3).Write(0, 0, 0xB0, 0x20).Wait(1).End();
    return B;
}

TEST_F(ConvertTest, ValidFileIsDone) {
    const std::string File = Save(OneYM3812());
    EXPECT_TRUE(Job.Convert(File));
    EXPECT_EQ(Job.ResultText, "[Done]");
    EXPECT_EQ(FilesIn(Dir.Path()), (std::vector<std::string>{"song.mid", "song.s98"}));
    // Only the converter's own tick-0 events, and the end one tick after the last mark.
    const auto Events = test::ReadMidiEvents(Dir.File("song.mid"));
    ASSERT_FALSE(Events.empty());
    for (std::size_t i = 0; i + 1 < Events.size(); ++i)
        EXPECT_EQ(Events[i].Tick, 0) << "event " << i;
    EXPECT_EQ(test::EndOfTrackTick(Dir.File("song.mid")), 4); // 4 syncs = tick 3
    EXPECT_EQ(Job.Devices, nullptr) << "the device list outlived the conversion";
}

TEST_F(ConvertTest, FailedCheckLeavesItsMessageAndWritesNothing) {
    const std::string File = Save(TS98Builder('3').Device(S98YM3812).Raw({0xFF, 0x90, 0xFD}));
    EXPECT_FALSE(Job.Convert(File));
    EXPECT_EQ(Job.ResultText, "[ADDR:00000032] ダンプデータの構造に問題があります.");
    EXPECT_EQ(FilesIn(Dir.Path()), std::vector<std::string>{"song.s98"});
}

TEST_F(ConvertTest, MissingFileThrowsAndKeepsUnknownError) {
    try {
        Job.Convert(Dir.File("missing.s98"));
        FAIL() << "no error";
    } catch (const EFileError& Error) {
        EXPECT_NE(std::string(Error.what()).find("missing.s98"), std::string::npos) << Error.what();
    }
    EXPECT_EQ(Job.ResultText, "不明なエラー");
    EXPECT_EQ(Job.Devices, nullptr);
}

TEST_F(ConvertTest, UnknownCombinationWritesOneFilePerConvertingDevice) {
    // YM3526, an unaddressed record, YM3812, a used type-12 record: no known set.
    const std::string File = Save(TS98Builder('3')
                                      .Device(S98YM3526)
                                      .Device(S98YM2608)
                                      .Device(S98YM3812)
                                      .Device(12)
                                      .Write(0, 0, 0x20, 1)
                                      .Write(2, 0, 0x20, 1)
                                      .Write(3, 0, 0x20, 1)
                                      .Wait(2)
                                      .End(),
                                  "a.b.s98");
    ASSERT_TRUE(Job.Convert(File)) << Job.ResultText;
    EXPECT_EQ(FilesIn(Dir.Path()), (std::vector<std::string>{"a.b.s98", "a.b_ID0_TSndYM3812.mid",
                                                             "a.b_ID2_TSndYM3812.mid"}));
    EXPECT_EQ(test::EndOfTrackTick(Dir.File("a.b_ID0_TSndYM3812.mid")), 2);
}

struct TDebugCase {
    const char* Name;
    bool DebugFile;
    bool ProgramChange;
    bool ExpectBanks;
};

class DebugFileTest : public ConvertTest, public ::testing::WithParamInterface<TDebugCase> {};

// The voice banks are written only when both program changes and debug mode reach a
// converter, so they show that debug.txt reached every one of them.
TEST_P(DebugFileTest, DebugModeReachesEveryConverter) {
    const TDebugCase& Case = GetParam();
    if (Case.DebugFile) test::WriteFileBytes(Dir.File("bin/debug.txt"), {});
    const std::string File = Save(TS98Builder('3')
                                      .Device(S98YM3526)
                                      .Device(S98YM3812)
                                      .Write(0, 0, 0x20, 1)
                                      .Write(1, 0, 0x20, 1)
                                      .Wait(1));
    Job.UseProgramChange = Case.ProgramChange;
    ASSERT_TRUE(Job.Convert(File));
    EXPECT_EQ(Job.DebugMode, Case.DebugFile);
    for (const char* Name : {"song_ID0_TSndYM3812.vm3", "song_ID1_TSndYM3812.vm3"})
        EXPECT_EQ(test::FileExistsPlain(Dir.File(Name)), Case.ExpectBanks) << Name;
}

const TDebugCase DebugCases[] = {
    {"DebugFileAndProgramChange", true, true, true},
    {"NoDebugFile", false, true, false},
    {"DebugFileWithoutProgramChange", true, false, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, DebugFileTest, ::testing::ValuesIn(DebugCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(ConvertTest, DebugModeIsNeverSwitchedOff) {
    Job.DebugMode = true;
    ASSERT_TRUE(Job.Convert(Save(OneYM3812())));
    EXPECT_TRUE(Job.DebugMode);
}

// A write to a device number without a record ends the conversion before any output.
struct TNoModelCase {
    const char* Name;
    TS98Builder File;
    const char* Device;
};

class NoModelTest : public ConvertTest, public ::testing::WithParamInterface<TNoModelCase> {};

TEST_P(NoModelTest, ThrowsNamingDeviceAndFileAndWritesNothing) {
    const std::string File = Save(GetParam().File);
    try {
        Job.Convert(File);
        FAIL() << "no error";
    } catch (const EListIndexError& Error) {
        const std::string What = Error.what();
        EXPECT_NE(What.find(File), std::string::npos) << What;
        EXPECT_NE(What.find(std::string("device ") + GetParam().Device), std::string::npos) << What;
    }
    EXPECT_EQ(Job.ResultText, "不明なエラー");
    EXPECT_EQ(FilesIn(Dir.Path()), std::vector<std::string>{"song.s98"});
    EXPECT_EQ(Job.Devices, nullptr);
}

const TNoModelCase NoModelCases[] = {
    // Command byte 0x05 addresses device 2, port 1 in a version 3 file.
    {"SharedOutput", TS98Builder('3').Device(S98YM3812).Wait(5).Raw({0x05, 0x20, 0x01}).Wait(1),
     "2"},
    {"PerDeviceOutputs",
     TS98Builder('3')
         .Device(S98YM3526)
         .Device(S98YM3812)
         .Write(0, 0, 0x20, 1)
         .Write(1, 0, 0x20, 1)
         .Wait(2)
         .Write(63, 1, 0x20, 1),
     "63"},
    {"NoRecords", TS98Builder('3').Wait(2).Write(1, 0, 0x20, 1), "1"},
};

INSTANTIATE_TEST_SUITE_P(Cases, NoModelTest, ::testing::ValuesIn(NoModelCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(ConvertTest, VersionThreeCommand05WritesToDeviceTwo) {
    // With three records the same byte reaches the third one and the run completes.
    const std::string File = Save(TS98Builder('3')
                                      .Device(S98YM3812)
                                      .Device(S98YM3812)
                                      .Device(S98YM3812)
                                      .Raw({0x05, 0x20, 0x01})
                                      .Wait(1));
    ASSERT_TRUE(Job.Convert(File));
    EXPECT_EQ(Job.DeviceSetCode, 11) << "only device 2 is used";
    EXPECT_EQ(FilesIn(Dir.Path()), (std::vector<std::string>{"song.mid", "song.s98"}));
}

TEST_F(ConvertTest, VersionOneCommand05WritesToDefaultDevice) {
    // Device number 0 whatever the command byte says: the default YM2608 takes the write
    // (an ADPCM control register, from which no note comes).
    const std::string File = Save(TS98Builder('1').Raw({0x05, 0x01, 0x00}).Wait(2));
    ASSERT_TRUE(Job.Convert(File)) << Job.ResultText;
    EXPECT_EQ(FilesIn(Dir.Path()), (std::vector<std::string>{"song.mid", "song.s98"}));
}

TEST_F(ConvertTest, OutputDirReceivesTheOutputs) {
    std::filesystem::create_directory(Dir.File("out"));
    Job.OutputDir = Dir.File("out");
    ASSERT_TRUE(Job.Convert(Save(OneYM3812())));
    EXPECT_EQ(FilesIn(Dir.Path()), std::vector<std::string>{"song.s98"});
    EXPECT_EQ(FilesIn(Dir.File("out")), std::vector<std::string>{"song.mid"});
}

TEST_F(ConvertTest, MissingOutputDirThrowsBeforeWriting) {
    Job.OutputDir = Dir.File("nowhere");
    const std::string File = Save(OneYM3812());
    try {
        Job.Convert(File);
        FAIL() << "no error";
    } catch (const EFileError& Error) {
        EXPECT_NE(std::string(Error.what()).find(Dir.File("nowhere")), std::string::npos)
            << Error.what();
    }
    EXPECT_EQ(FilesIn(Dir.Path()), std::vector<std::string>{"song.s98"});
    EXPECT_FALSE(std::filesystem::exists(Dir.File("nowhere")));
}

TEST_F(ConvertTest, PumpOncePerCommandByteInCheckAndRunAndOncePerRecord) {
    int Calls = 0;
    Job.ProcessMessages.Set([&] { ++Calls; });
    // Two records; five command bytes up to and including 0xFD, one after it.
    const std::string File = Save(TS98Builder('3')
                                      .Device(S98YM3812)
                                      .Device(S98YM3526)
                                      .Write(0, 0, 0x20, 1)
                                      .Wait(1)
                                      .Wait(7)
                                      .Write(1, 0, 0x20, 1)
                                      .End()
                                      .Wait(1));
    ASSERT_TRUE(Job.Convert(File));
    EXPECT_EQ(Calls, 5 + 5 + 2);
}

TEST_F(ConvertTest, ConversionStartedFromThePumpRunsNested) {
    // A window may start a second conversion while the first one lets it breathe.
    const std::string Outer = Save(OneYM3812(), "outer.s98");
    const std::string Inner =
        Save(TS98Builder('3').Device(S98YM3812).Write(0, 0, 0x20, 1).Wait(54), "inner.s98");
    bool Started = false;
    bool InnerDone = false;
    Job.ProcessMessages.Set([&] {
        if (Started) return;
        Started = true;
        TVarnhold Second;
        Second.ProgramFile = Job.ProgramFile;
        InnerDone = Second.Convert(Inner);
    });
    ASSERT_TRUE(Job.Convert(Outer));
    EXPECT_TRUE(InnerDone);
    EXPECT_EQ(test::EndOfTrackTick(Dir.File("outer.mid")), 4);
    EXPECT_EQ(test::EndOfTrackTick(Dir.File("inner.mid")), 52); // 54 syncs = tick 51
}

} // namespace
} // namespace varnhold
