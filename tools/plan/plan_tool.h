#pragma once
// tandrel-plan: plans a list's pieces into stock bars from the command line.
//
//   tandrel-plan --stock 6000x20,3000 [--remnants FILE] [--kerf MM] [--head MM]
//                [--min-remnant MM] [--max-pieces N] [--time-limit S] [--csv] [--save FILE] LIST
//
// --remnants takes the station's store, ostatki.dat, each remnant with its material (lines the
// station would skip are skipped and said on standard error), or a file of "id;length" lines.
// A list's "Материал" column gives its pieces their material, as at the station.
// --save writes the plan as the station saves one ("<list name>.plan" where the station keeps the
// list's progress file): loading the list there offers to work by it, as long as the list and
// the station's raskroy.dat still hold what the plan was made with.
// The list is read as the program reads it (any list it loads; a table's header it cannot map
// takes the map kept for it in maps.dat beside the tool). Exit 0 with a plan on standard output;
// 2 with the reason on standard error for a list or an option it cannot take; 3 when the
// counted stock cannot hold every piece. Texts in and out are UTF-8.

#include <filesystem>
#include <string>
#include <vector>

#include "plan/plan.h"

namespace tandrel::plan::tool {

inline constexpr int kPlanned = 0;
inline constexpr int kRefused = 2;
inline constexpr int kShort = 3;

struct TArguments {
    std::vector<TStock> Stock;
    std::string RemnantsFile;  // UTF-8, "" for none
    TCutSettings Cut;
    std::int64_t TimeLimitMs = 10000;
    bool Csv = false;
    std::string Save;  // UTF-8, "" for none
    std::string List;  // UTF-8
};

// The options after the program's name. Returns "" or why they are refused (UTF-8).
std::string ParseArguments(const std::vector<std::string>& args, TArguments& out);

// A list's pieces and their captions (UTF-8) from its name and bytes, as the program stages
// them; maps: the kept column maps' file bytes (empty when there is none). Returns "" or why
// the list is refused (UTF-8).
std::string ReadPieces(const std::string& listName, std::string bytes, const std::string& maps,
                       std::vector<TPiece>& pieces, std::vector<std::string>& captions);

// The plan as CSV: a line per bar in cut order, then the total line; UTF-8, LF.
std::string PlanCsv(const TProblem& problem, const TPlan& plan);
// The plan for a person, in Russian.
std::string PlanText(const TProblem& problem, const TPlan& plan,
                     const std::vector<std::string>& captions);

// The whole tool: arguments, files, plan, output. programDir: where maps.dat is looked for.
int Run(const std::vector<std::string>& args, const std::filesystem::path& programDir,
        std::string& out, std::string& err);

}  // namespace tandrel::plan::tool
