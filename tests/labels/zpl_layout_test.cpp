#include "labels/zpl_layout.h"

#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "base/cp1251.h"
#include "labels/code128.h"
#include "labels/label.h"

namespace tandrel::labels {
namespace {

std::string Joined(const std::vector<std::string>& writes) {
    return std::accumulate(writes.begin(), writes.end(), std::string());
}

std::vector<std::string> Texts(const TZplElement& e) {
    std::vector<std::string> out;
    for (const auto& line : e.Lines) out.push_back(line.Utf8);
    return out;
}

std::vector<TZplBox> Boxes(const TZplElement& e) {
    std::vector<TZplBox> out;
    for (const auto& line : e.Lines) out.push_back(line.Box);
    return out;
}

TEST(ParseZpl, Table) {
    const struct {
        std::string zpl;
        std::vector<std::string> commands;  // code, "|", parameters
    } cases[] = {
        {"^XA^PW360^FO10,00^ASN,70,70^FD123^FS^XZ",
         {"XA|", "PW|360", "FO|10,00", "A|SN,70,70", "FD|123", "FS|", "XZ|"}},
        {"^xa\r\n^fo1,2\r\n^fdA,b~c^fs", {"XA|", "FO|1,2", "FD|A,b~c", "FS|"}},
        {"junk^A0N,20~JA^FX note", {"A|0N,20", "JA|", "FX| note"}},
        {"^F\r\nO5,6", {"FO|5,6"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        for (const auto& command : ParseZpl(c.zpl))
            got.push_back(command.Code + "|" + command.Params);
        EXPECT_EQ(got, c.commands) << c.zpl;
    }
}

// The two labels the program prints by itself: the default template filled with a field, and
// the fixed label with the settings window's test text and with a row's caption.
TEST(LayOutZpl, TheProgramsOwnLabels) {
    job::SizeRow row;
    row.Fields[0] = "123";
    row.Caption = "Дверь 2100 x 800 левая"_cp1251;
    const auto standard = SplitTemplateLines(kDefaultTemplate);
    const std::string test = "Testovaya pechat, Тестовая печать =)"_cp1251;
    const struct {
        const char* what;
        std::string zpl;
        int width, height;
        TZplBox box;
        int fontHeight, fontWidth;
        std::vector<std::string> lines;
        std::vector<TZplBox> lineBoxes;
    } cases[] = {
        {"default template, E1 123",
         Joined(LabelWrites(standard, "", row, 1)),
         360,
         72,  // 70 dots up to a whole millimetre
         {10, 0, 210, 70},
         70,
         70,
         {"123"},
         {{10, 0, 210, 70}}},
        // Field block 320 dots, cells of 30: ten characters a line, 7 lines of 36 dots.
        {"fixed label, test text",
         Joined(LabelWrites(standard, test, row, 1)),
         360,
         256,
         {0, 0, 320, 252},
         36,
         30,
         {"Testovaya", "pechat,", "Тестовая", "печать =)"},
         {{0, 0, 270, 36}, {0, 36, 210, 36}, {0, 72, 240, 36}, {0, 108, 270, 36}}},
        {"fixed label, caption",
         Joined(LabelWrites(standard, "", row, 0)),
         360,
         256,
         {0, 0, 320, 252},
         36,
         30,
         {"Дверь 2100", "x 800", "левая"},
         {{0, 0, 300, 36}, {0, 36, 150, 36}, {0, 72, 150, 36}}},
    };
    for (const auto& c : cases) {
        const TZplLayout layout = LayOutZpl(c.zpl);
        EXPECT_EQ(layout.Width, c.width) << c.what;
        EXPECT_EQ(layout.Height, c.height) << c.what;
        EXPECT_TRUE(layout.Unknown.empty()) << c.what;
        EXPECT_TRUE(layout.Notices.empty()) << c.what;
        ASSERT_EQ(layout.Elements.size(), 1u) << c.what;
        const TZplElement& e = layout.Elements[0];
        EXPECT_EQ(e.Type, TZplElement::Kind::Text) << c.what;
        EXPECT_EQ(e.Font, 'S') << c.what;
        EXPECT_EQ(e.Box, c.box) << c.what;
        EXPECT_EQ(e.FontHeight, c.fontHeight) << c.what;
        EXPECT_EQ(e.FontWidth, c.fontWidth) << c.what;
        EXPECT_EQ(Texts(e), c.lines) << c.what;
        EXPECT_EQ(Boxes(e), c.lineBoxes) << c.what;
    }
}

TEST(LayOutZpl, TextPlacement) {
    const struct {
        const char* what;
        std::string zpl;
        std::vector<std::string> lines;
        std::vector<TZplBox> boxes;
    } cases[] = {
        {"label home moves the origin",
         "^XA^LH10,20^FO5,5^A0N,20,10^FDab^FS^XZ",
         {"ab"},
         {{15, 25, 20, 20}}},
        {"^FT puts the text on its baseline",
         "^XA^FT10,100^A0N,40,30^FDab^FS^XZ",
         {"ab"},
         {{10, 60, 60, 40}}},
        {"one height gives the width too",
         "^XA^FO0,0^A0N,30^FDabc^FS^XZ",
         {"abc"},
         {{0, 0, 90, 30}}},
        {"centred in the block, halves to even",
         "^XA^FO0,0^A0N,20,10^FB105,2,5,C,0^FDab^FS^XZ",
         {"ab"},
         {{42, 0, 20, 20}}},
        {"right aligned",
         "^XA^FO0,0^A0N,20,10^FB100,1,0,R,0^FDabc^FS^XZ",
         {"abc"},
         {{70, 0, 30, 20}}},
        {"hanging indent and line spacing",
         "^XA^FO0,0^A0N,20,10^FB50,3,4,L,7^FDaaaa bbbb^FS^XZ",
         {"aaaa", "bbbb"},
         {{0, 0, 40, 20}, {7, 24, 40, 20}}},
        {"a break in the block",
         "^XA^FO0,0^A0N,20,10^FB100,3,0,L,0^FDa\\&b^FS^XZ",
         {"a", "b"},
         {{0, 0, 10, 20}, {0, 20, 10, 20}}},
        {"text past the last line prints over it",
         "^XA^FO0,0^A0N,20,10^FB30,2,0,L,0^FDaaa bbb ccc^FS^XZ",
         {"aaa", "bbb", "ccc"},
         {{0, 0, 30, 20}, {0, 20, 30, 20}, {0, 20, 30, 20}}},
        {"a word longer than the block is cut",
         "^XA^FO0,0^A0N,20,10^FB30,3,0,L,0^FDabcdefg^FS^XZ",
         {"abc", "def", "g"},
         {{0, 0, 30, 20}, {0, 20, 30, 20}, {0, 40, 10, 20}}},
        {"UTF-8 after ^CI28",
         "^XA^CI28^FO0,0^A0N,20,20^FD\xD0\xA0\xD0\xB0^FS^XZ",
         {"Ра"},
         {{0, 0, 40, 20}}},
        {"Windows-1251 without it",
         "^XA^FO0,0^A0N,20,20^FD\xD0\xE0^FS^XZ",
         {"Ра"},
         {{0, 0, 40, 20}}},
        {"the font is the field's own",
         "^XA^A0N,50,50^FO0,0^FDa^FS^FO0,60^FDb^FS^XZ",
         {"b"},
         {{0, 60, 5, 9}}},
    };
    for (const auto& c : cases) {
        const TZplLayout layout = LayOutZpl(c.zpl);
        ASSERT_FALSE(layout.Elements.empty()) << c.what;
        const TZplElement& e = layout.Elements.back();
        EXPECT_EQ(Texts(e), c.lines) << c.what;
        EXPECT_EQ(Boxes(e), c.boxes) << c.what;
        EXPECT_TRUE(layout.Unknown.empty()) << c.what;
    }
}

TEST(LayOutZpl, BoxesReverseAndSize) {
    const TZplLayout layout =
        LayOutZpl("^XA^FO5,5^GB100,50,3^FS^FO0,70^GB10,2,5,W,2^FS^FO0,0^FR^A0N,10,10^FDx^FS^XZ");
    ASSERT_EQ(layout.Elements.size(), 3u);
    EXPECT_EQ(layout.Elements[0].Box, (TZplBox{5, 5, 100, 50}));
    EXPECT_EQ(layout.Elements[0].Thickness, 3);
    EXPECT_FALSE(layout.Elements[0].White);
    EXPECT_EQ(layout.Elements[1].Box, (TZplBox{0, 70, 10, 5}));  // no side thinner than the line
    EXPECT_TRUE(layout.Elements[1].White);
    EXPECT_EQ(layout.Elements[1].Rounding, 2);
    EXPECT_TRUE(layout.Elements[2].Reverse);
    EXPECT_FALSE(layout.Elements[0].Reverse);  // ^FR is the field's own
    EXPECT_EQ(layout.Width, 105);              // no ^PW: what the fields reach
    EXPECT_EQ(layout.Height, 80);
}

TEST(LayOutZpl, UnknownCommandsAndNoticesAreReported) {
    const TZplLayout layout = LayOutZpl(
        "^XA^LRY^FO0,0^BQN,2,4^FDx^FS~JA^FO0,0^A0R,20,20^FDr^FS^FO0,0^BCN^FDДа^FS^XZ^XA^QQ^XZ"_cp1251);
    EXPECT_EQ(layout.Unknown, (std::vector<std::string>{"^LRY", "^BQN,2,4", "~JA"}));
    ASSERT_EQ(layout.Notices.size(), 2u);
    EXPECT_NE(Cp1251ToUtf8(layout.Notices[0]).find("^A0R,20,20"), std::string::npos);
    EXPECT_NE(Cp1251ToUtf8(layout.Notices[1]).find("Да"), std::string::npos);
}

TEST(Code128, Values) {
    const struct {
        std::string text;
        std::vector<int> values;
    } cases[] = {
        {"PJJ123C", {104, 48, 42, 42, 17, 18, 19, 35, 55, 106}},  // three digits stay in B
        {"12345678", {105, 12, 34, 56, 78, 47, 106}},
        {"12", {105, 12, 14, 106}},
        {"123", {104, 17, 18, 19, 8, 106}},
        {"12345", {105, 12, 34, 100, 21, 54, 106}},       // odd run at the start: last in B
        {"AB1234", {104, 33, 34, 99, 12, 34, 102, 106}},  // even run: C before it
        {"A12345", {104, 33, 17, 99, 23, 45, 64, 106}},   // odd run: its first digit in B
        {"1234A", {105, 12, 34, 100, 33, 102, 106}},
        {"", {104, 1, 106}},
    };
    for (const auto& c : cases) {
        const TCode128 code = EncodeCode128(c.text);
        EXPECT_TRUE(code.Ok) << c.text;
        EXPECT_EQ(code.Values, c.values) << c.text;
    }
    for (const char* bad : {"\xC4\xE0", "a\tb", "\x7F"}) EXPECT_FALSE(EncodeCode128(bad).Ok) << bad;
}

TEST(Code128, Patterns) {
    // Every symbol is 11 modules with an even number of bar modules, the stop 13; no two alike.
    std::set<std::vector<int>> seen;
    for (int value = 0; value <= kCode128Stop; ++value) {
        const std::vector<int> widths = Code128Widths({value});
        int bars = 0, all = 0;
        for (std::size_t i = 0; i < widths.size(); ++i) {
            all += widths[i];
            if (i % 2 == 0) bars += widths[i];
        }
        EXPECT_EQ(all, value == kCode128Stop ? 13 : 11) << value;
        EXPECT_EQ(bars % 2, 0) << value;
        EXPECT_TRUE(seen.insert(widths).second) << value;
    }
    EXPECT_EQ(Code128Widths({104}), (std::vector<int>{2, 1, 1, 2, 1, 4}));
    EXPECT_EQ(Code128Modules({105, 12, 34, 56, 78, 47, 106}), 6 * 11 + 13);
}

TEST(LayOutZpl, Barcodes) {
    const struct {
        const char* what;
        std::string zpl;
        TZplBox bars;
        int module;
        std::vector<TZplBox> interpretation;
    } cases[] = {
        // Start C, four pairs, check, stop: 79 modules of 3 dots.
        {"^BY3, digits",
         "^XA^BY3^FO20,100^BCN,80,Y,N,N,A^FD12345678^FS^XZ",
         {20, 100, 237, 80},
         3,
         {{20, 180, 237, 30}}},
        // Default module 2 dots and bar height 10: start B, 3 letters, check, stop = 68 modules.
        {"defaults", "^XA^FO0,0^BC^FDabc^FS^XZ", {0, 0, 136, 10}, 2, {{0, 10, 136, 20}}},
        {"no human-readable line", "^XA^FO0,0^BCN,50,N^FDabc^FS^XZ", {0, 0, 136, 50}, 2, {}},
        {"line above, ^FT at the bars' foot",
         "^XA^BY1^FT0,100^BCN,50,Y,Y^FDabc^FS^XZ",
         {0, 50, 68, 50},
         1,
         {{0, 40, 68, 10}}},
    };
    for (const auto& c : cases) {
        const TZplLayout layout = LayOutZpl(c.zpl);
        ASSERT_EQ(layout.Elements.size(), 1u) << c.what;
        const TZplElement& e = layout.Elements[0];
        EXPECT_EQ(e.Type, TZplElement::Kind::Barcode) << c.what;
        EXPECT_EQ(e.Box, c.bars) << c.what;
        EXPECT_EQ(e.Module, c.module) << c.what;
        EXPECT_EQ(std::accumulate(e.Bars.begin(), e.Bars.end(), 0) * e.Module, c.bars.Width)
            << c.what;
        EXPECT_EQ(Boxes(e), c.interpretation) << c.what;
        EXPECT_TRUE(layout.Notices.empty()) << c.what;
    }
}

}  // namespace
}  // namespace tandrel::labels
