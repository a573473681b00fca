#include "support/MidiText.h"

#include "support/TestSupport.h"

#include <cstdio>
#include <stdexcept>

namespace varnhold::test {

namespace {

std::string Hex(std::uint8_t Byte) {
    char Text[4];
    std::snprintf(Text, sizeof Text, "%02X", Byte);
    return Text;
}

// Reads the file front to back; every read checks the bounds it needs.
class TReader {
public:
    TReader(const std::vector<std::uint8_t>& Bytes) : Bytes(Bytes) {}

    std::size_t Offset() const { return Pos; }
    bool AtEnd() const { return Pos >= Bytes.size(); }

    [[noreturn]] void Fail(const std::string& What) const {
        throw std::runtime_error("malformed MIDI file at offset " + std::to_string(Pos) + ": " +
                                 What);
    }
    void Need(std::size_t Count, std::size_t Limit, const char* What) const {
        if (Count > Limit - Pos) Fail(std::string("truncated ") + What);
    }
    std::uint8_t Byte(std::size_t Limit, const char* What) {
        Need(1, Limit, What);
        return Bytes[Pos++];
    }
    std::uint32_t BigEndian(std::size_t Count, const char* What) {
        Need(Count, Bytes.size(), What);
        std::uint32_t Value = 0;
        for (std::size_t I = 0; I < Count; ++I)
            Value = Value << 8 | Bytes[Pos++];
        return Value;
    }
    void Magic(const char* Expected) {
        Need(4, Bytes.size(), "chunk type");
        if (std::string(Bytes.begin() + static_cast<std::ptrdiff_t>(Pos),
                        Bytes.begin() + static_cast<std::ptrdiff_t>(Pos + 4)) != Expected)
            Fail(std::string("expected chunk \"") + Expected + "\"");
        Pos += 4;
    }
    std::uint32_t VarLen(std::size_t Limit) {
        std::uint32_t Value = 0;
        for (int Count = 0; Count < 4; ++Count) {
            const std::uint8_t B = Byte(Limit, "variable-length quantity");
            Value = Value << 7 | (B & 0x7F);
            if ((B & 0x80) == 0) return Value;
        }
        Fail("variable-length quantity longer than four bytes");
    }
    std::string HexBytes(std::size_t Count, std::size_t Limit, const char* What) {
        Need(Count, Limit, What);
        std::string Text;
        for (std::size_t I = 0; I < Count; ++I)
            Text += (I ? " " : "") + Hex(Bytes[Pos++]);
        return Text;
    }
    void Skip(std::size_t Count) { Pos += Count; }

private:
    const std::vector<std::uint8_t>& Bytes;
    std::size_t Pos = 0;
};

// One channel message; running status is rejected, the writer never uses it.
std::string ChannelEvent(TReader& In, std::uint8_t Status, std::size_t Limit) {
    const auto Data = [&] {
        const std::uint8_t B = In.Byte(Limit, "channel message");
        if (B & 0x80) In.Fail("status byte where a data byte belongs");
        return std::to_string(B);
    };
    const std::string Channel = "ch" + std::to_string(Status & 0x0F) + " ";
    switch (Status & 0xF0) {
    case 0x80: {
        const std::string Note = Data();
        return Channel + "off " + Note + " " + Data();
    }
    case 0x90: {
        const std::string Note = Data();
        return Channel + "on " + Note + " " + Data();
    }
    case 0xA0: {
        const std::string Note = Data();
        return Channel + "polytouch " + Note + " " + Data();
    }
    case 0xB0: {
        const std::string Controller = Data();
        return Channel + "cc " + Controller + " " + Data();
    }
    case 0xC0: return Channel + "program " + Data();
    case 0xD0: return Channel + "pressure " + Data();
    default: {
        const std::string Lsb = Data();
        const std::string Msb = Data();
        return Channel + "bend " + Msb + (Lsb == "0" ? "" : " lsb=" + Lsb);
    }
    }
}

} // namespace

std::vector<std::string> MidiLines(const std::vector<std::uint8_t>& FileBytes) {
    TReader In(FileBytes);
    std::vector<std::string> Lines;

    In.Magic("MThd");
    const std::uint32_t HeaderLength = In.BigEndian(4, "header length");
    if (HeaderLength < 6) In.Fail("header length " + std::to_string(HeaderLength) + " is below 6");
    const std::uint32_t Format = In.BigEndian(2, "header");
    const std::uint32_t Tracks = In.BigEndian(2, "header");
    const std::uint32_t Division = In.BigEndian(2, "header");
    In.Need(HeaderLength - 6, FileBytes.size(), "header");
    In.Skip(HeaderLength - 6);
    Lines.push_back("header format=" + std::to_string(Format) +
                    " tracks=" + std::to_string(Tracks) + " division=" + std::to_string(Division));
    if (Format != 0 || Tracks != 1) In.Fail("only format 0 with one track is read");

    In.Magic("MTrk");
    const std::uint32_t TrackLength = In.BigEndian(4, "track length");
    In.Need(TrackLength, FileBytes.size(), "track: its length runs past the end of the file");
    const std::size_t TrackEnd = In.Offset() + TrackLength;

    std::uint64_t Tick = 0;
    bool Ended = false;
    while (!Ended) {
        if (In.Offset() >= TrackEnd) In.Fail("track ends without an end-of-track event");
        Tick += In.VarLen(TrackEnd);
        const std::string At = std::to_string(Tick) + " ";
        const std::uint8_t Status = In.Byte(TrackEnd, "event");
        if (Status < 0x80) In.Fail("data byte where a status byte belongs (running status)");
        if (Status < 0xF0) {
            Lines.push_back(At + ChannelEvent(In, Status, TrackEnd));
        } else if (Status == 0xF0 || Status == 0xF7) {
            const std::uint32_t Length = In.VarLen(TrackEnd);
            const std::string Data = In.HexBytes(Length, TrackEnd, "system-exclusive data");
            Lines.push_back(At + (Status == 0xF0 ? "sysex" : "escape") +
                            (Data.empty() ? "" : " " + Data));
        } else if (Status == 0xFF) {
            const std::uint8_t Type = In.Byte(TrackEnd, "meta event");
            const std::uint32_t Length = In.VarLen(TrackEnd);
            In.Need(Length, TrackEnd, "meta data");
            if (Type == 0x2F) {
                if (Length != 0) In.Fail("end of track with data");
                Lines.push_back(At + "end");
                Ended = true;
            } else if (Type == 0x51 && Length == 3) {
                const std::uint32_t Microseconds = In.BigEndian(3, "tempo");
                if (Microseconds == 0) In.Fail("tempo of 0 microseconds per quarter note");
                Lines.push_back(At + "tempo " + std::to_string(60000000u / Microseconds) + " (" +
                                std::to_string(Microseconds) + "us)");
            } else {
                const std::string Data = In.HexBytes(Length, TrackEnd, "meta data");
                Lines.push_back(At + "meta " + Hex(Type) + (Data.empty() ? "" : " " + Data));
            }
        } else {
            In.Fail("status byte " + Hex(Status) + " does not belong in a file");
        }
    }
    if (In.Offset() != TrackEnd) In.Fail("bytes after the end-of-track event");
    if (!In.AtEnd()) In.Fail("bytes after the track");
    return Lines;
}

std::vector<std::string> MidiFileLines(const std::string& Path) {
    return MidiLines(ReadFileBytes(Path));
}

std::string MidiToText(const std::vector<std::uint8_t>& FileBytes) {
    std::string Text;
    for (const auto& Line : MidiLines(FileBytes))
        Text += Line + '\n';
    return Text;
}

std::string MidiFileToText(const std::string& Path) {
    return MidiToText(ReadFileBytes(Path));
}

std::vector<std::string> Grep(const std::vector<std::string>& Lines, const std::string& Substring) {
    std::vector<std::string> Found;
    for (const auto& Line : Lines)
        if (Line.find(Substring) != std::string::npos) Found.push_back(Line);
    return Found;
}

std::vector<std::string> ChannelSetUpLines(int Expression) {
    std::vector<std::string> Lines;
    const std::string Cc11 = "cc 11 " + std::to_string(Expression);
    for (int c = 0; c < 16; ++c) {
        const std::string Ch = "0 ch" + std::to_string(c) + " ";
        for (const std::string Event : {"cc 101 0", "cc 100 0", "cc 6 2", "cc 38 0", "bend 64",
                                        "cc 7 127", Cc11.c_str(), "cc 10 64"})
            Lines.push_back(Ch + Event);
    }
    return Lines;
}

std::vector<std::string> DefaultFileStartLines() {
    std::vector<std::string> Lines{"header format=0 tracks=1 division=48", "0 tempo 120 (500000us)",
                                   "0 sysex 7F 7F 04 01 00 76 F7"};
    const auto Channels = ChannelSetUpLines();
    Lines.insert(Lines.end(), Channels.begin(), Channels.end());
    return Lines;
}

} // namespace varnhold::test
