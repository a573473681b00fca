#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace varnhold {
namespace {

TEST(TestSupport, TempDirIsFreshAndRemovedWithItsContent) {
    std::string Kept;
    {
        test::TTempDir One, Two;
        EXPECT_NE(One.Path(), Two.Path());
        EXPECT_TRUE(std::filesystem::is_empty(One.Path()));
        std::filesystem::create_directories(One.File("a/b"));
        test::WriteFileBytes(One.File("a/b/c.bin"), {1, 2});
        EXPECT_TRUE(test::FileExistsPlain(One.File("a/b/c.bin")));
        EXPECT_FALSE(test::FileExistsPlain(One.File("a")));
        EXPECT_EQ(test::ReadFileBytes(One.File("a/b/c.bin")), (std::vector<std::uint8_t>{1, 2}));
        Kept = One.Path();
    }
    EXPECT_FALSE(std::filesystem::exists(Kept));
}

} // namespace
} // namespace varnhold
