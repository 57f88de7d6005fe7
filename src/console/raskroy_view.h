#pragma once
// The "Раскрой" window's logic: its fields read into the station's stock and cut settings, the
// list in work as pieces, and a plan as the picture shows it (bars of one pattern together, each
// bar's segments in pixels, the totals and how good the plan is). Texts are Windows-1251. Plain
// logic; any thread; keeps no state.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "job/job_state.h"
#include "plan/cut_file.h"
#include "plan/plan.h"

namespace tandrel::console {

// The settings as the window's fields show them.
struct TCutFields {
    std::string Stock;  // "6000x20,3000": a count after "x", none for unlimited
    std::string Kerf, Head, Remnant, Pieces;
    bool operator==(const TCutFields&) const = default;
};

TCutFields FieldsOf(const plan::TStationCut& cut);
// The settings the fields give: "" and cut set, or the first field's reason ("Пропил: ...") and
// cut unchanged.
std::string ReadCutFields(const TCutFields& fields, plan::TStationCut& cut);

// The list's rows (1..n, as the job holds them) as pieces, one a row, and their grid captions.
struct TListPieces {
    std::vector<plan::TPiece> Pieces;
    std::vector<std::string> Captions;  // by piece
};
TListPieces PiecesOfRows(std::span<const job::SizeRow> rows);

// Bars of one pattern (kind, length and piece lengths in cut order) drawn once.
struct TBarGroup {
    std::size_t First = 0;  // index into the plan's bars
    std::int32_t Count = 0;
    std::vector<std::size_t> Bars;  // every bar of the group, First among them
};
std::vector<TBarGroup> GroupBars(const plan::TProblem& problem, const plan::TPlan& plan);

enum class TSegmentKind { Head, Piece, Kerf, Remnant, Waste };
struct TSegment {
    TSegmentKind Kind = TSegmentKind::Piece;
    int X0 = 0, X1 = 0;       // pixels from the strip's left end, X1 excluded
    std::int32_t Piece = -1;  // index into the problem's pieces for a piece
    bool operator==(const TSegment&) const = default;
};
// The bar's segments in cut order, to the scale where scaleLength spans width pixels: head trim
// (a new bar's), then each piece and its kerf, then the leftover (a remnant when it is kept).
// Ends are rounded from the lengths summed, so the strip never drifts from its bar's length.
std::vector<TSegment> BarSegments(const plan::TProblem& problem, const plan::TBar& bar,
                                  plan::TLength scaleLength, int width);

// "Хлыстов: 12 · израсходовано 72000 мм · отходы 1234 мм · выход 97,8 %", with the pieces the
// stock could not hold and the remnants kept when there are any.
std::string TotalsText(const plan::TProblem& problem, const plan::TPlan& plan);
// "план оптимален", or how far above its bound the plan may be.
std::string ProofText(const plan::TPlan& plan);

}  // namespace tandrel::console
