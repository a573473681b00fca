// Composes S98 logs in a few readable lines: header fields, device records, register
// writes, waits. Used by the tests, the example tune and the benchmark logs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnhold::tools {

// S98 device type codes.
enum S98Device : std::uint32_t {
    S98None = 0,
    S98YM2149 = 1,
    S98YM2203 = 2,
    S98YM2612 = 3,
    S98YM2608 = 4,
    S98YM2151 = 5,
    S98YM2413 = 6,
    S98YM3526 = 7,
    S98YM3812 = 8,
    S98YMF262 = 9,
    S98AY38910 = 15,
    S98SN76489 = 16,
};

class TS98Builder {
public:
    explicit TS98Builder(char Version = '3') : VersionDigit(Version) {}

    TS98Builder& Sync(std::uint32_t Numerator, std::uint32_t Denominator);
    TS98Builder& Device(std::uint32_t Type, std::uint32_t Clock = 0, std::uint32_t Pan = 0);

    // A register write: command byte (Device << 1) | Port, then register and value.
    TS98Builder& Write(std::uint8_t Device, std::uint8_t Port, std::uint8_t Register,
                       std::uint8_t Value);
    // Waits of Syncs periods: 0xFF for one, else 0xFE with the count Syncs - 2.
    TS98Builder& Wait(std::uint32_t Syncs = 1);
    TS98Builder& End();                       // 0xFD
    TS98Builder& Raw(std::initializer_list<std::uint8_t> Bytes);
    TS98Builder& Raw(const std::vector<std::uint8_t>& Bytes);

    // Header fields that are normally derived; set them to build broken files.
    TS98Builder& Magic(const std::string& ThreeBytes);
    TS98Builder& Version(char Digit);
    TS98Builder& Compression(std::uint32_t Value);
    TS98Builder& TagOffset(std::uint32_t Value);
    TS98Builder& DumpOffset(std::uint32_t Value);
    TS98Builder& DeviceCountField(std::uint32_t Value);

    std::size_t StreamSize() const { return Stream.size(); }
    // Offset of the first command byte in the built file.
    std::uint32_t DefaultDumpOffset() const;

    std::vector<std::uint8_t> Build() const;
    // Writes Build() to FileName; throws std::runtime_error on failure.
    void Save(const std::string& FileName) const;

private:
    struct Record {
        std::uint32_t Type, Clock, Pan;
    };
    char VersionDigit;
    std::string MagicBytes = "S98";
    std::uint32_t SyncNum = 10, SyncDen = 1000, CompressionValue = 0;
    std::optional<std::uint32_t> TagOffsetValue, DumpOffsetValue, DeviceCountValue;
    std::vector<Record> Devices;
    std::vector<std::uint8_t> Stream;
};

} // namespace varnhold::tools
