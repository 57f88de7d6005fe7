#include "job/xlsx_table.h"

#include <expat.h>
#include <minizip/unzip.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "job/parse_stop.h"

namespace tandrel::job {
namespace {

// A part larger than this is no cut list: refused rather than inflated (a zip bomb).
constexpr std::uint64_t kMaxPartBytes = 256ull << 20;
constexpr std::size_t kMaxColumns = 16384;

// The workbook's bytes as minizip's file.
struct TMemoryFile {
    std::string_view bytes;
    std::uint64_t pos = 0;
};

voidpf ZCALLBACK OpenMemory(voidpf opaque, const void*, int) {
    return opaque;
}
uLong ZCALLBACK ReadMemory(voidpf, voidpf stream, void* buffer, uLong size) {
    auto* file = static_cast<TMemoryFile*>(stream);
    const std::uint64_t left =
        file->bytes.size() - std::min<std::uint64_t>(file->pos, file->bytes.size());
    const auto n = static_cast<uLong>(std::min<std::uint64_t>(left, size));
    if (n > 0) std::memcpy(buffer, file->bytes.data() + file->pos, n);
    file->pos += n;
    return n;
}
uLong ZCALLBACK WriteMemory(voidpf, voidpf, const void*, uLong) {
    return 0;
}
ZPOS64_T ZCALLBACK TellMemory(voidpf, voidpf stream) {
    return static_cast<TMemoryFile*>(stream)->pos;
}
long ZCALLBACK SeekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* file = static_cast<TMemoryFile*>(stream);
    std::uint64_t base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = file->pos;
    if (origin == ZLIB_FILEFUNC_SEEK_END) base = file->bytes.size();
    if (base + offset > file->bytes.size()) return -1;
    file->pos = base + offset;
    return 0;
}
int ZCALLBACK CloseMemory(voidpf, voidpf) {
    return 0;
}
int ZCALLBACK ErrorMemory(voidpf, voidpf) {
    return 0;
}

struct TZipCloser {
    void operator()(unzFile zip) const { unzClose(zip); }
};
using TZip = std::unique_ptr<void, TZipCloser>;

// The named part's bytes; false when the workbook has no such part or it cannot be inflated.
bool ReadPart(unzFile zip, const std::string& name, std::string& bytes) {
    if (unzLocateFile(zip, name.c_str(), 2) != UNZ_OK) return false;  // any letter case
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    if (info.uncompressed_size > kMaxPartBytes) return false;
    if (unzOpenCurrentFile(zip) != UNZ_OK) return false;
    bytes.clear();
    bytes.reserve(static_cast<std::size_t>(info.uncompressed_size));
    char buffer[32768];
    int n = 0;
    while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0) {
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxPartBytes || ParseStopped()) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    // A bad CRC or a broken stream is told at the close.
    return unzCloseCurrentFile(zip) == UNZ_OK && n == 0;
}

// Element and attribute names without their namespace ("uri|row" -> "row").
std::string_view Local(const XML_Char* name) {
    std::string_view s(name);
    const auto bar = s.rfind('|');
    return bar == std::string_view::npos ? s : s.substr(bar + 1);
}

std::string_view Attribute(const XML_Char** attributes, std::string_view name) {
    for (int i = 0; attributes[i] != nullptr; i += 2)
        if (Local(attributes[i]) == name) return attributes[i + 1];
    return {};
}

// Runs expat over one part, handing elements and text to the callbacks.
struct TXmlHandlers {
    std::function<void(std::string_view, const XML_Char**)> Start;
    std::function<void(std::string_view)> End;
    std::function<void(std::string_view)> Text;
};

bool ParseXml(const std::string& bytes, TXmlHandlers& handlers) {
    struct TParserFree {
        void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
    };
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, TParserFree> parser(
        XML_ParserCreateNS(nullptr, '|'));
    if (!parser) return false;
    XML_SetUserData(parser.get(), &handlers);
    XML_SetElementHandler(
        parser.get(),
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            auto* h = static_cast<TXmlHandlers*>(data);
            if (h->Start) h->Start(Local(name), attributes);
        },
        [](void* data, const XML_Char* name) {
            auto* h = static_cast<TXmlHandlers*>(data);
            if (h->End) h->End(Local(name));
        });
    XML_SetCharacterDataHandler(parser.get(), [](void* data, const XML_Char* text, int length) {
        auto* h = static_cast<TXmlHandlers*>(data);
        if (h->Text) h->Text(std::string_view(text, static_cast<std::size_t>(length)));
    });
    std::size_t done = 0;
    do {
        // Chunks of a few thousand rows: a parse nobody waits for stops within one.
        if (ParseStopped()) return false;
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 20);
        const bool last = done + chunk == bytes.size();
        if (XML_Parse(parser.get(), bytes.data() + done, static_cast<int>(chunk), last) !=
            XML_STATUS_OK)
            return false;
        done += chunk;
    } while (done < bytes.size());
    return true;
}

// The sheet that the workbook names first, as a part name ("xl/worksheets/sheet1.xml").
std::string FirstSheetPart(unzFile zip) {
    std::string bytes, id;
    TXmlHandlers workbook;
    workbook.Start = [&id](std::string_view name, const XML_Char** attributes) {
        if (name == "sheet" && id.empty()) id = Attribute(attributes, "id");
    };
    if (!ReadPart(zip, "xl/workbook.xml", bytes) || !ParseXml(bytes, workbook) || id.empty())
        return "xl/worksheets/sheet1.xml";
    std::string target;
    TXmlHandlers rels;
    rels.Start = [&](std::string_view name, const XML_Char** attributes) {
        if (name == "Relationship" && Attribute(attributes, "Id") == id)
            target = Attribute(attributes, "Target");
    };
    if (!ReadPart(zip, "xl/_rels/workbook.xml.rels", bytes) || !ParseXml(bytes, rels) ||
        target.empty())
        return "xl/worksheets/sheet1.xml";
    if (target.front() == '/') return target.substr(1);
    return "xl/" + target;
}

// The text Windows-1251 holds, counting what it lacks.
std::string ToCp1251(std::string_view utf8, std::int32_t& replaced) {
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t code = NextUtf8(utf8, i);
        if (code != U'?' && UnicodeToCp1251(code) == '?') ++replaced;
    }
    return Utf8ToCp1251(utf8);
}

// A stored number written out in full: 1.8005E3 -> 1800.5, 2450 -> 2450.
std::string NumberText(const std::string& stored) {
    double value = 0;
    const char* end = stored.data() + stored.size();
    const auto [at, ec] = std::from_chars(stored.data(), end, value);
    if (ec != std::errc() || at != end) return stored;
    char text[400];
    const auto [out, ec2] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (ec2 != std::errc()) return stored;
    return std::string(text, out);
}

std::size_t ColumnOf(std::string_view reference, std::size_t fallback) {
    std::size_t column = 0;
    std::size_t i = 0;
    for (; i < reference.size() && reference[i] >= 'A' && reference[i] <= 'Z'; ++i) {
        column = column * 26 + static_cast<std::size_t>(reference[i] - 'A' + 1);
        if (column > kMaxColumns) return kMaxColumns;
    }
    return i == 0 ? fallback : column - 1;
}

}  // namespace

TTable ReadXlsx(std::string_view bytes) {
    TTable table;
    auto fail = [&table](const char* why) {
        table.Rows.clear();
        table.Failure = Utf8ToCp1251(why);
        return table;
    };
    TMemoryFile memory{bytes, 0};
    zlib_filefunc64_def io{OpenMemory, ReadMemory,  WriteMemory, TellMemory,
                           SeekMemory, CloseMemory, ErrorMemory, &memory};
    const TZip zip(unzOpen2_64("workbook", &io));
    if (!zip) return fail("это не книга Excel (.xlsx)");

    std::vector<std::string> shared;
    std::string part;
    if (ReadPart(zip.get(), "xl/sharedStrings.xml", part)) {
        bool inItem = false, inText = false;
        int phonetic = 0;
        TXmlHandlers strings;
        strings.Start = [&](std::string_view name, const XML_Char**) {
            if (name == "si") {
                shared.emplace_back();
                inItem = true;
            }
            if (name == "rPh") ++phonetic;  // reading aids, not the text
            if (name == "t") inText = inItem && phonetic == 0;
        };
        strings.End = [&](std::string_view name) {
            if (name == "si") inItem = false;
            if (name == "rPh") --phonetic;
            if (name == "t") inText = false;
        };
        strings.Text = [&](std::string_view text) {
            if (inText) shared.back().append(text);
        };
        if (!ParseXml(part, strings)) return fail("книга повреждена: общие строки не читаются");
    }

    if (!ReadPart(zip.get(), FirstSheetPart(zip.get()), part))
        return fail("в книге нет листа, который можно прочитать");
    TTableRow row;
    std::string type, value;
    std::size_t column = 0, nextColumn = 0;
    bool inCell = false, inValue = false, inInline = false, inText = false;
    std::int32_t nextRow = 1;
    TXmlHandlers sheet;
    sheet.Start = [&](std::string_view name, const XML_Char** attributes) {
        if (name == "row") {
            row = {};
            std::int32_t number = 0;
            const std::string_view r = Attribute(attributes, "r");
            const auto [at, ec] = std::from_chars(r.data(), r.data() + r.size(), number);
            row.Number =
                ec == std::errc() && at == r.data() + r.size() && number > 0 ? number : nextRow;
            nextRow = row.Number < INT32_MAX ? row.Number + 1 : row.Number;
            nextColumn = 0;
        } else if (name == "c") {
            inCell = true;
            type = Attribute(attributes, "t");
            column = ColumnOf(Attribute(attributes, "r"), nextColumn);
            value.clear();
        } else if (inCell && name == "v") {
            inValue = true;
        } else if (inCell && name == "is") {
            inInline = true;
        } else if (inInline && name == "t") {
            inText = true;
        }
    };
    sheet.End = [&](std::string_view name) {
        if (name == "v") inValue = false;
        if (name == "t") inText = false;
        if (name == "is") inInline = false;
        if (name == "c" && inCell) {
            inCell = false;
            nextColumn = column + 1;
            if (column >= kMaxColumns) return;
            std::string text;
            if (type == "s") {
                std::size_t index = shared.size();
                std::from_chars(value.data(), value.data() + value.size(), index);
                if (index < shared.size()) text = shared[index];
            } else if (type.empty() || type == "n") {
                text = NumberText(value);
            } else {
                text = value;  // inline and formula strings, booleans, errors
            }
            if (row.Cells.size() <= column) row.Cells.resize(column + 1);
            row.Cells[column] = ToCp1251(text, table.Replaced);
        }
        if (name == "row") {
            bool blank = true;
            for (const std::string& cell : row.Cells)
                blank = blank && cell.find_first_not_of(" \t\xA0") == std::string::npos;
            if (!blank) table.Rows.push_back(std::move(row));
        }
    };
    sheet.Text = [&](std::string_view text) {
        if (inValue || inText) value.append(text);
    };
    if (!ParseXml(part, sheet)) return fail("книга повреждена: лист не читается");
    return table;
}

}  // namespace tandrel::job
