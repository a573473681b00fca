#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

#include "chips/SndSN76489U.h"
#include "convert/StateConvU.h"

namespace varnhold {
namespace {

class SN76489Test : public ::testing::Test {
protected:
    TStateConv Conv;
    TSndSN76489 Chip;

    void Send(std::initializer_list<std::uint8_t> Bytes) {
        for (std::uint8_t Byte : Bytes)
            Chip.WriteRegister(Conv, 0, 0, Byte);
    }
    TChannelState& Ch(int n) { return Conv.Channels[n]; }
};

TEST(TSndSN76489Class, ClassAndDefaults) {
    TSndDeviceList List;
    auto* Model = dynamic_cast<TSndSN76489*>(&List.Add(TSndSN76489::Class));
    ASSERT_NE(Model, nullptr);
    EXPECT_STREQ(Model->DeviceClass->Name, "TSndSN76489");
    EXPECT_EQ(Model->GetClock(), 3579545.0);
    EXPECT_EQ(Model->ChannelMapRow, 0);
    EXPECT_TRUE(Model->FirstWrite);
    EXPECT_EQ(Model->LatchedChannel, 0);
}

TEST_F(SN76489Test, LatchAndDataGivePitch) {
    struct Case {
        std::uint8_t Latch, Data;
        int Period, Note, Fine;
    };
    const Case Cases[] = {
        {0x8E, 0x0F, 254, 69, 32},
        {0x8C, 0x1A, 428, 60, 31},
        {0xAE, 0x0F, 254, 69, 32}, // channel 1
        {0xCC, 0x1A, 428, 60, 31}, // channel 2
    };
    for (const Case& C : Cases) {
        const int n = (C.Latch >> 5) & 3;
        Ch(n).Note = 99;
        Send({C.Latch});
        EXPECT_EQ(Chip.LatchedChannel, n);
        EXPECT_EQ(Chip.TonePeriod[n], C.Latch & 0x0F);
        EXPECT_EQ(Ch(n).Note, 99) << "a latch byte computes no pitch";
        Send({C.Data});
        EXPECT_EQ(Chip.TonePeriod[n], C.Period);
        EXPECT_EQ(Ch(n).Note, C.Note) << n;
        EXPECT_EQ(Ch(n).Fine, C.Fine) << n;
        EXPECT_EQ(Ch(n).Restrike, 0) << n;
    }
}

TEST_F(SN76489Test, FurtherDataBytesAreORedIn) {
    Send({0x8E, 0x0F, 0x30});
    EXPECT_EQ(Chip.TonePeriod[0], 0x3FE); // 0x300 ORed into 0x0FE
    EXPECT_EQ(Ch(0).Note, 45);            // 109.45 Hz
    EXPECT_EQ(Ch(0).Fine, 29);
    // Only a latch byte clears the high bits again.
    Send({0x8E, 0x0F});
    EXPECT_EQ(Chip.TonePeriod[0], 254);
    EXPECT_EQ(Ch(0).Note, 69);
}

TEST_F(SN76489Test, Attenuation) {
    struct Case {
        std::uint8_t Byte;
        int Channel, Loudness, Restrike;
    };
    const Case Cases[] = {
        {0x9F, 0, 0, 1},   {0x90, 0, 114, 0}, {0x9E, 0, 0, 1},   {0x9D, 0, 25, 0},
        {0xB1, 1, 102, 0}, {0xD5, 2, 64, 0},  {0xF0, 3, 114, 0}, {0xFF, 3, 0, 1},
    };
    for (const Case& C : Cases) {
        Ch(C.Channel).Restrike = 0;
        Send({C.Byte});
        EXPECT_EQ(Chip.LatchedChannel, C.Channel) << std::hex << int(C.Byte);
        EXPECT_EQ(Ch(C.Channel).Loudness, C.Loudness) << std::hex << int(C.Byte);
        EXPECT_EQ(Ch(C.Channel).Restrike, C.Restrike) << std::hex << int(C.Byte);
    }
    // Attenuation leaves the period alone.
    EXPECT_EQ(Chip.TonePeriod[0], 0);
}

TEST_F(SN76489Test, NoiseControlLatch) {
    Ch(3).Note = 50;
    Ch(3).Fine = 40;
    Send({0xE5});
    EXPECT_EQ(Chip.LatchedChannel, 3);
    EXPECT_EQ(Chip.TonePeriod[3], 5);
    EXPECT_EQ(Ch(3).Note, 50);
    EXPECT_EQ(Ch(3).Fine, 40);
    // A data byte after a noise latch gives the noise channel a pitch (period 0x3F5).
    Send({0x3F});
    EXPECT_EQ(Chip.TonePeriod[3], 0x3F5);
    EXPECT_NE(Ch(3).Note, 50);
}

TEST_F(SN76489Test, PeriodZeroRestrikes) {
    Send({0x80, 0x00});
    EXPECT_EQ(Ch(0).Note, 0);
    EXPECT_EQ(Ch(0).Fine, 32);
    EXPECT_EQ(Ch(0).Restrike, 1);
}

TEST_F(SN76489Test, FirstWriteSetsUpTheFourChannels) {
    Send({0x9F}); // any first byte; it is still processed afterwards
    EXPECT_FALSE(Chip.FirstWrite);
    const int Mode[] = {0, 0, 0, 1};
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(Ch(n).GeneratorMode, Mode[n]) << n;
        EXPECT_EQ(Ch(n).ToneGenerator, 1) << n;
        EXPECT_EQ(Ch(n).Algorithm, 0) << "no preset voice outside debug mode";
    }
    EXPECT_EQ(Ch(0).Loudness, 0);
    EXPECT_EQ(Ch(0).Restrike, 1);
    EXPECT_EQ(Ch(4).ToneGenerator, 0);

    // Later bytes do not repeat the set-up.
    Ch(0).GeneratorMode = 2;
    Ch(1).ToneGenerator = 0;
    Send({0x90});
    EXPECT_EQ(Ch(0).GeneratorMode, 2);
    EXPECT_EQ(Ch(1).ToneGenerator, 0);
}

TEST_F(SN76489Test, FirstWriteInDebugModeLoadsPresetVoices) {
    Conv.DebugMode = true;
    Send({0x8E});
    const int Mode[] = {0, 0, 0, 1};
    const int Feedback[] = {0, 0, 0, 7}; // tone preset, noise preset
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(Ch(n).GeneratorMode, Mode[n]) << n;
        EXPECT_EQ(Ch(n).ToneGenerator, 0) << n;
        EXPECT_EQ(Ch(n).Algorithm, 8) << n;
        EXPECT_EQ(Ch(n).Feedback, Feedback[n]) << n;
    }
    EXPECT_EQ(Ch(0).Operators[0].TotalLevel, 127); // tone preset A
    EXPECT_EQ(Ch(3).Operators[0].TotalLevel, 0);   // noise preset C
}

TEST_F(SN76489Test, PortAndRegisterAreIgnored) {
    TStateConv Other;
    TSndSN76489 OtherChip;
    const std::uint8_t Bytes[] = {0x8E, 0x0F, 0x90, 0xE5, 0xFF, 0x30};
    for (std::uint8_t Byte : Bytes) {
        Chip.WriteRegister(Conv, 0, 0, Byte);
        OtherChip.WriteRegister(Other, 1, 0x5A, Byte);
    }
    EXPECT_EQ(Conv.Channels, Other.Channels);
}

TEST(TSndSN76489Map, Row7PlacesTheChannelsOn10To13) {
    TStateConv Conv;
    TSndSN76489 Chip;
    Chip.SetChannelMapRow(7);
    for (std::uint8_t Byte : {0x90, 0xB0, 0xD0, 0xF0})
        Chip.WriteRegister(Conv, 0, 0, Byte);
    for (int c = 0; c < ChannelCount; ++c) {
        const bool Mine = c >= 10 && c <= 13;
        EXPECT_EQ(Conv.Channels[c].Loudness, Mine ? 114 : 0) << c;
        EXPECT_EQ(Conv.Channels[c].ToneGenerator, Mine ? 1 : 0) << c;
    }
    EXPECT_EQ(Conv.Channels[13].GeneratorMode, 1);
}

} // namespace
} // namespace varnhold
