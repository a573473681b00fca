#include "reliability/ReliabilityUtil.h"

#include <filesystem>
#include <sstream>

#include "VarnholdCliU.h"
#include "support/TestSupport.h"

namespace varnhold::test {

namespace fs = std::filesystem;

TToolRun RunTool(std::vector<std::string> Args) {
    Args.insert(Args.begin(), "varnhold");
    std::vector<const char*> Argv;
    for (const std::string& A : Args)
        Argv.push_back(A.c_str());
    std::ostringstream Out, Err;
    TToolRun R;
    R.Exit = cli::RunVarnhold(static_cast<int>(Argv.size()), Argv.data(), Out, Err, false);
    R.Out = Out.str();
    R.Err = Err.str();
    return R;
}

std::set<std::string> ListTree(const std::string& Dir) {
    std::set<std::string> Names;
    for (const auto& Entry : fs::recursive_directory_iterator(Dir)) {
        std::string Name = fs::relative(Entry.path(), Dir).string();
        if (Entry.is_directory() && !Entry.is_symlink()) Name += "/";
        Names.insert(Name);
    }
    return Names;
}

std::map<std::string, std::vector<std::uint8_t>> SnapshotTree(const std::string& Dir) {
    std::map<std::string, std::vector<std::uint8_t>> Files;
    for (const auto& Entry : fs::recursive_directory_iterator(Dir))
        if (Entry.is_regular_file())
            Files[fs::relative(Entry.path(), Dir).string()] = ReadFileBytes(Entry.path().string());
    return Files;
}

std::vector<std::string> TemporaryFiles(const std::string& Dir) {
    std::vector<std::string> Found;
    for (const std::string& Name : ListTree(Dir))
        if (fs::path(Name).filename().string().rfind(".varnhold-", 0) == 0 ||
            Name.find(".tmp") != std::string::npos)
            Found.push_back(Name);
    return Found;
}

} // namespace varnhold::test
