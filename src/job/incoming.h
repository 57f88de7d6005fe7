#pragma once
// The folder the office fills with lists: what it holds, which of its files are complete, the
// state of each list by its progress file, and the lists a scanned code names. Plain logic; the
// folder may be a network share, so callers run the looks off the main thread.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "job/column_maps.h"

namespace tandrel::job {

// A list file of the folder.
struct TIncomingFile {
    std::string Name;  // the file's own name, Windows-1251
    std::filesystem::path Path;
    std::uintmax_t Size = 0;
    std::int64_t Time = 0;  // last write, nanoseconds since 1970-01-01 UTC
    bool operator==(const TIncomingFile&) const = default;
};

struct TFolderLook {
    bool Readable = false;
    std::string Failure;               // not readable: why (Windows-1251)
    std::vector<TIncomingFile> Files;  // .txt, .csv, .xlsx and .ods, newest first
};

// .txt, .csv, .xlsx or .ods, any letter case; never an office's lock file.
bool IsListFileName(std::string_view name);

// One look at the folder: one listing, no read of any file. Names Windows-1251 cannot hold are
// left out (no load could name them). Any thread; raises nothing.
TFolderLook LookAtFolder(const std::filesystem::path& folder);

// Which files are complete: those present at the first look, and those whose size and time
// stayed the same over looks at least kSettleMs apart (two looks just after one another may both
// fall between two writes of a slow copy). A file still being written is neither. Each look is
// matched against the one before in time linear in their sizes.
class TIncomingLooks {
  public:
    static constexpr std::int64_t kSettleMs = 400;
    // A look taken at nowMs of a steady clock.
    void Take(const TFolderLook& look, std::int64_t nowMs);
    bool Complete(const std::string& name) const;
    const TFolderLook& Last() const { return last_; }
    bool Taken() const { return taken_; }

  private:
    struct TSeen {
        std::uintmax_t Size = 0;
        std::int64_t Time = 0;
        std::int64_t Since = 0;  // first seen with this size and time
    };
    TFolderLook last_;
    std::unordered_map<std::string, TSeen> seen_;
    std::int64_t now_ = 0;
    bool taken_ = false;
};

// The files of look that a scanned code names: the name without its extension equals the code,
// letter case ignored (Latin and Cyrillic), the code read as typed or as the same keys would type
// it under the other keyboard layout (Latin and Russian, both ways). The code is compared, never
// made a path, so "..\x" names nothing. In the look's order; empty when none matches.
std::vector<const TIncomingFile*> MatchCode(const TFolderLook& look, std::string_view code);

// The text the keys of a Russian layout type under a Latin one ("ЯФЛ-1502" -> "ZAK-1502"), and the
// other way; characters that have no counterpart stay as they are. Windows-1251.
std::string RussianKeysAsLatin(std::string_view text);
std::string LatinKeysAsRussian(std::string_view text);

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
    // Reads a list's bytes: false with the failure (Windows-1251) when it cannot.
    using TReader = std::function<bool(const std::filesystem::path& file, std::string& bytes,
                                       std::string& failure)>;
    explicit TListStates(TReader read = {});

    // A pass over the folder's lists: the kept maps (may be nullptr) and the current directory
    // hold for the states that follow, until End forgets the lists the pass did not name and
    // returns their paths.
    void Begin(const TColumnMaps* maps);
    std::vector<std::string> End();
    // fresh (when given): the list was read for this call rather than known.
    TListState Of(const TIncomingFile& file, bool* fresh = nullptr);

  private:
    struct TKnown {
        TIncomingFile File;
        std::uintmax_t ProgressSize = 0;
        std::int64_t ProgressTime = 0;
        std::string Maps;
        TListState State;
        bool Named = false;  // in the pass that runs
    };
    TReader read_;
    const TColumnMaps* maps_ = nullptr;
    std::string mapsText_;
    std::filesystem::path directory_;  // the current directory of the pass; empty: none begun
    std::unordered_map<std::string, TKnown> known_;  // by the file's path
};

}  // namespace tandrel::job
