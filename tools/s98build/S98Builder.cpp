#include "S98Builder.h"

#include <fstream>
#include <stdexcept>

namespace varnhold::tools {

namespace {
void Put32(std::vector<std::uint8_t>& Out, std::size_t At, std::uint32_t V) {
    for (int i = 0; i < 4; ++i)
        Out[At + i] = static_cast<std::uint8_t>(V >> (8 * i));
}
} // namespace

TS98Builder& TS98Builder::Sync(std::uint32_t Numerator, std::uint32_t Denominator) {
    SyncNum = Numerator;
    SyncDen = Denominator;
    return *this;
}

TS98Builder& TS98Builder::Device(std::uint32_t Type, std::uint32_t Clock, std::uint32_t Pan) {
    Devices.push_back({Type, Clock, Pan});
    return *this;
}

TS98Builder& TS98Builder::Write(std::uint8_t Device, std::uint8_t Port, std::uint8_t Register,
                                std::uint8_t Value) {
    Stream.push_back(static_cast<std::uint8_t>((Device << 1) | (Port & 1)));
    Stream.push_back(Register);
    Stream.push_back(Value);
    return *this;
}

TS98Builder& TS98Builder::Wait(std::uint32_t Syncs) {
    if (Syncs == 0)
        return *this;
    if (Syncs == 1) {
        Stream.push_back(0xFF);
        return *this;
    }
    Stream.push_back(0xFE);
    std::uint32_t Count = Syncs - 2;
    do {
        std::uint8_t B = Count & 0x7F;
        Count >>= 7;
        if (Count)
            B |= 0x80;
        Stream.push_back(B);
    } while (Count);
    return *this;
}

TS98Builder& TS98Builder::End() {
    Stream.push_back(0xFD);
    return *this;
}

TS98Builder& TS98Builder::Raw(std::initializer_list<std::uint8_t> Bytes) {
    Stream.insert(Stream.end(), Bytes.begin(), Bytes.end());
    return *this;
}

TS98Builder& TS98Builder::Raw(const std::vector<std::uint8_t>& Bytes) {
    Stream.insert(Stream.end(), Bytes.begin(), Bytes.end());
    return *this;
}

TS98Builder& TS98Builder::Magic(const std::string& ThreeBytes) {
    MagicBytes = ThreeBytes;
    return *this;
}
TS98Builder& TS98Builder::Version(char Digit) {
    VersionDigit = Digit;
    return *this;
}
TS98Builder& TS98Builder::Compression(std::uint32_t Value) {
    CompressionValue = Value;
    return *this;
}
TS98Builder& TS98Builder::TagOffset(std::uint32_t Value) {
    TagOffsetValue = Value;
    return *this;
}
TS98Builder& TS98Builder::DumpOffset(std::uint32_t Value) {
    DumpOffsetValue = Value;
    return *this;
}
TS98Builder& TS98Builder::DeviceCountField(std::uint32_t Value) {
    DeviceCountValue = Value;
    return *this;
}

std::uint32_t TS98Builder::DefaultDumpOffset() const {
    return static_cast<std::uint32_t>(32 + 16 * Devices.size());
}

std::vector<std::uint8_t> TS98Builder::Build() const {
    std::vector<std::uint8_t> Out(DefaultDumpOffset(), 0);
    for (std::size_t i = 0; i < 3 && i < MagicBytes.size(); ++i)
        Out[i] = static_cast<std::uint8_t>(MagicBytes[i]);
    Out[3] = static_cast<std::uint8_t>(VersionDigit);
    Put32(Out, 4, SyncNum);
    Put32(Out, 8, SyncDen);
    Put32(Out, 12, CompressionValue);
    Put32(Out, 16, TagOffsetValue.value_or(0));
    Put32(Out, 20, DumpOffsetValue.value_or(DefaultDumpOffset()));
    Put32(Out, 24, 0);
    Put32(Out, 28, DeviceCountValue.value_or(static_cast<std::uint32_t>(Devices.size())));
    for (std::size_t n = 0; n < Devices.size(); ++n) {
        Put32(Out, 32 + 16 * n, Devices[n].Type);
        Put32(Out, 36 + 16 * n, Devices[n].Clock);
        Put32(Out, 40 + 16 * n, Devices[n].Pan);
    }
    Out.insert(Out.end(), Stream.begin(), Stream.end());
    return Out;
}

void TS98Builder::Save(const std::string& FileName) const {
    const auto Bytes = Build();
    std::ofstream F(FileName, std::ios::binary | std::ios::trunc);
    F.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    if (!F)
        throw std::runtime_error("cannot write " + FileName);
}

} // namespace varnhold::tools
