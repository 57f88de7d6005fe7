#pragma once
// Every byte on the lines, one a line: "<monotonic µs> <direction> <hex> <character>", with
// direction "dev>" (to the program), "dev<" (from it) or "prn<" (to the printer).
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tandrel::sim {

class ByteLog {
  public:
    ByteLog() = default;
    // Raises std::system_error when the file cannot be created.
    explicit ByteLog(const std::string& path);
    ByteLog(const ByteLog&) = delete;
    ByteLog& operator=(const ByteLog&) = delete;
    ~ByteLog();
    void Write(std::string_view direction, std::string_view bytes, std::int64_t nowUs);

  private:
    std::FILE* file_ = nullptr;
};

}  // namespace tandrel::sim
