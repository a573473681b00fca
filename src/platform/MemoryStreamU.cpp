#include "platform/MemoryStreamU.h"

#include "platform/ErrorsU.h"
#include "platform/FileUtilU.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace varnhold {

namespace {

// Closes the descriptor on every way out.
class TFileHandle {
public:
    explicit TFileHandle(int Fd) : Fd(Fd) {}
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    ~TFileHandle() {
        if (Fd >= 0) ::close(Fd);
    }
    int Get() const { return Fd; }

private:
    int Fd;
};

[[noreturn]] void FailToLoad(const std::string& FileName, const std::string& Why) {
    throw EFileError("cannot open \"" + FileName + "\": " + Why);
}

} // namespace

void TMemoryStream::LoadFromFile(const std::string& FileName) {
    const TFileHandle File(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (File.Get() < 0) FailToLoad(FileName, std::strerror(errno));
    struct stat Info {};
    if (::fstat(File.Get(), &Info) != 0) FailToLoad(FileName, std::strerror(errno));
    if (S_ISDIR(Info.st_mode)) FailToLoad(FileName, "it is a directory");

    // Read into a fresh buffer so that a failure keeps the old content.
    std::vector<std::uint8_t> Loaded;
    try {
        const std::size_t Expected = Info.st_size > 0 ? static_cast<std::size_t>(Info.st_size) : 0;
        Loaded.resize(Expected);
        std::size_t Filled = 0;
        // The size is only a hint (a file may grow, a special file reports 0): read to EOF,
        // probing with a small buffer once the expected bytes are in.
        std::uint8_t Probe[4096];
        for (;;) {
            const bool Full = Filled == Loaded.size();
            std::uint8_t* Target = Full ? Probe : Loaded.data() + Filled;
            const std::size_t Room = Full ? sizeof Probe : Loaded.size() - Filled;
            const ssize_t Got = ::read(File.Get(), Target, Room);
            if (Got < 0) {
                if (errno == EINTR) continue;
                FailToLoad(FileName, std::strerror(errno));
            }
            if (Got == 0) break;
            if (Full) Loaded.insert(Loaded.end(), Probe, Probe + Got);
            Filled += static_cast<std::size_t>(Got);
        }
        Loaded.resize(Filled);
    } catch (const std::bad_alloc&) {
        throw EFileError("not enough memory to load \"" + FileName + "\"");
    } catch (const std::length_error&) {
        throw EFileError("not enough memory to load \"" + FileName + "\"");
    }
    Bytes = std::move(Loaded);
    Pos = 0;
}

void TMemoryStream::SaveToFile(const std::string& FileName) const {
    SaveFileAtomically(FileName, Bytes.data(), Bytes.size());
}

std::size_t TMemoryStream::Read(void* Buffer, std::size_t Count) {
    if (Pos >= Bytes.size()) return 0;
    const std::size_t Available = Bytes.size() - Pos;
    if (Count > Available) Count = Available;
    if (Count > 0) std::memcpy(Buffer, Bytes.data() + Pos, Count);
    Pos += Count;
    return Count;
}

void TMemoryStream::Write(const void* Buffer, std::size_t Count) {
    if (Count == 0) return;
    // Writing past the end fills the gap with zeros.
    if (Pos + Count > Bytes.size()) Bytes.resize(Pos + Count);
    std::memcpy(Bytes.data() + Pos, Buffer, Count);
    Pos += Count;
}

void TMemoryStream::WriteByte(std::uint8_t Byte) {
    if (Pos == Bytes.size())
        Bytes.push_back(Byte);
    else
        Write(&Byte, 1);
}

} // namespace varnhold
