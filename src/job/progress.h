#pragma once
// The progress file of a cut list: its first line is the list file's CRC-32 in decimal, then one
// row number per line, every line ended by CR LF. A list loaded again marks the recorded rows
// done; a changed list (another CRC) starts the file afresh. Main thread only.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "job/job_state.h"

namespace tandrel::job {

// The progress file's name for a list (no directory): the name without directory, its extension
// (from the last dot) removed at its first occurrence, then ".crc". plan.txt -> plan.crc,
// a.txt.b.txt -> a.b.txt.crc, plan -> plan.crc.
std::string ProgressFileName(std::string_view listName);

struct TProgressRead {
    bool Matched = false;     // the file existed and its first line was the CRC
    std::int32_t Marked = 0;  // rows newly marked done
    std::string Problem;      // the file had to be written and could not be: why (Windows-1251)
};

// Marks the rows recorded in file done: rows[i] is row i (rows[0] unused), remaining drops once
// per row newly marked. Numbers outside the rows and lines that are no number are skipped; a last
// line without its line end (an append cut short) is ignored and cut off the file, so that the
// next append starts a line of its own. A missing file, or one whose first line is not exactly
// crc in decimal, is started afresh with the CRC line.
TProgressRead ReadProgress(const std::filesystem::path& file, std::uint32_t crc,
                           std::span<SizeRow> rows, std::int32_t& remaining);

// Creates or truncates file to the single line of crc. Returns false (failure set) when it could
// not be written.
bool ResetProgress(const std::filesystem::path& file, std::uint32_t crc, std::string* failure);

// Appends the row number to the state's progress file and flushes it to the disk before it
// returns. Returns false (failure set) when no list is loaded or the file could not be written.
bool AppendProgress(const TJobState& state, std::int32_t row, std::string* failure);

}  // namespace tandrel::job
