#include "feed/feed_secret.h"

#include <system_error>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"
#include "feed/feed_platform.h"

namespace tandrel::feed {

std::filesystem::path PasswordPath(const std::filesystem::path& programDir) {
    return programDir / "mqtt.key";
}

void StorePassword(const std::filesystem::path& programDir, const std::string& password) {
    const std::filesystem::path path = PasswordPath(programDir);
    if (password.empty()) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (ec) throw Exception("Пароль не удалён: "_cp1251 + SystemErrorText(ec.value()));
        return;
    }
    const auto sealed = ProtectSecret(password);
    if (!sealed) throw Exception("Пароль не защищён системой"_cp1251);
    RestrictToOwner(path);
    WriteFileAtomic(path, *sealed);
}

std::optional<std::string> LoadPassword(const std::filesystem::path& programDir) {
    const std::filesystem::path path = PasswordPath(programDir);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return std::string();
    const auto sealed = ReadWholeFile(path);
    if (!sealed) return std::nullopt;
    return UnprotectSecret(*sealed);
}

}  // namespace tandrel::feed
