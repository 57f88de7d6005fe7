#include "job/crc32.h"

#include <algorithm>

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
    return FileCrc32(io::ToPath(fileName), fileName);
}

TFileCrc FileCrc32(const std::filesystem::path& file, const std::string& shownName) {
    std::uint32_t crc = 0xFFFFFFFFu;
    bool opened = false;
    // Through the file layer, whose test hook can make a read fail.
    const int code = ReadFileBlocks(
        file, gBuffer,
        [&crc](std::string_view block) {
            // A block is at most the 32 KB of the buffer.
            crc = UpdateCrc32(crc, block.data(), static_cast<std::uint16_t>(block.size()));
        },
        opened);
    TFileCrc result;
    result.Ok = code == 0;
    result.Crc = opened ? ~crc : 0;
    if (!result.Ok) {
        result.Message = "При подсчёте контрольной суммы файла ["_cp1251 + shownName +
                         "] произошла ошибка ["_cp1251 + ReadFailureText(code) + "]";
    }
    return result;
}

TFileCrc BytesCrc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    while (!bytes.empty()) {
        const std::size_t block = std::min<std::size_t>(bytes.size(), 0x8000);
        crc = UpdateCrc32(crc, bytes.data(), static_cast<std::uint16_t>(block));
        bytes.remove_prefix(block);
    }
    TFileCrc result;
    result.Ok = true;
    result.Crc = ~crc;
    return result;
}

}  // namespace tandrel::job
