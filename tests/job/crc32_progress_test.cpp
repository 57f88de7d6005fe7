#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/cp1251.h"
#include "base/files.h"
#include "job/crc32.h"
#include "job/job_state.h"
#include "job/progress.h"
#include "support/temp_dir.h"

namespace tandrel::job {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

TEST(Crc32, KnownValues) {
    const struct {
        std::string bytes;
        std::uint32_t crc;
    } rows[] = {{"", 0x00000000u}, {"123456789", 0xCBF43926u}, {"a", 0xE8B7BE43u}};
    for (const auto& r : rows) {
        const auto running =
            UpdateCrc32(0xFFFFFFFFu, r.bytes.data(), static_cast<std::uint16_t>(r.bytes.size()));
        EXPECT_EQ(~running, r.crc) << r.bytes;
    }
    EXPECT_EQ(Crc32[1], 0x77073096u);
    EXPECT_EQ(Crc32[255], 0x2D02EF8Du);
}

TEST(Crc32, FileAcrossBlocksMatchesOnePass) {
    TempDir dir;
    std::string bytes;
    for (int i = 0; i < 100000; ++i) bytes += static_cast<char>((i * 7919) & 0xFF);
    WriteBytes(dir.Path() / "big.txt", bytes);
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t at = 0; at < bytes.size(); at += 1000) {
        crc =
            UpdateCrc32(crc, bytes.data() + at,
                        static_cast<std::uint16_t>(std::min<std::size_t>(1000, bytes.size() - at)));
    }
    const TFileCrc file = FileCrc32(dir.Name("big.txt"));
    EXPECT_TRUE(file.Ok);
    EXPECT_EQ(file.Crc, ~crc);
}

TEST(Crc32, MissingFileGivesReadableMessage) {
    TempDir dir;
    const TFileCrc file = FileCrc32("нет.txt"_cp1251);
    EXPECT_FALSE(file.Ok);
    EXPECT_EQ(file.Crc, 0u);
    const std::string text = Cp1251ToUtf8(file.Message);
    EXPECT_EQ(text,
              "При подсчёте контрольной суммы файла [нет.txt] произошла ошибка [файл не найден]");
    EXPECT_EQ(text.find('?'), std::string::npos) << text;

    std::filesystem::create_directory(dir.Path() / "folder.txt");  // opens, cannot be read
    EXPECT_FALSE(FileCrc32(dir.Name("folder.txt")).Ok);
}

TEST(ProgressFileName, Table) {
    const struct {
        const char* list;
        const char* progress;
    } rows[] = {
        {"plan.txt", "plan.crc"},
        {"PLAN.TXT", "PLAN.crc"},
        {"plan", "plan.crc"},
        {"a.txt.b.txt", "a.b.txt.crc"},
        {"C:\\lists\\plan.txt", "plan.crc"},
        {"/home/op/lists/plan.txt", "plan.crc"},
        {"dir.d/plan", "plan.crc"},
    };
    for (const auto& r : rows) EXPECT_EQ(ProgressFileName(r.list), r.progress) << r.list;
}

class ReadProgressTest : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kCrc = 3735928559u;
    TempDir dir;
    std::filesystem::path file = dir.Path() / "plan.crc";
    std::vector<SizeRow> rows = std::vector<SizeRow>(6);  // rows 1..5
};

TEST_F(ReadProgressTest, Table) {
    const std::string crc = std::to_string(kCrc);
    const std::string reset = crc + "\r\n";
    const struct {
        const char* what;
        std::string content;  // "-" for a missing file
        std::vector<int> done;
        std::string after;  // the file afterwards
        bool matched;
    } cases[] = {
        {"missing", "-", {}, reset, false},
        {"only the CRC line", reset, {}, reset, true},
        {"two rows", reset + "2\r\n4\r\n", {2, 4}, reset + "2\r\n4\r\n", true},
        {"a duplicate counts once", reset + "2\r\n2\r\n\r\n", {2}, reset + "2\r\n2\r\n\r\n", true},
        {"leading zero", "0" + reset + "1\r\n", {}, reset, false},
        {"leading blank", " " + reset + "1\r\n", {}, reset, false},
        {"sign", "+" + reset + "1\r\n", {}, reset, false},
        {"another CRC", "12345\r\n1\r\n", {}, reset, false},
        {"CRC line cut short", crc, {}, reset, false},
        {"rows outside the list skipped",
         reset + "0\r\n9\r\n-1\r\n3\r\n",
         {3},
         reset + "0\r\n9\r\n-1\r\n3\r\n",
         true},
        {"garbage skipped", reset + "x\r\n5\r\n", {5}, reset + "x\r\n5\r\n", true},
        {"torn last append", reset + "2\r\n1", {2}, reset + "2\r\n", true},
        {"lone line feeds", crc + "\n1\n5\n", {1, 5}, crc + "\n1\n5\n", true},
    };
    for (const auto& c : cases) {
        for (auto& r : rows) r.Done = false;
        std::filesystem::remove(file);
        if (c.content != "-") WriteBytes(file, c.content);
        std::int32_t remaining = 5;
        const TProgressRead read = ReadProgress(file, kCrc, rows, remaining);
        std::vector<int> done;
        for (int i = 0; i < 6; ++i) {
            if (rows[i].Done) done.push_back(i);
        }
        EXPECT_EQ(done, c.done) << c.what;
        EXPECT_EQ(remaining, 5 - static_cast<int>(c.done.size())) << c.what;
        EXPECT_EQ(read.Marked, static_cast<int>(c.done.size())) << c.what;
        EXPECT_EQ(read.Matched, c.matched) << c.what;
        EXPECT_EQ(ReadBytes(file), c.after) << c.what;
        EXPECT_TRUE(read.Problem.empty()) << c.what;
    }
}

TEST_F(ReadProgressTest, RowAlreadyDoneStaysDoneAndIsNotCounted) {
    WriteBytes(file, std::to_string(kCrc) + "\r\n3\r\n");
    rows[3].Done = true;
    std::int32_t remaining = 4;
    ReadProgress(file, kCrc, rows, remaining);
    EXPECT_TRUE(rows[3].Done);
    EXPECT_EQ(remaining, 4);
}

TEST_F(ReadProgressTest, AppendsAreFlushedLinesAndFailuresAreReported) {
    TJobState state;
    std::string failure;
    EXPECT_FALSE(AppendProgress(state, 1, &failure));  // no list loaded
    EXPECT_FALSE(failure.empty());

    state.ProgressFile = file;
    ASSERT_TRUE(ResetProgress(file, kCrc, nullptr));
    EXPECT_TRUE(AppendProgress(state, 3, nullptr));
    EXPECT_TRUE(AppendProgress(state, 12, nullptr));
    EXPECT_EQ(ReadBytes(file), std::to_string(kCrc) + "\r\n3\r\n12\r\n");

    // The append reaches the disk before it returns.
    static std::vector<FileStep> steps;
    steps.clear();
    const auto previous = SetFileStepHook([](FileStep step, const std::filesystem::path&) {
        steps.push_back(step);
        return 0;
    });
    EXPECT_TRUE(AppendProgress(state, 4, nullptr));
    SetFileStepHook(previous);
    EXPECT_EQ(steps, (std::vector<FileStep>{FileStep::Create, FileStep::Write, FileStep::Flush}));

    state.ProgressFile = dir.Path() / "no-such-folder" / "plan.crc";
    failure.clear();
    EXPECT_FALSE(AppendProgress(state, 1, &failure));
    EXPECT_FALSE(failure.empty());
    EXPECT_FALSE(ResetProgress(state.ProgressFile, kCrc, &failure));
}

}  // namespace
}  // namespace tandrel::job
