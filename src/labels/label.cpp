#include "labels/label.h"

#include <algorithm>
#include <system_error>

#include "base/cp1251.h"
#include "job/job_io.h"

namespace tandrel::labels {
namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Every occurrence of the placeholder, ignoring letter case; replaced text is not searched again.
std::string ReplaceIgnoringCase(const std::string& text, std::string_view placeholder,
                                std::string_view value) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const bool match = text.size() - i >= placeholder.size() &&
                           std::equal(placeholder.begin(), placeholder.end(),
                                      text.begin() + static_cast<std::ptrdiff_t>(i),
                                      [](char a, char b) { return Upper(a) == Upper(b); });
        if (match) {
            out += value;
            i += placeholder.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> SplitTemplateLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.emplace_back(bytes.substr(pos));
            break;
        }
        lines.emplace_back(bytes.substr(pos, end - pos));
        pos = end +
              ((bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

TLabelTemplate EnsureLabelTemplate(const std::filesystem::path& dir) {
    TLabelTemplate result;
    const auto file = dir / std::filesystem::path(kTemplateFileName);
    std::string failure, content;
    std::error_code ec;
    bool ok = true;
    if (!std::filesystem::exists(file, ec))
        ok = job::io::WriteWhole(file, kDefaultTemplate, failure);
    if (ok) ok = job::io::ReadAll(file, content, failure);
    if (ok) {
        result.Lines = SplitTemplateLines(content);
        return result;
    }
    result.Lines = SplitTemplateLines(kDefaultTemplate);
    result.BuiltIn = true;
    result.Problem = "Шаблон этикетки etik.eti недоступен ("_cp1251 + failure +
                     "): печать по встроенному шаблону"_cp1251;
    return result;
}

std::vector<std::string> LabelWrites(const std::vector<std::string>& templateLines,
                                     std::string_view text, const job::SizeRow& row,
                                     std::uint8_t fieldCount) {
    if (UsesFixedLabel(templateLines, text, fieldCount)) {
        return {"^XA^PW360^FO0,0^FB320,7,0,L,0^ASN,36,30^FD",
                std::string(text.empty() ? std::string_view(row.Caption) : text), "^FS^XZ"};
    }
    const auto fields = std::min<std::size_t>(fieldCount, job::kFieldSlots);
    std::vector<std::string> writes;
    writes.reserve(templateLines.size());
    for (const auto& line : templateLines) {
        std::string s = line;
        for (std::size_t i = 1; i <= fields; ++i) {
            s = ReplaceIgnoringCase(s, "<E" + std::to_string(i) + ">", row.Fields[i - 1]);
        }
        writes.push_back(std::move(s));
    }
    return writes;
}

}  // namespace tandrel::labels
