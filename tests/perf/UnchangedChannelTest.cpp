// ProcessMark passes over a channel whose record has not changed since the last mark. A
// record can equal its emitted copy and still have to sound again: after a silence the
// emitted copy keeps the loudness last sent, and the channel may come back to exactly that
// loudness.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "convert/StateConvU.h"

namespace varnhold {
namespace {

std::vector<std::string> NewEvents(const TStateConv& Conv, std::size_t& Seen) {
    std::vector<std::string> Out;
    for (; Seen < Conv.Smf.Count(); ++Seen) {
        const TSmfEvent& E = Conv.Smf[Seen];
        Out.push_back(std::to_string(E.Time) + " " + std::to_string(E.Status) + " " +
                      std::to_string(E.Data1) + " " + std::to_string(E.Data2) + " " +
                      std::to_string(E.Value));
    }
    return Out;
}

TEST(UnchangedChannel, LoudnessBackToTheLastSentValueSoundsAgain) {
    TStateConv Conv;
    Conv.UseVelocity = false;
    Conv.UsePitchBend = true;
    Conv.UsePitchBendVib = true;
    Conv.Reset(120);
    std::size_t Seen = Conv.Smf.Count();
    TChannelState& C = Conv.Channels[0];

    const auto Mark = [&](std::int32_t Tick) {
        Conv.ProcessMark();
        Conv.Now = Tick;
        return NewEvents(Conv, Seen);
    };
    C.Note = 60;
    C.Fine = 32;
    C.Loudness = 100;
    EXPECT_EQ(Mark(1).size(), 4u); // program, expression, bend, note on
    EXPECT_TRUE(Mark(2).empty());  // nothing changed
    C.Loudness = 0;
    EXPECT_EQ(Mark(3), (std::vector<std::string>{"2 128 60 0 0"})); // note off
    EXPECT_TRUE(Mark(4).empty());
    // Back to the loudness last sent: the record now equals the emitted copy byte for byte.
    C.Loudness = 100;
    ASSERT_EQ(0, std::memcmp(&Conv.Channels[0], &Conv.Emitted[0], sizeof(TChannelState)));
    EXPECT_EQ(Mark(5), (std::vector<std::string>{"4 144 60 127 0"})); // note on again
    EXPECT_TRUE(Mark(6).empty());
    // A restrike with nothing else changed strikes again.
    C.Restrike = 1;
    EXPECT_EQ(Mark(7), (std::vector<std::string>{"6 128 60 0 0", "6 144 60 127 0"}));
    EXPECT_TRUE(Mark(8).empty());
}

} // namespace
} // namespace varnhold
