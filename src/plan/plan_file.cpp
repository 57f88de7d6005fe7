#include "plan/plan_file.h"

#include <algorithm>
#include <set>

#include "base/cp1251.h"
#include "base/files.h"
#include "job/job_state.h"
#include "plan/plan_input.h"

namespace tandrel::plan {
namespace {

// A list's sizes are not bars: any length the list may hold.
constexpr TLength kLongestSize = 1'000'000'000'000;
// No plan holds more bars than a list holds pieces.
constexpr std::int32_t kMaxBars = job::kRowCapacity;

std::vector<std::string_view> Split(std::string_view text, char at) {
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    for (;;) {
        const auto end = text.find(at, pos);
        parts.push_back(text.substr(pos, end == std::string_view::npos ? end : end - pos));
        if (end == std::string_view::npos) return parts;
        pos = end + 1;
    }
}

// Digits only, at most most.
bool ParseWhole(std::string_view text, std::int64_t most, std::int64_t& value) {
    if (text.empty() || text.size() > 13) return false;
    std::int64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > most) return false;
    value = v;
    return true;
}

std::string JoinRows(const std::vector<std::int32_t>& rows) {
    std::string text;
    for (std::size_t i = 0; i < rows.size(); ++i) text += (i ? "," : "") + std::to_string(rows[i]);
    return text;
}

// Each list row of the plan's bars and unplaced pieces, once, within the list.
std::string ParseRows(std::string_view text, std::int32_t rowCount, std::set<std::int32_t>& seen,
                      std::vector<std::int32_t>& rows) {
    if (text.empty()) return "";
    for (const std::string_view part : Split(text, ',')) {
        std::int64_t row = 0;
        if (!ParseWhole(part, rowCount, row) || row < 1)
            return "нет строки списка \""_cp1251 + std::string(part) + "\"";
        if (!seen.insert(static_cast<std::int32_t>(row)).second)
            return "строка "_cp1251 + std::string(part) + " в плане дважды"_cp1251;
        rows.push_back(static_cast<std::int32_t>(row));
    }
    return "";
}

std::string ParseLength(std::string_view text, std::int64_t most, TLength& length) {
    return ParseDecimal(text, 10, most, length);
}

std::string_view Key(std::string_view line, std::string_view& value) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
        value = {};
        return line;
    }
    value = line.substr(equals + 1);
    return line.substr(0, equals);
}

bool NamesBar(const std::vector<std::int32_t>& numbers, std::size_t bar) {
    return std::find(numbers.begin(), numbers.end(), static_cast<std::int32_t>(bar + 1)) !=
           numbers.end();
}

}  // namespace

bool TPlanFile::IsSettled(std::size_t bar) const {
    return NamesBar(Settled, bar);
}

bool TPlanFile::IsFlawed(std::size_t bar) const {
    return NamesBar(Flawed, bar);
}

std::vector<TLength> ListSizes(const job::TJobState& state) {
    std::vector<TLength> sizes;
    sizes.reserve(static_cast<std::size_t>(state.RowCount));
    for (std::int32_t r = 1; r <= state.RowCount; ++r)
        sizes.push_back(ToTenths(state.Rows[static_cast<std::size_t>(r)].Size));
    return sizes;
}

TPlanFile SavedPlan(const TProblem& problem, const TPlan& plan, std::uint32_t crc,
                    std::vector<TLength> sizes) {
    TPlanFile saved;
    saved.Crc = crc;
    saved.Sizes = std::move(sizes);
    saved.Cut = {problem.Stock, problem.Cut};
    auto row = [&problem](std::int32_t piece) {
        return problem.Pieces.at(static_cast<std::size_t>(piece)).Row;
    };
    for (const TBar& bar : plan.Bars) {
        TPlanBar& out = saved.Bars.emplace_back();
        out.Length = bar.Length;
        out.Leftover = bar.Leftover;
        if (bar.Remnant >= 0) out.RemnantId = problem.Remnants.at(bar.Remnant).Id;
        for (const std::int32_t piece : bar.Pieces) out.Rows.push_back(row(piece));
    }
    for (const std::int32_t piece : plan.Unplaced) saved.Unplaced.push_back(row(piece));
    return saved;
}

std::string FormatPlanFile(const TPlanFile& plan) {
    std::string text = "plan=1\r\ncrc=" + std::to_string(plan.Crc) +
                       "\r\nrows=" + std::to_string(plan.Sizes.size()) + "\r\n";
    for (std::size_t i = 0; i < plan.Sizes.size(); ++i)
        text += "size=" + std::to_string(i + 1) + ";" + FormatTenths(plan.Sizes[i]) + "\r\n";
    text += FormatCutFile(plan.Cut);
    for (const TPlanBar& bar : plan.Bars) {
        text += "bar=" + FormatTenths(bar.Length) + ";" + FormatTenths(bar.Leftover) + ";" +
                JoinRows(bar.Rows);
        if (!bar.RemnantId.empty()) text += ";" + bar.RemnantId;
        text += "\r\n";
    }
    if (!plan.Unplaced.empty()) text += "unplaced=" + JoinRows(plan.Unplaced) + "\r\n";
    if (!plan.Settled.empty()) text += "settled=" + JoinRows(plan.Settled) + "\r\n";
    if (!plan.Flawed.empty()) text += "flawed=" + JoinRows(plan.Flawed) + "\r\n";
    return text + "end\r\n";
}

std::string ParsePlanFile(std::string_view bytes, TPlanFile& plan) {
    plan = {};
    plan.Cut.Stock.clear();
    std::vector<std::string_view> lines = Split(bytes, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    for (std::string_view& line : lines)
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (lines.empty() || lines.front() != "plan=1") return "это не файл плана"_cp1251;
    if (lines.back() != "end") return "файл обрывается"_cp1251;

    std::int64_t rows = -1;
    std::string settings;
    std::set<std::int32_t> seen;
    bool sawCrc = false;
    for (std::size_t n = 1; n + 1 < lines.size(); ++n) {
        std::string_view value;
        const std::string_view key = Key(lines[n], value);
        const std::string where = "строка "_cp1251 + std::to_string(n + 1) + ": ";
        std::int64_t number = 0;
        if (key == "crc") {
            if (!ParseWhole(value, 0xFFFFFFFF, number)) return where + "неверная сумма"_cp1251;
            plan.Crc = static_cast<std::uint32_t>(number);
            sawCrc = true;
        } else if (key == "rows") {
            if (rows >= 0 || !ParseWhole(value, job::kRowCapacity, rows))
                return where + "неверное число деталей"_cp1251;
        } else if (key == "size") {
            const std::vector<std::string_view> f = Split(value, ';');
            TLength length = 0;
            if (f.size() != 2 || !ParseWhole(f[0], rows, number) ||
                number != static_cast<std::int64_t>(plan.Sizes.size()) + 1 ||
                !ParseLength(f[1], kLongestSize, length).empty())
                return where + "неверный размер детали"_cp1251;
            plan.Sizes.push_back(length);
        } else if (key == "stock" || key == "kerf" || key == "head" || key == "remnant" ||
                   key == "pieces") {
            settings += std::string(lines[n]) + "\n";
        } else if (key == "bar") {
            const std::vector<std::string_view> f = Split(value, ';');
            TPlanBar bar;
            if (f.size() < 3 || f.size() > 4 || rows < 0 ||
                !ParseLength(f[0], kLongestBar, bar.Length).empty() || bar.Length <= 0 ||
                !ParseLength(f[1], kLongestBar, bar.Leftover).empty() || bar.Leftover > bar.Length)
                return where + "неверный хлыст"_cp1251;
            if (auto why = ParseRows(f[2], static_cast<std::int32_t>(rows), seen, bar.Rows);
                !why.empty())
                return where + why;
            if (f.size() == 4) {
                if (f[3].empty() || f[3].size() > kLongestId)
                    return where + "неверный остаток"_cp1251;
                bar.RemnantId = std::string(f[3]);
            }
            plan.Bars.push_back(std::move(bar));
        } else if (key == "unplaced") {
            if (rows < 0) return where + "нет числа деталей"_cp1251;
            if (auto why = ParseRows(value, static_cast<std::int32_t>(rows), seen, plan.Unplaced);
                !why.empty())
                return where + why;
        } else if (key == "settled" || key == "flawed") {
            std::set<std::int32_t> bars;
            if (auto why =
                    ParseRows(value, kMaxBars, bars, key == "settled" ? plan.Settled : plan.Flawed);
                !why.empty())
                return where + "неверный хлыст"_cp1251;
        } else {
            return where + "неизвестная строка"_cp1251;
        }
    }
    if (!sawCrc || rows < 0 || static_cast<std::int64_t>(plan.Sizes.size()) != rows)
        return "файл неполный"_cp1251;
    for (const auto* bars : {&plan.Settled, &plan.Flawed})
        for (const std::int32_t bar : *bars)
            if (static_cast<std::size_t>(bar) > plan.Bars.size()) return "неверный хлыст"_cp1251;
    if (auto why = ParseCutFile(settings, plan.Cut); !why.empty()) return why;
    if (plan.Cut.Stock.empty()) return "нет заготовок"_cp1251;
    return "";
}

std::filesystem::path PlanFilePath(const std::filesystem::path& progressFile) {
    std::filesystem::path path = progressFile;
    return path.replace_extension(".plan");
}

TPlanRead ReadPlanFile(const std::filesystem::path& path, TPlanFile& plan) {
    TPlanRead read;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return read;
    read.Found = true;
    const std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes)
        read.Problem = "не удалось прочитать"_cp1251;
    else
        read.Problem = ParsePlanFile(*bytes, plan);
    return read;
}

void WritePlanFile(const std::filesystem::path& path, const TPlanFile& plan) {
    WriteFileAtomic(path, FormatPlanFile(plan));
}

std::string StaleReason(const TPlanFile& plan, std::uint32_t crc, const std::vector<TLength>& sizes,
                        const TStationCut& cut) {
    if (plan.Crc != crc) return "список изменён"_cp1251;
    if (plan.Sizes != sizes) return "размеры деталей другие"_cp1251;
    if (plan.Cut != cut) return "настройки раскроя изменены"_cp1251;
    return "";
}

std::vector<job::TGridLine> PlanGridLines(const TPlanFile& plan, const job::TJobState& state) {
    std::vector<job::TGridLine> lines;
    const std::string dot = " · "_cp1251;
    const std::size_t total = plan.Bars.size();
    std::vector<bool> placed(static_cast<std::size_t>(state.RowCount) + 1, false);
    for (std::size_t b = 0; b < total; ++b) {
        const TPlanBar& bar = plan.Bars[b];
        std::string length = FormatTenths(bar.Length);
        if (!bar.RemnantId.empty()) length += " " + bar.RemnantId;
        lines.push_back(
            {0, "Хлыст "_cp1251 + std::to_string(b + 1) + " из "_cp1251 + std::to_string(total) +
                    dot + length + dot +
                    (plan.IsFlawed(b) ? "с дефектом"_cp1251
                                      : "остаток "_cp1251 + FormatTenths(bar.Leftover))});
        for (const std::int32_t row : bar.Rows) {
            lines.push_back({row, {}});
            if (row >= 1 && row <= state.RowCount) placed[static_cast<std::size_t>(row)] = true;
        }
    }
    // Pieces with no bar are still the list's: the operator cuts them from what is at hand.
    std::vector<std::int32_t> rest = plan.Unplaced;
    for (const std::int32_t row : rest)
        if (row >= 1 && row <= state.RowCount) placed[static_cast<std::size_t>(row)] = true;
    for (std::int32_t r = 1; r <= state.RowCount; ++r)
        if (!placed[static_cast<std::size_t>(r)] && !state.Rows[static_cast<std::size_t>(r)].Done)
            rest.push_back(r);
    if (!rest.empty()) {
        lines.push_back({0, "Не размещено в плане: "_cp1251 + std::to_string(rest.size())});
        for (const std::int32_t row : rest) lines.push_back({row, {}});
    }
    return lines;
}

}  // namespace tandrel::plan
