// Small helpers for tests that touch the file system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace varnhold::test {

// A fresh, uniquely named directory under the system temporary directory, removed with
// everything inside it when the object goes away.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return DirPath; }
    // Full path of Name inside the directory (the file need not exist).
    std::string File(const std::string& Name) const;

private:
    std::string DirPath;
};

// The whole content of a file; throws std::runtime_error when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::string& Path);
// Creates or replaces a file with Bytes; throws std::runtime_error on failure.
void WriteFileBytes(const std::string& Path, const std::vector<std::uint8_t>& Bytes);
// Whether Path names an existing regular file (checked without the code under test).
bool FileExistsPlain(const std::string& Path);

} // namespace varnhold::test
