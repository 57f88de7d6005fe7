#pragma once
// The station's store of remnants, "ostatki.dat" beside the settings file: Windows-1251, CR LF,
// one remnant a line as "id;length;material;dd.mm.yyyy;list" (length in millimetres, a field
// holding ";" or a quote quoted as the journal quotes it), oldest first. Ids are "R" and six
// digits, counting up per station and never given twice: the next one is kept in
// "ostatki.next" beside the store, and is always past every id the store holds, so a lost or
// edited counter file cannot bring an id back.
//
// Every change rewrites the file whole (never half-written); a line that is no remnant is kept
// byte for byte where it stood and skipped. Main thread only (local files, no peer).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/journal.h"
#include "plan/plan.h"

namespace tandrel::plan {

struct TStoredRemnant {
    std::string Id;  // "R000123"
    TLength Length = 0;
    std::string Material;  // "" for the unnamed one
    std::string Date;      // "dd.mm.yyyy", the day it was kept
    std::string List;      // the list whose bar it came from
    bool operator==(const TStoredRemnant&) const = default;
};

// "ostatki.dat" in the program's directory.
std::filesystem::path RemnantStorePath(const std::filesystem::path& programDir);

// "R" and six digits: a code that names a remnant rather than a list.
bool IsRemnantId(std::string_view code);

// "10.12.2026".
std::string RemnantDate(const job::TLocalTime& t);

class TRemnantStore {
  public:
    // The store at file (its counter beside it, with the extension ".next"). Reads nothing yet.
    explicit TRemnantStore(std::filesystem::path file);

    // Reads the store. Returns "" or, when lines were skipped, "ostatki.dat, строки 3, 7: не
    // остаток" (Windows-1251); a missing file is an empty store.
    std::string Load();

    // Newest first.
    std::vector<TStoredRemnant> Newest() const;
    // As the plan takes them: oldest first, so that the oldest is cut first on a tie.
    std::vector<TRemnant> ForPlan() const;
    std::optional<TStoredRemnant> Find(std::string_view id) const;
    std::size_t Size() const;

    // Keeps a new remnant under the next id and returns it. Raises tandrel::Exception (the store
    // unchanged, in memory and on disk) when a file cannot be written or the ids are used up.
    TStoredRemnant Add(TLength length, std::string material, std::string list,
                       const job::TLocalTime& at);
    // Removes the remnant; false when the store has none of that id. Raises tandrel::Exception
    // (the store unchanged) when the file cannot be written.
    bool Remove(std::string_view id);

    // The file's bytes as they would be written now.
    std::string Format() const;

  private:
    struct TLine {
        std::optional<TStoredRemnant> Remnant;
        std::string Raw;  // a line that is no remnant, as read
    };
    static std::string Format(const std::vector<TLine>& lines);
    std::uint32_t NextNumber() const;

    std::filesystem::path file_;
    std::filesystem::path counterFile_;
    std::vector<TLine> lines_;   // file order
    std::uint32_t counter_ = 1;  // the counter file's next number
};

}  // namespace tandrel::plan
