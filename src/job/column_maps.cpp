#include "job/column_maps.h"

#include <algorithm>
#include <array>

namespace tandrel::job {
namespace {

// Role names as the file writes them; ASCII, so that the file reads the same anywhere.
constexpr std::array<std::string_view, 10> kRoleNames = {"none", "size", "qty", "caption", "E1",
                                                         "E2",   "E3",   "E4",  "E5",      "E6"};

std::optional<TColumnRole> RoleNamed(std::string_view name) {
    for (std::size_t i = 0; i < kRoleNames.size(); ++i)
        if (kRoleNames[i] == name) return static_cast<TColumnRole>(i);
    return std::nullopt;
}

std::optional<TKeptMap> ParseLine(std::string_view line) {
    TKeptMap map;
    while (true) {
        const std::size_t tab = line.find('\t');
        const std::string_view column = line.substr(0, tab);
        const std::size_t equals = column.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        const std::optional<TColumnRole> role = RoleNamed(column.substr(0, equals));
        if (!role) return std::nullopt;
        map.Roles.push_back(*role);
        map.Header.emplace_back(column.substr(equals + 1));
        if (tab == std::string_view::npos) break;
        line.remove_prefix(tab + 1);
    }
    if (!UsableRoles(map.Roles)) return std::nullopt;
    return map;
}

// Names up to the last that is not empty: a sheet's columns end where they end, a CSV's header
// line may run on in separators.
std::size_t NamedLength(const std::vector<std::string>& header) {
    std::size_t n = header.size();
    while (n > 0 && header[n - 1].empty()) --n;
    return n;
}

bool SameHeader(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    const std::size_t n = NamedLength(a);
    return n == NamedLength(b) &&
           std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin());
}

}  // namespace

TColumnMaps TColumnMaps::Parse(std::string_view bytes) {
    TColumnMaps maps;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find_first_of("\r\n");
        const std::string_view line = bytes.substr(0, end);
        if (!line.empty())
            if (std::optional<TKeptMap> map = ParseLine(line)) maps.Keep(*map);
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
    }
    return maps;
}

std::string TColumnMaps::Format() const {
    std::string out;
    for (const TKeptMap& map : maps_) {
        for (std::size_t i = 0; i < map.Header.size(); ++i) {
            if (i > 0) out += '\t';
            out += kRoleNames[static_cast<std::size_t>(map.Roles[i])];
            out += '=';
            out += map.Header[i];
        }
        out += "\r\n";
    }
    return out;
}

const TKeptMap* TColumnMaps::Find(const std::vector<std::string>& header) const {
    for (const TKeptMap& map : maps_)
        if (SameHeader(map.Header, header)) return &map;
    return nullptr;
}

bool TColumnMaps::Keep(const TKeptMap& map) {
    if (map.Header.empty() || map.Header.size() != map.Roles.size()) return false;
    for (const std::string& name : map.Header)
        if (name.find_first_of("\t\r\n") != std::string::npos) return false;
    const auto same = std::find_if(maps_.begin(), maps_.end(), [&](const TKeptMap& kept) {
        return SameHeader(kept.Header, map.Header);
    });
    if (same != maps_.end())
        *same = map;
    else
        maps_.push_back(map);
    return true;
}

std::filesystem::path ColumnMapsPath(const std::filesystem::path& programDir) {
    return programDir / "maps.dat";
}

bool UsableRoles(const std::vector<TColumnRole>& roles) {
    std::array<int, kRoleNames.size()> count{};
    for (TColumnRole role : roles) ++count[static_cast<std::size_t>(role)];
    if (count[static_cast<std::size_t>(TColumnRole::Size)] != 1) return false;
    for (std::size_t i = 1; i < count.size(); ++i)
        if (count[i] > 1) return false;
    return true;
}

}  // namespace tandrel::job
