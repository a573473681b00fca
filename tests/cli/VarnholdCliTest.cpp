// The command-line tool: usage errors, result lines and exit status, option mapping,
// the output directory, and parallel batches equal to serial ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "S98Builder.h"
#include "VarnholdCliU.h"
#include "job/VarnholdU.h"
#include "support/TestSupport.h"

namespace varnhold::cli {
namespace {

using namespace tools;

struct TRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

TRun RunTool(std::vector<std::string> Args, bool ErrIsTerminal = false) {
    Args.insert(Args.begin(), "varnhold");
    std::vector<const char*> Argv;
    for (const std::string& A : Args)
        Argv.push_back(A.c_str());
    std::ostringstream Out, Err;
    TRun R;
    R.Exit = RunVarnhold(static_cast<int>(Argv.size()), Argv.data(), Out, Err, ErrIsTerminal);
    R.Out = Out.str();
    R.Err = Err.str();
    return R;
}

const std::string CannotRead = "ファイルが読み込めない又はファイルサイズが不正です.";

// A little SN76489 tune: tone on channel 0, a pitch step, volume changes, silence.
TS98Builder Tune(std::uint8_t Pitch) {
    TS98Builder B('3');
    B.Device(S98SN76489, 3579545);
    B.Write(0, 0, 0, 0x80 | (Pitch & 0x0F)).Write(0, 0, 0, 0x05).Write(0, 0, 0, 0x90).Wait(30);
    B.Write(0, 0, 0, 0x80 | ((Pitch + 3) & 0x0F)).Wait(30);
    B.Write(0, 0, 0, 0x94).Wait(30).Write(0, 0, 0, 0x9F).Wait(10).End();
    return B;
}

class CliTest : public ::testing::Test {
protected:
    test::TTempDir Dir;

    std::string Save(const TS98Builder& B, const std::string& Name) {
        B.Save(Dir.File(Name));
        return Dir.File(Name);
    }
    std::string SaveBytes(std::vector<std::uint8_t> Bytes, const std::string& Name) {
        test::WriteFileBytes(Dir.File(Name), Bytes);
        return Dir.File(Name);
    }
    std::string Valid(const std::string& Name = "song.s98") { return Save(Tune(5), Name); }
};

TEST_F(CliTest, UsageErrorsExitTwoAndConvertNothing) {
    const std::string File = Valid();
    const std::vector<std::vector<std::string>> Cases = {
        {"--bogus", File},
        {"--resolution", "31", File},
        {"--resolution", "1025", File},
        {"--resolution", "x", File},
        {},
        {"--velocity"},
        {"-j", "0", File},
        {"--output-dir", Dir.File("nowhere"), File},
    };
    for (const auto& Args : Cases) {
        std::string Joined;
        for (const auto& A : Args)
            Joined += A + " ";
        const TRun R = RunTool(Args);
        EXPECT_EQ(R.Exit, ExitUsage) << Joined;
        EXPECT_FALSE(R.Err.empty()) << Joined;
        EXPECT_EQ(R.Out, "") << Joined;
        EXPECT_FALSE(test::FileExistsPlain(Dir.File("song.mid"))) << Joined;
    }
}

TEST_F(CliTest, HelpAndVersionExitZero) {
    const TRun Version = RunTool({"--version"});
    EXPECT_EQ(Version.Exit, ExitConverted);
    EXPECT_EQ(Version.Out, std::string("varnhold ") + VARNHOLD_VERSION + "\n");
    const TRun Help = RunTool({"--help"});
    EXPECT_EQ(Help.Exit, ExitConverted);
    for (const char* Option :
         {"--no-pitch-bend", "--no-bend-vibrato", "--no-pan", "--velocity", "--program-change",
          "--resolution", "--debug", "--output-dir", "--jobs", "--quiet", "--version"})
        EXPECT_NE(Help.Out.find(Option), std::string::npos) << Option;
}

TEST_F(CliTest, ValidFileIsDone) {
    const std::string File = Valid();
    const TRun R = RunTool({File});
    EXPECT_EQ(R.Exit, ExitConverted);
    EXPECT_EQ(R.Out, File + ": [Done]\n");
    EXPECT_EQ(R.Err, "");
    EXPECT_TRUE(test::FileExistsPlain(Dir.File("song.mid")));
}

TEST_F(CliTest, ResolutionBoundsAccepted) {
    const std::string File = Valid();
    for (const char* Resolution : {"32", "1024"})
        EXPECT_EQ(RunTool({"--resolution", Resolution, File}).Exit, ExitConverted) << Resolution;
}

TEST_F(CliTest, TenByteFileIsRejected) {
    const std::string File = SaveBytes(std::vector<std::uint8_t>(10, 'S'), "short.s98");
    const TRun R = RunTool({File});
    EXPECT_EQ(R.Exit, ExitFailed);
    EXPECT_EQ(R.Out, File + ": " + CannotRead + "\n");
    EXPECT_FALSE(test::FileExistsPlain(Dir.File("short.mid")));
}

TEST_F(CliTest, MissingFileFailsAloneAndOthersStillConvert) {
    const std::string First = Valid("first.s98");
    const std::string Missing = Dir.File("missing.s98");
    const std::string Last = Valid("last.s98");
    for (const char* Jobs : {"1", "3"}) {
        const TRun R = RunTool({"-j", Jobs, First, Missing, Last});
        EXPECT_EQ(R.Exit, ExitFailed) << Jobs;
        EXPECT_EQ(R.Out, First + ": [Done]\n" + Last + ": [Done]\n") << Jobs;
        // One line naming the file and the cause.
        EXPECT_EQ(std::count(R.Err.begin(), R.Err.end(), '\n'), 1) << R.Err;
        EXPECT_EQ(R.Err.rfind(Missing + ": error: ", 0), 0u) << R.Err;
        EXPECT_NE(R.Err.find("cannot open"), std::string::npos) << R.Err;
    }
    EXPECT_TRUE(test::FileExistsPlain(Dir.File("first.mid")));
    EXPECT_TRUE(test::FileExistsPlain(Dir.File("last.mid")));
}

TEST_F(CliTest, DeviceWithoutModelIsAnErrorLine) {
    // A write to device 1 of a file with one device record.
    const std::string File =
        Save(TS98Builder('3').Device(S98SN76489).Wait(2).Write(1, 0, 0, 0x90).End(), "bad.s98");
    const TRun R = RunTool({File});
    EXPECT_EQ(R.Exit, ExitFailed);
    EXPECT_EQ(R.Out, "");
    EXPECT_EQ(R.Err.rfind(File + ": error: ", 0), 0u) << R.Err;
    EXPECT_NE(R.Err.find("device 1"), std::string::npos) << R.Err;
    EXPECT_FALSE(test::FileExistsPlain(Dir.File("bad.mid")));
}

TEST_F(CliTest, QuietPrintsOnlyFailures) {
    const std::string Good = Valid();
    const std::string Short = SaveBytes(std::vector<std::uint8_t>(10, 0), "short.s98");
    const TRun R = RunTool({"-q", Good, Short});
    EXPECT_EQ(R.Exit, ExitFailed);
    EXPECT_EQ(R.Out, Short + ": " + CannotRead + "\n");
    EXPECT_EQ(RunTool({"--quiet", Good}).Out, "");
}

TEST_F(CliTest, OutputDirReceivesTheOutputs) {
    std::filesystem::create_directory(Dir.File("out"));
    const std::string File = Valid();
    const TRun R = RunTool({"--output-dir", Dir.File("out"), File});
    EXPECT_EQ(R.Exit, ExitConverted) << R.Err;
    EXPECT_TRUE(test::FileExistsPlain(Dir.File("out/song.mid")));
    EXPECT_FALSE(test::FileExistsPlain(Dir.File("song.mid")));
}

TEST_F(CliTest, ProgramChangeWithDebugWritesVoiceBank) {
    const std::string File = Valid();
    ASSERT_EQ(RunTool({"--program-change", "--debug", File}).Exit, ExitConverted);
    EXPECT_TRUE(test::FileExistsPlain(Dir.File("song.vm3")));
}

struct TOptionCase {
    std::vector<std::string> Args;
    bool PitchBend, PitchBendVib, Panpot, Velocity, ProgramChange, Debug;
    std::uint32_t Resolution;
};

TEST(CliOptions, EachFlagSetsOnlyItsOwnField) {
    const TOptionCase Cases[] = {
        {{}, true, true, true, false, false, false, 192},
        // Unlike the window, --no-pitch-bend leaves the vibrato bend alone.
        {{"--no-pitch-bend"}, false, true, true, false, false, false, 192},
        {{"--no-bend-vibrato"}, true, false, true, false, false, false, 192},
        {{"--no-pan"}, true, true, false, false, false, false, 192},
        {{"--velocity"}, true, true, true, true, false, false, 192},
        {{"--program-change"}, true, true, true, false, true, false, 192},
        {{"--debug"}, true, true, true, false, false, true, 192},
        {{"--resolution", "96"}, true, true, true, false, false, false, 96},
        {{"--no-pitch-bend", "--no-bend-vibrato", "--no-pan", "--velocity", "--program-change",
          "--debug", "--resolution", "1024"},
         false,
         false,
         false,
         true,
         true,
         true,
         1024},
    };
    for (const TOptionCase& Case : Cases) {
        std::vector<const char*> Argv{"varnhold"};
        std::string Joined;
        for (const auto& A : Case.Args) {
            Argv.push_back(A.c_str());
            Joined += A + " ";
        }
        Argv.push_back("x.s98");
        TCliOptions Options;
        std::ostringstream Out, Err;
        ASSERT_EQ(ParseCommandLine(static_cast<int>(Argv.size()), Argv.data(), Options, Out, Err),
                  -1)
            << Joined << Err.str();
        TVarnhold Job;
        ApplyOptions(Options, Job);
        EXPECT_EQ(Job.UsePitchBend, Case.PitchBend) << Joined;
        EXPECT_EQ(Job.UsePitchBendVib, Case.PitchBendVib) << Joined;
        EXPECT_EQ(Job.UsePanpot, Case.Panpot) << Joined;
        EXPECT_EQ(Job.UseVelocity, Case.Velocity) << Joined;
        EXPECT_EQ(Job.UseProgramChange, Case.ProgramChange) << Joined;
        EXPECT_EQ(Job.DebugMode, Case.Debug) << Joined;
        EXPECT_EQ(Job.Resolution, Case.Resolution) << Joined;
        EXPECT_EQ(Options.Files, std::vector<std::string>{"x.s98"}) << Joined;
    }
}

TEST_F(CliTest, ParallelBatchEqualsSerialBatch) {
    // Different tunes, a rejected file and a missing one, converted into two directories.
    std::vector<std::string> Files;
    for (int i = 0; i < 9; ++i)
        Files.push_back(Save(Tune(static_cast<std::uint8_t>(i)), "t" + std::to_string(i) + ".s98"));
    Files.insert(Files.begin() + 4, SaveBytes({'S', '9', '8'}, "short.s98"));
    Files.insert(Files.begin() + 7, Dir.File("missing.s98"));
    std::filesystem::create_directory(Dir.File("serial"));
    std::filesystem::create_directory(Dir.File("parallel"));

    auto Batch = [&](const char* Jobs, const char* Into) {
        std::vector<std::string> Args{"--velocity", "-j", Jobs, "--output-dir", Dir.File(Into)};
        Args.insert(Args.end(), Files.begin(), Files.end());
        return RunTool(Args);
    };
    const TRun Serial = Batch("1", "serial");
    const TRun Parallel = Batch("2", "parallel");
    EXPECT_EQ(Serial.Exit, ExitFailed);
    EXPECT_EQ(Parallel.Exit, Serial.Exit);
    EXPECT_EQ(Parallel.Out, Serial.Out);
    EXPECT_EQ(Parallel.Err, Serial.Err);
    for (int i = 0; i < 9; ++i) {
        const std::string Name = "t" + std::to_string(i) + ".mid";
        const auto Expected = test::ReadFileBytes(Dir.File("serial/" + Name));
        EXPECT_FALSE(Expected.empty());
        EXPECT_EQ(test::ReadFileBytes(Dir.File("parallel/" + Name)), Expected) << Name;
    }
}

// Two inputs named alike in different directories write one output name: the later input
// wins under any -j, and the tool says so.
TEST_F(CliTest, InputsWithTheSameOutputNameRunInInputOrder) {
    std::filesystem::create_directories(Dir.File("a"));
    std::filesystem::create_directories(Dir.File("b"));
    std::filesystem::create_directories(Dir.File("out"));
    std::filesystem::create_directories(Dir.File("ref"));
    const std::string First = Save(Tune(1), "a/x.s98");
    const std::string Second = Save(Tune(9), "b/x.s98");
    ASSERT_EQ(RunTool({"-q", "--output-dir", Dir.File("ref"), Second}).Exit, ExitConverted);
    const auto Expected = test::ReadFileBytes(Dir.File("ref/x.mid"));

    for (int Round = 0; Round < 5; ++Round) {
        const TRun R = RunTool({"-q", "-j", "2", "--output-dir", Dir.File("out"), First, Second});
        EXPECT_EQ(R.Exit, ExitConverted);
        EXPECT_NE(R.Err.find("warning: " + Second), std::string::npos) << R.Err;
        EXPECT_EQ(test::ReadFileBytes(Dir.File("out/x.mid")), Expected) << Round;
    }
}

TEST_F(CliTest, ProgressOnlyOnATerminal) {
    const std::string Good = Valid();
    const std::string Short = SaveBytes(std::vector<std::uint8_t>(10, 0), "short.s98");
    const TRun Plain = RunTool({Good, Short});
    EXPECT_EQ(Plain.Err, "");
    const TRun Terminal = RunTool({"-j", "1", Good, Short}, true);
    EXPECT_EQ(Terminal.Out, Plain.Out);
    EXPECT_NE(Terminal.Err.find("2 of 2 files done, 1 failure"), std::string::npos) << Terminal.Err;
    // The display is cleared at the end, leaving the cursor at the start of an empty line.
    EXPECT_EQ(Terminal.Err.substr(Terminal.Err.size() - 4), "\r\033[K");
}

} // namespace
} // namespace varnhold::cli
