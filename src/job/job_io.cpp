#include "job/job_io.h"

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"

namespace tandrel::job::io {

std::filesystem::path ToPath(std::string_view cp1251Name) {
    return Cp1251ToPath(cp1251Name);
}

bool ReadAll(const std::filesystem::path& file, std::string& content, std::string& failure) {
    auto bytes = ReadWholeFile(file);
    if (!bytes) {
        failure = "не удалось открыть файл"_cp1251;
        return false;
    }
    content = std::move(*bytes);
    return true;
}

bool WriteWhole(const std::filesystem::path& file, std::string_view bytes, std::string& failure) {
    try {
        WriteFileAtomic(file, bytes);
        return true;
    } catch (const Exception& e) {
        failure = e.Message();
        return false;
    }
}

bool AppendFlushed(const std::filesystem::path& file, std::string_view bytes,
                   std::string& failure) {
    try {
        AppendAndFlush(file, bytes);
        return true;
    } catch (const Exception& e) {
        failure = e.Message();
        return false;
    }
}

}  // namespace tandrel::job::io
