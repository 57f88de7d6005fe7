#include "job/crc32.h"

#include <cerrno>
#include <fstream>

#include "base/cp1251.h"
#include "base/files.h"
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
    bool opened = false;
    errno = 0;
    try {
        std::ifstream in;
        in.exceptions(std::ios::badbit);  // a read error of the system raises; the end does not
        in.open(io::ToPath(fileName), std::ios::binary);
        opened = in.is_open();
        if (!opened) {
            failure = errno != 0 ? SystemErrorText(errno) : "не удалось открыть файл"_cp1251;
        }
        while (opened) {
            in.read(gBuffer, sizeof gBuffer);
            const auto n = static_cast<std::uint16_t>(in.gcount());
            if (n > 0) crc = UpdateCrc32(crc, gBuffer, n);
            if (n == 0 || in.eof()) break;
        }
    } catch (const std::exception&) {
        failure = errno != 0 ? SystemErrorText(errno) : "ошибка чтения файла"_cp1251;
    }
    TFileCrc result;
    result.Crc = ~crc;
    result.Ok = failure.empty();
    if (!result.Ok) {
        result.Crc = opened ? ~crc : 0;
        result.Message = "При подсчёте контрольной суммы файла ["_cp1251 + fileName +
                         "] произошла ошибка ["_cp1251 + failure + "]";
    }
    return result;
}

}  // namespace tandrel::job
