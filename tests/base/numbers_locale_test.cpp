// Numbers under the process locales that the windowing toolkit switches the program to: a
// decimal point of two bytes must never reach a shown number or a move string.

#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>

#include <clocale>
#include <cstring>
#include <string>

#include "base/numbers.h"
#include "link/protocol.h"
#include "support/locales.h"

namespace tandrel {
namespace {

// The process locale (all categories) for one test, the C locale again afterwards.
class ProcessLocale : public ::testing::Test {
  protected:
    void Use(const char* name) {
        const std::string why = testing::ProvideLocale(name);
        if (!why.empty()) GTEST_SKIP() << why;
        ASSERT_NE(std::setlocale(LC_ALL, name), nullptr) << name;
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(ProcessLocale, FormatGeneralIgnoresATwoBytePoint) {
    Use("ps_AF.UTF-8");
    ASSERT_EQ(std::strlen(std::localeconv()->decimal_point), 2u);  // the case that matters
    const struct {
        double value;
        char separator;
        const char* text;
    } rows[] = {
        {3050, ',', "3050"},
        {1234.5, ',', "1234,5"},
        {1234.5, '.', "1234.5"},
        {0.05, ',', "0,05"},
        {-2.25, ',', "-2,25"},
        {3.85, ',', "3,85"},
        {1e15, ',', "1E15"},
        {1.5e-6, ',', "1,5E-6"},
        {123456789012345.6, ',', "123456789012346"},
        {0.1 + 0.2, '.', "0.3"},
    };
    for (const auto& r : rows) EXPECT_EQ(FormatGeneral(r.value, r.separator), r.text) << r.text;
    EXPECT_EQ(protocol::AutoMove(3050, ','), "****3050#");
    EXPECT_EQ(protocol::AutoMove(1234.5, ','), "****1234*5#");
}

// The separator comes from the environment's LC_NUMERIC; one of two bytes gives '.'.
TEST_F(ProcessLocale, SystemDecimalSeparatorFollowsTheEnvironment) {
    const struct {
        const char* locale;
        char separator;
    } rows[] = {{"C", '.'}, {"ru_RU.UTF-8", ','}, {"ps_AF.UTF-8", '.'}, {"en_US.UTF-8", '.'}};
    for (const auto& r : rows) {
        const std::string why = testing::ProvideLocale(r.locale);
        if (!why.empty()) GTEST_SKIP() << why;
    }
    const char* all = std::getenv("LC_ALL");
    const std::string savedAll = all ? all : "";
    unsetenv("LC_ALL");
    for (const auto& r : rows) {
        setenv("LC_NUMERIC", r.locale, 1);
        EXPECT_EQ(SystemDecimalSeparator(), r.separator) << r.locale;
    }
    unsetenv("LC_NUMERIC");
    if (all) setenv("LC_ALL", savedAll.c_str(), 1);
}

}  // namespace
}  // namespace tandrel
