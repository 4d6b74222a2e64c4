// Number reading as "%d" reads, with out-of-range values held at the int bounds.
#include "playdata/number_reader.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

int ReadOr(const char* text, int fallback)
{
    int value = fallback;
    ReadNumber(text, &value);
    return value;
}

TEST(ReadNumber, ReadsLikePercentD)
{
    EXPECT_EQ(ReadOr("42", -1), 42);
    EXPECT_EQ(ReadOr("  \t\n\v\f\r7", -1), 7);
    EXPECT_EQ(ReadOr("+5", -1), 5);
    EXPECT_EQ(ReadOr("-5", -1), -5);
    EXPECT_EQ(ReadOr("0012x3", -1), 12);
    EXPECT_EQ(ReadOr("-0", -1), 0);
}

TEST(ReadNumber, NoDigitsMeansNotRead)
{
    for (const char* text : {"", " ", "x1", "+", "-", "+-1", "--3", "- 3", "\x80"}) {
        int value = 99;
        EXPECT_FALSE(ReadNumber(text, &value)) << '"' << text << '"';
        EXPECT_EQ(value, 99) << '"' << text << '"';
    }
}

TEST(ReadNumber, OutOfRangeValuesAreHeldAtTheBounds)
{
    EXPECT_EQ(ReadOr("2147483647", 0), INT_MAX);
    EXPECT_EQ(ReadOr("2147483648", 0), INT_MAX);
    EXPECT_EQ(ReadOr("99999999999999999999999999", 0), INT_MAX);
    EXPECT_EQ(ReadOr("-2147483648", 0), INT_MIN);
    EXPECT_EQ(ReadOr("-2147483649", 0), INT_MIN);
    EXPECT_EQ(ReadOr("-99999999999999999999999999", 0), INT_MIN);
    EXPECT_EQ(ReadOr("214748364", 0), 214748364);
    EXPECT_EQ(ReadOr("-214748364", 0), -214748364);
}

}  // namespace
