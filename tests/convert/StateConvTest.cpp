#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "convert/StateConvU.h"

namespace varnhold {
namespace {

// One event as a short line: "5 c0 cc11=100", "5 c0 on 60 127", "5 c0 off 60", "5 c0 pb 86",
// "5 c0 pc 87", "0 tempo 120", "0 sysex 7F 7F 04 01 00 76 F7".
std::string Describe(const TSmf& Smf, const TSmfEvent& E) {
    std::string S = std::to_string(E.Time) + " ";
    const std::string Ch = "c" + std::to_string(E.Status & 0x0F) + " ";
    switch (E.Kind) {
    case TSmfEventKind::NoteOn:
        return S + Ch + "on " + std::to_string(E.Data1) + " " + std::to_string(E.Data2);
    case TSmfEventKind::NoteOff: return S + Ch + "off " + std::to_string(E.Data1);
    case TSmfEventKind::ProgramChange: return S + Ch + "pc " + std::to_string(E.Value);
    case TSmfEventKind::ControlChange:
        return S + Ch + "cc" + std::to_string(E.Data1) + "=" + std::to_string(E.Data2);
    case TSmfEventKind::PitchBendShort: return S + Ch + "pb " + std::to_string(E.Value);
    case TSmfEventKind::Tempo: return S + "tempo " + std::to_string(E.Value);
    case TSmfEventKind::SysEx: {
        S += "sysex";
        static const char Hex[] = "0123456789ABCDEF";
        for (std::uint8_t B : Smf.DirectBytes(E)) {
            S += ' ';
            S += Hex[B >> 4];
            S += Hex[B & 15];
        }
        return S;
    }
    }
    return S + "?";
}

// A converter after Reset, with helpers that set up channel records as a chip model would
// and collect the events of one pass.
class ConverterTest : public ::testing::Test {
protected:
    void Start(std::uint16_t Tempo = 120) {
        Conv.Reset(Tempo);
        Seen = Conv.Smf.Count();
    }
    // A sounding FM channel.
    void Sound(int c, std::uint8_t Note, std::uint8_t Fine = 32, std::uint8_t Loudness = 100) {
        TChannelState& C = Conv.Channels[c];
        C.Note = Note;
        C.Fine = Fine;
        C.Loudness = Loudness;
        C.KeyReleased = 0;
    }
    // Runs one pass at tick Tick and returns the events it added.
    std::vector<std::string> Pass(std::int32_t Tick) {
        Conv.Now = Tick;
        Conv.ProcessMark();
        return NewEvents();
    }
    // A new converter, for loops over option sets.
    void Fresh() {
        Conv = TStateConv();
        Seen = 0;
    }
    std::vector<std::string> NewEvents() {
        std::vector<std::string> Out;
        for (std::size_t i = Seen; i < Conv.Smf.Count(); ++i)
            Out.push_back(Describe(Conv.Smf, Conv.Smf[i]));
        Seen = Conv.Smf.Count();
        return Out;
    }
    TStateConv Conv;
    std::size_t Seen = 0;
};

using Lines = std::vector<std::string>;

// ---------------------------------------------------------------------------------------
// Reset

class ResetTest : public ConverterTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ResetTest, WritesTheTickZeroSetUpInOrder) {
    const bool UseVelocity = GetParam();
    Conv.UseVelocity = UseVelocity;
    Conv.Reset(75);

    Lines Expected{"0 tempo 75", "0 sysex 7F 7F 04 01 00 76 F7"};
    for (int c = 0; c < 16; ++c) {
        const std::string Ch = "0 c" + std::to_string(c) + " ";
        for (const char* Line : {"cc101=0", "cc100=0", "cc6=2", "cc38=0", "pb 64", "cc7=127"})
            Expected.push_back(Ch + Line);
        Expected.push_back(Ch + (UseVelocity ? "cc11=127" : "cc11=0"));
        Expected.push_back(Ch + "cc10=64");
    }
    EXPECT_EQ(NewEvents(), Expected);
}

INSTANTIATE_TEST_SUITE_P(UseVelocity, ResetTest, ::testing::Bool());

TEST_F(ConverterTest, ResetInitialisesTheRecordsAndKeepsTheVoice) {
    // Leftovers of an earlier run, and a voice a model wrote before the reset.
    Conv.Smf.AddNoteOn(5, 0, 60, 1);
    Conv.VoiceCount = 7;
    Conv.Now = 99;
    TChannelState& C = Conv.Channels[3];
    C.Algorithm = 5;
    C.Feedback = 6;
    C.Operators[2].TotalLevel = 33;
    C.Note = 70;
    C.Loudness = 50;
    C.ToneGenerator = 1;
    C.Restrike = 1;
    Conv.Channels[SpareChannel].Note = 44;
    Conv.Rhythm[2].KeyOn = 1;
    Conv.RhythmLevel = 9;

    Conv.Reset(120);

    EXPECT_EQ(Conv.Smf.Count(), 2u + 16u * 8u);
    EXPECT_EQ(Conv.VoiceCount, 0);
    EXPECT_EQ(Conv.Now, 0);
    for (int c = 0; c < 16; ++c) {
        const TChannelState& R = Conv.Channels[c];
        EXPECT_EQ(R.Program, 255) << c;
        EXPECT_EQ(R.Pan, 64) << c;
        EXPECT_EQ(R.Fine, 64) << c;
        EXPECT_EQ(R.Note, 0) << c;
        EXPECT_EQ(R.Loudness, 0) << c;
        EXPECT_EQ(R.ToneGenerator, 0) << c;
        EXPECT_EQ(R.Restrike, 0) << c;
        EXPECT_EQ(Conv.Emitted[c], R) << c;
    }
    EXPECT_EQ(Conv.Channels[3].Algorithm, 5);
    EXPECT_EQ(Conv.Channels[3].Feedback, 6);
    EXPECT_EQ(Conv.Channels[3].Operators[2].TotalLevel, 33);
    EXPECT_EQ(Conv.Channels[SpareChannel].Note, 44) << "the spare record is never reset";
    for (const TRhythmState& R : Conv.Rhythm) {
        EXPECT_EQ(R.KeyOn, 0);
        EXPECT_EQ(R.Velocity, 127);
        EXPECT_EQ(R.Note, 0);
    }
    EXPECT_EQ(Conv.RhythmLevel, 0);
    EXPECT_EQ(Conv.RhythmLevelEmitted, 0);
}

// ---------------------------------------------------------------------------------------
// ProcessMark: order, pan, expression, bend, notes

TEST_F(ConverterTest, ProgramComesBeforePanExpressionBendAndNotes) {
    Conv.UsePanpot = true;
    Conv.UsePitchBend = true;
    Start();
    Sound(1, 62, 30, 90);
    Conv.Channels[1].Pan = 127;
    Sound(0, 60, 40, 100);
    Conv.Channels[0].Pan = 0;
    Conv.Rhythm[0].KeyOn = 1;
    Conv.RhythmLevel = 80;

    EXPECT_EQ(Pass(10), (Lines{"10 c0 pc 87", "10 c0 cc10=0", "10 c0 cc11=100", "10 c0 pb 72",
                               "10 c0 on 60 127", "10 c1 pc 87", "10 c1 cc10=127", "10 c1 cc11=90",
                               "10 c1 pb 62", "10 c1 on 62 127", "10 c9 cc11=80", "10 c9 on 36 127",
                               "11 c9 off 36"}));
    EXPECT_EQ(Pass(20), Lines{}) << "nothing changed";
}

TEST_F(ConverterTest, PanAndBendGoOutWhileSilentButOnlyWithTheirOptions) {
    struct Case {
        bool UsePanpot, UsePitchBend;
        Lines Expected;
    };
    const Case Cases[] = {
        {true, true, {"4 c2 cc10=20", "4 c2 pb 64"}},
        {true, false, {"4 c2 cc10=20"}},
        {false, true, {"4 c2 pb 64"}},
        {false, false, {}},
    };
    for (const Case& C : Cases) {
        Fresh();
        Conv.UsePanpot = C.UsePanpot;
        Conv.UsePitchBend = C.UsePitchBend;
        Start();
        // A pitch without a key down: silent.
        Conv.Channels[2].Note = 60;
        Conv.Channels[2].Fine = 32;
        Conv.Channels[2].KeyReleased = 1;
        Conv.Channels[2].Loudness = 100;
        Conv.Channels[2].Pan = 20;
        EXPECT_EQ(Pass(4), C.Expected) << C.UsePanpot << C.UsePitchBend;
    }
}

TEST_F(ConverterTest, ExpressionOnlyWhileSoundingAndAgainstWhatWasLastSent) {
    Start();
    Sound(0, 60, 32, 100);
    EXPECT_EQ(Pass(1), (Lines{"1 c0 pc 87", "1 c0 cc11=100", "1 c0 on 60 127"}));

    Conv.Channels[0].Loudness = 80;
    EXPECT_EQ(Pass(2), (Lines{"2 c0 cc11=80"})) << "a change while sounding: only cc11";

    Conv.Channels[0].KeyReleased = 1;
    EXPECT_EQ(Pass(3), (Lines{"3 c0 off 60"}));

    Conv.Channels[0].Loudness = 50;
    EXPECT_EQ(Pass(4), Lines{}) << "a change while silent sends nothing";
    EXPECT_EQ(Conv.Emitted[0].Loudness, 80) << "the silent channel keeps the value last sent";

    Conv.Channels[0].Loudness = 80;
    Conv.Channels[0].KeyReleased = 0;
    EXPECT_EQ(Pass(5), (Lines{"5 c0 on 60 127"})) << "80 was last sent: no cc11";

    Conv.Channels[0].KeyReleased = 1;
    Pass(6);
    Conv.Channels[0].Loudness = 64;
    Conv.Channels[0].KeyReleased = 0;
    EXPECT_EQ(Pass(7), (Lines{"7 c0 cc11=64", "7 c0 on 60 127"}));
}

TEST_F(ConverterTest, ZeroLoudnessSilencesAKeyThatIsDown) {
    Start();
    Sound(4, 72, 32, 100);
    Pass(1);
    Conv.Channels[4].Loudness = 0;
    EXPECT_EQ(Pass(2), (Lines{"2 c4 off 72"}));
    EXPECT_EQ(Conv.Channels[4].Sounding, 0);
}

TEST_F(ConverterTest, NoteChangesAndRestrike) {
    Start();
    Sound(0, 60);
    Pass(1);

    Conv.Channels[0].Note = 64;
    EXPECT_EQ(Pass(2), (Lines{"2 c0 off 60", "2 c0 on 64 127"}));

    Conv.Channels[0].Restrike = 1;
    EXPECT_EQ(Pass(3), (Lines{"3 c0 off 64", "3 c0 on 64 127"}));
    EXPECT_EQ(Conv.Channels[0].Restrike, 0) << "the converter clears the flag";
    EXPECT_EQ(Pass(4), Lines{}) << "a repeated pass without changes gives nothing";

    // Restrike on a channel that did not sound is just a note on.
    Sound(1, 50);
    Conv.Channels[1].Restrike = 1;
    EXPECT_EQ(Pass(5), (Lines{"5 c1 pc 87", "5 c1 cc11=100", "5 c1 on 50 127"}));
}

TEST_F(ConverterTest, TheSpareRecordIsNeverConverted) {
    Conv.UsePanpot = true;
    Conv.UsePitchBend = true;
    Start();
    TChannelState& S = Conv.Channels[SpareChannel];
    S.Note = 60;
    S.Fine = 40;
    S.Loudness = 100;
    S.Pan = 3;
    S.ProgramPending = 1;
    EXPECT_EQ(Pass(1), Lines{});
    EXPECT_EQ(Conv.Emitted[SpareChannel], TChannelState{});
}

// ---------------------------------------------------------------------------------------
// Vibrato folding

TEST(FoldVibrato, FoldsOnlyTowardsTheLeaningLastPitch) {
    struct Case {
        int Note, Fine, LastNote, LastFine, NewNote, NewFine;
    };
    const Case Cases[] = {
        {61, 22, 60, 42, 60, 54},    // up across the key boundary
        {59, 42, 60, 22, 60, 10},    // down across it
        {61, 22, 60, 32, 61, 22},    // last pitch on its key: no folding
        {61, 32, 60, 42, 61, 32},    // new pitch not leaning back
        {62, 22, 60, 42, 62, 22},    // two keys away
        {60, 22, 60, 42, 60, 22},    // same key
        {0, 20, 255, 40, 0, 20},     // no key below key 0 (255 is not 0 - 1)
        {255, 40, 254, 20, 255, 40}, // and none above 255
        {1, 16, 0, 47, 1, 16},       // no pitch is not a key to fold into
        {0, 40, 1, 20, 0, 40},       // nor one to fold out of
    };
    for (const Case& C : Cases) {
        std::uint8_t Note = static_cast<std::uint8_t>(C.Note);
        std::uint8_t Fine = static_cast<std::uint8_t>(C.Fine);
        TStateConv::FoldVibrato(Note, Fine, static_cast<std::uint8_t>(C.LastNote),
                                static_cast<std::uint8_t>(C.LastFine));
        EXPECT_EQ(Note, C.NewNote) << C.Note << "/" << C.Fine;
        EXPECT_EQ(Fine, C.NewFine) << C.Note << "/" << C.Fine;
    }
}

TEST_F(ConverterTest, VibratoAcrossAKeyBoundary) {
    struct Case {
        bool UsePitchBendVib, UsePitchBend;
        Lines Expected;
        int Note, Fine;
    };
    const Case Cases[] = {
        {true, true, {"2 c0 pb 86"}, 60, 54},
        {false, true, {"2 c0 pb 54", "2 c0 off 60", "2 c0 on 61 127"}, 61, 22},
        {true, false, {}, 60, 54},
    };
    for (const Case& C : Cases) {
        Fresh();
        Conv.UsePitchBendVib = C.UsePitchBendVib;
        Conv.UsePitchBend = C.UsePitchBend;
        Start();
        Sound(0, 60, 42);
        Pass(1);
        Sound(0, 61, 22);
        EXPECT_EQ(Pass(2), C.Expected) << C.UsePitchBendVib << C.UsePitchBend;
        EXPECT_EQ(Conv.Channels[0].Note, C.Note);
        EXPECT_EQ(Conv.Channels[0].Fine, C.Fine);
    }
}

// ---------------------------------------------------------------------------------------
// Velocity and rhythm

TEST_F(ConverterTest, WithVelocityTheLoudnessGoesIntoTheNoteOn) {
    Conv.UseVelocity = true;
    Start();
    Sound(0, 60, 32, 77);
    EXPECT_EQ(Pass(1), (Lines{"1 c0 pc 87", "1 c0 on 60 77"}));
    Conv.Channels[0].Loudness = 20;
    EXPECT_EQ(Pass(2), Lines{}) << "loudness changes while sounding produce nothing";
    Conv.Channels[0].Note = 62;
    EXPECT_EQ(Pass(3), (Lines{"3 c0 off 60", "3 c0 on 62 20"}));

    Conv.RhythmLevel = 90;
    EXPECT_EQ(Pass(4), (Lines{"4 c9 cc11=90"})) << "the rhythm level still goes out";
}

TEST_F(ConverterTest, DrumNotesLastOneTick) {
    Conv.UseVelocity = true; // drums ignore the options
    Start();
    const int Keys[6] = {36, 38, 51, 42, 47, 37};
    for (int j = 0; j < 6; ++j) {
        Conv.Rhythm[j].KeyOn = 1;
        Conv.Rhythm[j].Velocity = static_cast<std::uint8_t>(100 + j);
    }
    Lines Expected;
    for (int j = 0; j < 6; ++j) {
        Expected.push_back("30 c9 on " + std::to_string(Keys[j]) + " " + std::to_string(100 + j));
        Expected.push_back("31 c9 off " + std::to_string(Keys[j]));
    }
    EXPECT_EQ(Pass(30), Expected);
    for (int j = 0; j < 6; ++j) {
        EXPECT_EQ(Conv.Rhythm[j].KeyOn, 0);
        EXPECT_EQ(Conv.Rhythm[j].Note, Keys[j]);
    }
    EXPECT_EQ(Pass(40), Lines{}) << "a strike sounds once";
}

TEST_F(ConverterTest, RhythmLevelIsSentWhenItChangesAndIsNotZero) {
    Start();
    Conv.RhythmLevel = 100;
    EXPECT_EQ(Pass(1), (Lines{"1 c9 cc11=100"}));
    EXPECT_EQ(Pass(2), Lines{});
    Conv.RhythmLevel = 0;
    EXPECT_EQ(Pass(3), Lines{});
    Conv.RhythmLevel = 100;
    EXPECT_EQ(Pass(4), (Lines{"4 c9 cc11=100"})) << "0 was remembered as emitted";
}

// ---------------------------------------------------------------------------------------
// Programs

TEST_F(ConverterTest, FixedProgramsWithoutVoiceCapture) {
    Start();
    Sound(0, 60);
    Sound(1, 60);
    Conv.Channels[1].ToneGenerator = 1;
    Conv.Channels[1].GeneratorMode = 1; // noise still gets 80 without program changes
    const Lines First = Pass(1);
    EXPECT_EQ(First[0], "1 c0 pc 87");
    EXPECT_EQ(First[3], "1 c1 pc 80");

    // A voice change sends nothing when the program stays the same.
    Conv.Channels[0].ProgramPending = 1;
    Conv.Channels[0].Algorithm = 7;
    EXPECT_EQ(Pass(2), Lines{});
    EXPECT_EQ(Conv.Channels[0].ProgramPending, 0);
    EXPECT_EQ(Conv.Bank.Count(), 0);
}

TEST_F(ConverterTest, GeneratorProgramsFollowTheMode) {
    Conv.UseProgramChange = true;
    Start();
    for (int c = 0; c < 3; ++c) {
        Sound(c, 60);
        Conv.Channels[c].ToneGenerator = 1;
        Conv.Channels[c].GeneratorMode = static_cast<std::uint8_t>(c);
    }
    const Lines Events = Pass(1);
    EXPECT_EQ(Events[0], "1 c0 pc 80");
    EXPECT_EQ(Events[3], "1 c1 pc 76");
    EXPECT_EQ(Events[6], "1 c2 pc 77");
    EXPECT_EQ(Conv.Bank.Count(), 0) << "generator channels capture no voice";

    // Switching the mode chooses again at the next sounding pass.
    Conv.Channels[1].GeneratorMode = 2;
    Conv.Channels[1].ProgramPending = 1;
    EXPECT_EQ(Pass(2), (Lines{"2 c1 pc 77"}));
}

TEST_F(ConverterTest, TheProgramIsChosenOnlyWhileSounding) {
    Start();
    Conv.Channels[0].Note = 60;
    Conv.Channels[0].KeyReleased = 1;
    Conv.Channels[0].Loudness = 90;
    EXPECT_EQ(Pass(1), Lines{});
    EXPECT_EQ(Conv.Channels[0].Program, 255);
    Conv.Channels[0].KeyReleased = 0;
    EXPECT_EQ(Pass(2), (Lines{"2 c0 pc 87", "2 c0 cc11=90", "2 c0 on 60 127"}));
}

class CapturedVoiceTest : public ConverterTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetVoice(int c, std::uint8_t Algorithm, std::uint8_t Feedback) {
        TChannelState& C = Conv.Channels[c];
        C.Algorithm = Algorithm;
        C.Feedback = Feedback;
        for (int k = 0; k < 4; ++k) {
            C.Operators[k].AttackRate = 31;
            C.Operators[k].Multiple = static_cast<std::uint8_t>(k + 1);
            C.Operators[k].TotalLevel = static_cast<std::uint8_t>(10 * k);
        }
    }
};

TEST_P(CapturedVoiceTest, EqualChannelsShareAVoiceAndBankSelectOnlyInDebugMode) {
    const bool DebugMode = GetParam();
    Conv.UseProgramChange = true;
    Conv.DebugMode = DebugMode;
    Start();
    SetVoice(0, 4, 3);
    SetVoice(1, 4, 3);
    // Only the levels of the carriers differ: they are not part of the voice.
    Conv.Channels[1].Operators[1].TotalLevel = 99;
    Conv.Channels[1].Operators[3].TotalLevel = 1;
    SetVoice(2, 4, 5);
    for (int c = 0; c < 3; ++c)
        Sound(c, 60);

    Lines Events = Pass(1);
    auto Programs = [&Events]() {
        Lines Out;
        for (const std::string& L : Events)
            if (L.find(" pc ") != std::string::npos || L.find(" cc0=") != std::string::npos ||
                L.find(" cc32=") != std::string::npos)
                Out.push_back(L);
        return Out;
    };
    Lines Expected;
    for (int c = 0; c < 3; ++c) {
        const std::string Ch = "1 c" + std::to_string(c) + " ";
        if (DebugMode) {
            Expected.push_back(Ch + "cc0=124");
            Expected.push_back(Ch + "cc32=1");
        }
        Expected.push_back(Ch + "pc " + (c == 2 ? "1" : "0"));
    }
    EXPECT_EQ(Programs(), Expected);
    ASSERT_EQ(Conv.Bank.Count(), 2);
    EXPECT_EQ(Conv.VoiceCount, 2);
    EXPECT_EQ(Conv.Channels[1].Program, 0);
    EXPECT_EQ(Conv.Channels[2].Program, 1);
    const TVm3Voice& V = Conv.Bank.Voice(1);
    EXPECT_EQ(std::string(V.begin() + 8, V.begin() + 24), "Varnhold        ");
    EXPECT_EQ(V[5], 1);

    // Choosing again the same voice sends nothing.
    Conv.Channels[2].ProgramPending = 1;
    Events = Pass(2);
    EXPECT_EQ(Programs(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(DebugMode, CapturedVoiceTest, ::testing::Bool());

// Voice number i (0..127) of a set of distinct four-operator voices: only the modulator's
// level and multiple differ.
void SetDistinctVoice(TChannelState& C, int i) {
    C.Algorithm = 4;
    C.Operators[0].TotalLevel = static_cast<std::uint8_t>(i % 64);
    C.Operators[0].Multiple = static_cast<std::uint8_t>(i / 64);
    C.ProgramPending = 1;
}

TEST_F(ConverterTest, MoreThan126VoicesNeverSendAnInvalidProgram) {
    Conv.UseProgramChange = true;
    Conv.DebugMode = true;
    Start();
    Sound(0, 60);
    for (int i = 0; i < 126; ++i) {
        SetDistinctVoice(Conv.Channels[0], i);
        Pass(i + 1);
    }
    EXPECT_EQ(Conv.VoiceCount, 126);
    EXPECT_EQ(Conv.Channels[0].Program, 125);

    // The 127th voice has no program number: the channel keeps the program it has.
    SetDistinctVoice(Conv.Channels[0], 126);
    EXPECT_EQ(Pass(150), Lines{});
    EXPECT_EQ(Conv.Channels[0].Program, 125);
    EXPECT_EQ(Conv.Channels[0].ProgramPending, 0);
    EXPECT_EQ(Conv.Bank.Count(), 126);
    EXPECT_EQ(Conv.VoiceCount, 126);

    // A channel that never had a program keeps none and sends no program change.
    Sound(1, 64);
    SetDistinctVoice(Conv.Channels[1], 127);
    EXPECT_EQ(Pass(200), (Lines{"200 c1 cc11=100", "200 c1 on 64 127"}));
    EXPECT_EQ(Conv.Channels[1].Program, 255);

    // A voice that is already in the bank still gets its number.
    SetDistinctVoice(Conv.Channels[1], 5);
    EXPECT_EQ(Pass(201), (Lines{"201 c1 cc0=124", "201 c1 cc32=1", "201 c1 pc 5"}));

    for (const TSmfEvent& E : Conv.Smf.Items())
        if (E.Kind == TSmfEventKind::ProgramChange) {
            EXPECT_GE(E.Value, 0);
            EXPECT_LE(E.Value, 127);
        }
}

// ---------------------------------------------------------------------------------------
// CaptureVoice

// Operator block k of a voice, as its 7 bytes.
std::vector<int> Block(const TVm3Voice& V, int k) {
    return std::vector<int>(V.begin() + 27 + 7 * k, V.begin() + 34 + 7 * k);
}

class CaptureVoiceTest : public ::testing::Test {
protected:
    // Every operator different, with values that survive or show the adjustment.
    void SetUp() override {
        TChannelState& C = Conv.Channels[2];
        C.Feedback = 5;
        for (int k = 0; k < 4; ++k) {
            TOperatorState& Op = C.Operators[k];
            Op.AttackRate = static_cast<std::uint8_t>(31 - k); // div 2: 15, 15, 14, 14
            Op.DecayRate = static_cast<std::uint8_t>(20 + k);  // 10, 10, 11, 11
            Op.SustainRate = static_cast<std::uint8_t>(6 + k); // 3, 3, 4, 4
            Op.ReleaseRate = static_cast<std::uint8_t>(2 + k); // 2..5: below 7
            Op.SustainLevel = static_cast<std::uint8_t>(8 + k);
            Op.TotalLevel = static_cast<std::uint8_t>(40 + 20 * k); // 40, 60, 80, 100
            Op.KeyScale = 3;
            Op.Multiple = static_cast<std::uint8_t>(k + 1);
            Op.Detune = static_cast<std::uint8_t>(k + 4);
            Op.AmplitudeMod = k & 1;
            Op.Vibrato = 1;
            Op.Waveform = static_cast<std::uint8_t>(k + 1);
            Op.EnvelopeType = 1;
            Op.KeyScaleRate = 1;
            Op.KeyScaleLevel = 2;
        }
    }
    // The bytes of a four-operator block built by hand from the layout of the voice record.
    static std::vector<int> FourOp(int SR, int RR, int DR, int AR, int SL, int TL, int KSL, int AM,
                                   int VIB, int MUL, int DT, int WS, int FB) {
        return {SR << 4,
                (RR & 15) << 4 | (DR & 15),
                (AR & 15) << 4 | SL,
                (TL & 63) << 2 | KSL,
                AM << 4 | VIB,
                MUL << 4 | DT,
                WS << 3 | FB};
    }
    TStateConv Conv;
};

TEST_F(CaptureVoiceTest, Algorithm4MakesOperators1And3Carriers) {
    Conv.Channels[2].Algorithm = 4;
    const TChannelState Before = Conv.Channels[2];
    Conv.CaptureVoice(2);
    const TVm3Voice& V = Conv.VoiceScratch;
    EXPECT_EQ(V[26], 5);
    EXPECT_EQ(Block(V, 0), FourOp(3, 2, 10, 15, 8, 40, 1, 0, 1, 1, 4, 1, 5));
    EXPECT_EQ(Block(V, 1), FourOp(3, 7, 10, 15, 9, 0, 0, 1, 1, 2, 5, 2, 0));
    EXPECT_EQ(Block(V, 2), FourOp(4, 4, 11, 14, 10, 63, 1, 0, 1, 3, 6, 3, 0));
    EXPECT_EQ(Block(V, 3), FourOp(4, 7, 11, 14, 11, 0, 0, 1, 1, 4, 7, 4, 0));
    EXPECT_EQ(Conv.Channels[2], Before) << "the adjustment must not reach the channel record";
}

TEST_F(CaptureVoiceTest, Algorithm5FoldsOperator0IntoOperator2) {
    Conv.Channels[2].Algorithm = 5;
    const TChannelState Before = Conv.Channels[2];
    Conv.CaptureVoice(2);
    const TVm3Voice& V = Conv.VoiceScratch;
    EXPECT_EQ(V[26], 5);
    EXPECT_EQ(Block(V, 0), FourOp(3, 2, 10, 15, 8, 40, 1, 0, 1, 1, 4, 1, 5));
    EXPECT_EQ(Block(V, 1), FourOp(3, 7, 10, 15, 9, 0, 0, 1, 1, 2, 5, 2, 0));
    // Operator 2 as a carrier (TL 0, KSL 0, RR 7), OR-ed with operator 0's values
    // (TL 40 div 2 = 20, KSL 3 div 2 = 1); its vibrato and waveform are its own.
    EXPECT_EQ(Block(V, 2),
              FourOp(4 | 3, 7 | 2, 11 | 10, 14 | 15, 10 | 8, 20, 1, 0, 1, 3 | 1, 6 | 4, 3, 0));
    EXPECT_EQ(Block(V, 3), FourOp(4, 7, 11, 14, 11, 0, 0, 1, 1, 4, 7, 4, 0));
    EXPECT_EQ(Conv.Channels[2], Before);
}

TEST_F(CaptureVoiceTest, Algorithm7MakesEveryOperatorACarrier) {
    Conv.Channels[2].Algorithm = 7;
    Conv.Channels[2].Operators[0].ReleaseRate = 12; // not lowered to 7
    Conv.CaptureVoice(2);
    const TVm3Voice& V = Conv.VoiceScratch;
    EXPECT_EQ(V[26], 2);
    EXPECT_EQ(Block(V, 0), FourOp(3, 12, 10, 15, 8, 0, 0, 0, 1, 1, 4, 1, 5));
    EXPECT_EQ(Block(V, 1), FourOp(3, 7, 10, 15, 9, 0, 0, 1, 1, 2, 5, 2, 0));
    EXPECT_EQ(Block(V, 2), FourOp(4, 7, 11, 14, 10, 0, 0, 0, 1, 3, 6, 3, 0));
    EXPECT_EQ(Block(V, 3), FourOp(4, 7, 11, 14, 11, 0, 0, 1, 1, 4, 7, 4, 0));
}

TEST_F(CaptureVoiceTest, Algorithms0To3ClearKeyScaleEverywhere) {
    const int Codes[4] = {4, 4, 3, 4};
    for (std::uint8_t Algorithm = 0; Algorithm < 4; ++Algorithm) {
        Conv.Channels[2].Algorithm = Algorithm;
        Conv.CaptureVoice(2);
        const TVm3Voice& V = Conv.VoiceScratch;
        EXPECT_EQ(V[26], Codes[Algorithm]);
        EXPECT_EQ(Block(V, 0), FourOp(3, 2, 10, 15, 8, 40, 0, 0, 1, 1, 4, 1, 5));
        EXPECT_EQ(Block(V, 1), FourOp(3, 3, 10, 15, 9, 60, 0, 1, 1, 2, 5, 2, 0));
        EXPECT_EQ(Block(V, 2), FourOp(4, 4, 11, 14, 10, 63, 0, 0, 1, 3, 6, 3, 0));
        EXPECT_EQ(Block(V, 3), FourOp(4, 7, 11, 14, 11, 0, 0, 1, 1, 4, 7, 4, 0));
    }
}

TEST_F(CaptureVoiceTest, TwoOperatorVoiceKeepsTheChipValues) {
    TChannelState& C = Conv.Channels[2];
    C.Algorithm = 8;
    C.Operators[0].AttackRate = 15;
    C.Operators[1].TotalLevel = 63;
    Conv.CaptureVoice(2);
    const TVm3Voice& V = Conv.VoiceScratch;
    EXPECT_EQ(V[26], 0);
    // SR 0, EG 1, KSR 1 | RR DR | AR SL | TL KSL | AM VIB | MUL (no detune) | WS FB
    EXPECT_EQ(Block(V, 0),
              (std::vector<int>{0x03, 0x24, 0xF8, 40 << 2 | 2, 0x01, 0x10, 1 << 3 | 5}));
    EXPECT_EQ(Block(V, 1), (std::vector<int>{0x03, 0x35, 0xE9, 63 << 2 | 2, 0x11, 0x20, 2 << 3}));
    EXPECT_EQ(Block(V, 2), std::vector<int>(7, 0));
    EXPECT_EQ(Block(V, 3), std::vector<int>(7, 0));
}

TEST_F(CaptureVoiceTest, GeneratorPresetReleaseIsCutToTheVoiceField) {
    TChannelState& C = Conv.Channels[2];
    C = TChannelState{};
    C.Algorithm = 8;
    C.Operators[1].ReleaseRate = 31;
    Conv.CaptureVoice(2);
    EXPECT_EQ(Conv.VoiceScratch[27 + 7 + 1], 0xF0);
}

} // namespace
} // namespace varnhold
