#include "support/TestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace varnhold::test {

namespace fs = std::filesystem;

TTempDir::TTempDir() {
    // mkdtemp picks a name no other test (or test process) holds.
    std::string Pattern = (fs::temp_directory_path() / "varnhold-test-XXXXXX").string();
    std::vector<char> Buffer(Pattern.begin(), Pattern.end());
    Buffer.push_back('\0');
    if (mkdtemp(Buffer.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary directory from " + Pattern + ": " +
                                 std::strerror(errno));
    DirPath = Buffer.data();
}

TTempDir::~TTempDir() {
    std::error_code Ignored;
    // Tests may have made parts read-only; give write access back so removal succeeds.
    for (auto It = fs::recursive_directory_iterator(DirPath, Ignored);
         !Ignored && It != fs::recursive_directory_iterator(); It.increment(Ignored)) {
        std::error_code PermError;
        if (It->is_directory(PermError) && !It->is_symlink(PermError))
            fs::permissions(It->path(), fs::perms::owner_all, fs::perm_options::add, PermError);
    }
    fs::permissions(DirPath, fs::perms::owner_all, fs::perm_options::add, Ignored);
    fs::remove_all(DirPath, Ignored);
}

std::string TTempDir::File(const std::string& Name) const {
    return (fs::path(DirPath) / Name).string();
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    if (!In) throw std::runtime_error("cannot open " + Path);
    std::vector<std::uint8_t> Bytes{std::istreambuf_iterator<char>(In),
                                    std::istreambuf_iterator<char>()};
    if (In.bad()) throw std::runtime_error("cannot read " + Path);
    return Bytes;
}

void WriteFileBytes(const std::string& Path, const std::vector<std::uint8_t>& Bytes) {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    if (!Out) throw std::runtime_error("cannot create " + Path);
    Out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
    Out.close();
    if (!Out) throw std::runtime_error("cannot write " + Path);
}

bool FileExistsPlain(const std::string& Path) {
    std::error_code Error;
    return fs::is_regular_file(Path, Error);
}

} // namespace varnhold::test
