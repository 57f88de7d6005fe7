#include "plan/cut_file.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "plan/plan_input.h"

namespace tandrel::plan {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
    return s;
}

std::string ParseLength(std::string_view value, TLength& length) {
    TLength parsed = 0;
    if (auto why = ParseDecimal(value, 10, kLongestBar, parsed); !why.empty()) return why;
    length = parsed;
    return "";
}

std::string ParseCount(std::string_view value, std::int32_t& count) {
    std::int64_t parsed = 0;
    if (value.find_first_of(".,") != std::string_view::npos)
        return "\""_cp1251 + std::string(value) + "\" - не целое число"_cp1251;
    if (auto why = ParseDecimal(value, 1, 100000, parsed); !why.empty()) return why;
    count = static_cast<std::int32_t>(parsed);
    return "";
}

}  // namespace

TStationCut DefaultStationCut() {
    TStationCut cut;
    cut.Stock = {TStock{60000, kUnlimited, ""}};
    cut.Cut.Kerf = 40;
    cut.Cut.Head = 100;
    cut.Cut.MinRemnant = 5000;
    cut.Cut.MaxPieces = 0;
    return cut;
}

std::filesystem::path CutFilePath(const std::filesystem::path& programDir) {
    return programDir / "raskroy.dat";
}

std::string ParseCutSetting(std::string_view key, std::string_view value, TStationCut& cut) {
    value = Trim(value);
    if (key == "stock") return ParseStock(value, cut.Stock);
    if (key == "kerf") return ParseLength(value, cut.Cut.Kerf);
    if (key == "head") return ParseLength(value, cut.Cut.Head);
    if (key == "remnant") return ParseLength(value, cut.Cut.MinRemnant);
    if (key == "pieces") return ParseCount(value, cut.Cut.MaxPieces);
    return "";
}

std::string ParseCutFile(std::string_view bytes, TStationCut& cut) {
    std::string failures;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        auto end = bytes.find('\n', pos);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = Trim(bytes.substr(pos, end - pos));
        pos = end + 1;
        const auto equals = line.find('=');
        if (line.empty() || equals == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        const std::string why = ParseCutSetting(key, value, cut);
        if (why.empty()) continue;
        if (!failures.empty()) failures += "; ";
        failures += std::string(line) + ": " + why;
    }
    return failures;
}

std::string FormatCutFile(const TStationCut& cut) {
    return "stock=" + FormatStock(cut.Stock) + "\r\nkerf=" + FormatTenths(cut.Cut.Kerf) +
           "\r\nhead=" + FormatTenths(cut.Cut.Head) +
           "\r\nremnant=" + FormatTenths(cut.Cut.MinRemnant) +
           "\r\npieces=" + std::to_string(cut.Cut.MaxPieces) + "\r\n";
}

std::string ReadCutFile(const std::filesystem::path& path, TStationCut& cut) {
    TStationCut read = DefaultStationCut();
    std::string why;
    if (const auto bytes = ReadWholeFile(path)) why = ParseCutFile(*bytes, read);
    cut = std::move(read);
    return why;
}

void WriteCutFile(const std::filesystem::path& path, const TStationCut& cut) {
    WriteFileAtomic(path, FormatCutFile(cut));
}

}  // namespace tandrel::plan
