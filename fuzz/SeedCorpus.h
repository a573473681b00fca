// Small valid S98 logs, each with an option trailer: one per device type, one per known
// device set, unknown combinations, every version, and a few option variations. They give
// the fuzzer a start inside every chip model and every output mode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnhold::fuzz {

struct TSeed {
    std::string Name;                // a file name, e.g. "type04-ym2608"
    std::vector<std::uint8_t> Bytes; // S98 file plus trailer
};

std::vector<TSeed> MakeSeedCorpus();

// A version 3 log (no trailer) with one device record per entry of Types (S98 device type
// codes); each device plays a few notes in turn, the first device first.
std::vector<std::uint8_t> ComposeLog(const std::vector<std::uint32_t>& Types);

} // namespace varnhold::fuzz
