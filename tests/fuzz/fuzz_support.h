#pragma once
// What the fuzz targets share: a private folder that is the current directory for the whole run
// (a list's progress file is resolved against it), and a stop that names the broken invariant.

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tandrel::fuzz {

// Created on first use, removed at exit or by a later run (one folder per process).
inline const std::filesystem::path& WorkDir() {
    static const std::filesystem::path dir = [] {
        // A memory file system where there is one: every load flushes files to the disk.
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        // libFuzzer ends a timed run with _Exit: clear the folders of runs that are gone.
        const std::string prefix = "tandrel-fuzz-";
        for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) != 0) continue;
            const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                std::filesystem::remove_all(entry.path(), ec);
        }
        auto d = base / (prefix + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        std::filesystem::current_path(d);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::current_path("/", ec);
            std::filesystem::remove_all(WorkDir(), ec);
        });
        return d;
    }();
    return dir;
}

[[noreturn]] inline void Broken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

#define TANDREL_FUZZ_CHECK(cond)                     \
    do {                                             \
        if (!(cond)) ::tandrel::fuzz::Broken(#cond); \
    } while (0)

}  // namespace tandrel::fuzz
