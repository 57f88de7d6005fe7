// The handshake's starting serial number: the time in the locale's long time format.

#include <gtest/gtest.h>
#include <langinfo.h>
#include <locale.h>

#include <ctime>
#include <string>

#include "base/cp1251.h"

namespace tandrel::link {
std::string FormatLongTime(const std::tm& time, const char* format, const char* codeset);
std::string LongTimeText(const std::tm& time);
namespace {

std::tm At(int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// Runs fn with the calling thread in the named locale; false when the locale is not installed.
template <typename F>
bool InLocale(const char* name, F fn) {
    const locale_t locale = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return false;
    const locale_t previous = uselocale(locale);
    fn();
    uselocale(previous);
    freelocale(locale);
    return true;
}

TEST(LocalTime, TheLocalesOwnFormat) {
    struct Row {
        int hour, minute, second;
        const char* text;
    } rows[] = {
        {9, 5, 3, "09:05:03"},  // the hour keeps its leading zero where the format has it
        {0, 0, 0, "00:00:00"},
        {23, 59, 58, "23:59:58"},
    };
    for (const char* name : {"C", "C.UTF-8"}) {
        const bool installed = InLocale(name, [&] {
            for (const Row& r : rows)
                EXPECT_EQ(LongTimeText(At(r.hour, r.minute, r.second)), r.text) << name;
        });
        if (!installed) ADD_FAILURE() << name << " is not installed";
    }
}

TEST(LocalTime, WhatStrftimeWritesBecomesWindows1251) {
    const std::tm t = At(7, 8, 9);
    struct Row {
        const char* format;
        const char* codeset;
        std::string text;
    } rows[] = {
        {"%H ч %M мин", "UTF-8", "07 ч 08 мин"_cp1251},
        {"%k.%M.%S", "utf8", " 7.08.09"},
        {"%H:%M", "ANSI_X3.4-1968", "07:08"},
        {"\xF7%H", "CP1251",
         "\xF7"
         "07"},                     // already the program's code: byte for byte
        {"", "UTF-8", "07:08:09"},  // a locale without a format: hours, minutes, seconds
    };
    for (const Row& r : rows) EXPECT_EQ(FormatLongTime(t, r.format, r.codeset), r.text) << r.format;
    // A format longer than any first guess at the text is written whole.
    std::string longFormat;
    for (int i = 0; i < 100; ++i) longFormat += "%H:%M:%S ";
    EXPECT_EQ(FormatLongTime(t, longFormat.c_str(), "UTF-8").size(), 900u);
}

}  // namespace
}  // namespace tandrel::link
