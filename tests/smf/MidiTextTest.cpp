// The MIDI dump used by golden tests: it must show every event and refuse broken files.
#include "support/MidiText.h"
#include "smf/SmfU.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace varnhold {
namespace {

using TBytes = std::vector<std::uint8_t>;
using TLines = std::vector<std::string>;

TBytes SmallSong() {
    TSmf Smf;
    const std::uint8_t Reset[] = {0x7F, 0x7F, 0x04, 0x01, 0x00, 0x76};
    Smf.AddSysEx(0, Reset);
    Smf.AddTempo(0, 120);
    Smf.AddControlChange(0, 2, 7, 100);
    Smf.AddPitchBend(0, 2, 200);
    Smf.AddProgramChange(0, 15, 3);
    Smf.AddNoteOn(10, 2, 60, 100);
    Smf.AddNoteOff(300, 2, 60);
    Smf.AddTempo(300, 7);
    Smf.EndTime = 301;
    return Smf.BuildFile();
}

TEST(MidiText, DumpsEveryEventWithItsAbsoluteTick) {
    const TLines Expected{
        "header format=0 tracks=1 division=48",
        "0 sysex 7F 7F 04 01 00 76 F7",
        "0 tempo 120 (500000us)",
        "0 ch2 cc 7 100",
        "0 ch2 bend 127",
        "0 ch15 program 3",
        "10 ch2 on 60 100",
        "300 ch2 off 60 0",
        "300 tempo 7 (8571428us)",
        "301 end",
    };
    EXPECT_EQ(test::MidiLines(SmallSong()), Expected);

    std::string Text;
    for (const auto& Line : Expected)
        Text += Line + "\n";
    EXPECT_EQ(test::MidiToText(SmallSong()), Text);

    test::TTempDir Dir;
    test::WriteFileBytes(Dir.File("song.mid"), SmallSong());
    EXPECT_EQ(test::MidiFileToText(Dir.File("song.mid")), Text);
    EXPECT_EQ(test::MidiFileLines(Dir.File("song.mid")), Expected);

    EXPECT_EQ(test::Grep(Expected, "ch2 "),
              (TLines{"0 ch2 cc 7 100", "0 ch2 bend 127", "10 ch2 on 60 100", "300 ch2 off 60 0"}));
    EXPECT_TRUE(test::Grep(Expected, "ch3 ").empty());
}

// A hand-made track body: header and chunk frame around Body.
TBytes FileWithTrack(const TBytes& Body) {
    const std::uint8_t Frame[] = {
        'M', 'T', 'h', 'd', 0,   0,   0,   6, 0, 0, 0,
        1,   0,   48,  'M', 'T', 'r', 'k', 0, 0, 0, static_cast<std::uint8_t>(Body.size())};
    TBytes File(std::begin(Frame), std::end(Frame));
    for (const std::uint8_t Byte : Body)
        File.push_back(Byte);
    return File;
}

TEST(MidiText, DumpsWhatTheWriterNeverWrites) {
    const TBytes Body{
        0x00, 0xE1, 0x05, 0x40,                 // bend with an LSB
        0x81, 0x00, 0xFF, 0x03, 0x02, 'A', 'B', // other meta, tick 128
        0x00, 0xFF, 0x01, 0x00,                 // meta without data
        0x00, 0xA0, 0x3C, 0x10,                 // polyphonic pressure
        0x00, 0xD1, 0x22,                       // channel pressure
        0x00, 0xF7, 0x01, 0xF7,                 // escape
        0x00, 0xFF, 0x2F, 0x00,
    };
    EXPECT_EQ(test::MidiLines(FileWithTrack(Body)),
              (TLines{"header format=0 tracks=1 division=48", "0 ch1 bend 64 lsb=5",
                      "128 meta 03 41 42", "128 meta 01", "128 ch0 polytouch 60 16",
                      "128 ch1 pressure 34", "128 escape F7", "128 end"}));
}

TEST(MidiText, RefusesMalformedFiles) {
    const TBytes Good = SmallSong();
    const auto Changed = [&](std::size_t At, std::uint8_t Byte) {
        TBytes File = Good;
        File[At] = Byte;
        return File;
    };
    TBytes Truncated(Good.begin(), Good.end() - 1);
    TBytes Trailing = Good;
    Trailing.push_back(0);
    const TBytes EndOfTrack{0x00, 0xFF, 0x2F, 0x00};

    const struct {
        const char* Name;
        TBytes File;
    } Cases[] = {
        {"empty", {}},
        {"header magic", Changed(0, 'X')},
        {"header length below 6", Changed(7, 5)},
        {"format 1", Changed(9, 1)},
        {"two tracks", Changed(11, 2)},
        {"track magic", Changed(17, 'x')},
        {"track length past the end", Changed(21, static_cast<std::uint8_t>(Good[21] + 1))},
        {"truncated file", Truncated},
        {"bytes after the track", Trailing},
        {"no end of track", FileWithTrack({0x00, 0x90, 60, 100})},
        {"events after the end", FileWithTrack({0x00, 0xFF, 0x2F, 0x00, 0x00, 0xC0, 0x01})},
        {"running status",
         FileWithTrack({0x00, 0x90, 60, 100, 0x00, 61, 100, 0x00, 0xFF, 0x2F, 0x00})},
        {"status where data belongs",
         FileWithTrack({0x00, 0x90, 60, 0x90, 0x00, 0xFF, 0x2F, 0x00})},
        {"five-byte delta", FileWithTrack({0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00})},
        {"sysex past the track", FileWithTrack({0x00, 0xF0, 0x7F, 0xF7})},
        {"end of track with data", FileWithTrack({0x00, 0xFF, 0x2F, 0x01, 0x00})},
        {"zero tempo", FileWithTrack({0x00, 0xFF, 0x51, 0x03, 0, 0, 0, 0x00, 0xFF, 0x2F, 0x00})},
        {"system real-time byte", FileWithTrack({0x00, 0xF8, 0x00, 0xFF, 0x2F, 0x00})},
    };
    EXPECT_NO_THROW(test::MidiLines(FileWithTrack(EndOfTrack)));
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        EXPECT_THROW(test::MidiLines(C.File), std::runtime_error);
    }
}

} // namespace
} // namespace varnhold
