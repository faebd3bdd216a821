#include "Kelvra/common/Diagnostics.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace Kelvra::diag;

TEST(Diagnostics, TupleQuotesTextsAndSpellsFlags)
{
    EXPECT_EQ(tuple(std::string("cam"), "stop Thread running : ", true),
              "('cam', 'stop Thread running : ', True)");
    EXPECT_EQ(tuple(false, 3, -2), "(False, 3, -2)");
    EXPECT_EQ(tuple("it's"), "('it\\'s')");
}

TEST(Diagnostics, FloatsUseShortestRoundTripForm)
{
    EXPECT_EQ(formatFloat(1.0), "1.0");
    EXPECT_EQ(formatFloat(0.1), "0.1");
    EXPECT_EQ(formatFloat(2.75f), "2.75");
    EXPECT_EQ(repr(12.5), "12.5");
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
