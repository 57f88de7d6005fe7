#include "labels/label_encoding.h"

#include <algorithm>

#include "base/cp1251.h"
#include "labels/label.h"  // UsesFixedLabel

namespace tandrel::labels {
namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool SelectsUtf8(std::string_view zpl) {
    constexpr std::string_view kCommand = "^CI28";
    return std::search(zpl.begin(), zpl.end(), kCommand.begin(), kCommand.end(),
                       [](char a, char b) { return Upper(a) == b; }) != zpl.end();
}

bool SelectsUtf8(const std::vector<std::string>& lines) {
    // Lines are sent back to back, so the command may be split across two of them.
    std::string all;
    for (const auto& line : lines) all += line;
    return SelectsUtf8(all);
}

bool IsValidUtf8(std::string_view text, bool* multiByte) {
    bool longer = false;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t n = 0;
        char32_t code = 0, least = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            n = 2, code = b & 0x1F, least = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            n = 3, code = b & 0x0F, least = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            n = 4, code = b & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < n) return false;
        for (std::size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            code = (code << 6) | (c & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        longer = true;
        i += n;
    }
    if (multiByte) *multiByte = longer;
    return true;
}

bool IsUtf8Template(const std::vector<std::string>& lines) {
    if (!lines.empty() && lines.front().starts_with(kByteOrderMark)) return true;
    bool any = false;
    for (const auto& line : lines) {
        bool multiByte = false;
        if (!IsValidUtf8(line, &multiByte)) return false;
        any = any || multiByte;
    }
    return any;
}

TLabelEncoding LabelEncoding(const std::vector<std::string>& templateLines, std::string_view text,
                             std::uint8_t fieldCount) {
    if (UsesFixedLabel(templateLines, text, fieldCount) || !SelectsUtf8(templateLines))
        return TLabelEncoding::Cp1251;
    return TLabelEncoding::Utf8;
}

}  // namespace tandrel::labels
