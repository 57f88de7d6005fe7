#include "plan/remnant_store.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"
#include "plan/plan_input.h"

namespace tandrel::plan {
namespace {

constexpr std::uint32_t kLastNumber = 999999;
constexpr std::size_t kFields = 5;

std::string IdOf(std::uint32_t number) {
    char id[16];
    std::snprintf(id, sizeof id, "R%06u", static_cast<unsigned>(number));
    return id;
}

// The number of an "R" id, else 0.
std::uint32_t NumberOf(std::string_view id) {
    if (!IsRemnantId(id)) return 0;
    std::uint32_t n = 0;
    for (const char c : id.substr(1)) n = n * 10 + static_cast<std::uint32_t>(c - '0');
    return n;
}

// Ids the plan and a barcode can carry: printable ASCII, no blank or ";".
bool UsableId(std::string_view id) {
    if (id.empty() || id.size() > kLongestId) return false;
    return std::all_of(id.begin(), id.end(),
                       [](char c) { return c > ' ' && c <= '~' && c != ';'; });
}

bool DateShaped(std::string_view date) {
    if (date.empty()) return true;
    if (date.size() != 10 || date[2] != '.' || date[5] != '.') return false;
    for (const std::size_t i : {0, 1, 3, 4, 6, 7, 8, 9})
        if (date[i] < '0' || date[i] > '9') return false;
    return true;
}

std::optional<TStoredRemnant> ParseLine(std::string_view line) {
    const std::vector<std::string> f = job::SplitJournalLine(line);
    if (f.size() != kFields || !UsableId(f[0]) || !DateShaped(f[3])) return std::nullopt;
    TStoredRemnant one;
    if (!ParseDecimal(f[1], 10, kLongestBar, one.Length).empty() || one.Length <= 0)
        return std::nullopt;
    one.Id = f[0];
    one.Material = f[2];
    one.Date = f[3];
    one.List = f[4];
    return one;
}

}  // namespace

std::filesystem::path RemnantStorePath(const std::filesystem::path& programDir) {
    return programDir / "ostatki.dat";
}

bool IsRemnantId(std::string_view code) {
    return code.size() == 7 && code[0] == 'R' &&
           std::all_of(code.begin() + 1, code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string RemnantDate(const job::TLocalTime& t) {
    char date[16];
    std::snprintf(date, sizeof date, "%02d.%02d.%04d", t.Day, t.Month, t.Year);
    return date;
}

TRemnantStore::TRemnantStore(std::filesystem::path file)
    : file_(std::move(file)),
      counterFile_(std::filesystem::path(file_).replace_extension(".next")) {}

std::string TRemnantStore::Load() {
    lines_.clear();
    counter_ = 1;
    if (const auto counter = ReadWholeFile(counterFile_)) {
        std::string_view text(*counter);
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
        counter_ = std::max<std::uint32_t>(1, NumberOf(text));
    }
    const auto bytes = ReadWholeFile(file_);
    if (!bytes) return "";
    std::string skipped;
    std::set<std::string> ids;
    std::size_t pos = 0;
    for (int number = 1; pos < bytes->size(); ++number) {
        auto end = bytes->find('\n', pos);
        if (end == std::string::npos) end = bytes->size();
        std::string_view line = std::string_view(*bytes).substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        TLine kept;
        kept.Remnant = ParseLine(line);
        // A second line of one id is no remnant of its own: the plan would cut it twice.
        if (kept.Remnant && !ids.insert(kept.Remnant->Id).second) kept.Remnant.reset();
        if (!kept.Remnant) {
            kept.Raw = std::string(line);
            skipped += (skipped.empty() ? "" : ", ") + std::to_string(number);
        }
        lines_.push_back(std::move(kept));
    }
    if (skipped.empty()) return "";
    return "ostatki.dat, "_cp1251 +
           (skipped.find(',') == std::string::npos ? "строка "_cp1251 : "строки "_cp1251) +
           skipped + ": не остаток (строка оставлена как есть)"_cp1251;
}

std::size_t TRemnantStore::Size() const {
    return static_cast<std::size_t>(std::count_if(
        lines_.begin(), lines_.end(), [](const TLine& l) { return l.Remnant.has_value(); }));
}

std::vector<TStoredRemnant> TRemnantStore::Newest() const {
    std::vector<TStoredRemnant> list;
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line)
        if (line->Remnant) list.push_back(*line->Remnant);
    return list;
}

std::vector<TRemnant> TRemnantStore::ForPlan() const {
    std::vector<TRemnant> list;
    for (const TLine& line : lines_)
        if (line.Remnant)
            list.push_back({line.Remnant->Id, line.Remnant->Length, line.Remnant->Material});
    return list;
}

std::optional<TStoredRemnant> TRemnantStore::Find(std::string_view id) const {
    for (const TLine& line : lines_)
        if (line.Remnant && line.Remnant->Id == id) return line.Remnant;
    return std::nullopt;
}

std::uint32_t TRemnantStore::NextNumber() const {
    std::uint32_t next = counter_;
    for (const TLine& line : lines_) {
        // A garbled line's id counts too: mended by hand, it must not meet a new one.
        const std::string_view id = line.Remnant
                                        ? std::string_view(line.Remnant->Id)
                                        : std::string_view(line.Raw).substr(0, line.Raw.find(';'));
        if (const std::uint32_t n = NumberOf(id); n > 0) next = std::max(next, n + 1);
    }
    return next;
}

std::string TRemnantStore::Format(const std::vector<TLine>& lines) {
    std::string bytes;
    for (const TLine& line : lines) {
        if (line.Remnant) {
            const TStoredRemnant& r = *line.Remnant;
            bytes += r.Id + ";" + FormatTenths(r.Length) + ";" + job::JournalField(r.Material) +
                     ";" + r.Date + ";" + job::JournalField(r.List);
        } else {
            bytes += line.Raw;
        }
        bytes += "\r\n";
    }
    return bytes;
}

std::string TRemnantStore::Format() const {
    return Format(lines_);
}

TStoredRemnant TRemnantStore::Add(TLength length, std::string material, std::string list,
                                  const job::TLocalTime& at) {
    const std::uint32_t number = NextNumber();
    if (number > kLastNumber) throw Exception("Номера остатков исчерпаны (R999999)"_cp1251);
    TStoredRemnant one{IdOf(number), length, std::move(material), RemnantDate(at), std::move(list)};
    // The counter first: a power loss between the two writes skips an id, never gives one twice.
    WriteFileAtomic(counterFile_, IdOf(number + 1) + "\r\n");
    counter_ = number + 1;
    std::vector<TLine> lines = lines_;
    lines.push_back({one, {}});
    WriteFileAtomic(file_, Format(lines));
    lines_ = std::move(lines);
    return one;
}

bool TRemnantStore::Remove(std::string_view id) {
    std::vector<TLine> lines = lines_;
    const auto found = std::find_if(lines.begin(), lines.end(), [id](const TLine& l) {
        return l.Remnant && l.Remnant->Id == id;
    });
    if (found == lines.end()) return false;
    // A store with no counter file (written by hand, or the file lost) counts from its ids: the
    // highest removed, the count must not fall back to it.
    if (const std::uint32_t next = NextNumber(); next > counter_ && next <= kLastNumber + 1) {
        WriteFileAtomic(counterFile_, IdOf(next) + "\r\n");
        counter_ = next;
    }
    lines.erase(found);
    WriteFileAtomic(file_, Format(lines));
    lines_ = std::move(lines);
    return true;
}

}  // namespace tandrel::plan
