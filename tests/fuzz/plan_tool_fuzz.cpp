// The bar plan tool's parsing on any bytes: the first line is its arguments (split at blanks),
// the rest a list (its name's kind by the first argument's length) and a remnants file. Every
// refusal comes with its reason; what is taken holds what the parsers promise.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "plan/plan_input.h"
#include "plan/plan_tool.h"

using namespace tandrel::plan;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto newline = input.find('\n');
    const std::string_view line = input.substr(0, newline);
    const std::string rest(newline == std::string_view::npos ? "" : input.substr(newline + 1));
    std::vector<std::string> args;
    for (std::size_t pos = 0; pos < line.size();) {
        const auto end = std::min(line.find(' ', pos), line.size());
        if (end > pos) args.emplace_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    tool::TArguments parsed;
    const std::string why = tool::ParseArguments(args, parsed);
    if (why.empty()) {
        TANDREL_FUZZ_CHECK(!parsed.Stock.empty() && !parsed.List.empty());
        for (const auto& stock : parsed.Stock)
            TANDREL_FUZZ_CHECK(stock.Length > 0 && stock.Length <= kLongestBar &&
                               (stock.Count == kUnlimited || stock.Count > 0));
        TANDREL_FUZZ_CHECK(parsed.Cut.Kerf >= 0 && parsed.Cut.Head >= 0 &&
                           parsed.Cut.MinRemnant >= 0 && parsed.Cut.MaxPieces >= 0);
        std::vector<TStock> again;
        TANDREL_FUZZ_CHECK(ParseStock(FormatStock(parsed.Stock), again).empty() &&
                           again == parsed.Stock);
    }

    static const char* const kNames[] = {"list.txt", "list.csv", "list.xlsx"};
    std::vector<TPiece> pieces;
    std::vector<std::string> captions;
    const std::string refused =
        tool::ReadPieces(kNames[args.size() % 3], rest, "", pieces, captions);
    TANDREL_FUZZ_CHECK(refused.empty() ? !pieces.empty() && captions.size() == pieces.size()
                                       : pieces.empty());
    for (std::size_t i = 0; i < pieces.size(); ++i)
        TANDREL_FUZZ_CHECK(pieces[i].Row == static_cast<std::int32_t>(i + 1) &&
                           pieces[i].Length >= 0);

    std::vector<TRemnant> remnants;
    if (ParseRemnants(rest, remnants).empty()) {
        for (const auto& remnant : remnants)
            TANDREL_FUZZ_CHECK(!remnant.Id.empty() && remnant.Id.size() <= kLongestId &&
                               remnant.Length > 0 && remnant.Length <= kLongestBar);
    }
    return 0;
}
