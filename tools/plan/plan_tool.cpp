#include "plan/plan_tool.h"

#include <map>
#include <stdexcept>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"
#include "job/column_maps.h"
#include "job/crc32.h"
#include "job/cut_list.h"
#include "plan/plan_file.h"
#include "plan/plan_input.h"
#include "plan/remnant_store.h"

namespace tandrel::plan::tool {
namespace {

std::filesystem::path Utf8Path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A length for a person: a comma before the tenths, as Russian writes it.
std::string Millimetres(TLength tenths) {
    std::string text = FormatTenths(tenths);
    if (const auto dot = text.find('.'); dot != std::string::npos) text[dot] = ',';
    return text;
}

// "2 хлыста", "5 деталей": the noun's form for the number.
std::string Counted(std::int64_t n, const char* one, const char* few, const char* many) {
    const auto tens = n % 100, units = n % 10;
    const char* form = (tens >= 11 && tens <= 14)   ? many
                       : units == 1                 ? one
                       : (units >= 2 && units <= 4) ? few
                                                    : many;
    return std::to_string(n) + " " + form;
}

// The station's own ostatki.dat, materials and all, or "id;length" lines. Returns "" or why the
// file is refused; lines of a store the station would skip are skipped, and said in notice.
std::string ReadRemnants(const std::filesystem::path& file, std::string bytes,
                         std::vector<TRemnant>& remnants, std::string& notice) {
    TRemnantStore store(file);
    const std::string skipped = store.Load();
    if (store.Size() == 0) return ParseRemnants(std::move(bytes), remnants);
    notice = skipped;
    remnants = store.ForPlan();
    return "";
}

}  // namespace

std::string ParseArguments(const std::vector<std::string>& args, TArguments& out) {
    TArguments parsed;
    bool stock = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--csv") {
            parsed.Csv = true;
            continue;
        }
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (!parsed.List.empty()) return "лишний аргумент: " + arg;
            parsed.List = arg;
            continue;
        }
        if (i + 1 >= args.size()) return "у " + arg + " нет значения";
        const std::string value = Utf8ToCp1251(args[++i]);
        std::string why;
        std::int64_t number = 0;
        if (arg == "--stock") {
            why = ParseStock(value, parsed.Stock);
            stock = true;
        } else if (arg == "--remnants") {
            parsed.RemnantsFile = args[i];
        } else if (arg == "--save") {
            parsed.Save = args[i];
        } else if (arg == "--kerf" || arg == "--head" || arg == "--min-remnant") {
            why = ParseDecimal(value, 10, kLongestBar, number);
            (arg == "--kerf"   ? parsed.Cut.Kerf
             : arg == "--head" ? parsed.Cut.Head
                               : parsed.Cut.MinRemnant) = number;
        } else if (arg == "--max-pieces") {
            why = value.find_first_of(".,") == std::string::npos
                      ? ParseDecimal(value, 1, 100000, number)
                      : "\"" + Cp1251ToUtf8(value) + "\" - не целое число";
            parsed.Cut.MaxPieces = static_cast<std::int32_t>(number);
        } else if (arg == "--time-limit") {
            why = ParseDecimal(value, 1000, 24 * 3600 * 1000, number);
            parsed.TimeLimitMs = number;
        } else {
            return "неизвестный параметр " + arg;
        }
        if (!why.empty()) return arg + ": " + Cp1251ToUtf8(why);
    }
    if (!stock) return "не заданы хлысты (--stock)";
    if (parsed.List.empty()) return "не задан список";
    out = std::move(parsed);
    return "";
}

std::string ReadPieces(const std::string& listName, std::string bytes, const std::string& maps,
                       std::vector<TPiece>& pieces, std::vector<std::string>& captions) {
    const job::TColumnMaps kept = job::TColumnMaps::Parse(maps);
    std::vector<job::SizeRow> staged(1);
    const std::string name = Utf8ToCp1251(listName);
    const std::string why = job::StageList(name, std::move(bytes), staged, &kept).Failure;
    if (!why.empty()) return Cp1251ToUtf8(why);
    if (staged.size() < 2) return "в списке нет ни одной строки с размером";
    pieces.clear();
    captions.clear();
    for (std::size_t row = 1; row < staged.size(); ++row) {
        pieces.push_back(
            {static_cast<std::int32_t>(row), ToTenths(staged[row].Size), staged[row].Material});
        captions.push_back(Cp1251ToUtf8(job::GridCaption(staged[row])));
    }
    return "";
}

std::string PlanCsv(const TProblem& problem, const TPlan& plan) {
    std::string csv;
    for (std::size_t n = 0; n < plan.Bars.size(); ++n) {
        const TBar& bar = plan.Bars[n];
        csv += std::to_string(n + 1) + ";" + FormatTenths(bar.Length) + ";";
        csv +=
            bar.Remnant >= 0 ? problem.Remnants[static_cast<std::size_t>(bar.Remnant)].Id : "new";
        csv += ";";
        for (std::size_t p = 0; p < bar.Pieces.size(); ++p)
            csv += (p ? " " : "") +
                   FormatTenths(problem.Pieces[static_cast<std::size_t>(bar.Pieces[p])].Length);
        csv += ";" + FormatTenths(bar.Leftover) + "\n";
    }
    csv += "итого;" + std::to_string(plan.Bars.size()) + ";" + FormatTenths(plan.NewStock) + ";" +
           FormatTenths(plan.Bound) + ";" + FormatTenths(plan.Waste) + ";" +
           (plan.NewStock == plan.Bound ? "да" : "нет") + "\n";
    return csv;
}

std::string PlanText(const TProblem& problem, const TPlan& plan,
                     const std::vector<std::string>& captions) {
    const auto& cut = problem.Cut;
    std::string text;
    const auto bars = plan.Bars.size();
    for (std::size_t n = 0; n < bars; ++n) {
        const TBar& bar = plan.Bars[n];
        text += "Хлыст " + std::to_string(n + 1) + " из " + std::to_string(bars) + ": " +
                Millimetres(bar.Length) + " мм, ";
        text += bar.Remnant >= 0
                    ? "остаток " + problem.Remnants[static_cast<std::size_t>(bar.Remnant)].Id
                    : std::string("новый");
        text += "\n";
        if (bar.Remnant < 0 && cut.Head > 0) text += "   торец " + Millimetres(cut.Head) + " мм\n";
        for (std::size_t p = 0; p < bar.Pieces.size(); ++p) {
            const TPiece& piece = problem.Pieces[static_cast<std::size_t>(bar.Pieces[p])];
            const std::string& caption = captions[static_cast<std::size_t>(piece.Row - 1)];
            text += "   " + std::to_string(p + 1) + ". " + Millimetres(piece.Length) + " мм  " +
                    (caption.empty() ? "" : caption + "  ") + "(строка " +
                    std::to_string(piece.Row) + ")\n";
        }
        const bool kept = cut.MinRemnant > 0 && bar.Leftover >= cut.MinRemnant;
        text += "   остаток " + Millimetres(bar.Leftover) + " мм" +
                (kept ? " - в запас\n" : " - отход\n");
    }
    text += "\nИтого: " + Counted(static_cast<std::int64_t>(bars), "хлыст", "хлыста", "хлыстов") +
            ", новых " + Millimetres(plan.NewStock) + " мм";
    if (plan.RemnantsUsed > 0) text += ", из запаса " + Millimetres(plan.RemnantsUsed) + " мм";
    text += ", отход " + Millimetres(plan.Waste) + " мм";
    if (plan.Kept > 0)
        text += ", в запас " + Counted(plan.Kept, "остаток", "остатка", "остатков") + " (" +
                Millimetres(plan.KeptLength) + " мм)";
    text += ".\nНижняя граница: " + Millimetres(plan.Bound) + " мм. ";
    text += plan.NewStock == plan.Bound ? std::string("План оптимален.\n")
                                        : "Не более " + Millimetres(plan.NewStock - plan.Bound) +
                                              " мм сверх нижней границы.\n";
    text +=
        "Для сравнения, первый подходящий по убыванию: " + Millimetres(plan.FirstFit) + " мм.\n";
    return text;
}

int Run(const std::vector<std::string>& args, const std::filesystem::path& programDir,
        std::string& out, std::string& err) {
    TArguments a;
    if (auto why = ParseArguments(args, a); !why.empty()) {
        err = "tandrel-plan: " + why + "\n";
        return kRefused;
    }
    TProblem problem;
    problem.Stock = a.Stock;
    problem.Cut = a.Cut;
    if (!a.RemnantsFile.empty()) {
        auto bytes = ReadWholeFile(Utf8Path(a.RemnantsFile));
        if (!bytes) {
            err = "tandrel-plan: не удалось прочитать файл остатков " + a.RemnantsFile + "\n";
            return kRefused;
        }
        std::string notice;
        if (auto why =
                ReadRemnants(Utf8Path(a.RemnantsFile), std::move(*bytes), problem.Remnants, notice);
            !why.empty()) {
            err = "tandrel-plan: " + Cp1251ToUtf8(why) + "\n";
            return kRefused;
        }
        if (!notice.empty()) err += "tandrel-plan: " + Cp1251ToUtf8(notice) + "\n";
    }
    auto list = ReadWholeFile(Utf8Path(a.List));
    if (!list) {
        err = "tandrel-plan: не удалось прочитать список " + a.List + "\n";
        return kRefused;
    }
    const std::string maps = ReadWholeFile(job::ColumnMapsPath(programDir)).value_or("");
    const std::uint32_t crc = job::BytesCrc32(*list).Crc;
    std::vector<std::string> captions;
    if (auto why = ReadPieces(a.List, std::move(*list), maps, problem.Pieces, captions);
        !why.empty()) {
        err = "tandrel-plan: список " + a.List + " не принят: " + why + "\n";
        return kRefused;
    }
    if (auto why = CheckProblem(problem); !why.empty()) {
        err = "tandrel-plan: " + Cp1251ToUtf8(why) + "\n";
        return kRefused;
    }
    TPlanOptions options;
    options.TimeLimit = std::chrono::milliseconds(a.TimeLimitMs);
    const TPlan plan = MakePlan(problem, options);
    if (!plan.Unplaced.empty()) {
        err = "не хватает хлыстов: не размещено " + std::to_string(plan.Unplaced.size()) +
              " деталей\n";
        return kShort;
    }
    if (!a.Save.empty()) {
        // Every row of a list is one piece, in row order.
        std::vector<TLength> sizes;
        for (const TPiece& piece : problem.Pieces) sizes.push_back(piece.Length);
        try {
            WritePlanFile(Utf8Path(a.Save), SavedPlan(problem, plan, crc, std::move(sizes)));
        } catch (const Exception& e) {
            err = "tandrel-plan: план не сохранён в " + a.Save + ": " + Cp1251ToUtf8(e.Message()) +
                  "\n";
            return kRefused;
        }
    }
    out = a.Csv ? PlanCsv(problem, plan) : PlanText(problem, plan, captions);
    return kPlanned;
}

}  // namespace tandrel::plan::tool
