#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "S98Builder.h"
#include "chips/SndYM2413U.h"
#include "convert/StateConvU.h"
#include "job/VarnholdU.h"
#include "support/ConvertSupport.h"
#include "support/MidiText.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

class YM2413Test : public ::testing::Test {
protected:
    TStateConv Conv;
    TSndYM2413 Chip;

    void Write(std::uint8_t Register, std::uint8_t Value) {
        Chip.WriteRegister(Conv, 0, Register, Value);
    }
    TChannelState& Ch(int n) { return Conv.Channels[n]; }
    // Instrument/volume, then F-number 290, block 4 with the key on: 439.99 Hz at multiple 1.
    void PlayA4(int n, std::uint8_t InstrumentVolume) {
        Write(static_cast<std::uint8_t>(0x30 + n), InstrumentVolume);
        Write(static_cast<std::uint8_t>(0x10 + n), 0x22);
        Write(static_cast<std::uint8_t>(0x20 + n), 0x19);
    }
};

TEST(TSndYM2413Class, ClassAndDefaults) {
    TSndDeviceList List;
    auto* Model = dynamic_cast<TSndYM2413*>(&List.Add(TSndYM2413::Class));
    ASSERT_NE(Model, nullptr);
    EXPECT_STREQ(Model->DeviceClass->Name, "TSndYM2413");
    EXPECT_EQ(Model->GetClock(), 3579545.0);
    EXPECT_EQ(Model->ChannelMapRow, 0);
    EXPECT_FALSE(Model->MelodicMode);
    EXPECT_EQ(Model->Patches, TSndYM2413::BuiltInPatches);
    const TSndYM2413::TPatch User{'I', 'L', 'L', '2', 0, 0, 0, 0};
    EXPECT_EQ(Model->Patches[0], User);
    const TSndYM2413::TPatch Last{0x21, 0x01, 0x89, 0x03, 0xF1, 0xE4, 0xF0, 0x23};
    EXPECT_EQ(Model->Patches[15], Last);
}

TEST_F(YM2413Test, PitchFollowsTheLowerMultiple) {
    struct Case {
        const char* What;
        std::uint8_t InstrumentVolume;
        bool Debug;
        int Note, Fine;
    };
    const Case Cases[] = {
        {"instrument 1, multiples 1 and 1: 439.99 Hz", 0x10, false, 69, 32},
        {"instrument 13, carrier multiple 0: 879.98 Hz", 0xD0, false, 81, 32},
        {"user instrument, multiples 9 and 12: 55.0 Hz", 0x00, false, 33, 32},
        {"debug mode ignores the multiple (instrument 13)", 0xD0, true, 69, 32},
        {"debug mode ignores the multiple (user)", 0x00, true, 69, 32},
    };
    for (int n = 0; n < 9; ++n)
        for (const Case& C : Cases) {
            Conv.DebugMode = C.Debug;
            Chip.MelodicMode = true; // so channels 6..8 take instruments too
            PlayA4(n, C.InstrumentVolume);
            EXPECT_EQ(Ch(n).Note, C.Note) << C.What << ", channel " << n;
            EXPECT_EQ(Ch(n).Fine, C.Fine) << C.What << ", channel " << n;
            EXPECT_EQ(Ch(n).KeyReleased, 0);
            EXPECT_EQ(Ch(n).Loudness, 114);
        }
    EXPECT_EQ(Chip.Block[0], 4);
    EXPECT_EQ(Chip.FNumberHigh[0], 1);
    EXPECT_EQ(Chip.FNumberLow[0], 0x22);
    EXPECT_EQ(Chip.KeyState[0], 1);
}

TEST_F(YM2413Test, KeyOffReleasesAndRecomputesThePitch) {
    PlayA4(0, 0x10);
    Ch(0).Restrike = 0;
    Write(0x20, 0x0B); // key off, block 5: an octave up
    EXPECT_EQ(Ch(0).KeyReleased, 1);
    EXPECT_EQ(Ch(0).Restrike, 1);
    EXPECT_EQ(Ch(0).Note, 81);
    EXPECT_EQ(Chip.KeyState[0], 0);
    Ch(0).Restrike = 0;
    Write(0x20, 0x39); // key on again; the sustain bit changes nothing
    EXPECT_EQ(Ch(0).KeyReleased, 0);
    EXPECT_EQ(Ch(0).Restrike, 0);
    EXPECT_EQ(Ch(0).Note, 69);
}

TEST_F(YM2413Test, FNumberZeroGivesNoPitchWithoutRestrike) {
    PlayA4(2, 0x10);
    Ch(2).Restrike = 0;
    Write(0x12, 0x00);
    Write(0x22, 0x18); // bit 8 clear, key still on
    EXPECT_EQ(Ch(2).Note, 0);
    EXPECT_EQ(Ch(2).Fine, 32);
    EXPECT_EQ(Ch(2).Restrike, 0);
}

TEST_F(YM2413Test, LoadVoiceDecodesEveryField) {
    Ch(0).Operators[0].SustainRate = 9; // fields the chip does not have stay as they were
    Ch(0).Operators[1].Detune = 3;
    Ch(0).Operators[2].TotalLevel = 55;
    Ch(0).Operators[1].TotalLevel = 44;
    Ch(0).Pan = 64;
    const std::uint8_t User[8] = {0xA5, 0x5A, 0xC7, 0x9D, 0x4B, 0xE2, 0x3C, 0x85};
    for (std::uint8_t r = 0; r < 8; ++r)
        Write(r, User[r]);
    EXPECT_EQ(Chip.Patches[0][3], 0x9D);

    const TChannelState& R = Ch(0);
    const TOperatorState& M = R.Operators[0];
    const TOperatorState& C = R.Operators[1];
    EXPECT_EQ(R.ProgramPending, 1);
    EXPECT_EQ(R.Algorithm, 8);
    EXPECT_EQ(R.Feedback, 5);
    const std::pair<int, int> Fields[] = {
        {M.AmplitudeMod, 1}, {M.Vibrato, 0},       {M.EnvelopeType, 1},  {M.KeyScaleRate, 0},
        {M.Multiple, 5},     {C.AmplitudeMod, 0},  {C.Vibrato, 1},       {C.EnvelopeType, 0},
        {C.KeyScaleRate, 1}, {C.Multiple, 10},     {M.KeyScaleLevel, 3}, {M.TotalLevel, 7},
        {C.TotalLevel, 0},   {C.KeyScaleLevel, 2}, {M.Waveform, 1},      {C.Waveform, 1},
        {M.AttackRate, 4},   {M.DecayRate, 11},    {C.AttackRate, 14},   {C.DecayRate, 2},
        {M.SustainLevel, 3}, {M.ReleaseRate, 12},  {C.SustainLevel, 8},  {C.ReleaseRate, 7},
    };
    for (std::size_t i = 0; i < std::size(Fields); ++i)
        EXPECT_EQ(Fields[i].first, Fields[i].second) << "field " << i;
    EXPECT_EQ(M.SustainRate, 9);
    EXPECT_EQ(C.Detune, 3);
    EXPECT_EQ(R.Operators[2].TotalLevel, 55);
    EXPECT_EQ(R.Pan, 64);
    EXPECT_EQ(R.Note, 0);
}

TEST_F(YM2413Test, CarrierReleaseIsRaisedTo7) {
    struct Case {
        std::uint8_t Instrument;
        int Release;
    };
    // Built-in byte 7: 0x17 -> 7, 0x28 -> 8, 0x12 -> 2 (raised), 0x44 -> 4 (raised).
    for (const Case& C : {Case{1, 7}, Case{5, 8}, Case{14, 7}, Case{13, 7}}) {
        Write(0x30, static_cast<std::uint8_t>(C.Instrument << 4));
        EXPECT_EQ(Ch(0).Operators[1].ReleaseRate, C.Release) << int(C.Instrument);
    }
}

TEST_F(YM2413Test, UserInstrumentWriteReloadsItsChannels) {
    Write(0x31, 0x1F); // channel 1 plays instrument 1; all others the user instrument
    for (auto& R : Conv.Channels)
        R.ProgramPending = 0;
    Write(0x07, 0x03);
    EXPECT_EQ(Chip.Patches[0][7], 0x03);
    for (int n = 0; n < 9; ++n) {
        const bool User = n != 1;
        EXPECT_EQ(Ch(n).ProgramPending, User ? 1 : 0) << n;
        if (User) {
            EXPECT_EQ(Ch(n).Operators[1].ReleaseRate, 7) << n;
            EXPECT_EQ(Ch(n).Operators[0].Multiple, 9) << n;
        }
    }
    EXPECT_EQ(Ch(9).ProgramPending, 0);
    // Loudness belongs to register 0x3n alone.
    EXPECT_EQ(Ch(1).Loudness, 0);
}

TEST_F(YM2413Test, InstrumentWriteReloadsEvenWhenUnchanged) {
    Write(0x33, 0x25);
    EXPECT_EQ(Chip.Instrument[3], 2);
    EXPECT_EQ(Ch(3).Loudness, 64);
    Ch(3).ProgramPending = 0;
    Write(0x33, 0x2E);
    EXPECT_EQ(Ch(3).ProgramPending, 1);
    EXPECT_EQ(Ch(3).Loudness, 0); // step 14
}

TEST_F(YM2413Test, RhythmControl) {
    Conv.Rhythm[5].KeyOn = 1;
    Write(0x0E, 0x30);
    EXPECT_FALSE(Chip.MelodicMode);
    EXPECT_EQ(Conv.RhythmLevel, 108);
    const int BassOnly[] = {1, 0, 0, 0, 0};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Conv.Rhythm[i].KeyOn, BassOnly[i]) << i;

    // Each key bit to its instrument: bass, snare, top cymbal, hi-hat, tom.
    const std::pair<std::uint8_t, int> Bits[] = {
        {0x10, 0}, {0x08, 1}, {0x02, 2}, {0x01, 3}, {0x04, 4}};
    for (auto [Bit, Index] : Bits) {
        Write(0x0E, static_cast<std::uint8_t>(0x20 | Bit));
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(Conv.Rhythm[i].KeyOn, i == Index ? 1 : 0) << std::hex << int(Bit);
    }
    Write(0x0E, 0x3F);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Conv.Rhythm[i].KeyOn, 1);
    Write(0x0E, 0x20);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Conv.Rhythm[i].KeyOn, 0);
    EXPECT_EQ(Conv.Rhythm[5].KeyOn, 1);

    // Bit 5 clear: melodic mode, nothing else changes.
    Write(0x0E, 0x3F);
    Conv.RhythmLevel = 0;
    Write(0x0E, 0x1F);
    EXPECT_TRUE(Chip.MelodicMode);
    EXPECT_EQ(Conv.RhythmLevel, 0);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Conv.Rhythm[i].KeyOn, 1);
}

TEST_F(YM2413Test, Register36IsADrumVolumeUntilMelodicMode) {
    const TChannelState Before = Ch(6);
    Write(0x36, 0x05);
    EXPECT_EQ(Conv.Rhythm[0].Velocity, 64);
    EXPECT_EQ(Ch(6), Before);

    Chip.Instrument[6] = 7;
    Conv.Rhythm[0].Velocity = 127;
    Write(0x0E, 0x00);
    Write(0x36, 0x05);
    EXPECT_EQ(Chip.Instrument[6], 0);
    EXPECT_EQ(Ch(6).Loudness, 64);
    EXPECT_EQ(Ch(6).ProgramPending, 1);
    EXPECT_EQ(Ch(6).Operators[0].Multiple, 9); // the user instrument
    EXPECT_EQ(Ch(6).Operators[1].Multiple, 12);
    EXPECT_EQ(Conv.Rhythm[0].Velocity, 127);
}

TEST_F(YM2413Test, DrumVolumes) {
    struct Case {
        std::uint8_t Register, Value;
        int HighIndex, High, LowIndex, Low;
    };
    const Case Cases[] = {
        {0x37, 0xE2, 3, 0, 1, 91},  // hi-hat step 14, snare step 2
        {0x38, 0x5A, 4, 64, 2, 36}, // tom step 5, top cymbal step 10
    };
    for (const Case& C : Cases) {
        Write(C.Register, C.Value);
        EXPECT_EQ(Conv.Rhythm[C.HighIndex].Velocity, C.High) << std::hex << int(C.Register);
        EXPECT_EQ(Conv.Rhythm[C.LowIndex].Velocity, C.Low) << std::hex << int(C.Register);
    }
    Write(0x36, 0xF0); // the high nibble of 0x36 is unused
    EXPECT_EQ(Conv.Rhythm[0].Velocity, 114);
    EXPECT_EQ(Conv.Rhythm[3].Velocity, 0);
    EXPECT_EQ(Conv.Rhythm[5].Velocity, 0);
    for (int n = 6; n < 9; ++n)
        EXPECT_EQ(Ch(n).ProgramPending, 0) << n;
}

TEST_F(YM2413Test, UnusedRegistersAreIgnored) {
    const auto Before = Conv.Channels;
    const auto Patches = Chip.Patches;
    for (std::uint8_t Reg : {0x08, 0x0D, 0x0F, 0x19, 0x1F, 0x29, 0x39, 0x3F, 0x40, 0xFF})
        Write(Reg, 0xFF);
    EXPECT_EQ(Conv.Channels, Before);
    EXPECT_EQ(Chip.Patches, Patches);
    EXPECT_EQ(Conv.RhythmLevel, 0);
    EXPECT_FALSE(Chip.MelodicMode);
}

TEST(TSndYM2413Map, Row6KeepsTheNineChannels) {
    TStateConv Conv;
    TSndYM2413 Chip;
    Chip.SetChannelMapRow(6);
    Chip.WriteRegister(Conv, 1, 0x0E, 0x00);
    for (std::uint8_t n = 0; n < 9; ++n)
        Chip.WriteRegister(Conv, 0, static_cast<std::uint8_t>(0x30 + n), 0x10);
    for (int c = 0; c < ChannelCount; ++c)
        EXPECT_EQ(Conv.Channels[c].Loudness, c < 9 ? 114 : 0) << c;
}

// End to end: a YM2413 and an SN76489 form a known set and share one file: the YM2413 on
// MIDI channels 0-8, its drums on channel 9, the SN76489 on channels 10-13.
TEST(TSndYM2413Conversion, SharesTheFileWithAnSN76489) {
    const std::uint8_t Opll = 0, Dcsg = 1;
    tools::TS98Builder B('3');
    B.Device(tools::S98YM2413, 3579545).Device(tools::S98SN76489, 3579545);

    // Melodic mode; instrument 1 at full volume, F-number 290 in block n mod 8, key on.
    B.Write(Opll, 0, 0x0E, 0x00);
    for (std::uint8_t n = 0; n < 9; ++n) {
        B.Write(Opll, 0, static_cast<std::uint8_t>(0x30 + n), 0x10);
        B.Write(Opll, 0, static_cast<std::uint8_t>(0x10 + n), 0x22);
        B.Write(Opll, 0, static_cast<std::uint8_t>(0x20 + n), 0x11 | (n % 8) << 1);
    }
    // Tones of periods 254, 428 and 127, noise "period" 254, all at full volume.
    for (std::uint8_t Byte :
         {0x8E, 0x0F, 0x90, 0xAC, 0x1A, 0xB0, 0xCF, 0x07, 0xD0, 0xEE, 0x0F, 0xF0})
        B.Write(Dcsg, 0, 0, Byte);
    B.Wait(10);
    // Rhythm mode, bass drum volume step 2, bass drum struck.
    B.Write(Opll, 0, 0x0E, 0x20).Write(Opll, 0, 0x36, 0x02).Write(Opll, 0, 0x0E, 0x30);
    B.Wait(10).End();

    test::TTempDir Dir;
    const auto Lines = test::ConvertLog(B, Dir, "mix");
    const std::pair<int, int> Notes[] = {
        {0, 21},  {1, 33}, {2, 45},  {3, 57},  {4, 69},  {5, 81},  {6, 93},
        {7, 105}, {8, 21}, {10, 69}, {11, 60}, {12, 81}, {13, 69},
    };
    std::vector<std::string> On, Programs;
    for (auto [Channel, Note] : Notes) {
        const std::string Ch = "0 ch" + std::to_string(Channel);
        On.push_back(Ch + " on " + std::to_string(Note) + " 127");
        Programs.push_back(Ch + " program " + (Channel < 9 ? "87" : "80"));
    }
    On.push_back("9 ch9 on 36 91");
    EXPECT_EQ(test::Grep(Lines, " on "), On);
    EXPECT_EQ(test::Grep(Lines, " program "), Programs);
    EXPECT_EQ(test::Grep(Lines, "9 ch9 cc 11 108"), std::vector<std::string>{"9 ch9 cc 11 108"});
    EXPECT_EQ(test::Grep(Lines, "ch9 off"), std::vector<std::string>{"10 ch9 off 36 0"});
    // Every melodic note ends one tick after the last mark.
    EXPECT_EQ(test::Grep(Lines, " off ").size(), 14u);
    EXPECT_EQ(test::Grep(Lines, "20 ch").size(), 13u);
}

} // namespace
} // namespace varnhold
