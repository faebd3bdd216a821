#include "Kelvra/common/Diagnostics.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace Kelvra::diag;
using Kelvra::formatFloat;

TEST(Diagnostics, TupleQuotesTextsAndSpellsFlags)
{
    EXPECT_EQ(tuple(std::string("cam"), "stop Thread running : ", true), "('cam', 'stop Thread running : ', True)");
    EXPECT_EQ(tuple(false, 3, -2), "(False, 3, -2)");
    EXPECT_EQ(tuple("it's"), "('it\\'s')");
}

TEST(Diagnostics, FloatsUseShortestRoundTripForm)
{
    EXPECT_EQ(formatFloat(1.0), "1.0");
    EXPECT_EQ(formatFloat(0.1), "0.1");
    EXPECT_EQ(formatFloat(2.75f), "2.75");
    EXPECT_EQ(repr(12.5), "12.5");
    EXPECT_EQ(formatFloat(1000000.0), "1000000.0");
    EXPECT_EQ(formatFloat(1e16), "1e+16");
    EXPECT_EQ(formatFloat(0.000015), "1.5e-05");
    EXPECT_EQ(formatFloat(0.1f), "0.1"); // the float's own digits
    EXPECT_EQ(formatFloat(-0.25), "-0.25");
}

TEST(Diagnostics, PrintGoesThroughTheCurrentCoutBuffer)
{
    std::ostringstream captured;
    auto* old = std::cout.rdbuf(captured.rdbuf());
    printTuple("a", 1);
    printLine("plain");
    std::cout.rdbuf(old);
    EXPECT_EQ(captured.str(), "('a', 1)\nplain\n");
}
