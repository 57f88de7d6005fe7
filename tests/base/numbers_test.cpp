#include "base/numbers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/error.h"

namespace tandrel {
namespace {

TEST(FormatGeneral, Table) {
    const struct {
        double value;
        char sep;
        const char* text;
    } rows[] = {
        {1234.5, ',', "1234,5"},
        {1234.5, '.', "1234.5"},
        {3050, ',', "3050"},
        {0.1 + 0.2, ',', "0,3"},
        {1e15, ',', "1E15"},
        {1e14, ',', "100000000000000"},
        {1e-6, ',', "1E-6"},
        {1e-5, ',', "0,00001"},
        {1.5e-6, '.', "1.5E-6"},
        {-2.25, ',', "-2,25"},
        {0, ',', "0"},
        {200, '.', "200"},
        {3.85, ',', "3,85"},
        {1234.6, '.', "1234.6"},
        {123456789012345678.0, '.', "1,23456789012346E17"},
        {1.12345678901, '.', "1.12345678901"},
        {-1e20, '.', "-1E20"},
    };
    for (const auto& r : rows) {
        std::string expected = r.text;
        if (r.sep == '.') std::replace(expected.begin(), expected.end(), ',', '.');
        EXPECT_EQ(FormatGeneral(r.value, r.sep), expected) << r.text;
    }
    EXPECT_EQ(FormatFixed(2449.9999999999995, ','), "2450");
    EXPECT_EQ(FormatFixed(-1e20, ','), "-100000000000000000000");
    EXPECT_EQ(FormatFixed(1.5e-6, ','), "0,0000015");
}

TEST(Rounding, TiesToEvenOnTheExactProduct) {
    const struct {
        double size;
        int precision;
        int correction;
        double target;
    } rows[] = {
        {1234.56, 0, 0, 1235},   {1234.56, 1, 0, 1234.6}, {1234.56, 1, 5, 1239.6},
        {1234.5, 0, 0, 1234},    {1235.5, 0, 0, 1236},    {2.25, 1, 0, 2.2},
        {1234.45, 1, 0, 1234.5}, {0.5, 0, 0, 0},          {-0.5, 0, 0, 0},
        {-1.5, 0, 0, -2},        {1200, 7, -3, 1197},     {2.35, 1, 0, 2.4},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(TargetFor(r.size, r.precision, r.correction), r.target)
            << r.size << " precision " << r.precision;
    }
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999999999999996), 2);
}

TEST(StrToInt32, AcceptsSignedDecimalsInRangeOnly) {
    EXPECT_EQ(StrToInt32("1"), 1);
    EXPECT_EQ(StrToInt32("-7"), -7);
    EXPECT_EQ(StrToInt32("+12"), 12);
    EXPECT_EQ(StrToInt32("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt32("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", "-", "1.5", "2147483648", " 1", "1 ", "0x10", "abc"}) {
        try {
            StrToInt32(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

}  // namespace
}  // namespace tandrel
