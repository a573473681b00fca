// Limits: a log longer than a MIDI file can hold ends with a clear error and no file; a file
// too large for the memory at hand fails with a message that names it.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FuzzHarness.h"
#include "S98Builder.h"
#include "Ym2608Composer.h"
#include "reliability/ReliabilityUtil.h"
#include "support/MidiText.h"
#include "support/TestSupport.h"

#if defined(__SANITIZE_ADDRESS__)
#define VARNHOLD_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNHOLD_UNDER_ASAN 1
#endif
#endif

namespace varnhold::test {
namespace {

using namespace tools;
namespace fs = std::filesystem;

// With a sync of 1/32 s and resolution 1024 a sync is exactly 0.5625 ticks, so the tick of
// a wait is known without rounding: 477218585 syncs end at tick 268435454.06, the last
// tick whose note offs one tick later still fit a MIDI delta time (at most 0x0FFFFFFF).
constexpr std::uint32_t SyncsToLastTick = 477218585;

std::vector<std::uint8_t> LongNote(std::uint32_t Syncs) {
    TS98Builder B('3');
    B.Sync(1, 32).Device(S98YM2608);
    TYm2608Composer C(B);
    C.Init();
    C.SetVoice(0, TFmVoice{});
    C.NoteOn(0, 60);
    C.Wait(Syncs);
    B.End();
    return B.Build();
}

struct TLimitCase {
    const char* Name;
    std::uint32_t Syncs;
    bool Fits;
    std::uint64_t Tick; // of the last mark
};

class TickLimit : public ::testing::TestWithParam<TLimitCase> {};

TEST_P(TickLimit, ThroughTheToolEitherACompleteFileOrAnErrorAndNoFile) {
    const TLimitCase& C = GetParam();
    TTempDir Dir;
    const std::string File = Dir.File("song.s98");
    WriteFileBytes(File, LongNote(C.Syncs));
    const TToolRun R = RunTool({"--resolution", "1024", File});
    if (C.Fits) {
        EXPECT_EQ(R.Exit, 0) << R.Err;
        const std::vector<std::uint8_t> Mid = ReadFileBytes(Dir.File("song.mid"));
        EXPECT_EQ(fuzz::CheckMidiFile(Mid), "");
        const std::vector<std::string> Lines = MidiLines(Mid);
        ASSERT_FALSE(Lines.empty());
        const std::string End = std::to_string(C.Tick + 1);
        EXPECT_EQ(Lines.back(), End + " end");
        EXPECT_EQ(Grep(Lines, " off 60").size(), 1u);
        EXPECT_EQ(Grep(Lines, " off 60").front().rfind(End + " ", 0), 0u);
    } else {
        EXPECT_EQ(R.Exit, 1);
        EXPECT_EQ(R.Out, "");
        EXPECT_EQ(R.Err, File + ": error: " + File + ": the log runs to MIDI tick " +
                             std::to_string(C.Tick) +
                             ", beyond the 268435454 ticks a MIDI file can hold\n");
        EXPECT_EQ(ListTree(Dir.Path()), std::set<std::string>{"song.s98"});
    }
}

const TLimitCase LimitCases[] = {
    {"LastTickThatFits", SyncsToLastTick, true, 268435454},
    {"FractionOfATickMore", SyncsToLastTick + 1, true, 268435454},
    {"OneTickMore", SyncsToLastTick + 2, false, 268435455},
    {"FarBeyond", 0xFFFFFFF0u, false, 2415919095},
};

INSTANTIATE_TEST_SUITE_P(Ticks, TickLimit, ::testing::ValuesIn(LimitCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// The address-space limit is set in a child process, so the test process keeps its memory.
// AddressSanitizer reserves far more address space than any such limit allows.
TEST(MemoryLimit, AFileTooLargeForMemoryFailsNamingIt) {
#ifdef VARNHOLD_UNDER_ASAN
    GTEST_SKIP() << "an address-space limit cannot be combined with AddressSanitizer";
#else
    TTempDir Dir;
    const std::string File = Dir.File("huge.s98");
    // Sparse: takes no disk space, but loading it needs 2 GiB.
    { std::ofstream(File, std::ios::binary).put('S'); }
    fs::resize_file(File, std::uintmax_t{2} << 30);

    const pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        // Room for what the process maps now and a little more, far less than the file.
        std::ifstream Status("/proc/self/status");
        std::uintmax_t KiB = 0;
        for (std::string Key; Status >> Key;)
            if (Key == "VmSize:") {
                Status >> KiB;
                break;
            }
        const rlim_t Limit = static_cast<rlim_t>(KiB * 1024 + (std::uintmax_t{256} << 20));
        const rlimit Bound{Limit, Limit};
        if (KiB == 0 || ::setrlimit(RLIMIT_AS, &Bound) != 0) ::_exit(2);
        const TToolRun R = RunTool({File});
        const std::string Expected = File + ": error: not enough memory to load \"" + File + "\"\n";
        const bool Ok = R.Exit == 1 && R.Out.empty() && R.Err == Expected &&
                        ListTree(Dir.Path()) == std::set<std::string>{"huge.s98"};
        if (!Ok)
            std::fprintf(stderr, "exit %d, out \"%s\", err \"%s\"\n", R.Exit, R.Out.c_str(),
                         R.Err.c_str());
        ::_exit(Ok ? 0 : 1);
    }
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    ASSERT_TRUE(WIFEXITED(Status));
    ASSERT_NE(WEXITSTATUS(Status), 2) << "could not limit the address space";
    EXPECT_EQ(WEXITSTATUS(Status), 0) << "see the child's output above";
#endif
}

} // namespace
} // namespace varnhold::test
