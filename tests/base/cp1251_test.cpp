#include "base/cp1251.h"

#include <gtest/gtest.h>

namespace tandrel {
namespace {

TEST(Cp1251, EveryByteRoundTripsThroughUtf8AndUtf16) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << b;
        EXPECT_EQ(Utf16ToCp1251(Cp1251ToUtf16(one)), one) << b;
    }
}

TEST(Cp1251, KnownCodes) {
    const struct {
        unsigned char byte;
        char32_t code;
    } rows[] = {{0xC0, U'А'}, {0xFF, U'я'}, {0xA8, U'Ё'}, {0xB8, U'ё'},
                {0xB9, U'№'}, {0x88, U'€'}, {0x41, U'A'}, {0x00, 0}};
    for (const auto& r : rows) {
        EXPECT_EQ(Cp1251ToUnicode(r.byte), r.code);
        EXPECT_EQ(static_cast<unsigned char>(UnicodeToCp1251(r.code)), r.byte);
    }
}

TEST(Cp1251, CaptionsRoundTrip) {
    for (const char* utf8 : {"Автоматический ввод размеров на рольганг серии ВЕЛТА",
                             "Информация о подключении", "О программе", "Настройки",
                             "Ошибка записи в порт", "Текстовый файл с разделителями|*.txt"}) {
        const std::string cp = Utf8ToCp1251(utf8);
        EXPECT_EQ(cp.size(), std::u16string(Cp1251ToUtf16(cp)).size());
        EXPECT_EQ(cp.find('?'), std::string::npos) << utf8;
        EXPECT_EQ(Cp1251ToUtf8(cp), utf8);
    }
    EXPECT_EQ("Да"_cp1251, "\xC4\xE0");
}

TEST(Cp1251, CharactersWithoutCodeBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1251("a中b"), "a?b");
    EXPECT_EQ(Utf8ToCp1251("\xFF"), "?");  // malformed UTF-8
    EXPECT_EQ(Utf16ToCp1251(u"x\U0001F600y"), "x?y");
    EXPECT_FALSE(FitsCp1251("/home/用户"));
    EXPECT_TRUE(FitsCp1251("/home/оператор/списки?"));
}

// One '?' for each maximal subpart of an ill-formed sequence, as the Unicode standard recommends.
TEST(Cp1251, IllFormedUtf8GivesOneQuestionMarkPerMaximalSubpart) {
    const struct {
        const char* name;
        std::string_view utf8;
        std::string_view cp1251;
    } rows[] = {
        {"overlong slash", "\xC0\xAF", "??"},
        {"overlong NUL", "\xC0\x80", "??"},
        {"overlong three-byte A", "\xE0\x90\x90", "???"},
        {"overlong four-byte", "\xF0\x80\x80\x80", "????"},
        {"surrogate D800", "\xED\xA0\x80", "???"},
        {"surrogate DFFF", "\xED\xBF\xBF", "???"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "????"},
        {"lead F5", "\xF5\x80\x80\x80", "????"},
        {"lone continuation", "a\x80z", "a?z"},
        {"cut-off two-byte", "\xD0z", "?z"},
        {"cut-off three-byte", "\xE2\x82z", "?z"},
        {"cut-off four-byte", "\xF0\x9F\x98z", "?z"},
        {"cut off at the end", "x\xE2\x82", "x?"},
        {"cut off by a lead", "\xE2\x82\xD0\x90", "?\xC0"},
        {"highest three-byte", "\xEF\xBF\xBF", "?"},
        {"first after surrogates", "\xEE\x80\x80", "?"},
        {"highest code point", "\xF4\x8F\xBF\xBF", "?"},
        {"smallest two-byte", "\xC2\xA0", "\xA0"},
        {"smallest three-byte", "\xE0\xA0\x80", "?"},
        {"Cyrillic A", "\xD0\x90", "\xC0"},
        {"euro", "\xE2\x82\xAC", "\x88"},
    };
    for (const auto& r : rows) EXPECT_EQ(Utf8ToCp1251(r.utf8), r.cp1251) << r.name;
}

TEST(Cp1251, Utf16SurrogatesGiveOneQuestionMarkAndKeepTheNextUnit) {
    const struct {
        const char* name;
        std::u16string_view utf16;
        std::string_view cp1251;
    } rows[] = {
        {"pair", u"x\xD83D\xDE00y", "x?y"},
        {"lone high before a letter", u"\xD800\x0041", "?A"},
        {"lone high before Cyrillic", u"\xD800\x0410", "?\xC0"},
        {"lone high at the end", u"a\xD800", "a?"},
        {"lone low", u"\xDC00\x0041", "?A"},
        {"two highs then low", u"\xD800\xD800\xDC00", "??"},
        {"high then high then letter",
         u"\xD800\xDBFF"
         u"A",
         "??A"},
    };
    for (const auto& r : rows) EXPECT_EQ(Utf16ToCp1251(r.utf16), r.cp1251) << r.name;
}

}  // namespace
}  // namespace tandrel
