#pragma once
// The journal as the feed's source of pieces: its whole lines after the last one the broker
// acknowledged, and the cursor that keeps that line per journal file across restarts.
// Feed thread only, except the static ForgetCursor.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tandrel::feed {

// "journal-feed.txt" beside the journal: "<file name>;<last acknowledged line>" per line.
std::filesystem::path CursorPath(const std::filesystem::path& journalDir);

struct TJournalLineRef {
    std::string File;         // "journal-2026-12.csv"
    std::int64_t Number = 0;  // the header is line 1
    std::string Text;         // without its CR LF
};

class TJournalFeed {
  public:
    explicit TJournalFeed(std::filesystem::path journalDir);

    // Reads the cursor; without one (the feed was off, or never on) every journal line already
    // written counts as sent. A cursor that cannot be saved keeps working in memory.
    void Open();
    // The cursor file removed: the next Open starts at the journal's end. Any thread, while no
    // feed runs on that folder.
    static void ForgetCursor(const std::filesystem::path& journalDir);

    // Up to max whole lines (ended by CR LF) after those already handed out, oldest file first.
    std::vector<TJournalLineRef> Next(std::size_t max);
    // Lines handed out and not acknowledged are handed out again (a lost connection).
    void Rewind();
    // The line is acknowledged; the cursor moves over every line before it that is too.
    void Acknowledge(const std::string& file, std::int64_t number);
    // Writes the cursor when it moved; atomic, so a power loss leaves the old or the new one.
    void Save();

    const std::map<std::string, std::int64_t>& Cursor() const { return cursor_; }

  private:
    struct TFileState {
        std::int64_t Sent = 0;                 // lines handed out
        std::uint64_t SentEnd = 0;             // byte offset just after line Sent
        std::map<std::int64_t, bool> Waiting;  // handed out: acknowledged?
    };
    std::vector<std::string> Files() const;
    // Positions state at the cursor's line of file; false when the file is shorter.
    void Seek(const std::string& file, TFileState& state);
    std::int64_t WholeLines(const std::string& file) const;

    std::filesystem::path dir_;
    std::map<std::string, std::int64_t> cursor_;
    std::map<std::string, TFileState> files_;
    bool dirty_ = false;
};

}  // namespace tandrel::feed
