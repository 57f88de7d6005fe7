#include "job/list_encoding.h"

#include "base/cp1251.h"

namespace tandrel::job {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsCyrillicLetter(char32_t code) {
    return code >= 0x0400 && code <= 0x045F;
}

bool HasCp1251(char32_t code) {
    return code == '?' || UnicodeToCp1251(code) != '?';
}

}  // namespace

bool IsUtf8List(std::string_view bytes) {
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) return true;
    bool multiByte = false;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t start = i;
        // A malformed sequence gives U+FFFD, which is neither Cyrillic nor in Windows-1251.
        const char32_t code = NextUtf8(bytes, i);
        if (i - start > 1 || code > 0x7F) {
            if (!IsCyrillicLetter(code) && !HasCp1251(code)) return false;
            multiByte = true;
        }
    }
    return multiByte;
}

TListText ListText(std::string bytes) {
    TListText out;
    if (!IsUtf8List(bytes)) {
        out.Text = std::move(bytes);
        return out;
    }
    out.Utf8 = true;
    std::string_view utf8 = bytes;
    if (utf8.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        utf8.remove_prefix(kByteOrderMark.size());
    // Counted as Utf8ToCp1251 replaces them: a file with the mark may still hold malformed bytes.
    for (std::size_t i = 0; i < utf8.size();)
        if (!HasCp1251(NextUtf8(utf8, i))) ++out.Replaced;
    out.Text = Utf8ToCp1251(utf8);
    return out;
}

}  // namespace tandrel::job
