#include "job/list_encoding.h"

#include "base/cp1251.h"

namespace tandrel::job {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool HasCp1251(char32_t code) {
    return code == '?' || UnicodeToCp1251(code) != '?';
}

}  // namespace

bool IsUtf8List(std::string_view bytes) {
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) return true;
    bool multiByte = false;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t start = i;
        const char32_t code = NextUtf8(bytes, i);
        // A malformed sequence gives U+FFFD too, never from the three bytes that encode it.
        if (code == 0xFFFD && bytes.substr(start, i - start) != "\xEF\xBF\xBD") return false;
        multiByte = multiByte || code > 0x7F;
    }
    return multiByte;
}

TListText ListText(std::string bytes) {
    TListText out;
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        const bool little = bytes[0] == '\xFF';
        std::u16string units;
        units.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]);
            const auto b = static_cast<unsigned char>(bytes[i + 1]);
            units += static_cast<char16_t>(little ? a | b << 8 : b | a << 8);
        }
        for (std::size_t i = 0; i < units.size(); ++i) {
            const char16_t u = units[i];
            const bool pair = u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() &&
                              units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
            i += pair;
            if (pair || !HasCp1251(u)) ++out.Replaced;
        }
        out.Utf8 = out.Utf16 = true;
        out.Text = Utf16ToCp1251(units);
        return out;
    }
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
