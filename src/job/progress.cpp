#include "job/progress.h"

#include <system_error>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "job/cut_list.h"
#include "job/job_io.h"

namespace tandrel::job {

std::string ProgressFileName(std::string_view listName) {
    std::string name = FileNameOnly(listName);
    if (const auto dot = name.rfind('.'); dot != std::string::npos) {
        const std::string extension = name.substr(dot);
        name.erase(name.find(extension), extension.size());
    }
    return name + ".crc";
}

bool ResetProgress(const std::filesystem::path& file, std::uint32_t crc, std::string* failure) {
    std::string why;
    if (file.empty()) {
        why = "список не загружен"_cp1251;
    } else if (io::WriteWhole(file, std::to_string(crc) + "\r\n", why)) {
        return true;
    }
    if (failure) *failure = why;
    return false;
}

bool AppendProgress(const TJobState& state, std::int32_t row, std::string* failure) {
    std::string why;
    if (state.ProgressFile.empty()) {
        why = "список не загружен"_cp1251;
    } else if (io::AppendFlushed(state.ProgressFile, std::to_string(row) + "\r\n", why)) {
        return true;
    }
    if (failure) *failure = why;
    return false;
}

TProgressRead ReadProgress(const std::filesystem::path& file, std::uint32_t crc,
                           std::span<SizeRow> rows, std::int32_t& remaining) {
    TProgressRead result;
    std::string content, failure;
    std::error_code ec;
    const bool exists = std::filesystem::exists(file, ec);
    if (exists && !io::ReadAll(file, content, failure)) {
        // Unreadable for now (locked, no permission): restarting it would lose its rows.
        result.Problem = failure;
        return result;
    }

    io::TLineReader lines(content);
    std::string_view line;
    if (!exists || !lines.Next(line) || line != std::to_string(crc)) {
        if (!ResetProgress(file, crc, &failure)) result.Problem = failure;
        return result;
    }
    result.Matched = true;
    const auto rowCount = static_cast<std::int32_t>(rows.size()) - 1;
    while (lines.Next(line)) {
        std::int32_t n = 0;
        // Hand-edited lines that name no row of this list change nothing.
        if (line.empty() || !TryStrToInt32(line, n) || n < 1 || n > rowCount) continue;
        auto& row = rows[static_cast<std::size_t>(n)];
        if (!row.Done) {
            row.Done = true;
            --remaining;
            ++result.Marked;
        }
    }
    // Cut a torn line off, or the next append would glue its number onto it.
    if (!io::CutTornLine(file, content, failure)) result.Problem = failure;
    return result;
}

}  // namespace tandrel::job
