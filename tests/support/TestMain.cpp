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
