// Every row of docs/errors.md: a bad input or a bad place for the outputs, run through the
// command-line tool, with the exact text printed, the exit status and the files left.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "S98Builder.h"
#include "VarnholdCliU.h"
#include "reliability/ReliabilityUtil.h"
#include "support/TestSupport.h"

namespace varnhold::test {
namespace {

using namespace tools;
namespace fs = std::filesystem;

const std::string CannotRead = "ファイルが読み込めない又はファイルサイズが不正です.";
const std::string NotS98 = "指定のファイルはS98形式ではありません.";
const std::string BadVersion = "対応していないバージョンです.";
const std::string Compressed = "圧縮データには対応していません.";
const std::string BadDeviceCount = "使用デバイス数が不正です.";
const std::string BadDumpOffset = "ダンプデータのアドレスが不正です.";
const std::string BadStructure = "ダンプデータの構造に問題があります.";

// Header (32 bytes) and one SN76489 record (16): the stream starts at offset 48 (0x30).
TS98Builder Sn76489() {
    TS98Builder B('3');
    B.Device(S98SN76489, 3579545);
    return B;
}

TS98Builder Valid() {
    TS98Builder B = Sn76489();
    B.Write(0, 0, 0, 0x8E).Write(0, 0, 0, 0x0F).Write(0, 0, 0, 0x90).Wait(30);
    B.Write(0, 0, 0, 0x9F).Wait(10).End();
    return B;
}

std::vector<std::uint8_t> FirstBytes(std::size_t Count) {
    std::vector<std::uint8_t> Bytes = Valid().Build();
    Bytes.resize(Count);
    return Bytes;
}

struct TErrorCase {
    const char* Row;
    // Writes the input into the directory and returns its name there.
    std::function<std::string(const TTempDir&)> MakeInput;
    std::vector<std::string> Args; // before the file; "{dir}" is the directory
    int Exit;
    std::string Out; // "{file}" is the input's path, "{dir}" the directory
    std::string Err;
    std::set<std::string> After; // every entry of the directory after the run
};

std::function<std::string(const TTempDir&)> Bytes(std::vector<std::uint8_t> Content) {
    return [Content](const TTempDir& Dir) {
        WriteFileBytes(Dir.File("song.s98"), Content);
        return std::string("song.s98");
    };
}

std::function<std::string(const TTempDir&)> Log(const TS98Builder& B) {
    return Bytes(B.Build());
}

std::string Fill(std::string Text, const std::string& File, const std::string& Dir) {
    for (const auto& [Key, Value] : {std::pair<std::string, std::string>{"{file}", File},
                                     std::pair<std::string, std::string>{"{dir}", Dir}})
        for (std::size_t At; (At = Text.find(Key)) != std::string::npos;)
            Text.replace(At, Key.size(), Value);
    return Text;
}

TS98Builder With65Devices() {
    TS98Builder B('3');
    for (int n = 0; n < 65; ++n)
        B.Device(S98SN76489);
    B.Write(0, 0, 0, 0x9F).Wait(1).End();
    return B;
}

TS98Builder DumpOffsetPastTheEnd() {
    TS98Builder B = Valid();
    B.DumpOffset(static_cast<std::uint32_t>(B.Build().size() + 1));
    return B;
}

const std::set<std::string> InputOnly = {"song.s98"};
const std::string Rejected = "{file}: ";

const TErrorCase ErrorCases[] = {
    {"empty file", Bytes({}), {}, cli::ExitFailed, Rejected + CannotRead + "\n", "", InputOnly},
    {"31 bytes",
     Bytes(FirstBytes(31)),
     {},
     cli::ExitFailed,
     Rejected + CannotRead + "\n",
     "",
     InputOnly},
    {"wrong magic",
     Log(Valid().Magic("s98")),
     {},
     cli::ExitFailed,
     Rejected + NotS98 + "\n",
     "",
     InputOnly},
    {"version 4",
     Log(Valid().Version('4')),
     {},
     cli::ExitFailed,
     Rejected + BadVersion + "\n",
     "",
     InputOnly},
    {"compressed",
     Log(Valid().Compression(1)),
     {},
     cli::ExitFailed,
     Rejected + Compressed + "\n",
     "",
     InputOnly},
    {"65 devices",
     Log(With65Devices()),
     {},
     cli::ExitFailed,
     Rejected + BadDeviceCount + "\n",
     "",
     InputOnly},
    {"DumpOffset past the end",
     Log(DumpOffsetPastTheEnd()),
     {},
     cli::ExitFailed,
     Rejected + BadDumpOffset + "\n",
     "",
     InputOnly},
    // 0x80 at offset 0x33; the address is just past it.
    {"forbidden command byte",
     Log(Sn76489().Write(0, 0, 0, 0x9F).Raw({0x80}).Wait(1)),
     {},
     cli::ExitFailed,
     Rejected + "[ADDR:00000034] " + BadStructure + "\n",
     "",
     InputOnly},
    // The file is 0x35 bytes long; the write at 0x33 lacks its value.
    {"write cut off",
     Log(Sn76489().Write(0, 0, 0, 0x9F).Raw({0x00, 0x09})),
     {},
     cli::ExitFailed,
     Rejected + "[ADDR:00000035] " + BadStructure + "\n",
     "",
     InputOnly},
    {"wait cut off",
     Log(Sn76489().Write(0, 0, 0, 0x9F).Raw({0xFE, 0x81})),
     {},
     cli::ExitFailed,
     Rejected + "[ADDR:00000035] " + BadStructure + "\n",
     "",
     InputOnly},
    {"device records past the end",
     Log(Sn76489().DeviceCountField(3).Write(0, 0, 0, 0x9F).Wait(1)),
     {},
     cli::ExitFailed,
     Rejected + BadDeviceCount + "\n",
     "",
     InputOnly},
    {"write to a device without a record",
     Log(Sn76489().Write(0, 0, 0, 0x9F).Write(2, 0, 0, 0x9F).Wait(1).End()),
     {},
     cli::ExitFailed,
     "",
     "{file}: error: {file}: register write to device 2, which has no chip model (the log sets "
     "up 1 device(s))\n",
     InputOnly},
    {"directory instead of a file",
     [](const TTempDir& Dir) {
         fs::create_directory(Dir.File("folder.s98"));
         return std::string("folder.s98");
     },
     {},
     cli::ExitFailed,
     "",
     "{file}: error: cannot open \"{file}\": it is a directory\n",
     {"folder.s98/"}},
    {"missing file",
     [](const TTempDir&) { return std::string("absent.s98"); },
     {},
     cli::ExitFailed,
     "",
     "{file}: error: cannot open \"{file}\": No such file or directory\n",
     {}},
    {"output directory that does not exist",
     Log(Valid()),
     {"--output-dir", "{dir}/missing"},
     cli::ExitUsage,
     "",
     "--output-dir: Directory does not exist: {dir}/missing\nRun with --help for more "
     "information.\n",
     InputOnly},
    {"output name that is an existing directory",
     [](const TTempDir& Dir) {
         Valid().Save(Dir.File("song.s98"));
         fs::create_directory(Dir.File("song.mid"));
         return std::string("song.s98");
     },
     {},
     cli::ExitFailed,
     "",
     "{file}: error: cannot write \"{dir}/song.mid\": Is a directory\n",
     {"song.s98", "song.mid/"}},
    {"valid log, for contrast",
     Log(Valid()),
     {},
     cli::ExitConverted,
     "{file}: [Done]\n",
     "",
     {"song.s98", "song.mid"}},
};

class ErrorCatalogue : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(ErrorCatalogue, PrintsItsTextExitsWithItsStatusAndWritesNothing) {
    const TErrorCase& C = GetParam();
    TTempDir Dir;
    const std::string File = Dir.File(C.MakeInput(Dir));
    std::vector<std::string> Args;
    for (const std::string& A : C.Args)
        Args.push_back(Fill(A, File, Dir.Path()));
    Args.push_back(File);

    const TToolRun R = RunTool(Args);
    EXPECT_EQ(R.Exit, C.Exit);
    EXPECT_EQ(R.Out, Fill(C.Out, File, Dir.Path()));
    EXPECT_EQ(R.Err, Fill(C.Err, File, Dir.Path()));
    EXPECT_EQ(ListTree(Dir.Path()), C.After);
}

INSTANTIATE_TEST_SUITE_P(Rows, ErrorCatalogue, ::testing::ValuesIn(ErrorCases),
                         [](const auto& Info) {
                             std::string Name = Info.param.Row;
                             for (char& c : Name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return Name;
                         });

// A file that the user may not read. Root reads anything, so a root test run drops to an
// unprivileged user in a child process first.
TEST(ErrorCatalogueUnreadable, UnreadableFileIsAnErrorNamingIt) {
    TTempDir Dir;
    const std::string File = Dir.File("song.s98");
    Valid().Save(File);
    ASSERT_EQ(::chmod(File.c_str(), 0), 0);
    ASSERT_EQ(::chmod(Dir.Path().c_str(), 0755), 0);

    const auto Check = [&] {
        const TToolRun R = RunTool({File});
        const std::string Err = "cannot open \"" + File + "\": Permission denied";
        return R.Exit == cli::ExitFailed && R.Out.empty() &&
               R.Err == File + ": error: " + Err + "\n" &&
               ListTree(Dir.Path()) == std::set<std::string>{"song.s98"};
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(Check());
        return;
    }
    const pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        const uid_t Nobody = 65534;
        if (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0) ::_exit(2);
        ::_exit(Check() ? 0 : 1);
    }
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    ASSERT_TRUE(WIFEXITED(Status));
    if (WEXITSTATUS(Status) == 2) GTEST_SKIP() << "cannot drop privileges to user 65534";
    EXPECT_EQ(WEXITSTATUS(Status), 0) << "the unprivileged run did not fail as documented";
}

} // namespace
} // namespace varnhold::test
