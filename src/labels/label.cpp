#include "labels/label.h"

#include <algorithm>
#include <array>
#include <optional>
#include <system_error>

#include "base/cp1251.h"
#include "job/job_io.h"

namespace tandrel::labels {
namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The label's text with, for each byte, whether it came from the list (a caption, a field, the
// test text) rather than from the template: only the list's bytes are escaped.
struct TMarkedText {
    std::string Bytes;
    std::string FromList;  // one flag a byte: 0 template, 1 list

    void Append(std::string_view bytes, bool fromList) {
        Bytes += bytes;
        FromList.append(bytes.size(), fromList ? '\1' : '\0');
    }
};

// Every occurrence of the placeholder, ignoring letter case; replaced text is not searched again
// by this call (a later field's replacement does search it).
void ReplaceIgnoringCase(TMarkedText& text, std::string_view placeholder, std::string_view value) {
    const std::string& s = text.Bytes;
    if (s.size() < placeholder.size()) return;
    TMarkedText out;
    out.Bytes.reserve(s.size());
    out.FromList.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const bool match = s.size() - i >= placeholder.size() &&
                           std::equal(placeholder.begin(), placeholder.end(),
                                      s.begin() + static_cast<std::ptrdiff_t>(i),
                                      [](char a, char b) { return Upper(a) == Upper(b); });
        if (match) {
            out.Append(value, true);
            i += placeholder.size();
        } else {
            out.Bytes += s[i];
            out.FromList += text.FromList[i];
            ++i;
        }
    }
    text = std::move(out);
}

bool IsCommand(const std::string& s, std::size_t at, std::string_view code) {
    if (s.size() - at < 1 + code.size() || s[at] != '^') return false;
    for (std::size_t k = 0; k < code.size(); ++k)
        if (Upper(s[at + 1 + k]) != code[k]) return false;
    return true;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The indicator of the template's own ^FH for the field whose ^FD is at `at` ("^FH" alone: "_"),
// looked for back to the field's start; nothing when the field has none.
std::optional<char> OwnIndicator(const TMarkedText& label, std::size_t at) {
    const std::string& s = label.Bytes;
    for (std::size_t i = at; i-- > 0;) {
        if (label.FromList[i] || s[i] != '^') continue;
        if (IsCommand(s, i, "FS") || IsCommand(s, i, "FD") || IsCommand(s, i, "XA")) break;
        if (IsCommand(s, i, "FH")) return i + 3 < at && s[i + 3] != '^' ? s[i + 3] : '_';
    }
    return std::nullopt;
}

// Escapes, in place, the list's text in field data where it could act as a command. A field whose
// template gives its own ^FH keeps the template's escapes, and the list's "^", "~" and indicator
// bytes in it become the indicator and two hex digits. Any other field that holds a "^" or "~" of
// the list gets ^FH before its ^FD and all of its "^", "~" and "_" escaped. Field data run from
// ^FD to the template's next "^", as the printer reads them. lineEnds are the offsets where the
// writes end; they move with the bytes.
void EscapeFields(TMarkedText& label, std::vector<std::size_t>& lineEnds) {
    const std::string& s = label.Bytes;
    std::vector<char> escapeWith(s.size(), 0);  // the indicator for a byte to escape
    std::vector<bool> insertFh(s.size(), false);
    bool any = false;
    for (std::size_t at = 0; at < s.size(); ++at) {
        if (label.FromList[at] || !IsCommand(s, at, "FD")) continue;
        std::size_t end = at + 3;
        while (end < s.size() && !(s[end] == '^' && !label.FromList[end])) ++end;
        const auto isCommandByte = [&](std::size_t k) { return s[k] == '^' || s[k] == '~'; };
        if (const auto indicator = OwnIndicator(label, at)) {
            for (std::size_t k = at + 3; k < end; ++k) {
                if (label.FromList[k] && (isCommandByte(k) || s[k] == *indicator)) {
                    escapeWith[k] = *indicator;
                    any = true;
                }
            }
        } else {
            bool needed = false;
            for (std::size_t k = at + 3; k < end && !needed; ++k)
                needed = label.FromList[k] && isCommandByte(k);
            if (needed) {
                insertFh[at] = true;
                for (std::size_t k = at + 3; k < end; ++k)
                    if (isCommandByte(k) || s[k] == '_') escapeWith[k] = '_';
                any = true;
            }
        }
        at = end - 1;
    }
    if (!any) return;
    std::string out;
    out.reserve(s.size() + s.size() / 2);
    std::size_t line = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        while (line < lineEnds.size() && lineEnds[line] == i) lineEnds[line++] = out.size();
        if (insertFh[i]) out += "^FH";
        if (escapeWith[i]) {
            const auto byte = static_cast<unsigned char>(s[i]);
            out += escapeWith[i];
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0xF];
        } else {
            out += s[i];
        }
    }
    while (line < lineEnds.size()) lineEnds[line++] = out.size();
    label.Bytes = std::move(out);
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

namespace {

TLabelTemplate EnsureTemplate(const std::filesystem::path& dir, std::string_view name,
                              std::string_view defaultBytes) {
    TLabelTemplate result;
    const auto file = dir / std::filesystem::path(name);
    std::string failure, content;
    std::error_code ec;
    bool ok = true;
    if (!std::filesystem::exists(file, ec)) ok = job::io::WriteWhole(file, defaultBytes, failure);
    if (ok) ok = job::io::ReadAll(file, content, failure);
    if (ok) {
        result.Lines = SplitTemplateLines(content);
        return result;
    }
    result.Lines = SplitTemplateLines(defaultBytes);
    result.BuiltIn = true;
    result.Problem = "Шаблон этикетки "_cp1251 + std::string(name) + " недоступен ("_cp1251 +
                     failure + "): печать по встроенному шаблону"_cp1251;
    return result;
}

}  // namespace

TLabelTemplate EnsureLabelTemplate(const std::filesystem::path& dir) {
    return EnsureTemplate(dir, kTemplateFileName, kDefaultTemplate);
}

TLabelTemplate EnsureRemnantTemplate(const std::filesystem::path& dir) {
    return EnsureTemplate(dir, kRemnantTemplateFileName, kDefaultRemnantTemplate);
}

TComposedLabel ComposeRemnantLabel(const std::vector<std::string>& templateLines,
                                   const TRemnantLabel& remnant) {
    job::SizeRow row;
    row.Caption = "Остаток "_cp1251 + remnant.Id + " " + remnant.Length + " мм"_cp1251;
    row.Fields = {remnant.Length, remnant.Id, remnant.List, remnant.Date, {}, {}};
    return ComposeLabel(templateLines, "", row, 4);
}

TComposedLabel ComposeLabel(const std::vector<std::string>& templateLines, std::string_view text,
                            const job::SizeRow& row, std::uint8_t fieldCount) {
    TComposedLabel label;
    label.Encoding = LabelEncoding(templateLines, text, fieldCount);
    // The whole label as one text, so that a field's data may run on past its template line.
    TMarkedText all;
    std::vector<std::size_t> lineEnds;
    if (UsesFixedLabel(templateLines, text, fieldCount)) {
        all.Append("^XA^PW360^FO0,0^FB320,7,0,L,0^ASN,36,30^FD", false);
        lineEnds.push_back(all.Bytes.size());
        all.Append(text.empty() ? std::string_view(row.Caption) : text, true);
        lineEnds.push_back(all.Bytes.size());
        all.Append("^FS^XZ", false);
        lineEnds.push_back(all.Bytes.size());
    } else {
        const bool utf8 = label.Encoding == TLabelEncoding::Utf8;
        // A UTF-8 template stands as it is; then only the list's fields are converted.
        const bool utf8Template = utf8 && IsUtf8Template(templateLines);
        const auto fields = std::min<std::size_t>(fieldCount, job::kFieldSlots);
        std::array<std::string, job::kFieldSlots> values;
        for (std::size_t i = 0; i < fields; ++i)
            values[i] = utf8Template ? Cp1251ToUtf8(row.Fields[i]) : row.Fields[i];
        for (std::size_t n = 0; n < templateLines.size(); ++n) {
            std::string_view source = templateLines[n];
            if (n == 0 && utf8Template && source.starts_with(kByteOrderMark))
                source.remove_prefix(kByteOrderMark.size());
            TMarkedText line;
            line.Append(source, false);
            for (std::size_t i = 1; i <= fields; ++i)
                ReplaceIgnoringCase(line, "<E" + std::to_string(i) + ">", values[i - 1]);
            if (utf8 && !utf8Template) {
                TMarkedText converted;
                for (std::size_t k = 0; k < line.Bytes.size(); ++k)
                    converted.Append(Cp1251ToUtf8(std::string_view(&line.Bytes[k], 1)),
                                     line.FromList[k] != 0);
                line = std::move(converted);
            }
            all.Bytes += line.Bytes;
            all.FromList += line.FromList;
            lineEnds.push_back(all.Bytes.size());
        }
    }
    EscapeFields(all, lineEnds);
    label.Writes.reserve(lineEnds.size());
    std::size_t begin = 0;
    for (const std::size_t end : lineEnds) {
        label.Writes.push_back(all.Bytes.substr(begin, end - begin));
        begin = end;
    }
    return label;
}

}  // namespace tandrel::labels
