#pragma once
// CRC-32 of IEEE 802.3 (ZIP, PNG): reflected polynomial 0xEDB88320, preset all ones, final
// complement. It ties a progress file to the exact bytes of its list file.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tandrel::job {

namespace detail {
constexpr std::array<std::uint32_t, 256> MakeCrc32Table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
}  // namespace detail

// The standard 256-entry table, built by the compiler.
inline constexpr std::array<std::uint32_t, 256> Crc32 = detail::MakeCrc32Table();

// The running CRC after count bytes of buffer; neither preset nor complemented here.
std::uint32_t UpdateCrc32(std::uint32_t crc, const void* buffer, std::uint16_t count);

struct TFileCrc {
    std::uint32_t Crc = 0;  // complemented CRC of the bytes read (0 when nothing could be opened)
    bool Ok = false;        // every byte of the file was read
    std::string Message;    // when not Ok: the readable message for the information box
};

// CRC-32 of the whole file named by fileName (Windows-1251), read in blocks through one buffer of
// 32 KB that every call reuses; main thread only for that reason. Raises nothing.
TFileCrc FileCrc32(const std::string& fileName);
// The same for a path; the message names the file as shownName.
TFileCrc FileCrc32(const std::filesystem::path& file, const std::string& shownName);

// The same CRC of bytes already read.
TFileCrc BytesCrc32(std::string_view bytes);

}  // namespace tandrel::job
