// The bar plan against published sets and hard ones made here, one table line per set:
// instances at the best-known bar count, bars above it, plan minus the rounded-up LP bound per
// instance (in bars; in mm for several stock lengths), time per instance (median, worst), and
// first-fit decreasing beside it. Every plan has the default time limit of 10 s, which is wall
// time: on a loaded machine the CPU time beside it says what the search really had.
//
// The public sets (ESICUP 1D, Falkenauer u250 and t60, CC0) are read from
// TANDREL_CUTTING_DATA, else ../shared/data/cutting beside the repository; a set that is not
// there is said and left out. Smoke run (TANDREL_BENCH_SMOKE=1): two instances a set, 2 s each.
// TANDREL_PLAN_LIMIT_MS sets another time limit per plan.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "plan/plan.h"

namespace {

using namespace tandrel::plan;

struct TInstance {
    std::string Name;
    TProblem Problem;
    std::int64_t BestKnown = 0;  // bars; 0 when unknown
};

// OR-Library format: the count; then per problem its name, "capacity n best", n sizes.
std::vector<TInstance> ReadSet(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<TInstance> set;
    int count = 0;
    if (!(in >> count)) return set;
    for (int k = 0; k < count; ++k) {
        TInstance one;
        double capacity = 0;
        int n = 0;
        in >> one.Name >> capacity >> n >> one.BestKnown;
        one.Problem.Stock.push_back({ToTenths(capacity), kUnlimited, ""});
        for (int i = 0; i < n; ++i) {
            double size = 0;
            in >> size;
            one.Problem.Pieces.push_back({i + 1, ToTenths(size), ""});
        }
        if (!in) break;
        set.push_back(std::move(one));
    }
    return set;
}

// Bars filled exactly by k pieces each, every piece between 1/(k+1) and 1/(k-1) of the bar
// (so many lie just over a third or a quarter), shuffled: the LP bound is the optimum, and only
// a plan that finds every exact fill reaches it.
std::vector<TInstance> ExactFills(int k, int bars, int instances, unsigned seed) {
    std::vector<TInstance> set;
    std::mt19937 rng(seed);
    const TLength bar = 6000;  // whole millimetres, in tenths below
    const TLength low = bar / (k + 1) + 1, high = bar / (k - 1) - 1;
    std::uniform_int_distribution<TLength> size(low, high);
    for (int n = 0; n < instances; ++n) {
        TInstance one;
        one.Name = "fill" + std::to_string(k) + "_" + std::to_string(n);
        one.BestKnown = bars;
        one.Problem.Stock.push_back({bar * 10, kUnlimited, ""});
        std::vector<TLength> sizes;
        for (int b = 0; b < bars; ++b) {
            while (true) {
                std::vector<TLength> fill;
                TLength sum = 0;
                for (int i = 0; i + 1 < k; ++i) sum += fill.emplace_back(size(rng));
                const TLength last = bar - sum;
                if (last < low || last > high) continue;
                fill.push_back(last);
                sizes.insert(sizes.end(), fill.begin(), fill.end());
                break;
            }
        }
        std::shuffle(sizes.begin(), sizes.end(), rng);
        for (std::size_t i = 0; i < sizes.size(); ++i)
            one.Problem.Pieces.push_back({static_cast<std::int32_t>(i + 1), sizes[i] * 10, ""});
        set.push_back(std::move(one));
    }
    return set;
}

// A shop's list: 1000 pieces of 50 sizes, three stock lengths, kerf and head.
std::vector<TInstance> ShopList() {
    TInstance one;
    one.Name = "shop_1000";
    std::mt19937 rng(1502);
    std::uniform_int_distribution<TLength> size(2000, 25000);
    std::vector<TLength> sizes;
    for (int s = 0; s < 50; ++s) sizes.push_back(size(rng) / 5 * 5);
    for (int i = 0; i < 1000; ++i)
        one.Problem.Pieces.push_back({i + 1, sizes[static_cast<std::size_t>(i % 50)], ""});
    one.Problem.Stock = {{60000, kUnlimited, ""}, {40000, kUnlimited, ""}, {30000, kUnlimited, ""}};
    one.Problem.Cut = {40, 100, 5000, 0};
    return {one};
}

struct TRow {
    std::string Set;
    int Instances = 0, AtBest = 0, Known = 0, FirstFitAtBest = 0, Proven = 0;
    std::int64_t Above = 0, FirstFitAbove = 0;
    std::vector<std::int64_t> OverBound;  // plan - bound, in bars (or mm for several lengths)
    std::vector<double> Seconds, Cpu;
    std::int64_t WorseThanFirstFit = 0;
};

void Run(const std::string& name, std::vector<TInstance> set, std::size_t most,
         std::chrono::milliseconds limit, std::vector<TRow>& rows) {
    TRow row;
    row.Set = name;
    if (set.size() > most) set.resize(most);
    for (const auto& one : set) {
        TPlanOptions options;
        options.TimeLimit = limit;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpu = std::clock();
        const TPlan plan = MakePlan(one.Problem, options);
        row.Cpu.push_back(static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
        row.Seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        const bool oneLength = one.Problem.Stock.size() == 1;
        const TLength unit = oneLength ? one.Problem.Stock[0].Length : 10;
        const std::int64_t bars = plan.NewStock / unit;
        row.OverBound.push_back((plan.NewStock - plan.Bound) / unit);
        row.Proven += plan.Proven ? 1 : 0;
        row.WorseThanFirstFit += plan.NewStock > plan.FirstFit ? 1 : 0;
        if (one.BestKnown > 0) {
            ++row.Known;
            row.AtBest += bars <= one.BestKnown ? 1 : 0;
            row.Above += std::max<std::int64_t>(0, bars - one.BestKnown);
            const std::int64_t ffd = plan.FirstFit / unit;
            row.FirstFitAtBest += ffd <= one.BestKnown ? 1 : 0;
            row.FirstFitAbove += std::max<std::int64_t>(0, ffd - one.BestKnown);
        } else {
            row.FirstFitAbove += (plan.FirstFit - plan.NewStock) / unit;
        }
        ++row.Instances;
        std::printf("  %-14s new %9s bound %9s ffd %9s %s %.3f s (CPU %.3f s)\n", one.Name.c_str(),
                    FormatTenths(plan.NewStock).c_str(), FormatTenths(plan.Bound).c_str(),
                    FormatTenths(plan.FirstFit).c_str(), plan.Proven ? "optimal" : "       ",
                    row.Seconds.back(), row.Cpu.back());
        std::fflush(stdout);
    }
    rows.push_back(row);
}

std::string Join(const std::vector<std::int64_t>& values) {
    std::string text;
    for (const auto v : values) text += (text.empty() ? "" : " ") + std::to_string(v);
    return text;
}

}  // namespace

int main() {
    const bool smoke = std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
    const std::size_t most = smoke ? 2 : 1000;
    std::chrono::milliseconds limit(smoke ? 2000 : 10000);
    if (const char* env = std::getenv("TANDREL_PLAN_LIMIT_MS"))
        limit = std::chrono::milliseconds(std::atoll(env));
    std::filesystem::path data = TANDREL_CUTTING_DATA;
    if (const char* env = std::getenv("TANDREL_CUTTING_DATA")) data = env;
    std::vector<TRow> rows;
    for (const char* set : {"u250", "t60"}) {
        const auto file = data / ("falkenauer_" + std::string(set) + ".txt");
        auto instances = ReadSet(file);
        if (instances.empty()) {
            std::printf("%s: no instances in %s, left out\n", set, file.string().c_str());
            continue;
        }
        std::printf("%s\n", set);
        Run(set, std::move(instances), most, limit, rows);
    }
    std::printf("exact fills of 3\n");
    Run("fill3 (67 bars)", ExactFills(3, 67, 10, 3), most, limit, rows);
    std::printf("exact fills of 4\n");
    Run("fill4 (50 bars)", ExactFills(4, 50, 10, 4), most, limit, rows);
    std::printf("shop 1000\n");
    Run("shop 1000", ShopList(), most, limit, rows);

    std::printf(
        "\n| set | instances | at best known | bars above | plan - LP bound | proven | "
        "median s | worst s | CPU median s | CPU worst s | FFD at best | "
        "FFD bars above (or over plan) |\n");
    std::printf("|---|---:|---:|---:|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (auto& row : rows) {
        std::sort(row.Seconds.begin(), row.Seconds.end());
        std::sort(row.Cpu.begin(), row.Cpu.end());
        const double median = row.Seconds[row.Seconds.size() / 2];
        const auto known = [&](int v) { return row.Known ? std::to_string(v) : std::string("-"); };
        std::printf("| %s | %d | %s | %s | %s | %d | %.3f | %.3f | %.3f | %.3f | %s | %lld |\n",
                    row.Set.c_str(), row.Instances, known(row.AtBest).c_str(),
                    row.Known ? std::to_string(row.Above).c_str() : "-",
                    Join(row.OverBound).c_str(), row.Proven, median, row.Seconds.back(),
                    row.Cpu[row.Cpu.size() / 2], row.Cpu.back(), known(row.FirstFitAtBest).c_str(),
                    static_cast<long long>(row.FirstFitAbove));
    }
    return 0;
}
