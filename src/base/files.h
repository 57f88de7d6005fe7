#pragma once
// The file layer every subsystem writes through: whole-file replacement that never leaves a
// half-written file, appends that reach the disk at once, whole-file reads, and the conversion
// of paths to and from the Windows-1251 text they are stored as. One implementation per platform.
//
// Every call may run on any thread; calls on different files are independent. WriteFileAtomic
// expects one writer per target at a time (its temporary file has a fixed name beside the target).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel {

// Replaces the file with exactly these bytes. The bytes go to "<name>.tmp" in the same folder,
// which is flushed to disk and then renamed over the target (POSIX: the folder is flushed too).
// An existing target's permissions are kept. Raises tandrel::Exception with a Windows-1251
// message naming the file and the system's reason; on failure the temporary file is removed and
// the target holds its previous bytes whole (or is still missing), except when only the last
// step, the folder's flush, failed: the target then holds the new bytes whole.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes);

// Appends the bytes to the file (created when missing), flushes it to disk and closes it.
// Raises tandrel::Exception like WriteFileAtomic; the file may then hold part of the bytes.
void AppendAndFlush(const std::filesystem::path& path, std::string_view bytes);

// The file's bytes, or nullopt when it is missing, is not a regular file or cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// One entry of a folder, as its listing gives it.
struct TFolderEntry {
    std::filesystem::path Path;
    bool Regular = false;          // a plain file (a link to one counts)
    std::uintmax_t Size = 0;       // regular files only
    std::int64_t WriteTimeNs = 0;  // last write, nanoseconds since 1970-01-01 UTC
};
// The folder's entries with their sizes and write times, "." and ".." left out, in no order.
// POSIX reads the folder and asks each entry's status once; Windows gets names, sizes and times
// together from the listing itself (a share sends them in batches, no call per file). Returns 0
// or the system's error code of the open or of a read of the listing (entries then hold what was
// listed before it). Any thread.
int ListFolder(const std::filesystem::path& folder, std::vector<TFolderEntry>& entries);

// Reads the file from its start in blocks of at most buffer's size and hands each block to take.
// Returns 0 when every byte was read, else the system's error code (errno on POSIX, a Win32 code
// on Windows) of the open or of the read that failed; opened tells which (the blocks before a
// failed read were handed over). Reuses the caller's buffer: no allocation per block.
int ReadFileBlocks(const std::filesystem::path& path, std::span<char> buffer,
                   const std::function<void(std::string_view)>& take, bool& opened);
// Why a file could not be read, in Russian (Windows-1251) for the common reasons and in the
// system's words otherwise.
std::string ReadFailureText(int code);

// The system's text for one of its error codes (errno on POSIX, a Win32 code on Windows), in
// Windows-1251, without a trailing line end.
std::string SystemErrorText(int code);

// The path as Windows-1251 text for storing in a file, or nullopt when the code page cannot
// hold one of its characters. POSIX paths are taken to be UTF-8; Windows paths are wide.
std::optional<std::string> PathToCp1251(const std::filesystem::path& path);
// The path stored as Windows-1251 text.
std::filesystem::path Cp1251ToPath(std::string_view cp1251);

// Test seam. The steps of a write, in the order they happen.
enum class FileStep {
    Create,  // opening the temporary file (WriteFileAtomic) or the file itself (AppendAndFlush)
    Write,   // writing the bytes
    Flush,   // flushing the file to disk (fsync, FlushFileBuffers)
    Rename,  // renaming the temporary file over the target (WriteFileAtomic only)
    FlushFolder,  // flushing the folder after the rename (POSIX WriteFileAtomic only)
    Read,         // reading a block (ReadFileBlocks)
    ReadWhole,    // reading a whole file (ReadWholeFile), before it opens
    List,         // listing a folder (ListFolder)
};
// Returned by a hook at FileStep::Rename: WriteFileAtomic stops there as if the process had died,
// leaving the temporary file as written and the target untouched, and returns without raising.
inline constexpr int kSimulatedCrash = -1;
// Called just before each step with the file the step acts on; 0 lets the step run, any other
// code makes it fail with that system error code, as if the system had refused it. A hook that
// waits before it returns holds the step as a share that stops answering would.
using FileStepHook = int (*)(FileStep step, const std::filesystem::path& path);
// Installs the hook for the whole process (nullptr removes it) and returns the previous one.
// For tests only.
FileStepHook SetFileStepHook(FileStepHook hook);

}  // namespace tandrel
