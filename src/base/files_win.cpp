#include <windows.h>

#include <atomic>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"

namespace tandrel {
namespace {

std::atomic<FileStepHook> g_hook{nullptr};

int Injected(FileStep step, const std::filesystem::path& path) {
    const FileStepHook hook = g_hook.load();
    return hook ? hook(step, path) : 0;
}

std::string WideToCp1251(const std::wstring& wide) {
    return Utf16ToCp1251(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // 0 or the Win32 error of closing.
    int Close() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) ? 0 : static_cast<int>(GetLastError());
    }

  private:
    HANDLE handle_;
};

class TemporaryFile {
  public:
    explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (armed_) DeleteFileW(path_.c_str());
    }
    void Release() { armed_ = false; }

  private:
    std::filesystem::path path_;
    bool armed_ = true;
};

[[noreturn]] void Raise(const char* what, const std::filesystem::path& path, int code) {
    throw Exception(Utf8ToCp1251(what) + " \"" + WideToCp1251(path.native()) +
                    "\": " + SystemErrorText(code));
}

int LastError() {
    return static_cast<int>(GetLastError());
}

int WriteAll(HANDLE file, std::string_view bytes, const std::filesystem::path& path) {
    if (int code = Injected(FileStep::Write, path)) return code;
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return LastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes.remove_prefix(written);
    }
    return 0;
}

int Flush(HANDLE file, const std::filesystem::path& path) {
    if (int code = Injected(FileStep::Flush, path)) return code;
    return FlushFileBuffers(file) ? 0 : LastError();
}

}  // namespace

void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes) {
    static const char kFailed[] = "Не удалось записать файл";
    std::filesystem::path temporary = path;
    temporary += L".tmp";

    if (int code = Injected(FileStep::Create, temporary)) Raise(kFailed, path, code);
    // CREATE_ALWAYS replaces a temporary file left by a crash.
    Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) Raise(kFailed, path, LastError());
    TemporaryFile guard(temporary);

    if (int code = WriteAll(file.get(), bytes, temporary)) Raise(kFailed, path, code);
    if (int code = Flush(file.get(), temporary)) Raise(kFailed, path, code);
    if (int code = file.Close()) Raise(kFailed, path, code);

    if (int code = Injected(FileStep::Rename, path)) {
        if (code == kSimulatedCrash) {
            guard.Release();
            return;
        }
        Raise(kFailed, path, code);
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Raise(kFailed, path, LastError());
    }
    guard.Release();
}

void AppendAndFlush(const std::filesystem::path& path, std::string_view bytes) {
    static const char kFailed[] = "Не удалось дописать файл";
    if (int code = Injected(FileStep::Create, path)) Raise(kFailed, path, code);
    Handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) Raise(kFailed, path, LastError());
    if (int code = WriteAll(file.get(), bytes, path)) Raise(kFailed, path, code);
    if (int code = Flush(file.get(), path)) Raise(kFailed, path, code);
    if (int code = file.Close()) Raise(kFailed, path, code);
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    if (Injected(FileStep::ReadWhole, path) != 0) return std::nullopt;
    Handle file(CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
    std::string bytes;
    // Its size as it stands: growing by doubling would hold twice a large list for a moment.
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 && size.QuadPart < (1 << 30))
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    char buffer[32 * 1024];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) return std::nullopt;
        if (n == 0) break;
        bytes.append(buffer, n);
    }
    return bytes;
}

int ListFolder(const std::filesystem::path& folder, std::vector<TFolderEntry>& entries) {
    if (int code = Injected(FileStep::List, folder)) return code;
    WIN32_FIND_DATAW data{};
    // The basic level leaves out the short names, and a large fetch asks a share for more
    // entries per round trip.
    const HANDLE find = FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(error);  // a drive's empty root
    }
    struct TFindCloser {
        HANDLE find;
        ~TFindCloser() { FindClose(find); }
    } closer{find};
    // FILETIME counts 100 ns from 1601-01-01.
    constexpr std::int64_t kUnixEpoch = 116444736000000000;
    do {
        const std::wstring_view name(data.cFileName);
        if (name == L"." || name == L"..") continue;
        TFolderEntry found;
        found.Path = folder / name;
        found.Regular =
            (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
        if (found.Regular) {
            found.Size =
                (static_cast<std::uintmax_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            const std::int64_t ticks = static_cast<std::int64_t>(
                (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                data.ftLastWriteTime.dwLowDateTime);
            found.WriteTimeNs = (ticks - kUnixEpoch) * 100;
        }
        entries.push_back(std::move(found));
    } while (FindNextFileW(find, &data));
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? 0 : static_cast<int>(error);
}

int ReadFileBlocks(const std::filesystem::path& path, std::span<char> buffer,
                   const std::function<void(std::string_view)>& take, bool& opened) {
    Handle file(CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    opened = file.valid();
    if (!opened) return LastError();
    const DWORD block = buffer.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(buffer.size());
    for (;;) {
        if (int code = Injected(FileStep::Read, path)) return code;
        DWORD n = 0;
        if (!ReadFile(file.get(), buffer.data(), block, &n, nullptr)) return LastError();
        if (n == 0) return 0;
        take(std::string_view(buffer.data(), n));
    }
}

std::string ReadFailureText(int code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "файл не найден"_cp1251;
        case ERROR_ACCESS_DENIED:
            return "нет доступа к файлу"_cp1251;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "файл занят другой программой"_cp1251;
        case ERROR_READ_FAULT:
        case ERROR_CRC:
            return "ошибка ввода-вывода"_cp1251;
        default:
            return SystemErrorText(code);
    }
}

std::string SystemErrorText(int code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    if (text) LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ')) {
        wide.pop_back();
    }
    return WideToCp1251(wide);
}

std::optional<std::string> PathToCp1251(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    std::string text = WideToCp1251(wide);
    const std::u16string back = Cp1251ToUtf16(text);
    if (back.size() != wide.size() ||
        !std::equal(back.begin(), back.end(), wide.begin(),
                    [](char16_t a, wchar_t b) { return a == static_cast<char16_t>(b); })) {
        return std::nullopt;
    }
    return text;
}

std::filesystem::path Cp1251ToPath(std::string_view cp1251) {
    const std::u16string wide = Cp1251ToUtf16(cp1251);
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
}

FileStepHook SetFileStepHook(FileStepHook hook) {
    return g_hook.exchange(hook);
}

}  // namespace tandrel
