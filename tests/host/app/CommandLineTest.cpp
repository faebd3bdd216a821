// kelvra-viewer's command line, read before Qt starts and again on what Qt leaves.

#include "host/app/CommandLine.h"

#include <gtest/gtest.h>

using CommandLine::Parsed;

TEST(CommandLine, TakesOneRecordingOrNone)
{
    EXPECT_EQ(CommandLine::parse({}).action, Parsed::Action::Run);
    EXPECT_TRUE(CommandLine::parse({}).recording.isEmpty());
    const Parsed one = CommandLine::parse({"build/share/sample.tvks"});
    EXPECT_EQ(one.action, Parsed::Action::Run);
    EXPECT_EQ(one.recording, "build/share/sample.tvks");
    // A lone "-" is a name; after "--" so is anything.
    EXPECT_EQ(CommandLine::parse({"-"}).recording, "-");
    const Parsed dashed = CommandLine::parse({"--", "-x.tvks"});
    EXPECT_EQ(dashed.action, Parsed::Action::Run);
    EXPECT_EQ(dashed.recording, "-x.tvks");

    const Parsed two = CommandLine::parse({"a.tvks", "b.tvks"});
    EXPECT_EQ(two.action, Parsed::Action::Error);
    EXPECT_TRUE(two.error.contains("b.tvks"));
}

TEST(CommandLine, HelpAndUnknownOptions)
{
    for (const char* help : {"-h", "--help"}) {
        EXPECT_EQ(CommandLine::parse({help}).action, Parsed::Action::Help) << help;
        EXPECT_EQ(CommandLine::parse({"a.tvks", help}).action, Parsed::Action::Help) << help;
    }
    // Not taken for a recording's path.
    for (const char* unknown : {"-x", "--x", "--helpme", "-platforms", "-style-fusion"}) {
        const Parsed parsed = CommandLine::parse({unknown, "a.tvks"});
        EXPECT_EQ(parsed.action, Parsed::Action::Error) << unknown;
        EXPECT_TRUE(parsed.recording.isEmpty()) << unknown;
        EXPECT_EQ(parsed.error, QStringLiteral("unknown option %1").arg(unknown));
    }
    EXPECT_EQ(CommandLine::parse({"--", "--help"}).recording, "--help");
}

TEST(CommandLine, QtsOwnOptionsAreLeftToQt)
{
    const Parsed parsed = CommandLine::parse({"-platform", "offscreen", "--style", "fusion", "-reverse", "-display",
                                              ":1", "-session", "1a2b", "-style=fusion", "a.tvks", "-title", "t"});
    EXPECT_EQ(parsed.action, Parsed::Action::Run) << parsed.error.toStdString();
    EXPECT_EQ(parsed.recording, "a.tvks");
    EXPECT_EQ(CommandLine::parse({"-reverse", "--help"}).action, Parsed::Action::Help);
    const Parsed cut = CommandLine::parse({"a.tvks", "-style"});
    EXPECT_EQ(cut.action, Parsed::Action::Error);
    EXPECT_EQ(cut.error, "option -style needs a value");
    // After "--" a name like Qt's is the recording's.
    EXPECT_EQ(CommandLine::parse({"--", "-reverse"}).recording, "-reverse");
}

TEST(CommandLine, TheUsageNamesTheArgumentAndTheEnvironment)
{
    const QString usage = CommandLine::usage("kelvra-viewer");
    EXPECT_TRUE(usage.startsWith("Usage: kelvra-viewer [RECORDING]\n"));
    for (const char* name :
         {"--help", "KELVRA_UNPLUG_AFTER_MS", "KELVRA_NO_STREAM", "KELVRA_DOCK_GEOMETRY", "KELVRA_FRAME_STATS",
          "KELVRA_FRAME_STATS_AFTER", "QT_QPA_PLATFORM", "FunctionName.txt", "-platform offscreen"})
        EXPECT_TRUE(usage.contains(name)) << name;
}
