#include "VarnholdCliU.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>

#include "job/VarnholdU.h"
#include "platform/FileUtilU.h"

namespace varnhold::cli {

namespace {

constexpr unsigned MaxJobs = 1024;

enum class TOutcome { Done, Rejected, Failed };

struct TFileResult {
    TOutcome Outcome = TOutcome::Failed;
    std::string Text; // ResultText, or the error's message
};

// One file, one job. Nothing escapes: a batch goes on after any failure.
TFileResult ConvertFile(const TCliOptions& Options, const std::string& FileName) {
    try {
        TVarnhold Job;
        ApplyOptions(Options, Job);
        const bool Done = Job.Convert(FileName);
        return {Done ? TOutcome::Done : TOutcome::Rejected, Job.ResultText};
    } catch (const std::exception& Error) {
        return {TOutcome::Failed, Error.what()};
    } catch (...) {
        return {TOutcome::Failed, "unknown error"};
    }
}

// Files done and failures so far, redrawn in place on a terminal.
class TProgress {
public:
    TProgress(std::ostream& Err, bool Enabled, std::size_t Total)
        : Err(Err), Enabled(Enabled), Total(Total) {}

    void Show(std::size_t Done, std::size_t Failures) {
        if (!Enabled) return;
        Err << "\r\033[K" << Done << " of " << Total << " files done";
        if (Failures) Err << ", " << Failures << (Failures == 1 ? " failure" : " failures");
        Err.flush();
        Visible = true;
    }
    // Clears the line so that a result line can be printed in its place.
    void Hide() {
        if (!Visible) return;
        Err << "\r\033[K";
        Err.flush();
        Visible = false;
    }

private:
    std::ostream& Err;
    bool Enabled;
    std::size_t Total;
    bool Visible = false;
};

// Inputs whose outputs would bear the same name (x.s98 from two directories into one
// --output-dir, or one file listed twice) form one work item, converted in input order, so
// that the last one wins whatever -j says. Each item lists input indices in order.
std::vector<std::vector<std::size_t>> GroupByOutputName(const TCliOptions& Options,
                                                        std::ostream& Err) {
    std::vector<std::vector<std::size_t>> Groups;
    std::map<std::string, std::size_t> GroupOf;
    for (std::size_t i = 0; i < Options.Files.size(); ++i) {
        const std::string& File = Options.Files[i];
        const std::string Key = ChangeFileExt(OutputSourceName(File, Options.OutputDir), "");
        const auto [It, IsNew] = GroupOf.try_emplace(Key, Groups.size());
        if (IsNew) {
            Groups.push_back({i});
        } else {
            const std::string& Earlier = Options.Files[Groups[It->second].back()];
            Err << "varnhold: warning: " << File << " writes the same output names as " << Earlier
                << "; the later file's outputs replace the earlier ones\n";
            Groups[It->second].push_back(i);
        }
    }
    return Groups;
}

int ConvertAll(const TCliOptions& Options, std::ostream& Out, std::ostream& Err,
               bool ErrIsTerminal) {
    const std::size_t Total = Options.Files.size();
    const std::vector<std::vector<std::size_t>> Groups = GroupByOutputName(Options, Err);
    unsigned Jobs = Options.Jobs != 0 ? Options.Jobs : std::thread::hardware_concurrency();
    Jobs = static_cast<unsigned>(std::clamp<std::size_t>(Jobs, 1, Groups.size()));

    std::vector<std::optional<TFileResult>> Results(Total);
    std::mutex Lock;
    std::condition_variable Finished;
    std::size_t DoneCount = 0;
    std::size_t Failures = 0;
    std::atomic<std::size_t> Next{0};

    auto Worker = [&] {
        for (std::size_t g = Next++; g < Groups.size(); g = Next++) {
            for (const std::size_t i : Groups[g]) {
                TFileResult Result = ConvertFile(Options, Options.Files[i]);
                {
                    std::lock_guard<std::mutex> Guard(Lock);
                    if (Result.Outcome != TOutcome::Done) ++Failures;
                    ++DoneCount;
                    Results[i] = std::move(Result);
                }
                Finished.notify_one();
            }
        }
    };
    std::vector<std::jthread> Threads;
    Threads.reserve(Jobs);
    for (unsigned t = 0; t < Jobs; ++t) {
        try {
            Threads.emplace_back(Worker);
        } catch (const std::system_error&) {
            // Fewer threads than asked for still convert everything.
            if (Threads.empty()) throw;
            break;
        }
    }

    // Results are printed in input order, each as soon as it and all before it are done.
    TProgress Progress(Err, ErrIsTerminal, Total);
    bool AnyFailed = false;
    for (std::size_t i = 0; i < Total; ++i) {
        TFileResult Result;
        {
            std::unique_lock<std::mutex> Guard(Lock);
            for (;;) {
                Progress.Show(DoneCount, Failures);
                if (Results[i]) break;
                const std::size_t Seen = DoneCount;
                Finished.wait(Guard, [&] { return DoneCount != Seen; });
            }
            Result = std::move(*Results[i]);
            Results[i].reset();
        }
        Progress.Hide();
        const std::string& File = Options.Files[i];
        switch (Result.Outcome) {
        case TOutcome::Done:
            if (!Options.Quiet) Out << File << ": " << Result.Text << '\n' << std::flush;
            break;
        case TOutcome::Rejected:
            AnyFailed = true;
            Out << File << ": " << Result.Text << '\n' << std::flush;
            break;
        case TOutcome::Failed:
            AnyFailed = true;
            Err << File << ": error: " << Result.Text << '\n' << std::flush;
            break;
        }
    }
    Threads.clear();
    return AnyFailed ? ExitFailed : ExitConverted;
}

} // namespace

int ParseCommandLine(int Argc, const char* const* Argv, TCliOptions& Options, std::ostream& Out,
                     std::ostream& Err) {
    CLI::App App{"Converts S98 sound-chip logs into Standard MIDI Files.", "varnhold"};
    App.add_flag("--no-pitch-bend", Options.NoPitchBend, "PitchBend off");
    App.add_flag("--no-bend-vibrato", Options.NoBendVibrato, "PitchBendVib off");
    App.add_flag("--no-pan", Options.NoPan, "Panpot off");
    App.add_flag("--velocity", Options.Velocity, "Velocity on");
    App.add_flag("--program-change", Options.ProgramChange, "ProgramChange on");
    App.add_option("--resolution", Options.Resolution, "Bar / DeltaTime, 32..1024 (default 192)")
        ->type_name("N")
        ->check(CLI::Range(32u, 1024u).description(""));
    App.add_flag("--debug", Options.Debug,
                 "DebugMode on, as a \"debug.txt\" beside the program also does");
    App.add_option("--output-dir", Options.OutputDir,
                   "write the outputs into DIR instead of beside each input")
        ->type_name("DIR")
        ->check(CLI::Validator(CLI::ExistingDirectory).description(""));
    App.add_option("-j,--jobs", Options.Jobs, "convert N files at once (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(1u, MaxJobs).description(""));
    App.add_flag("-q,--quiet", Options.Quiet, "print only failures");
    App.set_version_flag("--version", std::string("varnhold ") + VARNHOLD_VERSION);
    App.add_option("FILE", Options.Files, "S98 files to convert")->required();
    try {
        App.parse(Argc, Argv);
    } catch (const CLI::ParseError& Error) {
        return App.exit(Error, Out, Err) == 0 ? ExitConverted : ExitUsage;
    }
    return -1;
}

void ApplyOptions(const TCliOptions& Options, TVarnhold& Job) {
    Job.UsePitchBend = !Options.NoPitchBend;
    Job.UsePitchBendVib = !Options.NoBendVibrato;
    Job.UsePanpot = !Options.NoPan;
    Job.UseVelocity = Options.Velocity;
    Job.UseProgramChange = Options.ProgramChange;
    if (Options.Debug) Job.DebugMode = true;
    Job.Resolution = Options.Resolution;
    Job.OutputDir = Options.OutputDir;
}

int RunVarnhold(int Argc, const char* const* Argv, std::ostream& Out, std::ostream& Err,
                bool ErrIsTerminal) {
    TCliOptions Options;
    const int Status = ParseCommandLine(Argc, Argv, Options, Out, Err);
    if (Status >= 0) return Status;
    try {
        return ConvertAll(Options, Out, Err, ErrIsTerminal);
    } catch (const std::exception& Error) {
        Err << "varnhold: error: " << Error.what() << '\n';
        return ExitFailed;
    }
}

} // namespace varnhold::cli
