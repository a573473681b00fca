// Throughput and memory of whole conversions on large generated logs.
//
//   varnhold-bench [--large] [--sizes 1,16] [--families ym2608,ym2151,ym2612sn]
//                  [--batch-files 200] [--no-batch] [--keep DIR]
//
// For each family and size (in MB; 128 is added by --large) a log is generated into a
// temporary directory, then measured in fresh child processes, so that the peak memory of
// one measurement never includes another's:
//   floor    load the whole file into memory and walk the command grammar once;
//   convert  a whole conversion with the default options: load, check, conversion, sort,
//            and writing the .mid into the temporary directory.
// Each measurement is one run in a fresh process, as a real conversion is: its memory comes
// fresh from the system and every page is touched for the first time (a second run in the
// same process would reuse pages the allocator kept). Floor and conversion alternate, side
// by side, several times; the best time of each counts. The report gives input MB/s,
// nanoseconds per command byte, MIDI events per second, the peak resident memory against
// the budget (input + 40 bytes per event + 16 MB), the ratio to the floor and how the
// time per MB moves from the smallest log to the largest. The batch part converts small
// logs with the command-line tool's -j 1 and -j 2 and reports the speed-up.
//
//   varnhold-bench --child floor|convert FILE OUTDIR ROUNDS
// is one measurement (used by the parent with ROUNDS 1; handy under a profiler).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LogGen.h"
#include "job/VarnholdU.h"
#include "platform/MemoryStreamU.h"

#ifdef VARNHOLD_BENCH_CLI
#include "VarnholdCliU.h"
#endif

extern char** environ;

namespace {

namespace fs = std::filesystem;
using varnhold::tools::TLogFamily;
using Clock = std::chrono::steady_clock;

constexpr double MB = 1024.0 * 1024.0;

double SecondsSince(Clock::time_point Start) {
    return std::chrono::duration<double>(Clock::now() - Start).count();
}

// Peak resident set of this process image in KB (VmHWM; reset by exec).
long PeakResidentKB() {
    std::ifstream Status("/proc/self/status");
    for (std::string Line; std::getline(Status, Line);)
        if (Line.rfind("VmHWM:", 0) == 0) return std::atol(Line.c_str() + 6);
    return -1;
}

std::uint32_t Get32(const std::uint8_t* P) {
    return P[0] | P[1] << 8 | P[2] << 16 | static_cast<std::uint32_t>(P[3]) << 24;
}

// What any converter has to pay: the file in memory and one walk over its commands.
struct TWalk {
    std::uint64_t Writes = 0, Syncs = 0, CommandBytes = 0;
};

TWalk LoadAndWalk(const std::string& FileName) {
    varnhold::TMemoryStream Stream;
    Stream.LoadFromFile(FileName);
    const std::uint8_t* Data = Stream.Data();
    const std::uint64_t Size = Stream.Size();
    if (Size < 32) throw std::runtime_error(FileName + ": not an S98 log");
    const std::uint64_t Start = Get32(Data + 20);
    const std::uint64_t End = Data[3] == '3' && Get32(Data + 16) ? Get32(Data + 16) : Size;
    TWalk Walk;
    std::uint64_t Pos = Start;
    while (Pos < End) {
        const std::uint8_t Cmd = Data[Pos++];
        if (Cmd < 0x80) {
            ++Walk.Writes;
            Pos += 2;
        } else if (Cmd == 0xFF) {
            ++Walk.Syncs;
        } else if (Cmd == 0xFE) {
            std::uint32_t Count = 0;
            unsigned Shift = 0;
            while (Pos < End) {
                const std::uint8_t B = Data[Pos++];
                Count |= static_cast<std::uint32_t>(B & 0x7F) << Shift;
                Shift += 7;
                if (!(B & 0x80)) break;
            }
            Walk.Syncs += Count + 2;
        } else {
            break;
        }
    }
    Walk.CommandBytes = std::min(Pos, End) - Start;
    return Walk;
}

void Convert(const std::string& FileName, const std::string& OutDir) {
    varnhold::TVarnhold Job;
    Job.OutputDir = OutDir;
    Job.ProgramFile = OutDir + "/varnhold"; // never beside a debug.txt
    if (!Job.Convert(FileName)) throw std::runtime_error(FileName + ": " + Job.ResultText);
}

// One measurement in this (fresh) process: the best of Rounds runs, the peak memory of
// the first (later rounds reuse freed memory and would not show more).
int RunChild(const std::string& Mode, const std::string& FileName, const std::string& OutDir,
             int Rounds) {
    double Best = 1e300;
    long PeakKB = 0;
    TWalk Walk;
    for (int r = 0; r < Rounds; ++r) {
        const auto Start = Clock::now();
        if (Mode == "floor")
            Walk = LoadAndWalk(FileName);
        else
            Convert(FileName, OutDir);
        Best = std::min(Best, SecondsSince(Start));
        if (r == 0) PeakKB = PeakResidentKB();
    }
    std::printf("seconds=%.9f peak_kb=%ld syncs=%llu\n", Best, PeakKB,
                static_cast<unsigned long long>(Walk.Syncs));
    return 0;
}

struct TChildResult {
    double Seconds = 0;
    long PeakKB = 0;
};

// Runs this program again with Args and reads its result line.
TChildResult Spawn(const std::vector<std::string>& Args) {
    int Pipe[2];
    if (pipe(Pipe) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_adddup2(&Actions, Pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&Actions, Pipe[0]);
    posix_spawn_file_actions_addclose(&Actions, Pipe[1]);
    std::vector<char*> Argv;
    for (const std::string& A : Args)
        Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    pid_t Child = 0;
    const int Error =
        posix_spawn(&Child, "/proc/self/exe", &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    close(Pipe[1]);
    if (Error != 0) {
        close(Pipe[0]);
        throw std::runtime_error("cannot start a measurement: " +
                                 std::string(std::strerror(Error)));
    }
    std::string Output;
    char Buffer[256];
    for (ssize_t Got; (Got = read(Pipe[0], Buffer, sizeof Buffer)) > 0;)
        Output.append(Buffer, static_cast<std::size_t>(Got));
    close(Pipe[0]);
    int Status = 0;
    waitpid(Child, &Status, 0);
    TChildResult Result;
    if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0 ||
        std::sscanf(Output.c_str(), "seconds=%lf peak_kb=%ld", &Result.Seconds, &Result.PeakKB) !=
            2)
        throw std::runtime_error("measurement failed: " + Args[2] + " " + Args[3]);
    return Result;
}

// MIDI events in a format-0 file (the end-of-track event included).
std::uint64_t CountMidiEvents(const std::string& FileName) {
    std::ifstream In(FileName, std::ios::binary);
    const std::vector<std::uint8_t> D((std::istreambuf_iterator<char>(In)),
                                      std::istreambuf_iterator<char>());
    std::uint64_t Count = 0;
    std::size_t Pos = 22; // header chunk and the track chunk's header
    auto VarLen = [&] {
        std::uint32_t V = 0;
        while (Pos < D.size()) {
            const std::uint8_t B = D[Pos++];
            V = V << 7 | (B & 0x7F);
            if (!(B & 0x80)) break;
        }
        return V;
    };
    while (Pos < D.size()) {
        VarLen();
        const std::uint8_t Status = D[Pos++];
        if (Status == 0xFF) {
            ++Pos;
            Pos += VarLen();
        } else if (Status == 0xF0) {
            Pos += VarLen();
        } else {
            Pos += (Status & 0xF0) == 0xC0 || (Status & 0xF0) == 0xD0 ? 1 : 2;
        }
        ++Count;
    }
    return Count;
}

std::uint64_t CountEventsIn(const std::string& Dir) {
    std::uint64_t Count = 0;
    for (const auto& Entry : fs::directory_iterator(Dir))
        if (Entry.path().extension() == ".mid") Count += CountMidiEvents(Entry.path().string());
    return Count;
}

struct TRow {
    std::string Family;
    int SizeMB = 0;
    std::uint64_t FileBytes = 0, CommandBytes = 0, Events = 0;
    TChildResult Floor, Full;
};

struct TOptions {
    std::vector<int> Sizes{1, 16};
    std::vector<TLogFamily> Families{std::begin(varnhold::tools::AllLogFamilies),
                                     std::end(varnhold::tools::AllLogFamilies)};
    int BatchFiles = 200;
    std::string Keep;
};

std::vector<std::string> Split(const std::string& Text) {
    std::vector<std::string> Parts;
    std::stringstream In(Text);
    for (std::string Part; std::getline(In, Part, ',');)
        if (!Part.empty()) Parts.push_back(Part);
    return Parts;
}

// Fresh processes per measurement: more for the small logs, whose times are short and noisy.
int RunsFor(int SizeMB) {
    return SizeMB <= 1 ? 9 : SizeMB <= 16 ? 5 : 2;
}

TRow Measure(const std::string& Self, TLogFamily Family, int SizeMB, const fs::path& Dir) {
    TRow Row;
    Row.Family = varnhold::tools::LogFamilyName(Family);
    Row.SizeMB = SizeMB;
    const fs::path Log = Dir / (Row.Family + "-" + std::to_string(SizeMB) + "mb.s98");
    const fs::path Out = Dir / (Row.Family + "-" + std::to_string(SizeMB) + "mb.out");
    fs::create_directories(Out);
    Row.FileBytes =
        varnhold::tools::SaveLog(Family, static_cast<std::uint64_t>(SizeMB * MB), Log.string());
    Row.CommandBytes = LoadAndWalk(Log.string()).CommandBytes;

    // Alternate floor and conversion so that both see the same machine load.
    for (int Run = 0; Run < RunsFor(SizeMB); ++Run) {
        const TChildResult Floor =
            Spawn({Self, "--child", "floor", Log.string(), Out.string(), "1"});
        const TChildResult Full =
            Spawn({Self, "--child", "convert", Log.string(), Out.string(), "1"});
        if (Run == 0 || Floor.Seconds < Row.Floor.Seconds) Row.Floor = Floor;
        if (Run == 0 || Full.Seconds < Row.Full.Seconds) Row.Full = Full;
    }
    Row.Events = CountEventsIn(Out.string());
    fs::remove_all(Out);
    fs::remove(Log);
    return Row;
}

void PrintRows(const std::vector<TRow>& Rows) {
    std::printf("\n| log | size | MB/s | ns/cmd byte | MIDI events | events/s | floor s | "
                "convert s | ratio | peak MB | budget MB |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const TRow& R : Rows) {
        const double Budget = (R.FileBytes + 40.0 * R.Events) / MB + 16.0;
        const double Peak = R.Full.PeakKB / 1024.0;
        std::printf("| %s | %.1f MB | %.1f | %.2f | %llu | %.2fM | %.3f | %.3f | %.2f%s | "
                    "%.1f%s | %.1f |\n",
                    R.Family.c_str(), R.FileBytes / MB, R.FileBytes / MB / R.Full.Seconds,
                    R.Full.Seconds * 1e9 / static_cast<double>(R.CommandBytes),
                    static_cast<unsigned long long>(R.Events), R.Events / R.Full.Seconds / 1e6,
                    R.Floor.Seconds, R.Full.Seconds, R.Full.Seconds / R.Floor.Seconds,
                    R.Full.Seconds / R.Floor.Seconds <= 2.5 ? "" : " (over 2.5)", Peak,
                    Peak <= Budget ? "" : " (over)", Budget);
    }
    std::printf("\nfloor peak MB:");
    for (const TRow& R : Rows)
        std::printf(" %s/%d=%.1f", R.Family.c_str(), R.SizeMB, R.Floor.PeakKB / 1024.0);
    std::printf("\n");
}

// Time per MB of each size against the smallest log of the same family.
void PrintLinearity(const std::vector<TRow>& Rows) {
    std::map<std::string, std::vector<const TRow*>> ByFamily;
    for (const TRow& R : Rows)
        ByFamily[R.Family].push_back(&R);
    std::printf("\n| log | seconds per MB, by size | largest / smallest |\n|---|---|---:|\n");
    for (const auto& [Family, List] : ByFamily) {
        std::string Cells;
        for (const TRow* R : List) {
            char Cell[64];
            std::snprintf(Cell, sizeof Cell, "%s%d MB: %.4f", Cells.empty() ? "" : ", ", R->SizeMB,
                          R->Full.Seconds / (R->FileBytes / MB));
            Cells += Cell;
        }
        const auto PerMB = [](const TRow* R) { return R->Full.Seconds / (R->FileBytes / MB); };
        const double Ratio = PerMB(List.back()) / PerMB(List.front());
        std::printf("| %s | %s | %.2f%s |\n", Family.c_str(), Cells.c_str(), Ratio,
                    Ratio <= 1.2 && Ratio >= 1 / 1.2 ? "" : " (beyond 20%)");
    }
}

#ifdef VARNHOLD_BENCH_CLI
// Processor time of this process so far (all threads, user and system), in seconds.
double ProcessorSeconds() {
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    const auto Seconds = [](const timeval& T) { return T.tv_sec + T.tv_usec / 1e6; };
    return Seconds(Usage.ru_utime) + Seconds(Usage.ru_stime);
}

struct TBatchTime {
    double Wall = 1e300, Processor = 0;
};

TBatchTime RunBatch(const std::vector<std::string>& Files, const fs::path& Out, int Jobs) {
    fs::remove_all(Out);
    fs::create_directories(Out);
    std::vector<std::string> Args{"varnhold",           "-q",           "-j",
                                  std::to_string(Jobs), "--output-dir", Out.string()};
    Args.insert(Args.end(), Files.begin(), Files.end());
    std::vector<const char*> Argv;
    for (const std::string& A : Args)
        Argv.push_back(A.c_str());
    std::ostringstream Stdout, Stderr;
    const double Processor = ProcessorSeconds();
    const auto Start = Clock::now();
    const int Status = varnhold::cli::RunVarnhold(static_cast<int>(Argv.size()), Argv.data(),
                                                  Stdout, Stderr, false);
    const TBatchTime Time{SecondsSince(Start), ProcessorSeconds() - Processor};
    if (Status != 0) throw std::runtime_error("batch failed: " + Stderr.str());
    return Time;
}

std::map<std::string, std::vector<char>> ReadAll(const fs::path& Dir) {
    std::map<std::string, std::vector<char>> Files;
    for (const auto& Entry : fs::directory_iterator(Dir)) {
        std::ifstream In(Entry.path(), std::ios::binary);
        Files[Entry.path().filename().string()] = std::vector<char>(
            (std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    }
    return Files;
}

void MeasureBatch(int Count, const fs::path& Dir) {
    const fs::path In = Dir / "batch";
    fs::create_directories(In);
    std::vector<std::string> Files;
    std::uint64_t Bytes = 0;
    for (int i = 0; i < Count; ++i) {
        const TLogFamily Family = varnhold::tools::AllLogFamilies[i % 3];
        const fs::path File = In / ("log" + std::to_string(i) + ".s98");
        Bytes += varnhold::tools::SaveLog(Family, 48 * 1024 + 1024 * (i % 17), File.string(),
                                          static_cast<std::uint32_t>(i + 1));
        Files.push_back(File.string());
    }
    // Best wall time of each, with the processor time of that run (the rest is waiting,
    // for the disk above all: every output is flushed before it replaces its name).
    TBatchTime One, Two;
    for (int Round = 0; Round < 5; ++Round) {
        const TBatchTime A = RunBatch(Files, Dir / "batch-j1", 1);
        const TBatchTime B = RunBatch(Files, Dir / "batch-j2", 2);
        if (A.Wall < One.Wall) One = A;
        if (B.Wall < Two.Wall) Two = B;
    }
    const bool Same = ReadAll(Dir / "batch-j1") == ReadAll(Dir / "batch-j2");
    std::printf("\nbatch: %d files, %.1f MB in all; -j 1 %.3f s (processor %.3f s), -j 2 %.3f s "
                "(processor %.3f s), speed-up %.2fx; outputs %s\n",
                Count, Bytes / MB, One.Wall, One.Processor, Two.Wall, Two.Processor,
                One.Wall / Two.Wall, Same ? "identical" : "DIFFER");
    fs::remove_all(In);
    fs::remove_all(Dir / "batch-j1");
    fs::remove_all(Dir / "batch-j2");
}
#endif

int Usage() {
    std::fprintf(stderr, "usage: varnhold-bench [--large] [--sizes 1,16,...] [--families "
                         "ym2608,ym2151,ym2612sn] [--batch-files N] [--no-batch] [--keep DIR]\n"
                         "       varnhold-bench --child floor|convert FILE OUTDIR ROUNDS\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 6 && std::strcmp(argv[1], "--child") == 0)
            return RunChild(argv[2], argv[3], argv[4], std::max(1, std::atoi(argv[5])));

        TOptions Options;
        for (int i = 1; i < argc; ++i) {
            const std::string A = argv[i];
            const bool HasValue = i + 1 < argc;
            if (A == "--large") {
                Options.Sizes.push_back(128);
            } else if (A == "--sizes" && HasValue) {
                Options.Sizes.clear();
                for (const std::string& S : Split(argv[++i]))
                    Options.Sizes.push_back(std::max(1, std::atoi(S.c_str())));
            } else if (A == "--families" && HasValue) {
                Options.Families.clear();
                for (const std::string& S : Split(argv[++i])) {
                    const auto Family = varnhold::tools::LogFamilyByName(S);
                    if (!Family) return Usage();
                    Options.Families.push_back(*Family);
                }
            } else if (A == "--batch-files" && HasValue) {
                Options.BatchFiles = std::max(0, std::atoi(argv[++i]));
            } else if (A == "--no-batch") {
                Options.BatchFiles = 0;
            } else if (A == "--keep" && HasValue) {
                Options.Keep = argv[++i];
            } else {
                return Usage();
            }
        }
        std::sort(Options.Sizes.begin(), Options.Sizes.end());
        Options.Sizes.erase(std::unique(Options.Sizes.begin(), Options.Sizes.end()),
                            Options.Sizes.end());

        fs::path Dir;
        if (Options.Keep.empty()) {
            std::string Template = (fs::temp_directory_path() / "varnhold-bench-XXXXXX").string();
            if (!mkdtemp(Template.data())) throw std::runtime_error("cannot create a directory");
            Dir = Template;
        } else {
            Dir = Options.Keep;
            fs::create_directories(Dir);
        }
        std::printf("varnhold-bench: logs in %s, %ld cores\n", Dir.c_str(),
                    sysconf(_SC_NPROCESSORS_ONLN));
        std::fflush(stdout);

        std::vector<TRow> Rows;
        for (const TLogFamily Family : Options.Families)
            for (const int Size : Options.Sizes) {
                Rows.push_back(Measure(argv[0], Family, Size, Dir));
                std::fprintf(stderr, "  %s %d MB: %.3f s (floor %.3f s)\n",
                             Rows.back().Family.c_str(), Size, Rows.back().Full.Seconds,
                             Rows.back().Floor.Seconds);
            }
        PrintRows(Rows);
        if (Options.Sizes.size() > 1) PrintLinearity(Rows);
#ifdef VARNHOLD_BENCH_CLI
        if (Options.BatchFiles > 0) MeasureBatch(Options.BatchFiles, Dir);
#else
        if (Options.BatchFiles > 0) std::printf("\nbatch: not built (no command-line tool)\n");
#endif
        if (Options.Keep.empty()) fs::remove_all(Dir);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "varnhold-bench: %s\n", E.what());
        return 1;
    }
    return 0;
}
