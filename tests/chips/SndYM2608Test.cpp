#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "S98Builder.h"
#include "chips/SndYM2203U.h"
#include "chips/SndYM2608U.h"
#include "convert/StateConvU.h"
#include "job/VarnholdU.h"
#include "support/ConvertSupport.h"
#include "support/MidiText.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

constexpr double OpnaClock = 7987200.0;

// One register write: port, register, value.
struct TWrite {
    std::uint8_t Port, Register, Value;
};

class YM2608Test : public ::testing::Test {
protected:
    TStateConv Conv;
    TSndYM2608 Chip;

    YM2608Test() {
        Conv.Reset(120);
        Chip.SetClock(OpnaClock);
    }

    void Write(std::uint8_t Register, std::uint8_t Value, std::uint8_t Port = 0) {
        Chip.WriteRegister(Conv, Port, Register, Value);
    }
    void Write(const std::vector<TWrite>& Writes) {
        for (const TWrite& W : Writes)
            Write(W.Register, W.Value, W.Port);
    }
    // Latches block and F-number of FM channel code Code on Port, then sets the pitch.
    void FmPitch(std::uint8_t Code, std::uint16_t FNum, std::uint8_t Blk, std::uint8_t Port = 0) {
        Write(0xA4 + Code, static_cast<std::uint8_t>((Blk << 3) | (FNum >> 8)), Port);
        Write(0xA0 + Code, static_cast<std::uint8_t>(FNum & 0xFF), Port);
    }
    // Multiples of operators 0..3 of FM channel code Code (register offsets 0, 8, 4, 12).
    void Multiples(std::uint8_t Code, std::array<std::uint8_t, 4> M, std::uint8_t Port = 0) {
        constexpr std::array<std::uint8_t, 4> Offset{0, 8, 4, 12};
        for (int k = 0; k < 4; ++k)
            Write(0x30 + Offset[k] + Code, M[k], Port);
    }
    TChannelState& Ch(int n) { return Conv.Channels[n]; }
};

TEST(TSndYM2608Class, ClassesAndDefaults) {
    TSndDeviceList List;
    for (const TSndDeviceClass* Class : {&TSndYM2608::Class, &TSndYM2203::Class}) {
        auto* Model = dynamic_cast<TSndYM2608*>(&List.Add(*Class));
        ASSERT_NE(Model, nullptr) << Class->Name;
        EXPECT_EQ(Model->GetClock(), 3579545.0);
        EXPECT_EQ(Model->ChannelMapRow, 0);
        for (int n = 0; n < 4; ++n) {
            EXPECT_EQ(Model->SsgPeriod[n], 0);
            EXPECT_EQ(Model->SsgMixer[n], 1);
            EXPECT_EQ(Model->SsgMode[n], 0);
        }
        for (int s = 0; s < 8; ++s) {
            EXPECT_EQ(Model->FNumber[s], 0u);
            EXPECT_EQ(Model->Block[s], 0u);
        }
    }
    EXPECT_STREQ(TSndYM2608::Class.Name, "TSndYM2608");
    EXPECT_STREQ(TSndYM2203::Class.Name, "TSndYM2203");
    EXPECT_NE(dynamic_cast<TSndYM2203*>(List.Get(1)), nullptr);
}

TEST(TSndYM2608Class, SlotIndexTable) {
    const std::uint8_t Slots[] = {0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18};
    const std::uint8_t Local[] = {0, 1, 2, 15, 3, 4, 5, 15, 6, 7, 8};
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(TSndYM2608::LocalChannelOf(Slots[i]), Local[i]) << "slot " << int(Slots[i]);
}

// F-number 618, block 4 at 7987200 Hz is middle C when the lowest multiple is 1.
TEST_F(YM2608Test, FmPitchFollowsTheLowestMultiple) {
    struct Case {
        std::array<std::uint8_t, 4> Multiple;
        bool Debug;
        int Note;
    };
    const Case Cases[] = {
        {{1, 1, 1, 1}, false, 60}, {{2, 2, 2, 2}, false, 72}, {{2, 2, 2, 2}, true, 60},
        {{3, 2, 5, 7}, false, 72}, {{0, 1, 4, 1}, false, 48}, {{8, 15, 9, 8}, false, 96},
        {{0, 0, 0, 0}, true, 60},
    };
    for (const Case& C : Cases)
        for (std::uint8_t Port : {0, 1})
            for (std::uint8_t Code = 0; Code < 3; ++Code) {
                Conv.DebugMode = C.Debug;
                Multiples(Code, C.Multiple, Port);
                FmPitch(Code, 618, 4, Port);
                const TChannelState& R = Ch(Port * 3 + Code);
                EXPECT_EQ(R.Note, C.Note) << "port " << int(Port) << " code " << int(Code)
                                          << " multiple " << int(C.Multiple[0]);
                EXPECT_EQ(R.Fine, 32);
                EXPECT_EQ(R.Restrike, 0);
            }
}

TEST_F(YM2608Test, FmFrequencyFormula) {
    Multiples(1, {1, 1, 1, 1});
    FmPitch(1, 618, 4);
    EXPECT_NEAR(static_cast<double>(Chip.FmFrequency(1, 1)), 261.52, 0.005);
    FmPitch(1, 0x7FF, 7);
    EXPECT_EQ(Chip.FNumber[1], 0x7FFu);
    EXPECT_EQ(Chip.Block[1], 7u);
    EXPECT_NEAR(static_cast<double>(Chip.FmFrequency(1, 1)), 110933.33 * 2047 / 32768, 0.01);
}

TEST_F(YM2608Test, BlockWriteIsLatchedUntilTheLowByte) {
    Multiples(0, {1, 1, 1, 1});
    FmPitch(0, 618, 4);
    ASSERT_EQ(Ch(0).Note, 60);

    Write(0xA4, (5 << 3) | 2); // block 5: one octave up, not applied yet
    EXPECT_EQ(Ch(0).Note, 60);
    EXPECT_EQ(Chip.Block[0], 5u);
    EXPECT_EQ(Chip.FNumber[0], 618u);

    Write(0xA0, 618 & 0xFF);
    EXPECT_EQ(Ch(0).Note, 72);

    // The high F-number bits are latched the same way; the low byte is kept.
    Write(0xA4, (4 << 3) | 4);
    EXPECT_EQ(Chip.FNumber[0], 0x400u | (618 & 0xFF));
    EXPECT_EQ(Ch(0).Note, 72);
}

TEST_F(YM2608Test, FNumberZeroGivesNoPitchAndRestrike) {
    Multiples(2, {1, 1, 1, 1});
    FmPitch(2, 618, 4);
    Ch(2).Restrike = 0;
    FmPitch(2, 0, 4);
    EXPECT_EQ(Ch(2).Note, 0);
    EXPECT_EQ(Ch(2).Fine, 32);
    EXPECT_EQ(Ch(2).Restrike, 1);
}

TEST_F(YM2608Test, KeyOnOffAddressesSlots) {
    struct Case {
        std::uint8_t Port, Data;
        int Record, KeyReleased;
    };
    const Case Cases[] = {
        {0, 0xF0, 0, 0}, // all operators, channel 1
        {0, 0x10, 0, 0}, // which operator bits are set does not matter
        {0, 0x04, 3, 1}, // operator bits clear: channel 4 off
        {0, 0xF6, 5, 0}, // channel 6 on
        {0, 0x03, 15, 1}, {0, 0x07, 15, 1},
        {0, 0xF3, 15, 0}, {1, 0xF1, 4, 0}, // port 1 adds 4 to the slot
        {1, 0x02, 5, 1},
    };
    for (const Case& C : Cases) {
        Ch(C.Record).KeyReleased = static_cast<std::uint8_t>(1 - C.KeyReleased);
        Ch(C.Record).Restrike = 0;
        Write(0x28, C.Data, C.Port);
        EXPECT_EQ(Ch(C.Record).KeyReleased, C.KeyReleased)
            << "port " << int(C.Port) << " data " << int(C.Data);
        EXPECT_EQ(Ch(C.Record).Restrike, C.KeyReleased)
            << "port " << int(C.Port) << " data " << int(C.Data);
    }
}

TEST_F(YM2608Test, OperatorRegistersInOrder0213) {
    // Register offsets +0, +4, +8, +12 of channel 2 (code 1) on port 1 (record 4).
    const std::uint8_t Offsets[] = {0, 4, 8, 12};
    const int Operator[] = {0, 2, 1, 3};
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t r = Offsets[i] + 1;
        const auto v = static_cast<std::uint8_t>(i);
        Write(0x30 + r, static_cast<std::uint8_t>(0x80 | ((4 + i) << 4) | (9 + i)), 1);
        Write(0x50 + r, static_cast<std::uint8_t>(((i & 3) << 6) | 0x20 | (20 + v)), 1);
        Write(0x60 + r, static_cast<std::uint8_t>((i & 1) << 7 | 0x60 | (10 + v)), 1);
        Write(0x70 + r, static_cast<std::uint8_t>(0xE0 | (3 + v)), 1);
        Write(0x80 + r, static_cast<std::uint8_t>(((5 + i) << 4) | (11 + v)), 1);
        Write(0x90 + r, static_cast<std::uint8_t>(0xF0 | (8 + v)), 1);
    }
    for (int i = 0; i < 4; ++i) {
        const TOperatorState& Op = Ch(4).Operators[Operator[i]];
        SCOPED_TRACE(i);
        EXPECT_EQ(Op.Detune, 4 + i);
        EXPECT_EQ(Op.Multiple, 9 + i);
        EXPECT_EQ(Op.KeyScale, i & 3);
        EXPECT_EQ(Op.AttackRate, 20 + i);
        EXPECT_EQ(Op.AmplitudeMod, i & 1);
        EXPECT_EQ(Op.DecayRate, 10 + i);
        EXPECT_EQ(Op.SustainRate, 3 + i);
        EXPECT_EQ(Op.SustainLevel, 5 + i);
        EXPECT_EQ(Op.ReleaseRate, 11 + i);
        EXPECT_EQ(Op.SsgEnvelope, 8 + i);
    }
    Write(0x30, 0x71);
    EXPECT_EQ(Ch(0).Operators[0].Detune, 7);
    EXPECT_EQ(Ch(0).Operators[0].Multiple, 1);
    Write(0x60, 0x80);
    EXPECT_EQ(Ch(0).Operators[0].AmplitudeMod, 1);
    // Operator writes never ask for a new program; only the algorithm register does.
    for (int n = 0; n < 6; ++n)
        EXPECT_EQ(Ch(n).ProgramPending, 0) << n;
    Write(0xB1, 0x3D, 1);
    EXPECT_EQ(Ch(4).Algorithm, 5);
    EXPECT_EQ(Ch(4).Feedback, 7);
    EXPECT_EQ(Ch(4).ProgramPending, 1);
}

TEST_F(YM2608Test, LoudnessFromCarriersOnTotalLevelWrites) {
    // Algorithm 4: carriers are operators 1 and 3 (register offsets +8 and +12).
    Write(0xB0, 0x04);
    Write(0x40, 0x7F); // operator 0, a modulator
    Write(0x44, 0x7F); // operator 2, a modulator
    Write(0x48, 0x10); // operator 1: 16
    Write(0x4C, 0x90); // operator 3: 16 (bit 7 dropped)
    EXPECT_EQ(Ch(0).Operators[3].TotalLevel, 16);
    EXPECT_EQ(Ch(0).Loudness, TotalLevelToLoudness(16)); // (16 + 16 + 1) / 2
    EXPECT_EQ(Ch(0).Loudness, 76);

    // A later algorithm change is not reflected until the next level write.
    Write(0xB0, 0x07);
    EXPECT_EQ(Ch(0).Loudness, 76);
    Write(0x4C, 0x10);
    EXPECT_EQ(Ch(0).Loudness, TotalLevelToLoudness((127 + 16 + 127 + 16 + 1) / 4));
}

TEST_F(YM2608Test, PanAndSensitivityFromB4) {
    struct Case {
        std::uint8_t Data;
        int Pan, Ams, Pms;
    };
    const Case Cases[] = {
        {0x40, 127, 0, 0}, {0x80, 0, 0, 0}, {0x00, 64, 0, 0},
        {0xC0, 64, 0, 0},  {0xB7, 0, 3, 7}, {0x55, 127, 1, 5},
    };
    for (const Case& C : Cases) {
        Write(0xB6, C.Data, 1); // channel 6, record 5
        EXPECT_EQ(Ch(5).Pan, C.Pan) << int(C.Data);
        EXPECT_EQ(Ch(5).Ams, C.Ams) << int(C.Data);
        EXPECT_EQ(Ch(5).Pms, C.Pms) << int(C.Data);
    }
    EXPECT_EQ(Ch(2).Pan, 64); // untouched since Reset
}

TEST_F(YM2608Test, SsgPeriodGivesPitch) {
    // Period 477 at 7987200 Hz: 261.64 Hz, middle C.
    for (std::uint8_t c = 0; c < 3; ++c) {
        Write(2 * c + 1, 0xF1); // only the low nibble counts
        Write(2 * c, 477 & 0xFF);
        EXPECT_EQ(Chip.SsgPeriod[c], 0x100 | (477 & 0xFF));
        Write(2 * c + 1, 477 >> 8);
        EXPECT_EQ(Chip.SsgPeriod[c], 477);
        const TChannelState& R = Ch(6 + c);
        EXPECT_EQ(R.Note, 60) << int(c);
        EXPECT_EQ(R.Fine, 32) << int(c);
        EXPECT_EQ(R.ToneGenerator, 1);
        EXPECT_EQ(R.Restrike, 0);
    }
    Write(0, 0);
    Write(1, 0);
    EXPECT_EQ(Ch(6).Note, 0);
    EXPECT_EQ(Ch(6).Fine, 32);
    EXPECT_EQ(Ch(6).Restrike, 1);
}

TEST_F(YM2608Test, SsgWritesInDebugModeLeaveToneGeneratorClear) {
    Conv.DebugMode = true;
    Write(2, 0xDD);
    Write(9, 0x0F);
    EXPECT_EQ(Ch(7).ToneGenerator, 0);
    EXPECT_EQ(Ch(7).Loudness, 114);
}

TEST_F(YM2608Test, SsgLevelAndEnvelopeMode) {
    struct Case {
        std::uint8_t Data;
        int Loudness, Restrike;
    };
    const Case Cases[] = {
        {0x0F, 114, 0}, {0x0E, 102, 0}, {0x02, 25, 0}, {0x01, 0, 1},   {0x00, 0, 1},
        {0x10, 96, 0},  {0x1F, 96, 0},  {0x13, 96, 0}, {0xEF, 114, 0},
    };
    for (const Case& C : Cases)
        for (std::uint8_t c = 0; c < 3; ++c) {
            Ch(6 + c).Restrike = 0;
            Write(8 + c, C.Data);
            EXPECT_EQ(Ch(6 + c).Loudness, C.Loudness) << int(C.Data);
            EXPECT_EQ(Ch(6 + c).Restrike, C.Restrike) << int(C.Data);
            EXPECT_EQ(Ch(6 + c).ToneGenerator, 1);
        }
}

// The expected voice of the tone-only preset, for comparison.
TChannelState ToneVoiceOf(TChannelState R) {
    TStateConv Scratch;
    Scratch.Channels[0] = R;
    InitToneVoice(Scratch, 0);
    return Scratch.Channels[0];
}

TEST_F(YM2608Test, MixerAppliesPresetVoices) {
    struct Case {
        std::uint8_t Data;
        std::array<int, 3> State, Mode, Algorithm;
    };
    const Case Cases[] = {
        {0x38, {2, 2, 2}, {0, 0, 0}, {8, 8, 8}}, // tones on, noise off
        {0x07, {1, 1, 1}, {1, 1, 1}, {8, 8, 8}}, // noise only
        {0x00, {0, 0, 0}, {2, 2, 2}, {4, 4, 4}}, // both
        {0xCE, {2, 1, 1}, {0, 1, 1}, {8, 8, 8}}, // bits 6-7 are not looked at
    };
    for (const Case& C : Cases) {
        for (int c = 0; c < 3; ++c) {
            Ch(6 + c).GeneratorMode = static_cast<std::uint8_t>(C.Mode[c]);
            Ch(6 + c).ProgramPending = 0;
            Ch(6 + c).Restrike = 0;
        }
        Write(0x07, C.Data);
        for (int c = 0; c < 3; ++c) {
            SCOPED_TRACE(testing::Message() << "data " << int(C.Data) << " channel " << c);
            EXPECT_EQ(Chip.SsgMixer[c], C.State[c]);
            EXPECT_EQ(Chip.SsgMode[c], C.Mode[c]);
            EXPECT_EQ(Ch(6 + c).GeneratorMode, C.Mode[c]);
            EXPECT_EQ(Ch(6 + c).Algorithm, C.Algorithm[c]);
            EXPECT_EQ(Ch(6 + c).ProgramPending, 1);
            EXPECT_EQ(Ch(6 + c).Restrike, 0); // mode unchanged
        }
    }
    // 0x38 on all three: the tone preset, and a restrike where the mode changed.
    Write(0x07, 0x38);
    EXPECT_EQ(Ch(6), ToneVoiceOf(Ch(6)));
    EXPECT_EQ(Ch(6).Restrike, 0);
    EXPECT_EQ(Ch(7).Restrike, 1);
    EXPECT_EQ(Ch(8).Restrike, 1);
}

TEST_F(YM2608Test, MixerAllOffRestrikesAndKeepsTheVoice) {
    Write(0x07, 0x07); // noise only: mode 1, noise preset
    std::array<TChannelState, 3> Before{Ch(6), Ch(7), Ch(8)};
    for (int c = 0; c < 3; ++c) {
        Ch(6 + c).ProgramPending = 0;
        Ch(6 + c).Restrike = 0;
        Before[c].ProgramPending = 1;
        Before[c].Restrike = 1;
    }
    Write(0x07, 0x3F);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(Chip.SsgMixer[c], TSndYM2608::MixerSilent);
        EXPECT_EQ(Chip.SsgMode[c], 1);
        EXPECT_EQ(Ch(6 + c), Before[c]) << c; // only the two flags changed
    }
}

TEST_F(YM2608Test, RhythmSection) {
    Write(0x10, 0x05); // bass drum and top cymbal
    const int Struck[] = {1, 0, 1, 0, 0, 0};
    for (int j = 0; j < 6; ++j)
        EXPECT_EQ(Conv.Rhythm[j].KeyOn, Struck[j]) << j;
    Write(0x10, 0x3F);
    for (int j = 0; j < 6; ++j)
        EXPECT_EQ(Conv.Rhythm[j].KeyOn, 1) << j;

    Write(0x11, 0x3F);
    EXPECT_EQ(Conv.RhythmLevel, TotalLevelToLoudness(1));
    Write(0x11, 0xC0); // only bits 0-5 count
    EXPECT_EQ(Conv.RhythmLevel, 2);

    const std::uint8_t Levels[] = {0xDF, 0x01, 0x00, 0x3F, 0x9F, 0x48};
    for (int j = 0; j < 6; ++j)
        Write(0x18 + j, Levels[j]);
    for (int j = 0; j < 6; ++j)
        EXPECT_EQ(Conv.Rhythm[j].Velocity, RhythmLevelToLoudness(Levels[j] & 0x3F)) << j;
    EXPECT_EQ(Conv.Rhythm[0].Velocity, 114);
    EXPECT_EQ(Conv.Rhythm[2].Velocity, 0);
}

// The dump bit stops instruments; it must not strike them.
TEST_F(YM2608Test, RhythmDumpStrikesNothing) {
    for (std::uint8_t Data : {0x80, 0x81, 0xBF, 0xFF}) {
        Write(0x10, Data);
        for (int j = 0; j < 6; ++j)
            EXPECT_EQ(Conv.Rhythm[j].KeyOn, 0) << int(Data) << " instrument " << j;
    }
}

// What a write may change: the converter's channel and rhythm state and the model's own.
struct TSnapshot {
    std::array<TChannelState, ChannelCount> Channels;
    std::vector<std::uint8_t> Rhythm;
    std::uint8_t RhythmLevel;
    std::array<std::uint16_t, 4> SsgPeriod, SsgMixer;
    std::array<std::uint8_t, 4> SsgMode;
    std::array<std::uint32_t, 8> FNumber, Block;

    TSnapshot(const TStateConv& Conv, const TSndYM2608& Chip)
        : Channels(Conv.Channels), RhythmLevel(Conv.RhythmLevel), SsgPeriod(Chip.SsgPeriod),
          SsgMixer(Chip.SsgMixer), SsgMode(Chip.SsgMode), FNumber(Chip.FNumber), Block(Chip.Block) {
        for (const TRhythmState& R : Conv.Rhythm)
            Rhythm.insert(Rhythm.end(), {R.KeyOn, R.Velocity, R.Note});
    }
    bool operator==(const TSnapshot&) const = default;
};

TEST_F(YM2608Test, IgnoredRegistersChangeNothing) {
    // Some state first, so that a wrongly routed write would show.
    Write({{0, 0x07, 0x38},
           {0, 0x08, 0x0C},
           {0, 0x00, 0x20},
           {0, 0x11, 0x20},
           {0, 0xB0, 0x04},
           {1, 0xB1, 0x04},
           {0, 0x40, 0x10},
           {1, 0x4D, 0x10}});
    for (auto& R : Conv.Rhythm)
        R.KeyOn = 0;
    for (auto& R : Conv.Channels)
        R.Restrike = R.ProgramPending = 0;

    std::vector<TWrite> Ignored;
    auto AddRange = [&](std::uint8_t Port, int From, int To) {
        for (int r = From; r <= To; ++r)
            for (std::uint8_t v : {0x00, 0x3F, 0xFF, 0x15})
                Ignored.push_back({Port, static_cast<std::uint8_t>(r), v});
    };
    AddRange(0, 0x06, 0x06);
    AddRange(0, 0x0B, 0x0F);
    AddRange(0, 0x12, 0x17);
    AddRange(0, 0x1E, 0x27);
    AddRange(0, 0x29, 0x2F);
    AddRange(1, 0x00, 0x27); // the ADPCM unit: never the SSG or the rhythm section
    AddRange(1, 0x29, 0x2F);
    for (std::uint8_t Port : {0, 1}) {
        AddRange(Port, 0xA8, 0xAF);
        AddRange(Port, 0xB8, 0xFF);
    }
    const TSnapshot Before(Conv, Chip);
    for (const TWrite& W : Ignored) {
        Write(W.Register, W.Value, W.Port);
        ASSERT_TRUE(TSnapshot(Conv, Chip) == Before)
            << "port " << int(W.Port) << " register " << int(W.Register) << " value "
            << int(W.Value);
    }
}

TEST_F(YM2608Test, ChannelMapRowPlacesChannels) {
    Chip.SetChannelMapRow(1); // local channels 0-2 on 10-12, the rest on the spare record
    Multiples(0, {1, 1, 1, 1});
    FmPitch(0, 618, 4);
    EXPECT_EQ(Ch(10).Note, 60);
    EXPECT_EQ(Ch(0).Note, 0);
    FmPitch(0, 618, 4, 1); // channel 4 has no MIDI channel in this row
    Write(0x08, 0x0F);     // nor has SSG A
    EXPECT_EQ(Ch(SpareChannel).Loudness, 114);
    EXPECT_EQ(Ch(3).Note, 0);
    EXPECT_EQ(Ch(6).Loudness, 0);
}

// A short piece of register traffic touching every part of the chip.
std::vector<TWrite> MixedWrites() {
    std::vector<TWrite> W{
        {0, 0x07, 0x38}, {0, 0x00, 0xDD}, {0, 0x01, 0x01}, {0, 0x08, 0x0E}, {0, 0x09, 0x10},
        {0, 0x11, 0x30}, {0, 0x18, 0xDF}, {0, 0x10, 0x09}, {0, 0xB0, 0x3C}, {1, 0xB2, 0x32},
        {0, 0xB4, 0x80}, {1, 0xB6, 0x40}, {0, 0x28, 0xF0}, {1, 0x28, 0x02}, {0, 0x07, 0x2A},
    };
    for (std::uint8_t Port : {0, 1})
        for (std::uint8_t r = 0x30; r < 0xA0; r += 2)
            W.push_back({Port, r, static_cast<std::uint8_t>(r * 7 + Port)});
    for (std::uint8_t Port : {0, 1})
        for (std::uint8_t Code = 0; Code < 3; ++Code) {
            W.push_back({Port, static_cast<std::uint8_t>(0xA4 + Code),
                         static_cast<std::uint8_t>(0x1A + Code)});
            W.push_back({Port, static_cast<std::uint8_t>(0xA0 + Code),
                         static_cast<std::uint8_t>(0x40 * Code + 0x13)});
        }
    return W;
}

TEST(TSndYM2203Class, SameWritesGiveTheSameStateAsTheYM2608) {
    for (bool Debug : {false, true}) {
        TStateConv ConvA, ConvB;
        ConvA.Reset(120);
        ConvB.Reset(120);
        ConvA.DebugMode = ConvB.DebugMode = Debug;
        TSndYM2608 A;
        TSndYM2203 B;
        A.SetClock(3993600);
        B.SetClock(3993600);
        for (const TWrite& W : MixedWrites()) {
            A.WriteRegister(ConvA, W.Port, W.Register, W.Value);
            B.WriteRegister(ConvB, W.Port, W.Register, W.Value);
        }
        EXPECT_TRUE(TSnapshot(ConvA, A) == TSnapshot(ConvB, B));
        EXPECT_NE(ConvB.Channels[0].Note, 0); // the writes did reach the state
        EXPECT_EQ(ConvB.Rhythm[3].KeyOn, 1);
    }
}

// ---- whole conversions ----

namespace e2e {

using tools::TS98Builder;

// An FM note with pan and a bend, an SSG note and drum strikes, 100 syncs (96 ticks) apart.
TS98Builder ShortLog() {
    TS98Builder B('3');
    B.Device(tools::S98YM2608, 7987200);
    const std::uint8_t Carriers[] = {0x40, 0x44, 0x48, 0x4C};
    B.Write(0, 0, 0xB0, 0x07); // algorithm 7: every operator is heard
    for (std::uint8_t r : Carriers) {
        B.Write(0, 0, static_cast<std::uint8_t>(r - 0x10), 0x01); // multiple 1
        B.Write(0, 0, r, 16);                                     // loudness 76
    }
    B.Write(0, 0, 0xB4, 0x80);                         // left
    B.Write(0, 0, 0xA4, 0x22).Write(0, 0, 0xA0, 0x6A); // F-number 618, block 4
    B.Write(0, 0, 0x28, 0xF0).Wait(100);               // key on
    B.Write(0, 0, 0x07, 0x38);                         // SSG tones on
    B.Write(0, 0, 0x00, 0xDD).Write(0, 0, 0x01, 0x01); // period 477
    B.Write(0, 0, 0x08, 0x0F);                         // level 15
    B.Write(0, 0, 0x11, 0x3F).Write(0, 0, 0x18, 0xDF); // rhythm levels
    B.Write(0, 0, 0x10, 0x09);                         // bass drum and hi-hat
    B.Write(0, 0, 0xA0, 0x6C).Wait(100);               // F-number 620: a bend up
    B.Write(0, 0, 0x28, 0x00);                         // key off
    B.Write(0, 0, 0x08, 0x00);                         // SSG silent
    B.Write(0, 0, 0x10, 0x81).Wait(100);               // dump: no strike
    B.End();
    return B;
}

TEST(YM2608Conversion, ShortLogEventByEvent) {
    test::TTempDir Dir;
    const auto Lines = test::ConvertLog(ShortLog(), Dir, "opna");

    std::vector<std::string> Expected = test::DefaultFileStartLines();
    for (const char* L :
         {"0 ch0 program 87", // FM channel, program changes off
          "0 ch0 cc 10 0",    // left
          "0 ch0 cc 11 76",   // carriers at level 16
          "0 ch0 bend 64",    // F-number 618 is on the key
          "0 ch0 on 60 127",
          "96 ch0 bend 66", // F-number 620: 2/32 semitone up, no new note
          "96 ch6 program 80", "96 ch6 cc 11 114", "96 ch6 bend 64", "96 ch6 on 60 127",
          "96 ch9 cc 11 123",                     // rhythm total level
          "96 ch9 on 36 114", "96 ch9 on 42 127", // hi-hat level never written
          "97 ch9 off 36 0", "97 ch9 off 42 0",
          "192 ch0 off 60 0", // key off
          "192 ch6 off 60 0", // level 0; the dump write strikes nothing
          "289 end"})
        Expected.push_back(L);
    EXPECT_EQ(Lines, Expected);
}

// The bundled tune: FM, SSG and drum notes all reach the MIDI file.
TEST(YM2608Conversion, ExampleTuneHasEveryPart) {
    test::TTempDir Dir;
    std::filesystem::create_directory(Dir.File("bin"));
    std::filesystem::copy_file(std::string(VARNHOLD_SOURCE_DIR) + "/examples/demo.s98",
                               Dir.File("demo.s98"));
    TVarnhold Job;
    Job.ProgramFile = Dir.File("bin/varnhold");
    ASSERT_TRUE(Job.Convert(Dir.File("demo.s98"))) << Job.ResultText;
    const std::vector<std::string> Lines = test::MidiFileLines(Dir.File("demo.mid"));

    // FM lead, bass, pad (two channels) and echo; SSG arpeggio and bell.
    for (int Channel : {0, 1, 2, 3, 5, 6, 7}) {
        const std::string Ch = " ch" + std::to_string(Channel) + " ";
        EXPECT_GE(test::Grep(Lines, Ch + "on ").size(), 8u) << "channel " << Channel;
        EXPECT_EQ(test::Grep(Lines, Ch + "program ").size(), 1u) << "channel " << Channel;
    }
    for (int Key : {36, 38, 42, 47, 51, 37})
        EXPECT_FALSE(test::Grep(Lines, " ch9 on " + std::to_string(Key) + " ").empty())
            << "drum " << Key;
    EXPECT_FALSE(test::Grep(Lines, " ch0 cc 10 0").empty());   // lead left
    EXPECT_FALSE(test::Grep(Lines, " ch5 cc 10 127").empty()); // echo right
    EXPECT_GE(test::Grep(Lines, " ch0 bend ").size(), 10u);    // vibrato
    EXPECT_GE(test::Grep(Lines, " ch0 cc 11 ").size(), 3u);    // the lead's dynamics
    // 19 bars of two seconds, at 96 ticks a second.
    const std::string& End = Lines.back();
    ASSERT_NE(End.find(" end"), std::string::npos);
    EXPECT_NEAR(std::stoi(End), 19 * 2 * 96, 4);
}

} // namespace e2e

} // namespace
} // namespace varnhold
