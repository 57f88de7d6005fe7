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

// The remnant label's template beside etik.eti: <E1> the length in millimetres, <E2> the id
// (also as a Code 128 barcode), <E3> the list's name, <E4> the date.
inline constexpr std::string_view kRemnantTemplateFileName = "ostatok.eti";
inline constexpr std::string_view kDefaultRemnantTemplate =
    "^XA\r\n^PW360\r\n^FO10,10^ASN,60,50^FD<E1>^FS\r\n^FO10,80^BY2^BCN,70,Y,N,N^FD<E2>^FS\r\n"
    "^FO10,190^ASN,28,24^FD<E3>^FS\r\n^FO10,225^ASN,28,24^FD<E4>^FS\r\n^XZ";

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
// The same for ostatok.eti and its default.
TLabelTemplate EnsureRemnantTemplate(const std::filesystem::path& dir = ProgramDir());

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

// What a remnant's label shows (Windows-1251).
struct TRemnantLabel {
    std::string Length;  // "1240"
    std::string Id;      // "R000123"
    std::string List;
    std::string Date;  // "10.12.2026"
};
// The remnant label's writes from its template, composed as a row's label is (the list's name
// escaped where it could act as a command); an empty template gives the fixed label with
// "Остаток <id> <length> мм".
TComposedLabel ComposeRemnantLabel(const std::vector<std::string>& templateLines,
                                   const TRemnantLabel& remnant);

}  // namespace tandrel::labels
