// kelvra-viewer's command line, read before Qt starts and again on what Qt
// leaves, and the environment it checks before Qt starts.

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

TEST(CommandLine, ADisplayIsNeededUnlessThePlatformTakesNone)
{
    using CommandLine::DisplayEnvironment;
    auto shows = [](const QStringList& arguments, const DisplayEnvironment& environment) {
        return CommandLine::hasDisplay(CommandLine::parse(arguments), environment);
    };
    // Qt's default platform: an X display, or a Wayland one.
    EXPECT_FALSE(shows({}, {}));
    EXPECT_TRUE(shows({}, {"", ":0", ""}));
    EXPECT_TRUE(shows({}, {"", "", "wayland-0"}));
    EXPECT_TRUE(shows({"-display", ":1"}, {}));
    // A platform named needs its own display, or none.
    EXPECT_TRUE(shows({}, {"offscreen", "", ""}));
    EXPECT_TRUE(shows({}, {"offscreen:fontengine=freetype", "", ""}));
    EXPECT_TRUE(shows({}, {"minimal", "", ""}));
    EXPECT_FALSE(shows({}, {"xcb", "", "wayland-0"}));
    EXPECT_TRUE(shows({"-display", ":1"}, {"xcb", "", ""}));
    EXPECT_FALSE(shows({}, {"wayland", ":0", ""}));
    EXPECT_TRUE(shows({}, {"wayland;xcb", ":0", ""}));
    EXPECT_FALSE(shows({}, {"wayland;xcb", "", ""}));
    // -platform before QT_QPA_PLATFORM; after "--" it is the recording's name.
    EXPECT_TRUE(shows({"-platform", "offscreen"}, {"xcb", "", ""}));
    EXPECT_FALSE(shows({"--platform", "xcb"}, {"offscreen", "", ""}));
    EXPECT_FALSE(shows({"--", "-platform"}, {}));

    const QString line = CommandLine::noDisplay("kelvra-viewer");
    EXPECT_FALSE(line.contains('\n'));
    EXPECT_TRUE(line.startsWith("kelvra-viewer: needs a display"));
    EXPECT_TRUE(line.contains("xvfb-run -a"));
    EXPECT_TRUE(line.contains("-platform offscreen"));
}

TEST(CommandLine, TheUnplugTimeIsWholeMillisecondsUpToADay)
{
    QString warning;
    EXPECT_EQ(CommandLine::unplugAfterMs(nullptr, &warning), std::nullopt);
    EXPECT_TRUE(warning.isEmpty());
    for (const auto& [text, ms] : {std::pair{"0", 0}, {"3000", 3000}, {"0042", 42}, {"86400000", 86400000}}) {
        EXPECT_EQ(CommandLine::unplugAfterMs(text, &warning), ms) << text;
        EXPECT_TRUE(warning.isEmpty()) << text;
    }
    // Refused, never taken for 0: an unplug at start.
    for (const char* text : {"", "abc", "1.5", "-5", "+5", " 5", "5 ", "86400001", "99999999999999999999"}) {
        warning.clear();
        EXPECT_EQ(CommandLine::unplugAfterMs(text, &warning), std::nullopt) << text;
        EXPECT_EQ(warning,
                  QStringLiteral("KELVRA_UNPLUG_AFTER_MS=\"%1\" ignored: not a whole number of milliseconds from 0 to "
                                 "86400000")
                      .arg(text));
    }
}
