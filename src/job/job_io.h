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

}  // namespace tandrel::job::io
