#include "job/list_encoding.h"

#include "base/cp1251.h"

namespace tandrel::job {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// One well-formed UTF-8 sequence at bytes[i] (no overlong forms, no surrogates, nothing past
// U+10FFFF): its code point and length, or length 0 when malformed.
struct TSequence {
    char32_t Code = 0;
    std::size_t Length = 0;
};

TSequence Decode(std::string_view bytes, std::size_t i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t code = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {};
    }
    if (i + length > bytes.size()) return {};
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(bytes[i + k]);
        if (!IsContinuation(b) || (k == 1 && (b < low || b > high))) return {};
        code = (code << 6) | (b & 0x3F);
    }
    return {code, length};
}

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
        const TSequence s = Decode(bytes, i);
        if (s.Length == 0) return false;
        if (s.Length > 1) {
            if (!IsCyrillicLetter(s.Code) && !HasCp1251(s.Code)) return false;
            multiByte = true;
        }
        i += s.Length;
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
    // A file with the mark may still hold malformed bytes: each stands for one lost character.
    for (std::size_t i = 0; i < utf8.size();) {
        const TSequence s = Decode(utf8, i);
        if (s.Length == 0 || !HasCp1251(s.Code)) ++out.Replaced;
        i += s.Length == 0 ? 1 : s.Length;
    }
    out.Text = Utf8ToCp1251(utf8);
    return out;
}

}  // namespace tandrel::job
