// The conversion job: S98 check, device set-up, command loop and time base.
//
// Device record (16 bytes after the header, one per device number, little-endian):
//   0 DeviceType   4 DeviceClock (0 = 7987200 Hz)   8 DevicePan (unused)   12 reserved
//
// The check and the command loop walk the loaded bytes with an index instead of calling
// the stream per byte: a long log has tens of millions of command bytes.
#include "job/VarnholdU.h"

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "chips/SndAY38910U.h"
#include "chips/SndSN76489U.h"
#include "chips/SndYM2151U.h"
#include "chips/SndYM2203U.h"
#include "chips/SndYM2413U.h"
#include "chips/SndYM2608U.h"
#include "chips/SndYM2612U.h"
#include "chips/SndYM3812U.h"
#include "platform/ErrorsU.h"
#include "platform/FileUtilU.h"
#include "smf/SmfU.h"

namespace varnhold {

namespace {

constexpr std::uint64_t HeaderSize = 32;
constexpr std::uint64_t DeviceRecordSize = 16;
constexpr std::uint32_t MaxDeviceCount = 64;
constexpr std::uint32_t DefaultDeviceClock = 7987200;
constexpr std::uint32_t MaxDeviceType = 16;

constexpr std::uint8_t CmdLastWrite = 0x7F;
constexpr std::uint8_t CmdEnd = 0xFD;
constexpr std::uint8_t CmdWait = 0xFE;
constexpr std::uint8_t CmdSync = 0xFF;

// Finish ends the notes one tick after the last mark; that end time must still fit a
// four-byte variable-length quantity, and so must every delta before it.
constexpr std::uint64_t MaxTick = MaxVarLen - 1;

const char* const TextUnknownError = "不明なエラー";
const char* const TextDone = "[Done]";
const char* const TextCannotRead = "ファイルが読み込めない又はファイルサイズが不正です.";
const char* const TextNotS98 = "指定のファイルはS98形式ではありません.";
const char* const TextBadVersion = "対応していないバージョンです.";
const char* const TextCompressed = "圧縮データには対応していません.";
const char* const TextBadDeviceCount = "使用デバイス数が不正です.";
const char* const TextBadDumpOffset = "ダンプデータのアドレスが不正です.";
const char* const TextBadStructure = "ダンプデータの構造に問題があります.";

std::uint32_t Get32(const std::uint8_t* P) {
    return static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 |
           static_cast<std::uint32_t>(P[2]) << 16 | static_cast<std::uint32_t>(P[3]) << 24;
}

void DecodeHeader(const std::uint8_t* P, TS98Header& Header) {
    std::memcpy(Header.Magic.data(), P, 3);
    Header.Version = P[3];
    Header.SyncNumerator = Get32(P + 4);
    Header.SyncDenominator = Get32(P + 8);
    Header.Compression = Get32(P + 12);
    Header.TagOffset = Get32(P + 16);
    Header.DumpOffset = Get32(P + 20);
    Header.LoopOffset = Get32(P + 24);
    Header.DeviceCount = Get32(P + 28);
}

// Where the command stream ends: version 3 names it (0 = the file size); older versions run
// to the end of the file or the end command.
std::uint64_t StreamEnd(const TS98Header& Header, int Version, std::uint64_t Size) {
    if (Version != 3) return UINT64_MAX;
    return Header.TagOffset != 0 ? Header.TagOffset : Size;
}

struct TDeviceRecord {
    std::uint32_t DeviceType = 0;
    std::uint32_t DeviceClock = 0;
};

// Reads the record at the stream's position; bytes missing at the end of the file read as 0.
TDeviceRecord ReadDeviceRecord(TMemoryStream& Stream) {
    std::uint8_t Bytes[DeviceRecordSize] = {};
    Stream.Read(Bytes, sizeof Bytes);
    return {Get32(Bytes), Get32(Bytes + 4)};
}

// The model class of each S98 device type; types above the table have no model either.
constexpr std::array<const TSndDeviceClass*, MaxDeviceType + 1> DeviceTypeClasses{
    &TSndNothing::Class, // 0  none
    &TSndYM2149::Class,  // 1  YM2149
    &TSndYM2203::Class,  // 2  YM2203
    &TSndYM2612::Class,  // 3  YM2612
    &TSndYM2608::Class,  // 4  YM2608
    &TSndYM2151::Class,  // 5  YM2151
    &TSndYM2413::Class,  // 6  YM2413
    &TSndYM3812::Class,  // 7  YM3526
    &TSndYM3812::Class,  // 8  YM3812
    &TSndNothing::Class, // 9  YMF262
    &TSndNothing::Class, // 10
    &TSndNothing::Class, // 11
    &TSndNothing::Class, // 12
    &TSndNothing::Class, // 13
    &TSndNothing::Class, // 14
    &TSndAY38910::Class, // 15 AY-3-8910
    &TSndSN76489::Class, // 16 SN76489
};

const TSndDeviceClass& ClassOfDeviceType(std::uint32_t Type) {
    return Type <= MaxDeviceType ? *DeviceTypeClasses[Type] : TSndNothing::Class;
}

enum : std::uint8_t {
    TypeYM2149 = 1,
    TypeYM2203 = 2,
    TypeYM2612 = 3,
    TypeYM2608 = 4,
    TypeYM2151 = 5,
    TypeYM2413 = 6,
    TypeYM3526 = 7,
    TypeYM3812 = 8,
    TypeYMF262 = 9,
    TypeAY38910 = 15,
    TypeSN76489 = 16,
};

using TTypeCounts = std::array<std::uint8_t, MaxDeviceType + 1>;

struct TDeviceSet {
    std::uint8_t Code;
    TTypeCounts Counts;
};

constexpr TTypeCounts UsedDevices(std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> L) {
    TTypeCounts Counts{};
    for (const auto& [Type, Count] : L)
        Counts[Type] = Count;
    return Counts;
}

// The known device combinations, each written as one output; first match wins.
constexpr std::array<TDeviceSet, 17> KnownDeviceSets{{
    {0, UsedDevices({})},
    {2, UsedDevices({{TypeYM2149, 1}, {TypeYM2151, 1}})},
    {3, UsedDevices({{TypeYM2149, 3}})},
    {3, UsedDevices({{TypeYM2149, 2}})},
    {4, UsedDevices({{TypeYM2149, 1}})},
    {5, UsedDevices({{TypeYM2203, 1}})},
    {6, UsedDevices({{TypeYM2612, 1}})},
    {7, UsedDevices({{TypeYM2608, 1}})},
    {8, UsedDevices({{TypeYM2151, 1}})},
    {9, UsedDevices({{TypeYM2413, 1}})},
    {10, UsedDevices({{TypeYM3526, 1}})},
    {11, UsedDevices({{TypeYM3812, 1}})},
    {12, UsedDevices({{TypeYMF262, 1}})},
    {13, UsedDevices({{TypeAY38910, 1}})},
    {14, UsedDevices({{TypeSN76489, 1}})},
    {15, UsedDevices({{TypeYM2413, 1}, {TypeSN76489, 1}})},
    {16, UsedDevices({{TypeYM2612, 1}, {TypeSN76489, 1}})},
}};

constexpr std::uint8_t UnknownDeviceSet = 1;

// The channel-map row of a model of Type at device number Index within device set SetCode.
std::uint8_t ChannelMapRowFor(std::uint32_t Type, std::uint8_t SetCode, std::uint32_t Index) {
    switch (Type) {
    case TypeYM2149:
        if (SetCode == 2) return 1;
        if (SetCode == 3) return Index < 3 ? static_cast<std::uint8_t>(3 + Index) : 0;
        return 0;
    case TypeYM2413: return 6;
    case TypeSN76489: return SetCode == 15 || SetCode == 16 ? 7 : 0;
    default: return 0;
    }
}

std::string FormatSuffix(std::uint32_t Index, const char* ClassName) {
    return "_ID" + std::to_string(Index) + "_" + ClassName;
}

// The wait of a 0xFE command: its count plus 2. Keeps the low 32 bits of an over-long count.
std::uint64_t ReadWaitCount(const std::uint8_t* Data, std::uint64_t Size, std::uint64_t& Pos) {
    std::uint32_t Count = 0;
    unsigned Shift = 0;
    while (Pos < Size) {
        const std::uint8_t B = Data[Pos++];
        if (Shift < 32) Count |= static_cast<std::uint32_t>(B & 0x7F) << Shift;
        Shift += 7;
        if (!(B & 0x80)) break;
    }
    return static_cast<std::uint64_t>(Count) + 2;
}

// 192 / Resolution, rounded to extended precision as the tick formula wants it.
long double ResolutionRatio(std::uint32_t Resolution) {
    return 192.0L / static_cast<long double>(Resolution);
}

// The tick before truncation. SyncCount * 192 is exact in the 64-bit significand for any
// count a file can reach; each further product is rounded to extended precision.
long double TickValue(std::uint64_t SyncCount, double SyncScale, long double Ratio) {
    const long double Scaled = static_cast<long double>(SyncCount) * 192.0L;
    const long double Seconds = Scaled * static_cast<long double>(SyncScale);
    return Seconds * Ratio;
}

std::uint64_t TruncateTick(long double Value) {
    constexpr long double Beyond = 18446744073709551616.0L; // 2^64
    if (!(Value < Beyond)) return UINT64_MAX;
    return static_cast<std::uint64_t>(Value);
}

} // namespace

std::string OutputSourceName(const std::string& FileName, const std::string& OutputDir) {
    if (OutputDir.empty()) return FileName;
    return (OutputDir.back() == '/' ? OutputDir : OutputDir + "/") + ExtractFileName(FileName);
}

TVarnhold::TVarnhold() = default;
TVarnhold::~TVarnhold() = default;

std::uint64_t TVarnhold::TickOf(std::uint64_t SyncCount) const {
    return TruncateTick(TickValue(SyncCount, SyncScale, ResolutionRatio(Resolution)));
}

void TVarnhold::PrepareConverter(TStateConv* Converter) {
    if (!Converter) return;
    Converter->UsePitchBend = UsePitchBend;
    Converter->UsePitchBendVib = UsePitchBendVib;
    Converter->UsePanpot = UsePanpot;
    Converter->UseProgramChange = UseProgramChange;
    Converter->UseVelocity = UseVelocity;
    Converter->DebugMode = DebugMode;
    Converter->Reset(static_cast<std::uint16_t>(Tempo()));
}

int TVarnhold::ValidateS98(TMemoryStream& Stream, std::string& Text) {
    std::uint8_t Bytes[HeaderSize];
    if (Stream.Read(Bytes, sizeof Bytes) < sizeof Bytes) {
        Text = TextCannotRead;
        return -1;
    }
    TS98Header H;
    DecodeHeader(Bytes, H);
    if (std::memcmp(H.Magic.data(), "S98", 3) != 0) {
        Text = TextNotS98;
        return -1;
    }
    if (H.Version < '0' || H.Version > '3') {
        Text = TextBadVersion;
        return -1;
    }
    const int Version = H.Version - '0';
    if (H.Compression != 0) {
        Text = TextCompressed;
        return -1;
    }
    const std::uint64_t Size = Stream.Size();
    // Device records must lie within the file: they are read without further checks.
    if (Version == 3 &&
        (H.DeviceCount > MaxDeviceCount || HeaderSize + DeviceRecordSize * H.DeviceCount > Size)) {
        Text = TextBadDeviceCount;
        return -1;
    }
    const std::uint64_t EndOffset = StreamEnd(H, Version, Size);
    if (H.DumpOffset > Size) {
        Text = TextBadDumpOffset;
        return -1;
    }

    const std::uint8_t* Data = Stream.Data();
    std::uint64_t Pos = H.DumpOffset;
    auto Stop = [&](int Result) {
        Stream.SetPosition(Pos);
        if (Result < 0) Text = "[ADDR:" + FormatHex8(Pos) + "] " + TextBadStructure;
        return Result;
    };
    while (Pos < Size) {
        const std::uint8_t Cmd = Data[Pos++];
        ProcessMessages.Process();
        if (Pos >= EndOffset) break;
        if (Cmd <= CmdLastWrite) {
            DeviceUsed[Cmd >> 1] = true;
            if (Size - Pos < 2) {
                Pos = Size;
                return Stop(-1);
            }
            Pos += 2;
        } else if (Cmd == CmdSync) {
            continue;
        } else if (Cmd == CmdWait) {
            for (;;) {
                if (Pos >= Size) return Stop(-1);
                if (!(Data[Pos++] & 0x80)) break;
            }
        } else if (Cmd == CmdEnd) {
            break;
        } else {
            return Stop(-1);
        }
    }
    return Stop(Version);
}

void TVarnhold::CountDeviceTypes(TMemoryStream& Stream, std::uint32_t Count) {
    for (std::uint32_t n = 0; n < Count; ++n) {
        const TDeviceRecord Record = ReadDeviceRecord(Stream);
        const bool Used = n < DeviceUsed.size() && DeviceUsed[n];
        const std::uint32_t Type = Used ? Record.DeviceType : 0;
        if (Type == 0) continue;
        if (Type <= MaxDeviceType)
            ++DeviceTypeCount[Type];
        else
            ++OtherDeviceTypeCount;
    }
}

std::uint8_t TVarnhold::ClassifyDeviceSet(const std::array<std::uint8_t, 17>& Counts) {
    for (const TDeviceSet& Set : KnownDeviceSets)
        if (Set.Counts == Counts) return Set.Code;
    return UnknownDeviceSet;
}

bool TVarnhold::UsesSharedOutput(std::uint8_t Code) {
    return Code != UnknownDeviceSet;
}

void TVarnhold::CreateDevices(TMemoryStream& Stream, std::uint32_t Count) {
    if (!Devices) Devices = std::make_unique<TSndDeviceList>();
    if (SharedOutput) {
        SharedConverter = std::make_unique<TStateConv>();
        PrepareConverter(SharedConverter.get());
    }
    if (Count == 0) {
        TSndDevice& Model = Devices->Add(TSndYM2608::Class);
        CurrentDevice = &Model;
        CurrentDeviceClass = Model.DeviceClass;
        Model.SetClock(DefaultDeviceClock);
        Model.SetChannelMapRow(0);
        return;
    }
    for (std::uint32_t n = 0; n < Count; ++n) {
        ProcessMessages.Process();
        const TDeviceRecord Record = ReadDeviceRecord(Stream);
        const bool Used = n < DeviceUsed.size() && DeviceUsed[n];
        const std::uint32_t Type = Used ? Record.DeviceType : 0;
        const TSndDeviceClass& Class = ClassOfDeviceType(Type);
        TSndDevice& Model = Devices->Add(Class);
        CurrentDevice = &Model;
        CurrentDeviceClass = Model.DeviceClass;
        if (&Class != &TSndNothing::Class)
            Model.SetChannelMapRow(ChannelMapRowFor(Type, DeviceSetCode, n));
        Model.SetClock(Record.DeviceClock != 0 ? Record.DeviceClock : DefaultDeviceClock);
        if (!SharedOutput) {
            auto& Converter = OwnConverters.emplace_back(std::make_unique<TStateConv>());
            Model.Converter = Converter.get();
            Converter->NameSuffix = FormatSuffix(n, Class.Name);
            PrepareConverter(Converter.get());
        }
    }
}

void TVarnhold::SetUpDevices(TMemoryStream& Stream, int Version) {
    std::uint8_t Bytes[HeaderSize];
    Stream.SetPosition(0);
    Stream.Read(Bytes, sizeof Bytes);
    DecodeHeader(Bytes, Header);
    if (Header.SyncNumerator == 0) Header.SyncNumerator = 10;
    if (Header.SyncDenominator == 0) Header.SyncDenominator = 1000;
    SyncScale = static_cast<double>(static_cast<long double>(Header.SyncNumerator) /
                                    static_cast<long double>(Header.SyncDenominator) * 0.5L);
    const std::uint64_t AfterHeader = Stream.Position();
    if (Version < 3) Header.DeviceCount = 0;
    // A file beyond 4 GiB keeps 0 here: the loop then runs to the end of the file itself,
    // where a size cut to 32 bits would end it early.
    if (Version == 3 && Header.TagOffset == 0 && Stream.Size() <= UINT32_MAX)
        Header.TagOffset = static_cast<std::uint32_t>(Stream.Size());

    DeviceTypeCount.fill(0);
    OtherDeviceTypeCount = 0;
    DeviceSetCode = 0;
    CountDeviceTypes(Stream, Header.DeviceCount);
    DeviceSetCode =
        OtherDeviceTypeCount != 0 ? UnknownDeviceSet : ClassifyDeviceSet(DeviceTypeCount);
    SharedOutput = UsesSharedOutput(DeviceSetCode);
    Stream.SetPosition(AfterHeader);
    CreateDevices(Stream, Header.DeviceCount);
}

void TVarnhold::RunCommands(TMemoryStream& Stream, int Version, const std::string& FileName) {
    const std::uint8_t* Data = Stream.Data();
    const std::uint64_t Size = Stream.Size();
    const std::uint64_t EndOffset = StreamEnd(Header, Version, Size);
    const bool AddressesDevices = Version == 3;

    // Who receives the writes of each device number, resolved once instead of per write.
    struct TTarget {
        TSndDevice* Device = nullptr;
        TStateConv* Converter = nullptr;
    };
    std::array<TTarget, MaxDeviceCount> Targets{};
    std::vector<TTarget> MarkTargets;
    const int Count = Devices->Count();
    for (int n = 0; n < Count && n < static_cast<int>(Targets.size()); ++n) {
        TSndDevice* Model = Devices->Get(n);
        Targets[n] = {Model, SharedOutput ? SharedConverter.get() : Model->Converter};
    }
    if (SharedOutput)
        MarkTargets.push_back({nullptr, SharedConverter.get()});
    else
        for (int n = 0; n < Count; ++n)
            MarkTargets.push_back({Devices->Get(n), Devices->Get(n)->Converter});

    const long double Ratio = ResolutionRatio(Resolution);
    std::uint64_t SyncCount = 0;
    // The tick moves on exactly when the untruncated value reaches the last tick + 1;
    // comparing against that spares most marks the costly conversion to an integer.
    long double NextTick = 1.0L;
    auto TimingMark = [&] {
        const long double Value = TickValue(SyncCount, SyncScale, Ratio);
        if (!(Value >= NextTick)) return;
        const std::uint64_t Tick = TruncateTick(Value);
        if (Tick > MaxTick)
            throw ELimitError(FileName + ": the log runs to MIDI tick " + std::to_string(Tick) +
                              ", beyond the " + std::to_string(MaxTick) +
                              " ticks a MIDI file can hold");
        for (const TTarget& T : MarkTargets) {
            if (T.Device) CurrentDevice = T.Device;
            if (T.Converter) {
                T.Converter->ProcessMark();
                T.Converter->Now = static_cast<std::int32_t>(Tick);
            }
        }
        NextTick = static_cast<long double>(Tick) + 1.0L;
    };

    std::uint64_t Pos = Stream.Position();
    while (Pos < Size) {
        const std::uint8_t Cmd = Data[Pos++];
        ProcessMessages.Process();
        if (Pos >= EndOffset) break;
        if (Cmd <= CmdLastWrite) {
            const unsigned DeviceNumber = AddressesDevices ? Cmd >> 1 : 0;
            const std::uint8_t Port = Cmd & 1;
            const std::uint8_t Register = Pos < Size ? Data[Pos++] : 0;
            const std::uint8_t Value = Pos < Size ? Data[Pos++] : 0;
            const TTarget& T = Targets[DeviceNumber];
            if (!T.Device)
                throw EListIndexError(FileName + ": register write to device " +
                                      std::to_string(DeviceNumber) +
                                      ", which has no chip model (the log sets up " +
                                      std::to_string(Count) + " device(s))");
            CurrentDevice = T.Device;
            CurrentDeviceClass = T.Device->DeviceClass;
            T.Device->WriteRegister(*T.Converter, Port, Register, Value);
        } else if (Cmd == CmdSync) {
            ++SyncCount;
            TimingMark();
        } else if (Cmd == CmdWait) {
            SyncCount += ReadWaitCount(Data, Size, Pos);
            TimingMark();
        } else if (Cmd == CmdEnd) {
            break;
        }
    }
    Stream.SetPosition(Pos);
}

namespace {

// Frees what one conversion owns, on every way out of Convert.
class TConversionScope {
public:
    explicit TConversionScope(std::unique_ptr<TSndDeviceList>& DeviceList,
                              std::unique_ptr<TStateConv>& Shared,
                              std::vector<std::unique_ptr<TStateConv>>& Own, TSndDevice*& Current)
        : DeviceList(DeviceList), Shared(Shared), Own(Own), Current(Current) {}
    ~TConversionScope() {
        Current = nullptr;
        DeviceList.reset();
        Shared.reset();
        Own.clear();
    }
    TConversionScope(const TConversionScope&) = delete;
    TConversionScope& operator=(const TConversionScope&) = delete;

private:
    std::unique_ptr<TSndDeviceList>& DeviceList;
    std::unique_ptr<TStateConv>& Shared;
    std::vector<std::unique_ptr<TStateConv>>& Own;
    TSndDevice*& Current;
};

// An input named like one of its outputs (a log saved as song.mid) would be replaced by
// that output. Refused before anything is written, so the log is never lost.
bool SameDirectoryEntry(const std::string& A, const std::string& B) {
    namespace fs = std::filesystem;
    const fs::path PathA(A), PathB(B);
    if (PathA.filename() != PathB.filename()) return false;
    const fs::path DirA = PathA.has_parent_path() ? PathA.parent_path() : fs::path(".");
    const fs::path DirB = PathB.has_parent_path() ? PathB.parent_path() : fs::path(".");
    std::error_code Error;
    return fs::equivalent(DirA, DirB, Error);
}

void RefuseToReplaceInput(const std::string& FileName, const std::string& Target,
                          const std::vector<TStateConv*>& Outputs) {
    for (const TStateConv* Converter : Outputs) {
        std::vector<std::string> Names{Converter->MidFileName(Target)};
        if (Converter->WritesVoiceBank()) Names.push_back(Converter->Vm3FileName(Target));
        for (const std::string& Name : Names)
            if (SameDirectoryEntry(Name, FileName))
                throw EFileError("cannot write \"" + Name +
                                 "\": it is the input file; rename the input or choose "
                                 "another output directory");
    }
}

} // namespace

bool TVarnhold::Convert(const std::string& FileName) {
    ResultText = TextUnknownError;
    if (Resolution == 0) throw std::invalid_argument("TVarnhold: Resolution must be at least 1");

    const std::string Program = ProgramFile.empty() ? ProgramFileName() : ProgramFile;
    // Without a known program path there is no directory to look in (not the working one).
    if (!Program.empty() && FileExists(ExtractFilePath(Program) + "debug.txt")) DebugMode = true;
    if (!OutputDir.empty() && !DirectoryExists(OutputDir))
        throw EFileError("output directory " + OutputDir + " does not exist (for " + FileName +
                         ")");

    TMemoryStream Stream;
    Devices = std::make_unique<TSndDeviceList>();
    TConversionScope Scope(Devices, SharedConverter, OwnConverters, CurrentDevice);
    Stream.LoadFromFile(FileName);
    Stream.SetPosition(0);

    const int Version = ValidateS98(Stream, ResultText);
    if (Version < 0) return false;

    SetUpDevices(Stream, Version);

    const std::string Target = OutputSourceName(FileName, OutputDir);
    std::vector<TStateConv*> Outputs;
    if (SharedOutput) {
        Outputs.push_back(SharedConverter.get());
    } else {
        for (int n = 0; n < Devices->Count(); ++n) {
            TSndDevice* Model = Devices->Get(n);
            if (Model->Converter && Model->DeviceClass != &TSndNothing::Class)
                Outputs.push_back(Model->Converter);
        }
    }
    RefuseToReplaceInput(FileName, Target, Outputs);

    Stream.SetPosition(Header.DumpOffset);
    RunCommands(Stream, Version, FileName);
    // The log is not read again: its memory goes back before the output files are built.
    std::vector<std::uint8_t>().swap(Stream.Buffer());

    for (TStateConv* Converter : Outputs)
        Converter->Finish(Target);
    ResultText = TextDone;
    return true;
}

} // namespace varnhold
