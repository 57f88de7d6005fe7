#include "sim/label_collector.h"

#include <gtest/gtest.h>

namespace tandrel::sim {
namespace {

TEST(LabelCollector, SplitsLabelsAcrossChunks) {
    struct Case {
        std::vector<std::string> chunks;
        std::vector<std::string> labels;
    } cases[] = {
        {{"^XA^FDx^FS^XZ"}, {"^XA^FDx^FS^XZ"}},
        {{"noise^XA1^XZ\r\n^XA2^XZ"}, {"^XA1^XZ", "^XA2^XZ"}},
        {{"^", "X", "A", "body^", "X", "Z"}, {"^XAbody^XZ"}},
        {{"^xa lower ^xz"}, {"^xa lower ^xz"}},
        {{"^XA open"}, {}},
        {{"^XZ^XA", "^XA^XZ"}, {"^XA^XA^XZ"}},  // a stray end, then a nested start
        {{"\xC0\xE1^XA\xD2\xE5\xF1\xF2^XZ"}, {"^XA\xD2\xE5\xF1\xF2^XZ"}},
    };
    for (const auto& c : cases) {
        LabelCollector collector;
        std::vector<std::string> got;
        for (const auto& chunk : c.chunks)
            for (auto& label : collector.Feed(chunk)) got.push_back(label);
        EXPECT_EQ(got, c.labels) << c.chunks.front();
    }
}

TEST(LabelCollector, DiscardsAnOverlongLabelAndRecovers) {
    LabelCollector collector(16);
    EXPECT_TRUE(collector.Feed("^XA" + std::string(100, 'x')).empty());
    EXPECT_EQ(collector.Discarded(), 1u);
    EXPECT_FALSE(collector.InsideLabel());
    EXPECT_EQ(collector.Feed("^XAok^XZ"), std::vector<std::string>{"^XAok^XZ"});
}

}  // namespace
}  // namespace tandrel::sim
