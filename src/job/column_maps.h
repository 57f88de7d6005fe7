#pragma once
// Column maps a shop kept for table headers the name rules do not understand: each says, for a
// header's column names in order, which column is the size, the quantity, the caption or a label
// field. They live in maps.dat beside nastr.dat, Windows-1251 text, one map a line, so that a
// shop can copy the file between stations. Any thread; keeps no state beyond the object.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::job {

enum class TColumnRole : std::uint8_t { Unused, Size, Quantity, Caption, E1, E2, E3, E4, E5, E6 };

struct TKeptMap {
    std::vector<std::string> Header;  // the column names, trimmed, Windows-1251
    std::vector<TColumnRole> Roles;   // one a column
    bool operator==(const TKeptMap&) const = default;
};

class TColumnMaps {
  public:
    // The maps of a maps.dat's bytes; lines that are no map are skipped.
    static TColumnMaps Parse(std::string_view bytes);
    // The file's bytes: one line a map, CR LF, columns as role=name between tabs.
    std::string Format() const;
    // The map kept for exactly this header (empty names at its end aside), or nullptr.
    const TKeptMap* Find(const std::vector<std::string>& header) const;
    // Keeps map, in place of one for the same header. False when a name holds a tab or a line
    // end (a line could not hold it): the map is then not kept.
    bool Keep(const TKeptMap& map);
    const std::vector<TKeptMap>& Maps() const { return maps_; }

  private:
    std::vector<TKeptMap> maps_;
};

// "maps.dat" in the program's directory.
std::filesystem::path ColumnMapsPath(const std::filesystem::path& programDir);

// A map is usable when exactly one column is the size and no other role is given twice.
bool UsableRoles(const std::vector<TColumnRole>& roles);

}  // namespace tandrel::job
