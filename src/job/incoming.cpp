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
                     const TColumnMaps* maps, const TListStates::TReader& read) {
    TListState state;
    std::string bytes;
    if (!read(file.Path, bytes, state.Failure)) return state;
    const std::uint32_t crc = BytesCrc32(bytes).Crc;
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

// The keys of the two layouts, position by position: what the Latin layout types, then what the
// Russian one types on the same key (Windows-1251).
constexpr std::string_view kLatinKeys =
    "`qwertyuiop[]asdfghjkl;'zxcvbnm,./~QWERTYUIOP{}ASDFGHJKL:\"ZXCVBNM<>?@#$^&|";
const std::string kRussianKeys =
    "ёйцукенгшщзхъфывапролджэячсмитьбю.ЁЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮ,\"№;:?/"_cp1251;

std::string SwapKeys(std::string_view text, std::string_view from, std::string_view to) {
    std::string out(text);
    for (char& c : out)
        if (const auto at = from.find(c); at != std::string_view::npos) c = to[at];
    return out;
}

}  // namespace

bool IsListFileName(std::string_view name) {
    return KindRank(name) >= 0 && Stem(name).size() > 0 && !IsLockFileName(name);
}

TFolderLook LookAtFolder(const fs::path& folder) {
    TFolderLook look;
    std::vector<TFolderEntry> entries;
    if (ListFolder(folder, entries) != 0) {
        look.Failure = "папка не читается"_cp1251;
        return look;
    }
    for (TFolderEntry& entry : entries) {
        if (!entry.Regular) continue;
        std::optional<std::string> name = PathToCp1251(entry.Path.filename());
        if (!name || !IsListFileName(*name)) continue;
        look.Files.push_back(
            {std::move(*name), std::move(entry.Path), entry.Size, entry.WriteTimeNs});
    }
    look.Readable = true;
    std::sort(look.Files.begin(), look.Files.end(),
              [](const TIncomingFile& a, const TIncomingFile& b) {
                  return a.Time != b.Time ? a.Time > b.Time : a.Name < b.Name;
              });
    return look;
}

void TIncomingLooks::Take(const TFolderLook& look, std::int64_t nowMs) {
    // A share that is down for a look forgets nothing of what it held.
    if (!look.Readable) {
        last_.Readable = false;
        last_.Failure = look.Failure;
        return;
    }
    std::unordered_map<std::string, TSeen> seen;
    seen.reserve(look.Files.size());
    for (const TIncomingFile& file : look.Files) {
        // Present at the first look: complete.
        TSeen now{file.Size, file.Time, taken_ ? nowMs : nowMs - kSettleMs};
        if (const auto it = seen_.find(file.Name);
            it != seen_.end() && it->second.Size == file.Size && it->second.Time == file.Time)
            now.Since = it->second.Since;
        seen.emplace(file.Name, now);
    }
    seen_ = std::move(seen);
    last_ = look;
    now_ = nowMs;
    taken_ = true;
}

bool TIncomingLooks::Complete(const std::string& name) const {
    const auto it = seen_.find(name);
    return it != seen_.end() && now_ - it->second.Since >= kSettleMs;
}

std::string RussianKeysAsLatin(std::string_view text) {
    return SwapKeys(text, kRussianKeys, kLatinKeys);
}

std::string LatinKeysAsRussian(std::string_view text) {
    return SwapKeys(text, kLatinKeys, kRussianKeys);
}

std::vector<const TIncomingFile*> MatchCode(const TFolderLook& look, std::string_view code) {
    std::vector<const TIncomingFile*> found;
    if (code.empty()) return found;
    std::vector<std::string> readings{Lower(code)};
    for (std::string other : {Lower(RussianKeysAsLatin(code)), Lower(LatinKeysAsRussian(code))})
        if (std::find(readings.begin(), readings.end(), other) == readings.end())
            readings.push_back(std::move(other));
    for (const TIncomingFile& file : look.Files) {
        const std::string stem = Lower(Stem(file.Name));
        if (std::find(readings.begin(), readings.end(), stem) != readings.end())
            found.push_back(&file);
    }
    return found;
}

std::string ListStateText(const TListState& state) {
    if (!state.Read) return state.Failure;
    if (state.Done == 0) return "новый"_cp1251;
    if (state.Done >= state.Pieces) return "выполнен"_cp1251;
    return "сделано "_cp1251 + std::to_string(state.Done) + " из "_cp1251 +
           std::to_string(state.Pieces);
}

TListStates::TListStates(TReader read) : read_(std::move(read)) {
    if (!read_)
        read_ = [](const fs::path& file, std::string& bytes, std::string& failure) {
            return io::ReadAll(file, bytes, failure);
        };
}

void TListStates::Begin(const TColumnMaps* maps) {
    maps_ = maps;
    mapsText_ = maps ? maps->Format() : std::string();
    std::error_code ec;
    directory_ = fs::current_path(ec);
    for (auto& [path, known] : known_) known.Named = false;
}

std::vector<std::string> TListStates::End() {
    std::vector<std::string> gone;
    std::erase_if(known_, [&](const auto& entry) {
        if (!entry.second.Named) gone.push_back(entry.first);
        return !entry.second.Named;
    });
    maps_ = nullptr;
    directory_.clear();
    return gone;
}

TListState TListStates::Of(const TIncomingFile& file, bool* fresh) {
    if (fresh) *fresh = false;
    const fs::path progressFile =
        directory_.empty() ? ResolveList(PathToCp1251(file.Path).value_or(file.Name)).ProgressFile
                           : directory_ / io::ToPath(ProgressFileName(file.Name));
    std::uintmax_t progressSize = 0;
    const std::int64_t progressTime = WriteTime(progressFile, progressSize);
    const std::string key = file.Path.string();
    auto it = known_.find(key);
    if (it != known_.end() && it->second.File == file && it->second.ProgressSize == progressSize &&
        it->second.ProgressTime == progressTime && it->second.Maps == mapsText_) {
        it->second.Named = true;
        return it->second.State;
    }
    if (fresh) *fresh = true;
    TKnown known{
        file, progressSize, progressTime, mapsText_, ReadState(file, progressFile, maps_, read_),
        true};
    return known_.insert_or_assign(key, std::move(known)).first->second.State;
}

}  // namespace tandrel::job
