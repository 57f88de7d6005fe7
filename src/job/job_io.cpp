#include "job/job_io.h"

#include <fstream>
#include <iterator>

#include "base/cp1251.h"

namespace tandrel::job::io {

std::filesystem::path ToPath(std::string_view cp1251Name) {
    const std::string utf8 = Cp1251ToUtf8(cp1251Name);
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool ReadAll(const std::filesystem::path& file, std::string& content, std::string& failure) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        failure = "не удалось открыть файл"_cp1251;
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), {});
    return true;
}

bool WriteWhole(const std::filesystem::path& file, std::string_view bytes, std::string& failure) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) failure = "не удалось записать файл"_cp1251;
    return static_cast<bool>(out);
}

bool AppendFlushed(const std::filesystem::path& file, std::string_view bytes,
                   std::string& failure) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) failure = "не удалось дописать файл"_cp1251;
    return static_cast<bool>(out);
}

}  // namespace tandrel::job::io
