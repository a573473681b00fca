// A readable dump of a format-0 Standard MIDI File, one event per line with its absolute
// tick, so that a golden test shows which event differs rather than which byte.
//
//   header format=0 tracks=1 division=48
//   0 tempo 120 (500000us)
//   0 sysex 7F 7F 04 01 00 76 F7    (the bytes after F0 and the length)
//   0 ch0 cc 7 100
//   0 ch0 bend 64                 (bend 64 lsb=5 when the LSB is not 0)
//   0 ch0 program 3
//   10 ch0 on 60 100
//   20 ch0 off 60 0
//   20 meta 03 41 42              (any other meta: type, then its data)
//   21 end
//
// Numbers are decimal, channels 0-based, hex bytes upper case. Every line ends in '\n' in
// the text form. Malformed input throws std::runtime_error naming the byte offset.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnhold::test {

std::vector<std::string> MidiLines(const std::vector<std::uint8_t>& FileBytes);
std::vector<std::string> MidiFileLines(const std::string& Path);

std::string MidiToText(const std::vector<std::uint8_t>& FileBytes);
std::string MidiFileToText(const std::string& Path);

// The lines that contain Substring, in their order.
std::vector<std::string> Grep(const std::vector<std::string>& Lines, const std::string& Substring);

// The converter's tick-0 set-up of the sixteen channels as the dump shows it; Expression is
// the controller 11 value (0, or 127 with velocity on).
std::vector<std::string> ChannelSetUpLines(int Expression = 0);
// The whole start of a converted file with the default options: header, tempo 120, master
// volume and the channel set-up.
std::vector<std::string> DefaultFileStartLines();

} // namespace varnhold::test
