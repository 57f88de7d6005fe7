#include "feed/journal_feed.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "base/error.h"
#include "base/files.h"

namespace tandrel::feed {
namespace {

// "journal-2026-12.csv", the journal's own month files and nothing else.
bool IsJournalName(const std::string& name) {
    if (name.size() != 19 || name.rfind("journal-", 0) != 0 || name.substr(15) != ".csv" ||
        name[12] != '-')
        return false;
    for (const std::size_t i : {8u, 9u, 10u, 11u, 13u, 14u})
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

// The bytes of the file from offset on; empty when it cannot be read.
std::string ReadFrom(const std::filesystem::path& path, std::uint64_t offset) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes;
}

}  // namespace

std::filesystem::path CursorPath(const std::filesystem::path& journalDir) {
    return journalDir / "journal-feed.txt";
}

TJournalFeed::TJournalFeed(std::filesystem::path journalDir) : dir_(std::move(journalDir)) {}

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

std::int64_t TJournalFeed::WholeLines(const std::string& file) const {
    const std::string bytes = ReadFrom(dir_ / file, 0);
    std::int64_t lines = 0;
    for (std::size_t at = bytes.find("\r\n"); at != std::string::npos;
         at = bytes.find("\r\n", at + 2))
        ++lines;
    return lines;
}

void TJournalFeed::Open() {
    cursor_.clear();
    files_.clear();
    const auto bytes = ReadWholeFile(CursorPath(dir_));
    if (!bytes) {
        // The feed has just been switched on: what the journal holds was written without it.
        for (const std::string& file : Files()) cursor_[file] = WholeLines(file);
        dirty_ = true;
        Save();
        return;
    }
    std::size_t start = 0;
    while (start < bytes->size()) {
        std::size_t end = bytes->find('\n', start);
        if (end == std::string::npos) end = bytes->size();
        std::string line = bytes->substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t semicolon = line.find(';');
        if (semicolon == std::string::npos || !IsJournalName(line.substr(0, semicolon))) continue;
        try {
            const long long number = std::stoll(line.substr(semicolon + 1));
            if (number >= 0) cursor_[line.substr(0, semicolon)] = number;
        } catch (const std::exception&) {
            // A damaged line: that file is sent from its start, twice rather than never.
        }
    }
}

void TJournalFeed::ForgetCursor(const std::filesystem::path& journalDir) {
    std::error_code ec;
    std::filesystem::remove(CursorPath(journalDir), ec);
}

void TJournalFeed::Seek(const std::string& file, TFileState& state) {
    const std::string bytes = ReadFrom(dir_ / file, 0);
    const auto known = cursor_.find(file);
    const std::int64_t target = known == cursor_.end() ? 0 : known->second;
    state = {};
    std::size_t at = 0;
    while (state.Sent < target) {
        const std::size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) break;
        at = end + 2;
        ++state.Sent;
    }
    state.SentEnd = at;
    if (state.Sent < target) {
        // The file is shorter than the cursor says (replaced by hand): go on from its end.
        cursor_[file] = state.Sent;
        dirty_ = true;
    }
}

std::vector<TJournalLineRef> TJournalFeed::Next(std::size_t max) {
    std::vector<TJournalLineRef> lines;
    for (const std::string& file : Files()) {
        if (lines.size() >= max) break;
        auto [it, fresh] = files_.try_emplace(file);
        TFileState& state = it->second;
        if (fresh) Seek(file, state);
        std::error_code ec;
        const std::uint64_t size = std::filesystem::file_size(dir_ / file, ec);
        if (ec || size == state.SentEnd) continue;
        if (size < state.SentEnd) {
            Seek(file, state);  // cut short by someone else
            continue;
        }
        const std::string bytes = ReadFrom(dir_ / file, state.SentEnd);
        std::size_t at = 0;
        while (lines.size() < max) {
            const std::size_t end = bytes.find("\r\n", at);
            if (end == std::string::npos) break;  // a line still being written waits
            lines.push_back({file, ++state.Sent, bytes.substr(at, end - at)});
            state.Waiting[state.Sent] = false;
            at = end + 2;
        }
        state.SentEnd += at;
    }
    return lines;
}

void TJournalFeed::Rewind() {
    files_.clear();
}

void TJournalFeed::Acknowledge(const std::string& file, std::int64_t number) {
    const auto it = files_.find(file);
    if (it == files_.end()) return;
    auto& waiting = it->second.Waiting;
    if (const auto line = waiting.find(number); line != waiting.end()) line->second = true;
    while (!waiting.empty() && waiting.begin()->second) {
        cursor_[file] = waiting.begin()->first;
        waiting.erase(waiting.begin());
        dirty_ = true;
    }
}

void TJournalFeed::Save() {
    if (!dirty_) return;
    std::string text;
    for (const auto& [file, line] : cursor_) text += file + ";" + std::to_string(line) + "\r\n";
    try {
        WriteFileAtomic(CursorPath(dir_), text);
        dirty_ = false;
    } catch (const std::exception&) {
        // Tried again at the next acknowledgement; until then a restart may send lines twice.
    }
}

}  // namespace tandrel::feed
