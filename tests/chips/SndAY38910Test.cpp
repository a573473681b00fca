#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "S98Builder.h"
#include "chips/SndAY38910U.h"
#include "convert/StateConvU.h"
#include "job/VarnholdU.h"
#include "support/ConvertSupport.h"
#include "support/MidiText.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

class AY38910Test : public ::testing::Test {
protected:
    TStateConv Conv;
    TSndAY38910 Chip;

    void Write(std::uint8_t Register, std::uint8_t Value, std::uint8_t Port = 0) {
        Chip.WriteRegister(Conv, Port, Register, Value);
    }
    TChannelState& Ch(int n) { return Conv.Channels[n]; }
};

TEST(TSndAY38910Class, ClassesAndDefaults) {
    TSndDeviceList List;
    for (const TSndDeviceClass* Class : {&TSndAY38910::Class, &TSndYM2149::Class}) {
        auto* Model = dynamic_cast<TSndAY38910*>(&List.Add(*Class));
        ASSERT_NE(Model, nullptr) << Class->Name;
        EXPECT_EQ(Model->GetClock(), 3579545.0);
        EXPECT_EQ(Model->ChannelMapRow, 0);
        for (int n = 0; n < 3; ++n) {
            EXPECT_EQ(Model->TonePeriod[n], 0);
            EXPECT_EQ(Model->MixerMode[n], TSndAY38910::MixerNoiseOnly);
        }
    }
    EXPECT_STREQ(TSndAY38910::Class.Name, "TSndAY38910");
    EXPECT_STREQ(TSndYM2149::Class.Name, "TSndYM2149");
    EXPECT_NE(dynamic_cast<TSndYM2149*>(List.Get(1)), nullptr);
}

TEST_F(AY38910Test, TonePeriodGivesPitchOnEachChannel) {
    struct Case {
        std::uint8_t FineReg, CoarseReg;
        int Note, Fine;
    };
    const Case Cases[] = {
        {0xFE, 0x00, 69, 32}, // 440.40 Hz
        {0xFD, 0x00, 69, 35},
        {0xAC, 0x01, 60, 31}, // period 428
    };
    for (int n = 0; n < 3; ++n)
        for (const Case& C : Cases) {
            Write(static_cast<std::uint8_t>(2 * n), C.FineReg);
            Write(static_cast<std::uint8_t>(2 * n + 1), C.CoarseReg);
            EXPECT_EQ(Chip.TonePeriod[n], C.CoarseReg * 256 + C.FineReg);
            EXPECT_EQ(Ch(n).Note, C.Note) << "channel " << n;
            EXPECT_EQ(Ch(n).Fine, C.Fine) << "channel " << n;
            EXPECT_EQ(Ch(n).ToneGenerator, 1);
            EXPECT_EQ(Ch(n).Restrike, 0);
        }
}

TEST_F(AY38910Test, CoarseRegisterKeepsFourBitsAndTheFineByte) {
    Write(2, 0xAC);
    Write(3, 0xF3);
    EXPECT_EQ(Chip.TonePeriod[1], 0x3AC);
    Write(3, 0x01);
    EXPECT_EQ(Chip.TonePeriod[1], 0x1AC); // coarse bits are replaced, not ORed
    Write(2, 0x55);
    EXPECT_EQ(Chip.TonePeriod[1], 0x155);
    EXPECT_EQ(Chip.TonePeriod[0], 0);
    EXPECT_EQ(Chip.TonePeriod[2], 0);
}

TEST_F(AY38910Test, PeriodsWithoutAPitchRestrike) {
    for (std::uint8_t Period : {0, 1}) {
        Write(0, 0xFE); // a real pitch first
        Ch(0).Restrike = 0;
        Write(0, Period);
        EXPECT_EQ(Ch(0).Note, 0) << int(Period);
        EXPECT_EQ(Ch(0).Fine, 32) << int(Period);
        EXPECT_EQ(Ch(0).Restrike, 1) << int(Period);
    }
}

TEST_F(AY38910Test, Amplitude) {
    struct Case {
        std::uint8_t Value;
        int Loudness, Restrike;
    };
    const Case Cases[] = {
        {0x0F, 114, 0}, {0x0E, 102, 0}, {0x02, 25, 0}, {0x01, 0, 1},
        {0x00, 0, 1},   {0x10, 96, 0},  {0x1F, 96, 0}, {0xF0, 96, 0}, // envelope mode
    };
    for (int n = 0; n < 3; ++n)
        for (const Case& C : Cases) {
            Ch(n).Restrike = 0;
            Write(static_cast<std::uint8_t>(8 + n), C.Value);
            EXPECT_EQ(Ch(n).Loudness, C.Loudness) << std::hex << int(C.Value);
            EXPECT_EQ(Ch(n).Restrike, C.Restrike) << std::hex << int(C.Value);
            EXPECT_EQ(Ch(n).ToneGenerator, 1);
        }
}

TEST_F(AY38910Test, MixerSetsModeAndPresetVoicePerChannel) {
    // Channel A tone and noise, B noise only, C tone only (a set bit disables).
    Write(7, 0x22);
    EXPECT_EQ(Chip.MixerMode[0], TSndAY38910::MixerToneNoise);
    EXPECT_EQ(Chip.MixerMode[1], TSndAY38910::MixerNoiseOnly);
    EXPECT_EQ(Chip.MixerMode[2], TSndAY38910::MixerToneOnly);
    const std::pair<int, int> ModeAndAlgorithm[] = {{2, 4}, {1, 8}, {0, 8}};
    const int Feedback[] = {7, 7, 0};
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(Ch(n).GeneratorMode, ModeAndAlgorithm[n].first) << n;
        EXPECT_EQ(Ch(n).Algorithm, ModeAndAlgorithm[n].second) << n;
        EXPECT_EQ(Ch(n).Feedback, Feedback[n]) << n;
        // The mixer leaves program choice and the tone-generator flag alone.
        EXPECT_EQ(Ch(n).ProgramPending, 0);
        EXPECT_EQ(Ch(n).ToneGenerator, 0);
    }
    // Tone-only channel C was already in mode 0: no restrike there.
    EXPECT_EQ(Ch(0).Restrike, 1);
    EXPECT_EQ(Ch(1).Restrike, 1);
    EXPECT_EQ(Ch(2).Restrike, 0);
}

TEST_F(AY38910Test, MixerToneOnlyRestrikesWhereTheModeChanged) {
    Ch(0).GeneratorMode = 0;
    Ch(1).GeneratorMode = 1;
    Ch(2).GeneratorMode = 2;
    Ch(0).Algorithm = 3; // rewritten although the mode stays
    Write(7, 0x38);
    const int Restrike[] = {0, 1, 1};
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(Ch(n).GeneratorMode, 0) << n;
        EXPECT_EQ(Ch(n).Restrike, Restrike[n]) << n;
        EXPECT_EQ(Ch(n).Algorithm, 8) << n;
        EXPECT_EQ(Ch(n).Operators[0].TotalLevel, 127) << n;
    }
}

TEST_F(AY38910Test, MixerAllDisabledOnlyRestrikes) {
    Ch(0).GeneratorMode = 0;
    Ch(1).GeneratorMode = 1;
    Ch(2).GeneratorMode = 2;
    const auto Before = Conv.Channels;
    Write(7, 0x3F);
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(Chip.MixerMode[n], TSndAY38910::MixerSilent);
        EXPECT_EQ(Ch(n).Restrike, 1) << n;
        TChannelState Expected = Before[n];
        Expected.Restrike = 1;
        EXPECT_EQ(Ch(n), Expected) << n;
    }
}

TEST_F(AY38910Test, PortOneAndUnmodelledRegistersAreIgnored) {
    const auto Before = Conv.Channels;
    for (int Reg = 0; Reg < 256; ++Reg)
        Write(static_cast<std::uint8_t>(Reg), 0x05, 1);
    for (std::uint8_t Reg : {6, 11, 12, 13, 14, 15, 16, 0x80, 0xFF})
        Write(Reg, 0x05);
    EXPECT_EQ(Conv.Channels, Before);
    EXPECT_EQ(Chip.TonePeriod[0], 0);
    EXPECT_EQ(Chip.MixerMode[0], TSndAY38910::MixerNoiseOnly);
}

TEST_F(AY38910Test, DebugModeLeavesToneGeneratorClear) {
    Conv.DebugMode = true;
    Write(0, 0xFE);
    Write(9, 0x0F);
    Write(7, 0x38);
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(Ch(n).ToneGenerator, 0);
    EXPECT_EQ(Ch(0).Note, 69);
    EXPECT_EQ(Ch(1).Loudness, 114);
}

TEST_F(AY38910Test, ChannelMapRowPlacesTheChannels) {
    struct Case {
        std::uint8_t Row;
        int First;
    };
    for (const Case& C : {Case{1, 10}, Case{3, 0}, Case{4, 3}, Case{5, 6}}) {
        TStateConv Fresh;
        TSndYM2149 Model;
        Model.SetChannelMapRow(C.Row);
        for (std::uint8_t n = 0; n < 3; ++n)
            Model.WriteRegister(Fresh, 0, static_cast<std::uint8_t>(8 + n), 0x0F);
        for (int c = 0; c < ChannelCount; ++c) {
            const bool Mine = c >= C.First && c < C.First + 3;
            EXPECT_EQ(Fresh.Channels[c].Loudness, Mine ? 114 : 0)
                << "row " << int(C.Row) << " channel " << c;
        }
    }
}

TEST(TSndYM2149, BehavesLikeTheAY38910) {
    TStateConv ConvAY, ConvYM;
    TSndAY38910 AY;
    TSndYM2149 YM;
    const std::pair<std::uint8_t, std::uint8_t> Writes[] = {
        {7, 0x38}, {0, 0xFE},  {1, 0x00}, {8, 0x0F}, {2, 0xAC},  {3, 0x01}, {9, 0x1A},
        {4, 0x00}, {10, 0x01}, {7, 0x06}, {6, 0x1F}, {13, 0x0E}, {1, 0xF3}, {7, 0x3F},
    };
    for (auto [Register, Value] : Writes) {
        AY.WriteRegister(ConvAY, 0, Register, Value);
        YM.WriteRegister(ConvYM, 0, Register, Value);
        ASSERT_EQ(ConvAY.Channels, ConvYM.Channels) << int(Register);
    }
    EXPECT_EQ(AY.TonePeriod, YM.TonePeriod);
    EXPECT_EQ(AY.MixerMode, YM.MixerMode);
}

// End to end: three YM2149 form a known set and share one file, chip after chip on MIDI
// channels 0-8.
TEST(TSndYM2149Conversion, ThreeChipsShareChannels0To8) {
    const std::uint16_t Periods[3][3] = {{254, 127, 508}, {428, 214, 856}, {339, 285, 190}};
    const int Notes[9] = {69, 81, 57, 60, 72, 48, 64, 67, 74};

    tools::TS98Builder B('3');
    for (std::uint8_t d = 0; d < 3; ++d)
        B.Device(tools::S98YM2149, 3579545);
    for (std::uint8_t d = 0; d < 3; ++d) {
        B.Write(d, 0, 7, 0x38);
        for (std::uint8_t n = 0; n < 3; ++n) {
            B.Write(d, 0, static_cast<std::uint8_t>(2 * n), Periods[d][n] & 0xFF);
            B.Write(d, 0, static_cast<std::uint8_t>(2 * n + 1), Periods[d][n] >> 8);
            B.Write(d, 0, static_cast<std::uint8_t>(8 + n), 0x0F);
        }
    }
    B.Wait(10).End();

    test::TTempDir Dir;
    const auto Lines = test::ConvertLog(B, Dir, "psg");
    EXPECT_FALSE(test::FileExistsPlain(Dir.File("psg_ID0_TSndYM2149.mid")));
    std::vector<std::string> On, Off, Programs;
    for (int c = 0; c < 9; ++c) {
        On.push_back("0 ch" + std::to_string(c) + " on " + std::to_string(Notes[c]) + " 127");
        Off.push_back("10 ch" + std::to_string(c) + " off " + std::to_string(Notes[c]) + " 0");
        Programs.push_back("0 ch" + std::to_string(c) + " program 80");
    }
    EXPECT_EQ(test::Grep(Lines, " on "), On);
    EXPECT_EQ(test::Grep(Lines, " off "), Off);
    EXPECT_EQ(test::Grep(Lines, " program "), Programs);
    EXPECT_EQ(test::Grep(Lines, " cc 11 114").size(), 9u);
}

} // namespace
} // namespace varnhold
