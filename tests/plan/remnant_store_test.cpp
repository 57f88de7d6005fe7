#include "plan/remnant_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"

namespace tandrel::plan {
namespace {

class RemnantStore : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("remnant_store_test_" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path File() const { return RemnantStorePath(dir_); }
    std::string Bytes() const { return ReadWholeFile(File()).value_or(""); }

    std::filesystem::path dir_;
    const job::TLocalTime day_{2026, 12, 10, 14, 5, 0};
};

TEST_F(RemnantStore, AddsWithIdsThatNeverComeBackAndKeepsTheFileReadable) {
    TRemnantStore store(File());
    EXPECT_EQ(store.Load(), "");
    const auto a = store.Add(12400, "AL", "1502.txt", day_);
    const auto b = store.Add(9805, "", Utf8ToCp1251("заказ;7"), day_);
    EXPECT_EQ(a.Id, "R000001");
    EXPECT_EQ(b.Id, "R000002");
    EXPECT_EQ(Bytes(), Utf8ToCp1251("R000001;1240;AL;10.12.2026;1502.txt\r\n"
                                    "R000002;980.5;;10.12.2026;\"заказ;7\"\r\n"));
    EXPECT_EQ(store.Newest(), (std::vector<TStoredRemnant>{b, a}));
    EXPECT_EQ(store.ForPlan(),
              (std::vector<TRemnant>{{"R000001", 12400, "AL"}, {"R000002", 9805, ""}}));

    // The newest removed, and the store read again: its id is not given again.
    EXPECT_TRUE(store.Remove("R000002"));
    EXPECT_FALSE(store.Remove("R000002"));
    TRemnantStore again(File());
    EXPECT_EQ(again.Load(), "");
    EXPECT_EQ(again.Newest(), (std::vector<TStoredRemnant>{a}));
    EXPECT_EQ(again.Add(5000, "", "", day_).Id, "R000003");

    // Even with the counter file gone, an id the store holds is never given again.
    std::filesystem::remove(std::filesystem::path(File()).replace_extension(".next"));
    TRemnantStore lost(File());
    lost.Load();
    EXPECT_EQ(lost.Add(5000, "", "", day_).Id, "R000004");

    // ...nor one it held last, removed before any was added.
    std::filesystem::remove(std::filesystem::path(File()).replace_extension(".next"));
    TRemnantStore emptied(File());
    emptied.Load();
    for (const char* id : {"R000001", "R000003", "R000004"}) EXPECT_TRUE(emptied.Remove(id));
    TRemnantStore reread(File());
    reread.Load();
    EXPECT_EQ(reread.Add(5000, "", "", day_).Id, "R000005");
}

TEST_F(RemnantStore, KeepsAGarbledLineWhereItStood) {
    const std::string hand =
        "R000010;1000;;01.12.2026;a\r\n"
        "junk line\r\n"
        "R000011;-5;;;\r\n"
        "R000010;700;;;dup\n"
        "X-7;600;ST;;\r\n";
    WriteFileAtomic(File(), hand);
    TRemnantStore store(File());
    EXPECT_EQ(Cp1251ToUtf8(store.Load()),
              "ostatki.dat, строки 2, 3, 4: не остаток (строка оставлена как есть)");
    EXPECT_EQ(store.Size(), 2u);
    EXPECT_EQ(store.Find("X-7")->Material, "ST");
    const auto added = store.Add(20000, "", "", day_);
    EXPECT_EQ(added.Id, "R000012");  // past every id, a garbled line's too
    EXPECT_TRUE(store.Remove("X-7"));
    EXPECT_EQ(Bytes(),
              "R000010;1000;;01.12.2026;a\r\njunk line\r\nR000011;-5;;;\r\n"
              "R000010;700;;;dup\r\nR000012;2000;;10.12.2026;\r\n");
}

TEST_F(RemnantStore, AFailedWriteChangesNothing) {
    TRemnantStore store(File());
    store.Load();
    store.Add(3000, "", "", day_);
    const std::string before = Bytes();
    static std::filesystem::path target;
    target = File();
    SetFileStepHook([](FileStep step, const std::filesystem::path& path) {
        return step == FileStep::Rename && path == target ? 28 : 0;  // ENOSPC
    });
    EXPECT_THROW(store.Add(4000, "", "", day_), Exception);
    EXPECT_THROW(store.Remove("R000001"), Exception);
    SetFileStepHook(nullptr);
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(store.Size(), 1u);
    EXPECT_TRUE(store.Find("R000001"));
}

}  // namespace
}  // namespace tandrel::plan
