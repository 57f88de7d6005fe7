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
    } rows[] = {{0xC0, U'А'}, {0xFF, U'я'}, {0xA8, U'Ё'}, {0xB8, U'ё'}, {0xB9, U'№'},
                {0x88, U'€'}, {0x41, U'A'}, {0x00, 0}};
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

}  // namespace
}  // namespace tandrel
