#include "platform/ErrorsU.h"
#include "platform/MemoryStreamU.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace varnhold {
namespace {

std::string LoadError(TMemoryStream& Stream, const std::string& FileName) {
    try {
        Stream.LoadFromFile(FileName);
    } catch (const EFileError& Error) {
        return Error.what();
    }
    return "";
}

TEST(MemoryStream, ReadsSeeksAndWrites) {
    TMemoryStream Stream;
    const std::uint8_t Bytes[] = {1, 2, 3, 4, 5};
    Stream.Write(Bytes, sizeof Bytes);
    EXPECT_EQ(Stream.Size(), 5u);
    EXPECT_EQ(Stream.Position(), 5u);

    // Overwrite in the middle, then extend past the end.
    Stream.SetPosition(3);
    const std::uint8_t Tail[] = {9, 9, 9};
    Stream.Write(Tail, sizeof Tail);
    EXPECT_EQ(Stream.Buffer(), (std::vector<std::uint8_t>{1, 2, 3, 9, 9, 9}));

    // A gap left by seeking past the end reads as zeros.
    Stream.SetPosition(8);
    Stream.WriteByte(7);
    EXPECT_EQ(Stream.Buffer(), (std::vector<std::uint8_t>{1, 2, 3, 9, 9, 9, 0, 0, 7}));

    Stream.SetPosition(7);
    std::uint8_t Out[4] = {};
    EXPECT_EQ(Stream.Read(Out, sizeof Out), 2u);
    EXPECT_EQ(Out[0], 0);
    EXPECT_EQ(Out[1], 7);
    EXPECT_EQ(Stream.Read(Out, sizeof Out), 0u);
    std::uint8_t Byte = 0;
    EXPECT_FALSE(Stream.ReadByte(Byte));
    Stream.SetPosition(100);
    EXPECT_EQ(Stream.Read(Out, sizeof Out), 0u);
    EXPECT_EQ(Stream.Size(), 9u);
}

TEST(MemoryStream, LoadsAndSavesWholeFiles) {
    test::TTempDir Dir;
    std::vector<std::uint8_t> Content(70000);
    for (std::size_t I = 0; I < Content.size(); ++I)
        Content[I] = static_cast<std::uint8_t>(I * 7);
    test::WriteFileBytes(Dir.File("in.s98"), Content);

    TMemoryStream Stream;
    Stream.WriteByte(42);
    Stream.LoadFromFile(Dir.File("in.s98"));
    EXPECT_EQ(Stream.Position(), 0u);
    EXPECT_EQ(Stream.Buffer(), Content);

    Stream.SaveToFile(Dir.File("copy"));
    EXPECT_EQ(test::ReadFileBytes(Dir.File("copy")), Content);

    test::WriteFileBytes(Dir.File("empty"), {});
    Stream.LoadFromFile(Dir.File("empty"));
    EXPECT_EQ(Stream.Size(), 0u);
}

TEST(MemoryStream, LoadsFilesThatReportNoSize) {
    // /proc files report size 0 but have content.
    TMemoryStream Stream;
    Stream.LoadFromFile("/proc/self/status");
    EXPECT_GT(Stream.Size(), 0u);
}

TEST(MemoryStream, LoadErrorsNameTheFileAndKeepTheContent) {
    test::TTempDir Dir;
    TMemoryStream Stream;
    Stream.WriteByte(42);

    const struct {
        std::string FileName;
        const char* Reason;
    } Cases[] = {
        {Dir.File("missing.s98"), "No such file or directory"},
        {Dir.Path(), "directory"},
        {Dir.File("missing/in.s98"), "No such file or directory"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.FileName);
        const std::string Message = LoadError(Stream, C.FileName);
        EXPECT_NE(Message.find(C.FileName), std::string::npos) << Message;
        EXPECT_NE(Message.find(C.Reason), std::string::npos) << Message;
        EXPECT_EQ(Stream.Buffer(), std::vector<std::uint8_t>{42});
    }
}

TEST(MemoryStream, UnreadableFileIsAnError) {
    if (::geteuid() == 0) GTEST_SKIP() << "a privileged user may read any file";
    test::TTempDir Dir;
    test::WriteFileBytes(Dir.File("locked"), {1});
    std::filesystem::permissions(Dir.File("locked"), std::filesystem::perms::none);
    TMemoryStream Stream;
    const std::string Message = LoadError(Stream, Dir.File("locked"));
    EXPECT_NE(Message.find("Permission denied"), std::string::npos) << Message;
}

} // namespace
} // namespace varnhold
