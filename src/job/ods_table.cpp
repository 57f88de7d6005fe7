#include "job/ods_table.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "job/cell_text.h"
#include "job/workbook_zip.h"

namespace tandrel::job {
namespace {

constexpr std::string_view kOffice = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr std::string_view kTable = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kText = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr std::string_view kStyle = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
constexpr std::string_view kConfig = "urn:oasis:names:tc:opendocument:xmlns:config:1.0";

// Rows a sheet has at most; a repeat that claims more is cut there.
constexpr std::int64_t kMaxRows = 1048576;

bool Is(std::string_view name, std::string_view space, std::string_view local) {
    return name.size() == space.size() + 1 + local.size() && name.starts_with(space) &&
           name[space.size()] == '|' && name.ends_with(local);
}

std::string_view Attribute(const char** attributes, std::string_view space,
                           std::string_view local) {
    for (int i = 0; attributes[i] != nullptr; i += 2)
        if (Is(attributes[i], space, local)) return attributes[i + 1];
    return {};
}

std::int64_t Repeat(const char** attributes, std::string_view local) {
    const std::string_view text = Attribute(attributes, kTable, local);
    std::int64_t n = 1;
    const auto [at, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return ec == std::errc() && at == text.data() + text.size() && n >= 1 ? std::min(n, kMaxRows)
                                                                          : 1;
}

// settings.xml: the sheet the document opens on.
class TSettingsPart final : public TXmlHandlers {
  public:
    std::string ActiveTable;

    void Start(std::string_view name, const char** attributes) override {
        inActive_ = ActiveTable.empty() && !found_ && Is(name, kConfig, "config-item") &&
                    Attribute(attributes, kConfig, "name") == "ActiveTable";
    }
    void End(std::string_view) override {
        if (inActive_) found_ = true;
        inActive_ = false;
    }
    void Text(std::string_view text) override {
        if (inActive_) ActiveTable.append(text);
    }

  private:
    bool inActive_ = false, found_ = false;
};

// "PT13H45M00S": "13:45".
std::string DurationText(std::string_view iso) {
    if (!iso.starts_with("PT")) return "";
    double hours = 0, minutes = 0, seconds = 0, value = 0;
    for (std::size_t i = 2; i < iso.size();) {
        const auto [at, ec] = std::from_chars(iso.data() + i, iso.data() + iso.size(), value);
        if (ec != std::errc() || at == iso.data() + iso.size()) return "";
        i = static_cast<std::size_t>(at - iso.data());
        const char unit = iso[i++];
        if (unit == 'H') hours = value;
        if (unit == 'M') minutes = value;
        if (unit == 'S') seconds = value;
    }
    const auto total = std::llround(hours * 3600 + minutes * 60 + seconds);
    const auto m = total / 60 % 60;
    return std::to_string(total / 3600) + (m < 10 ? ":0" : ":") + std::to_string(m);
}

// content.xml: the tables in their order, the hidden ones by their style, and the rows of the
// table chosen, a row at a time to the sink.
class TContentPart final : public TXmlHandlers {
  public:
    TContentPart(TRowSink& sink, std::string active, std::int64_t chosen, std::int32_t& replaced)
        : sink_(sink), active_(std::move(active)), chosen_(chosen), replaced_(replaced) {}

    std::vector<std::pair<std::string, bool>> Tables;  // name (UTF-8), visible
    bool Read = false;                                 // the chosen table was read
    std::size_t ReadIndex = 0;

    void Start(std::string_view name, const char** attributes) override {
        if (Is(name, kStyle, "style")) {
            style_ = Attribute(attributes, kStyle, "family") == "table"
                         ? std::string(Attribute(attributes, kStyle, "name"))
                         : std::string();
        } else if (Is(name, kStyle, "table-properties") && !style_.empty() &&
                   Attribute(attributes, kTable, "display") == "false") {
            hidden_.insert(style_);
        } else if (Is(name, kTable, "table")) {
            StartTable(attributes);
        } else if (depth_ == 1 && reading_) {
            StartInTable(name, attributes);
        }
        if (reading_ && Is(name, kTable, "table")) ++depth_;
    }

    void End(std::string_view name) override {
        if (!reading_) return;
        if (Is(name, kTable, "table") && --depth_ == 0) {
            reading_ = false;
            Read = true;
            if (Tables.size() > 1) Stop();  // else: on to see whether another sheet follows
            return;
        }
        if (depth_ != 1) return;
        if (Is(name, kOffice, "annotation")) {
            --annotation_;
            return;
        }
        if (annotation_ > 0) return;  // a comment's text is no cell's
        if (Is(name, kText, "p")) {
            inParagraph_ = false;
        } else if (Is(name, kTable, "table-cell") || Is(name, kTable, "covered-table-cell")) {
            EndCell();
        } else if (Is(name, kTable, "table-row")) {
            EndRow();
        }
    }

    void Text(std::string_view text) override {
        if (reading_ && inCell_ && inParagraph_ && annotation_ == 0) text_.append(text);
    }

  private:
    void StartTable(const char** attributes) {
        if (reading_) return;  // a table inside a cell of the one being read
        const std::string_view style = Attribute(attributes, kTable, "style-name");
        const bool visible = !hidden_.contains(std::string(style));
        const std::string tableName(Attribute(attributes, kTable, "name"));
        if (Read) {
            Tables.emplace_back(tableName, visible);
            Stop();  // a second sheet after the one read: that is all to know
            return;
        }
        Tables.emplace_back(tableName, visible);
        const auto index = static_cast<std::int64_t>(Tables.size()) - 1;
        const bool take =
            chosen_ >= 0 ? index == chosen_ : visible && (active_.empty() || tableName == active_);
        if (take) {
            reading_ = true;
            depth_ = 0;
            ReadIndex = Tables.size() - 1;
            row_ = 1;
        }
    }

    void StartInTable(std::string_view name, const char** attributes) {
        if (Is(name, kOffice, "annotation")) {
            ++annotation_;
            return;
        }
        if (annotation_ > 0) return;
        if (Is(name, kTable, "table-row")) {
            cells_.clear();
            rowRepeat_ = Repeat(attributes, "number-rows-repeated");
            column_ = 0;
        } else if (Is(name, kTable, "table-cell") || Is(name, kTable, "covered-table-cell")) {
            StartCell(attributes);
        } else if (inCell_ && Is(name, kText, "p")) {
            if (paragraphs_++ > 0) text_ += '\n';
            inParagraph_ = true;
        } else if (inParagraph_ && Is(name, kText, "s")) {
            const std::string_view count = Attribute(attributes, kText, "c");
            std::size_t n = 1;
            std::from_chars(count.data(), count.data() + count.size(), n);
            text_.append(std::min<std::size_t>(n, 1024), ' ');
        } else if (inParagraph_ && Is(name, kText, "tab")) {
            text_ += '\t';
        } else if (inParagraph_ && Is(name, kText, "line-break")) {
            text_ += '\n';
        }
    }

    void StartCell(const char** attributes) {
        inCell_ = true;
        paragraphs_ = 0;
        text_.clear();
        cellRepeat_ = Repeat(attributes, "number-columns-repeated");
        cell_ = TCell();
        const std::string_view type = Attribute(attributes, kOffice, "value-type");
        const std::string_view value = Attribute(attributes, kOffice, "value");
        if (type == "float" || type == "percentage" || type == "currency") {
            double number = 0;
            const auto [at, ec] =
                std::from_chars(value.data(), value.data() + value.size(), number);
            if (ec == std::errc() && at == value.data() + value.size() && std::isfinite(number)) {
                cell_.IsNumber = true;
                cell_.Number = number;
                cell_.Text = FormatFixed(number, DecimalSeparator());
            }
        } else if (type == "date") {
            cell_.Text = IsoDateText(Attribute(attributes, kOffice, "date-value"));
        } else if (type == "time") {
            cell_.Text = DurationText(Attribute(attributes, kOffice, "time-value"));
        } else if (type == "string") {
            const std::string_view shown = Attribute(attributes, kOffice, "string-value");
            if (!shown.empty()) cell_.Text = CellCp1251(shown, replaced_);
        } else if (type.empty()) {
            // A formula a script wrote and nothing computed.
            cell_.NoValue = !Attribute(attributes, kTable, "formula").empty();
        }
        textFromParagraphs_ = cell_.Text.empty() && !cell_.IsNumber && !cell_.NoValue;
    }

    void EndCell() {
        if (!inCell_) return;
        inCell_ = false;
        if (textFromParagraphs_) cell_.Text = CellCp1251(text_, replaced_);
        const bool holds = !cell_.Text.empty() || cell_.IsNumber || cell_.NoValue;
        for (std::int64_t k = 0; holds && k < cellRepeat_ && column_ + k < kMaxColumns; ++k) {
            cells_.push_back(cell_);
            cells_.back().Column = static_cast<std::uint32_t>(column_ + k);
        }
        column_ = std::min<std::int64_t>(column_ + cellRepeat_, kMaxColumns);
    }

    void EndRow() {
        // An empty row repeated a million times, as LibreOffice ends a sheet, is one step.
        if (cells_.empty()) {
            row_ += rowRepeat_;
            return;
        }
        for (std::int64_t k = 0; k < rowRepeat_ && row_ <= kMaxRows; ++k, ++row_) {
            TTableRow row{static_cast<std::int32_t>(row_),
                          rowRepeat_ == 1 ? std::move(cells_) : cells_};
            if (!sink_.Take(row)) {
                reading_ = false;
                Stop();
                return;
            }
        }
    }

    TRowSink& sink_;
    std::string active_;
    std::int64_t chosen_;
    std::int32_t& replaced_;
    std::string style_;
    std::set<std::string> hidden_;
    bool reading_ = false, inCell_ = false, inParagraph_ = false, textFromParagraphs_ = false;
    int depth_ = 0, annotation_ = 0, paragraphs_ = 0;
    std::int64_t row_ = 1, rowRepeat_ = 1, column_ = 0, cellRepeat_ = 1;
    std::vector<TCell> cells_;
    TCell cell_;
    std::string text_;
};

}  // namespace

TTableRead ReadOds(std::string_view bytes, TRowSink& sink) {
    TTableRead read;
    auto fail = [&read](std::string why) {
        read.Failure = std::move(why);
        return read;
    };
    TWorkbookZip zip(bytes);
    if (!zip.Opened()) return fail("это не таблица OpenDocument (.ods)"_cp1251);
    std::string manifest;
    if (zip.Read("META-INF/manifest.xml", manifest) == TPartResult::Ok &&
        manifest.find("encryption-data") != std::string::npos)
        return fail("книга защищена паролем"_cp1251);

    TSettingsPart settings;
    if (const TPartResult r = zip.Parse("settings.xml", settings); r == TPartResult::Doctype)
        return fail(PartFailure(r, "settings.xml"));
    const std::string contentName = "content.xml";
    // One pass reads the sheet it opens on, or the first visible one; a second only when the
    // sheet it opens on is hidden or gone.
    TContentPart content(sink, settings.ActiveTable, -1, read.Replaced);
    TPartResult result = zip.Parse(contentName, content);
    if (result == TPartResult::Missing) return fail("это не таблица OpenDocument (.ods)"_cp1251);
    if (result != TPartResult::Ok && result != TPartResult::Stopped)
        return fail(PartFailure(result, contentName));
    const TContentPart* done = &content;
    std::optional<TContentPart> again;
    if (!content.Read && result == TPartResult::Ok) {
        std::int64_t chosen = -1;
        for (std::size_t i = 0; i < content.Tables.size() && chosen < 0; ++i)
            if (content.Tables[i].second) chosen = static_cast<std::int64_t>(i);
        if (chosen < 0) return fail("в книге нет листа, который можно прочитать"_cp1251);
        again.emplace(sink, "", chosen, read.Replaced);
        result = zip.Parse(contentName, *again);
        if (result != TPartResult::Ok && result != TPartResult::Stopped)
            return fail(PartFailure(result, contentName));
        done = &*again;
    }
    const auto* tables = &done->Tables;
    const std::size_t readIndex = done->ReadIndex;
    if (tables->size() > 1 && readIndex < tables->size())
        read.Sheet = CellCp1251((*tables)[readIndex].first, read.Replaced);
    return read;
}

TTable ReadOds(std::string_view bytes) {
    return CollectTable([bytes](TRowSink& sink) { return ReadOds(bytes, sink); });
}

}  // namespace tandrel::job
