#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "S98Builder.h"
#include "chips/SndYM2151U.h"
#include "convert/StateConvU.h"
#include "job/VarnholdU.h"
#include "support/ConvertSupport.h"
#include "support/MidiText.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

// Register offset of operator k within a 32-register group (operators 0, 2, 1, 3 in order).
constexpr std::uint8_t OpOffset[4] = {0, 16, 8, 24};

class YM2151Test : public ::testing::Test {
protected:
    TStateConv Conv;
    TSndYM2151 Model;

    void Write(int Register, int Value) {
        Model.WriteRegister(Conv, 0, static_cast<std::uint8_t>(Register),
                            static_cast<std::uint8_t>(Value));
    }
    void SetMultiples(int Channel, int M0, int M1, int M2, int M3) {
        const int M[4] = {M0, M1, M2, M3};
        for (int Op = 0; Op < 4; ++Op)
            Write(0x40 + OpOffset[Op] + Channel, M[Op]);
    }
    const TChannelState& Ch(int Record) const { return Conv.Channels[Record]; }
};

TEST(TSndYM2151Class, HasItsNameClockAndRow) {
    TSndDeviceList List;
    TSndDevice& Model = List.Add(TSndYM2151::Class);
    EXPECT_STREQ(Model.DeviceClass->Name, "TSndYM2151");
    EXPECT_NE(dynamic_cast<TSndYM2151*>(&Model), nullptr);
    EXPECT_EQ(Model.GetClock(), 4000000.0);
    EXPECT_EQ(Model.ChannelMapRow, 0);
}

TEST(TSndYM2151Class, KeyCodeTableFillsTheUnusedCodes) {
    const auto& T = TSndYM2151::KeyCodeFrequency;
    EXPECT_EQ(T[0x00], 324.0);
    EXPECT_EQ(T[0x4A], 8248.0);
    EXPECT_EQ(T[0x7E], 78464.0);
    EXPECT_EQ(T[0x7F], 82976.0);
    for (int Octave = 0; Octave < 8; ++Octave) {
        const int Base = Octave * 16;
        EXPECT_EQ(T[Base + 3], T[Base + 4]) << Octave;
        EXPECT_EQ(T[Base + 7], T[Base + 8]) << Octave;
        EXPECT_EQ(T[Base + 11], T[Base + 12]) << Octave;
        if (Octave < 7) {
            EXPECT_EQ(T[Base + 15], T[Base + 16]) << Octave;
        }
        // Within an octave the used codes rise strictly.
        for (int Code : {1, 2, 5, 6, 9, 10, 13, 14})
            EXPECT_LT(T[Base + Code - 1], T[Base + Code]) << Octave << ":" << Code;
    }
}

struct PitchCase {
    const char* What;
    double Clock;
    int Multiple; // all four operators
    int KeyCodeData, KeyFractionData;
    int Note, Fine;
};

class YM2151Pitch : public YM2151Test, public ::testing::WithParamInterface<PitchCase> {};

TEST_P(YM2151Pitch, KeyCodeAndFractionGiveNoteAndFine) {
    const PitchCase& C = GetParam();
    Model.SetClock(C.Clock);
    SetMultiples(2, C.Multiple, C.Multiple, C.Multiple, C.Multiple);
    Write(0x32, C.KeyFractionData);
    Write(0x2A, C.KeyCodeData);
    EXPECT_EQ(Ch(2).Note, C.Note);
    EXPECT_EQ(Ch(2).Fine, C.Fine);
    // A note of 0 never raises Restrike in this model.
    EXPECT_EQ(Ch(2).Restrike, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, YM2151Pitch,
    ::testing::Values(
        PitchCase{"439.94 Hz", 3579545, 1, 0x4A, 0x00, 69, 32},
        PitchCase{"fraction 16 carries into the next key", 3579545, 1, 0x4A, 0x80, 70, 16},
        PitchCase{"fraction 15 stays on the key", 3579545, 1, 0x4A, 0x78, 69, 47},
        PitchCase{"default clock: 491.62 Hz", 4000000, 1, 0x4A, 0x00, 71, 29},
        PitchCase{"default clock with fraction 18 stays", 4000000, 1, 0x4A, 0x90, 71, 47},
        PitchCase{"default clock with fraction 19 carries", 4000000, 1, 0x4A, 0x98, 72, 16},
        PitchCase{"multiple 0 is one octave down", 3579545, 0, 0x4A, 0x00, 57, 32},
        PitchCase{"multiple 2 is one octave up", 3579545, 2, 0x4A, 0x00, 81, 32},
        PitchCase{"multiple 3 is two octaves up", 3579545, 3, 0x4A, 0x00, 93, 32},
        PitchCase{"the low key-fraction bits are dropped", 3579545, 1, 0x4A, 0x07, 69, 32},
        PitchCase{"key code bit 7 is dropped", 3579545, 1, 0xCA, 0x00, 69, 32}),
    [](const auto& Info) { return "Case" + std::to_string(Info.index); });

TEST_F(YM2151Test, UnusedNoteCodesSoundLikeTheirNeighbours) {
    struct Pair {
        int A, B;
        bool Equal;
    };
    const Pair Pairs[] = {{0x43, 0x44, true}, {0x4F, 0x50, true}, {0x42, 0x43, false}};
    for (const Pair& P : Pairs) {
        Write(0x28, P.A);
        const int NoteA = Ch(0).Note, FineA = Ch(0).Fine;
        Write(0x28, P.B);
        EXPECT_EQ(NoteA == Ch(0).Note && FineA == Ch(0).Fine, P.Equal)
            << std::hex << P.A << " vs " << P.B;
    }
}

TEST_F(YM2151Test, KeyCodeAndFractionAreLatchedPerChannel) {
    Model.SetClock(3579545);
    SetMultiples(0, 1, 1, 1, 1);
    SetMultiples(1, 1, 1, 1, 1);
    Write(0x28, 0x4A);
    Write(0x29, 0x4A);
    EXPECT_EQ(Ch(0).Note, 69);
    EXPECT_EQ(Ch(0).Fine, 32);

    // The fraction of channel 0 recomputes it with the latched key code...
    Write(0x30, 0x80);
    EXPECT_EQ(Ch(0).Note, 70);
    EXPECT_EQ(Ch(0).Fine, 16);
    // ...a new key code keeps the latched fraction...
    Write(0x28, 0x4C); // one semitone up
    EXPECT_EQ(Ch(0).Note, 71);
    EXPECT_EQ(Ch(0).Fine, 16);
    // ...and channel 1 has a fraction of its own.
    Write(0x29, 0x4A);
    EXPECT_EQ(Ch(1).Note, 69);
    EXPECT_EQ(Ch(1).Fine, 32);
}

TEST_F(YM2151Test, PitchUsesTheLowestMultipleUnlessDebugging) {
    Model.SetClock(3579545);
    SetMultiples(0, 3, 2, 15, 4);
    Write(0x28, 0x4A);
    EXPECT_EQ(Ch(0).Note, 81); // multiple 2

    // Operator writes alone do not recompute the pitch.
    SetMultiples(0, 3, 3, 3, 3);
    EXPECT_EQ(Ch(0).Note, 81);
    Write(0x28, 0x4A);
    EXPECT_EQ(Ch(0).Note, 93);

    // Debug mode reads every voice as multiple 1, with or without program changes.
    Conv.DebugMode = true;
    Write(0x28, 0x4A);
    EXPECT_EQ(Ch(0).Note, 69);
}

TEST_F(YM2151Test, KeyFractionAtTheTopAndOutOfRange) {
    // A clock that puts key code 0x4A at key 127 and at key 126, exactly on the key.
    const double Key127 = 440.0 * std::pow(2.0, (127 - 69) / 12.0) * std::ldexp(1.0, 26) / 8248;
    const double Key126 = Key127 / std::pow(2.0, 1 / 12.0);
    struct Case {
        const char* What;
        double Clock;
        int FractionData;
        int Note, Fine;
    };
    const Case Cases[] = {
        {"key 127 keeps the sum", Key127, 0xF8, 127, 63},
        {"key 126 carries onto 127", Key126, 0x80, 127, 16},
        // Far above the MIDI range: no pitch, and the fraction must not turn it into key 1.
        {"out of range stays silent", Key127 * 4, 0xF8, 0, 32},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.What);
        Model.SetClock(C.Clock);
        SetMultiples(0, 1, 1, 1, 1);
        Write(0x30, C.FractionData);
        Write(0x28, 0x4A);
        EXPECT_EQ(Ch(0).Note, C.Note);
        EXPECT_EQ(Ch(0).Fine, C.Fine);
    }
}

TEST_F(YM2151Test, KeyOnNeedsAllFourOperators) {
    struct Case {
        int OperatorBits; // data bits 6-3
        int KeyReleased, Restrike;
    };
    const Case Cases[] = {{0x78, 0, 0}, {0xF8, 0, 0}, {0x08, 1, 1}, {0x70, 1, 1}, {0x00, 1, 1}};
    for (const Case& C : Cases) {
        for (int c = 0; c < 8; ++c) {
            TStateConv Fresh;
            Model.WriteRegister(Fresh, 0, 0x08, static_cast<std::uint8_t>(C.OperatorBits + c));
            for (int r = 0; r < ChannelCount; ++r) {
                SCOPED_TRACE(testing::Message()
                             << std::hex << C.OperatorBits + c << " record " << std::dec << r);
                EXPECT_EQ(Fresh.Channels[r].KeyReleased, r == c ? C.KeyReleased : 0);
                EXPECT_EQ(Fresh.Channels[r].Restrike, r == c ? C.Restrike : 0);
            }
        }
    }
    // Key on after a release clears the release but leaves Restrike for the converter.
    Write(0x08, 0x03);
    Write(0x08, 0x7B);
    EXPECT_EQ(Ch(3).KeyReleased, 0);
    EXPECT_EQ(Ch(3).Restrike, 1);
}

TEST_F(YM2151Test, ChannelControlSetsVoiceAndPan) {
    struct Case {
        int Data;
        int Algorithm, Feedback, Pan;
    };
    const Case Cases[] = {
        {0xC7, 7, 0, 64}, {0x47, 7, 0, 32}, {0x87, 7, 0, 96}, {0x3F, 7, 7, 64}, {0x1A, 2, 3, 64}};
    for (const Case& C : Cases) {
        TStateConv Fresh;
        Model.WriteRegister(Fresh, 0, 0x25, static_cast<std::uint8_t>(C.Data));
        const TChannelState& R = Fresh.Channels[5];
        EXPECT_EQ(R.Algorithm, C.Algorithm) << std::hex << C.Data;
        EXPECT_EQ(R.Feedback, C.Feedback) << std::hex << C.Data;
        EXPECT_EQ(R.Pan, C.Pan) << std::hex << C.Data;
        EXPECT_EQ(R.ProgramPending, 1);
        EXPECT_EQ(Fresh.Channels[4], TChannelState{});
    }
}

TEST_F(YM2151Test, OperatorRegistersFillTheirOperatorWithoutANewProgram) {
    for (int Op = 0; Op < 4; ++Op) {
        SCOPED_TRACE(Op);
        TStateConv Fresh;
        auto W = [&](int Group, int Data) {
            Model.WriteRegister(Fresh, 0, static_cast<std::uint8_t>(Group + OpOffset[Op] + 6),
                                static_cast<std::uint8_t>(Data));
        };
        W(0x40, 0x71);
        W(0x80, 0xDF);
        W(0xA0, 0x9F);
        W(0xC0, 0xDF); // second detune bits are dropped
        W(0xE0, 0xA5);
        const TOperatorState& O = Fresh.Channels[6].Operators[Op];
        EXPECT_EQ(O.Detune, 7);
        EXPECT_EQ(O.Multiple, 1);
        EXPECT_EQ(O.KeyScale, 3);
        EXPECT_EQ(O.AttackRate, 31);
        EXPECT_EQ(O.AmplitudeMod, 1);
        EXPECT_EQ(O.DecayRate, 31);
        EXPECT_EQ(O.SustainRate, 31);
        EXPECT_EQ(O.SustainLevel, 10);
        EXPECT_EQ(O.ReleaseRate, 5);
        EXPECT_EQ(Fresh.Channels[6].ProgramPending, 0);
        for (int Other = 0; Other < 4; ++Other) {
            if (Other != Op) {
                EXPECT_EQ(Fresh.Channels[6].Operators[Other], TOperatorState{});
            }
        }
    }
}

TEST_F(YM2151Test, LoudnessFollowsTheCarriers) {
    // Algorithm 0: only operator 3 is heard.
    Write(0x20, 0xC0);
    Write(0x60 + OpOffset[3], 16);
    EXPECT_EQ(Ch(0).Loudness, 76);
    Write(0x60 + OpOffset[0], 0x7F);
    EXPECT_EQ(Ch(0).Loudness, 76);
    EXPECT_EQ(Ch(0).Operators[0].TotalLevel, 127);

    // Algorithm 4: operators 1 and 3, (0 + 16 + 1) div 2 = 8. The algorithm write alone
    // does not recompute; the next level write does. Bit 7 of the level is dropped.
    Write(0x20, 0xC4);
    EXPECT_EQ(Ch(0).Loudness, 76);
    Write(0x60 + OpOffset[1], 0x80);
    EXPECT_EQ(Ch(0).Operators[1].TotalLevel, 0);
    EXPECT_EQ(Ch(0).Loudness, 98);
    EXPECT_EQ(Ch(0).ProgramPending, 1); // from the algorithm writes only
}

TEST_F(YM2151Test, IgnoredRegistersChangeNothing) {
    Write(0x28, 0x4A);
    const auto Before = Conv.Channels;
    for (int Reg = 0; Reg < 0x20; ++Reg)
        if (Reg != 0x08)
            for (int Data : {0x00, 0x7F, 0xFF})
                Write(Reg, Data);
    for (int Reg = 0x38; Reg < 0x40; ++Reg)
        Write(Reg, 0xFF);
    EXPECT_EQ(Conv.Channels, Before);
    EXPECT_EQ(Model.KeyCode[0], 0x4A);
    EXPECT_EQ(Model.KeyFraction[0], 0);
}

TEST_F(YM2151Test, PortIsNotLookedAtAndChannelsGoThroughTheMap) {
    Model.WriteRegister(Conv, 1, 0x21, 0x47);
    EXPECT_EQ(Ch(1).Pan, 32);

    // Row 7 puts chip channels 0-3 on 10-13 and the rest on the spare record.
    Model.SetChannelMapRow(7);
    Write(0x20, 0x87);
    Write(0x24, 0x47);
    Write(0x08, 0x03);
    EXPECT_EQ(Ch(10).Pan, 96);
    EXPECT_EQ(Ch(SpareChannel).Pan, 32);
    EXPECT_EQ(Ch(13).KeyReleased, 1);
    EXPECT_EQ(Ch(0).Pan, 0);
}

// End to end: one YM2151 log, default options, every event of the .mid checked.
TEST(TSndYM2151Conversion, NotesBendsAndPan) {
    tools::TS98Builder B('3');
    B.Device(tools::S98YM2151, 3579545);
    auto W = [&](int Register, int Value) {
        B.Write(0, 0, static_cast<std::uint8_t>(Register), static_cast<std::uint8_t>(Value));
    };
    // 100 syncs of 10 ms are 96 ticks.
    // Channel 0: algorithm 7 on the left, all levels 16, key code 0x4A (A4), key on.
    W(0x20, 0x47);
    for (int Op = 0; Op < 4; ++Op) {
        W(0x40 + OpOffset[Op], 0x01);
        W(0x60 + OpOffset[Op], 0x10);
    }
    W(0x28, 0x4A);
    W(0x08, 0x78);
    B.Wait(100);
    // Channel 0 bends up 8/32. Channel 1: right, level 0, A5 plus 16/32 (key 82 - 16/32).
    W(0x30, 0x40);
    W(0x21, 0x87);
    for (int Op = 0; Op < 4; ++Op) {
        W(0x41 + OpOffset[Op], 0x01);
        W(0x61 + OpOffset[Op], 0x00);
    }
    W(0x31, 0x80);
    W(0x29, 0x5A);
    W(0x08, 0x79);
    B.Wait(100);
    // Channel 0: a partial key-on releases it. Channel 1 moves three semitones up.
    W(0x08, 0x08);
    W(0x29, 0x5E);
    B.Wait(100).End();

    test::TTempDir Dir;
    // The tick-0 set-up, then the chip's events.
    const auto Lines = test::ConvertLog(B, Dir, "opm");
    // clang-format off
    const std::vector<std::string> Events{
        "0 ch0 program 87", "0 ch0 cc 10 32", "0 ch0 cc 11 76", "0 ch0 bend 64", "0 ch0 on 69 127",
        "96 ch0 bend 72",
        "96 ch1 program 87", "96 ch1 cc 10 96", "96 ch1 cc 11 127", "96 ch1 bend 48",
        "96 ch1 on 82 127",
        "192 ch0 off 69 0",
        "192 ch1 off 82 0", "192 ch1 on 85 127",
        "289 ch1 off 85 0",
        "289 end",
    };
    // clang-format on
    EXPECT_EQ(test::EventsAfterDefaultStart(Lines), Events);
}

} // namespace
} // namespace varnhold
