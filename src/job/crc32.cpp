#include "job/crc32.h"

#include <fstream>

#include "base/cp1251.h"
#include "job/job_io.h"

namespace tandrel::job {
namespace {
// One buffer for every call: the list is read once more at every load, without an allocation.
char gBuffer[32768];
}  // namespace

std::uint32_t UpdateCrc32(std::uint32_t crc, const void* buffer, std::uint16_t count) {
    const auto* p = static_cast<const unsigned char*>(buffer);
    for (std::uint16_t i = 0; i < count; ++i) crc = (crc >> 8) ^ Crc32[(crc ^ p[i]) & 0xFFu];
    return crc;
}

TFileCrc FileCrc32(const std::string& fileName) {
    std::uint32_t crc = 0xFFFFFFFFu;
    std::string failure;
    std::ifstream in(io::ToPath(fileName), std::ios::binary);
    if (!in) {
        failure = "не удалось открыть файл"_cp1251;
    } else {
        while (true) {
            in.read(gBuffer, sizeof gBuffer);
            const auto n = static_cast<std::uint16_t>(in.gcount());
            if (n > 0) crc = UpdateCrc32(crc, gBuffer, n);
            if (in.eof()) break;
            if (!in) {
                failure = "ошибка чтения файла"_cp1251;
                break;
            }
        }
    }
    TFileCrc result;
    result.Crc = ~crc;
    result.Ok = failure.empty();
    if (!result.Ok) {
        result.Crc = in.is_open() ? ~crc : 0;
        result.Message = "При подсчёте контрольной суммы файла ["_cp1251 + fileName +
                         "] произошла ошибка ["_cp1251 + failure + "]";
    }
    return result;
}

}  // namespace tandrel::job
