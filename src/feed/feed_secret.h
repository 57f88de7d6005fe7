#pragma once
// The station's broker password: never in nastr.dat, but in "mqtt.key" beside it, protected for
// the machine's user (Windows: DPAPI; elsewhere a file its owner alone may read). Any thread.

#include <filesystem>
#include <optional>
#include <string>

namespace tandrel::feed {

std::filesystem::path PasswordPath(const std::filesystem::path& programDir);

// Stores the password (its bytes as given); an empty one removes the file. Raises
// tandrel::Exception with the reason (Windows-1251) when it cannot be kept.
void StorePassword(const std::filesystem::path& programDir, const std::string& password);

// The stored password, empty when none is stored; nothing when the file is there but cannot be
// read back (another user's, damaged).
std::optional<std::string> LoadPassword(const std::filesystem::path& programDir);

}  // namespace tandrel::feed
