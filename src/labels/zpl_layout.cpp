#include "labels/zpl_layout.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/cp1251.h"
#include "labels/code128.h"
#include "labels/label_encoding.h"

namespace tandrel::labels {
namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::vector<std::string> SplitParams(std::string_view params) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (true) {
        const auto comma = params.find(',', from);
        out.emplace_back(
            params.substr(from, comma == std::string_view::npos ? comma : comma - from));
        if (comma == std::string_view::npos) break;
        from = comma + 1;
    }
    return out;
}

// The parameter as a whole number, or fallback when it is absent or not a number. Printers cap
// their measures; so do we, so that no field takes the memory of a huge picture.
int Number(const std::vector<std::string>& p, std::size_t i, int fallback, int low = 0,
           int high = 32000) {
    if (i >= p.size() || p[i].empty()) return fallback;
    int value = 0;
    const char* begin = p[i].data();
    const char* end = begin + p[i].size();
    while (begin < end && *begin == ' ') ++begin;
    const auto [stop, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || stop == begin) return fallback;
    return std::clamp(value, low, high);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Upper(c);
    return (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
}

// ^FH field data: the indicator and two hex digits stand for one byte; an indicator without
// them is printed as it stands.
std::string DecodeHex(std::string_view data, char indicator) {
    std::string out;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == indicator && i + 2 < data.size() && HexDigit(data[i + 1]) >= 0 &&
            HexDigit(data[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(data[i + 1]) * 16 + HexDigit(data[i + 2]));
            i += 2;
        } else {
            out += data[i];
        }
    }
    return out;
}

char Letter(const std::vector<std::string>& p, std::size_t i, char fallback) {
    if (i >= p.size() || p[i].empty()) return fallback;
    return Upper(p[i][0]);
}

// Halves go to the even neighbour, like every layout measure of the program.
int HalfOf(int value) {
    return static_cast<int>(std::nearbyint(value / 2.0));
}

// Code points of UTF-8 text, each kept as its own UTF-8 bytes.
std::vector<std::string> Characters(std::string_view utf8) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = 1;
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b >= 0xF0)
            n = 4;
        else if (b >= 0xE0)
            n = 3;
        else if (b >= 0xC0)
            n = 2;
        n = std::min(n, utf8.size() - i);
        out.emplace_back(utf8.substr(i, n));
        i += n;
    }
    return out;
}

std::string Join(const std::vector<std::string>& chars, std::size_t from, std::size_t to) {
    std::string s;
    for (std::size_t i = from; i < to; ++i) s += chars[i];
    return s;
}

// Greedy wrap at spaces into lines of at most capacity characters; "\&" breaks a line; a word
// longer than a line is cut.
std::vector<std::vector<std::string>> Wrap(const std::string& utf8, std::size_t capacity) {
    std::vector<std::vector<std::string>> lines;
    std::size_t from = 0;
    std::vector<std::string> paragraphs;
    while (true) {
        const auto cut = utf8.find("\\&", from);
        paragraphs.push_back(utf8.substr(from, cut == std::string::npos ? cut : cut - from));
        if (cut == std::string::npos) break;
        from = cut + 2;
    }
    for (const auto& paragraph : paragraphs) {
        const auto chars = Characters(paragraph);
        std::vector<std::string> line;
        std::size_t i = 0;
        if (chars.empty()) lines.emplace_back();
        while (i < chars.size()) {
            std::size_t end = std::min(chars.size(), i + capacity);
            if (end < chars.size() && chars[end] != " ") {
                std::size_t space = end;
                while (space > i && chars[space - 1] != " ") --space;
                if (space > i) end = space;
            }
            std::size_t last = end;
            while (last > i && chars[last - 1] == " ") --last;  // no trailing blanks
            lines.emplace_back(chars.begin() + static_cast<std::ptrdiff_t>(i),
                               chars.begin() + static_cast<std::ptrdiff_t>(last));
            i = end;
            while (i < chars.size() && chars[i] == " ") ++i;
        }
    }
    return lines;
}

class TLayouter {
  public:
    TZplLayout Run(const std::vector<TZplCommand>& commands);

  private:
    void Command(const TZplCommand& c);
    void FieldEnd();
    void PlaceText(const std::string& utf8);
    void PlaceBarcode(const std::string& utf8);
    void PlaceBox(const std::vector<std::string>& p);
    void Reach(const TZplBox& b) {
        right_ = std::max(right_, b.X + b.Width);
        bottom_ = std::max(bottom_, b.Y + b.Height);
    }
    void ResetField() { field_ = TField{}; }

    struct TField {
        bool HasOrigin = false;
        bool Typeset = false;  // ^FT: y is the field's bottom, not its top
        int X = 0, Y = 0;
        char Font = 'A';
        int FontHeight = 9, FontWidth = 5;
        bool Block = false;
        int BlockWidth = 0, BlockLines = 1, BlockSpacing = 0, BlockIndent = 0;
        char Justify = 'L';
        bool Reverse = false;
        bool Barcode = false;
        int BarHeight = 0;
        bool Interpretation = true, Above = false;
        bool HasData = false;
        char HexIndicator = 0;  // ^FH: the character before two hex digits; 0 without ^FH
        std::string Data;
    };

    TZplLayout out_;
    TField field_;
    bool utf8_ = false;
    int homeX_ = 0, homeY_ = 0;
    int module_ = 2, barHeight_ = 10;
    int width_ = -1, length_ = -1;
    int right_ = 0, bottom_ = 0;
};

TZplLayout TLayouter::Run(const std::vector<TZplCommand>& commands) {
    bool started = std::none_of(commands.begin(), commands.end(),
                                [](const TZplCommand& c) { return c.Code == "XA"; });
    for (const auto& c : commands) {
        if (!started) {
            started = c.Code == "XA";
            continue;
        }
        if (c.Code == "XZ") break;
        Command(c);
    }
    if (field_.HasData || field_.Barcode) FieldEnd();  // a field without ^FS still prints
    out_.Width = width_ >= 0 ? width_ : right_;
    out_.Height =
        length_ >= 0 ? length_
                     : (bottom_ + kDotsPerMillimetre - 1) / kDotsPerMillimetre * kDotsPerMillimetre;
    return std::move(out_);
}

void TLayouter::Command(const TZplCommand& c) {
    const auto p = SplitParams(c.Params);
    const std::string& code = c.Code;
    if (c.Prefix == '^' && code == "XA") {
    } else if (c.Prefix == '^' && code == "FX") {
    } else if (c.Prefix == '^' && code == "PW") {
        width_ = Number(p, 0, width_, 2);
    } else if (c.Prefix == '^' && code == "LL") {
        length_ = Number(p, 0, length_, 1);
    } else if (c.Prefix == '^' && code == "LH") {
        homeX_ = Number(p, 0, homeX_);
        homeY_ = Number(p, 1, homeY_);
    } else if (c.Prefix == '^' && (code == "FO" || code == "FT")) {
        field_.HasOrigin = true;
        field_.Typeset = code == "FT";
        field_.X = homeX_ + Number(p, 0, 0);
        field_.Y = homeY_ + Number(p, 1, 0);
    } else if (c.Prefix == '^' && code == "A") {
        // ^Afo,h,w: the font letter leads the first parameter, the orientation follows it.
        const std::string& first = p.empty() ? std::string() : p[0];
        field_.Font = first.empty() ? 'A' : Upper(first[0]);
        const char orientation = first.size() > 1 ? Upper(first[1]) : 'N';
        if (orientation != 'N')
            out_.Notices.push_back("Поворот шрифта не показан: "_cp1251 + c.Text());
        const int h = Number(p, 1, 0, 0, 32000), w = Number(p, 2, 0, 0, 32000);
        field_.FontHeight = h > 0 ? h : (w > 0 ? w : 9);
        field_.FontWidth = w > 0 ? w : field_.FontHeight;
    } else if (c.Prefix == '^' && code == "FB") {
        field_.Block = true;
        field_.BlockWidth = Number(p, 0, 0);
        field_.BlockLines = Number(p, 1, 1, 1, 9999);
        field_.BlockSpacing = Number(p, 2, 0, -9999, 9999);
        field_.Justify = Letter(p, 3, 'L');
        field_.BlockIndent = Number(p, 4, 0);
    } else if (c.Prefix == '^' && code == "FD") {
        field_.HasData = true;
        field_.Data += c.Params;
    } else if (c.Prefix == '^' && code == "FH") {
        field_.HexIndicator = c.Params.empty() ? '_' : c.Params[0];
    } else if (c.Prefix == '^' && code == "FR") {
        field_.Reverse = true;
    } else if (c.Prefix == '^' && code == "FS") {
        FieldEnd();
    } else if (c.Prefix == '^' && code == "GB") {
        PlaceBox(p);
    } else if (c.Prefix == '^' && code == "CI") {
        utf8_ = Number(p, 0, 0) == 28;
    } else if (c.Prefix == '^' && code == "BY") {
        module_ = Number(p, 0, module_, 1, 10);
        barHeight_ = Number(p, 2, barHeight_, 1);
    } else if (c.Prefix == '^' && code == "BC") {
        if (Letter(p, 0, 'N') != 'N')
            out_.Notices.push_back("Поворот штрихкода не показан: "_cp1251 + c.Text());
        field_.Barcode = true;
        field_.BarHeight = Number(p, 1, barHeight_, 1);
        field_.Interpretation = Letter(p, 2, 'Y') == 'Y';
        field_.Above = Letter(p, 3, 'N') == 'Y';
    } else {
        out_.Unknown.push_back(c.Text());
    }
}

void TLayouter::FieldEnd() {
    if (field_.HasData) {
        const std::string data =
            field_.HexIndicator ? DecodeHex(field_.Data, field_.HexIndicator) : field_.Data;
        const std::string text = utf8_ ? data : Cp1251ToUtf8(data);
        if (field_.Barcode)
            PlaceBarcode(text);
        else
            PlaceText(text);
    }
    // Origin, font, block and barcode are the field's own: the next field starts afresh.
    ResetField();
}

void TLayouter::PlaceText(const std::string& utf8) {
    TZplElement e;
    e.Type = TZplElement::Kind::Text;
    e.Reverse = field_.Reverse;
    e.Font = field_.Font;
    e.FontHeight = field_.FontHeight;
    e.FontWidth = field_.FontWidth;
    const int cell = std::max(1, field_.FontWidth);
    if (!field_.Block || field_.BlockWidth <= 0) {
        const int chars = static_cast<int>(Characters(utf8).size());
        e.Box = {field_.X, field_.Y, chars * cell, field_.FontHeight};
        if (field_.Typeset) e.Box.Y -= e.Box.Height;
        e.Lines.push_back({e.Box, utf8});
    } else {
        const int pitch = field_.FontHeight + field_.BlockSpacing;
        const int shown = field_.BlockLines;
        e.Box = {field_.X, field_.Y, field_.BlockWidth,
                 std::max(field_.FontHeight, field_.FontHeight + (shown - 1) * pitch)};
        if (field_.Typeset) e.Box.Y -= e.Box.Height;
        const auto capacity = static_cast<std::size_t>(std::max(1, field_.BlockWidth / cell));
        const auto wrapped = Wrap(utf8, capacity);
        for (std::size_t i = 0; i < wrapped.size(); ++i) {
            // Text past the block's last line is printed over that line, as the printer does.
            const int row = std::min(static_cast<int>(i), shown - 1);
            const int indent = i > 0 ? field_.BlockIndent : 0;
            const int width = static_cast<int>(wrapped[i].size()) * cell;
            int x = e.Box.X + indent;
            const int room = field_.BlockWidth - indent - width;
            if (field_.Justify == 'C') x += HalfOf(room);
            if (field_.Justify == 'R') x += room;
            e.Lines.push_back({{x, e.Box.Y + row * pitch, width, field_.FontHeight},
                               Join(wrapped[i], 0, wrapped[i].size())});
        }
    }
    Reach(e.Box);
    out_.Elements.push_back(std::move(e));
}

void TLayouter::PlaceBarcode(const std::string& utf8) {
    const TCode128 code = EncodeCode128(utf8);
    if (!code.Ok) {
        out_.Notices.push_back("Штрихкод не показан: Code 128 не передаёт текст \""_cp1251 +
                               Utf8ToCp1251(utf8) + "\""_cp1251);
        return;
    }
    TZplElement e;
    e.Type = TZplElement::Kind::Barcode;
    e.Reverse = field_.Reverse;
    e.Module = module_;
    e.Bars = Code128Widths(code.Values);
    e.Box = {field_.X, field_.Y, Code128Modules(code.Values) * module_, field_.BarHeight};
    if (field_.Typeset) e.Box.Y -= e.Box.Height;
    if (field_.Interpretation) {
        const int h = InterpretationHeight(module_);
        const int y = field_.Above ? e.Box.Y - h : e.Box.Y + e.Box.Height;
        e.Lines.push_back({{e.Box.X, y, e.Box.Width, h}, utf8});
        Reach(e.Lines.back().Box);
    }
    Reach(e.Box);
    out_.Elements.push_back(std::move(e));
}

void TLayouter::PlaceBox(const std::vector<std::string>& p) {
    TZplElement e;
    e.Type = TZplElement::Kind::Box;
    e.Reverse = field_.Reverse;
    e.Thickness = Number(p, 2, 1, 1);
    e.Box = {field_.X, field_.Y, std::max(e.Thickness, Number(p, 0, e.Thickness)),
             std::max(e.Thickness, Number(p, 1, e.Thickness))};
    if (field_.Typeset) e.Box.Y -= e.Box.Height;
    e.White = Letter(p, 3, 'B') == 'W';
    e.Rounding = Number(p, 4, 0, 0, 8);
    Reach(e.Box);
    out_.Elements.push_back(std::move(e));
}

}  // namespace

std::vector<TZplCommand> ParseZpl(std::string_view zpl) {
    std::vector<TZplCommand> commands;
    std::size_t i = zpl.find_first_of("^~");
    while (i != std::string_view::npos && i < zpl.size()) {
        TZplCommand c;
        c.Prefix = zpl[i];
        std::size_t at = i + 1;
        // Line breaks between and inside commands mean nothing to the printer.
        auto take = [&](std::size_t n) {
            std::string s;
            while (s.size() < n && at < zpl.size()) {
                if (zpl[at] != '\r' && zpl[at] != '\n') s += Upper(zpl[at]);
                ++at;
            }
            return s;
        };
        c.Code = take(1);
        if (c.Code != "A") c.Code += take(1);
        const bool data = c.Prefix == '^' && c.Code == "FD";
        const std::size_t end = data ? zpl.find('^', at) : zpl.find_first_of("^~", at);
        const std::string_view params =
            zpl.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        for (char ch : params)
            if (ch != '\r' && ch != '\n') c.Params += ch;
        commands.push_back(std::move(c));
        i = end;
    }
    return commands;
}

TZplLayout LayOutZpl(std::string_view zpl) {
    return TLayouter().Run(ParseZpl(zpl));
}

}  // namespace tandrel::labels
