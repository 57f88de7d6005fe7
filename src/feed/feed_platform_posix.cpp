#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "feed/feed_platform.h"

namespace tandrel::feed {
std::string ComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string NativePath(const std::filesystem::path& path) {
    return path.string();
}

// The file's mode keeps the secret: the bytes are stored as they are.
std::optional<std::string> ProtectSecret(const std::string& secret) {
    return secret;
}

std::optional<std::string> UnprotectSecret(const std::string& sealed) {
    return sealed;
}

void RestrictToOwner(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;  // the write that follows says why
    ::fchmod(fd, 0600);  // an older file may have had more
    ::close(fd);
}

TLocalNow LocalNowWithOffset() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return {};
    return {FromTm(local), static_cast<std::int32_t>(local.tm_gmtoff)};
}

std::int32_t LocalOffsetSeconds(const job::TLocalTime& at) {
    std::tm tm = ToTm(at);
    if (mktime(&tm) == static_cast<std::time_t>(-1)) return 0;
    return static_cast<std::int32_t>(tm.tm_gmtoff);
}

}  // namespace tandrel::feed
