// Large, realistic S98 logs for the benchmark and the golden-output tests: dense music at
// 1 ms syncs for three chip families, generated bar by bar so that a log of any size can be
// written without holding it in memory. The same family, size and seed give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnhold::tools {

enum class TLogFamily {
    // One YM2608: six FM channels with slides, vibrato, swells and voice changes; SSG
    // arpeggio, bell with vibrato and noise snare; the rhythm section.
    Ym2608,
    // One YM2151: eight FM channels, fine-pitch vibrato and slides, a pitch-only
    // arpeggio and swept FM percussion.
    Ym2151,
    // A YM2612 with an SN76489: six FM channels with swept FM drums, three tone channels
    // with software envelopes and vibrato, noise hi-hats.
    Ym2612Sn76489,
};

inline constexpr TLogFamily AllLogFamilies[] = {TLogFamily::Ym2608, TLogFamily::Ym2151,
                                                TLogFamily::Ym2612Sn76489};

// "ym2608", "ym2151", "ym2612sn".
const char* LogFamilyName(TLogFamily Family);
std::optional<TLogFamily> LogFamilyByName(std::string_view Name);

using TByteSink = std::function<void(const std::uint8_t* Bytes, std::size_t Count)>;

// Passes a whole S98 file to Sink in pieces: the header, then one piece per bar until the
// log holds at least MinBytes, then the closing writes and the end command. Returns the
// file size.
std::uint64_t ComposeLog(TLogFamily Family, std::uint64_t MinBytes, std::uint32_t Seed,
                         const TByteSink& Sink);

std::vector<std::uint8_t> BuildLog(TLogFamily Family, std::uint64_t MinBytes,
                                   std::uint32_t Seed = 1);

// Writes the log to FileName through a temporary file renamed into place; returns its
// size. Throws std::runtime_error naming the file when it cannot be written.
std::uint64_t SaveLog(TLogFamily Family, std::uint64_t MinBytes, const std::string& FileName,
                      std::uint32_t Seed = 1);

} // namespace varnhold::tools
