#include "FuzzHarness.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <system_error>

#include "job/VarnholdU.h"
#include "platform/ErrorsU.h"

namespace varnhold::fuzz {

namespace {

namespace fs = std::filesystem;

using TBytes = std::vector<std::uint8_t>;
// Every regular file below a directory, by path relative to it.
using TSnapshot = std::map<std::string, TBytes>;

const char* const InputName = "song.s98";
const char* const OutputSubdir = "out";
const TBytes OlderMidi = {'o', 'l', 'd', 'e', 'r', ' ', 'm', 'i', 'd', 'i'};
const TBytes OlderBank = {'o', 'l', 'd', 'e', 'r', ' ', 'b', 'a', 'n', 'k'};

// A private directory, removed with its content on every way out.
class TScratchDir {
public:
    TScratchDir() {
        std::string Pattern = (fs::temp_directory_path() / "varnhold-fuzz-XXXXXX").string();
        if (::mkdtemp(Pattern.data()) == nullptr)
            throw std::runtime_error("cannot create a directory from " + Pattern + ": " +
                                     std::strerror(errno));
        Path = Pattern;
    }
    ~TScratchDir() {
        std::error_code Ignored;
        fs::remove_all(Path, Ignored);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    fs::path Path;
};

void WriteBytes(const fs::path& File, const std::uint8_t* Data, std::size_t Size) {
    std::ofstream Out(File, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    Out.close();
    if (!Out) throw std::runtime_error("cannot write " + File.string());
}

TBytes ReadBytes(const fs::path& File) {
    std::ifstream In(File, std::ios::binary);
    TBytes Bytes{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
    if (!In.eof() && In.fail()) throw std::runtime_error("cannot read " + File.string());
    return Bytes;
}

TSnapshot Snapshot(const fs::path& Dir) {
    TSnapshot Files;
    for (const auto& Entry : fs::recursive_directory_iterator(Dir))
        if (Entry.is_regular_file())
            Files[fs::relative(Entry.path(), Dir).string()] = ReadBytes(Entry.path());
    return Files;
}

bool ReadVarLen(const TBytes& B, std::size_t& Pos, std::size_t End, std::uint32_t& Value) {
    Value = 0;
    for (int i = 0; i < 4; ++i) {
        if (Pos >= End) return false;
        const std::uint8_t Byte = B[Pos++];
        Value = Value << 7 | (Byte & 0x7F);
        if (!(Byte & 0x80)) return true;
    }
    return false; // a fifth byte: no MIDI reader takes it
}

std::uint32_t Get32BE(const TBytes& B, std::size_t At) {
    return static_cast<std::uint32_t>(B[At]) << 24 | static_cast<std::uint32_t>(B[At + 1]) << 16 |
           static_cast<std::uint32_t>(B[At + 2]) << 8 | B[At + 3];
}

} // namespace

std::string CheckMidiFile(const TBytes& B) {
    static const std::uint8_t Head[] = {'M', 'T', 'h', 'd', 0,  0,   0,   6,   0,
                                        0,   0,   1,   0,   48, 'M', 'T', 'r', 'k'};
    if (B.size() < sizeof Head + 4 || std::memcmp(B.data(), Head, sizeof Head) != 0)
        return "no format-0 header with one track and division 48";
    if (Get32BE(B, 18) != B.size() - 22) return "track length does not match the file size";
    std::size_t Pos = 22;
    const std::size_t End = B.size();
    std::uint8_t Running = 0;
    while (Pos < End) {
        std::uint32_t Delta;
        if (!ReadVarLen(B, Pos, End, Delta)) return "bad delta time";
        if (Pos >= End) return "event cut off";
        std::uint8_t Status = B[Pos];
        if (Status & 0x80)
            ++Pos;
        else if (Running)
            Status = Running;
        else
            return "data byte without a status";
        if (Status == 0xFF) {
            if (Pos >= End) return "meta event cut off";
            const std::uint8_t Type = B[Pos++];
            std::uint32_t Length;
            if (!ReadVarLen(B, Pos, End, Length) || End - Pos < Length) return "meta event cut off";
            Pos += Length;
            if (Type == 0x2F) return Pos == End ? "" : "bytes after the end of track";
            Running = 0;
        } else if (Status == 0xF0 || Status == 0xF7) {
            std::uint32_t Length;
            if (!ReadVarLen(B, Pos, End, Length) || End - Pos < Length) return "sysex cut off";
            Pos += Length;
            Running = 0;
        } else if (Status >= 0xF1) {
            return "system message in a file";
        } else {
            const std::size_t DataBytes =
                (Status & 0xF0) == 0xC0 || (Status & 0xF0) == 0xD0 ? 1 : 2;
            if (End - Pos < DataBytes) return "channel event cut off";
            for (std::size_t i = 0; i < DataBytes; ++i)
                if (B[Pos + i] & 0x80) return "data byte above 127";
            Pos += DataBytes;
            Running = Status;
        }
    }
    return "no end of track";
}

std::string CheckBankFile(const TBytes& B) {
    constexpr std::size_t RecordSize = 55;
    if (B.size() < 8 || std::memcmp(B.data(), "FMM3", 4) != 0) return "no FMM3 header";
    if (Get32BE(B, 4) != B.size() - 8) return "record byte count does not match the file size";
    if ((B.size() - 8) % RecordSize != 0 || B.size() == 8) return "not a whole number of voices";
    return "";
}

namespace {

bool IsTemporary(const std::string& Name) {
    return fs::path(Name).filename().string().rfind(".varnhold-", 0) == 0;
}

std::string Check(const TSnapshot& Before, const TSnapshot& After, const TFuzzOptions& Options,
                  const TFuzzResult& Result, bool SharedOutput, const std::string& OutPrefix) {
    for (const auto& [Name, Bytes] : After)
        if (IsTemporary(Name)) return "temporary file left behind: " + Name;
    if (After.at(InputName) != Before.at(InputName)) return "the input file changed";
    if (Result.Outcome != TFuzzOutcome::Done) {
        if (After != Before) return "a conversion that did not finish changed the files";
        return "";
    }
    for (const auto& [Name, Bytes] : Before)
        if (!After.count(Name)) return "a file was removed: " + Name;
    const bool WantsBank = Options.UseProgramChange && Options.DebugMode;
    for (const auto& [Name, Bytes] : After) {
        const auto Old = Before.find(Name);
        if (Old != Before.end() && Old->second == Bytes) continue;
        if (Name.rfind(OutPrefix + "song", 0) != 0) return "unexpected output " + Name;
        const fs::path Path(Name);
        if (Path.extension() == ".mid") {
            if (const std::string Why = CheckMidiFile(Bytes); !Why.empty())
                return Name + ": " + Why;
            const std::string Bank = fs::path(Name).replace_extension(".vm3").string();
            const auto BankFile = After.find(Bank);
            const bool BankWritten = BankFile != After.end() &&
                                     (!Before.count(Bank) || Before.at(Bank) != BankFile->second);
            if (BankWritten != WantsBank)
                return Name +
                       (WantsBank ? ": no voice bank beside it" : ": a voice bank beside it");
        } else if (Path.extension() == ".vm3") {
            if (const std::string Why = CheckBankFile(Bytes); !Why.empty())
                return Name + ": " + Why;
        } else {
            return "unexpected output " + Name;
        }
    }
    if (SharedOutput) {
        const auto Mid = After.find(OutPrefix + "song.mid");
        if (Mid == After.end() || Mid->second == OlderMidi) return "the shared output is missing";
    }
    return "";
}

} // namespace

std::vector<std::uint8_t> EncodeTrailer(const TFuzzOptions& O) {
    const std::uint8_t Resolution =
        O.Resolution >= 32 && O.Resolution <= 1024 && O.Resolution % 4 == 0
            ? static_cast<std::uint8_t>((O.Resolution - 32) / 4)
            : 255;
    const std::uint8_t Flags =
        static_cast<std::uint8_t>(O.UsePitchBend | O.UsePitchBendVib << 1 | O.UsePanpot << 2 |
                                  O.UseVelocity << 3 | O.UseProgramChange << 4 | O.DebugMode << 5 |
                                  O.SeparateOutputDir << 6 | O.OlderOutputs << 7);
    return {Resolution, Flags};
}

TFuzzOptions DecodeTrailer(std::uint8_t ResolutionByte, std::uint8_t Flags) {
    TFuzzOptions O;
    O.Resolution = ResolutionByte <= 248 ? 32u + 4u * ResolutionByte : 192u;
    O.UsePitchBend = Flags & 0x01;
    O.UsePitchBendVib = Flags & 0x02;
    O.UsePanpot = Flags & 0x04;
    O.UseVelocity = Flags & 0x08;
    O.UseProgramChange = Flags & 0x10;
    O.DebugMode = Flags & 0x20;
    O.SeparateOutputDir = Flags & 0x40;
    O.OlderOutputs = Flags & 0x80;
    return O;
}

TFuzzResult RunFuzzInput(const std::uint8_t* Data, std::size_t Size) {
    TFuzzOptions Options;
    if (Size >= TrailerSize) {
        Options = DecodeTrailer(Data[Size - 2], Data[Size - 1]);
        Size -= TrailerSize;
    }

    const TScratchDir Dir;
    const fs::path Input = Dir.Path / InputName;
    WriteBytes(Input, Data, Size);
    fs::path OutDir = Dir.Path;
    std::string OutPrefix;
    if (Options.SeparateOutputDir) {
        OutDir /= OutputSubdir;
        fs::create_directory(OutDir);
        OutPrefix = std::string(OutputSubdir) + "/";
    }
    if (Options.OlderOutputs) {
        WriteBytes(OutDir / "song.mid", OlderMidi.data(), OlderMidi.size());
        WriteBytes(OutDir / "song.vm3", OlderBank.data(), OlderBank.size());
    }
    const TSnapshot Before = Snapshot(Dir.Path);

    TVarnhold Job;
    Job.UsePitchBend = Options.UsePitchBend;
    Job.UsePitchBendVib = Options.UsePitchBendVib;
    Job.UsePanpot = Options.UsePanpot;
    Job.UseVelocity = Options.UseVelocity;
    Job.UseProgramChange = Options.UseProgramChange;
    Job.DebugMode = Options.DebugMode;
    Job.Resolution = Options.Resolution;
    // No "debug.txt" lies beside this imaginary program: only the flag sets DebugMode.
    Job.ProgramFile = (Dir.Path / "varnhold").string();
    if (Options.SeparateOutputDir) Job.OutputDir = OutDir.string();

    TFuzzResult Result;
    try {
        const bool Done = Job.Convert(Input.string());
        Result.Outcome = Done ? TFuzzOutcome::Done : TFuzzOutcome::Rejected;
        Result.Text = Job.ResultText;
    } catch (const EVarnholdError& Error) {
        Result.Outcome = TFuzzOutcome::Failed;
        Result.Text = Error.what();
    }
    Result.Problem =
        Check(Before, Snapshot(Dir.Path), Options, Result, Job.SharedOutput, OutPrefix);
    return Result;
}

} // namespace varnhold::fuzz
