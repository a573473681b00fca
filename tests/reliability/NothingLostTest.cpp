// Nothing lost: a conversion that fails leaves older outputs of the same name as they were
// and no temporary file; when one of several outputs cannot be written, those written
// before it are complete and the error names the one that was not.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "FuzzHarness.h"
#include "S98Builder.h"
#include "SeedCorpus.h"
#include "Ym2608Composer.h"
#include "job/VarnholdU.h"
#include "platform/ErrorsU.h"
#include "reliability/ReliabilityUtil.h"
#include "support/TestSupport.h"

namespace varnhold::test {
namespace {

using namespace tools;
namespace fs = std::filesystem;

const std::vector<std::uint8_t> OlderMidi = {'M', 'T', 'h', 'd', 'o', 'l', 'd'};
const std::vector<std::uint8_t> OlderBank = {'F', 'M', 'M', '3', 'o', 'l', 'd'};

// A YM2608 log that plays for a while and then meets Tail.
std::vector<std::uint8_t> PlayThen(const std::function<void(TS98Builder&)>& Tail,
                                   const std::string& Magic = "S98") {
    TS98Builder B('3');
    B.Device(S98YM2608).Magic(Magic);
    TYm2608Composer C(B);
    C.Init();
    TFmVoice Voice;
    Voice.Algorithm = 7;
    C.SetVoice(0, Voice);
    C.NoteOn(0, 60);
    C.Wait(50);
    C.NoteOn(0, 64);
    C.Wait(50);
    Tail(B);
    B.Wait(10).End();
    return B.Build();
}

class NothingLost : public ::testing::Test {
protected:
    TTempDir Dir;

    std::string Input(const std::vector<std::uint8_t>& Bytes,
                      const std::string& Name = "song.s98") {
        WriteFileBytes(Dir.File(Name), Bytes);
        return Dir.File(Name);
    }
    void PlaceOlderOutputs(const std::string& Base = "song") {
        WriteFileBytes(Dir.File(Base + ".mid"), OlderMidi);
        WriteFileBytes(Dir.File(Base + ".vm3"), OlderBank);
    }
    static void VoicesOn(TVarnhold& Job) {
        Job.UseProgramChange = true;
        Job.DebugMode = true;
    }
};

struct TFailingLog {
    const char* Name;
    std::vector<std::uint8_t> Bytes;
};

class FailedConversion : public NothingLost, public ::testing::WithParamInterface<TFailingLog> {};

TEST_P(FailedConversion, LeavesOlderOutputsUntouchedAndNoTemporaryFile) {
    const std::string File = Input(GetParam().Bytes);
    PlaceOlderOutputs();
    const auto Before = SnapshotTree(Dir.Path());

    TVarnhold Job;
    VoicesOn(Job);
    bool Done = false;
    try {
        Done = Job.Convert(File);
    } catch (const EVarnholdError&) {
    }
    EXPECT_FALSE(Done);
    EXPECT_EQ(SnapshotTree(Dir.Path()), Before);
    EXPECT_EQ(ListTree(Dir.Path()), (std::set<std::string>{"song.s98", "song.mid", "song.vm3"}));
}

const TFailingLog FailingLogs[] = {
    {"RejectedHeader", PlayThen([](TS98Builder&) {}, "S99")},
    {"ForbiddenByteLate", PlayThen([](TS98Builder& B) { B.Raw({0x90}); })},
    {"DeviceWithoutModelLate", PlayThen([](TS98Builder& B) { B.Write(3, 0, 0x28, 0xF0); })},
    {"TickBeyondTheLimitLate", PlayThen([](TS98Builder& B) { B.Wait(0xF0000000u); })},
};

INSTANTIATE_TEST_SUITE_P(Logs, FailedConversion, ::testing::ValuesIn(FailingLogs),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(NothingLost, OutputDirectoryMissingOrAFileFailsBeforeWritingAnything) {
    const std::string File = Input(PlayThen([](TS98Builder&) {}));
    PlaceOlderOutputs();
    WriteFileBytes(Dir.File("plain"), {'x'});
    const auto Before = SnapshotTree(Dir.Path());
    for (const std::string& OutDir :
         {Dir.File("missing"), Dir.File("plain"), Dir.File("plain/sub")}) {
        TVarnhold Job;
        Job.OutputDir = OutDir;
        try {
            Job.Convert(File);
            ADD_FAILURE() << "no error for " << OutDir;
        } catch (const EFileError& Error) {
            EXPECT_NE(std::string(Error.what()).find(OutDir), std::string::npos) << Error.what();
        }
        EXPECT_EQ(SnapshotTree(Dir.Path()), Before) << OutDir;
        EXPECT_TRUE(TemporaryFiles(Dir.Path()).empty()) << OutDir;
    }
}

// Three devices without a known set: one output each, written in device order.
class PerDeviceOutputs : public NothingLost {
protected:
    const std::vector<std::uint8_t> Log = fuzz::ComposeLog({S98YM2608, S98YM2151, S98SN76489});
    const std::string First = "song_ID0_TSndYM2608.mid";
    const std::string Second = "song_ID1_TSndYM2151.mid";
    const std::string Third = "song_ID2_TSndSN76489.mid";

    // What each output holds when nothing is in the way.
    std::map<std::string, std::vector<std::uint8_t>> Reference() {
        TTempDir Clean;
        WriteFileBytes(Clean.File("song.s98"), Log);
        TVarnhold Job;
        EXPECT_TRUE(Job.Convert(Clean.File("song.s98")));
        return SnapshotTree(Clean.Path());
    }
};

TEST_F(PerDeviceOutputs, ABlockedOutputKeepsTheEarlierOnesCompleteAndIsNamed) {
    const auto Expected = Reference();
    ASSERT_EQ(Expected.size(), 4u); // the input and three outputs
    const std::string File = Input(Log);
    WriteFileBytes(Dir.File(First), OlderMidi);
    WriteFileBytes(Dir.File(Third), OlderMidi);
    fs::create_directory(Dir.File(Second));

    TVarnhold Job;
    try {
        Job.Convert(File);
        FAIL() << "no error for the blocked output";
    } catch (const EFileError& Error) {
        EXPECT_NE(std::string(Error.what()).find(Dir.File(Second)), std::string::npos)
            << Error.what();
    }
    const auto After = SnapshotTree(Dir.Path());
    ASSERT_TRUE(After.count(First));
    EXPECT_EQ(After.at(First), Expected.at(First)); // replaced by a complete file
    EXPECT_EQ(fuzz::CheckMidiFile(After.at(First)), "");
    EXPECT_TRUE(fs::is_directory(Dir.File(Second)));
    EXPECT_EQ(After.at(Third), OlderMidi); // never reached: untouched
    EXPECT_TRUE(TemporaryFiles(Dir.Path()).empty());
}

TEST_F(PerDeviceOutputs, ThroughTheToolTheBlockedOutputIsNamedAndTheRunFails) {
    const std::string File = Input(Log);
    fs::create_directory(Dir.File(Second));
    const TToolRun R = RunTool({File});
    EXPECT_EQ(R.Exit, 1);
    EXPECT_EQ(R.Err, File + ": error: cannot write \"" + Dir.File(Second) + "\": Is a directory\n");
    EXPECT_EQ(ListTree(Dir.Path()), (std::set<std::string>{"song.s98", First, Second + "/"}));
}

TEST_F(NothingLost, ABlockedVoiceBankIsNamedAfterItsCompleteMidiFile) {
    const std::string File = Input(PlayThen([](TS98Builder&) {}));
    fs::create_directory(Dir.File("song.vm3"));
    TVarnhold Job;
    VoicesOn(Job);
    try {
        Job.Convert(File);
        FAIL() << "no error for the blocked voice bank";
    } catch (const EFileError& Error) {
        EXPECT_NE(std::string(Error.what()).find(Dir.File("song.vm3")), std::string::npos)
            << Error.what();
    }
    EXPECT_EQ(fuzz::CheckMidiFile(ReadFileBytes(Dir.File("song.mid"))), "");
    EXPECT_TRUE(TemporaryFiles(Dir.Path()).empty());
}

TEST_F(NothingLost, ASuccessfulRunReplacesOlderOutputsWithCompleteFiles) {
    const std::string File = Input(PlayThen([](TS98Builder&) {}));
    PlaceOlderOutputs();
    TVarnhold Job;
    VoicesOn(Job);
    ASSERT_TRUE(Job.Convert(File));
    EXPECT_EQ(fuzz::CheckMidiFile(ReadFileBytes(Dir.File("song.mid"))), "");
    EXPECT_EQ(fuzz::CheckBankFile(ReadFileBytes(Dir.File("song.vm3"))), "");
    EXPECT_EQ(ListTree(Dir.Path()), (std::set<std::string>{"song.s98", "song.mid", "song.vm3"}));
}

} // namespace
} // namespace varnhold::test

namespace varnhold::test {
namespace {

// A log saved under the name of its own output (song.mid, or song.vm3 when the voice bank
// is written) would be replaced by that output and lost. It is refused before anything is
// written.
struct TSelfNamedCase {
    const char* Name;
    const char* Input;     // below the test directory
    const char* OutputDir; // "" for beside the input
    bool Voices;           // ProgramChange and DebugMode
    const char* Refused;   // the output that would replace the input; "" when it converts
};

const TSelfNamedCase SelfNamedCases[] = {
    {"MidiName", "song.mid", "", false, "song.mid"},
    {"BankNameWithVoices", "song.vm3", "", true, "song.vm3"},
    {"BankNameWithoutVoices", "song.vm3", "", false, ""},
    {"SameDirectoryAsOutputDir", "sub/song.mid", "sub/", false, "sub/song.mid"},
    {"SameDirectoryByAnotherPath", "sub/song.mid", "sub/../sub", false, "sub/song.mid"},
    {"OtherOutputDir", "sub/song.mid", "other", false, ""},
};

class SelfNamedInput : public ::testing::TestWithParam<TSelfNamedCase> {};

TEST_P(SelfNamedInput, IsNeverReplacedByItsOutput) {
    const TSelfNamedCase& C = GetParam();
    TTempDir Dir;
    fs::create_directory(Dir.File("sub"));
    fs::create_directory(Dir.File("other"));
    const std::string File = Dir.File(C.Input);
    const std::vector<std::uint8_t> Log = PlayThen([](TS98Builder&) {});
    WriteFileBytes(File, Log);
    const auto Before = SnapshotTree(Dir.Path());

    TVarnhold Job;
    Job.UseProgramChange = Job.DebugMode = C.Voices;
    if (*C.OutputDir) Job.OutputDir = Dir.File(C.OutputDir);
    if (*C.Refused) {
        try {
            Job.Convert(File);
            FAIL() << "the input was converted over itself";
        } catch (const EFileError& Error) {
            EXPECT_NE(std::string(Error.what()).find("it is the input file"), std::string::npos)
                << Error.what();
            EXPECT_NE(std::string(Error.what()).find(C.Refused), std::string::npos) << Error.what();
        }
        EXPECT_EQ(SnapshotTree(Dir.Path()), Before);
    } else {
        EXPECT_TRUE(Job.Convert(File));
        EXPECT_EQ(ReadFileBytes(File), Log);
    }
    EXPECT_TRUE(TemporaryFiles(Dir.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, SelfNamedInput, ::testing::ValuesIn(SelfNamedCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(SelfNamedInputTool, FailsNamingTheOutputAndKeepsTheLog) {
    TTempDir Dir;
    const std::string File = Dir.File("song.mid");
    const std::vector<std::uint8_t> Log = PlayThen([](TS98Builder&) {});
    WriteFileBytes(File, Log);
    const TToolRun R = RunTool({File});
    EXPECT_EQ(R.Exit, 1);
    EXPECT_EQ(R.Err, File + ": error: cannot write \"" + File +
                         "\": it is the input file; rename the input or choose another output "
                         "directory\n");
    EXPECT_EQ(ReadFileBytes(File), Log);
    EXPECT_EQ(ListTree(Dir.Path()), std::set<std::string>{"song.mid"});
}

} // namespace
} // namespace varnhold::test
