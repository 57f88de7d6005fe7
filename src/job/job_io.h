#pragma once
// The few file operations of the job, on top of the core's file layer.

#include <filesystem>
#include <string>
#include <string_view>

namespace tandrel::job::io {

// A Windows-1251 file name as the platform's path.
std::filesystem::path ToPath(std::string_view cp1251Name);

// Each returns false with a readable failure text (Windows-1251) instead of raising.
bool ReadAll(const std::filesystem::path& file, std::string& content, std::string& failure);
bool WriteWhole(const std::filesystem::path& file, std::string_view bytes, std::string& failure);
bool AppendFlushed(const std::filesystem::path& file, std::string_view bytes, std::string& failure);

// The lines of a file that is only ever appended to, line by line: each ends at CR LF, a lone LF
// or a lone CR. Text after the last line end is a line whose append was cut short (a power
// loss): Next never returns it, and once Next has returned false, WholeEnd() is where it begins.
class TLineReader {
  public:
    explicit TLineReader(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line);
    std::size_t WholeEnd() const { return pos_; }
    bool Torn() const { return pos_ < text_.size(); }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Cuts a torn last line off the file whose bytes are content, so that the next append starts a
// line of its own; nothing happens when the last line is whole. Returns false with the failure
// when the file could not be rewritten.
bool CutTornLine(const std::filesystem::path& file, std::string_view content, std::string& failure);

}  // namespace tandrel::job::io
