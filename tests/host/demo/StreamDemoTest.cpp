// The console demo as a user runs it: --help and bad arguments get the usage;
// on a damaged recording it says what the recording loses before playing it,
// and names the set a playback stopped at.

#include "tests/support/ProgramRun.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using DemoRun = KelvraTest::ProgramRun;

// One second of live capture, then the recording; a demo that hangs is ended
// after a minute.
DemoRun runDemo(const std::string& recording)
{
    return KelvraTest::runProgramWithin(60, std::string(STREAM_DEMO) + " '" + recording + "' 1");
}

bool says(const DemoRun& run, const std::string& line)
{
    return run.output.find(line + "\n") != std::string::npos;
}

TEST(StreamDemo, ADamagedOrCutRecordingIsToldAndCountedAsThePositionsAre)
{
    const DemoRun skipped = runDemo(KELVRA_CRAFTED_STREAM_DIR "/damaged-length.tvks");
    EXPECT_EQ(skipped.exitCode, 1) << skipped.output;
    EXPECT_TRUE(says(skipped, "Recording damaged: frame set 2 / 20 skipped: frame set length mismatch"))
        << skipped.output;
    EXPECT_TRUE(says(skipped, "Playback: 1 frame sets")) << skipped.output;
    EXPECT_TRUE(says(skipped, "Playback stopped: frame set 2 / 20 skipped: frame set length mismatch"))
        << skipped.output;

    const DemoRun cut = runDemo(KELVRA_CRAFTED_STREAM_DIR "/truncated.tvks");
    EXPECT_EQ(cut.exitCode, 0) << cut.output;
    EXPECT_NE(cut.output.find("Recording damaged: recording cut short in frame set 6: "), std::string::npos)
        << cut.output;
    EXPECT_TRUE(says(cut, "Playback: 5 frame sets")) << cut.output;

    // Whole sets without the index lose nothing.
    const DemoRun sound = runDemo(KELVRA_CRAFTED_STREAM_DIR "/no-index.tvks");
    EXPECT_EQ(sound.exitCode, 0) << sound.output;
    EXPECT_TRUE(says(sound, "Playback: 5 frame sets")) << sound.output;
    EXPECT_EQ(sound.output.find("Recording damaged"), std::string::npos) << sound.output;
}

TEST(StreamDemo, HelpAndBadArgumentsAreAnsweredWithTheUsageWithoutStreaming)
{
    const std::string usage = "usage: kelvra-stream-demo [RECORDING] [SECONDS]\n";
    const DemoRun help = KelvraTest::runProgramWithin(60, std::string(STREAM_DEMO) + " --help");
    EXPECT_EQ(help.exitCode, 0) << help.output;
    EXPECT_EQ(help.output.rfind(usage, 0), 0u) << help.output;
    EXPECT_TRUE(says(help, "  SECONDS    of live capture, a whole number from 1 to 3600 (default 3)")) << help.output;
    EXPECT_EQ(help.output.find("Live capture"), std::string::npos) << help.output;

    for (const std::string seconds : {"abc", "0", "-1", "1.5", "3601", "3000000", "99999999999", "''"}) {
        SCOPED_TRACE(seconds);
        const DemoRun run = KelvraTest::runProgramWithin(60, std::string(STREAM_DEMO) + " '' " + seconds);
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_NE(run.output.find("kelvra-stream-demo: SECONDS is a whole number from 1 to 3600, not \""),
                  std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find(usage), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Live capture"), std::string::npos) << run.output;
    }
    for (const std::string arguments : {"-x", "a.tvks 1 2"}) {
        SCOPED_TRACE(arguments);
        const DemoRun run = KelvraTest::runProgramWithin(60, std::string(STREAM_DEMO) + " " + arguments);
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_NE(run.output.find(usage), std::string::npos) << run.output;
    }
}

TEST(StreamDemo, APipeIsRefusedAtOnceForWhatItIs)
{
    char folder[] = "/tmp/kelvra-demo-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string pipe = std::string(folder) + "/pipe.tvks";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const DemoRun run = runDemo(pipe);
    ::unlink(pipe.c_str());
    ::rmdir(folder);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(says(run, "Cannot play " + pipe + ": not a regular file")) << run.output;
}

TEST(StreamDemo, ARecordingWhoseNameIsNotUtf8Plays)
{
    char folder[] = "/tmp/kelvra-demo-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string name = std::string(folder) + "/bad\xff\xfe.tvks";
    {
        std::ifstream in(KELVRA_SAMPLE_RECORDING, std::ios::binary);
        std::ofstream(name, std::ios::binary) << in.rdbuf();
    }
    const DemoRun run = runDemo(name);
    ::unlink(name.c_str());
    ::rmdir(folder);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Playing " + name + " ("), std::string::npos) << run.output;
}

} // namespace
