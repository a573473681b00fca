// The command-line tool: options, a batch of files converted in parallel jobs, one result
// line per file in input order, and the exit status.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace varnhold {
class TVarnhold;
}

namespace varnhold::cli {

enum TExitStatus : int {
    ExitConverted = 0, // every file converted (or --help, --version)
    ExitFailed = 1,    // some file was rejected or failed
    ExitUsage = 2,     // the command line itself is wrong
};

struct TCliOptions {
    bool NoPitchBend = false;
    bool NoBendVibrato = false;
    bool NoPan = false;
    bool Velocity = false;
    bool ProgramChange = false;
    bool Debug = false;
    std::uint32_t Resolution = 192;
    std::string OutputDir;
    bool Quiet = false;
    unsigned Jobs = 0; // 0: one per core
    std::vector<std::string> Files;
};

// Parses the command line into Options. Returns -1 when the files are to be converted,
// otherwise the exit status (help and version printed to Out, usage errors to Err).
int ParseCommandLine(int Argc, const char* const* Argv, TCliOptions& Options, std::ostream& Out,
                     std::ostream& Err);

// Copies the options into a fresh job. Each flag sets only its own field.
void ApplyOptions(const TCliOptions& Options, TVarnhold& Job);

// The whole tool: parses, converts every file with Options.Jobs jobs at once and prints
// "<file>: <result>" lines to Out (errors to Err) in input order. ErrIsTerminal switches
// the one-line progress display on Err on. Returns the exit status.
int RunVarnhold(int Argc, const char* const* Argv, std::ostream& Out, std::ostream& Err,
                bool ErrIsTerminal);

} // namespace varnhold::cli
