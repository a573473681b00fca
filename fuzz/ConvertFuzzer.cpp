// libFuzzer entry: every input is converted as a whole S98 file (see FuzzHarness.h).
// Expected errors are outcomes; a broken promise aborts, and so does any other exception,
// since nothing else may leave a conversion.
#include <cstdio>
#include <cstdlib>

#include "FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const varnhold::fuzz::TFuzzResult Result = varnhold::fuzz::RunFuzzInput(Data, Size);
    if (!Result.Problem.empty()) {
        std::fprintf(stderr, "conversion broke a promise: %s (result: %s)\n",
                     Result.Problem.c_str(), Result.Text.c_str());
        std::abort();
    }
    return 0;
}
