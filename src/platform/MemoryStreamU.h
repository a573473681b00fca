// An in-memory byte stream: load a whole file, read and seek in it, or build bytes and
// save them to a file in one piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace varnhold {

class TMemoryStream {
public:
    // Replaces the content with the whole file and rewinds. Throws EFileError naming the
    // file and the reason (missing, a directory, unreadable, too large for memory).
    void LoadFromFile(const std::string& FileName);

    // Writes the whole content to FileName, replacing an existing file atomically: the
    // bytes go to a temporary file in the same directory, which is then renamed. On any
    // failure an existing file keeps its content, no temporary file is left behind and
    // EFileError names the file.
    void SaveToFile(const std::string& FileName) const;

    // Reads up to Count bytes; returns how many were read.
    std::size_t Read(void* Buffer, std::size_t Count);
    bool ReadByte(std::uint8_t& Byte) {
        if (Pos >= Bytes.size())
            return false;
        Byte = Bytes[Pos++];
        return true;
    }

    // Writes at the position, growing the stream as needed.
    void Write(const void* Buffer, std::size_t Count);
    void WriteByte(std::uint8_t Byte);

    std::uint64_t Position() const { return Pos; }
    // Positions beyond the end are allowed; reads there return nothing.
    void SetPosition(std::uint64_t NewPosition) { Pos = static_cast<std::size_t>(NewPosition); }
    std::uint64_t Size() const { return Bytes.size(); }

    void Clear() {
        Bytes.clear();
        Pos = 0;
    }
    void Reserve(std::size_t Capacity) { Bytes.reserve(Capacity); }

    const std::uint8_t* Data() const { return Bytes.data(); }
    const std::vector<std::uint8_t>& Buffer() const { return Bytes; }
    std::vector<std::uint8_t>& Buffer() { return Bytes; }

private:
    std::vector<std::uint8_t> Bytes;
    std::size_t Pos = 0;
};

} // namespace varnhold
