#pragma once
// What a label printer makes of the ZPL the program sends, as boxes in dots (8 per millimetre):
// text lines, graphic boxes and Code 128 bars, for the label preview. The drawing itself is the
// windows' business; this is the arithmetic. Plain functions, any thread.
//
// Understood: ^XA ^XZ ^PW ^LL ^LH ^FO ^FT ^A ^FB ^FD ^FH ^FS ^FR ^GB ^CI ^BY ^BC ^FX. Every other
// command is listed in TZplLayout::Unknown, never dropped in silence.

#include <string>
#include <string_view>
#include <vector>

namespace tandrel::labels {

inline constexpr int kDotsPerMillimetre = 8;

// One command as it stands: "^" or "~", its code ("A" for the font command, whose font letter
// leads the parameters) and its parameters with line breaks removed.
struct TZplCommand {
    char Prefix = '^';
    std::string Code;
    std::string Params;
    std::string Text() const { return std::string(1, Prefix) + Code + Params; }
};

// The commands of the text, in order. Field data (^FD) runs to the next "^".
std::vector<TZplCommand> ParseZpl(std::string_view zpl);

struct TZplBox {
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool operator==(const TZplBox&) const = default;
};

// One line of text in its box; Utf8 holds what the printer shows.
struct TZplLine {
    TZplBox Box;
    std::string Utf8;
};

struct TZplElement {
    enum class Kind { Text, Box, Barcode };
    Kind Type = Kind::Text;
    TZplBox Box;           // the whole field: text block, graphic box, or the bars
    bool Reverse = false;  // ^FR: drawn inverting what lies below
    // Text: the font's letter and cell in dots; the lines (a field block wraps its text).
    char Font = 'A';
    int FontHeight = 0;
    int FontWidth = 0;
    std::vector<TZplLine> Lines;  // text lines, or a barcode's human-readable line
    // Graphic box: border thickness, white instead of black, corner rounding 0 to 8.
    int Thickness = 0;
    bool White = false;
    int Rounding = 0;
    // Barcode: the module width in dots and the widths in modules of bar, space, bar, ...
    int Module = 0;
    std::vector<int> Bars;
};

struct TZplLayout {
    int Width = 0;   // ^PW, else what the fields reach
    int Height = 0;  // ^LL, else what the fields reach, up to a whole millimetre
    std::vector<TZplElement> Elements;
    std::vector<std::string> Unknown;  // commands not understood, as they stand
    std::vector<std::string> Notices;  // parts not drawn and why (Windows-1251)
};

// The first label (^XA to ^XZ; all of the text when it has no ^XA). Field data are UTF-8 after
// ^CI28, Windows-1251 otherwise.
TZplLayout LayOutZpl(std::string_view zpl);

// A barcode's human-readable line: its height in dots for a module width.
inline int InterpretationHeight(int module) {
    return 10 * module;
}

}  // namespace tandrel::labels
