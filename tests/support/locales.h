#pragma once
// Named locales for the tests, also on a fresh machine that has none generated: the system's
// when it has the locale, else one compiled with localedef (from the sources of Debian's
// "locales" package) into a folder of the temporary directory, which LOCPATH then names.
// POSIX only.

#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace tandrel::testing {

inline bool LocaleWorks(const std::string& name) {
    const locale_t locale = newlocale(LC_ALL_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return false;
    freelocale(locale);
    return true;
}

// Makes the locale name ("ps_AF.UTF-8") usable by this process. Returns "" when it is, else
// why not, for the test's skip message. The C library remembers a name it once failed to find,
// so the locale is made before it is ever asked for, not after a failed look-up.
inline std::string ProvideLocale(const std::string& name) {
    if (name == "C" || name == "POSIX") return {};
    const auto dot = name.find('.');
    const std::string language = name.substr(0, dot);
    const std::string charmap = dot == std::string::npos ? "UTF-8" : name.substr(dot + 1);
    std::error_code ec;
    const auto dir = std::filesystem::temp_directory_path(ec) / "tandrel-locales";
    std::filesystem::create_directories(dir, ec);
    const auto target = dir / name;
    int status = 0;
    if (!std::filesystem::exists(target, ec)) {
        // Made beside and renamed, so that test programs running at once never read half a
        // locale.
        const auto partial = dir / (name + ".part-" + std::to_string(getpid()));
        const std::string command = "localedef -c -i '" + language + "' -f '" + charmap + "' '" +
                                    partial.string() + "' >/dev/null 2>&1";
        status = std::system(command.c_str());
        std::filesystem::rename(partial, target, ec);
        std::filesystem::remove_all(partial, ec);
    }
    // The system's own locales are still found after the folder.
    if (std::filesystem::exists(target, ec)) setenv("LOCPATH", dir.c_str(), 1);
    if (LocaleWorks(name)) return {};
    return "the locale " + name +
           " is not installed and localedef (Debian package locales) could not make it (status " +
           std::to_string(status) + ")";
}

}  // namespace tandrel::testing
