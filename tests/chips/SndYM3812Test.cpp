#include <gtest/gtest.h>

#include <cstdint>

#include "chips/SndYM3812U.h"
#include "convert/StateConvU.h"

namespace varnhold {
namespace {

TEST(TSndYM3812, HasItsOwnClassAndDefaults) {
    TSndDeviceList List;
    TSndDevice& Model = List.Add(TSndYM3812::Class);
    EXPECT_STREQ(Model.DeviceClass->Name, "TSndYM3812");
    EXPECT_NE(Model.DeviceClass, &TSndNothing::Class);
    EXPECT_EQ(dynamic_cast<TSndNothing*>(&Model), nullptr);
    EXPECT_EQ(Model.GetClock(), 3579545.0);
    EXPECT_EQ(Model.ChannelMapRow, 0);
}

TEST(TSndYM3812, IgnoresEveryWrite) {
    TStateConv Conv;
    Conv.Channels[0].Program = 255;
    Conv.Channels[0].Pan = 64;
    const auto Channels = Conv.Channels;
    const auto Rhythm = Conv.Rhythm;

    TSndYM3812 Model;
    // Clock and map row as the job may set them make no difference.
    Model.SetClock(14318180.0);
    Model.SetChannelMapRow(6);
    for (int Port = 0; Port < 2; ++Port)
        for (int Reg = 0; Reg < 256; ++Reg)
            for (int Value : {0x00, 0x3F, 0xFF})
                Model.WriteRegister(Conv, static_cast<std::uint8_t>(Port),
                                    static_cast<std::uint8_t>(Reg),
                                    static_cast<std::uint8_t>(Value));

    EXPECT_EQ(Conv.Channels, Channels);
    EXPECT_EQ(Conv.RhythmLevel, 0);
    for (std::size_t j = 0; j < Rhythm.size(); ++j)
        EXPECT_EQ(Conv.Rhythm[j].KeyOn, Rhythm[j].KeyOn);
    EXPECT_EQ(Conv.Smf.Count(), 0u);
    EXPECT_EQ(Conv.Bank.Count(), 0);
}

} // namespace
} // namespace varnhold
