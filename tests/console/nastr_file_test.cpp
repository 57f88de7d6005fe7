#include "console/nastr_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"
#include "support/temp_dir.h"

namespace tandrel {

void PrintTo(const TSettings& s, std::ostream* os) {
    *os << Cp1251ToUtf8(FormatSettings(s));
}

namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Lines written in UTF-8 and joined with CR LF, as Windows-1251 bytes.
std::string File(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* line : lines) out += Utf8ToCp1251(line) + "\r\n";
    return out;
}

const char* const kExampleLines[] = {
    " ширина первого столбца",
    "a=207",
    " ширина второго столбца",
    "b=367",
    " порт",
    "p=",
    " каталог по умолчанию для данных",
    "d=C:\\Cut",
    " Размер шрифта информации",
    "c=40",
    " Размер шришта текущего положения",
    "f=40",
    " Размер шрифта списка размеров",
    "e=8",
    " Показывать клавиатуру?",
    "h=-1",
    " Показывать коррекцию",
    "i=0",
    " Печатать этикетки",
    "j=0",
    " Только новые размеры",
    "k=0",
    " Отправлять размеры на упор",
    "l=0",
    " Вести журнал",
    "m=-1",
};

TEST(SettingsFile, FirstStartWritesTheExampleBytesAndReadsThemBackUnchanged) {
    const TSettings defaults = DefaultSettings("C:\\Cut");
    std::string expected;
    for (const char* line : kExampleLines) expected += Utf8ToCp1251(line) + "\r\n";
    const std::string bytes = FormatSettings(defaults);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(bytes.substr(0, 5), "\x20\xF8\xE8\xF0\xE8");  // " шири" in Windows-1251
    EXPECT_EQ(bytes.find("g="), std::string::npos);
    // Every value comes back; the e line now sets the rows to twice its size.
    TSettings readBack = defaults;
    readBack.ListRowHeight = 16;
    EXPECT_EQ(ParseSettings(bytes, defaults), readBack);
}

TEST(SettingsFile, TheLabelPortLineComesBetweenEAndHOnlyWhenSet) {
    TSettings s = DefaultSettings("/opt/cut");
    s.LabelPortName = "COM 3";
    s.PrintLabels = true;
    s.ShowKeypad = false;
    const std::string bytes = FormatSettings(s);
    const std::string tail =
        File({"e=8", " Порт принтера этикеток", "g=COM 3", " Показывать клавиатуру?", "h=0",
              " Показывать коррекцию", "i=0", " Печатать этикетки", "j=-1"});
    EXPECT_NE(bytes.find(tail), std::string::npos);
    s.ListRowHeight = 16;  // set by the e line
    EXPECT_EQ(ParseSettings(bytes, DefaultSettings("/opt/cut")), s);
}

TEST(SettingsFile, ParsesEachLine) {
    TempDir dir;
    const fs::path program = dir.Path() / "program";
    const fs::path spaced = dir.Path() / "cut lists";
    const fs::path cyrillic = dir.Path() / fs::path(u8"Раскрой №1");
    for (const auto& d : {program, spaced, cyrillic}) fs::create_directories(d);
    const std::string spacedLine = "d=" + spaced.string();
    const std::u8string cyrillicUtf8 = cyrillic.u8string();  // File() stores it as Windows-1251
    const std::string cyrillicLine = "d=" + std::string(cyrillicUtf8.begin(), cyrillicUtf8.end());
    const TSettings defaults = DefaultSettings(program);

    const struct {
        const char* name;
        std::string bytes;
        std::function<void(TSettings&)> change;
    } rows[] = {
        {"empty file", "", [](TSettings&) {}},
        {"c=48 large", File({"c=48 large"}), [](TSettings& s) { s.InfoFontSize = 48; }},
        {"h=0", File({"h=0"}), [](TSettings& s) { s.ShowKeypad = false; }},
        {"h=1", File({"h=0", "h=1"}), [](TSettings&) {}},
        {"h=-1", File({"h=0", "h=-1"}), [](TSettings&) {}},
        {"h=no", File({"h=0", "h=no"}), [](TSettings&) {}},
        {"h= keeps the value", File({"h=0", "h="}), [](TSettings& s) { s.ShowKeypad = false; }},
        {"switch cut at a blank", File({"i=0 1", "k=1 0"}),
         [](TSettings& s) { s.ConsecutiveRows = true; }},
        {"upper-case key, z, comments, short lines",
         File({"A=300", "z=1", " ширина первого столбца", "a", "a=", "=5", ""}), [](TSettings&) {}},
        {"e=12", File({"e=12"}), [](TSettings& s) { s.ListFontSize = 12, s.ListRowHeight = 24; }},
        {"e=8 halves the default rows", File({"e=8"}), [](TSettings& s) { s.ListRowHeight = 16; }},
        {"refused e keeps the default rows", File({"e=x", "e=401"}), [](TSettings&) {}},
        {"m=0 stops the journal", File({"m=0"}), [](TSettings& s) { s.KeepJournal = false; }},
        {"m= keeps the value", File({"m=0", "m="}), [](TSettings& s) { s.KeepJournal = false; }},
        {"m=1", File({"m=0", "m=1"}), [](TSettings&) {}},
        {"n=1 asks the printer", File({"n=1"}), [](TSettings& s) { s.AskPrinterState = true; }},
        {"o host:port, cut at a blank", File({"o=plant:1884 x"}),
         [](TSettings& s) { s.Broker = "plant:1884"; }},
        {"q kept whole", File({"q=Линия 2 / пила"}),
         [](TSettings& s) { s.StationName = Utf8ToCp1251("Линия 2 / пила"); }},
        {"n=0 does not ask", File({"n=-1", "n=0"}),
         [](TSettings& s) { s.AskPrinterState = false; }},
        {"r kept whole", File({"r=\\\\server\\cut lists "}),
         [](TSettings& s) { s.IncomingDir = Cp1251ToPath("\\\\server\\cut lists "); }},
        {"l=-1 sends sizes", File({"l=-1"}), [](TSettings& s) { s.SendSizes = true; }},
        {"l=0 after l=1", File({"l=1", "l=0"}), [](TSettings&) {}},
        {"l= keeps it off", File({"l="}), [](TSettings&) {}},
        {"second character not examined", File({"a:300", "bx400"}),
         [](TSettings& s) { s.Column0Width = 300, s.Column1Width = 400; }},
        {"last line of a key wins", File({"f=20", "f=30"}),
         [](TSettings& s) { s.PositionFontSize = 30; }},
        {"a value after a blank is empty", File({"c= 48"}), [](TSettings&) {}},
        {"bad number skipped, reading goes on", File({"a=wide", "b=400", "c=50", "j=1"}),
         [](TSettings& s) { s.Column1Width = 400, s.InfoFontSize = 50, s.PrintLabels = true; }},
        {"numbers with a sign", File({"a=+300", "b=-0"}),
         [](TSettings& s) { s.Column0Width = 300, s.Column1Width = 0; }},
        {"not decimal integers", File({"a=3e2", "b=0x10", "c=99999999999", "f=4.5", "e=-"}),
         [](TSettings&) {}},
        {"range limits accepted", File({"a=0", "b=5000", "c=4", "f=400"}),
         [](TSettings& s) {
             s.Column0Width = 0, s.Column1Width = 5000, s.InfoFontSize = 4;
             s.PositionFontSize = 400;
         }},
        {"out of range refused", File({"a=-1", "b=5001", "c=3", "f=401", "e=0"}),
         [](TSettings&) {}},
        {"port names keep their blanks", File({"p=/dev/serial/by-id/usb x", "g=COM 3 "}),
         [](TSettings& s) {
             s.DevicePortName = "/dev/serial/by-id/usb x";
             s.LabelPortName = "COM 3 ";
         }},
        {"data directory with a blank", File({spacedLine.c_str()}),
         [&](TSettings& s) { s.DataDir = spaced; }},
        {"data directory in Cyrillic", File({cyrillicLine.c_str()}),
         [&](TSettings& s) { s.DataDir = cyrillic; }},
        {"missing data directory", File({"d=/no/such/dir"}), [](TSettings&) {}},
        {"data directory is a file", File({"d=/etc/hostname"}), [](TSettings&) {}},
        {"LF and lone CR line ends", "c=20\nf=21\re=22",
         [](TSettings& s) {
             s.InfoFontSize = 20, s.PositionFontSize = 21, s.ListFontSize = 22;
             s.ListRowHeight = 44;
         }},
    };
    for (const auto& r : rows) {
        TSettings expected = defaults;
        r.change(expected);
        EXPECT_EQ(ParseSettings(r.bytes, defaults), expected) << r.name;
    }
    EXPECT_EQ(ParseSettings(File({"e=12"}), defaults).ListRowHeight, 24);
    // Without an e line the rows keep the default height, not twice the default font size.
    EXPECT_EQ(ParseSettings(File({"c=48"}), defaults).ListRowHeight, 24);
    EXPECT_EQ(defaults.ListRowHeight, 24);
}

// A file always holds an e line, so what comes back has rows twice the font size high.
TSettings WrittenAndRead(TSettings s) {
    s.ListRowHeight = 2 * s.ListFontSize;
    return s;
}

// Every key, changed on its own, comes back from the file as it was written.
TEST(SettingsFile, EveryKeyRoundTrips) {
    TempDir dir;
    const fs::path other = dir.Path() / fs::path(u8"другой каталог");
    fs::create_directories(other);
    const TSettings defaults = DefaultSettings(dir.Path());
    const struct {
        char key;
        std::function<void(TSettings&)> change;
    } rows[] = {
        {'a', [](TSettings& s) { s.Column0Width = 0; }},
        {'b', [](TSettings& s) { s.Column1Width = 5000; }},
        {'p', [](TSettings& s) { s.DevicePortName = "/dev/serial/by-id/usb x"; }},
        {'d', [&](TSettings& s) { s.DataDir = other; }},
        {'c', [](TSettings& s) { s.InfoFontSize = 4; }},
        {'f', [](TSettings& s) { s.PositionFontSize = 400; }},
        {'e', [](TSettings& s) { s.ListFontSize = 30; }},
        {'g', [](TSettings& s) { s.LabelPortName = "COM 3"; }},
        {'h', [](TSettings& s) { s.ShowKeypad = false; }},
        {'i', [](TSettings& s) { s.ShowCorrection = true; }},
        {'j', [](TSettings& s) { s.PrintLabels = true; }},
        {'k', [](TSettings& s) { s.ConsecutiveRows = true; }},
        {'m', [](TSettings& s) { s.KeepJournal = false; }},
        {'n', [](TSettings& s) { s.AskPrinterState = false; }},
        {'o', [](TSettings& s) { s.Broker = "[::1]:1883"; }},
        {'q', [](TSettings& s) { s.StationName = " 2 #A"; }},
        {'r', [&](TSettings& s) { s.IncomingDir = other; }},
        {'s', [](TSettings& s) { s.MqttUser = " station 2 "; }},
        {'t', [](TSettings& s) { s.MqttCaFile = "/etc/plant ca.pem"; }},
        {'u', [](TSettings& s) { s.MqttCertFile = "/etc/station 2.pem"; }},
    };
    TSettings all = defaults;
    for (const auto& r : rows) {
        TSettings s = defaults;
        r.change(s);
        r.change(all);
        ASSERT_NE(s, defaults) << r.key;
        EXPECT_EQ(ParseSettings(FormatSettings(s), defaults), WrittenAndRead(s)) << r.key;
    }
    EXPECT_EQ(ParseSettings(FormatSettings(all), defaults), WrittenAndRead(all));
}

TEST(SettingsFile, TheJournalSwitchIsWrittenLastWithItsComment) {
    TSettings s = DefaultSettings("/opt/cut");
    s.KeepJournal = false;
    const std::string bytes = FormatSettings(s);
    const std::string tail = File({" Только новые размеры", "k=0", " Отправлять размеры на упор",
                                   "l=0", " Вести журнал", "m=0"});
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);
    // n, o and q only once set, after m, in that order.
    s.AskPrinterState = true;
    s.Broker = "10.0.0.5:1883";
    s.StationName = Utf8ToCp1251("Линия 2");
    const std::string feed = File({" Спрашивать состояние принтера", "n=-1", " Брокер MQTT",
                                   "o=10.0.0.5:1883", " Имя станции", "q=Линия 2"});
    EXPECT_EQ(FormatSettings(s), bytes + feed);
    // r only once set, last; while empty the incoming folder is d's.
    EXPECT_EQ(IncomingFolder(s), s.DataDir);
    s.IncomingDir = "/srv/lists";
    EXPECT_EQ(FormatSettings(s), bytes + feed + File({" Папка входящих списков", "r=/srv/lists"}));
    EXPECT_EQ(IncomingFolder(s), s.IncomingDir);
    // s, t and u after r, each only once set; never a password.
    s.MqttUser = "st2";
    s.MqttCertFile = "/etc/st2.pem";
    EXPECT_EQ(FormatSettings(s),
              bytes + feed +
                  File({" Папка входящих списков", "r=/srv/lists", " Пользователь MQTT", "s=st2",
                        " Сертификат станции MQTT", "u=/etc/st2.pem"}));
}

TEST(SettingsFile, ProgramDirectoryHasNoTrailingSeparator) {
    EXPECT_EQ(DefaultSettings("/opt/cut/").DataDir, fs::path("/opt/cut"));
    EXPECT_EQ(DefaultSettings("/opt/cut").DataDir, fs::path("/opt/cut"));
    EXPECT_EQ(DefaultSettings("/").DataDir, fs::path("/"));
}

TEST(SettingsFile, ADirectoryWindows1251CannotHoldIsNotStored) {
    TempDir dir;
    const fs::path foreign = dir.Path() / "日本";
    fs::create_directories(foreign);
    const TSettings defaults = DefaultSettings(dir.Path());
    TSettings s = defaults;
    s.DataDir = foreign;
    const std::string bytes = FormatSettings(s);
    EXPECT_NE(bytes.find("\r\nd=\r\n"), std::string::npos);
    EXPECT_EQ(ParseSettings(bytes, defaults).DataDir, dir.Path());
}

TEST(SettingsFile, WrittenAndReadThroughTheFileLayer) {
    TempDir dir;
    const fs::path file = SettingsFilePath(dir.Path());
    EXPECT_EQ(file.filename(), "nastr.dat");
    const TSettings defaults = DefaultSettings(dir.Path());
    EXPECT_EQ(ReadSettingsFile(file, defaults), defaults);

    // "Коррекция" checked and closed without applying: the file carries it to the next start.
    TSettings s = defaults;
    s.ShowCorrection = true;
    s.DataDir = dir.Path() / "lists with blanks";
    fs::create_directories(s.DataDir);
    WriteSettingsFile(file, s);
    EXPECT_NE(ReadWholeFile(file)->find("\r\ni=-1\r\n"), std::string::npos);
    s.ListRowHeight = 16;  // the written e=8 sets the rows
    EXPECT_EQ(ReadSettingsFile(file, defaults), s);
}

TEST(SettingsFile, SendingSizesRoundTripsRightAfterK) {
    TempDir dir;
    const fs::path file = SettingsFilePath(dir.Path());
    const TSettings defaults = DefaultSettings(dir.Path());
    for (const bool on : {true, false}) {
        TSettings s = defaults;
        s.SendSizes = on;
        s.ConsecutiveRows = !on;
        WriteSettingsFile(file, s);
        const std::string bytes = ReadWholeFile(file).value_or("");
        const std::string tail =
            File({" Только новые размеры", on ? "k=0" : "k=-1", " Отправлять размеры на упор",
                  on ? "l=-1" : "l=0", " Вести журнал", "m=-1"});
        EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail) << on;
        EXPECT_EQ(ReadSettingsFile(file, defaults), WrittenAndRead(s)) << on;
    }
}

int FailRename(FileStep step, const fs::path&) {
    return step == FileStep::Rename ? 30 : 0;
}
int CrashBeforeRename(FileStep step, const fs::path&) {
    return step == FileStep::Rename ? kSimulatedCrash : 0;
}

TEST(SettingsFile, AFailedOrInterruptedWriteLeavesThePreviousFile) {
    for (FileStepHook hook : {&FailRename, &CrashBeforeRename}) {
        TempDir dir;
        const fs::path file = SettingsFilePath(dir.Path());
        const TSettings defaults = DefaultSettings(dir.Path());
        TSettings old = defaults;
        old.InfoFontSize = 48;
        old.ListRowHeight = 16;  // as the written e=8 reads back
        WriteSettingsFile(file, old);
        TSettings changed = old;
        changed.ListFontSize = 30;
        const FileStepHook previous = SetFileStepHook(hook);
        if (hook == &FailRename) {
            EXPECT_THROW(WriteSettingsFile(file, changed), Exception);
        } else {
            WriteSettingsFile(file, changed);
        }
        SetFileStepHook(previous);
        EXPECT_EQ(ReadSettingsFile(file, defaults), old);
    }
}

TEST(SettingsWindow, ApplyRefusesBadRowsAndAppliesTheOthers) {
    const struct {
        std::array<std::string, 3> rows;
        std::array<bool, 3> refused;
        std::array<std::int32_t, 3> sizes;
    } cases[] = {
        {{"40", "40", "30"}, {false, false, false}, {40, 40, 30}},
        {{"x", "50", "30"}, {true, false, false}, {48, 50, 30}},
        {{"3", "401", ""}, {true, true, true}, {48, 40, 8}},
        {{"4", "400", "+12"}, {false, false, false}, {4, 400, 12}},
        {{" 12", "12 ", "1,5"}, {true, true, true}, {48, 40, 8}},
    };
    for (const auto& c : cases) {
        TSettings s = DefaultSettings("/opt/cut");
        s.InfoFontSize = 48;
        EXPECT_EQ(ApplyValueRows(s, c.rows), c.refused) << c.rows[0];
        EXPECT_EQ(ValueRows(s), (std::array<std::string, 3>{std::to_string(c.sizes[0]),
                                                            std::to_string(c.sizes[1]),
                                                            std::to_string(c.sizes[2])}));
    }
}

TEST(SettingsWindow, ThirtyInRowThreeGivesSixtyPixelRowsAndEThirtyInTheFile) {
    TSettings s = DefaultSettings("/opt/cut");
    s.InfoFontSize = 48;  // in force, not the file's 40
    EXPECT_EQ(ValueRows(s), (std::array<std::string, 3>{"48", "40", "8"}));
    auto rows = ValueRows(s);
    rows[2] = "30";
    ApplyValueRows(s, rows);
    EXPECT_EQ(s.ListRowHeight, 60);
    rows[2] = "wide";  // refused: the rows keep their height
    ApplyValueRows(s, rows);
    EXPECT_EQ(s.ListRowHeight, 60);
    EXPECT_NE(FormatSettings(s).find("\r\ne=30\r\n"), std::string::npos);
    EXPECT_EQ(ValueRowNames()[1], "Размер шришта текущего положения"_cp1251);
}

}  // namespace
}  // namespace tandrel
