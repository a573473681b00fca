#include "platform/FileUtilU.h"

#include "platform/ErrorsU.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace varnhold {

bool IsPathDelimiter(char C) {
#ifdef _WIN32
    return C == '/' || C == '\\' || C == ':';
#else
    return C == '/';
#endif
}

namespace {

// Index just after the last delimiter: where the name part starts.
std::size_t NameStart(const std::string& FileName) {
    for (std::size_t I = FileName.size(); I > 0; --I)
        if (IsPathDelimiter(FileName[I - 1])) return I;
    return 0;
}

// Index of the dot that starts the extension, or npos when the name part has none.
std::size_t ExtStart(const std::string& FileName) {
    const std::size_t Dot = FileName.rfind('.');
    if (Dot == std::string::npos || Dot < NameStart(FileName)) return std::string::npos;
    return Dot;
}

std::string Reason(int Error) {
    return std::strerror(Error);
}

} // namespace

std::string ExtractFilePath(const std::string& FileName) {
    return FileName.substr(0, NameStart(FileName));
}

std::string ExtractFileName(const std::string& FileName) {
    return FileName.substr(NameStart(FileName));
}

std::string ExtractFileExt(const std::string& FileName) {
    const std::size_t Dot = ExtStart(FileName);
    return Dot == std::string::npos ? std::string() : FileName.substr(Dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Ext) {
    const std::size_t Dot = ExtStart(FileName);
    return (Dot == std::string::npos ? FileName : FileName.substr(0, Dot)) + Ext;
}

bool FileExists(const std::string& FileName) {
    struct stat Info {};
    return ::stat(FileName.c_str(), &Info) == 0 && !S_ISDIR(Info.st_mode);
}

bool DirectoryExists(const std::string& Path) {
    struct stat Info {};
    return ::stat(Path.c_str(), &Info) == 0 && S_ISDIR(Info.st_mode);
}

std::string ProgramFileName() {
    // The link's target may be longer than any fixed buffer: grow until it fits.
    std::vector<char> Buffer(256);
    for (;;) {
        const ssize_t Length = ::readlink("/proc/self/exe", Buffer.data(), Buffer.size());
        if (Length < 0) return std::string();
        if (static_cast<std::size_t>(Length) < Buffer.size())
            return std::string(Buffer.data(), static_cast<std::size_t>(Length));
        Buffer.resize(Buffer.size() * 2);
    }
}

std::string FormatHex8(std::uint64_t Value) {
    char Text[24];
    std::snprintf(Text, sizeof Text, "%8.8llX", static_cast<unsigned long long>(Value));
    return Text;
}

namespace {

// An open temporary file beside the target; unless Commit() succeeds the file is closed
// and removed, so no failure leaves one behind.
class TTempFile {
public:
    explicit TTempFile(const std::string& Target) {
        std::string Dir = ExtractFilePath(Target);
        if (Dir.empty()) Dir = "./";
        // A short fixed prefix: a name of the target's own length plus a suffix could
        // exceed the file system's name limit.
        std::random_device Seed;
        std::mt19937_64 Random(static_cast<std::uint64_t>(Seed()) << 32 ^ Seed());
        // Like mkstemp, but created with mode 0666 so that the umask applies and the
        // output gets the permissions of any newly created file.
        for (int Attempt = 0; Attempt < 100; ++Attempt) {
            char Suffix[24];
            std::snprintf(Suffix, sizeof Suffix, "%012llx",
                          static_cast<unsigned long long>(Random() & 0xFFFFFFFFFFFFull));
            Path = Dir + ".varnhold-" + Suffix + ".tmp";
            Fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (Fd >= 0 || errno != EEXIST) break;
        }
        if (Fd < 0) {
            const int Error = errno;
            Path.clear();
            throw EFileError("cannot create \"" + Target + "\": " + Reason(Error));
        }
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    ~TTempFile() {
        if (Fd >= 0) ::close(Fd);
        if (!Path.empty()) ::unlink(Path.c_str());
    }

    // Returns 0 or the errno of the failed step.
    int WriteAll(const std::uint8_t* Data, std::size_t Size) {
        while (Size > 0) {
            const ssize_t Written = ::write(Fd, Data, Size);
            if (Written < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            Data += Written;
            Size -= static_cast<std::size_t>(Written);
        }
        return 0;
    }

    int KeepMode(mode_t Mode) { return ::fchmod(Fd, Mode) == 0 ? 0 : errno; }

    // Flushes, closes and renames over Target; returns 0 or an errno.
    int Commit(const std::string& Target) {
        if (::fsync(Fd) != 0) return errno;
        const int ClosedFd = Fd;
        Fd = -1;
        if (::close(ClosedFd) != 0) return errno;
        if (::rename(Path.c_str(), Target.c_str()) != 0) return errno;
        Path.clear();
        return 0;
    }

private:
    std::string Path;
    int Fd = -1;
};

} // namespace

void SaveFileAtomically(const std::string& FileName, const std::uint8_t* Data, std::size_t Size) {
    const auto Fail = [&FileName](int Error) {
        throw EFileError("cannot write \"" + FileName + "\": " + Reason(Error));
    };
    struct stat Existing {};
    const bool Exists = ::stat(FileName.c_str(), &Existing) == 0;
    if (Exists && S_ISDIR(Existing.st_mode)) Fail(EISDIR);

    TTempFile Temp(FileName);
    if (const int Error = Temp.WriteAll(Data, Size)) Fail(Error);
    // A replaced file keeps its permissions.
    if (Exists && S_ISREG(Existing.st_mode))
        if (const int Error = Temp.KeepMode(Existing.st_mode & 07777)) Fail(Error);
    if (const int Error = Temp.Commit(FileName)) Fail(Error);
}

} // namespace varnhold
