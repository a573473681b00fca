// The event list: ordering, the file layout and what a save may and may not touch.
#include "platform/ErrorsU.h"
#include "smf/SmfU.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace varnhold {
namespace {

using TBytes = std::vector<std::uint8_t>;

// The track's event bytes: everything after the 22 bytes of chunk headers.
TBytes TrackBody(TSmf& Smf) {
    const TBytes File = Smf.BuildFile();
    EXPECT_GE(File.size(), 22u);
    const std::uint32_t Length = std::uint32_t{File[18]} << 24 | std::uint32_t{File[19]} << 16 |
                                 std::uint32_t{File[20]} << 8 | File[21];
    EXPECT_EQ(Length, File.size() - 22);
    return TBytes(File.begin() + 22, File.end());
}

TEST(SmfFile, SingleNoteGivesTheThirtyByteFile) {
    test::TTempDir Dir;
    TSmf Smf;
    Smf.AddNoteOn(0, 0, 60, 100);
    Smf.EndTime = 1;
    Smf.SaveToFile(Dir.File("one.mid"));
    const TBytes Expected{0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00,
                          0x00, 0x01, 0x00, 0x30, 0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00,
                          0x00, 0x08, 0x00, 0x90, 0x3C, 0x64, 0x01, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(test::ReadFileBytes(Dir.File("one.mid")), Expected);
}

TEST(SmfFile, EqualTicksKeepTheOrderOfAddition) {
    TSmf Smf;
    Smf.AddNoteOn(20, 0, 1, 1);
    Smf.AddNoteOn(5, 0, 2, 1);
    Smf.AddNoteOn(20, 0, 3, 1);
    Smf.AddNoteOn(5, 0, 4, 1);
    Smf.AddNoteOn(10, 0, 5, 1); // "B" then "A" at one tick
    Smf.AddNoteOn(10, 0, 6, 1);
    Smf.EndTime = 20;
    const TBytes Expected{
        5,  0x90, 2,    1,    //
        0,  0x90, 4,    1,    //
        5,  0x90, 5,    1,    //
        0,  0x90, 6,    1,    //
        10, 0x90, 1,    1,    //
        0,  0x90, 3,    1,    //
        0,  0xFF, 0x2F, 0x00, //
    };
    EXPECT_EQ(TrackBody(Smf), Expected);
    // Saving leaves the list sorted.
    const int Notes[] = {2, 4, 5, 6, 1, 3};
    for (std::size_t I = 0; I < Smf.Count(); ++I)
        EXPECT_EQ(Smf[I].Data1, Notes[I]);
}

TEST(SmfFile, TickZeroSetUpReachesTheFileInOrder) {
    TSmf Smf;
    const std::uint8_t Controllers[] = {101, 100, 6, 38};
    for (const std::uint8_t Controller : Controllers)
        Smf.AddControlChange(0, 0, Controller, 0);
    Smf.AddPitchBend(0, 0, 64);
    Smf.AddControlChange(0, 0, 7, 100);
    Smf.AddControlChange(0, 0, 11, 127);
    Smf.AddControlChange(0, 0, 10, 64);
    Smf.AddNoteOn(3, 0, 60, 100);
    // Delta, then the event, one per line.
    const TBytes Expected{
        0, 0xB0, 101,  0,    //
        0, 0xB0, 100,  0,    //
        0, 0xB0, 6,    0,    //
        0, 0xB0, 38,   0,    //
        0, 0xE0, 0,    64,   //
        0, 0xB0, 7,    100,  //
        0, 0xB0, 11,   127,  //
        0, 0xB0, 10,   64,   //
        3, 0x90, 60,   100,  //
        0, 0xFF, 0x2F, 0x00, //
    };
    EXPECT_EQ(TrackBody(Smf), Expected);
}

TEST(SmfFile, DeltasAndEndOfTrack) {
    const struct {
        const char* Name;
        std::vector<std::int32_t> Times;
        std::int32_t EndTime;
        TBytes Deltas; // the delta in front of each event, then of the end of track
    } Cases[] = {
        {"delta 200 is two bytes", {0, 200}, 200, {0x00, 0x81, 0x48, 0x00}},
        {"negative time counts as tick 0", {-7, 3}, 3, {0x00, 0x03, 0x00}},
        {"first delta is the first time", {30, 30}, 40, {30, 0, 10}},
        {"end before the last event", {50}, 10, {50, 0}},
        {"negative end", {5}, -100, {5, 0}},
        {"largest delta", {0, 0x0FFFFFFF}, 0x0FFFFFFF, {0, 0xFF, 0xFF, 0xFF, 0x7F, 0}},
        {"largest end delta", {0}, 0x0FFFFFFF, {0, 0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TSmf Smf;
        TBytes Expected;
        std::size_t NextDelta = 0;
        const auto TakeDelta = [&] {
            // Copy one whole variable-length quantity from the expected deltas.
            do
                Expected.push_back(C.Deltas[NextDelta]);
            while (C.Deltas[NextDelta++] & 0x80);
        };
        for (const std::int32_t Time : C.Times) {
            Smf.AddProgramChange(Time, 0, 1);
            TakeDelta();
            Expected.insert(Expected.end(), {0xC0, 0x01});
        }
        TakeDelta();
        Expected.insert(Expected.end(), {0xFF, 0x2F, 0x00});
        Smf.EndTime = C.EndTime;
        EXPECT_EQ(TrackBody(Smf), Expected);
    }
}

TEST(SmfFile, EventsWithStatusZeroAreSkipped) {
    TSmf Smf;
    Smf.AddNoteOn(10, 0, 60, 100);
    Smf.AddNoteOn(15, 0, 61, 100).Status = 0;
    Smf.AddNoteOn(20, 0, 62, 100);
    Smf.EndTime = 20;
    // The skipped event does not move the previous time: the last delta is 10.
    EXPECT_EQ(TrackBody(Smf), (TBytes{10, 0x90, 60, 100, 10, 0x90, 62, 100, 0, 0xFF, 0x2F, 0}));
}

TEST(SmfFile, HeaderAndDivision) {
    TSmf Smf;
    EXPECT_EQ(Smf.Division, 48);
    EXPECT_EQ(Smf.EndTime, 0);
    Smf.AddTempo(0, 120);
    Smf.EndTime = 9;
    Smf.Clear();
    EXPECT_EQ(Smf.Count(), 0u);
    EXPECT_EQ(Smf.Division, 48);
    EXPECT_EQ(Smf.EndTime, 9);
    // Direct data of cleared events is gone too: a new tempo gets its own bytes.
    Smf.AddTempo(0, 720);
    const TBytes File = Smf.BuildFile();
    EXPECT_EQ(TBytes(File.begin(), File.begin() + 22),
              (TBytes{'M', 'T', 'h', 'd', 0,   0,   0,   6, 0, 0, 0,
                      1,   0,   48,  'M', 'T', 'r', 'k', 0, 0, 0, 11}));
    EXPECT_EQ(TBytes(File.begin() + 22, File.end()),
              (TBytes{0, 0xFF, 0x51, 3, 0x01, 0x45, 0x85, 9, 0xFF, 0x2F, 0}));
}

// The order produced by the top-down merge sort with the wrapping 32-bit time difference,
// written out literally, as the reference for SortByTime.
void ReferenceSort(std::vector<TSmfEvent>& A, std::vector<TSmfEvent>& Tmp, int Lo, int Hi) {
    if (Lo >= Hi) return;
    const int Mid = (Lo + Hi) / 2;
    ReferenceSort(A, Tmp, Lo, Mid);
    ReferenceSort(A, Tmp, Mid + 1, Hi);
    int N = 0;
    for (int I = Lo; I <= Mid; ++I)
        Tmp[static_cast<std::size_t>(N++)] = A[static_cast<std::size_t>(I)];
    int I = 0, J = Mid + 1, K = Lo;
    while (I < N && J <= Hi) {
        const auto Diff = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(Tmp[static_cast<std::size_t>(I)].Time) -
            static_cast<std::uint32_t>(A[static_cast<std::size_t>(J)].Time));
        if (Diff > 0)
            A[static_cast<std::size_t>(K++)] = A[static_cast<std::size_t>(J++)];
        else
            A[static_cast<std::size_t>(K++)] = Tmp[static_cast<std::size_t>(I++)];
    }
    while (I < N)
        A[static_cast<std::size_t>(K++)] = Tmp[static_cast<std::size_t>(I++)];
}

TEST(SmfFile, SortMatchesTheMergeSortExactly) {
    std::mt19937 Random(12345);
    const struct {
        const char* Name;
        std::int32_t Lo, Hi;
        bool Ascending;
    } Shapes[] = {
        {"few distinct ticks", 0, 5, false},
        {"already ascending", 0, 1000, true},
        {"negative and positive", -50, 50, false},
        {"spans more than 2^31 ticks", INT32_MIN, INT32_MAX, false},
        {"ascending across the sign", INT32_MIN, INT32_MAX, true},
    };
    for (const auto& Shape : Shapes) {
        for (int Round = 0; Round < 20; ++Round) {
            SCOPED_TRACE(Shape.Name);
            std::uniform_int_distribution<std::int32_t> Time(Shape.Lo, Shape.Hi);
            const int Count = 1 + Round * 7;
            std::vector<std::int32_t> Times(static_cast<std::size_t>(Count));
            for (auto& T : Times)
                T = Time(Random);
            if (Shape.Ascending) std::sort(Times.begin(), Times.end());
            TSmf Smf;
            std::vector<TSmfEvent> Expected;
            for (int I = 0; I < Count; ++I)
                Expected.push_back(Smf.AddProgramChange(Times[static_cast<std::size_t>(I)], 0,
                                                        static_cast<std::uint8_t>(I)));
            std::vector<TSmfEvent> Tmp(Expected.size() / 2 + 1);
            ReferenceSort(Expected, Tmp, 0, Count - 1);
            Smf.SortByTime();
            for (int I = 0; I < Count; ++I) {
                EXPECT_EQ(Smf[static_cast<std::size_t>(I)].Time,
                          Expected[static_cast<std::size_t>(I)].Time);
                EXPECT_EQ(Smf[static_cast<std::size_t>(I)].Value,
                          Expected[static_cast<std::size_t>(I)].Value);
            }
        }
    }
}

class SmfSave : public ::testing::Test {
protected:
    test::TTempDir Dir;
    const std::string Target = Dir.File("song.mid");
    const TBytes Old{'o', 'l', 'd'};
    void SetUp() override { test::WriteFileBytes(Target, Old); }
};

TEST_F(SmfSave, EmptyListWritesNothing) {
    TSmf Smf;
    Smf.EndTime = 100;
    Smf.SaveToFile(Target);
    EXPECT_EQ(test::ReadFileBytes(Target), Old);
    Smf.SaveToFile(Dir.File("new.mid"));
    EXPECT_FALSE(test::FileExistsPlain(Dir.File("new.mid")));
}

TEST_F(SmfSave, DeltaBeyondTheLimitWritesNoFile) {
    const struct {
        const char* Name;
        std::int32_t EventTime;
        std::int32_t EndTime;
        const char* Tick; // named in the message
    } Cases[] = {
        {"event delta", 0x10000000, 0x10000000, "268435456"},
        {"end-of-track delta", 1, 0x10000001, "268435457"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TSmf Smf;
        Smf.AddNoteOn(0, 0, 60, 100);
        Smf.AddNoteOff(C.EventTime, 0, 60);
        Smf.EndTime = C.EndTime;
        try {
            Smf.SaveToFile(Target);
            ADD_FAILURE() << "no error";
        } catch (const ELimitError& Error) {
            EXPECT_NE(std::string(Error.what()).find(C.Tick), std::string::npos) << Error.what();
        }
        EXPECT_EQ(test::ReadFileBytes(Target), Old);
    }
}

TEST_F(SmfSave, ReplacesAnExistingFileAndReportsAFailedCreate) {
    TSmf Smf;
    Smf.AddNoteOn(0, 0, 60, 100);
    Smf.SaveToFile(Target);
    EXPECT_EQ(test::ReadFileBytes(Target).size(), 30u);

    const std::string Missing = Dir.File("nodir/song.mid");
    try {
        Smf.SaveToFile(Missing);
        ADD_FAILURE() << "no error";
    } catch (const EFileError& Error) {
        EXPECT_NE(std::string(Error.what()).find(Missing), std::string::npos) << Error.what();
    }
    EXPECT_EQ(Smf.Count(), 1u);
}

} // namespace
} // namespace varnhold
