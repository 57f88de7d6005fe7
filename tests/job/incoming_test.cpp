#include "job/incoming.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "base/cp1251.h"
#include "base/files.h"
#include "job/crc32.h"
#include "job/list_reads.h"
#include "job/scan_burst.h"
#include "support/temp_dir.h"

namespace tandrel::job {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteBytes;

// Keys as (gap before it in ms, Enter or not); the expected fate of each: T typed, S part of a
// scan. Keys still held at the end settle by Expire.
TEST(ScanBurst, TellsAScannerFromAHand) {
    const struct {
        const char* name;
        std::vector<std::pair<int, bool>> keys;
        const char* fates;
    } cases[] = {
        {"scanner at 5 ms", {{0, false}, {5, false}, {5, false}, {5, false}, {5, true}}, "SSSSS"},
        {"scanner, Enter 150 ms behind", {{0, false}, {5, false}, {5, false}, {150, true}}, "SSSS"},
        {"Enter 151 ms behind", {{0, false}, {5, false}, {5, false}, {151, true}}, "TTTT"},
        {"characters 30 ms apart", {{0, false}, {30, false}, {30, false}, {5, true}}, "SSSS"},
        {"characters 31 ms apart", {{0, false}, {31, false}, {31, false}, {5, true}}, "TTTT"},
        {"typist at 40 ms",
         {{0, false}, {40, false}, {40, false}, {40, false}, {40, true}},
         "TTTTT"},
        {"rollover of three, then a pause",
         {{0, false}, {25, false}, {25, false}, {300, false}},
         "TTTT"},
        {"two fast characters and Enter", {{0, false}, {5, false}, {5, true}}, "TTT"},
        {"Enter alone", {{0, true}}, "T"},
        {"a slow fourth character ends the burst as typing",
         {{0, false}, {5, false}, {5, false}, {60, false}, {5, true}},
         "TTTTT"},
        {"hand, then scanner",
         {{0, false}, {200, false}, {5, false}, {5, false}, {5, true}},
         "TSSSS"},
    };
    for (const auto& c : cases) {
        TScanBurst burst;
        std::string fates;
        std::size_t held = 0;
        std::int64_t ms = 1000;
        auto settle = [&](const TScanBurst::TStep& step) {
            fates += std::string(step.Settled, 'T');
            held -= step.Settled;
        };
        for (const auto& [gap, enter] : c.keys) {
            ms += gap;
            const TScanBurst::TStep step = burst.Press(ms, enter);
            settle(step);
            if (step.This == TScanBurst::TThis::Hold) ++held;
            if (step.This == TScanBurst::TThis::Act) fates += 'T';
            if (step.This == TScanBurst::TThis::Scan) {
                fates += std::string(held + 1, 'S');
                held = 0;
            }
        }
        if (held > 0) {
            ASSERT_TRUE(burst.Due());
            EXPECT_EQ(burst.Expire(*burst.Due() - 1).Settled, 0u) << c.name;
            settle(burst.Expire(*burst.Due()));
        }
        EXPECT_EQ(fates, c.fates) << c.name;
        EXPECT_FALSE(burst.Due()) << c.name;
    }
}

TEST(Incoming, AScanMatchesANameUnderEitherLayoutNeverAPath) {
    TFolderLook look;
    look.Readable = true;
    for (const std::string& name :
         {"1502.txt"_cp1251, "1502.XLSX"_cp1251, "ZAK-1502.csv"_cp1251, "Заказ.txt"_cp1251,
          "x.txt"_cp1251, "7.1.txt"_cp1251, "y.ods"_cp1251})
        look.Files.push_back({name, fs::path("/in") / name, 1, 1});
    const struct {
        const char* code;
        const char* found;  // the names, "|" between
    } cases[] = {
        {"1502", "1502.txt|1502.XLSX"},
        {"zak-1502", "ZAK-1502.csv"},
        {"ЯФЛ-1502", "ZAK-1502.csv"},  // the scanner's keys under the Russian layout
        {"PFRFP", "Заказ.txt"},        // and a Cyrillic name's keys under the Latin one
        {"заказ", "Заказ.txt"},
        {"Ч", "x.txt"},
        {"Y", "y.ods"},
        {"7ю1", "7.1.txt"},
        {"1503", ""},
        {"..\\x", ""},
        {"C:\\x", ""},
        {"/in/x", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string found;
        for (const TIncomingFile* file : MatchCode(look, Utf8ToCp1251(c.code)))
            found += (found.empty() ? "" : "|") + file->Name;
        EXPECT_EQ(found, Utf8ToCp1251(c.found)) << c.code;
    }
}

// A file whose read hangs is read once, however many ask for it meanwhile.
TEST(FileReads, OneReadOfAFileAtATime) {
    static std::atomic<bool> hold{true};
    static std::atomic<int> reads{0};
    const FileStepHook previous = SetFileStepHook([](FileStep step, const fs::path&) {
        if (step != FileStep::ReadWhole) return 0;
        ++reads;
        while (hold) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    });
    TempDir dir;
    WriteBytes(dir.Path() / "plan.txt", "1000\r\n");
    std::mutex lock;
    std::vector<std::function<void()>> posted;
    std::vector<std::string> got;
    {
        TFileReads files([&](std::function<void()> fn) {
            const std::lock_guard guard(lock);
            posted.push_back(std::move(fn));
        });
        for (int i = 0; i < 2; ++i)
            files.Read(dir.Path() / "plan.txt",
                       [&](TFileReads::TResult read) { got.push_back(read->Bytes); });
        std::thread joiner([&] { got.push_back(files.ReadHere(dir.Path() / "plan.txt")->Bytes); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(files.Running(), 1u);
        hold = false;
        joiner.join();
        for (int i = 0; i < 500 && files.Running() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::lock_guard guard(lock);
        for (auto& fn : posted) fn();
    }
    SetFileStepHook(previous);
    EXPECT_EQ(reads.load(), 1);
    EXPECT_EQ(got, std::vector<std::string>(3, "1000\r\n"));
}

TEST(Incoming, TheFolderNewestFirstAndFilesStillBeingWritten) {
    TempDir dir;
    const fs::path in = dir.Path() / "in";
    fs::create_directories(in);
    WriteBytes(in / "old.txt", "1000\r\n");
    WriteBytes(in / "new.csv", "Размер\r\n1000\r\n"_cp1251);
    WriteBytes(in / "old.crc", "1\r\n");
    WriteBytes(in / "~$new.xlsx", "ivan");  // Excel's and LibreOffice's lock files
    WriteBytes(in / ".~lock.new.ods#", ",ivan,PC;");
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(in / "old.txt", now - std::chrono::hours(2));
    fs::last_write_time(in / "new.csv", now - std::chrono::hours(1));

    TIncomingLooks looks;
    std::int64_t ms = 0;
    looks.Take(LookAtFolder(in), ms);
    ASSERT_EQ(looks.Last().Files.size(), 2u);
    EXPECT_TRUE(IsListFileName("Заказ 15.ODS"_cp1251));
    EXPECT_EQ(looks.Last().Files[0].Name, "new.csv");
    EXPECT_TRUE(looks.Complete("old.txt"));  // present at the first look

    WriteBytes(in / "grow.txt", "1000\r\n");
    looks.Take(LookAtFolder(in), ms += 2000);
    EXPECT_FALSE(looks.Complete("grow.txt"));  // seen once
    WriteBytes(in / "grow.txt", "1000\r\n1200\r\n");
    looks.Take(LookAtFolder(in), ms += 2000);
    EXPECT_FALSE(looks.Complete("grow.txt"));  // grew between the looks
    looks.Take(LookAtFolder(in), ms += TIncomingLooks::kSettleMs - 1);
    EXPECT_FALSE(looks.Complete("grow.txt"));  // the same, but not for long enough
    looks.Take(LookAtFolder(in), ms += 1);
    EXPECT_TRUE(looks.Complete("grow.txt"));

    fs::remove_all(in);
    looks.Take(LookAtFolder(in), ms += 2000);
    EXPECT_FALSE(looks.Last().Readable);
    EXPECT_FALSE(looks.Last().Failure.empty());
}

TEST(Incoming, StatesInPiecesWhileTheProgressFileIsTheList) {
    TempDir dir;  // the current directory: where a load puts the progress files
    const fs::path in = dir.Path() / "in";
    fs::create_directories(in);
    const std::string table = "Размер;Кол-во\r\n1000;3\r\n1200;2\r\n"_cp1251;
    WriteBytes(in / "plan.csv", table);
    const std::string crc = std::to_string(
        ~UpdateCrc32(0xFFFFFFFFu, table.data(), static_cast<std::uint16_t>(table.size())));
    const struct {
        const char* progress;  // nullptr: none
        const char* shown;
    } cases[] = {
        {nullptr, "новый"},
        {"\r\n", "новый"},
        {"\r\n2\r\n5\r\n2\r\n9\r\nx\r\n", "сделано 2 из 5"},
        {"\r\n1\r\n2\r\n3\r\n4\r\n5\r\n", "выполнен"},
        {"1\r\n2\r\n", "новый"},  // another list's CRC line
    };
    for (const auto& c : cases) {
        TListStates states;
        std::error_code ec;
        fs::remove(dir.Path() / "plan.crc", ec);
        if (c.progress) {
            const std::string body = c.progress;
            WriteBytes(dir.Path() / "plan.crc", body.starts_with("\r\n") ? crc + body : "7" + body);
        }
        const TListState state = states.Of(LookAtFolder(in).Files.at(0));
        EXPECT_EQ(ListStateText(state), Utf8ToCp1251(c.shown)) << c.shown;
        EXPECT_EQ(state.Pieces, 5);
    }
}

}  // namespace
}  // namespace tandrel::job
