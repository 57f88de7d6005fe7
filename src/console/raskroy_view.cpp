#include "console/raskroy_view.h"

#include <cstdio>
#include <map>
#include <tuple>

#include "base/cp1251.h"
#include "job/cut_list.h"

namespace tandrel::console {

TCutFields FieldsOf(const plan::TStationCut& cut) {
    const std::string file = plan::FormatCutFile(cut);
    TCutFields fields;
    // The file's own texts, so that the window and the file never differ in how they write.
    const std::pair<const char*, std::string*> keys[] = {{"stock=", &fields.Stock},
                                                         {"kerf=", &fields.Kerf},
                                                         {"head=", &fields.Head},
                                                         {"remnant=", &fields.Remnant},
                                                         {"pieces=", &fields.Pieces}};
    for (const auto& [key, field] : keys) {
        const auto at = file.find(key);
        const auto from = at + std::string_view(key).size();
        *field = file.substr(from, file.find('\r', from) - from);
    }
    return fields;
}

std::string ReadCutFields(const TCutFields& fields, plan::TStationCut& cut) {
    const std::tuple<const char*, const std::string*, std::string> keys[] = {
        {"stock", &fields.Stock, "Хлысты"_cp1251},
        {"kerf", &fields.Kerf, "Пропил"_cp1251},
        {"head", &fields.Head, "Торцовка"_cp1251},
        {"remnant", &fields.Remnant, "Мин. остаток"_cp1251},
        {"pieces", &fields.Pieces, "Деталей на хлыст"_cp1251}};
    plan::TStationCut read = cut;
    for (const auto& [key, value, caption] : keys) {
        if (auto why = plan::ParseCutSetting(key, *value, read); !why.empty())
            return caption + ": " + why;
    }
    cut = std::move(read);
    return "";
}

TListPieces PiecesOfRows(std::span<const job::SizeRow> rows) {
    TListPieces list;
    list.Pieces.reserve(rows.size());
    list.Captions.reserve(rows.size());
    for (std::size_t n = 0; n < rows.size(); ++n) {
        list.Pieces.push_back(
            {static_cast<std::int32_t>(n + 1), plan::ToTenths(rows[n].Size), rows[n].Material});
        list.Captions.push_back(job::GridCaption(rows[n]));
    }
    return list;
}

std::vector<TBarGroup> GroupBars(const plan::TProblem& problem, const plan::TPlan& plan) {
    using TKey = std::tuple<bool, plan::TLength, std::vector<plan::TLength>>;
    std::map<TKey, std::size_t> seen;
    std::vector<TBarGroup> groups;
    for (std::size_t n = 0; n < plan.Bars.size(); ++n) {
        const plan::TBar& bar = plan.Bars[n];
        TKey key{bar.Remnant >= 0, bar.Length, {}};
        for (const auto piece : bar.Pieces)
            std::get<2>(key).push_back(problem.Pieces[static_cast<std::size_t>(piece)].Length);
        const auto [at, added] = seen.try_emplace(std::move(key), groups.size());
        if (added) groups.push_back({n, 0, {}});
        TBarGroup& group = groups[at->second];
        ++group.Count;
        group.Bars.push_back(n);
    }
    return groups;
}

std::vector<TSegment> BarSegments(const plan::TProblem& problem, const plan::TBar& bar,
                                  plan::TLength scaleLength, int width) {
    std::vector<TSegment> segments;
    if (scaleLength <= 0 || width <= 0) return segments;
    plan::TLength at = 0;
    auto pixel = [&](plan::TLength length) {
        return static_cast<int>((length * width + scaleLength / 2) / scaleLength);
    };
    auto add = [&](TSegmentKind kind, plan::TLength length, std::int32_t piece = -1) {
        if (length <= 0) return;
        segments.push_back({kind, pixel(at), pixel(at + length), piece});
        at += length;
    };
    const plan::TCutSettings& cut = problem.Cut;
    if (bar.Remnant < 0) add(TSegmentKind::Head, cut.Head);
    for (const auto piece : bar.Pieces) {
        add(TSegmentKind::Piece, problem.Pieces[static_cast<std::size_t>(piece)].Length, piece);
        add(TSegmentKind::Kerf, cut.Kerf);
    }
    const bool kept = cut.MinRemnant > 0 && bar.Leftover >= cut.MinRemnant;
    add(kept ? TSegmentKind::Remnant : TSegmentKind::Waste, bar.Leftover);
    return segments;
}

std::string TotalsText(const plan::TProblem& problem, const plan::TPlan& plan) {
    plan::TLength pieces = 0;
    for (const auto& bar : plan.Bars)
        for (const auto piece : bar.Pieces)
            pieces += problem.Pieces[static_cast<std::size_t>(piece)].Length;
    const plan::TLength used = plan.NewStock + plan.RemnantsUsed;
    char yield[32] = "0";
    if (used > 0)
        std::snprintf(yield, sizeof yield, "%.1f",
                      static_cast<double>(pieces) * 100.0 / static_cast<double>(used));
    std::string percent(yield);
    if (const auto dot = percent.find('.'); dot != std::string::npos) percent[dot] = ',';
    std::string text = "Хлыстов: "_cp1251 + std::to_string(plan.Bars.size()) +
                       " · израсходовано "_cp1251 + plan::FormatTenths(used) +
                       " мм · отходы "_cp1251 + plan::FormatTenths(plan.Waste) +
                       " мм · выход "_cp1251 + percent + " %";
    if (plan.Kept > 0)
        text += " · в остаток "_cp1251 + std::to_string(plan.Kept) + " (" +
                plan::FormatTenths(plan.KeptLength) + " мм)"_cp1251;
    if (!plan.Unplaced.empty())
        text += " · не хватило хлыстов для "_cp1251 + std::to_string(plan.Unplaced.size()) +
                " дет."_cp1251;
    return text;
}

std::string ProofText(const plan::TPlan& plan) {
    if (plan.Proven) return "план оптимален"_cp1251;
    return "не более "_cp1251 + plan::FormatTenths(plan.NewStock - plan.Bound) +
           " мм сверх нижней границы"_cp1251;
}

}  // namespace tandrel::console
