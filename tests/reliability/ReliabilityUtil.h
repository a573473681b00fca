// Helpers of the reliability tests: the command-line tool run in-process, and directory
// listings to see what a run wrote, replaced or left behind.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace varnhold::test {

struct TToolRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

// RunVarnhold with "varnhold" in front of Args and captured streams.
TToolRun RunTool(std::vector<std::string> Args);

// Every entry below Dir by relative path; directories end in '/'.
std::set<std::string> ListTree(const std::string& Dir);
// Every regular file below Dir with its content, by relative path.
std::map<std::string, std::vector<std::uint8_t>> SnapshotTree(const std::string& Dir);
// Entries whose name marks an unfinished save.
std::vector<std::string> TemporaryFiles(const std::string& Dir);

} // namespace varnhold::test
