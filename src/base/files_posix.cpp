#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"

namespace tandrel {
namespace {

std::atomic<FileStepHook> g_hook{nullptr};

// The injected error code of a step, or 0.
int Injected(FileStep step, const std::filesystem::path& path) {
    const FileStepHook hook = g_hook.load();
    return hook ? hook(step, path) : 0;
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now, so that a failure of close (a deferred write error) is seen: 0 or an errno.
    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

// Removes the temporary file on every path out unless the rename has consumed it.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (armed_) ::unlink(path_.c_str());
    }
    void Release() { armed_ = false; }

  private:
    std::filesystem::path path_;
    bool armed_ = true;
};

[[noreturn]] void Raise(const char* what, const std::filesystem::path& path, int code) {
    throw Exception(Utf8ToCp1251(what) + " \"" + Utf8ToCp1251(path.native()) +
                    "\": " + SystemErrorText(code));
}

// 0 or the errno of the step.
int WriteAll(int fd, std::string_view bytes, const std::filesystem::path& path) {
    if (int code = Injected(FileStep::Write, path)) return code;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int Flush(int fd, const std::filesystem::path& path) {
    if (int code = Injected(FileStep::Flush, path)) return code;
    return ::fsync(fd) == 0 ? 0 : errno;
}

}  // namespace

void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes) {
    static const char kFailed[] = "Не удалось записать файл";
    std::filesystem::path temporary = path;
    temporary += ".tmp";

    if (int code = Injected(FileStep::Create, temporary)) Raise(kFailed, path, code);
    // A temporary file left by a crash is replaced; O_EXCL then refuses to follow a planted link.
    ::unlink(temporary.c_str());
    Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) Raise(kFailed, path, errno);
    TemporaryFile guard(temporary);

    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(fd.get(), old.st_mode & 07777);
    }
    if (int code = WriteAll(fd.get(), bytes, temporary)) Raise(kFailed, path, code);
    if (int code = Flush(fd.get(), temporary)) Raise(kFailed, path, code);
    if (int code = fd.Close()) Raise(kFailed, path, code);

    if (int code = Injected(FileStep::Rename, path)) {
        if (code == kSimulatedCrash) {
            guard.Release();
            return;
        }
        Raise(kFailed, path, code);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) Raise(kFailed, path, errno);
    guard.Release();

    // Without this the rename itself may be lost at a power failure.
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    if (int code = Injected(FileStep::FlushFolder, folder)) Raise(kFailed, path, code);
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) Raise(kFailed, path, errno);
    if (::fsync(dir.get()) != 0) Raise(kFailed, path, errno);
}

void AppendAndFlush(const std::filesystem::path& path, std::string_view bytes) {
    static const char kFailed[] = "Не удалось дописать файл";
    if (int code = Injected(FileStep::Create, path)) Raise(kFailed, path, code);
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (fd.get() < 0) Raise(kFailed, path, errno);
    if (int code = WriteAll(fd.get(), bytes, path)) Raise(kFailed, path, code);
    if (int code = Flush(fd.get(), path)) Raise(kFailed, path, code);
    if (int code = fd.Close()) Raise(kFailed, path, code);
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    if (Injected(FileStep::ReadWhole, path) != 0) return std::nullopt;
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    std::string bytes;
    // Its size as it stands: growing by doubling would hold twice a large list for a moment.
    if (info.st_size > 0 && info.st_size < (1 << 30))
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[32 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

int ListFolder(const std::filesystem::path& folder, std::vector<TFolderEntry>& entries) {
    if (int code = Injected(FileStep::List, folder)) return code;
    struct TCloser {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    const std::unique_ptr<DIR, TCloser> dir(::opendir(folder.c_str()));
    if (!dir) return errno;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) return errno;
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        TFolderEntry found;
        found.Path = folder / name;
        // Folders, pipes and devices need no status: only a plain file (or a link) is asked.
        if (entry->d_type == DT_REG || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, 0) == 0 &&
                S_ISREG(info.st_mode)) {
                found.Regular = true;
                found.Size = static_cast<std::uintmax_t>(info.st_size);
                found.WriteTimeNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                                    info.st_mtim.tv_nsec;
            }
        }
        entries.push_back(std::move(found));
    }
}

int ReadFileBlocks(const std::filesystem::path& path, std::span<char> buffer,
                   const std::function<void(std::string_view)>& take, bool& opened) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    opened = fd.get() >= 0;
    if (!opened) return errno;
    for (;;) {
        if (int code = Injected(FileStep::Read, path)) return code;
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n == 0) return 0;
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        take(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
}

std::string ReadFailureText(int code) {
    switch (code) {
        case ENOENT:
            return "файл не найден"_cp1251;
        case EACCES:
        case EPERM:
            return "нет доступа к файлу"_cp1251;
        case EISDIR:
            return "это папка, а не файл"_cp1251;
        case EBUSY:
            return "файл занят другой программой"_cp1251;
        case EIO:
            return "ошибка ввода-вывода"_cp1251;
        default:
            return SystemErrorText(code);
    }
}

std::string SystemErrorText(int code) {
    return Utf8ToCp1251(std::generic_category().message(code));
}

std::optional<std::string> PathToCp1251(const std::filesystem::path& path) {
    const std::string& utf8 = path.native();
    std::string text = Utf8ToCp1251(utf8);
    // The round trip fails on invalid UTF-8 as well as on characters outside the code page.
    if (Cp1251ToUtf8(text) != utf8) return std::nullopt;
    return text;
}

std::filesystem::path Cp1251ToPath(std::string_view cp1251) {
    return std::filesystem::path(Cp1251ToUtf8(cp1251));
}

FileStepHook SetFileStepHook(FileStepHook hook) {
    return g_hook.exchange(hook);
}

}  // namespace tandrel
