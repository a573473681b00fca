// The per-model memory of FrequencyToNote: any sequence of frequencies, repeats and
// colliding ones included, gives exactly what the function gives.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "chips/SndBaseU.h"

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

} // namespace
} // namespace varnhold
