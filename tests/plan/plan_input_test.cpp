#include "plan/plan_input.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"

namespace tandrel::plan {
namespace {

TEST(ParseDecimal, ExactDecimalsHalvesToEven) {
    const struct {
        const char* text;
        std::int64_t scale;
        std::int64_t value;  // -1: refused
    } rows[] = {
        {"6000", 10, 60000},     {"1800,5", 10, 18005},
        {"1800.5", 10, 18005},   {"3.25", 10, 32},
        {"3.35", 10, 34},        {"3.251", 10, 33},
        {"0.05", 10, 0},         {"7.", 10, 70},
        {"2.5", 1000, 2500},     {"", 10, -1},
        {"-4", 10, -1},          {"1.2.3", 10, -1},
        {".5", 10, -1},          {"4 мм", 10, -1},
        {"1e3", 10, -1},         {"9999999999999", 10, -1},
        {"100000", 10, 1000000}, {"100000.1", 10, -1},
    };
    for (const auto& row : rows) {
        std::int64_t value = -1;
        const auto why = ParseDecimal(Utf8ToCp1251(row.text), row.scale, 1000000, value);
        EXPECT_EQ(why.empty() ? value : -1, row.value) << row.text;
    }
}

TEST(ParseStock, LengthsWithCounts) {
    std::vector<TStock> stock;
    ASSERT_EQ(ParseStock("6000x20, 3000,4500.5X3", stock), "");
    EXPECT_EQ(stock,
              (std::vector<TStock>{{60000, 20, ""}, {30000, kUnlimited, ""}, {45005, 3, ""}}));
    EXPECT_EQ(FormatStock(stock), "6000x20,3000,4500.5x3");
    for (const char* bad :
         {"", "6000x", "6000x0", "6000x1.5", "x20", "6000,,3000", "0", "6000x-1"}) {
        std::vector<TStock> kept = stock;
        EXPECT_NE(ParseStock(bad, kept), "") << bad;
        EXPECT_EQ(kept, stock) << bad;
    }
}

TEST(ParseStock, MaterialAfterAColon) {
    std::vector<TStock> stock;
    ASSERT_EQ(ParseStock(Utf8ToCp1251("6000x20:AL 40x40, 6000 : Сталь,3000"), stock), "");
    EXPECT_EQ(stock, (std::vector<TStock>{{60000, 20, "AL 40x40"},
                                          {60000, kUnlimited, Utf8ToCp1251("Сталь")},
                                          {30000, kUnlimited, ""}}));
    EXPECT_EQ(FormatStock(stock), Utf8ToCp1251("6000x20:AL 40x40,6000:Сталь,3000"));
    EXPECT_NE(ParseStock("6000:", stock), "");
}

TEST(ParseRemnants, LinesOfIdAndLength) {
    std::vector<TRemnant> remnants;
    ASSERT_EQ(ParseRemnants("R000001;1240\r\n\r\nR000002; 980,5\nA-7;500", remnants), "");
    EXPECT_EQ(remnants, (std::vector<TRemnant>{
                            {"R000001", 12400, ""}, {"R000002", 9805, ""}, {"A-7", 5000, ""}}));
    // UTF-8 with a byte-order mark is read as a list is.
    ASSERT_EQ(ParseRemnants("\xEF\xBB\xBFR1;100\n", remnants), "");
    EXPECT_EQ(remnants.size(), 1u);
    for (const char* bad : {"R1", "R1;", ";100", "R 1;100", "R1;100\nR1;200", "R1;-5", "R1;0",
                            "ABCDEFGHIJKLMNOPQRSTU;100", "Ост;100", "R1;100;7"}) {
        EXPECT_NE(ParseRemnants(Utf8ToCp1251(bad), remnants), "") << bad;
    }
}

}  // namespace
}  // namespace tandrel::plan
