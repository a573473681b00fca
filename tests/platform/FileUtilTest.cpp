#include "platform/ErrorsU.h"
#include "platform/FileUtilU.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnhold {
namespace {

struct TPathCase {
    const char* FileName;
    const char* Path;
    const char* Name;
    const char* Ext;
    const char* WithMid; // ChangeFileExt(FileName, ".mid")
};

#ifndef _WIN32
// A Linux file name may hold '\' and ':'; only '/' separates.
const TPathCase PathCases[] = {
    {"/music/song.s98", "/music/", "song.s98", ".s98", "/music/song.mid"},
    {"song.s98", "", "song.s98", ".s98", "song.mid"},
    {"/music/song", "/music/", "song", "", "/music/song.mid"},
    {"/music.v2/song", "/music.v2/", "song", "", "/music.v2/song.mid"},
    {"a/b.c.s98", "a/", "b.c.s98", ".s98", "a/b.c.mid"},
    {"/dir/", "/dir/", "", "", "/dir/.mid"},
    {"", "", "", "", ".mid"},
    {"/x/back\\slash.s98", "/x/", "back\\slash.s98", ".s98", "/x/back\\slash.mid"},
    {"c:\\tunes\\a.s98", "", "c:\\tunes\\a.s98", ".s98", "c:\\tunes\\a.mid"},
    {"/x/odd\\name.d\\file", "/x/", "odd\\name.d\\file", ".d\\file", "/x/odd\\name.mid"},
};

TEST(FileUtil, SplitsFileNamesAtSlashOnly) {
    for (const auto& C : PathCases) {
        SCOPED_TRACE(C.FileName);
        EXPECT_EQ(ExtractFilePath(C.FileName), C.Path);
        EXPECT_EQ(ExtractFileName(C.FileName), C.Name);
        EXPECT_EQ(ExtractFileExt(C.FileName), C.Ext);
        EXPECT_EQ(ChangeFileExt(C.FileName, ".mid"), C.WithMid);
    }
    EXPECT_TRUE(IsPathDelimiter('/'));
    EXPECT_FALSE(IsPathDelimiter('\\'));
    EXPECT_FALSE(IsPathDelimiter(':'));
}
#endif

TEST(FileUtil, FormatHex8PadsToEightUpperCaseDigits) {
    const struct {
        std::uint64_t Value;
        const char* Text;
    } Cases[] = {
        {0, "00000000"},          {0x1F, "0000001F"},         {0xABCDEF12, "ABCDEF12"},
        {0xFFFFFFFF, "FFFFFFFF"}, {0x123456789, "123456789"},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(FormatHex8(C.Value), C.Text);
}

TEST(FileUtil, FileAndDirectoryExistence) {
    test::TTempDir Dir;
    const std::string File = Dir.File("a.s98");
    test::WriteFileBytes(File, {1, 2, 3});
    EXPECT_TRUE(FileExists(File));
    EXPECT_FALSE(DirectoryExists(File));
    EXPECT_FALSE(FileExists(Dir.Path()));
    EXPECT_TRUE(DirectoryExists(Dir.Path()));
    EXPECT_FALSE(FileExists(Dir.File("missing")));
    EXPECT_FALSE(DirectoryExists(Dir.File("missing")));
}

TEST(FileUtil, ProgramFileNameIsThisTestProgram) {
    const std::string Self = ProgramFileName();
    ASSERT_FALSE(Self.empty());
    EXPECT_EQ(Self.front(), '/');
    EXPECT_EQ(ExtractFileName(Self), "test_platform");
    EXPECT_TRUE(FileExists(Self));
}

// Writing a file atomically.
class SaveAtomically : public ::testing::Test {
protected:
    test::TTempDir Dir;
    const std::vector<std::uint8_t> Old{'o', 'l', 'd'};
    const std::vector<std::uint8_t> New{'n', 'e', 'w', 0, 0xFF};

    void Save(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
        SaveFileAtomically(Name, Bytes.data(), Bytes.size());
    }
    // Every entry of the directory: a leftover temporary would show here.
    std::vector<std::string> Entries() const {
        std::vector<std::string> Names;
        for (const auto& Entry : std::filesystem::directory_iterator(Dir.Path()))
            Names.push_back(Entry.path().filename().string());
        std::sort(Names.begin(), Names.end());
        return Names;
    }
    std::string ErrorOf(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
        try {
            Save(Name, Bytes);
        } catch (const EFileError& Error) {
            return Error.what();
        }
        return "";
    }
};

TEST_F(SaveAtomically, CreatesAndReplacesWholeFiles) {
    const std::string Target = Dir.File("out.mid");
    Save(Target, Old);
    EXPECT_EQ(test::ReadFileBytes(Target), Old);
    Save(Target, New);
    EXPECT_EQ(test::ReadFileBytes(Target), New);
    Save(Target, {});
    EXPECT_TRUE(test::ReadFileBytes(Target).empty());
    EXPECT_EQ(Entries(), std::vector<std::string>{"out.mid"});
}

TEST_F(SaveAtomically, NewFileGetsTheUsualPermissions) {
    // Same mode as a file created the ordinary way (0666 less the umask).
    test::WriteFileBytes(Dir.File("plain"), Old);
    Save(Dir.File("atomic"), New);
    struct stat Plain {
    }, Atomic{};
    ASSERT_EQ(::stat(Dir.File("plain").c_str(), &Plain), 0);
    ASSERT_EQ(::stat(Dir.File("atomic").c_str(), &Atomic), 0);
    EXPECT_EQ(Atomic.st_mode & 07777, Plain.st_mode & 07777);
}

TEST_F(SaveAtomically, ReplacedFileKeepsItsPermissions) {
    const std::string Target = Dir.File("out.mid");
    Save(Target, Old);
    ASSERT_EQ(::chmod(Target.c_str(), 0640), 0);
    Save(Target, New);
    struct stat Info {};
    ASSERT_EQ(::stat(Target.c_str(), &Info), 0);
    EXPECT_EQ(Info.st_mode & 07777, 0640u);
}

TEST_F(SaveAtomically, FailuresNameTheTargetAndLeaveNothingBehind) {
    // A missing directory.
    const std::string InMissing = Dir.File("nodir/out.mid");
    std::string Message = ErrorOf(InMissing, New);
    EXPECT_NE(Message.find(InMissing), std::string::npos) << Message;
    EXPECT_NE(Message.find("No such file or directory"), std::string::npos) << Message;

    // A target that is a directory stays a directory.
    std::filesystem::create_directory(Dir.File("sub"));
    Message = ErrorOf(Dir.File("sub"), New);
    EXPECT_NE(Message.find(Dir.File("sub")), std::string::npos) << Message;
    EXPECT_NE(Message.find("Is a directory"), std::string::npos) << Message;
    EXPECT_TRUE(DirectoryExists(Dir.File("sub")));

    EXPECT_EQ(Entries(), std::vector<std::string>{"sub"});
}

TEST_F(SaveAtomically, FailedWriteLeavesExistingFileUntouched) {
    const std::string Target = Dir.File("out.mid");
    Save(Target, Old);
    // A file-size limit makes the write itself fail, even for a privileged user.
    struct rlimit Saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Saved), 0);
    const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit Small = Saved;
    Small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
    const std::string Message = ErrorOf(Target, std::vector<std::uint8_t>(4096, 0x55));
    ::setrlimit(RLIMIT_FSIZE, &Saved);
    std::signal(SIGXFSZ, OldHandler);

    EXPECT_NE(Message.find(Target), std::string::npos) << Message;
    EXPECT_EQ(test::ReadFileBytes(Target), Old);
    EXPECT_EQ(Entries(), std::vector<std::string>{"out.mid"});
}

TEST_F(SaveAtomically, ReadOnlyDirectoryLeavesExistingFileUntouched) {
    if (::geteuid() == 0) GTEST_SKIP() << "a privileged user may write into read-only directories";
    const std::string Target = Dir.File("out.mid");
    Save(Target, Old);
    ASSERT_EQ(::chmod(Dir.Path().c_str(), 0555), 0);
    const std::string Message = ErrorOf(Target, New);
    ::chmod(Dir.Path().c_str(), 0755);
    EXPECT_NE(Message.find(Target), std::string::npos) << Message;
    EXPECT_EQ(test::ReadFileBytes(Target), Old);
}

TEST_F(SaveAtomically, RelativeNameWritesIntoTheWorkingDirectory) {
    const auto Cwd = std::filesystem::current_path();
    std::filesystem::current_path(Dir.Path());
    Save("rel.mid", New);
    std::filesystem::current_path(Cwd);
    EXPECT_EQ(test::ReadFileBytes(Dir.File("rel.mid")), New);
    EXPECT_EQ(Entries(), std::vector<std::string>{"rel.mid"});
}

} // namespace
} // namespace varnhold
