#include "job/incoming.h"

#include <algorithm>
#include <system_error>

#include "base/cp1251.h"
#include "base/files.h"
#include "base/numbers.h"
#include "job/crc32.h"
#include "job/cut_list.h"
#include "job/job_io.h"
#include "job/progress.h"
#include "job/table_list.h"

namespace tandrel::job {
namespace {

namespace fs = std::filesystem;

// Windows-1251 in lower case: Latin, Cyrillic and Ё.
std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDF))
            c = static_cast<char>(u + 0x20);
        else if (u == 0xA8)
            c = static_cast<char>(0xB8);
    }
    return out;
}

// 0 for .txt, 1 for .csv, 2 for .xlsx, 3 for .ods, -1 for anything else.
int KindRank(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return -1;
    const std::string extension = Lower(name.substr(dot));
    if (extension == ".txt") return 0;
    if (extension == ".csv") return 1;
    if (extension == ".xlsx") return 2;
    if (extension == ".ods") return 3;
    return -1;
}

std::string_view Stem(std::string_view name) {
    return name.substr(0, name.rfind('.'));
}

std::uint32_t BytesCrc(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    while (!bytes.empty()) {
        const std::size_t n = std::min<std::size_t>(bytes.size(), 0xFFFF);
        crc = UpdateCrc32(crc, bytes.data(), static_cast<std::uint16_t>(n));
        bytes.remove_prefix(n);
    }
    return ~crc;
}

// Rows the progress file records for a list of pieces rows, or 0 when it belongs to other bytes.
std::int32_t RecordedPieces(const fs::path& progressFile, std::uint32_t crc, std::int32_t pieces) {
    std::string content, failure;
    if (!io::ReadAll(progressFile, content, failure)) return 0;
    io::TLineReader lines(content);
    std::string_view line;
    if (!lines.Next(line) || line != std::to_string(crc)) return 0;
    std::vector<bool> done(static_cast<std::size_t>(pieces) + 1);
    std::int32_t count = 0;
    while (lines.Next(line)) {
        std::int32_t n = 0;
        if (!TryStrToInt32(line, n) || n < 1 || n > pieces) continue;
        if (!done[static_cast<std::size_t>(n)]) {
            done[static_cast<std::size_t>(n)] = true;
            ++count;
        }
    }
    return count;
}

TListState ReadState(const TIncomingFile& file, const fs::path& progressFile,
                     const TColumnMaps* maps) {
    TListState state;
    std::string bytes;
    if (!io::ReadAll(file.Path, bytes, state.Failure)) return state;
    const std::uint32_t crc = BytesCrc(bytes);
    std::vector<SizeRow> staged(1);
    state.Failure = StageList(file.Name, std::move(bytes), staged, maps).Failure;
    if (!state.Failure.empty()) return state;
    state.Read = true;
    state.Pieces = static_cast<std::int32_t>(staged.size() - 1);
    state.Done = RecordedPieces(progressFile, crc, state.Pieces);
    return state;
}

std::int64_t WriteTime(const fs::path& path, std::uintmax_t& size) {
    std::error_code ec;
    size = fs::file_size(path, ec);
    if (ec) size = 0;
    const auto time = fs::last_write_time(path, ec);
    return ec ? 0 : static_cast<std::int64_t>(time.time_since_epoch().count());
}

}  // namespace

bool IsListFileName(std::string_view name) {
    return KindRank(name) >= 0 && Stem(name).size() > 0 && !IsLockFileName(name);
}

TFolderLook LookAtFolder(const fs::path& folder) {
    TFolderLook look;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        look.Failure = "папка не читается"_cp1251;
        return look;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::error_code entryEc;
        if (!it->is_regular_file(entryEc)) continue;
        const std::optional<std::string> name = PathToCp1251(it->path().filename());
        if (!name || !IsListFileName(*name)) continue;
        TIncomingFile file;
        file.Name = *name;
        file.Path = it->path();
        file.Time = WriteTime(file.Path, file.Size);
        look.Files.push_back(std::move(file));
    }
    if (ec) {
        look.Files.clear();
        look.Failure = "папка не читается"_cp1251;
        return look;
    }
    look.Readable = true;
    std::stable_sort(look.Files.begin(), look.Files.end(),
                     [](const TIncomingFile& a, const TIncomingFile& b) {
                         return a.Time != b.Time ? a.Time > b.Time : a.Name < b.Name;
                     });
    return look;
}

void TIncomingLooks::Take(const TFolderLook& look) {
    // A share that is down for a look forgets nothing of what it held.
    if (!look.Readable) {
        last_.Readable = false;
        last_.Failure = look.Failure;
        return;
    }
    std::map<std::string, bool> complete;
    for (const TIncomingFile& file : look.Files) {
        bool same = !taken_;  // present at the first look: complete
        if (!same) {
            const auto before =
                std::find_if(last_.Files.begin(), last_.Files.end(),
                             [&](const TIncomingFile& f) { return f.Name == file.Name; });
            same = before != last_.Files.end() && before->Size == file.Size &&
                   before->Time == file.Time;
        }
        complete[file.Name] = same;
    }
    complete_ = std::move(complete);
    last_ = look;
    taken_ = true;
}

bool TIncomingLooks::Complete(const std::string& name) const {
    const auto it = complete_.find(name);
    return it != complete_.end() && it->second;
}

const TIncomingFile* MatchScan(const TFolderLook& look, std::string_view code) {
    if (code.empty()) return nullptr;
    const std::string wanted = Lower(code);
    const TIncomingFile* best = nullptr;
    for (const TIncomingFile& file : look.Files) {
        if (Lower(Stem(file.Name)) != wanted) continue;
        if (best == nullptr || KindRank(file.Name) < KindRank(best->Name)) best = &file;
    }
    return best;
}

std::string ListStateText(const TListState& state) {
    if (!state.Read) return state.Failure;
    if (state.Done == 0) return "новый"_cp1251;
    if (state.Done >= state.Pieces) return "выполнен"_cp1251;
    return "сделано "_cp1251 + std::to_string(state.Done) + " из "_cp1251 +
           std::to_string(state.Pieces);
}

TListState TListStates::Of(const TIncomingFile& file, const TColumnMaps* maps) {
    const std::optional<std::string> full = PathToCp1251(file.Path);
    if (!full) return {};
    const fs::path progressFile = ResolveList(*full).ProgressFile;
    std::uintmax_t progressSize = 0;
    const std::int64_t progressTime = WriteTime(progressFile, progressSize);
    std::string mapsText = maps ? maps->Format() : std::string();
    auto it = known_.find(file.Path);
    if (it != known_.end() && it->second.File == file && it->second.ProgressSize == progressSize &&
        it->second.ProgressTime == progressTime && it->second.Maps == mapsText)
        return it->second.State;
    TKnown known{file, progressSize, progressTime, std::move(mapsText),
                 ReadState(file, progressFile, maps)};
    return known_.insert_or_assign(file.Path, std::move(known)).first->second.State;
}

}  // namespace tandrel::job
