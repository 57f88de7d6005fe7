// The limits of the files people edit by hand: each extreme gets its handled outcome.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "base/files.h"
#include "console/nastr_file.h"
#include "job/crc32.h"
#include "job/cut_list.h"
#include "job/progress.h"
#include "support/temp_dir.h"

namespace tandrel {
namespace {

using job::TJobState;
using job::TLoadOutcome;

std::string Rows(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += std::to_string(1000 + i % 2000) + " row\r\n";
    return text;
}

std::string Binary() {
    std::string bytes;
    std::uint32_t x = 12345;
    for (int i = 0; i < 65536; ++i) {
        x = x * 1103515245u + 12345u;
        bytes += static_cast<char>(x >> 24);
    }
    return bytes;
}

struct ListCase {
    const char* name;
    std::string text;
    bool loaded;
    std::int32_t rows;       // when loaded
    std::int32_t line;       // the line to blame when rejected (-1: any line)
    std::string reasonPart;  // in the reason when rejected
};

TEST(Limits, ListFiles) {
    const std::vector<ListCase> cases = {
        {"30000 rows", Rows(30000), true, 30000, 0, ""},
        {"30001 rows", Rows(30001), false, 0, 30001, "больше 30000 строк"_cp1251},
        {"10 MB caption", "1200 " + std::string(10 << 20, 'x') + "\r\n", true, 1, 0, ""},
        {"10 MB size", std::string(10 << 20, '7'), false, 0, 1, "больше 2147483647"_cp1251},
        {"10 MB of separators", "1" + std::string(10 << 20, ','), false, 0, 1, "разделител"_cp1251},
        {"binary", Binary(), false, 0, -1, ""},
        {"empty", "", false, 0, 0, "нет ни одной строки"_cp1251},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        testing::WriteBytes("plan.txt", c.text);
        TJobState state;
        const TLoadOutcome out = job::LoadList(state, "plan.txt");
        ASSERT_EQ(out.Loaded, c.loaded) << Cp1251ToUtf8(out.Reason);
        if (c.loaded) {
            EXPECT_EQ(state.RowCount, c.rows);
            EXPECT_EQ(state.RemainingCount, c.rows);
            EXPECT_TRUE(out.ProgressIssue.empty());
        } else {
            EXPECT_EQ(state.RowCount, 0);
            if (c.line >= 0) {
                EXPECT_EQ(out.Line, c.line);
            }
            EXPECT_NE(out.Reason.find(c.reasonPart), std::string::npos) << Cp1251ToUtf8(out.Reason);
        }
    }
}

int ReadOnlyMedium(FileStep step, const std::filesystem::path&) {
    return step == FileStep::Create ? EROFS : 0;
}

TEST(Limits, ListOnAReadOnlyMediumLoadsAndSaysItsProgressCannotBeKept) {
    testing::TempDir dir;
    testing::WriteBytes("plan.txt", Rows(3));
    const FileStepHook previous = SetFileStepHook(&ReadOnlyMedium);
    TJobState state;
    const TLoadOutcome out = job::LoadList(state, "plan.txt");
    std::string failure;
    const bool appended = job::AppendProgress(state, 1, &failure);
    SetFileStepHook(previous);
    ASSERT_TRUE(out.Loaded);
    EXPECT_EQ(state.RowCount, 3);
    EXPECT_FALSE(out.ProgressIssue.empty());
    EXPECT_FALSE(appended);
    EXPECT_FALSE(failure.empty());
    EXPECT_FALSE(std::filesystem::exists("plan.crc"));
}

TEST(Limits, ListInAReadOnlyFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    testing::TempDir dir;
    testing::WriteBytes("plan.txt", Rows(3));
    std::filesystem::permissions(
        dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    TJobState state;
    const TLoadOutcome out = job::LoadList(state, "plan.txt");
    ASSERT_TRUE(out.Loaded);
    EXPECT_FALSE(out.ProgressIssue.empty());
    EXPECT_FALSE(job::AppendProgress(state, 1, nullptr));
}

struct ProgressCase {
    const char* name;
    std::string body;  // after the CRC line
    std::vector<std::int32_t> done;
};

TEST(Limits, ProgressFiles) {
    std::string garbage = Binary();
    std::erase(garbage, '\r');
    std::erase(garbage, '\n');
    const std::vector<ProgressCase> cases = {
        {"garbage", garbage + "\r\n", {}},
        {"garbage lines", "abc\r\n\x01\x02\r\n+\r\n-\r\n 1\r\n1 \r\n1.0\r\n0x2\r\n", {}},
        {"rows past the end",
         "1\r\n6\r\n99999\r\n2147483647\r\n99999999999\r\n-3\r\n0\r\n5\r\n",
         {1, 5}},
        {"garbage torn tail", "2\r\n" + garbage, {2}},
        {"10 MB line", std::string(10 << 20, '4') + "\r\n3\r\n", {3}},
    };
    for (const ProgressCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        testing::WriteBytes("plan.txt", Rows(5));
        const std::uint32_t crc = job::FileCrc32("plan.txt").Crc;
        testing::WriteBytes("plan.crc", std::to_string(crc) + "\r\n" + c.body);
        TJobState state;
        ASSERT_TRUE(job::LoadList(state, "plan.txt").Loaded);
        std::vector<std::int32_t> done;
        for (std::int32_t i = 1; i <= state.RowCount; ++i)
            if (state.Rows[i].Done) done.push_back(i);
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(state.RemainingCount, 5 - static_cast<std::int32_t>(c.done.size()));
        // The file takes the next row on a line of its own.
        ASSERT_TRUE(job::AppendProgress(state, 4, nullptr));
        TJobState again;
        ASSERT_TRUE(job::LoadList(again, "plan.txt").Loaded);
        EXPECT_TRUE(again.Rows[4].Done);
        EXPECT_EQ(again.RemainingCount, state.RemainingCount - (state.Rows[4].Done ? 0 : 1));
    }
}

TEST(Limits, SettingsWithEveryKeyRepeatedAndHugeValues) {
    testing::TempDir dir;
    const TSettings defaults = DefaultSettings(dir.Path());
    const std::string huge(100000, '9');
    const std::string hugeText(100000, 'z');
    std::string file;
    for (int round = 0; round < 50; ++round) {
        for (const char key : std::string("abcdefghijklmnop")) {
            file += ' ' + hugeText + "\r\n";
            file += std::string(1, key) + "=" +
                    (key == 'd' || key == 'g' || key == 'p' ? hugeText : huge) + "\r\n";
        }
    }
    // The last good line of a key wins over the huge ones before it.
    file += "a=100\r\nc=12\r\np=/dev/ttyS1\r\nh=0\r\n";
    testing::WriteBytes(dir.Path() / "nastr.dat", file);

    TSettings expected = defaults;
    expected.Column0Width = 100;
    expected.InfoFontSize = 12;
    expected.DevicePortName = "/dev/ttyS1";
    expected.LabelPortName = hugeText;
    expected.ShowKeypad = false;
    expected.ShowCorrection = expected.PrintLabels = expected.ConsecutiveRows = true;  // not "0"
    expected.SendSizes = true;
    expected.AskPrinterState = true;
    expected.Broker = huge;  // o: no blank in it to cut at
    const TSettings read = ReadSettingsFile(dir.Path() / "nastr.dat", defaults);
    EXPECT_EQ(read, expected);

    // A huge port name is kept and written back whole.
    WriteSettingsFile(dir.Path() / "nastr.dat", read);
    TSettings again = read;
    again.ListRowHeight = 2 * read.ListFontSize;  // the written e line sets the rows
    EXPECT_EQ(ReadSettingsFile(dir.Path() / "nastr.dat", defaults), again);
}

}  // namespace
}  // namespace tandrel
