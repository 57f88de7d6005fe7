#pragma once
// The folder the office fills with lists: what it holds, which of its files are complete, the
// state of each list by its progress file, and the list a scanned code names. Plain logic; the
// folder may be a network share, so callers run the looks off the main thread.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "job/column_maps.h"

namespace tandrel::job {

// A list file of the folder.
struct TIncomingFile {
    std::string Name;  // the file's own name, Windows-1251
    std::filesystem::path Path;
    std::uintmax_t Size = 0;
    std::int64_t Time = 0;  // last write, in the file clock's ticks
    bool operator==(const TIncomingFile&) const = default;
};

struct TFolderLook {
    bool Readable = false;
    std::string Failure;               // not readable: why (Windows-1251)
    std::vector<TIncomingFile> Files;  // .txt, .csv, .xlsx and .ods, newest first
};

// .txt, .csv, .xlsx or .ods, any letter case; never an office's lock file.
bool IsListFileName(std::string_view name);

// One look at the folder. Names Windows-1251 cannot hold are left out (no load could name them).
// Any thread; raises nothing.
TFolderLook LookAtFolder(const std::filesystem::path& folder);

// Which files are complete: those present at the first look, and those whose size and time were
// the same on the last two looks. A file still being written is neither.
class TIncomingLooks {
  public:
    void Take(const TFolderLook& look);
    bool Complete(const std::string& name) const;
    const TFolderLook& Last() const { return last_; }
    bool Taken() const { return taken_; }

  private:
    TFolderLook last_;
    std::map<std::string, bool> complete_;
    bool taken_ = false;
};

// The file of look whose name without its extension equals code, letter case ignored (Latin and
// Cyrillic); a .txt before a .csv before an .xlsx before an .ods. The code is compared, never made
// a path, so
// "..\x" names nothing. nullptr when no file matches.
const TIncomingFile* MatchScan(const TFolderLook& look, std::string_view code);

// A list's progress by its progress file, in pieces (a table row of quantity N is N pieces).
struct TListState {
    bool Read = false;    // the list could be read
    std::string Failure;  // not read: why (Windows-1251)
    std::int32_t Pieces = 0;
    std::int32_t Done = 0;  // counted only while the progress file's CRC line is the list's CRC
};

// "новый", "сделано 12 из 30", "выполнен", or the failure (Windows-1251).
std::string ListStateText(const TListState& state);

// The states of a folder's lists, read again only when a list, its progress file or the kept
// column maps changed. The progress file is resolved as a load of the file's full path would
// resolve it now. One thread at a time.
class TListStates {
  public:
    TListState Of(const TIncomingFile& file, const TColumnMaps* maps = nullptr);

  private:
    struct TKnown {
        TIncomingFile File;
        std::uintmax_t ProgressSize = 0;
        std::int64_t ProgressTime = 0;
        std::string Maps;
        TListState State;
    };
    std::map<std::filesystem::path, TKnown> known_;
};

}  // namespace tandrel::job
