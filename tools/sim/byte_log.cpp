#include "sim/byte_log.h"

#include <cerrno>
#include <system_error>

namespace tandrel::sim {

ByteLog::ByteLog(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {
    if (!file_) throw std::system_error(errno, std::generic_category(), path);
}

ByteLog::~ByteLog() {
    if (file_) std::fclose(file_);
}

void ByteLog::Write(std::string_view direction, std::string_view bytes, std::int64_t nowUs) {
    if (!file_ || bytes.empty()) return;
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        std::fprintf(file_, "%lld %.*s %02X %c\n", static_cast<long long>(nowUs),
                     static_cast<int>(direction.size()), direction.data(), b,
                     b > 32 && b < 127 ? c : '.');
    }
    // Flushed at once, so a test can read what has crossed so far.
    std::fflush(file_);
}

}  // namespace tandrel::sim
