#include "console/nastr_file.h"

#include <system_error>
#include <tuple>

#include "base/cp1251.h"
#include "base/files.h"
#include "base/numbers.h"

namespace tandrel {
namespace {

// The comment lines are part of the format, the slip in f's included: they are written exactly so.
struct Comments {
    std::string a = " ширина первого столбца"_cp1251;
    std::string b = " ширина второго столбца"_cp1251;
    std::string p = " порт"_cp1251;
    std::string d = " каталог по умолчанию для данных"_cp1251;
    std::string c = " Размер шрифта информации"_cp1251;
    std::string f = " Размер шришта текущего положения"_cp1251;
    std::string e = " Размер шрифта списка размеров"_cp1251;
    std::string g = " Порт принтера этикеток"_cp1251;
    std::string h = " Показывать клавиатуру?"_cp1251;
    std::string i = " Показывать коррекцию"_cp1251;
    std::string j = " Печатать этикетки"_cp1251;
    std::string k = " Только новые размеры"_cp1251;
    std::string l = " Отправлять размеры на упор"_cp1251;
    std::string m = " Вести журнал"_cp1251;
    std::string n = " Спрашивать состояние принтера"_cp1251;
    std::string o = " Брокер MQTT"_cp1251;
    std::string q = " Имя станции"_cp1251;
    std::string r = " Папка входящих списков"_cp1251;
    std::string s = " Пользователь MQTT"_cp1251;
    std::string t = " Сертификат центра MQTT"_cp1251;
    std::string u = " Сертификат станции MQTT"_cp1251;
};

const Comments& TheComments() {
    static const Comments comments;
    return comments;
}

// Leaves out as it was when the text is refused.
bool ParseInRange(std::string_view text, std::int32_t min, std::int32_t max, std::int32_t& out) {
    std::int32_t value = 0;
    if (!TryStrToInt32(text, value) || value < min || value > max) return false;
    out = value;
    return true;
}

void ApplyLine(std::string_view line, TSettings& s) {
    if (line.empty()) return;
    const char key = line[0];
    if (key < 'a' || key > 'z') return;
    // The second character is not examined: "a:207" counts as well as "a=207".
    const std::string_view rest = line.size() > 2 ? line.substr(2) : std::string_view();
    const std::string_view word = rest.substr(0, rest.find(' '));
    // Paths and port names may hold blanks; numbers and switches end at the first one.
    const bool whole = key == 'd' || key == 'g' || key == 'p' || key == 'q' || key == 'r' ||
                       key == 's' || key == 't' || key == 'u';
    const std::string_view value = whole ? rest : word;
    if (value.empty()) return;
    switch (key) {
        case 'a':
            ParseInRange(value, kMinColumnWidth, kMaxColumnWidth, s.Column0Width);
            break;
        case 'b':
            ParseInRange(value, kMinColumnWidth, kMaxColumnWidth, s.Column1Width);
            break;
        case 'c':
            ParseInRange(value, kMinFontSize, kMaxFontSize, s.InfoFontSize);
            break;
        case 'f':
            ParseInRange(value, kMinFontSize, kMaxFontSize, s.PositionFontSize);
            break;
        case 'e':
            if (ParseInRange(value, kMinFontSize, kMaxFontSize, s.ListFontSize))
                s.ListRowHeight = 2 * s.ListFontSize;
            break;
        case 'd':
            s.DataDir = Cp1251ToPath(value);
            break;
        case 'g':
            s.LabelPortName = std::string(value);
            break;
        case 'p':
            s.DevicePortName = std::string(value);
            break;
        case 'h':
            s.ShowKeypad = value != "0";
            break;
        case 'i':
            s.ShowCorrection = value != "0";
            break;
        case 'j':
            s.PrintLabels = value != "0";
            break;
        case 'k':
            s.ConsecutiveRows = value != "0";
            break;
        case 'l':
            s.SendSizes = value != "0";
            break;
        case 'm':
            s.KeepJournal = value != "0";
            break;
        case 'n':
            s.AskPrinterState = value != "0";
            break;
        case 'o':
            s.Broker = std::string(value);
            break;
        case 'q':
            s.StationName = std::string(value);
            break;
        case 'r':
            s.IncomingDir = Cp1251ToPath(value);
            break;
        case 's':
            s.MqttUser = std::string(value);
            break;
        case 't':
            s.MqttCaFile = Cp1251ToPath(value);
            break;
        case 'u':
            s.MqttCertFile = Cp1251ToPath(value);
            break;
        default:
            break;  // keys of other versions
    }
}

void AppendSetting(std::string& out, const std::string& comment, char key, std::string_view value) {
    out += comment;
    out += "\r\n";
    out += key;
    out += '=';
    out += value;
    out += "\r\n";
}

std::string_view Switch(bool on) {
    return on ? "-1" : "0";
}

}  // namespace

TSettings DefaultSettings(const std::filesystem::path& programDir) {
    TSettings s;
    s.DataDir = programDir;
    if (s.DataDir.has_relative_path() && !s.DataDir.has_filename())
        s.DataDir = s.DataDir.parent_path();
    return s;
}

std::filesystem::path SettingsFilePath(const std::filesystem::path& programDir) {
    return programDir / "nastr.dat";
}

TSettings ParseSettings(std::string_view bytes, const TSettings& defaults) {
    TSettings s = defaults;
    s.DataDir.clear();
    while (!bytes.empty()) {
        const std::size_t end = bytes.find_first_of("\r\n");
        ApplyLine(bytes.substr(0, end), s);
        if (end == std::string_view::npos) break;
        // CR LF, a lone LF and a lone CR all end a line; the empty lines between are skipped.
        bytes.remove_prefix(end + 1);
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(s.DataDir, ec)) s.DataDir = defaults.DataDir;
    return s;
}

std::string FormatSettings(const TSettings& s) {
    const Comments& c = TheComments();
    std::string out;
    AppendSetting(out, c.a, 'a', std::to_string(s.Column0Width));
    AppendSetting(out, c.b, 'b', std::to_string(s.Column1Width));
    AppendSetting(out, c.p, 'p', s.DevicePortName);
    AppendSetting(out, c.d, 'd', PathToCp1251(s.DataDir).value_or(std::string()));
    AppendSetting(out, c.c, 'c', std::to_string(s.InfoFontSize));
    AppendSetting(out, c.f, 'f', std::to_string(s.PositionFontSize));
    AppendSetting(out, c.e, 'e', std::to_string(s.ListFontSize));
    if (!s.LabelPortName.empty()) AppendSetting(out, c.g, 'g', s.LabelPortName);
    AppendSetting(out, c.h, 'h', Switch(s.ShowKeypad));
    AppendSetting(out, c.i, 'i', Switch(s.ShowCorrection));
    AppendSetting(out, c.j, 'j', Switch(s.PrintLabels));
    AppendSetting(out, c.k, 'k', Switch(s.ConsecutiveRows));
    AppendSetting(out, c.l, 'l', Switch(s.SendSizes));
    AppendSetting(out, c.m, 'm', Switch(s.KeepJournal));
    if (s.AskPrinterState) AppendSetting(out, c.n, 'n', Switch(*s.AskPrinterState));
    if (!s.Broker.empty()) AppendSetting(out, c.o, 'o', s.Broker);
    if (!s.StationName.empty()) AppendSetting(out, c.q, 'q', s.StationName);
    if (!s.IncomingDir.empty())
        AppendSetting(out, c.r, 'r', PathToCp1251(s.IncomingDir).value_or(std::string()));
    if (!s.MqttUser.empty()) AppendSetting(out, c.s, 's', s.MqttUser);
    for (const auto& [comment, key, path] :
         {std::tuple{&c.t, 't', &s.MqttCaFile}, std::tuple{&c.u, 'u', &s.MqttCertFile}}) {
        if (const auto text = PathToCp1251(*path); text && !text->empty())
            AppendSetting(out, *comment, key, *text);
    }
    return out;
}

std::filesystem::path IncomingFolder(const TSettings& settings) {
    return settings.IncomingDir.empty() ? settings.DataDir : settings.IncomingDir;
}

TSettings ReadSettingsFile(const std::filesystem::path& path, const TSettings& defaults) {
    const auto bytes = ReadWholeFile(path);
    return bytes ? ParseSettings(*bytes, defaults) : defaults;
}

void WriteSettingsFile(const std::filesystem::path& path, const TSettings& settings) {
    WriteFileAtomic(path, FormatSettings(settings));
}

std::array<std::string, 3> ValueRowNames() {
    const Comments& c = TheComments();
    return {c.c.substr(1), c.f.substr(1), c.e.substr(1)};
}

std::array<std::string, 3> ValueRows(const TSettings& s) {
    return {std::to_string(s.InfoFontSize), std::to_string(s.PositionFontSize),
            std::to_string(s.ListFontSize)};
}

std::array<bool, 3> ApplyValueRows(TSettings& s, const std::array<std::string, 3>& rows) {
    std::int32_t* const sizes[3] = {&s.InfoFontSize, &s.PositionFontSize, &s.ListFontSize};
    std::array<bool, 3> refused{};
    for (std::size_t row = 0; row < rows.size(); ++row) {
        refused[row] = !ParseInRange(rows[row], kMinFontSize, kMaxFontSize, *sizes[row]);
    }
    if (!refused[2]) s.ListRowHeight = 2 * s.ListFontSize;
    return refused;
}

}  // namespace tandrel
