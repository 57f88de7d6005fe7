#include "labels/label.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "base/cp1251.h"
#include "labels/zpl_layout.h"
#include "support/temp_dir.h"

namespace tandrel::labels {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

std::string Joined(const std::vector<std::string>& writes) {
    return std::accumulate(writes.begin(), writes.end(), std::string());
}

TEST(LabelWrites, Table) {
    const auto standard = SplitTemplateLines(kDefaultTemplate);
    const std::vector<std::string> twoFields = {"^XA", "^FD<e1>|<E2>|<E1><E3>^FS"};
    job::SizeRow row;
    row.Caption = "Дверь"_cp1251;
    row.Fields = {"123", "left", "x", "", "", ""};
    const std::string fixedStart = "^XA^PW360^FO0,0^FB320,7,0,L,0^ASN,36,30^FD";
    const std::string test = "Testovaya pechat, Тестовая печать =)"_cp1251;
    const struct {
        const char* what;
        std::vector<std::string> lines;
        std::string text;
        std::uint8_t fieldCount;
        std::vector<std::string> writes;
    } cases[] = {
        {"default template",
         standard,
         "",
         1,
         {"^XA", "^PW360", "^FO10,00", "^ASN,70,70", "^FD123^FS", "^XZ"}},
        {"small letters, field 2 above FieldCount",
         twoFields,
         "",
         1,
         {"^XA", "^FD123|<E2>|123<E3>^FS"}},
        {"two fields", twoFields, "", 3, {"^XA", "^FD123|left|123x^FS"}},
        {"test text", standard, test, 1, {fixedStart, test, "^FS^XZ"}},
        {"no label fields", standard, "", 0, {fixedStart, row.Caption, "^FS^XZ"}},
        {"empty template", {}, "", 2, {fixedStart, row.Caption, "^FS^XZ"}},
        // Where operators put placeholders: at either end of a line, twice, side by side.
        {"placeholder ends its line", {"^FD<E1>", "^FS"}, "", 1, {"^FD123", "^FS"}},
        {"placeholder starts its line", {"<E2>^FS"}, "", 2, {"left^FS"}},
        {"placeholder is the line", {"<e3>"}, "", 3, {"x"}},
        {"placeholder twice", {"^FD<E1>-<e1>^FS"}, "", 1, {"^FD123-123^FS"}},
        {"placeholders side by side", {"^FD<E2><E1><E3>^FS"}, "", 3, {"^FDleft123x^FS"}},
        {"empty field", {"^FD<E4>^FS"}, "", 4, {"^FD^FS"}},
        {"placeholder split over two lines", {"^FD<E", "1>^FS"}, "", 1, {"^FD<E", "1>^FS"}},
        {"unclosed placeholder", {"^FD<E1^FS"}, "", 1, {"^FD<E1^FS"}},
        {"field 10 is not field 1", {"^FD<E10>^FS"}, "", 6, {"^FD<E10>^FS"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LabelWrites(c.lines, c.text, row, c.fieldCount), c.writes) << c.what;
    EXPECT_EQ(Joined(LabelWrites(standard, "", row, 1)), "^XA^PW360^FO10,00^ASN,70,70^FD123^FS^XZ");
}

// List text with "^" or "~" prints as written: the bytes sent, and what the printer (the
// preview's layout) reads back from them, which must be the list's text.
TEST(LabelWrites, ListTextNeverActsAsACommand) {
    const std::string fixedStart = "^XA^PW360^FO0,0^FB320,7,0,L,0^ASN,36,30";
    const std::string font = "^FO10,10^A0N,40,30";
    const struct {
        const char* what;
        std::vector<std::string> lines;
        std::string caption;
        std::array<std::string, 2> fields;  // Windows-1251
        std::vector<std::string> writes;
        std::vector<std::string> printed;  // UTF-8, one a field
    } cases[] = {
        {"fixed label",
         {},
         "Профиль ^XZ"_cp1251,
         {},
         {fixedStart + "^FH^FD", "Профиль _5EXZ"_cp1251, "^FS^XZ"},
         {"Профиль ^XZ"}},
        {"template, its own _ escaped too",
         {"^XA", font + "^FDПартия_<E1>^FS"_cp1251, "^XZ"},
         "",
         {"~JA 5", ""},
         {"^XA", font + "^FH^FDПартия_5F_7EJA 5^FS"_cp1251, "^XZ"},
         {"Партия_~JA 5"}},
        {"neither character: byte for byte",
         {"^XA", font + "^FD<E1>^FS", "^XZ"},
         "",
         {"a_b", ""},
         {"^XA", font + "^FDa_b^FS", "^XZ"},
         {"a_b"}},
        {"only the field that needs it",
         {"^XA", font + "^FD<E1>^FS", "^FO10,60^A0N,40,30^FD<E2>^FS^XZ"},
         "",
         {"a~b", "c_d"},
         {"^XA", font + "^FH^FDa_7Eb^FS", "^FO10,60^A0N,40,30^FDc_d^FS^XZ"},
         {"a~b", "c_d"}},
        {"UTF-8 label",
         {"^XA^CI28", font + "^FD<E1>^FS", "^XZ"},
         "",
         {"Рама ^FS"_cp1251, ""},
         {"^XA^CI28", font + "^FH^FDРама _5EFS^FS", "^XZ"},
         {"Рама ^FS"}},
        {"the template's own ^FH and indicator",
         {"^XA", font + "^FH\\^FD<E1>^FS", "^XZ"},
         "",
         {"x^y\\z", ""},
         {"^XA", font + "^FH\\^FDx\\5Ey\\5Cz^FS", "^XZ"},
         {"x^y\\z"}},
        {"the template's own escapes kept, list text escaped with its indicator",
         {"^XA", font + "^FH^FD_41 <E1>^FS", "^XZ"},
         "",
         {"x_y", ""},
         {"^XA", font + "^FH^FD_41 x_5Fy^FS", "^XZ"},
         {"A x_y"}},
        {"the template's own indicator and escapes",
         {"^XA", font + "^FH\\^FD\\41<E1>^FS", "^XZ"},
         "",
         {"_^", ""},
         {"^XA", font + "^FH\\^FD\\41_\\5E^FS", "^XZ"},
         {"A_^"}},
        {"field data on the next line",
         {"^XA" + font + "^FD", "<E1>^FS^XZ"},
         "",
         {"^", ""},
         {"^XA" + font + "^FH^FD", "_5E^FS^XZ"},
         {"^"}},
    };
    for (const auto& c : cases) {
        job::SizeRow row;
        row.Caption = c.caption;
        row.Fields[0] = c.fields[0];
        row.Fields[1] = c.fields[1];
        const auto writes = LabelWrites(c.lines, "", row, c.lines.empty() ? 0 : 2);
        EXPECT_EQ(writes, c.writes) << c.what;
        std::vector<std::string> printed;
        for (const auto& element : LayOutZpl(Joined(writes)).Elements) {
            std::string text;
            for (const auto& line : element.Lines) text += (text.empty() ? "" : " ") + line.Utf8;
            printed.push_back(text);
        }
        EXPECT_EQ(printed, c.printed) << c.what;
    }
}

TEST(SplitTemplateLines, LineEnds) {
    EXPECT_EQ(kDefaultTemplate.size(), 50u);
    const std::vector<std::string> three = {"a", "b", "c"};
    for (const char* bytes : {"a\r\nb\rc", "a\nb\r\nc\r\n", "a\rb\nc\n"}) {
        EXPECT_EQ(SplitTemplateLines(bytes), three) << bytes;
    }
    EXPECT_EQ(SplitTemplateLines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitTemplateLines("").empty());
}

TEST(EnsureLabelTemplate, WritesTheDefaultOnlyWhenMissing) {
    TempDir dir;
    TLabelTemplate made = EnsureLabelTemplate(dir.Path());
    EXPECT_FALSE(made.BuiltIn);
    EXPECT_EQ(ReadBytes(dir.Path() / "etik.eti"), kDefaultTemplate);
    EXPECT_EQ(made.Lines.size(), 6u);

    WriteBytes(dir.Path() / "etik.eti", "^XA\n^FD<E2>\n");
    made = EnsureLabelTemplate(dir.Path());
    EXPECT_EQ(made.Lines, (std::vector<std::string>{"^XA", "^FD<E2>"}));
    EXPECT_EQ(ReadBytes(dir.Path() / "etik.eti"), "^XA\n^FD<E2>\n");
}

TEST(RemnantLabel, DefaultPrintsAllFourAndTheListNeverActsAsACommand) {
    TempDir dir;
    const TLabelTemplate made = EnsureRemnantTemplate(dir.Path());
    EXPECT_FALSE(made.BuiltIn);
    EXPECT_EQ(ReadBytes(dir.Path() / "ostatok.eti"), kDefaultRemnantTemplate);
    const TRemnantLabel remnant{"1240", "R000123", "a^XZ~b.csv", "10.12.2026"};
    std::string bytes;
    for (const auto& write : ComposeRemnantLabel(made.Lines, remnant).Writes) bytes += write;
    EXPECT_EQ(bytes,
              "^XA^PW360^FO10,10^ASN,60,50^FD1240^FS^FO10,80^BY2^BCN,70,Y,N,N^FDR000123^FS"
              "^FO10,190^ASN,28,24^FH^FDa_5EXZ_7Eb.csv^FS^FO10,225^ASN,28,24^FD10.12.2026^FS^XZ");
    // No template: the fixed label still names the remnant.
    const auto fixed = ComposeRemnantLabel({}, remnant).Writes;
    ASSERT_EQ(fixed.size(), 3u);
    EXPECT_EQ(Cp1251ToUtf8(fixed[1]), "Остаток R000123 1240 мм");
}

TEST(EnsureLabelTemplate, FallsBackToTheBuiltInTemplate) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / "etik.eti");  // neither writable nor readable
    const TLabelTemplate made = EnsureLabelTemplate(dir.Path());
    EXPECT_TRUE(made.BuiltIn);
    EXPECT_EQ(made.Lines, SplitTemplateLines(kDefaultTemplate));
    EXPECT_NE(Cp1251ToUtf8(made.Problem).find("встроенному шаблону"), std::string::npos);
}

}  // namespace
}  // namespace tandrel::labels
