#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/StateConvU.h"
#include "platform/ErrorsU.h"
#include "support/TestSupport.h"

namespace varnhold {
namespace {

using test::FileExistsPlain;
using test::ReadFileBytes;
using test::TTempDir;

TEST(OutputNames, FollowTheSourceNameAndSuffix) {
    struct Case {
        const char* Source;
        const char* Suffix;
        const char* Mid;
        const char* Vm3;
    };
    const Case Cases[] = {
        {"/music/song.s98", "", "/music/song.mid", "/music/song.vm3"},
        {"/music/song.s98", "_ID0_TSndYM2608", "/music/song_ID0_TSndYM2608.mid",
         "/music/song_ID0_TSndYM2608.vm3"},
        {"/music/a.b.s98", "", "/music/a.b.mid", "/music/a.b.vm3"},
        {"/music/a.b.s98", "_ID1_TSndYM3812", "/music/a.b_ID1_TSndYM3812.mid",
         "/music/a.b_ID1_TSndYM3812.vm3"},
        {"/music/noext", "", "/music/noext.mid", "/music/noext.vm3"},
        {"/music/noext", "_ID2_TSndSN76489", "/music/noext_ID2_TSndSN76489.mid",
         "/music/noext_ID2_TSndSN76489.vm3"},
        // A dot in a directory is no extension, and '\' is part of a POSIX file name.
        {"/mu.sic/song", "", "/mu.sic/song.mid", "/mu.sic/song.vm3"},
        {"/music/x\\y.s98", "", "/music/x\\y.mid", "/music/x\\y.vm3"},
        {"song.s98", "", "song.mid", "song.vm3"},
    };
    for (const Case& C : Cases) {
        TStateConv Conv;
        Conv.NameSuffix = C.Suffix;
        EXPECT_EQ(Conv.MidFileName(C.Source), C.Mid) << C.Source << " " << C.Suffix;
        EXPECT_EQ(Conv.Vm3FileName(C.Source), C.Vm3) << C.Source << " " << C.Suffix;
    }
}

// A converter that has played a little, ready to be finished into a temporary directory.
class FinishTest : public ::testing::Test {
protected:
    void Start(bool UseProgramChange, bool DebugMode) {
        Conv.UseProgramChange = UseProgramChange;
        Conv.DebugMode = DebugMode;
        Conv.Reset(120);
    }
    void PlayOneNote(int c, std::int32_t Tick) {
        TChannelState& C = Conv.Channels[c];
        C.Algorithm = 7;
        C.Note = 60;
        C.Fine = 32;
        C.Loudness = 100;
        Conv.Now = Tick;
        Conv.ProcessMark();
    }
    std::string Source() const { return Dir.File("song.s98"); }
    TTempDir Dir;
    TStateConv Conv;
};

TEST_F(FinishTest, EndsTheNotesOneTickLaterAndWritesTheMidi) {
    Start(false, false);
    PlayOneNote(0, 10);
    PlayOneNote(3, 10);
    Conv.Now = 25; // the last mark
    Conv.Rhythm[1].KeyOn = 1;

    Conv.Finish(Source());

    EXPECT_EQ(Conv.Now, 26);
    EXPECT_EQ(Conv.Smf.EndTime, 26);
    std::vector<std::string> Offs;
    for (const TSmfEvent& E : Conv.Smf.Items())
        if (E.Kind == TSmfEventKind::NoteOff)
            Offs.push_back(std::to_string(E.Time) + " " + std::to_string(E.Status & 15) + " " +
                           std::to_string(E.Data1));
    EXPECT_EQ(Offs, (std::vector<std::string>{"26 0 60", "26 3 60", "27 9 38"}));
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(Conv.Emitted[c].Sounding, 0) << c;

    ASSERT_TRUE(FileExistsPlain(Dir.File("song.mid")));
    const std::vector<std::uint8_t> Mid = ReadFileBytes(Dir.File("song.mid"));
    ASSERT_GT(Mid.size(), 25u);
    EXPECT_EQ(std::string(Mid.begin(), Mid.begin() + 4), "MThd");
    EXPECT_EQ(std::vector<std::uint8_t>(Mid.end() - 3, Mid.end()),
              (std::vector<std::uint8_t>{0xFF, 0x2F, 0x00}));
    EXPECT_FALSE(FileExistsPlain(Dir.File("song.vm3")));
}

// The lowest key bent down, with the chip's pitch now leaning up: the final pass must not
// fold the cleared pitch back onto that key and leave it without its note off.
TEST_F(FinishTest, TheLowestKeyBentDownStillGetsItsNoteOff) {
    Conv.UsePitchBend = true;
    Conv.UsePitchBendVib = true;
    Start(false, false);
    PlayOneNote(0, 10);
    Conv.Channels[0].Note = 1;
    Conv.Channels[0].Fine = 20;
    Conv.Now = 11;
    Conv.ProcessMark();
    Conv.Channels[0].Fine = 40;
    Conv.Now = 12;

    Conv.Finish(Source());

    const TSmfEvent& Last = Conv.Smf[Conv.Smf.Count() - 1];
    EXPECT_EQ(Last.Kind, TSmfEventKind::NoteOff);
    EXPECT_EQ(Last.Time, 13);
    EXPECT_EQ(Last.Data1, 1);
}

TEST_F(FinishTest, AConverterWithoutInputWritesItsSetUp) {
    Start(false, false);
    Conv.NameSuffix = "_ID0_TSndYM3812";
    Conv.Finish(Source());
    // Tempo, master volume and 8 set-up events per channel; nothing else.
    EXPECT_EQ(Conv.Smf.Count(), 2u + 16u * 8u);
    EXPECT_TRUE(FileExistsPlain(Dir.File("song_ID0_TSndYM3812.mid")));
    EXPECT_FALSE(FileExistsPlain(Dir.File("song.mid")));
}

TEST_F(FinishTest, VoiceBankOnlyWithProgramChangeAndDebugMode) {
    struct Case {
        bool UseProgramChange, DebugMode, Vm3;
    };
    const Case Cases[] = {
        {true, true, true}, {true, false, false}, {false, true, false}, {false, false, false}};
    for (const Case& C : Cases) {
        TTempDir Here;
        TStateConv Conv;
        Conv.UseProgramChange = C.UseProgramChange;
        Conv.DebugMode = C.DebugMode;
        Conv.Reset(120);
        Conv.Channels[0].Note = 60;
        Conv.Channels[0].Loudness = 100;
        Conv.Now = 4;
        Conv.ProcessMark();
        Conv.Finish(Here.File("song.s98"));
        EXPECT_TRUE(FileExistsPlain(Here.File("song.mid")));
        EXPECT_EQ(FileExistsPlain(Here.File("song.vm3")), C.Vm3)
            << C.UseProgramChange << C.DebugMode;
        // Voices are captured whenever program changes are on.
        EXPECT_EQ(Conv.VoiceCount, C.UseProgramChange ? 1 : 0);
    }
}

TEST_F(FinishTest, TheVoiceBankEndsWithTheClosingVoice) {
    Start(true, true);
    PlayOneNote(0, 10);
    Conv.Finish(Source());

    const std::vector<std::uint8_t> Vm3 = ReadFileBytes(Dir.File("song.vm3"));
    ASSERT_EQ(Vm3.size(), 8u + 2u * 55u);
    EXPECT_EQ(std::string(Vm3.begin(), Vm3.begin() + 4), "FMM3");
    const auto Record = [&Vm3](int i) { return Vm3.begin() + 8 + 55 * i; };
    EXPECT_EQ(std::string(Record(0) + 8, Record(0) + 24), "Varnhold        ");
    EXPECT_EQ(Record(0)[5], 0);
    EXPECT_EQ(std::string(Record(1) + 8, Record(1) + 24), "Brennic-End     ");
    EXPECT_EQ(Record(1)[5], 1) << "the closing voice takes the next program number";
    EXPECT_EQ(Record(1)[1], 1) << "voice number";
    EXPECT_EQ(Record(1)[26], 0) << "algorithm code";
    for (int b = 27; b < 55; ++b)
        EXPECT_EQ(Record(1)[b], 0) << "operator byte " << b;
}

TEST_F(FinishTest, WithoutCapturedVoicesTheBankHoldsOnlyTheClosingVoice) {
    Start(true, true);
    Conv.Finish(Source());
    const std::vector<std::uint8_t> Vm3 = ReadFileBytes(Dir.File("song.vm3"));
    ASSERT_EQ(Vm3.size(), 8u + 55u);
    EXPECT_EQ(std::string(Vm3.begin() + 16, Vm3.begin() + 32), "Brennic-End     ");
    EXPECT_EQ(Vm3[8 + 5], 0);
}

TEST_F(FinishTest, AVoiceBankThatCannotBeWrittenIsAnError) {
    Start(true, true);
    PlayOneNote(0, 10);
    // A directory where the bank should go.
    std::filesystem::create_directory(Dir.File("song.vm3"));
    try {
        Conv.Finish(Source());
        FAIL() << "no error";
    } catch (const EFileError& E) {
        EXPECT_NE(std::string(E.what()).find(Dir.File("song.vm3")), std::string::npos) << E.what();
    }
    EXPECT_TRUE(FileExistsPlain(Dir.File("song.mid"))) << "the .mid is complete already";
}

TEST_F(FinishTest, AMidiFileThatCannotBeWrittenStopsBeforeTheBank) {
    Start(true, true);
    std::filesystem::create_directory(Dir.File("song.mid"));
    EXPECT_THROW(Conv.Finish(Source()), EFileError);
    EXPECT_FALSE(FileExistsPlain(Dir.File("song.vm3")));
}

} // namespace
} // namespace varnhold
