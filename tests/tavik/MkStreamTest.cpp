// tavik-mkstream as the build and a user run it: numbers that are not whole
// or not in range, and folders that do not exist, are refused in its own
// words, and no run leaves a ".part" file behind.

#include "tests/support/ProgramRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <cstdlib>

namespace {

namespace fs = std::filesystem;

class MkStream : public ::testing::Test {
protected:
    // Each test in a folder of its own, the current one while it runs.
    void SetUp() override
    {
        std::string name = (fs::temp_directory_path() / "tavik-mkstream-XXXXXX").string();
        ASSERT_NE(::mkdtemp(name.data()), nullptr);
        folder = name;
        previous = fs::current_path();
        fs::current_path(folder);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::current_path(previous, ec);
        fs::remove_all(folder, ec);
    }
    // A run that hangs is ended after a minute.
    static KelvraTest::ProgramRun run(const std::string& arguments)
    {
        return KelvraTest::runProgramWithin(60, std::string(MKSTREAM) + " " + arguments);
    }
    // What the folder holds, by name.
    std::string contents() const
    {
        std::string names;
        for (const auto& entry : fs::directory_iterator(folder))
            names += entry.path().filename().string() + " ";
        return names;
    }

    fs::path folder;
    fs::path previous;
};

TEST_F(MkStream, NumbersNotWholeOrOutOfRangeAreRefusedInItsOwnWords)
{
    const struct {
        std::string arguments;
        std::string line;
    } refused[] = {
        {"sample out.tvks abc", "sets must be a whole number from 0 to 1000000, not \"abc\""},
        {"sample out.tvks -1", "sets must be a whole number from 0 to 1000000, not \"-1\""},
        {"sample out.tvks 1.5", "sets must be a whole number from 0 to 1000000, not \"1.5\""},
        {"sample out.tvks 99999999999", "sets must be a whole number from 0 to 1000000, not \"99999999999\""},
        {"sample out.tvks 1 x", "profile must be a whole number from 0 to 999, not \"x\""},
        {"sample out.tvks 1 99999999999", "profile must be a whole number from 0 to 999, not \"99999999999\""},
        {"sample out.tvks 1 7", "the first camera has no profile 7"},
        {"crafted . 100000 100000",
         "width and height must be a whole number from 1 to 2048, not \"100000\" \"100000\""},
        {"crafted . 0 24", "width and height must be a whole number from 1 to 2048, not \"0\" \"24\""},
        {"crafted . 32 -24", "width and height must be a whole number from 1 to 2048, not \"32\" \"-24\""},
        {"crafted . 32", "crafted takes a width and a height together, or neither"},
    };
    for (const auto& [arguments, line] : refused) {
        SCOPED_TRACE(arguments);
        const KelvraTest::ProgramRun result = run(arguments);
        EXPECT_EQ(result.exitCode, 2) << result.output;
        EXPECT_EQ(result.output.rfind("tavik-mkstream: " + line + "\nusage: tavik-mkstream", 0), 0u) << result.output;
        EXPECT_EQ(result.output.find("stoi"), std::string::npos) << result.output;
        EXPECT_EQ(result.output.find("bad_alloc"), std::string::npos) << result.output;
        EXPECT_EQ(contents(), "");
    }
    // In range: written whole, nothing beside it.
    const KelvraTest::ProgramRun written = run("sample out.tvks 2 4");
    EXPECT_EQ(written.exitCode, 0) << written.output;
    EXPECT_EQ(contents(), "out.tvks ");
}

TEST_F(MkStream, AFolderThatDoesNotExistIsRefusedAndNoFailureLeavesAPartFile)
{
    for (const std::string arguments : {"sample missing/out.tvks 1", "empty missing/out.tvks", "crafted missing"}) {
        SCOPED_TRACE(arguments);
        const KelvraTest::ProgramRun result = run(arguments);
        EXPECT_EQ(result.exitCode, 2) << result.output;
        EXPECT_EQ(result.output.rfind("tavik-mkstream: no folder missing\n", 0), 0u) << result.output;
        EXPECT_EQ(contents(), "");
    }
    // Written, then not put in place: a folder holds the name.
    fs::create_directory(folder / "taken.tvks");
    const KelvraTest::ProgramRun taken = run("empty taken.tvks");
    EXPECT_EQ(taken.exitCode, 1) << taken.output;
    EXPECT_EQ(taken.output.rfind("tavik-mkstream: taken.tvks: ", 0), 0u) << taken.output;
    EXPECT_EQ(contents(), "taken.tvks ");
}

} // namespace
