#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "S98Builder.h"
#include "chips/SndYM2612U.h"
#include "convert/StateConvU.h"
#include "job/VarnholdU.h"
#include "support/ConvertSupport.h"
#include "support/MidiText.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

// Register offset of operator k within a 16-register group (operators 0, 2, 1, 3 in order).
constexpr std::uint8_t OpOffset[4] = {0, 8, 4, 12};

class YM2612Test : public ::testing::Test {
protected:
    TStateConv Conv;
    TSndYM2612 Model;

    void Write(int Port, int Register, int Value) {
        Model.WriteRegister(Conv, static_cast<std::uint8_t>(Port),
                            static_cast<std::uint8_t>(Register), static_cast<std::uint8_t>(Value));
    }
    // All four multiples of channel code Code on Port.
    void SetMultiples(int Port, int Code, int M) {
        for (int Op = 0; Op < 4; ++Op)
            Write(Port, 0x30 + OpOffset[Op] + Code, M);
    }
    // F-number 618 (0x26A) in block 4: middle C at 7987200 Hz with multiple 1.
    void WriteMiddleC(int Port, int Code) {
        Write(Port, 0xA4 + Code, (4 << 3) | 0x02);
        Write(Port, 0xA0 + Code, 0x6A);
    }
    const TChannelState& Ch(int Record) const { return Conv.Channels[Record]; }
};

TEST(TSndYM2612Class, HasItsNameClockAndRow) {
    TSndDeviceList List;
    TSndDevice& Model = List.Add(TSndYM2612::Class);
    EXPECT_STREQ(Model.DeviceClass->Name, "TSndYM2612");
    EXPECT_NE(dynamic_cast<TSndYM2612*>(&Model), nullptr);
    EXPECT_EQ(Model.GetClock(), 3579545.0);
    EXPECT_EQ(Model.ChannelMapRow, 0);
}

TEST_F(YM2612Test, FNumberAndBlockGiveThePitch) {
    Model.SetClock(7987200);
    SetMultiples(0, 0, 1);
    WriteMiddleC(0, 0);
    EXPECT_EQ(Ch(0).Note, 60);
    EXPECT_EQ(Ch(0).Fine, 32);
    EXPECT_EQ(Model.FNumber[0], 618);
    EXPECT_EQ(Model.Block[0], 4);

    // The block register only latches; the low byte takes the pitch.
    Write(0, 0xA4, (5 << 3) | 0x02);
    EXPECT_EQ(Ch(0).Note, 60);
    Write(0, 0xA0, 0x6A);
    EXPECT_EQ(Ch(0).Note, 72);

    // Multiples go through the octave table: 2 and 3 are both one octave up.
    SetMultiples(0, 0, 3);
    Write(0, 0xA0, 0x6A);
    EXPECT_EQ(Ch(0).Note, 84);
    SetMultiples(0, 0, 0);
    Write(0, 0xA0, 0x6A);
    EXPECT_EQ(Ch(0).Note, 60);
    EXPECT_EQ(Ch(0).Restrike, 0);
}

TEST_F(YM2612Test, ChannelCodesReachRecordsZeroToFive) {
    struct Case {
        int Port, Code, Record;
    };
    const Case Cases[] = {{0, 0, 0}, {0, 1, 1}, {0, 2, 2}, {0, 3, 2}, {1, 0, 3},
                          {1, 1, 4}, {1, 2, 5}, {1, 3, 5}, {2, 0, 3}}; // a port above 1 counts as 1
    for (const Case& C : Cases) {
        SCOPED_TRACE(testing::Message() << "port " << C.Port << " code " << C.Code);
        TStateConv Fresh;
        TSndYM2612 M;
        M.SetClock(7987200);
        auto W = [&](int Reg, int Data) {
            M.WriteRegister(Fresh, static_cast<std::uint8_t>(C.Port),
                            static_cast<std::uint8_t>(Reg + C.Code),
                            static_cast<std::uint8_t>(Data));
        };
        for (int Op = 0; Op < 4; ++Op)
            W(0x30 + OpOffset[Op], 0x01);
        W(0xA4, (4 << 3) | 0x02);
        W(0xA0, 0x6A);
        W(0xB4, 0x40);
        for (int r = 0; r < ChannelCount; ++r) {
            EXPECT_EQ(Fresh.Channels[r].Note, r == C.Record ? 60 : 0) << r;
            EXPECT_EQ(Fresh.Channels[r].Pan, r == C.Record ? 127 : 0) << r;
        }
        EXPECT_EQ(M.FNumber[C.Record], 618);
    }
}

TEST_F(YM2612Test, ChannelMapRowIsNotUsed) {
    Model.SetChannelMapRow(2);
    Write(1, 0xB4, 0x80);
    EXPECT_EQ(Ch(3).Pan, 0);
    EXPECT_EQ(Ch(14).Pan, 0);
    EXPECT_EQ(Ch(SpareChannel).Pan, 0);
}

TEST_F(YM2612Test, FNumberZeroAndOutOfRangePitches) {
    Model.SetClock(7987200);
    SetMultiples(0, 1, 1);
    WriteMiddleC(0, 1);
    ASSERT_EQ(Ch(1).Note, 60);

    // F-number 0 is no pitch and strikes again.
    Write(0, 0xA5, 0x00);
    Write(0, 0xA1, 0x00);
    EXPECT_EQ(Ch(1).Note, 0);
    EXPECT_EQ(Ch(1).Fine, 32);
    EXPECT_EQ(Ch(1).Restrike, 1);

    // A non-zero F-number below the MIDI range is no pitch too, without a restrike.
    Conv.Channels[1].Restrike = 0;
    SetMultiples(0, 1, 0);
    Write(0, 0xA1, 0x01);
    EXPECT_EQ(Ch(1).Note, 0);
    EXPECT_EQ(Ch(1).Restrike, 0);
}

TEST_F(YM2612Test, DebugPitchRuleNeedsBothFlags) {
    struct Case {
        bool UseProgramChange, DebugMode;
        int Note;
    };
    const Case Cases[] = {
        {false, false, 72}, {true, false, 72}, {false, true, 72}, {true, true, 60}};
    for (const Case& C : Cases) {
        Model.SetClock(7987200);
        Conv.UseProgramChange = C.UseProgramChange;
        Conv.DebugMode = C.DebugMode;
        SetMultiples(0, 2, 2);
        WriteMiddleC(0, 2);
        EXPECT_EQ(Ch(2).Note, C.Note) << C.UseProgramChange << C.DebugMode;
    }
}

TEST_F(YM2612Test, TotalLevelRaisesANewVoiceOnlyOnModulators) {
    // Which operators only modulate, by algorithm.
    const bool Modulator[8][4] = {{true, true, true, false},   {true, true, true, false},
                                  {true, true, true, false},   {true, true, true, false},
                                  {true, false, true, false},  {true, false, false, false},
                                  {true, false, false, false}, {false, false, false, false}};
    for (int Algorithm = 0; Algorithm < 8; ++Algorithm) {
        for (int Op = 0; Op < 4; ++Op) {
            SCOPED_TRACE(testing::Message() << "algorithm " << Algorithm << " operator " << Op);
            TStateConv Fresh;
            TSndYM2612 M;
            M.WriteRegister(Fresh, 1, 0xB1, static_cast<std::uint8_t>(Algorithm));
            Fresh.Channels[4].ProgramPending = 0;
            Fresh.Channels[4].Restrike = 0;
            M.WriteRegister(Fresh, 1, static_cast<std::uint8_t>(0x41 + OpOffset[Op]), 0x88);

            const TChannelState& R = Fresh.Channels[4];
            EXPECT_EQ(R.Operators[Op].TotalLevel, 8);
            EXPECT_EQ(R.ProgramPending, Modulator[Algorithm][Op] ? 1 : 0);
            EXPECT_EQ(R.Restrike, Modulator[Algorithm][Op] ? 1 : 0);
            EXPECT_EQ(TSndYM2612::IsModulator(static_cast<std::uint8_t>(Algorithm),
                                              static_cast<std::uint8_t>(Op)),
                      Modulator[Algorithm][Op]);
            // Loudness comes from the carriers' levels (the others are still 0).
            EXPECT_EQ(R.Loudness, TotalLevelToLoudness(CarrierTotalLevel(
                                      static_cast<std::uint8_t>(Algorithm),
                                      R.Operators[0].TotalLevel, R.Operators[1].TotalLevel,
                                      R.Operators[2].TotalLevel, R.Operators[3].TotalLevel)));
        }
    }
    // Spot values: algorithm 0 hears operator 3 only; algorithm 7 averages all four.
    Write(0, 0xB0, 0x00);
    Write(0, 0x40 + OpOffset[3], 16);
    EXPECT_EQ(Ch(0).Loudness, 76);
    Write(0, 0x40 + OpOffset[0], 127);
    EXPECT_EQ(Ch(0).Loudness, 76);
    Write(0, 0xB0, 0x07);
    Write(0, 0x40 + OpOffset[0], 0);
    EXPECT_EQ(Ch(0).Loudness, 112); // (0 + 0 + 0 + 16 + 1) div 4 = 4
}

TEST_F(YM2612Test, KeyOnOff) {
    struct Case {
        int Port, Data, Record, KeyReleased, Restrike;
    };
    const Case Cases[] = {
        {0, 0xF6, 5, 0, 0}, {0, 0x06, 5, 1, 1}, {0, 0xF0, 0, 0, 0},
        {0, 0x10, 0, 0, 0}, {0, 0x13, 2, 0, 0}, {0, 0x07, 5, 1, 1},
        {0, 0xF4, 3, 0, 0}, {1, 0xF1, 4, 0, 0}, {1, 0x03, 5, 1, 1},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(testing::Message() << "port " << C.Port << " data " << std::hex << C.Data);
        TStateConv Fresh;
        Model.WriteRegister(Fresh, static_cast<std::uint8_t>(C.Port), 0x28,
                            static_cast<std::uint8_t>(C.Data));
        for (int r = 0; r < ChannelCount; ++r) {
            EXPECT_EQ(Fresh.Channels[r].KeyReleased, r == C.Record ? C.KeyReleased : 0) << r;
            EXPECT_EQ(Fresh.Channels[r].Restrike, r == C.Record ? C.Restrike : 0) << r;
        }
    }
}

TEST_F(YM2612Test, OperatorRegisters) {
    struct Case {
        int Group, Data;
        bool NewVoice;
        TOperatorState Expected;
    };
    auto Op = [](auto Set) {
        TOperatorState O;
        Set(O);
        return O;
    };
    const Case Cases[] = {
        {0x30, 0x71, true, Op([](auto& O) { O.Detune = 7, O.Multiple = 1; })},
        {0x30, 0xFF, true, Op([](auto& O) { O.Detune = 7, O.Multiple = 15; })},
        {0x50, 0xDF, true, Op([](auto& O) { O.KeyScale = 3, O.AttackRate = 31; })},
        {0x60, 0x9F, true, Op([](auto& O) { O.AmplitudeMod = 1, O.DecayRate = 31; })},
        {0x70, 0xFF, true, Op([](auto& O) { O.SustainRate = 31; })},
        {0x80, 0xA5, true, Op([](auto& O) { O.SustainLevel = 10, O.ReleaseRate = 5; })},
        {0x90, 0xFB, false, Op([](auto& O) { O.SsgEnvelope = 11; })},
    };
    for (const Case& C : Cases) {
        for (int K = 0; K < 4; ++K) {
            SCOPED_TRACE(testing::Message()
                         << std::hex << C.Group << " data " << C.Data << " operator " << K);
            TStateConv Fresh;
            Model.WriteRegister(Fresh, 1, static_cast<std::uint8_t>(C.Group + OpOffset[K] + 2),
                                static_cast<std::uint8_t>(C.Data));
            const TChannelState& R = Fresh.Channels[5];
            for (int Other = 0; Other < 4; ++Other)
                EXPECT_EQ(R.Operators[Other], Other == K ? C.Expected : TOperatorState{});
            EXPECT_EQ(R.ProgramPending, C.NewVoice ? 1 : 0);
            EXPECT_EQ(R.Restrike, 0);
        }
    }
}

TEST_F(YM2612Test, AlgorithmAndPan) {
    Write(0, 0xB2, 0x3D);
    EXPECT_EQ(Ch(2).Algorithm, 5);
    EXPECT_EQ(Ch(2).Feedback, 7);
    EXPECT_EQ(Ch(2).ProgramPending, 1);
    EXPECT_EQ(Ch(2).Restrike, 1);

    struct Case {
        int Data, Pan, Ams, Pms;
    };
    const Case Cases[] = {
        {0x40, 127, 0, 0}, {0x80, 0, 0, 0}, {0x00, 64, 0, 0}, {0xC0, 64, 0, 0}, {0xF7, 64, 3, 7}};
    for (const Case& C : Cases) {
        Write(1, 0xB6, C.Data);
        EXPECT_EQ(Ch(5).Pan, C.Pan) << std::hex << C.Data;
        EXPECT_EQ(Ch(5).Ams, C.Ams) << std::hex << C.Data;
        EXPECT_EQ(Ch(5).Pms, C.Pms) << std::hex << C.Data;
    }
    EXPECT_EQ(Ch(5).ProgramPending, 0);
}

TEST_F(YM2612Test, IgnoredRegistersChangeNothing) {
    Model.SetClock(7987200);
    SetMultiples(0, 0, 1);
    WriteMiddleC(0, 0);
    const auto Before = Conv.Channels;
    const auto FNumbers = Model.FNumber;
    const auto Blocks = Model.Block;
    for (int Port = 0; Port < 2; ++Port) {
        for (int Data : {0x00, 0x80, 0xFF}) {
            for (int Reg = 0; Reg < 0x30; ++Reg)
                if (Reg != 0x28) Write(Port, Reg, Data); // DAC 0x2A/0x2B among them
            for (int Reg = 0xA8; Reg < 0xB0; ++Reg)
                Write(Port, Reg, Data);
            for (int Reg = 0xB8; Reg < 0x100; ++Reg)
                Write(Port, Reg, Data);
        }
    }
    EXPECT_EQ(Conv.Channels, Before);
    EXPECT_EQ(Model.FNumber, FNumbers);
    EXPECT_EQ(Model.Block, Blocks);
}

// End to end: one YM2612 log, default options, every event of the .mid checked.
TEST(TSndYM2612Conversion, NotesRestrikesAndPan) {
    tools::TS98Builder B('3');
    B.Device(tools::S98YM2612, 7987200);
    auto W = [&](int Port, int Register, int Value) {
        B.Write(0, static_cast<std::uint8_t>(Port), static_cast<std::uint8_t>(Register),
                static_cast<std::uint8_t>(Value));
    };
    // 100 syncs of 10 ms are 96 ticks.
    // DAC writes are ignored. Channel 1: algorithm 7 on the left, all levels 16, middle C.
    W(0, 0x2B, 0x80);
    W(0, 0x2A, 0x40);
    W(0, 0xB0, 0x07);
    W(0, 0xB4, 0x80);
    for (int Op = 0; Op < 4; ++Op) {
        W(0, 0x30 + OpOffset[Op], 0x01);
        W(0, 0x40 + OpOffset[Op], 0x10);
    }
    W(0, 0xA4, 0x22);
    W(0, 0xA0, 0x6A);
    W(0, 0x28, 0xF0);
    B.Wait(100);
    // Channel 1: rewriting the algorithm strikes the note again. Channel 4 (port 1, record
    // 3): both speakers, level 0, C5, keyed on through port 0.
    W(0, 0xB0, 0x07);
    W(1, 0xB0, 0x07);
    W(1, 0xB4, 0xC0);
    for (int Op = 0; Op < 4; ++Op) {
        W(1, 0x30 + OpOffset[Op], 0x01);
        W(1, 0x40 + OpOffset[Op], 0x00);
    }
    W(1, 0xA4, 0x2A);
    W(1, 0xA0, 0x6A);
    W(0, 0x28, 0xF4);
    W(0, 0x2A, 0x00);
    B.Wait(100);
    // Channel 1: F-number 0 silences it with the key still down. Channel 4: key off.
    W(0, 0xA4, 0x00);
    W(0, 0xA0, 0x00);
    W(0, 0x28, 0x04);
    B.Wait(100).End();

    test::TTempDir Dir;
    // The tick-0 set-up, then the chip's events.
    const auto Lines = test::ConvertLog(B, Dir, "opn2");
    // clang-format off
    const std::vector<std::string> Events{
        "0 ch0 program 87", "0 ch0 cc 10 0", "0 ch0 cc 11 76", "0 ch0 bend 64", "0 ch0 on 60 127",
        "96 ch0 off 60 0", "96 ch0 on 60 127",
        "96 ch3 program 87", "96 ch3 cc 11 127", "96 ch3 bend 64", "96 ch3 on 72 127",
        "192 ch0 off 60 0",
        "192 ch3 off 72 0",
        "289 end",
    };
    // clang-format on
    EXPECT_EQ(test::EventsAfterDefaultStart(Lines), Events);
}

} // namespace
} // namespace varnhold
