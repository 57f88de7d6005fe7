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

bool TLineReader::Next(std::string_view& line) {
    const auto end = text_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) return false;
    line = text_.substr(pos_, end - pos_);
    const bool crlf = text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n';
    pos_ = end + (crlf ? 2 : 1);
    return true;
}

bool CutTornLine(const std::filesystem::path& file, std::string_view content,
                 std::string& failure) {
    TLineReader reader(content);
    std::string_view line;
    while (reader.Next(line)) {
    }
    if (!reader.Torn()) return true;
    return WriteWhole(file, content.substr(0, reader.WholeEnd()), failure);
}

}  // namespace tandrel::job::io
