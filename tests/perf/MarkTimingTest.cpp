// Marks come at exactly the syncs where the tick formula moves on: the converter's Now, seen
// through the message pump before every command, is compared with TickOf at every step, for
// time bases from a tick per billions of syncs to hundreds of ticks per sync. (A guard for
// any shortcut in the command loop's tick test.)
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "S98Builder.h"
#include "job/VarnholdU.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

using namespace tools;

struct TTimeBase {
    const char* Name;
    std::uint32_t Numerator, Denominator, Resolution;
    bool HugeWaits; // add waits of billions of syncs (for the slowest bases only)
};

void PrintTo(const TTimeBase& T, std::ostream* Out) {
    *Out << T.Name;
}

const TTimeBase TimeBases[] = {
    {"Default", 10, 1000, 192, false},
    {"Millisecond", 1, 1000, 192, false},
    {"SlowAndFine", 1, 1000, 1000, false},
    {"Sixtieth", 1, 60, 32, false},
    {"ThreeSevenths", 3, 7, 1024, false},
    {"ManyTicksPerSync", 5, 1, 192, false},
    {"OneTickPerBillions", 1, 4294967295u, 1024, true},
};

class MarkTiming : public ::testing::TestWithParam<TTimeBase> {};

TEST_P(MarkTiming, MarksComeExactlyWhereTheTickMovesOn) {
    const TTimeBase& Base = GetParam();
    // Syncs and waits of assorted lengths, in a fixed pseudo-random order.
    std::vector<std::uint32_t> Waits;
    std::uint32_t Random = 7;
    for (int i = 0; i < 3000; ++i) {
        Random = Random * 1103515245u + 12345u;
        static constexpr std::uint32_t Lengths[] = {1, 1, 1, 2, 3, 17, 100, 257};
        Waits.push_back(Lengths[(Random >> 16) % 8]);
        if (Base.HugeWaits && i % 500 == 0) Waits.push_back(4000000000u);
    }
    TS98Builder Log('3');
    Log.Sync(Base.Numerator, Base.Denominator).Device(S98YM2608);
    for (const std::uint32_t W : Waits)
        Log.Wait(W);
    Log.End();

    test::TTempDir Dir;
    Log.Save(Dir.File("log.s98"));
    TVarnhold Job;
    Job.ProgramFile = Dir.File("varnhold");
    Job.Resolution = Base.Resolution;
    // Now at the device set-up's call, then before each command of the loop (the end too).
    std::vector<std::int32_t> Seen;
    Job.ProcessMessages.Set([&] {
        if (Job.SharedConverter) Seen.push_back(Job.SharedConverter->Now);
    });
    ASSERT_TRUE(Job.Convert(Dir.File("log.s98"))) << Job.ResultText;

    std::vector<std::int32_t> Expected{0, 0};
    std::uint64_t Syncs = 0, LastTick = 0;
    for (const std::uint32_t W : Waits) {
        Syncs += W;
        const std::uint64_t Tick = Job.TickOf(Syncs);
        if (Tick > LastTick) LastTick = Tick;
        Expected.push_back(static_cast<std::int32_t>(LastTick));
    }
    ASSERT_EQ(Seen.size(), Expected.size());
    for (std::size_t i = 0; i < Seen.size(); ++i)
        ASSERT_EQ(Seen[i], Expected[i]) << "before command " << i;
}

INSTANTIATE_TEST_SUITE_P(TimeBases, MarkTiming, ::testing::ValuesIn(TimeBases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
} // namespace varnhold
