// File-system and text helpers that the job and the writers rely on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace varnhold {

// True for a separator of directory parts. On POSIX only '/'; a Linux file name may hold
// '\' or ':' as ordinary characters. A Windows build also splits at '\' and ':'.
bool IsPathDelimiter(char C);

// Everything up to and including the last delimiter; empty when there is none.
std::string ExtractFilePath(const std::string& FileName);
// The part after the last delimiter.
std::string ExtractFileName(const std::string& FileName);
// The extension of the name part, from its last dot on (".s98"); empty when it has no dot.
std::string ExtractFileExt(const std::string& FileName);
// FileName with the extension of its name part replaced by Ext (which includes the dot);
// a name without an extension gets Ext appended.
std::string ChangeFileExt(const std::string& FileName, const std::string& Ext);

// Whether FileName names an existing file that is not a directory.
bool FileExists(const std::string& FileName);
// Whether Path names an existing directory.
bool DirectoryExists(const std::string& Path);

// The full path of the running program's own file; empty when the system does not tell.
std::string ProgramFileName();

// Value in upper-case hexadecimal, zero-padded to at least eight digits ("%8.8X").
std::string FormatHex8(std::uint64_t Value);

// Writes Size bytes to FileName atomically (temporary file in the same directory, then
// rename). Throws EFileError naming FileName and the reason; leaves no temporary file.
void SaveFileAtomically(const std::string& FileName, const std::uint8_t* Data, std::size_t Size);

} // namespace varnhold
