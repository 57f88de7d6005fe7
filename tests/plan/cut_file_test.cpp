#include "plan/cut_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/cp1251.h"
#include "base/files.h"

namespace tandrel::plan {
namespace {

TEST(CutFile, RoundTripsAndKeepsWhatALineCannotChange) {
    TStationCut cut = DefaultStationCut();
    EXPECT_EQ(FormatCutFile(cut), "stock=6000\r\nkerf=4\r\nhead=10\r\nremnant=500\r\npieces=0\r\n");

    // Written by hand with LF ends, blanks, an unknown key and two bad values.
    const std::string text =
        "stock = 6000x20,3000\nkerf=3,5\nhead=abc\n\nwho=me\npieces=1.5\nremnant=0\n";
    const std::string why = ParseCutFile(text, cut);
    EXPECT_EQ(cut.Stock, (std::vector<TStock>{{60000, 20, ""}, {30000, kUnlimited, ""}}));
    EXPECT_EQ(cut.Cut.Kerf, 35);
    EXPECT_EQ(cut.Cut.Head, 100);  // kept
    EXPECT_EQ(cut.Cut.MinRemnant, 0);
    EXPECT_EQ(cut.Cut.MaxPieces, 0);  // kept
    EXPECT_NE(why.find("head=abc"), std::string::npos) << Cp1251ToUtf8(why);
    EXPECT_NE(why.find("pieces=1.5"), std::string::npos) << Cp1251ToUtf8(why);

    TStationCut again = DefaultStationCut();
    EXPECT_EQ(ParseCutFile(FormatCutFile(cut), again), "");
    EXPECT_EQ(again, cut);
}

TEST(CutFile, MissingFileGivesDefaultsAndAWriteReadsBack) {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("cut_file_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    TStationCut cut;
    EXPECT_EQ(ReadCutFile(CutFilePath(dir), cut), "");
    EXPECT_EQ(cut, DefaultStationCut());
    cut.Cut.MaxPieces = 7;
    WriteCutFile(CutFilePath(dir), cut);
    TStationCut read;
    EXPECT_EQ(ReadCutFile(CutFilePath(dir), read), "");
    EXPECT_EQ(read, cut);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tandrel::plan
