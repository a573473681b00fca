// Deterministic output: the same logs and options give the same bytes on every run, with
// one job or several at once, and from the tool as from the library.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "FuzzHarness.h"
#include "S98Builder.h"
#include "SeedCorpus.h"
#include "Ym2608Composer.h"
#include "job/VarnholdU.h"
#include "reliability/ReliabilityUtil.h"
#include "support/TestSupport.h"

namespace varnhold::test {
namespace {

using namespace tools;
namespace fs = std::filesystem;

// A busy YM2608 log from a fixed pseudo-random sequence: notes on all six FM channels,
// voice changes, bends, pan, SSG notes and rhythm strikes at irregular times.
std::vector<std::uint8_t> BusyYm2608Log() {
    std::mt19937 Random(20240611); // raw outputs only: the same sequence everywhere
    const auto Pick = [&](std::uint32_t Count) { return static_cast<int>(Random() % Count); };
    TS98Builder B('3');
    B.Device(S98YM2608);
    TYm2608Composer C(B);
    C.Init();
    C.RhythmLevel(0, 31);
    C.RhythmLevel(1, 25, TPan::Left);
    for (int Step = 0; Step < 400; ++Step) {
        const int Channel = Pick(6);
        switch (Pick(8)) {
        case 0: {
            TFmVoice Voice;
            Voice.Algorithm = static_cast<std::uint8_t>(Pick(8));
            Voice.Feedback = static_cast<std::uint8_t>(Pick(8));
            for (auto& Op : Voice.Operators) {
                Op.Multiple = static_cast<std::uint8_t>(Pick(16));
                Op.TotalLevel = static_cast<std::uint8_t>(Pick(64));
                Op.ReleaseRate = static_cast<std::uint8_t>(Pick(16));
            }
            C.SetVoice(Channel, Voice);
            break;
        }
        case 1: C.SetPitch(Channel, 40 + Pick(50), Pick(100) - 50); break;
        case 2: C.SetPan(Channel, Pick(2) ? TPan::Left : TPan::Right); break;
        case 3: C.NoteOff(Channel); break;
        case 4: C.SsgNote(Pick(3), 50 + Pick(40), static_cast<std::uint8_t>(Pick(16))); break;
        case 5: C.Strike(static_cast<std::uint8_t>(1 + Pick(63))); break;
        default: C.NoteOn(Channel, 36 + Pick(60)); break;
        }
        if (Pick(3) == 0) C.Wait(1 + static_cast<std::uint32_t>(Pick(40)));
    }
    B.End();
    return B.Build();
}

struct TOptionSet {
    const char* Name;
    std::vector<std::string> Args;
};

const TOptionSet OptionSets[] = {
    {"Defaults", {}},
    {"VoicesAndVelocity", {"--program-change", "--debug", "--velocity", "--resolution", "96"}},
    {"Plain", {"--no-pitch-bend", "--no-bend-vibrato", "--no-pan", "--resolution", "1024"}},
};

class DeterminismBase : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Inputs = std::make_unique<TTempDir>();
        fs::copy_file(std::string(VARNHOLD_SOURCE_DIR) + "/examples/demo.s98",
                      Inputs->File("demo.s98"));
        WriteFileBytes(Inputs->File("busy.s98"), BusyYm2608Log());
        const std::vector<std::vector<std::uint32_t>> Sets = {{S98YM2608},
                                                              {S98YM2203},
                                                              {S98YM2612},
                                                              {S98YM2151},
                                                              {S98YM2413},
                                                              {S98YM2149},
                                                              {S98AY38910},
                                                              {S98SN76489},
                                                              {S98YM3812},
                                                              {S98YM2149, S98YM2151},
                                                              {S98YM2149, S98YM2149, S98YM2149},
                                                              {S98YM2413, S98SN76489},
                                                              {S98YM2612, S98SN76489},
                                                              {S98YM2608, S98YM2151, S98YM2413}};
        for (std::size_t i = 0; i < Sets.size(); ++i)
            WriteFileBytes(Inputs->File("log" + std::to_string(i) + ".s98"),
                           fuzz::ComposeLog(Sets[i]));
    }
    static void TearDownTestSuite() { Inputs.reset(); }

    static std::vector<std::string> InputFiles() {
        std::vector<std::string> Files;
        for (const auto& Entry : fs::directory_iterator(Inputs->Path()))
            Files.push_back(Entry.path().string());
        std::sort(Files.begin(), Files.end());
        return Files;
    }

    // Converts every input with the tool and Jobs jobs into a fresh directory; returns
    // what it wrote.
    static std::map<std::string, std::vector<std::uint8_t>> Convert(const TOptionSet& Options,
                                                                    const std::string& Jobs) {
        TTempDir Out;
        std::vector<std::string> Args = Options.Args;
        for (const std::string& A :
             {std::string("-q"), std::string("-j"), Jobs, std::string("--output-dir"), Out.Path()})
            Args.push_back(A);
        for (const std::string& File : InputFiles())
            Args.push_back(File);
        const TToolRun R = RunTool(Args);
        EXPECT_EQ(R.Exit, 0) << R.Out << R.Err;
        return SnapshotTree(Out.Path());
    }

    static inline std::unique_ptr<TTempDir> Inputs;
};

class Determinism : public DeterminismBase, public ::testing::WithParamInterface<TOptionSet> {};
class DeterminismInProcess : public DeterminismBase {};

TEST_P(Determinism, SameBytesOnEveryRunAndForEveryJobCount) {
    const auto First = Convert(GetParam(), "1");
    ASSERT_GE(First.size(), InputFiles().size());
    for (const auto& [Name, Bytes] : First)
        if (fs::path(Name).extension() == ".mid")
            EXPECT_EQ(fuzz::CheckMidiFile(Bytes), "") << Name;
        else
            EXPECT_EQ(fuzz::CheckBankFile(Bytes), "") << Name;
    for (const char* Jobs : {"4", "2", "1"}) {
        const auto Again = Convert(GetParam(), Jobs);
        EXPECT_EQ(Again.size(), First.size()) << "-j " << Jobs;
        for (const auto& [Name, Bytes] : First) {
            const auto It = Again.find(Name);
            ASSERT_NE(It, Again.end()) << Name << " missing with -j " << Jobs;
            EXPECT_TRUE(It->second == Bytes) << Name << " differs with -j " << Jobs;
        }
    }
}

TEST_F(DeterminismInProcess, ParallelJobsInThisProcessEqualTheTool) {
    const auto ByTool = Convert(OptionSets[1], "3");
    // The same conversions as library calls, two at a time in threads.
    TTempDir Out;
    std::vector<std::string> Files = InputFiles();
    const auto ConvertRange = [&](std::size_t Begin) {
        for (std::size_t i = Begin; i < Files.size(); i += 2) {
            TVarnhold Job;
            Job.UseProgramChange = Job.DebugMode = Job.UseVelocity = true;
            Job.Resolution = 96;
            Job.OutputDir = Out.Path();
            EXPECT_TRUE(Job.Convert(Files[i])) << Files[i];
        }
    };
    { std::jthread Even(ConvertRange, 0), Odd(ConvertRange, 1); }
    EXPECT_TRUE(SnapshotTree(Out.Path()) == ByTool);
}

INSTANTIATE_TEST_SUITE_P(Options, Determinism, ::testing::ValuesIn(OptionSets),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
} // namespace varnhold::test
