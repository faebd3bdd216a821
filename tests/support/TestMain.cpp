#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Widget tests run headless; set before QApplication picks a platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

// Qt's offscreen platform keeps its screen objects until process exit; they
// are not ours to free. LeakSanitizer reads this when the tests are built
// with -DKELVRA_SANITIZE=address.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libqoffscreen.so\n"
           "leak:QPlatformScreen\n";
}

// Qt 5 is not built with ThreadSanitizer and its mutexes are futexes the tool
// cannot see, so a queued signal posted from a worker thread shows up as a race
// between the thread that posts the event and the one that deletes it. Reports
// with Qt code on a stack are left out; the frame paths under test do not run
// through Qt.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libQt5Core.so\n";
}
