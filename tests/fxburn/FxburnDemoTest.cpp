// The demo runner as a user starts it: bad numbers are refused with the usage
// and exit code 2, images that are not regular files at once, and its report
// says the image is in the flash only when the run wrote it.

#include "FxburnTestSupport.h"
#include "tests/support/ProgramRun.h"

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>

namespace fxburn {
namespace {

using DemoRun = KelvraTest::ProgramRun;

// A demo that hangs is ended after a minute.
DemoRun runDemo(const std::string& arguments)
{
    return KelvraTest::runProgramWithin(60, std::string(FXBURN_DEMO) + " " + arguments);
}

bool says(const DemoRun& run, const std::string& text)
{
    return run.output.find(text) != std::string::npos;
}

TEST(FxburnDemo, BadNumbersGiveTheUsageAndExitCodeTwo)
{
    for (const char* arguments : {"--size abc", "--size -5", "--size 12x", "--size ''", "--size 99999999999",
                                  "--pace x", "--pace -1", "--pace nan", "--pace ''"}) {
        SCOPED_TRACE(arguments);
        const DemoRun run = runDemo(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(says(run, "usage: fxburn-demo"));
        EXPECT_FALSE(says(run, "[demo] running"));
    }
    const DemoRun paced = runDemo("--pace 0 --size 1000 --start programmer");
    EXPECT_EQ(paced.exitCode, 0);
    EXPECT_TRUE(says(paced, "[demo] fxburn exit code 0"));
}

TEST(FxburnDemo, ImageInFlashOnlyWhenThisRunWroteIt)
{
    test::ScopedWorkDir dir;
    const DemoRun written = runDemo("--size 5000 --dir written");
    EXPECT_EQ(written.exitCode, 0);
    EXPECT_TRUE(says(written, "image in flash: yes"));

    test::writeFile("empty.img", {});
    const DemoRun empty = runDemo("--firmware empty.img --dir empty");
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(says(empty, "image in flash: no"));

    // What the flash already holds: refused (not a whole image), nothing written.
    const port::sim::SimBoard board;
    test::writeFile("same.img", test::Bytes(board.flash.bytes.begin(), board.flash.bytes.begin() + 4096));
    const DemoRun same = runDemo("--firmware same.img --dir same");
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_TRUE(says(same, "image in flash: no"));
}

TEST(FxburnDemo, ImageFilesAreReadNoFurtherThanFxburnReads)
{
    test::ScopedWorkDir dir;
    // One byte more than fxburn reads, without taking room on the disk.
    test::writeFile("large.img", {});
    std::filesystem::resize_file("large.img", MAX_IMAGE_FILE_SIZE + 1);
    const std::string limit = std::to_string(MAX_IMAGE_FILE_SIZE);
    for (const std::string option : {"--firmware", "--programmer"}) {
        SCOPED_TRACE(option);
        const DemoRun run = runDemo("--dir out " + option + " large.img");
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_TRUE(says(
            run, "fxburn-demo: large.img (" + option + ") holds more than " + limit + " bytes, the most fxburn reads"))
            << run.output;
        EXPECT_FALSE(says(run, "[demo] running"));
    }
    // Exactly the most fxburn reads is taken, as a file and as a generated image.
    std::filesystem::resize_file("large.img", MAX_IMAGE_FILE_SIZE);
    const DemoRun exact = runDemo("--dir out --start none --size " + limit + " --programmer large.img");
    EXPECT_TRUE(says(exact, "CyBootProgrammer.img (" + limit + " bytes), fw.img (" + limit + " bytes)"))
        << exact.output;
    EXPECT_TRUE(says(exact, "[demo] running")) << exact.output;
    const DemoRun missing = runDemo("--dir out --firmware missing.img");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(says(missing, "fxburn-demo: cannot read missing.img"));
}

TEST(FxburnDemo, WhatIsNotARegularFileIsRefusedAtOnce)
{
    test::ScopedWorkDir dir;
    // No writer ever comes: an open that waited for one would hang the demo.
    ASSERT_EQ(::mkfifo("fifo.img", 0600), 0);
    const std::string fifo = (std::filesystem::current_path() / "fifo.img").string();
    for (const std::string option : {"--firmware", "--programmer"})
        for (const std::string& file : {fifo, std::string("/dev/zero")}) {
            SCOPED_TRACE(option + " " + file);
            const DemoRun run = runDemo("--dir out " + option + " " + file);
            EXPECT_EQ(run.exitCode, 2) << run.output;
            EXPECT_TRUE(says(run, "fxburn-demo: " + file + " (" + option + ") is not a regular file\n")) << run.output;
            EXPECT_FALSE(says(run, "[demo] running"));
        }
    // The updater's own open of its image.
    const DemoRun image = runDemo("--dir out -i " + fifo);
    EXPECT_EQ(image.exitCode, 1) << image.output;
    EXPECT_TRUE(says(image, "Error : " + fifo + ": not a regular file\n")) << image.output;
    EXPECT_TRUE(says(image, "Fail to open " + fifo + "\n")) << image.output;
    EXPECT_TRUE(says(image, "[demo] camera commands: erase data 0, enter boot loader 0\n")) << image.output;
}

} // namespace
} // namespace fxburn
