#include "job/incoming.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"
#include "job/crc32.h"
#include "job/scan_burst.h"
#include "support/temp_dir.h"

namespace tandrel::job {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteBytes;

// Keys as (gap before it in ms, Enter or not); the expected fate of each: T typed, D dropped,
// S part of a scan. Keys still held at the end settle by Expire.
TEST(ScanBurst, TellsAScannerFromAHand) {
    const struct {
        const char* name;
        std::vector<std::pair<int, bool>> keys;
        const char* fates;
    } cases[] = {
        {"scanner: 1502 Enter at 8 ms",
         {{0, false}, {8, false}, {8, false}, {8, false}, {8, true}},
         "SSSSS"},
        {"hand: 1502 Enter at 120 ms",
         {{0, false}, {120, false}, {120, false}, {120, false}, {120, true}},
         "TTTTT"},
        {"two fast keys and Enter are a scan", {{0, false}, {50, false}, {50, true}}, "SSS"},
        {"a gap of 51 ms is a hand", {{0, false}, {51, false}, {51, true}}, "TTT"},
        {"one key and a fast Enter", {{0, false}, {10, true}}, "TT"},
        {"Enter alone", {{0, true}}, "T"},
        {"fast keys without Enter are dropped", {{0, false}, {5, false}, {5, false}}, "DDD"},
        {"a slow Enter after a fast burst",
         {{0, false}, {5, false}, {5, false}, {80, true}},
         "DDDT"},
        {"hand then scanner", {{0, false}, {200, false}, {8, false}, {8, true}}, "TSSS"},
    };
    for (const auto& c : cases) {
        TScanBurst burst;
        std::string fates;
        std::size_t held = 0;
        std::int64_t ms = 1000;
        auto settle = [&](const TScanBurst::TStep& step) {
            fates += std::string(step.Settled, step.SettledTyped ? 'T' : 'D');
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

TEST(Incoming, AScanMatchesANameNeverAPath) {
    TFolderLook look;
    look.Readable = true;
    for (const std::string& name :
         {"1502.ods"_cp1251, "1502.xlsx"_cp1251, "1502.CSV"_cp1251, "1502.txt"_cp1251,
          "Заказ.txt"_cp1251, "x.txt"_cp1251, "y.ods"_cp1251, "y.xlsx"_cp1251})
        look.Files.push_back({name, fs::path("/in") / name, 1, 1});
    const struct {
        std::string code;
        std::string found;
    } cases[] = {
        {"1502", "1502.txt"},  // .txt before .csv before .xlsx before .ods
        {"y", "y.xlsx"},      {"ЗАКАЗ"_cp1251, "Заказ.txt"_cp1251},
        {"X", "x.txt"},       {"1503", ""},
        {"..\\x", ""},        {"C:\\x", ""},
        {"/in/x", ""},        {"", ""},
    };
    for (const auto& c : cases) {
        const TIncomingFile* file = MatchScan(look, c.code);
        EXPECT_EQ(file ? file->Name : "", c.found) << c.code;
    }
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
    looks.Take(LookAtFolder(in));
    ASSERT_EQ(looks.Last().Files.size(), 2u);
    EXPECT_TRUE(IsListFileName("Заказ 15.ODS"_cp1251));
    EXPECT_EQ(looks.Last().Files[0].Name, "new.csv");
    EXPECT_TRUE(looks.Complete("old.txt"));  // present at the first look

    WriteBytes(in / "grow.txt", "1000\r\n");
    looks.Take(LookAtFolder(in));
    EXPECT_FALSE(looks.Complete("grow.txt"));  // seen once
    WriteBytes(in / "grow.txt", "1000\r\n1200\r\n");
    looks.Take(LookAtFolder(in));
    EXPECT_FALSE(looks.Complete("grow.txt"));  // grew between the looks
    looks.Take(LookAtFolder(in));
    EXPECT_TRUE(looks.Complete("grow.txt"));

    fs::remove_all(in);
    looks.Take(LookAtFolder(in));
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
