// Writes one generated S98 log:
//
//   varnhold-make-log FAMILY SIZE OUTPUT.s98 [SEED]
//
// FAMILY is ym2608, ym2151 or ym2612sn; SIZE the least size in bytes, with an optional
// K or M suffix (1024-based). The log ends at the first bar boundary past SIZE.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "LogGen.h"

namespace {

bool ParseSize(const std::string& Text, std::uint64_t& Size) {
    char* End = nullptr;
    const unsigned long long Value = std::strtoull(Text.c_str(), &End, 10);
    if (End == Text.c_str()) return false;
    const std::string Suffix(End);
    const std::uint64_t Unit = Suffix.empty()                   ? 1
                               : Suffix == "K" || Suffix == "k" ? 1024
                               : Suffix == "M" || Suffix == "m" ? 1024 * 1024
                                                                : 0;
    if (Unit == 0) return false;
    Size = Value * Unit;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    using namespace varnhold::tools;
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: varnhold-make-log ym2608|ym2151|ym2612sn SIZE[K|M] "
                             "OUTPUT.s98 [SEED]\n");
        return 2;
    }
    const auto Family = LogFamilyByName(argv[1]);
    std::uint64_t Size = 0;
    if (!Family || !ParseSize(argv[2], Size)) {
        std::fprintf(stderr, "varnhold-make-log: unknown family or size: %s %s\n", argv[1],
                     argv[2]);
        return 2;
    }
    const auto Seed =
        argc > 4 ? static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10)) : 1u;
    try {
        const std::uint64_t Written = SaveLog(*Family, Size, argv[3], Seed);
        std::printf("%s: %llu bytes\n", argv[3], static_cast<unsigned long long>(Written));
    } catch (const std::exception& E) {
        std::fprintf(stderr, "varnhold-make-log: %s\n", E.what());
        return 1;
    }
    return 0;
}
