// The S98 check: its seven messages, the order of its checks, where it stops reading and
// the address it reports.
#include <gtest/gtest.h>

#include <functional>

#include "JobTestUtil.h"
#include "job/VarnholdU.h"

namespace varnhold {
namespace {

using tools::TS98Builder;
using namespace tools;

const std::string CannotRead = "ファイルが読み込めない又はファイルサイズが不正です.";
const std::string NotS98 = "指定のファイルはS98形式ではありません.";
const std::string BadVersion = "対応していないバージョンです.";
const std::string Compressed = "圧縮データには対応していません.";
const std::string BadDeviceCount = "使用デバイス数が不正です.";
const std::string BadDumpOffset = "ダンプデータのアドレスが不正です.";
const std::string Structure = "] ダンプデータの構造に問題があります.";

std::string AddressText(const char* Hex) {
    return std::string("[ADDR:") + Hex + Structure;
}

std::vector<std::uint8_t> Bytes(std::size_t Count) {
    return std::vector<std::uint8_t>(Count, 0);
}

// A file of Count devices of a type without a model; the stream only needs to be valid.
TS98Builder WithDevices(int Count) {
    TS98Builder B('3');
    for (int i = 0; i < Count; ++i)
        B.Device(S98YM3812);
    return B;
}

struct TCheckCase {
    const char* Name;
    std::function<std::vector<std::uint8_t>()> File;
    int Result;
    std::string Text; // expected ResultText; "" means left as it was
};

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> B, std::size_t Size) {
    B.resize(Size);
    return B;
}

// Extra one-sync waits after the header.
std::vector<std::uint8_t> WithTrailing(std::vector<std::uint8_t> B, std::size_t Extra) {
    B.resize(B.size() + Extra, 0xFF);
    return B;
}

const TCheckCase CheckCases[] = {
    {"EmptyFile", [] { return Bytes(0); }, -1, CannotRead},
    {"ThirtyOneBytes", [] { return Bytes(31); }, -1, CannotRead},
    {"TenBytes", [] { return Cut(TS98Builder('1').Build(), 10); }, -1, CannotRead},
    {"LowerCaseMagic", [] { return TS98Builder('1').Magic("s98").Build(); }, -1, NotS98},
    {"MagicCheckedBeforeVersion", [] { return TS98Builder('9').Magic("S97").Build(); }, -1, NotS98},
    {"VersionFour", [] { return TS98Builder('4').Build(); }, -1, BadVersion},
    {"VersionNotADigit", [] { return TS98Builder('A').Build(); }, -1, BadVersion},
    {"VersionZero", [] { return TS98Builder('0').Wait(1).Build(); }, 0, ""},
    {"VersionTwo", [] { return TS98Builder('2').Build(); }, 2, ""},
    {"Compressed", [] { return TS98Builder('1').Compression(1).Build(); }, -1, Compressed},
    {"CompressionCheckedBeforeDeviceCount",
     [] { return TS98Builder('3').Compression(2).DeviceCountField(65).Build(); }, -1, Compressed},
    {"VersionTwoIgnoresDeviceCount",
     [] { return WithTrailing(TS98Builder('2').DeviceCountField(100).Build(), 2000); }, 2, ""},
    {"VersionThreeHundredDevices",
     [] { return WithTrailing(TS98Builder('3').DeviceCountField(100).Build(), 2000); }, -1,
     BadDeviceCount},
    {"VersionThreeSixtyFourDevices", [] { return WithDevices(64).End().Build(); }, 3, ""},
    {"DeviceCountCheckedBeforeDumpOffset",
     [] { return TS98Builder('3').DeviceCountField(65).DumpOffset(5000).Build(); }, -1,
     BadDeviceCount},
    // Records cut off by the end of the file are refused rather than read past the end.
    {"DeviceRecordsBeyondFile", [] { return TS98Builder('3').DeviceCountField(2).Build(); }, -1,
     BadDeviceCount},
    {"DeviceRecordPartlyBeyondFile",
     [] { return Cut(WithDevices(2).DumpOffset(32).Build(), 32 + 16 + 8); }, -1, BadDeviceCount},
    {"DeviceRecordsEndingAtFileEnd", [] { return WithDevices(2).Build(); }, 3, ""},
    {"DumpOffsetAtFileSize", [] { return TS98Builder('1').DumpOffset(32).Build(); }, 1, ""},
    {"DumpOffsetBeyondFileSize", [] { return TS98Builder('1').DumpOffset(33).Build(); }, -1,
     BadDumpOffset},
    {"StreamWithoutEnd", [] { return TS98Builder('1').Write(0, 0, 0x28, 0xF0).Wait(3).Build(); }, 1,
     ""},
    {"BytesAfterEndNotExamined",
     [] {
         return TS98Builder('1').End().Raw({0x80, 0x00}).Build();
     },
     1, ""},
    {"ThreeCountBytes",
     [] {
         return TS98Builder('1').Raw({0xFE, 0x80, 0x80, 0x01}).Build();
     },
     1, ""},
    // 0x2B = 43 = 32 + 11: the eleventh stream byte after the header.
    {"ForbiddenByte",
     [] {
         return TS98Builder('1')
             .Raw({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x80})
             .Build();
     },
     -1, AddressText("0000002C")},
    {"ForbiddenByteFC", [] { return TS98Builder('2').Raw({0xFC}).Build(); }, -1,
     AddressText("00000021")},
    {"AddressInUpperCase",
     [] {
         std::vector<std::uint8_t> File = TS98Builder('1').Build();
         File.resize(0xAB, 0xFF);
         File.push_back(0x9C);
         return File;
     },
     -1, AddressText("000000AC")},
    {"LoneWriteAtEnd", [] { return TS98Builder('1').Wait(1).Raw({0x01}).Build(); }, -1,
     AddressText("00000022")},
    {"WriteMissingValue",
     [] {
         return TS98Builder('0').Raw({0x00, 0x22}).Build();
     },
     -1, AddressText("00000022")},
    {"CountCutOffAtEnd",
     [] {
         return TS98Builder('1').Raw({0xFE, 0x81}).Build();
     },
     -1, AddressText("00000022")},
    {"CountCutOffVersionThree",
     [] {
         return TS98Builder('3').Raw({0xFE, 0x81}).TagOffset(34).Build();
     },
     -1, AddressText("00000022")},
    {"ByteBeforeTagOffsetNotExamined",
     [] {
         return TS98Builder('3').Raw({0x80, 0x80}).TagOffset(33).Build();
     },
     3, ""},
    {"TagOffsetZeroMeansFileSize",
     [] { return TS98Builder('3').Wait(1).Raw({0x80}).TagOffset(0).Build(); }, 3, ""},
    // The bytes of a write may lie beyond the end offset as long as the file holds them.
    {"WriteBytesBeyondTagOffset",
     [] { return TS98Builder('3').Device(S98YM3812).Write(0, 0, 1, 2).TagOffset(50).Build(); }, 3,
     ""},
    {"VersionOneHasNoEndOffset",
     [] { return TS98Builder('1').Wait(1).Raw({0x80}).TagOffset(33).Build(); }, -1,
     AddressText("00000022")},
};

class ValidateS98Test : public ::testing::TestWithParam<TCheckCase> {};

TEST_P(ValidateS98Test, ResultAndMessage) {
    const TCheckCase& Case = GetParam();
    TVarnhold Job;
    TMemoryStream Stream = test::StreamOf(Case.File());
    std::string Text = "unchanged";
    EXPECT_EQ(Job.ValidateS98(Stream, Text), Case.Result);
    EXPECT_EQ(Text, Case.Text.empty() ? "unchanged" : Case.Text);
}

INSTANTIATE_TEST_SUITE_P(Cases, ValidateS98Test, ::testing::ValuesIn(CheckCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(ValidateS98, MarksAddressedDevicesWithoutComparingToDeviceCount) {
    TVarnhold Job;
    // One device record; command byte 0x04 addresses device 2, 0x7F device 63.
    TMemoryStream Stream =
        test::StreamOf(WithDevices(1).Raw({0x04, 0x00, 0x00, 0x7F, 0x00, 0x00}).End());
    std::string Text;
    ASSERT_EQ(Job.ValidateS98(Stream, Text), 3);
    for (std::size_t n = 0; n < Job.DeviceUsed.size(); ++n)
        EXPECT_EQ(Job.DeviceUsed[n], n == 2 || n == 63) << "device " << n;
}

TEST(ValidateS98, PumpsOncePerCommandByteExamined) {
    TVarnhold Job;
    int Calls = 0;
    Job.ProcessMessages.Set([&] { ++Calls; });
    // Four command bytes up to and including 0xFD; what follows is not examined.
    TMemoryStream Stream =
        test::StreamOf(TS98Builder('1').Write(0, 0, 1, 2).Wait(1).Wait(5).End().Raw({0xFF, 0xFF}));
    std::string Text;
    ASSERT_EQ(Job.ValidateS98(Stream, Text), 1);
    EXPECT_EQ(Calls, 4);
}

} // namespace
} // namespace varnhold
