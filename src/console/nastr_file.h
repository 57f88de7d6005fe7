#pragma once
// The settings file nastr.dat and the plain logic of the settings window, without any widget.
//
// The file is Windows-1251 text with CR LF line ends: before every setting a comment line that
// begins with a blank, then the key letter, "=" and the value. Paths are held as paths in memory
// and stored as Windows-1251 text. All calls may run on any thread; none keeps state.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tandrel {

// Accepted ranges; a value outside them is refused like a value that is not a number.
inline constexpr std::int32_t kMinFontSize = 4;  // points
inline constexpr std::int32_t kMaxFontSize = 400;
inline constexpr std::int32_t kMinColumnWidth = 0;  // pixels
inline constexpr std::int32_t kMaxColumnWidth = 5000;

struct TSettings {
    std::int32_t Column0Width = 207;     // a: the list grid's sizes column, pixels
    std::int32_t Column1Width = 367;     // b: the list grid's captions column, pixels
    std::string DevicePortName;          // p: Windows-1251; a device path on Linux
    std::filesystem::path DataDir;       // d: where the open dialog starts
    std::int32_t InfoFontSize = 40;      // c: the info line Label3, points
    std::int32_t PositionFontSize = 40;  // f: the position display Edit1, points
    std::int32_t ListFontSize = 8;       // e: the list grid StringGrid1, points
    // The list grid's default row height in pixels: twice the font size an e line or the
    // settings window gives; 24 until one does.
    std::int32_t ListRowHeight = 24;
    std::string LabelPortName;     // g: Windows-1251
    bool ShowKeypad = true;        // h
    bool ShowCorrection = false;   // i
    bool PrintLabels = false;      // j
    bool ConsecutiveRows = false;  // k
    bool SendSizes = false;        // l: a row's target goes to the stop as a move
    bool KeepJournal = true;       // m: the production journal written
    // n: the printer's state asked before each label; unset (no n line) asks a network printer
    // and not a serial one.
    std::optional<bool> AskPrinterState;
    std::string Broker;       // o: the plant feed's MQTT broker, "host:port"; empty: no feed
    std::string StationName;  // q: Windows-1251, blanks kept; empty: the computer's name
    // r: the folder the office fills with lists, kept whole; empty means DataDir.
    std::filesystem::path IncomingDir;
    std::string MqttUser;                // s: the feed's log-in, Windows-1251; empty: none
    std::filesystem::path MqttCaFile;    // t: the plant's CA (PEM); set: the feed uses TLS
    std::filesystem::path MqttCertFile;  // u: the station's certificate and key (PEM)

    bool operator==(const TSettings&) const = default;
};

// The settings without a file: the values above, DataDir = programDir without a trailing
// separator.
TSettings DefaultSettings(const std::filesystem::path& programDir);

// "nastr.dat" in the program's directory.
std::filesystem::path SettingsFilePath(const std::filesystem::path& programDir);

// Applies the file's bytes over defaults. Only lines with a lower-case key count (those
// this program does not know change nothing); the value starts at the third character. d, g, p,
// q, r, s, t and u take the whole rest of the line; numbers
// and switches stop before the first blank. A line with an empty value, a number that is not a
// decimal integer or lies outside its range is skipped and reading goes on; the last line of a
// key wins. A switch is false for exactly "0". When DataDir does not name an existing directory
// afterwards, it becomes defaults.DataDir (the program's directory). Never raises.
TSettings ParseSettings(std::string_view bytes, const TSettings& defaults);

// The folder of incoming lists: r, or d while r is empty.
std::filesystem::path IncomingFolder(const TSettings& settings);

// The file's exact bytes: every key in the order a, b, p, d, c, f, e, g, h, i, j, k, l, m, n, o,
// q, r, s, t, u, each after its comment line, CR LF line ends; g, o, q, r, s, t and u only when
// not empty, n only
// once set; switches as "-1"/"0". A DataDir that Windows-1251 cannot hold is written empty, so the
// next start uses the program's directory.
std::string FormatSettings(const TSettings& settings);

// ParseSettings of the file, or defaults when it is missing or unreadable. Never raises.
TSettings ReadSettingsFile(const std::filesystem::path& path, const TSettings& defaults);

// Replaces the file atomically with FormatSettings(settings). Raises tandrel::Exception when the
// file cannot be written; the previous file then stays whole.
void WriteSettingsFile(const std::filesystem::path& path, const TSettings& settings);

// The settings window's value rows 1 to 3: the info line, the position display, the list grid.
std::array<std::string, 3> ValueRowNames();  // Windows-1251
std::array<std::string, 3> ValueRows(const TSettings& settings);

// "Применить" for the value rows: each row that is a decimal integer within the font size range
// sets its font size (row 3 also the grid's row height, twice the size); the others are refused
// (true in the result) and change nothing.
std::array<bool, 3> ApplyValueRows(TSettings& settings, const std::array<std::string, 3>& rows);

}  // namespace tandrel
