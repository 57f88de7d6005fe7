#pragma once
// ZPL labels: the template etik.eti beside the executable (written from the built-in default
// when missing) and the bytes of one label (printer.h sends them). Main thread only.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/system.h"
#include "job/job_state.h"
#include "labels/label_encoding.h"

namespace tandrel::labels {

inline constexpr std::string_view kTemplateFileName = "etik.eti";

// The built-in template: six lines joined by CR LF, none after the last; 50 bytes.
inline constexpr std::string_view kDefaultTemplate =
    "^XA\r\n^PW360\r\n^FO10,00\r\n^ASN,70,70\r\n^FD<E1>^FS\r\n^XZ";

// Lines end at CR LF, a lone CR or a lone LF; nothing after the last line end is no line.
std::vector<std::string> SplitTemplateLines(std::string_view bytes);

struct TLabelTemplate {
    std::vector<std::string> Lines;
    bool BuiltIn = false;  // the file could not be written or read: the default serves from memory
    std::string Problem;   // then: the status line's text (Windows-1251)
};

// Writes the default template to dir/etik.eti when no file is there (an existing file is never
// touched) and returns the file's lines. The program's own directory, whatever the working
// directory, unless told otherwise. Raises nothing.
TLabelTemplate EnsureLabelTemplate(const std::filesystem::path& dir = ProgramDir());

// True when a label is the fixed one: the template has no line, a text is given or the list
// has no label fields.
inline bool UsesFixedLabel(const std::vector<std::string>& templateLines, std::string_view text,
                           std::uint8_t fieldCount) {
    return templateLines.empty() || !text.empty() || fieldCount == 0;
}

// The writes of one label as the printer is to receive them, composed in one pass: the fixed
// label (three writes, text or else the row's caption) when the template has no line, a text is
// given or the list has no label fields; otherwise one write per template line with
// <E1>..<E{fieldCount}> replaced, in any letter case, by the row's fields, each replacement
// working on the text the earlier ones left. A field whose list text holds "^" or "~" goes out
// hex-escaped under ^FH (placed directly before its ^FD), so that it prints as written and never
// acts as a command; any other label goes out byte for byte. A template with ^CI28 goes out in
// UTF-8 (see label_encoding.h).
struct TComposedLabel {
    std::vector<std::string> Writes;
    TLabelEncoding Encoding = TLabelEncoding::Cp1251;
};
TComposedLabel ComposeLabel(const std::vector<std::string>& templateLines, std::string_view text,
                            const job::SizeRow& row, std::uint8_t fieldCount);

inline std::vector<std::string> LabelWrites(const std::vector<std::string>& templateLines,
                                            std::string_view text, const job::SizeRow& row,
                                            std::uint8_t fieldCount) {
    return ComposeLabel(templateLines, text, row, fieldCount).Writes;
}

}  // namespace tandrel::labels
