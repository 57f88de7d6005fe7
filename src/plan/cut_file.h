#pragma once
// The station's stock and cut settings, kept in "raskroy.dat" beside the settings file:
// Windows-1251 "key=value" lines with CR LF ends, lengths in millimetres.
//   stock=6000        the stock lengths, as "6000x20,3000" (no count: unlimited), each
//                     optionally of a material: "6000x20:AL,6000:ST"
//   kerf=4            taken by every piece
//   head=10           squared off a new bar before its first piece
//   remnant=500       the shortest leftover kept as a remnant
//   pieces=0          the most pieces a bar may hold; 0 for no limit
// Any thread; no state.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "plan/plan.h"

namespace tandrel::plan {

struct TStationCut {
    std::vector<TStock> Stock;
    TCutSettings Cut;
    bool operator==(const TStationCut&) const = default;
};

// The values above.
TStationCut DefaultStationCut();

// "raskroy.dat" in the program's directory.
std::filesystem::path CutFilePath(const std::filesystem::path& programDir);

// One setting by its key over cut: "" when read (an unknown key changes nothing), else why not
// (Windows-1251), and then cut is as it was.
std::string ParseCutSetting(std::string_view key, std::string_view value, TStationCut& cut);
// Reads the file's text over cut. A line that cannot be read leaves its setting as it was and
// adds "<line>: <reason>" to the returned text (Windows-1251, lines joined by "; "); unknown keys
// and blank lines are skipped. "" when every line was read.
std::string ParseCutFile(std::string_view bytes, TStationCut& cut);
// The file's text: every key, in the order above.
std::string FormatCutFile(const TStationCut& cut);

// The defaults with the file read over them; a missing file gives the defaults and "".
std::string ReadCutFile(const std::filesystem::path& path, TStationCut& cut);
// Replaces the file whole (never half-written). Raises tandrel::Exception.
void WriteCutFile(const std::filesystem::path& path, const TStationCut& cut);

}  // namespace tandrel::plan
