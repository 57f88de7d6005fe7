#include "base/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <vector>

#include "base/cp1251.h"
#include "base/error.h"
#include "support/temp_dir.h"

namespace tandrel {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::vector<fs::path> Entries(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
    return out;
}

// The steps a hook has seen, and the one it fails.
struct Recorder {
    std::vector<FileStep> steps;
    FileStep failAt{};
    int code = 0;
};
Recorder g_recorder;

int RecordingHook(FileStep step, const fs::path&) {
    g_recorder.steps.push_back(step);
    return step == g_recorder.failAt ? g_recorder.code : 0;
}

class HookGuard {
  public:
    explicit HookGuard(FileStep failAt = FileStep::Create, int code = 0) {
        g_recorder = Recorder{{}, failAt, code};
        previous_ = SetFileStepHook(&RecordingHook);
    }
    ~HookGuard() { SetFileStepHook(previous_); }

  private:
    FileStepHook previous_;
};

TEST(WriteFileAtomic, CreatesAndReplacesWithFlushesBeforeAndAfterTheRename) {
    TempDir dir;
    const fs::path file = dir.Path() / "nastr.dat";
    {
        HookGuard hook;
        WriteFileAtomic(file, std::string("first\r\n\0\xFF", 9));
        const std::vector<FileStep> expected = {FileStep::Create, FileStep::Write, FileStep::Flush,
                                                FileStep::Rename, FileStep::FlushFolder};
        EXPECT_EQ(g_recorder.steps, expected);
    }
    EXPECT_EQ(ReadWholeFile(file), std::string("first\r\n\0\xFF", 9));
    WriteFileAtomic(file, "");
    EXPECT_EQ(ReadWholeFile(file), "");
    WriteFileAtomic(file, "second");
    EXPECT_EQ(ReadWholeFile(file), "second");
    EXPECT_EQ(Entries(dir.Path()), std::vector<fs::path>{"nastr.dat"});
}

TEST(WriteFileAtomic, KeepsTheTargetsPermissions) {
    TempDir dir;
    const fs::path file = dir.Path() / "f";
    WriteFileAtomic(file, "a");
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(file, perms);
    WriteFileAtomic(file, "b");
    EXPECT_EQ(fs::status(file).permissions(), perms);
}

TEST(WriteFileAtomic, AFailedStepLeavesTheOldFileWholeAndNoTemporaryFile) {
    for (FileStep step : {FileStep::Create, FileStep::Write, FileStep::Flush, FileStep::Rename}) {
        TempDir dir;
        const fs::path file = dir.Path() / "nastr.dat";
        WriteFileAtomic(file, "old contents");
        HookGuard hook(step, ENOSPC);
        try {
            WriteFileAtomic(file, "new contents");
            ADD_FAILURE() << "no failure at step " << static_cast<int>(step);
        } catch (const Exception& e) {
            // The message names the file and the system's reason.
            EXPECT_NE(e.Message().find("Не удалось записать файл"_cp1251), std::string::npos);
            EXPECT_NE(e.Message().find(file.string()), std::string::npos);
            EXPECT_NE(e.Message().find(SystemErrorText(ENOSPC)), std::string::npos);
        }
        EXPECT_EQ(ReadWholeFile(file), "old contents") << static_cast<int>(step);
        EXPECT_EQ(Entries(dir.Path()), std::vector<fs::path>{"nastr.dat"});
    }
}

TEST(WriteFileAtomic, ACrashBeforeTheRenameLeavesTheOldFileAndTheNextWriteSucceeds) {
    TempDir dir;
    const fs::path file = dir.Path() / "nastr.dat";
    WriteFileAtomic(file, "old");
    {
        HookGuard hook(FileStep::Rename, kSimulatedCrash);
        WriteFileAtomic(file, "new, never renamed");
    }
    EXPECT_EQ(ReadWholeFile(file), "old");
    fs::path leftover = file;
    leftover += ".tmp";
    EXPECT_EQ(ReadWholeFile(leftover), "new, never renamed");
    WriteFileAtomic(file, "next");
    EXPECT_EQ(ReadWholeFile(file), "next");
    EXPECT_FALSE(fs::exists(leftover));
}

TEST(WriteFileAtomic, AReadOnlyFolderLeavesTheOldFile) {
    TempDir dir;
    const fs::path file = dir.Path() / "nastr.dat";
    WriteFileAtomic(file, "old");
    fs::permissions(dir.Path(),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    if (!std::ofstream(dir.Path() / "probe")) {
        EXPECT_THROW(WriteFileAtomic(file, "new"), Exception);
        EXPECT_EQ(ReadWholeFile(file), "old");
        return;
    }
    // The superuser writes into read-only folders: try as an ordinary user in a child process.
    fs::remove(dir.Path() / "probe");
    EXPECT_EXIT(
        {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) std::_Exit(2);
            try {
                WriteFileAtomic(file, "new");
            } catch (const Exception&) {
                std::_Exit(ReadWholeFile(file) == std::optional<std::string>("old") ? 0 : 3);
            }
            std::_Exit(4);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadWholeFile(file), "old");
}

TEST(WriteFileAtomic, AMissingFolderRaises) {
    TempDir dir;
    EXPECT_THROW(WriteFileAtomic(dir.Path() / "no" / "f", "x"), Exception);
}

TEST(AppendAndFlush, CreatesAppendsAndFlushes) {
    TempDir dir;
    const fs::path file = dir.Path() / "plan.crc";
    {
        HookGuard hook;
        AppendAndFlush(file, "123\r\n");
        const std::vector<FileStep> expected = {FileStep::Create, FileStep::Write, FileStep::Flush};
        EXPECT_EQ(g_recorder.steps, expected);
    }
    AppendAndFlush(file, "7\r\n");
    EXPECT_EQ(ReadWholeFile(file), "123\r\n7\r\n");
    HookGuard hook(FileStep::Write, EIO);
    EXPECT_THROW(AppendAndFlush(file, "8\r\n"), Exception);
    EXPECT_THROW(AppendAndFlush(dir.Path() / "no" / "f", "x"), Exception);
}

TEST(ReadWholeFile, MissingOrNotAFileGivesNothing) {
    TempDir dir;
    EXPECT_EQ(ReadWholeFile(dir.Path() / "missing"), std::nullopt);
    EXPECT_EQ(ReadWholeFile(dir.Path()), std::nullopt);
    std::string big(100000, 'x');
    big[77777] = '\0';
    WriteFileAtomic(dir.Path() / "big", big);
    EXPECT_EQ(ReadWholeFile(dir.Path() / "big"), big);
}

TEST(PathConversion, RoundTripsThroughWindows1251) {
    const struct {
        const char* utf8;
        bool fits;
    } rows[] = {
        {"/home/op/cut lists", true},
        {"/home/оператор/Раскрой №1", true},
        {"C:\\Cut", true},
        {"/home/op/日本", false},
        {"/home/op/\xFF\xFE", false},  // not UTF-8: no Windows-1251 text names it
        {"", true},
    };
    for (const auto& r : rows) {
        const fs::path path(r.utf8);
        const auto text = PathToCp1251(path);
        ASSERT_EQ(text.has_value(), r.fits) << r.utf8;
        if (!r.fits) continue;
        EXPECT_EQ(*text, Utf8ToCp1251(r.utf8));
        EXPECT_EQ(Cp1251ToPath(*text), path);
    }
}

}  // namespace
}  // namespace tandrel
