// The example tune's register composer, played through the YM2608 model: what it writes
// must mean what it says.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "S98Builder.h"
#include "Ym2608Composer.h"
#include "chips/SndYM2608U.h"
#include "convert/StateConvU.h"

namespace varnhold {
namespace {

using tools::TFmVoice;
using tools::TPan;
using tools::TS98Builder;
using tools::TYm2608Composer;

class ComposerTest : public ::testing::Test {
protected:
    TS98Builder Log{'3'};
    TYm2608Composer Composer{Log};
    TStateConv Conv;
    TSndYM2608 Chip;
    std::size_t Played = 0;

    ComposerTest() {
        Log.Device(tools::S98YM2608, 7987200);
        Conv.Reset(120);
        Chip.SetClock(TYm2608Composer::DefaultClock);
    }

    // Feeds the writes composed since the last call to the model (waits are skipped).
    void Play() {
        const std::vector<std::uint8_t> Bytes = Log.Build();
        std::size_t i = Log.DefaultDumpOffset() + Played;
        while (i < Bytes.size()) {
            const std::uint8_t Command = Bytes[i++];
            if (Command < 0x80) {
                Chip.WriteRegister(Conv, Command & 1, Bytes[i], Bytes[i + 1]);
                i += 2;
            } else if (Command == 0xFE) {
                while (Bytes[i++] & 0x80) {
                }
            }
        }
        Played = Bytes.size() - Log.DefaultDumpOffset();
    }
    TChannelState& Ch(int n) { return Conv.Channels[n]; }
};

TEST_F(ComposerTest, FmNotesSoundAsWrittenOnEveryChannel) {
    for (int Channel = 0; Channel < 6; ++Channel) {
        Composer.SetVoice(Channel, TFmVoice{}); // every multiple 1
        for (int Key = 12; Key <= 107; ++Key) {
            Composer.NoteOn(Channel, Key);
            Play();
            ASSERT_EQ(Ch(Channel).Note, Key) << "channel " << Channel;
            EXPECT_NEAR(Ch(Channel).Fine, 32, 1) << "channel " << Channel << " key " << Key;
            EXPECT_EQ(Ch(Channel).KeyReleased, 0);
            EXPECT_EQ(Ch(Channel).Restrike, 1); // released before each strike
            Ch(Channel).Restrike = 0;
        }
        Composer.NoteOff(Channel);
        Play();
        EXPECT_EQ(Ch(Channel).KeyReleased, 1);
    }
}

TEST_F(ComposerTest, CentsBendTheFinePitch) {
    Composer.SetVoice(4, TFmVoice{});
    Composer.NoteOn(4, 69);
    Composer.SetPitch(4, 69, 25); // a quarter semitone: 8/32
    Play();
    EXPECT_EQ(Ch(4).Note, 69);
    EXPECT_EQ(Ch(4).Fine, 40);
}

TEST_F(ComposerTest, VoicePanAndLevels) {
    TFmVoice Voice;
    Voice.Algorithm = 4;
    Voice.Feedback = 5;
    for (int k = 0; k < 4; ++k) {
        Voice.Operators[k].Multiple = static_cast<std::uint8_t>(k + 1);
        Voice.Operators[k].Detune = static_cast<std::uint8_t>(k + 3);
        Voice.Operators[k].TotalLevel = static_cast<std::uint8_t>(10 * k);
        Voice.Operators[k].ReleaseRate = static_cast<std::uint8_t>(k + 5);
    }
    Composer.SetVoice(2, Voice);
    Composer.SetPan(2, TPan::Right);
    Play();
    EXPECT_EQ(Ch(2).Algorithm, 4);
    EXPECT_EQ(Ch(2).Feedback, 5);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(Ch(2).Operators[k].Multiple, k + 1) << k; // slot order S1..S4
        EXPECT_EQ(Ch(2).Operators[k].Detune, k + 3) << k;
        EXPECT_EQ(Ch(2).Operators[k].TotalLevel, 10 * k) << k;
        EXPECT_EQ(Ch(2).Operators[k].ReleaseRate, k + 5) << k;
    }
    EXPECT_EQ(Ch(2).Pan, 127);
    EXPECT_EQ(Ch(2).Loudness, TotalLevelToLoudness((10 + 30 + 1) / 2));
}

TEST_F(ComposerTest, SsgNotesAndDrums) {
    Composer.Init();
    for (int Key = 36; Key <= 96; ++Key) {
        Composer.SsgNote(Key % 3, Key, 15);
        Play();
        ASSERT_EQ(Ch(6 + Key % 3).Note, Key);
        EXPECT_EQ(Ch(6 + Key % 3).Loudness, 114);
    }
    Composer.SsgOff(1);
    Composer.RhythmLevel(3, 31);
    Composer.Strike(0x09);
    Play();
    EXPECT_EQ(Ch(7).Loudness, 0);
    EXPECT_EQ(Conv.Rhythm[3].Velocity, RhythmLevelToLoudness(31));
    const int Struck[] = {1, 0, 0, 1, 0, 0}; // Init's dump struck nothing
    for (int j = 0; j < 6; ++j)
        EXPECT_EQ(Conv.Rhythm[j].KeyOn, Struck[j]) << j;
}

} // namespace
} // namespace varnhold
