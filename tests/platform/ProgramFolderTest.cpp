#include "platform/ProgramFolder.h"

#include "TestSupport.h"

#include <unistd.h>

namespace {

// The program folder is where the executable lies, whatever the current folder is.
TEST(ProgramFolder, IsTheExecutablesFolderWithATrailingSlash)
{
    TempDir elsewhere;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.Native());
    const std::string folder = ProgramFolder();
    std::filesystem::current_path(cwd);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(
        std::filesystem::exists(std::filesystem::path(NativePath(folder)) / "velmo_core_tests"));
    EXPECT_EQ(ProgramBaseName(), "velmo_core_tests");
}

} // namespace
