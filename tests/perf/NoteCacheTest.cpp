// The per-model memory of FrequencyToNote: any sequence of frequencies, repeats and
// colliding ones included, gives exactly what the function gives.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <vector>

#include "chips/SndBaseU.h"
#include "chips/SndYM2151U.h"
#include "chips/SndYM2608U.h"
#include "chips/SndYM2612U.h"
#include "convert/StateConvU.h"

namespace varnhold {
namespace {

struct TNote {
    std::uint8_t Note = 0xAA, Fine = 0xAA;
    bool operator==(const TNote&) const = default;
};

TNote Direct(double Hz) {
    TNote N;
    FrequencyToNote(N.Note, N.Fine, Hz);
    return N;
}

TNote Cached(TNoteCache& Cache, double Hz) {
    TNote N;
    Cache.Convert(N.Note, N.Fine, Hz);
    return N;
}

TEST(NoteCache, AgreesWithTheFunctionOnEveryPathThroughIt) {
    // Far more distinct values than entries, so that entries are replaced; then the same
    // values again in another order, so that hits, misses and evictions mix.
    std::vector<double> Frequencies{0.0,
                                    -0.0,
                                    -440.0,
                                    1e-300,
                                    8.0,
                                    12543.9,
                                    1e9,
                                    std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::quiet_NaN()};
    for (int i = 0; i < 5000; ++i)
        Frequencies.push_back(30.0 * std::pow(2.0, i / 700.0));
    // A tie between two 1/32-semitone steps and its neighbours one ulp away.
    const double Tie = 440.0 * std::exp2((1 + 0.5 / 32) / 12);
    for (double Hz : {Tie, std::nextafter(Tie, 0.0), std::nextafter(Tie, 1e9)})
        Frequencies.push_back(Hz);

    TNoteCache Cache;
    for (int Pass = 0; Pass < 3; ++Pass)
        for (std::size_t i = 0; i < Frequencies.size(); ++i) {
            const double Hz = Frequencies[Pass == 1 ? Frequencies.size() - 1 - i : i];
            ASSERT_EQ(Cached(Cache, Hz), Direct(Hz)) << "pass " << Pass << ", " << Hz << " Hz";
        }
}

TEST(NoteCache, SignedZeroAndTheInitialEntriesAreNotConfused) {
    // A fresh entry holds key bits 0, the bits of +0.0: it must still be computed.
    TNoteCache Cache;
    EXPECT_EQ(Cached(Cache, 0.0), (TNote{0, 32}));
    EXPECT_EQ(Cached(Cache, 440.0), (TNote{69, 32}));
    EXPECT_EQ(Cached(Cache, -0.0), (TNote{0, 32}));
    EXPECT_EQ(Cached(Cache, 440.0), (TNote{69, 32}));
}

// The FM models remember notes by their pitch registers and clock. A long-lived model that
// meets repeated register values, new multiples and clock changes must agree at every step
// with a fresh model (nothing remembered) given the same writes at the same clock.
struct TWrite {
    std::uint8_t Port, Register, Value;
};

struct TFmFamily {
    const char* Name;
    const TSndDeviceClass* Class;
    // Writes that set channel 0's pitch from a small set of values (so that they repeat).
    std::vector<TWrite> (*Pitch)(std::uint32_t Random);
    // Writes that set the multiple of every operator of channel 0.
    std::vector<TWrite> (*Multiple)(std::uint8_t M);
};

std::vector<TWrite> OpnPitch(std::uint32_t Random) {
    const auto FNumber = static_cast<std::uint16_t>(500 + 37 * (Random % 40));
    const auto Block = static_cast<std::uint8_t>((Random >> 8) % 8);
    return {{0, 0xA4, static_cast<std::uint8_t>(Block << 3 | FNumber >> 8)},
            {0, 0xA0, static_cast<std::uint8_t>(FNumber & 0xFF)}};
}
std::vector<TWrite> OpnMultiple(std::uint8_t M) {
    return {{0, 0x30, M}, {0, 0x34, M}, {0, 0x38, M}, {0, 0x3C, M}};
}
std::vector<TWrite> OpmPitch(std::uint32_t Random) {
    return {{0, 0x30, static_cast<std::uint8_t>((Random >> 8) % 64 << 2)},
            {0, 0x28, static_cast<std::uint8_t>(Random % 40 + 30)}};
}
std::vector<TWrite> OpmMultiple(std::uint8_t M) {
    return {{0, 0x40, M}, {0, 0x48, M}, {0, 0x50, M}, {0, 0x58, M}};
}

void PrintTo(const TFmFamily& F, std::ostream* Out) {
    *Out << F.Name;
}

const TFmFamily FmFamilies[] = {
    {"YM2608", &TSndYM2608::Class, OpnPitch, OpnMultiple},
    {"YM2612", &TSndYM2612::Class, OpnPitch, OpnMultiple},
    {"YM2151", &TSndYM2151::Class, OpmPitch, OpmMultiple},
};

class RegisterNoteCache : public ::testing::TestWithParam<TFmFamily> {};

TEST_P(RegisterNoteCache, LongLivedModelAgreesWithAFreshOne) {
    const TFmFamily& F = GetParam();
    TSndDeviceList Models;
    TSndDevice& Model = Models.Add(*F.Class);
    TStateConv Conv;
    std::vector<TWrite> History;
    std::uint32_t Random = 12345;
    for (int Step = 0; Step < 1500; ++Step) {
        Random = Random * 1103515245u + 12345u;
        const std::uint32_t R = Random >> 8;
        Model.SetClock(Step / 300 % 2 ? 3579545.0 : 7987200.0);
        const std::vector<TWrite> Writes =
            Step % 97 == 0 ? F.Multiple(static_cast<std::uint8_t>(R % 16)) : F.Pitch(R);
        for (const TWrite& W : Writes) {
            Model.WriteRegister(Conv, W.Port, W.Register, W.Value);
            History.push_back(W);
        }
        if (Step % 97 == 0) continue;

        TSndDeviceList FreshList;
        TSndDevice& Fresh = FreshList.Add(*F.Class);
        Fresh.SetClock(Model.GetClock());
        TStateConv FreshConv;
        for (const TWrite& W : History)
            Fresh.WriteRegister(FreshConv, W.Port, W.Register, W.Value);
        ASSERT_EQ(Conv.Channels[0].Note, FreshConv.Channels[0].Note) << "step " << Step;
        ASSERT_EQ(Conv.Channels[0].Fine, FreshConv.Channels[0].Fine) << "step " << Step;
    }
}

INSTANTIATE_TEST_SUITE_P(Families, RegisterNoteCache, ::testing::ValuesIn(FmFamilies),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
} // namespace varnhold
