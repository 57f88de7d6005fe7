#include "job/list_encoding.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/cp1251.h"
#include "job/crc32.h"
#include "job/cut_list.h"
#include "support/temp_dir.h"

namespace tandrel::job {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

TEST(ListEncoding, Detection) {
    const struct {
        const char* name;
        std::string bytes;
        bool utf8;
        std::int32_t replaced;
        std::string text;  // Windows-1251 after reading
    } cases[] = {
        // Valid UTF-8 is UTF-8, though "Ш№" in Windows-1251 happens to be an Arabic letter.
        {"Ш№ is an Arabic letter in UTF-8", "1200 \xD8\xB9", true, 1, "1200 ?"},
        {"× without a mark", "1200 50×100", true, 1, "1200 50?100"},
        {"UTF-16 with its mark",
         std::string("\xFF\xFE"
                     "1\0"
                     "2\0"
                     " \0"
                     "\x14\x04",
                     10),
         true, 0, "12 Д"_cp1251},
        {"plain ASCII", "1200 door\r\n", false, 0, "1200 door\r\n"},
        {"Cyrillic in UTF-8", "1200 Дверь <E1А-12>", true, 0, "1200 Дверь <E1А-12>"_cp1251},
        {"№, quotes and Ё", "1200 №5 «Ёлка» – 2", true, 0, "1200 №5 «Ёлка» – 2"_cp1251},
        {"a Cyrillic letter Windows-1251 lacks", "1200 Ѐ", true, 1, "1200 ?"},
        {"a character outside both", "1200 Дверь 日", true, 1, "1200 Дверь ?"_cp1251},
        {"mark and ASCII",
         "\xEF\xBB\xBF"
         "1200 a",
         true, 0, "1200 a"},
        {"mark and a character Windows-1251 lacks",
         "\xEF\xBB\xBF"
         "1200 日本",
         true, 2, "1200 ??"},
        {"mark and a broken byte",
         "\xEF\xBB\xBF"
         "1200 \xFF",
         true, 1, "1200 ?"},
        {"overlong form", "1200 \xC0\x80", false, 0, "1200 \xC0\x80"},
        {"surrogate", "1200 \xED\xA0\x80", false, 0, "1200 \xED\xA0\x80"},
        {"cut short at the end", "1200 Дверь\xD0", false, 0, "1200 Дверь\xD0"},
        {"empty file", "", false, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsUtf8List(c.bytes), c.utf8 && !c.bytes.starts_with("\xFF")) << c.name;
        const TListText read = ListText(c.bytes);
        EXPECT_EQ(read.Utf8, c.utf8) << c.name;
        EXPECT_EQ(read.Replaced, c.replaced) << c.name;
        EXPECT_EQ(read.Text, c.text) << c.name;
    }
}

// Every list the project holds, with its Cyrillic captions: as written (Windows-1251) each stays
// Windows-1251, line by line and whole; the same text in UTF-8 is read as UTF-8 and back.
TEST(ListEncoding, FixturesStayWindows1251AndTheirUtf8IsRead) {
    std::vector<std::filesystem::path> files;
    for (const char* folder : {TANDREL_JOB_FIXTURES, TANDREL_FUZZ_LIST_FIXTURES, TANDREL_EXAMPLES})
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().extension() != ".md")
                files.push_back(entry.path());
    ASSERT_GE(files.size(), 5u);
    int cyrillicLines = 0;
    for (const auto& file : files) {
        const std::string bytes = ReadBytes(file);
        EXPECT_FALSE(IsUtf8List(bytes)) << file;
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            auto end = bytes.find('\n', pos);
            if (end == std::string::npos) end = bytes.size();
            const std::string line = bytes.substr(pos, end - pos);
            pos = end + 1;
            const std::string utf8 = Cp1251ToUtf8(line);
            if (utf8 == line) continue;  // nothing outside ASCII
            ++cyrillicLines;
            EXPECT_FALSE(IsUtf8List(line)) << file << ": " << utf8;
            EXPECT_TRUE(IsUtf8List(utf8)) << file << ": " << utf8;
            EXPECT_EQ(ListText(utf8).Text, line) << file << ": " << utf8;
        }
        if (Cp1251ToUtf8(bytes) != bytes) {
            EXPECT_TRUE(IsUtf8List(Cp1251ToUtf8(bytes))) << file;
        }
    }
    EXPECT_GE(cyrillicLines, 30);
}

// A UTF-8 list loads with Windows-1251 captions and fields; its CRC is that of the file's bytes.
TEST(ListEncoding, Utf8ListLoadsWithTheCrcOfItsBytes) {
    TempDir dir;
    const std::string bytes =
        "\xEF\xBB\xBF"
        "1200 Дверь <E1Шкаф №3>\r\n1350,5 Полка 日\r\n";
    WriteBytes(dir.Path() / "utf8.txt", bytes);
    TJobState state;
    const TLoadOutcome out = LoadList(state, dir.Name("utf8.txt"));
    ASSERT_TRUE(out.Loaded) << Cp1251ToUtf8(out.Reason);
    EXPECT_TRUE(out.Utf8);
    EXPECT_EQ(out.Replaced, 1);
    EXPECT_EQ(state.Rows[1].Caption, "Дверь"_cp1251);
    EXPECT_EQ(state.Rows[1].Fields[0], "Шкаф №3"_cp1251);
    EXPECT_EQ(state.Rows[2].Caption, "Полка ?"_cp1251);
    std::uint32_t crc = 0xFFFFFFFF;
    crc = UpdateCrc32(crc, bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    EXPECT_EQ(state.ProgressCrc, crc ^ 0xFFFFFFFFu);
    EXPECT_EQ(ReadBytes(state.ProgressFile), std::to_string(state.ProgressCrc) + "\r\n");
}

}  // namespace
}  // namespace tandrel::job
