#pragma once
// A list's saved bar plan, "<list name>.plan" beside its progress file: Windows-1251 "key=value"
// lines with CR LF ends, written whole. The plan's progress is the progress file's rows.
//   plan=1                    the format
//   crc=3735928559            the list file's CRC-32, as its progress file begins
//   rows=5                    the list's pieces, then each piece's size by list row
//   size=1;2450
//   stock=6000,3000x5         the stock and cut settings the plan was made with (raskroy.dat's
//   kerf=4 head=10 remnant=500 pieces=0                                                   lines)
//   bar=6000;1240;3,1,2       a bar: its length; its leftover; its pieces' list rows in cut order
//   bar=2400;100;4;R12        a store's remnant: the same, then its id
//   unplaced=5                pieces the plan found no stock for
//   settled=1,3               bars whose leftover went to the store or the journal (by number)
//   flawed=2                  bars found flawed: their pieces not cut went to other bars; the
//                             leftover is then the length left uncut
//   end
// Any thread; no state.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "job/work_order.h"
#include "plan/cut_file.h"
#include "plan/plan.h"

namespace tandrel::job {
struct TJobState;
}

namespace tandrel::plan {

struct TPlanBar {
    TLength Length = 0;
    TLength Leftover = 0;
    std::string RemnantId;           // a store's remnant; "" for a new bar
    std::vector<std::int32_t> Rows;  // list rows in cut order
    bool operator==(const TPlanBar&) const = default;
};

struct TPlanFile {
    std::uint32_t Crc = 0;
    std::vector<TLength> Sizes;  // Sizes[r - 1] is list row r's
    TStationCut Cut;
    std::vector<TPlanBar> Bars;
    std::vector<std::int32_t> Unplaced;     // list rows
    std::vector<std::int32_t> Settled;      // bar numbers (1-based) whose leftover is recorded
    std::vector<std::int32_t> Flawed;       // bar numbers (1-based) found flawed
    bool IsSettled(std::size_t bar) const;  // by index
    bool IsFlawed(std::size_t bar) const;
    bool operator==(const TPlanFile&) const = default;
};

// The list's sizes as a plan keeps them.
std::vector<TLength> ListSizes(const job::TJobState& state);

// The plan of problem as saved for the list (crc, sizes). The pieces' Row fields name list rows.
TPlanFile SavedPlan(const TProblem& problem, const TPlan& plan, std::uint32_t crc,
                    std::vector<TLength> sizes);

std::string FormatPlanFile(const TPlanFile& plan);
// "" or why the text is no whole plan (Windows-1251); plan is then unspecified.
std::string ParsePlanFile(std::string_view bytes, TPlanFile& plan);

// The plan file of a list whose progress file is progressFile: the same name, ".plan".
std::filesystem::path PlanFilePath(const std::filesystem::path& progressFile);

struct TPlanRead {
    bool Found = false;   // the file exists
    std::string Problem;  // found, but no plan: why
};
TPlanRead ReadPlanFile(const std::filesystem::path& path, TPlanFile& plan);
// Replaces the file whole (never half-written). Raises tandrel::Exception.
void WritePlanFile(const std::filesystem::path& path, const TPlanFile& plan);

// Why the plan no longer fits the list as loaded now and the station's settings; "" when it
// does. Russian, Windows-1251.
std::string StaleReason(const TPlanFile& plan, std::uint32_t crc, const std::vector<TLength>& sizes,
                        const TStationCut& cut);

// The grid of the plan: a heading per bar ("Хлыст 3 из 41 · 6000 · остаток 1240") over its
// pieces in cut order, then the pieces the plan did not place and the list's rows it does not
// hold that are not done yet, under a heading of their own.
std::vector<job::TGridLine> PlanGridLines(const TPlanFile& plan, const job::TJobState& state);

}  // namespace tandrel::plan
