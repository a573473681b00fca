// The conversion job: one object turns one S98 file into its .mid (and .vm3) files.
//
// S98 header (32 bytes, integers little-endian):
//   0  "S98"   3  version digit '0'..'3'   4  SyncNumerator   8  SyncDenominator
//   12 Compression (must be 0)   16 TagOffset (v3: end of the command stream, 0 = file size)
//   20 DumpOffset   24 LoopOffset (unused)   28 DeviceCount (v3: 16-byte records follow)
// Command stream: 00-7F write (device = byte >> 1, port = bit 0; register, value follow),
//   FD end, FE wait of (varlen count + 2) syncs, FF wait of one sync, 80-FC forbidden.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "chips/SndBaseU.h"
#include "convert/StateConvU.h"
#include "platform/MemoryStreamU.h"
#include "platform/MessagePumpU.h"

namespace varnhold {

struct TS98Header {
    std::array<std::uint8_t, 3> Magic{};
    std::uint8_t Version = 0; // the ASCII digit
    std::uint32_t SyncNumerator = 0;
    std::uint32_t SyncDenominator = 0;
    std::uint32_t Compression = 0;
    std::uint32_t TagOffset = 0;
    std::uint32_t DumpOffset = 0;
    std::uint32_t LoopOffset = 0;
    std::uint32_t DeviceCount = 0;
};

// Long double must be the 80-bit extended type: the tick formula depends on its rounding.
static_assert(std::numeric_limits<long double>::digits == 64,
              "the tick formula needs an extended type with a 64-bit significand");

// The name that the outputs of FileName are named after: FileName itself, or its file name
// within OutputDir when that is set.
std::string OutputSourceName(const std::string& FileName, const std::string& OutputDir);

class TVarnhold {
public:
    bool UsePanpot = true;
    bool UseProgramChange = false;
    bool UsePitchBend = true;
    bool UsePitchBendVib = true;
    bool UseVelocity = false;
    bool DebugMode = false;
    std::uint32_t Resolution = 192;
    double SyncScale = 0;
    std::array<bool, 64> DeviceUsed{};
    TS98Header Header;
    std::array<std::uint8_t, 17> DeviceTypeCount{};
    // Used records of a type above 16: no known set holds them, so any makes the set unknown.
    std::uint8_t OtherDeviceTypeCount = 0;
    std::uint8_t DeviceSetCode = 0;
    bool SharedOutput = false;
    std::unique_ptr<TStateConv> SharedConverter;
    TSndDevice* CurrentDevice = nullptr;
    const TSndDeviceClass* CurrentDeviceClass = nullptr;
    std::unique_ptr<TSndDeviceList> Devices;
    std::string ResultText;

    // Beyond the window's options: where outputs go (empty: beside the input), the pump
    // called once per command byte, and the program file beside which "debug.txt" switches
    // DebugMode on (empty: the running program).
    std::string OutputDir;
    TMessagePump ProcessMessages;
    std::string ProgramFile;

    TVarnhold();
    ~TVarnhold();

    // True after a complete run ("[Done]"); false when the file check fails (ResultText
    // holds its message). Platform errors and limits are thrown after clean-up.
    bool Convert(const std::string& FileName);

    // Version 0..3, or -1 with the message in ResultText. Sets DeviceUsed.
    int ValidateS98(TMemoryStream& Stream, std::string& ResultText);

    void CountDeviceTypes(TMemoryStream& Stream, std::uint32_t Count);
    static std::uint8_t ClassifyDeviceSet(const std::array<std::uint8_t, 17>& Counts);
    static bool UsesSharedOutput(std::uint8_t Code);
    void CreateDevices(TMemoryStream& Stream, std::uint32_t Count);

    // The steps between a passed check and the command loop: reads the header, works out
    // the time base, classifies the device set and builds the converters and the models
    // into Devices (which must exist). Version is what ValidateS98 returned.
    void SetUpDevices(TMemoryStream& Stream, int Version);

    std::uint32_t Tempo() const { return 23040 / Resolution; }
    void PrepareConverter(TStateConv* Converter);

    // The tick of SyncCount syncs under the current SyncScale and Resolution.
    std::uint64_t TickOf(std::uint64_t SyncCount) const;

private:
    std::vector<std::unique_ptr<TStateConv>> OwnConverters;

    // The command loop from the stream's position; throws for a device without a model
    // and for a tick beyond what a MIDI file holds, naming FileName.
    void RunCommands(TMemoryStream& Stream, int Version, const std::string& FileName);
};

} // namespace varnhold
