#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <string>

#include "chips/SndBaseU.h"
#include "convert/StateConvU.h"
#include "platform/ErrorsU.h"

namespace varnhold {
namespace {

// Hz of MIDI key Key plus Offset thirty-seconds of a semitone.
double KeyHz(int Key, double Offset32 = 0) {
    return 440.0 * std::pow(2.0, (Key - 69 + Offset32 / 32.0) / 12.0);
}

TEST(FrequencyToNote, MapsToNearestKeyAndFine) {
    struct Case {
        const char* What;
        double Hz;
        int Note, Fine;
    };
    const Case Cases[] = {
        {"concert A", 440.0, 69, 32},
        {"zero means no pitch", 0.0, 0, 32},
        {"450 Hz", 450.0, 69, 44},
        {"1000 Hz", 1000.0, 83, 39},
        {"13000 Hz stays on key 127 with a high fine", 13000.0, 127, 52},
        {"15/32 above key 60", KeyHz(60, 15), 60, 47},
        {"16/32 above key 60 moves to the next key", KeyHz(60, 16), 61, 16},
        {"16/32 below key 61", KeyHz(61, -16), 61, 16},
        {"17/32 below key 61", KeyHz(61, -17), 60, 47},
        {"a = 4095 is not moved above key 127", KeyHz(127, 31), 127, 63},
        {"a = 4096 is out of range", KeyHz(128, 0), 0, 32},
        {"a = 1 is the lowest pitch", KeyHz(0, 1), 0, 33},
        {"a = 0 is no pitch", KeyHz(0, 0), 0, 32},
        {"below key 0 is no pitch", 5.0, 0, 32},
        {"far above the range", 1e9, 0, 32},
    };
    for (const Case& C : Cases) {
        std::uint8_t Note = 200, Fine = 200;
        FrequencyToNote(Note, Fine, C.Hz);
        EXPECT_EQ(Note, C.Note) << C.What;
        EXPECT_EQ(Fine, C.Fine) << C.What;
    }
}

TEST(FrequencyToNote, RoundsToNearestWhateverTheCallersRoundingMode) {
    // 15.4/32 above key 60 is a = 1935.4: upward rounding would make it key 61, and 1934.6
    // would fall to 1934 under downward rounding.
    struct Case {
        double Offset32;
        int Note, Fine;
    };
    const Case Cases[] = {{15.4, 60, 47}, {14.6, 60, 47}, {0.0, 60, 32}};
    for (int Mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        for (const Case& C : Cases) {
            const double Hz = KeyHz(60, C.Offset32);
            std::uint8_t Note = 0, Fine = 0;
            std::fesetround(Mode);
            FrequencyToNote(Note, Fine, Hz);
            const int ModeAfter = std::fegetround();
            std::fesetround(FE_TONEAREST);
            EXPECT_EQ(Note, C.Note) << C.Offset32 << " mode " << Mode;
            EXPECT_EQ(Fine, C.Fine) << C.Offset32 << " mode " << Mode;
            EXPECT_EQ(ModeAfter, Mode) << "the caller's mode is restored";
        }
    }
}

TEST(LoudnessCurves, TotalLevel) {
    const std::pair<int, int> Cases[] = {{0, 127}, {1, 123}, {2, 119}, {4, 112}, {8, 98},
                                         {16, 76}, {24, 59}, {32, 46}, {48, 28}, {64, 17},
                                         {96, 6},  {127, 2}, {255, 0}};
    for (auto [Level, Expected] : Cases)
        EXPECT_EQ(TotalLevelToLoudness(static_cast<std::uint8_t>(Level)), Expected) << Level;
}

TEST(LoudnessCurves, RhythmLevel) {
    // 16 gives 119 by the formula: 127 * 10^(-17 * 0.00146484375) = 119.92.
    const std::pair<int, int> Cases[] = {{0, 0},    {1, 126},  {2, 125},  {8, 123},  {15, 120},
                                         {16, 119}, {31, 114}, {32, 113}, {63, 102}, {255, 53}};
    for (auto [Level, Expected] : Cases)
        EXPECT_EQ(RhythmLevelToLoudness(static_cast<std::uint8_t>(Level)), Expected) << Level;
}

TEST(LoudnessCurves, VolumeStepHasAFloorOf24) {
    const int Expected[16] = {114, 102, 91, 81, 72, 64, 57, 51, 45, 40, 36, 32, 28, 25, 0, 0};
    for (int Step = 0; Step < 16; ++Step)
        EXPECT_EQ(VolumeStepToLoudness(static_cast<std::uint8_t>(Step)), Expected[Step]) << Step;
    EXPECT_EQ(VolumeStepToLoudness(255), 0);
}

TEST(CarrierTotalLevel, AveragesTheCarriersOfTheAlgorithm) {
    struct Case {
        int Algorithm, TL0, TL1, TL2, TL3, Expected;
    };
    const Case Cases[] = {
        {4, 99, 0, 99, 1, 1},         // (0 + 1 + 1) / 2
        {4, 0, 127, 0, 127, 127},     // (127 + 127 + 1) / 2
        {5, 99, 10, 20, 31, 20},      // (10 + 20 + 31 + 1) / 3
        {6, 99, 127, 127, 127, 127},  // (381 + 1) / 3
        {7, 0, 0, 0, 2, 0},           // (0 + 0 + 0 + 2 + 1) / 4
        {7, 127, 127, 127, 127, 127}, // (508 + 1) / 4
        {2, 50, 60, 70, 5, 5},        // TL3 whatever the others are
        {0, 1, 2, 3, 4, 4},           {8, 1, 2, 3, 9, 9}, {255, 1, 2, 3, 77, 77},
    };
    for (const Case& C : Cases)
        EXPECT_EQ(
            CarrierTotalLevel(static_cast<std::uint8_t>(C.Algorithm),
                              static_cast<std::uint8_t>(C.TL0), static_cast<std::uint8_t>(C.TL1),
                              static_cast<std::uint8_t>(C.TL2), static_cast<std::uint8_t>(C.TL3)),
            C.Expected)
            << "algorithm " << C.Algorithm;
}

TEST(LowestMultiple, IsCappedAt15) {
    EXPECT_EQ(LowestMultiple4(3, 0, 5, 7), 0);
    EXPECT_EQ(LowestMultiple4(15, 15, 15, 15), 15);
    EXPECT_EQ(LowestMultiple4(200, 16, 9, 30), 9);
    EXPECT_EQ(LowestMultiple4(20, 30, 40, 50), 15);
    EXPECT_EQ(LowestMultiple2(4, 2), 2);
    EXPECT_EQ(LowestMultiple2(16, 200), 15);
}

TEST(Tables, MultipleOctave) {
    const int Expected[16] = {-1, 0, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3};
    for (int M = 0; M < 16; ++M)
        EXPECT_EQ(MultipleOctave[M], Expected[M]) << M;
}

TEST(TSndDevice, MapChannelFollowsItsRow) {
    struct Case {
        int Row, Column, Expected;
    };
    const Case Cases[] = {
        {0, 0, 0},   {0, 15, 15}, {1, 0, 10}, {1, 2, 12},  {1, 3, 16}, {2, 0, 13},
        {2, 2, 15},  {3, 1, 1},   {4, 2, 5},  {5, 0, 6},   {5, 3, 16}, {6, 9, 9},
        {6, 10, 16}, {7, 3, 13},  {7, 4, 16}, {7, 15, 16},
    };
    TSndNothing Model;
    for (const Case& C : Cases) {
        Model.SetChannelMapRow(static_cast<std::uint8_t>(C.Row));
        EXPECT_EQ(Model.MapChannel(static_cast<std::uint8_t>(C.Column)), C.Expected)
            << "row " << C.Row << " column " << C.Column;
    }
}

TEST(TSndDevice, RowsAbove7FallBackToRow0) {
    TSndNothing Model;
    Model.SetChannelMapRow(9);
    EXPECT_EQ(Model.ChannelMapRow, 0);
    Model.SetChannelMapRow(7);
    EXPECT_EQ(Model.ChannelMapRow, 7);
    // A row stored directly beyond the table still reads row 0.
    Model.ChannelMapRow = 200;
    EXPECT_EQ(Model.MapChannel(5), 5);
}

TEST(TSndDeviceList, AddGetAndClear) {
    TSndDeviceList List;
    EXPECT_EQ(List.Count(), 0);
    EXPECT_EQ(List.Get(-1), nullptr);

    TSndDevice& First = List.Add(TSndNothing::Class);
    TSndDevice& Second = List.Add(TSndNothing::Class);
    EXPECT_EQ(First.DeviceClass, &TSndNothing::Class);
    EXPECT_STREQ(First.DeviceClass->Name, "TSndNothing");
    EXPECT_EQ(First.Clock, 0.0);
    EXPECT_EQ(First.Converter, nullptr);
    EXPECT_EQ(List.Count(), 2);
    EXPECT_EQ(List.Get(0), &First);
    EXPECT_EQ(List.Get(1), &Second);
    EXPECT_EQ(List.Get(-5), nullptr);

    List.Clear();
    EXPECT_EQ(List.Count(), 0);
    EXPECT_THROW(List.Get(0), EListIndexError);
}

TEST(TSndDeviceList, IndexErrorNamesIndexAndCount) {
    TSndDeviceList List;
    List.Add(TSndNothing::Class);
    try {
        List.Get(3);
        FAIL() << "no error";
    } catch (const EListIndexError& E) {
        const std::string Message = E.what();
        EXPECT_NE(Message.find('3'), std::string::npos) << Message;
        EXPECT_NE(Message.find('1'), std::string::npos) << Message;
    }
}

TEST(TSndNothing, AcceptsAnyWriteAndChangesNothing) {
    TStateConv Conv;
    Conv.Channels[3].Note = 60;
    const auto Before = Conv.Channels;
    const std::size_t EventsBefore = Conv.Smf.Count();
    TSndNothing Model;
    for (int Port = 0; Port < 2; ++Port)
        for (int Reg = 0; Reg < 256; ++Reg)
            Model.WriteRegister(Conv, static_cast<std::uint8_t>(Port),
                                static_cast<std::uint8_t>(Reg), 0xFF);
    EXPECT_EQ(Conv.Channels, Before);
    EXPECT_EQ(Conv.Smf.Count(), EventsBefore);
}

class PresetVoiceTest : public ::testing::Test {
protected:
    // A record full of marker values, so that untouched fields are visible.
    void SetUp() override {
        TChannelState& C = Conv.Channels[5];
        C.Algorithm = 3;
        C.Feedback = 3;
        C.Pan = 11;
        C.Note = 60;
        C.Loudness = 99;
        C.Program = 42;
        for (TOperatorState& Op : C.Operators) {
            Op = TOperatorState{77, 77, 77, 77, 77, 77, 77, 77, 77, 77, 77, 77, 77, 77, 77, 77};
        }
    }
    static void ExpectPreset(const TOperatorState& Op, const std::array<int, 11>& P,
                             const char* What) {
        EXPECT_EQ(Op.AttackRate, P[0]) << What;
        EXPECT_EQ(Op.DecayRate, P[1]) << What;
        EXPECT_EQ(Op.SustainRate, P[2]) << What;
        EXPECT_EQ(Op.ReleaseRate, P[3]) << What;
        EXPECT_EQ(Op.SustainLevel, P[4]) << What;
        EXPECT_EQ(Op.TotalLevel, P[5]) << What;
        EXPECT_EQ(Op.KeyScale, P[6]) << What;
        EXPECT_EQ(Op.Multiple, P[7]) << What;
        EXPECT_EQ(Op.Detune, P[8]) << What;
        EXPECT_EQ(Op.Vibrato, P[9]) << What;
        EXPECT_EQ(Op.Waveform, P[10]) << What;
        // Fields the presets do not set keep their values.
        EXPECT_EQ(Op.AmplitudeMod, 77) << What;
        EXPECT_EQ(Op.EnvelopeType, 77) << What;
        EXPECT_EQ(Op.KeyScaleRate, 77) << What;
        EXPECT_EQ(Op.KeyScaleLevel, 77) << What;
        EXPECT_EQ(Op.SsgEnvelope, 77) << What;
    }
    void ExpectStateUntouched() {
        const TChannelState& C = Conv.Channels[5];
        EXPECT_EQ(C.Pan, 11);
        EXPECT_EQ(C.Note, 60);
        EXPECT_EQ(C.Loudness, 99);
        EXPECT_EQ(C.Program, 42);
        EXPECT_EQ(Conv.Channels[4], TChannelState{});
        EXPECT_EQ(Conv.Channels[6], TChannelState{});
    }
    static constexpr std::array<int, 11> A{31, 0, 0, 0, 0, 127, 0, 1, 0, 1, 9};
    static constexpr std::array<int, 11> B{31, 5, 0, 31, 0, 8, 0, 1, 0, 1, 6};
    static constexpr std::array<int, 11> C{31, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    static constexpr std::array<int, 11> D{31, 0, 0, 31, 0, 8, 0, 1, 0, 0, 0};
    TStateConv Conv;
};

TEST_F(PresetVoiceTest, Tone) {
    InitToneVoice(Conv, 5);
    const TChannelState& Ch = Conv.Channels[5];
    EXPECT_EQ(Ch.Algorithm, 8);
    EXPECT_EQ(Ch.Feedback, 0);
    ExpectPreset(Ch.Operators[0], A, "op0");
    ExpectPreset(Ch.Operators[1], B, "op1");
    EXPECT_EQ(Ch.Operators[2].AttackRate, 77);
    EXPECT_EQ(Ch.Operators[3].Waveform, 77);
    ExpectStateUntouched();
}

TEST_F(PresetVoiceTest, Noise) {
    InitNoiseVoice(Conv, 5);
    const TChannelState& Ch = Conv.Channels[5];
    EXPECT_EQ(Ch.Algorithm, 8);
    EXPECT_EQ(Ch.Feedback, 7);
    ExpectPreset(Ch.Operators[0], C, "op0");
    ExpectPreset(Ch.Operators[1], D, "op1");
    EXPECT_EQ(Ch.Operators[2].TotalLevel, 77);
    EXPECT_EQ(Ch.Operators[3].TotalLevel, 77);
    ExpectStateUntouched();
}

TEST_F(PresetVoiceTest, ToneNoise) {
    InitToneNoiseVoice(Conv, 5);
    const TChannelState& Ch = Conv.Channels[5];
    EXPECT_EQ(Ch.Algorithm, 4);
    EXPECT_EQ(Ch.Feedback, 7);
    ExpectPreset(Ch.Operators[0], C, "op0");
    ExpectPreset(Ch.Operators[1], D, "op1");
    ExpectPreset(Ch.Operators[2], A, "op2");
    ExpectPreset(Ch.Operators[3], B, "op3");
    ExpectStateUntouched();
}

TEST_F(PresetVoiceTest, SpareRecordIsWritable) {
    InitNoiseVoice(Conv, SpareChannel);
    EXPECT_EQ(Conv.Channels[SpareChannel].Feedback, 7);
}

TEST(BitTests, SetAndClear) {
    EXPECT_TRUE(IsBitSet(0x80, 7));
    EXPECT_FALSE(IsBitSet(0x80, 6));
    EXPECT_TRUE(IsBitClear(0x7F, 7));
    EXPECT_FALSE(IsBitClear(0x01, 0));
}

} // namespace
} // namespace varnhold
