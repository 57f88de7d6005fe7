#include "job/xlsx_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "job/cell_text.h"
#include "job/workbook_zip.h"

namespace tandrel::job {
namespace {

struct TSheetEntry {
    std::string Name;  // UTF-8
    bool Visible = true;
    std::string Id;
};

// xl/workbook.xml: the sheets in their order, the tab it opens on, its date system.
class TWorkbookPart final : public TXmlHandlers {
  public:
    std::vector<TSheetEntry> Sheets;
    std::size_t ActiveTab = 0;
    bool Date1904 = false;

    void Start(std::string_view name, const char** attributes) override {
        const std::string_view local = LocalName(name);
        if (local == "sheet") {
            const std::string_view state = AttributeOf(attributes, "state");
            Sheets.push_back({std::string(AttributeOf(attributes, "name")),
                              state != "hidden" && state != "veryHidden",
                              std::string(AttributeOf(attributes, "id"))});
        } else if (local == "workbookView" && !viewSeen_) {
            viewSeen_ = true;
            const std::string_view tab = AttributeOf(attributes, "activeTab");
            std::from_chars(tab.data(), tab.data() + tab.size(), ActiveTab);
        } else if (local == "workbookPr") {
            const std::string_view system = AttributeOf(attributes, "date1904");
            Date1904 = system == "1" || system == "true";
        }
    }

  private:
    bool viewSeen_ = false;
};

// xl/_rels/workbook.xml.rels: each relationship's part and kind.
class TRelsPart final : public TXmlHandlers {
  public:
    struct TTarget {
        std::string Part, Type;
    };
    std::map<std::string, TTarget> Targets;

    void Start(std::string_view name, const char** attributes) override {
        if (LocalName(name) != "Relationship") return;
        std::string target(AttributeOf(attributes, "Target"));
        if (target.empty()) return;
        target = target.front() == '/' ? target.substr(1) : "xl/" + target;
        Targets[std::string(AttributeOf(attributes, "Id"))] = {
            std::move(target), std::string(AttributeOf(attributes, "Type"))};
    }

    // The part of the first relationship whose type ends in kind, else fallback.
    std::string PartOf(std::string_view kind, const std::string& fallback) const {
        for (const auto& [id, target] : Targets)
            if (target.Type.ends_with(kind)) return target.Part;
        return fallback;
    }
};

// xl/sharedStrings.xml: each item's text, rich runs joined, phonetic reading aids left out.
class TSharedStringsPart final : public TXmlHandlers {
  public:
    std::vector<std::string> Items;

    void Start(std::string_view name, const char**) override {
        const std::string_view local = LocalName(name);
        if (local == "si") {
            Items.emplace_back();
            inItem_ = true;
        } else if (local == "rPh") {
            ++phonetic_;
        } else if (local == "t") {
            inText_ = inItem_ && phonetic_ == 0;
        }
    }
    void End(std::string_view name) override {
        const std::string_view local = LocalName(name);
        if (local == "si") inItem_ = false;
        if (local == "rPh") --phonetic_;
        if (local == "t") inText_ = false;
    }
    void Text(std::string_view text) override {
        if (inText_) Items.back().append(text);
    }

  private:
    bool inItem_ = false, inText_ = false;
    int phonetic_ = 0;
};

// xl/styles.xml: whether each cell format shows a date, a time or a number.
class TStylesPart final : public TXmlHandlers {
  public:
    std::vector<TDateLook> Looks;

    void Start(std::string_view name, const char** attributes) override {
        const std::string_view local = LocalName(name);
        if (local == "numFmt") {
            int id = 0;
            const std::string_view text = AttributeOf(attributes, "numFmtId");
            std::from_chars(text.data(), text.data() + text.size(), id);
            codes_[id] = AttributeOf(attributes, "formatCode");
        } else if (local == "cellXfs") {
            inCellFormats_ = true;
        } else if (local == "xf" && inCellFormats_) {
            int id = 0;
            const std::string_view text = AttributeOf(attributes, "numFmtId");
            std::from_chars(text.data(), text.data() + text.size(), id);
            const auto code = codes_.find(id);
            Looks.push_back(DateLookOf(id, code != codes_.end() ? code->second : ""));
        }
    }
    void End(std::string_view name) override {
        if (LocalName(name) == "cellXfs") inCellFormats_ = false;
    }

  private:
    std::map<int, std::string> codes_;
    bool inCellFormats_ = false;
};

// The sheet's rows, a row at a time to the sink.
class TSheetPart final : public TXmlHandlers {
  public:
    TSheetPart(TRowSink& sink, const std::vector<std::string>& shared,
               const std::vector<TDateLook>& looks, bool date1904, std::int32_t& replaced)
        : sink_(sink), shared_(shared), looks_(looks), date1904_(date1904), replaced_(replaced) {}

    void Start(std::string_view name, const char** attributes) override {
        const std::string_view local = LocalName(name);
        if (local == "row") {
            row_.Cells.clear();
            std::int32_t number = 0;
            const std::string_view r = AttributeOf(attributes, "r");
            const auto [at, ec] = std::from_chars(r.data(), r.data() + r.size(), number);
            row_.Number =
                ec == std::errc() && at == r.data() + r.size() && number > 0 ? number : nextRow_;
            nextRow_ = row_.Number < INT32_MAX ? row_.Number + 1 : row_.Number;
            nextColumn_ = 0;
        } else if (local == "c") {
            inCell_ = true;
            type_ = AttributeOf(attributes, "t");
            column_ = ColumnOf(AttributeOf(attributes, "r"));
            style_ = 0;
            const std::string_view s = AttributeOf(attributes, "s");
            std::from_chars(s.data(), s.data() + s.size(), style_);
            value_.clear();
            formula_ = hasValue_ = false;
        } else if (inCell_ && local == "v") {
            inValue_ = hasValue_ = true;
        } else if (inCell_ && local == "f") {
            formula_ = true;
        } else if (inCell_ && local == "is") {
            inInline_ = hasValue_ = true;
        } else if (inInline_ && local == "rPh") {
            ++phonetic_;
        } else if (inInline_ && local == "t") {
            inText_ = phonetic_ == 0;
        }
    }

    void End(std::string_view name) override {
        const std::string_view local = LocalName(name);
        if (local == "v") inValue_ = false;
        if (local == "t") inText_ = false;
        if (local == "rPh" && phonetic_ > 0) --phonetic_;
        if (local == "is") inInline_ = false;
        if (local == "c" && inCell_) {
            inCell_ = false;
            nextColumn_ = column_ + 1;
            if (column_ < kMaxColumns) AddCell();
        }
        if (local == "row" && !row_.Cells.empty()) {
            auto byColumn = [](const TCell& a, const TCell& b) { return a.Column < b.Column; };
            if (!std::is_sorted(row_.Cells.begin(), row_.Cells.end(), byColumn))
                std::stable_sort(row_.Cells.begin(), row_.Cells.end(), byColumn);
            if (!sink_.Take(row_)) Stop();
            row_.Cells.clear();
        }
    }

    void Text(std::string_view text) override {
        if (inValue_ || inText_) value_.append(text);
    }

  private:
    std::uint32_t ColumnOf(std::string_view reference) const {
        std::uint64_t column = 0;
        std::size_t i = 0;
        for (; i < reference.size() && reference[i] >= 'A' && reference[i] <= 'Z'; ++i) {
            column = column * 26 + static_cast<std::uint64_t>(reference[i] - 'A' + 1);
            if (column > kMaxColumns) return kMaxColumns;
        }
        return i == 0 ? nextColumn_ : static_cast<std::uint32_t>(column - 1);
    }

    void AddCell() {
        TCell cell;
        cell.Column = column_;
        if (type_ == "s") {
            std::size_t index = shared_.size();
            std::from_chars(value_.data(), value_.data() + value_.size(), index);
            if (index < shared_.size()) cell.Text = CellCp1251(shared_[index], replaced_);
        } else if (type_.empty() || type_ == "n") {
            double number = 0;
            const char* end = value_.data() + value_.size();
            const auto [at, ec] = std::from_chars(value_.data(), end, number);
            const TDateLook look = style_ < looks_.size() ? looks_[style_] : TDateLook::None;
            if (value_.empty()) {
                cell.NoValue = formula_;  // a script wrote the formula, nothing computed it
            } else if (ec != std::errc() || at != end || !std::isfinite(number)) {
                cell.Text = CellCp1251(value_, replaced_);
            } else if (look != TDateLook::None &&
                       !(cell.Text = SerialDateText(number, date1904_, look)).empty()) {
                // a date as the sheet shows it
            } else {
                cell.IsNumber = true;
                cell.Number = number;
                cell.Text = FormatFixed(number, DecimalSeparator());
            }
        } else if (type_ == "d") {
            cell.Text = IsoDateText(value_);
            if (cell.Text.empty()) cell.Text = CellCp1251(value_, replaced_);
        } else {
            // Inline and formula strings, booleans, errors.
            cell.Text = CellCp1251(value_, replaced_);
            cell.NoValue = formula_ && !hasValue_;
        }
        if (!cell.Text.empty() || cell.IsNumber || cell.NoValue)
            row_.Cells.push_back(std::move(cell));
    }

    TRowSink& sink_;
    const std::vector<std::string>& shared_;
    const std::vector<TDateLook>& looks_;
    bool date1904_;
    std::int32_t& replaced_;
    TTableRow row_;
    std::string type_, value_;
    std::uint32_t column_ = 0, nextColumn_ = 0;
    std::size_t style_ = 0;
    std::int32_t nextRow_ = 1;
    int phonetic_ = 0;
    bool inCell_ = false, inValue_ = false, inInline_ = false, inText_ = false;
    bool formula_ = false, hasValue_ = false;
};

bool IsWorksheet(const TRelsPart& rels, const std::string& id) {
    const auto target = rels.Targets.find(id);
    if (target == rels.Targets.end()) return false;
    const std::string& type = target->second.Type;
    return type.empty() || type.ends_with("/worksheet");
}

}  // namespace

TTableRead ReadXlsx(std::string_view bytes, TRowSink& sink) {
    TTableRead read;
    auto fail = [&read](std::string why) {
        read.Failure = std::move(why);
        return read;
    };
    TWorkbookZip zip(bytes);
    if (!zip.Opened()) return fail("это не книга Excel (.xlsx)"_cp1251);

    const std::string workbookName = "xl/workbook.xml";
    TWorkbookPart workbook;
    TPartResult result = zip.Parse(workbookName, workbook);
    if (result == TPartResult::Doctype) return fail(PartFailure(result, workbookName));
    TRelsPart rels;
    const std::string relsName = "xl/_rels/workbook.xml.rels";
    if (const TPartResult r = zip.Parse(relsName, rels); r == TPartResult::Doctype)
        return fail(PartFailure(r, relsName));

    // A workbook without a readable list of sheets: its first sheet by the usual name.
    std::string sheetName = "xl/worksheets/sheet1.xml";
    if (result == TPartResult::Ok && !workbook.Sheets.empty()) {
        const std::vector<TSheetEntry>& sheets = workbook.Sheets;
        auto readable = [&](std::size_t i) {
            return sheets[i].Visible && IsWorksheet(rels, sheets[i].Id);
        };
        std::size_t chosen = workbook.ActiveTab;
        if (chosen >= sheets.size() || !readable(chosen)) {
            chosen = 0;
            while (chosen < sheets.size() && !readable(chosen)) ++chosen;
        }
        if (chosen == sheets.size())
            return fail("в книге нет листа, который можно прочитать"_cp1251);
        sheetName = rels.Targets[sheets[chosen].Id].Part;
        if (sheets.size() > 1) read.Sheet = CellCp1251(sheets[chosen].Name, read.Replaced);
    }

    TSharedStringsPart shared;
    const std::string sharedName = rels.PartOf("/sharedStrings", "xl/sharedStrings.xml");
    result = zip.Parse(sharedName, shared);
    if (result != TPartResult::Ok && result != TPartResult::Missing)
        return fail(PartFailure(result, sharedName));
    TStylesPart styles;
    const std::string stylesName = rels.PartOf("/styles", "xl/styles.xml");
    if (const TPartResult r = zip.Parse(stylesName, styles); r == TPartResult::Doctype)
        return fail(PartFailure(r, stylesName));

    TSheetPart sheet(sink, shared.Items, styles.Looks, workbook.Date1904, read.Replaced);
    result = zip.Parse(sheetName, sheet);
    if (result == TPartResult::Missing)
        return fail("в книге нет листа, который можно прочитать"_cp1251);
    if (result != TPartResult::Ok && result != TPartResult::Stopped)
        return fail(PartFailure(result, sheetName));
    return read;
}

TTable ReadXlsx(std::string_view bytes) {
    return CollectTable([bytes](TRowSink& sink) { return ReadXlsx(bytes, sink); });
}

}  // namespace tandrel::job
