#include "job/crc32.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#include "base/cp1251.h"
#include "job/job_io.h"

namespace tandrel::job {
namespace {
// One buffer for every call: the list is read once more at every load, without an allocation.
char gBuffer[32768];

// The standard streams report failures through errno on every platform; the operator reads
// Russian.
std::string FailureText(int code, const char* fallback) {
    switch (code) {
        case 0:
            return Utf8ToCp1251(fallback);
        case ENOENT:
            return "файл не найден"_cp1251;
        case EACCES:
        case EPERM:
            return "нет доступа к файлу"_cp1251;
        case EISDIR:
            return "это папка, а не файл"_cp1251;
        case EBUSY:
            return "файл занят другой программой"_cp1251;
        case EIO:
            return "ошибка ввода-вывода"_cp1251;
        default:
            return Utf8ToCp1251(std::generic_category().message(code));
    }
}
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
            failure = FailureText(errno, "не удалось открыть файл");
        }
        while (opened) {
            in.read(gBuffer, sizeof gBuffer);
            const auto n = static_cast<std::uint16_t>(in.gcount());
            if (n > 0) crc = UpdateCrc32(crc, gBuffer, n);
            if (n == 0 || in.eof()) break;
        }
    } catch (const std::exception&) {
        failure = FailureText(errno, "ошибка чтения файла");
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
