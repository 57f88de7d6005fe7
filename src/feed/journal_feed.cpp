#include "feed/journal_feed.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "base/files.h"
#include "job/crc32.h"
#include "job/journal.h"

namespace tandrel::feed {
namespace {

constexpr std::size_t kChunk = 64 * 1024;  // read at a time; a longer line grows it

// "journal-2026-12.csv", the journal's own month files and nothing else.
bool IsJournalName(std::string_view name) {
    if (name.size() != 19 || name.substr(0, 8) != "journal-" || name.substr(15) != ".csv" ||
        name[12] != '-')
        return false;
    for (const std::size_t i : {8u, 9u, 10u, 11u, 13u, 14u})
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

std::uint64_t SizeOf(const std::filesystem::path& path) {
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// The bytes [offset, offset + count) of the file, fewer at its end; empty when unreadable.
std::string ReadRange(const std::filesystem::path& path, std::uint64_t offset,
                      std::uint64_t count) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

std::uint32_t LineCrc(std::string_view line) {
    return job::BytesCrc32(line).Crc;
}

// The whole lines of bytes, each with its end offset (relative to bytes).
template <typename Take>
void ForEachLine(std::string_view bytes, Take take) {
    for (std::size_t at = 0;;) {
        const std::size_t end = bytes.find("\r\n", at);
        if (end == std::string_view::npos) return;
        take(bytes.substr(at, end - at), end + 2);
        at = end + 2;
    }
}

// The line that ends (with its CR LF) exactly at offset: its CRC. Nothing when the bytes there
// end no line. Reads back only as far as that line's start.
std::optional<std::uint32_t> CrcOfLineEndingAt(const std::filesystem::path& path,
                                               std::uint64_t offset) {
    if (offset < 2) return std::nullopt;
    for (std::uint64_t back = kChunk;; back *= 2) {
        const std::uint64_t from = offset > back ? offset - back : 0;
        const std::string bytes = ReadRange(path, from, offset - from);
        if (bytes.size() != offset - from || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0)
            return std::nullopt;
        const std::size_t previous = bytes.rfind("\r\n", bytes.size() - 3);
        if (previous != std::string::npos)
            return LineCrc(
                std::string_view(bytes).substr(previous + 2, bytes.size() - previous - 4));
        if (from == 0) return LineCrc(std::string_view(bytes).substr(0, bytes.size() - 2));
    }
}

// Just after the last whole line within the file's first size bytes; read from the tail.
std::uint64_t LastLineEnd(const std::filesystem::path& path, std::uint64_t size) {
    for (std::uint64_t back = kChunk;; back *= 2) {
        const std::uint64_t from = size > back ? size - back : 0;
        const std::string bytes = ReadRange(path, from, size - from);
        const std::size_t end = bytes.rfind("\r\n");
        if (end != std::string::npos) return from + end + 2;
        if (from == 0) return 0;
    }
}

std::optional<std::int64_t> MomentOf(std::string_view line, job::TLocalTime* at = nullptr) {
    const auto record = job::ParseJournalLine(line);
    if (!record) return std::nullopt;
    if (at) *at = record->At;
    return job::WallSeconds(record->At);
}

}  // namespace

std::filesystem::path CursorPath(const std::filesystem::path& journalDir) {
    return journalDir / "journal-feed.txt";
}

TJournalFeed::TJournalFeed(std::filesystem::path journalDir) : dir_(std::move(journalDir)) {}

bool TJournalFeed::HasCursor(const std::filesystem::path& journalDir) {
    std::error_code ec;
    return std::filesystem::exists(CursorPath(journalDir), ec);
}

std::vector<std::string> TJournalFeed::Files() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir_, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (IsJournalName(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());  // the month in the name: oldest first
    return names;
}

TJournalEnds TJournalFeed::Ends(const std::filesystem::path& journalDir) {
    TJournalEnds ends;
    for (const std::string& file : TJournalFeed(journalDir).Files())
        ends[file] = SizeOf(journalDir / file);
    return ends;
}

void TJournalFeed::ForgetCursor(const std::filesystem::path& journalDir) {
    std::error_code ec;
    std::filesystem::remove(CursorPath(journalDir), ec);
}

void TJournalFeed::Open(const TJournalEnds& ends) {
    cursor_.clear();
    files_.clear();
    const auto bytes = ReadWholeFile(CursorPath(dir_));
    if (!bytes) {
        // The feed has just been switched on: what the journal held then was written without it.
        for (const auto& [file, size] : ends) {
            const std::uint64_t end = LastLineEnd(dir_ / file, size);
            cursor_[file] = {end, CrcOfLineEndingAt(dir_ / file, end).value_or(0)};
        }
        dirty_ = true;
        Save();
        return;
    }
    ForEachLine(*bytes + "\r\n", [&](std::string_view line, std::size_t) {
        const std::size_t semicolon = line.find(';');
        if (semicolon == std::string_view::npos || !IsJournalName(line.substr(0, semicolon)))
            return;
        const std::string file(line.substr(0, semicolon));
        std::string_view rest = line.substr(semicolon + 1);
        const bool offset = !rest.empty() && rest.front() == 'b';
        if (offset) rest.remove_prefix(1);
        std::uint64_t number = 0;
        const auto [at, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
        // A damaged line: that file is sent from its start, twice rather than never.
        if (ec != std::errc()) return;
        if (offset) {
            std::uint32_t crc = 0;
            if (*at != ';' ||
                std::from_chars(at + 1, rest.data() + rest.size(), crc, 16).ec != std::errc())
                return;
            cursor_[file] = {number, crc};
            return;
        }
        // The older cursor counted lines: its place is found once by counting them.
        std::uint64_t lines = 0, end = 0;
        std::uint32_t crc = 0;
        ForEachLine(ReadWholeFile(dir_ / file).value_or(std::string()),
                    [&](std::string_view text, std::size_t lineEnd) {
                        if (lines >= number) return;
                        ++lines;
                        end = lineEnd;
                        crc = LineCrc(text);
                    });
        cursor_[file] = {end, crc};
        dirty_ = true;
    });
}

void TJournalFeed::Place(const std::string& file, TFileState& state) {
    const std::filesystem::path path = dir_ / file;
    TFileCursor& cursor = cursor_[file];
    state = {};
    state.CheckedSize = SizeOf(path);
    if (cursor.Offset > 0 && CrcOfLineEndingAt(path, cursor.Offset) != cursor.Crc) {
        // Edited by hand before the cursor: the line last acknowledged is looked for by its
        // content (the nearest copy to where it was), else the file goes again from its start.
        TFileCursor found;
        std::uint64_t distance = UINT64_MAX;
        ForEachLine(ReadWholeFile(path).value_or(std::string()), [&](std::string_view text,
                                                                     std::size_t end) {
            const std::uint64_t d = end > cursor.Offset ? end - cursor.Offset : cursor.Offset - end;
            if (d < distance && LineCrc(text) == cursor.Crc) {
                distance = d;
                found = {end, cursor.Crc};
            }
        });
        cursor = found;
        dirty_ = true;
    }
    state.ReadEnd = cursor.Offset;
}

TJournalFeed::TMoments TJournalFeed::MomentsBefore(const std::string& file,
                                                   std::uint64_t start) const {
    TMoments before;
    ForEachLine(ReadRange(dir_ / file, 0, start), [&](std::string_view text, std::size_t) {
        const auto m = MomentOf(text);
        if (!m || *m < before.Latest) return;
        before.AtLatest = *m == before.Latest ? before.AtLatest + 1 : 1;
        before.Latest = *m;
    });
    return before;
}

void TJournalFeed::Identify(const std::string& file, TMoments& moments, std::uint64_t start,
                            TJournalLineRef& line) const {
    job::TLocalTime at;
    const auto moment = MomentOf(line.Text, &at);
    if (!moment) return;
    if (*moment > moments.Latest) {
        moments = {*moment, 1};
        line.K = 1;
    } else if (*moment == moments.Latest) {
        line.K = ++moments.AtLatest;
    } else {
        // The clock went back (summer time's end, a hand edit): counted over the file.
        line.K = 1;
        ForEachLine(ReadRange(dir_ / file, 0, start), [&](std::string_view text, std::size_t) {
            if (MomentOf(text) == moment) ++line.K;
        });
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", at.Year, at.Month, at.Day,
                  at.Hour, at.Minute, at.Second);
    line.Moment = text;
}

std::vector<TJournalLineRef> TJournalFeed::Next(std::size_t max) {
    std::vector<TJournalLineRef> lines;
    for (const std::string& file : Files()) {
        if (lines.size() >= max) break;
        auto [it, fresh] = files_.try_emplace(file);
        TFileState& state = it->second;
        if (fresh) Place(file, state);
        const std::filesystem::path path = dir_ / file;
        const std::uint64_t size = SizeOf(path);
        if (size < state.ReadEnd) {
            Place(file, state);  // cut short by someone else
            if (size < state.ReadEnd) continue;
        }
        if (size == state.ReadEnd) continue;
        std::string bytes;
        for (std::uint64_t count = kChunk;; count *= 2) {
            bytes = ReadRange(path, state.ReadEnd, count);
            if (bytes.find("\r\n") != std::string::npos || bytes.size() < count) break;
        }
        const std::uint64_t base = state.ReadEnd;
        ForEachLine(bytes, [&](std::string_view text, std::size_t end) {
            if (lines.size() >= max) return;
            TJournalLineRef line{file, base + end, std::string(text), {}, 0};
            if (!state.Moments) state.Moments = MomentsBefore(file, state.ReadEnd);
            state.Waiting[line.End] = {LineCrc(text), false, *state.Moments};
            Identify(file, *state.Moments, state.ReadEnd, line);
            state.ReadEnd = line.End;
            lines.push_back(std::move(line));
        });
    }
    return lines;
}

void TJournalFeed::Rewind() {
    for (auto& [file, state] : files_) {
        const TFileCursor& cursor = cursor_[file];
        const std::uint64_t size = SizeOf(dir_ / file);
        if (size != state.CheckedSize && cursor.Offset > 0 &&
            CrcOfLineEndingAt(dir_ / file, cursor.Offset) != cursor.Crc) {
            Place(file, state);
            continue;
        }
        state.CheckedSize = size;
        if (state.Waiting.empty()) continue;
        state.Moments = state.Waiting.begin()->second.Before;
        state.Waiting.clear();
        state.ReadEnd = cursor.Offset;
    }
}

void TJournalFeed::Acknowledge(const std::string& file, std::uint64_t end) {
    const auto it = files_.find(file);
    if (it == files_.end()) return;
    auto& waiting = it->second.Waiting;
    if (const auto line = waiting.find(end); line != waiting.end())
        line->second.Acknowledged = true;
    while (!waiting.empty() && waiting.begin()->second.Acknowledged) {
        cursor_[file] = {waiting.begin()->first, waiting.begin()->second.Crc};
        waiting.erase(waiting.begin());
        dirty_ = true;
    }
}

void TJournalFeed::Save() {
    if (!dirty_) return;
    std::string text;
    for (const auto& [file, at] : cursor_) {
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(at.Crc));
        text += file + ";b" + std::to_string(at.Offset) + ";" + crc + "\r\n";
    }
    try {
        WriteFileAtomic(CursorPath(dir_), text);
        dirty_ = false;
    } catch (const std::exception&) {
        // Tried again at the next acknowledgement; until then a restart may send lines twice.
    }
}

}  // namespace tandrel::feed
