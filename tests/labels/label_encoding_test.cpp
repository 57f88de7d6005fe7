#include "labels/label_encoding.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"
#include "labels/label.h"
#include "labels/zpl_layout.h"
#include "support/temp_dir.h"

namespace tandrel::labels {
namespace {

using namespace std::string_literals;

TEST(IsValidUtf8, Table) {
    const struct {
        std::string bytes;
        bool valid;
        bool multiByte;
    } cases[] = {
        {"^XA^FDabc^FS", true, false},
        {"Рама", true, true},                    // this source file is UTF-8
        {"\xC4\xE2\xE5\xF0\xFC", false, false},  // "Дверь" in Windows-1251
        {"\xC0\x80", false, false},              // overlong NUL
        {"\xED\xA0\x80", false, false},          // a surrogate
        {"\xF4\x90\x80\x80", false, false},      // past U+10FFFF
        {"ok\xD0", false, false},                // cut short
        {"\xF0\x9F\x98\x80", true, true},        // four bytes
    };
    for (const auto& c : cases) {
        bool multiByte = false;
        EXPECT_EQ(IsValidUtf8(c.bytes, &multiByte), c.valid) << c.bytes;
        if (c.valid) {
            EXPECT_EQ(multiByte, c.multiByte) << c.bytes;
        }
    }
}

TEST(LabelWrites, Table) {
    job::SizeRow row;
    row.Caption = "Дверь"_cp1251;
    row.Fields = {"Рама левая"_cp1251, "2100", "", "", "", ""};
    const std::string fixedStart = "^XA^PW360^FO0,0^FB320,7,0,L,0^ASN,36,30^FD";
    const std::string test = "Testovaya pechat, Тестовая печать =)"_cp1251;
    using Lines = std::vector<std::string>;
    const struct {
        const char* what;
        Lines lines;
        std::string text;
        std::uint8_t fieldCount;
        Lines writes;
        TLabelEncoding encoding;
    } cases[] = {
        {"no ^CI28: byte for byte",
         {"^XA", "^FD<E1>^FS", "^XZ"},
         "",
         2,
         {"^XA", "^FD"s + "Рама левая"_cp1251 + "^FS", "^XZ"},
         TLabelEncoding::Cp1251},
        {"Windows-1251 template with ^CI28: whole lines converted",
         {"^XA^CI28", "^FDИзделие <E1>, <e2>^FS"_cp1251, "^XZ"},
         "",
         2,
         {"^XA^CI28", "^FDИзделие Рама левая, 2100^FS", "^XZ"},
         TLabelEncoding::Utf8},
        {"letter case of ^ci28 ignored",
         {"^xa^ci28^FD<E1>^FS^XZ"},
         "",
         1,
         {"^xa^ci28^FDРама левая^FS^XZ"},
         TLabelEncoding::Utf8},
        {"^CI28 split over two lines",
         {"^XA^C", "I28^FD<E1>^FS^XZ"},
         "",
         1,
         {"^XA^C", "I28^FDРама левая^FS^XZ"},
         TLabelEncoding::Utf8},
        {"UTF-8 template: its text as it is, fields converted",
         {"^XA^CI28", "^FDИзделие <E1>^FS", "^XZ"},
         "",
         1,
         {"^XA^CI28", "^FDИзделие Рама левая^FS", "^XZ"},
         TLabelEncoding::Utf8},
        {"UTF-8 template with a byte-order mark: the mark is not sent",
         {"\xEF\xBB\xBF^XA^CI28", "^FD<E2>^FS^XZ"},
         "",
         2,
         {"^XA^CI28", "^FD2100^FS^XZ"},
         TLabelEncoding::Utf8},
        {"the fixed label is never converted",
         {"^XA^CI28", "^FD<E1>^FS^XZ"},
         test,
         1,
         {fixedStart, test, "^FS^XZ"},
         TLabelEncoding::Cp1251},
        {"no label fields: the fixed label with the caption",
         {"^XA^CI28^FD<E1>^FS^XZ"},
         "",
         0,
         {fixedStart, row.Caption, "^FS^XZ"},
         TLabelEncoding::Cp1251},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LabelWrites(c.lines, c.text, row, c.fieldCount), c.writes) << c.what;
        EXPECT_EQ(LabelEncoding(c.lines, c.text, c.fieldCount), c.encoding) << c.what;
    }
}

TEST(IsUtf8Template, Table) {
    using Lines = std::vector<std::string>;
    const struct {
        Lines lines;
        bool utf8;
    } cases[] = {
        {{"^XA", "^FD<E1>^FS"}, false},                    // ASCII only: nothing to tell
        {{"^XA", "^FDРама^FS"}, true},                     // UTF-8 Cyrillic
        {{"^XA", "^FD"s + "Рама"_cp1251 + "^FS"}, false},  // Windows-1251 Cyrillic
        {{"\xEF\xBB\xBF^XA"}, true},                       // the byte-order mark
        {{"^FDРама", "\xC0"}, false},                      // one bad line spoils it
        {{}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsUtf8Template(c.lines), c.utf8) << (c.lines.empty() ? "" : c.lines[0]);
}

// The sample template for a Unicode font: UTF-8 itself, so its own words go out as they are and
// the fields are converted; the preview draws all of it.
TEST(LabelWrites, TheSampleTemplate) {
    const auto lines =
        SplitTemplateLines(testing::ReadBytes(TANDREL_EXAMPLES_DIR "/labels/etik.eti"));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_TRUE(IsUtf8Template(lines));
    job::SizeRow row;
    row.Fields = {"Рама левая"_cp1251, "2100", "D-2100", "", "", ""};
    std::string sent;
    for (const auto& write : LabelWrites(lines, "", row, 3)) sent += write;
    EXPECT_EQ(sent,
              "^XA^CI28^PW360^FO10,10^A@N,36,30,E:UNICODE.TTF^FDИзделие: Рама левая^FS"
              "^FO10,56^A@N,36,30,E:UNICODE.TTF^FDДлина: 2100 мм^FS"
              "^BY2^FO10,104^BCN,60,Y,N,N,A^FDD-2100^FS^XZ");
    const TZplLayout layout = LayOutZpl(sent);
    EXPECT_TRUE(layout.Unknown.empty());
    EXPECT_TRUE(layout.Notices.empty());
    ASSERT_EQ(layout.Elements.size(), 3u);
    EXPECT_EQ(layout.Elements[0].Lines.at(0).Utf8, "Изделие: Рама левая");
    EXPECT_EQ(layout.Elements[2].Type, TZplElement::Kind::Barcode);
}

}  // namespace
}  // namespace tandrel::labels
