#pragma once
// The journal as the feed's source of pieces: its whole lines after the last one the broker
// acknowledged, and the cursor that keeps that line per journal file across restarts.
//
// The cursor holds, per month file, the byte offset just after the last acknowledged line and a
// CRC-32 of that line's bytes. A file edited by hand before the cursor is found again by that
// line's content, or else sent again from its start: a line may go out twice, never zero times.
// Feed thread only, except the static calls.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tandrel::feed {

// "journal-feed.txt" beside the journal: "<file name>;b<offset>;<crc of the line before>" per
// line (older versions wrote "<file name>;<line number>", read once and rewritten).
std::filesystem::path CursorPath(const std::filesystem::path& journalDir);

// The size of every journal file now (metadata only): where a feed switched on starts.
using TJournalEnds = std::map<std::string, std::uint64_t>;

struct TJournalLineRef {
    std::string File;       // "journal-2026-12.csv"
    std::uint64_t End = 0;  // byte offset just after the line's CR LF
    std::string Text;       // without its CR LF
    // For a journal record: "20261209T234539" and k, 1 + the file's earlier records of the
    // same moment; empty for the header and for lines that are no record.
    std::string Moment;
    int K = 0;
};

struct TFileCursor {
    std::uint64_t Offset = 0;  // just after the last acknowledged line
    std::uint32_t Crc = 0;     // of that line's bytes (without CR LF); 0 at offset 0
    bool operator==(const TFileCursor&) const = default;
};

class TJournalFeed {
  public:
    explicit TJournalFeed(std::filesystem::path journalDir);

    // True when a cursor file exists: the feed was on before.
    static bool HasCursor(const std::filesystem::path& journalDir);
    static TJournalEnds Ends(const std::filesystem::path& journalDir);
    // The cursor file removed: the next Open starts at the journal's end. Any thread, while no
    // feed runs on that folder.
    static void ForgetCursor(const std::filesystem::path& journalDir);

    // Reads the cursor; without one, every file starts after its last whole line within ends
    // (only the files' tails are read). A cursor that cannot be saved keeps working in memory.
    void Open(const TJournalEnds& ends);

    // Up to max whole lines (ended by CR LF) after those already handed out, oldest file first.
    std::vector<TJournalLineRef> Next(std::size_t max);
    // Lines handed out and not acknowledged are handed out again, from the cursor, which is
    // checked against the files that changed (a lost connection, a refused piece).
    void Rewind();
    // The line is acknowledged; the cursor moves over every line before it that is too.
    void Acknowledge(const std::string& file, std::uint64_t end);
    // Writes the cursor when it moved; atomic, so a power loss leaves the old or the new one.
    void Save();

    const std::map<std::string, TFileCursor>& Cursor() const { return cursor_; }

  private:
    // How the records' moments stood before a line: k of the next record comes from them.
    struct TMoments {
        std::int64_t Latest = -1;  // the latest moment so far (wall seconds)
        int AtLatest = 0;          // records of that moment
    };
    struct TWaiting {
        std::uint32_t Crc = 0;
        bool Acknowledged = false;
        TMoments Before;
    };
    struct TFileState {
        std::uint64_t ReadEnd = 0;        // lines before it are handed out
        std::uint64_t CheckedSize = 0;    // the file's size when the cursor was last checked
        std::optional<TMoments> Moments;  // at ReadEnd; found by a scan when first needed
        std::map<std::uint64_t, TWaiting> Waiting;  // handed out, by end offset
    };
    std::vector<std::string> Files() const;
    // Checks the cursor of file against its content and sets the reading there.
    void Place(const std::string& file, TFileState& state);
    TMoments MomentsBefore(const std::string& file, std::uint64_t start) const;
    // The line's moment and k, from the moments before it (which it then joins).
    void Identify(const std::string& file, TMoments& moments, std::uint64_t start,
                  TJournalLineRef& line) const;

    std::filesystem::path dir_;
    std::map<std::string, TFileCursor> cursor_;
    std::map<std::string, TFileState> files_;
    bool dirty_ = false;
};

}  // namespace tandrel::feed
