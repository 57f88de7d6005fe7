// Labels through the real main window, offscreen: the template's bytes as etik.eti holds them
// reach the printer's port, read on the far end of a pseudo-terminal.

#include <QtTest>
#include <filesystem>
#include <fstream>

#include "base/cp1251.h"
#include "console/application.h"
#include "console/nastr_file.h"
#include "serial/pty_peer.h"
#include "simulator.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
const std::string kFixedStart = "^XA^PW360^FO0,0^FB320,7,0,L,0^ASN,36,30^FD";

// The printer on a pseudo-terminal; printing on.
void WriteSettings(const TProgramDir& dir, const std::string& printerPort) {
    TSettings settings = DefaultSettings(dir.Path());
    settings.LabelPortName = printerPort;
    settings.PrintLabels = true;
    WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
}
}  // namespace

class LabelWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void theTemplateReachesThePrinterByteForByte() {
        const struct {
            const char* what;
            std::string etik;
            std::string printed;  // for the row "1000 Дверь <E1123>"
        } cases[] = {
            {"no-break spaces and 0x98 kept", "^XA\r\n^FD\xA0<E1>\xA0\x98^FS\r\n^XZ",
             "^XA^FD\xA0"
             "123\xA0\x98^FS^XZ"},
            {"Cyrillic kept", "^XA\n^FD<E1> \xC4\xE2\xE5\xF0\xFC^FS\n^XZ\n",
             "^XA^FD123 \xC4\xE2\xE5\xF0\xFC^FS^XZ"},
            {"empty file: the fixed label", "", kFixedStart + "Дверь"_cp1251 + "^FS^XZ"},
        };
        for (const auto& c : cases) {
            TProgramDir dir;
            serial::testing::TPty printer;
            WriteSettings(dir, printer.Path());
            dir.Write("etik.eti", c.etik);
            const auto list = dir.Path() / "list.txt";
            std::ofstream(list, std::ios::binary) << "1000 "
                                                  << "Дверь"_cp1251
                                                  << "<E1123>\r\n";
            StartWindows();
            Form1->LoadList(list.string());
            QCOMPARE(int(Form1->Job.FieldCount), 1);
            Form1->BitBtn1Click();
            QCOMPARE(Form1->Job.CurrentRow, 1);
            const std::string got = printer.Read(c.printed.size());
            QVERIFY2(got == c.printed, c.what);
            QVERIFY2(printer.Silent(100), c.what);
            QCOMPARE(dir.Read("etik.eti"), c.etik);  // an existing file is never rewritten
            CloseWindows();
        }
    }

    void anEmptyTemplateFilePrintsTheTestLabelAsUsual() {
        TProgramDir dir;
        serial::testing::TPty printer;
        WriteSettings(dir, printer.Path());
        dir.Write("etik.eti", "");
        StartWindows();
        QCOMPARE(Form1->PrintTestLabel(), std::string());
        const std::string expected =
            kFixedStart + "Testovaya pechat, Тестовая печать =)"_cp1251 + "^FS^XZ";
        QCOMPARE(printer.Read(expected.size()), expected);
    }

    // A network printer as a new shop sets it up (g names it, no n line: its state is asked):
    // a caption that holds "^XZ" prints as written, a printer out of paper gets no label and
    // the status line says why, a paused one gets it and the status line says so.
    void aNetworkPrinterIsAskedBeforeEachLabel() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--printer-tcp", "0"}, true);
        QVERIFY(sim.Ready());
        WriteSettings(dir, sim.NetworkPrinter());
        const auto list = dir.Path() / "list.txt";
        std::ofstream(list, std::ios::binary)
            << "1000 "
            << "Профиль ^XZ\r\n1100 Профиль ^XZ\r\n1200 Профиль ^XZ\r\n1300 Профиль ^XZ\r\n"_cp1251;
        StartWindows();
        Form1->LoadList(list.string());
        const std::string printed = kFixedStart.substr(0, kFixedStart.size() - 3) + "^FH^FD" +
                                    "Профиль _5EXZ"_cp1251 + "^FS^XZ";
        const struct {
            const char* state;
            const char* status;  // UTF-8
            int labels;          // saved after the step
        } steps[] = {
            {"ready", "", 1},
            {"paper", "Этикетка не напечатана: принтер: нет бумаги", 1},
            {"pause", "Принтер на паузе", 2},
        };
        for (const auto& step : steps) {
            QCOMPARE(sim.Command(std::string("printer ") + step.state),
                     std::string("ok printer ") + step.state);
            Form1->BitBtn1Click();
            QVERIFY2(Cp1251ToUtf8(Form1->StatusText()).rfind(step.status, 0) == 0, step.state);
            const auto label = [&](int n) {
                return sim.Labels() / ("label-000" + std::to_string(n) + ".zpl");
            };
            QTRY_VERIFY2(std::filesystem::exists(label(step.labels)), step.state);
            QVERIFY2(!std::filesystem::exists(label(step.labels + 1)), step.state);
            std::ifstream in(label(step.labels), std::ios::binary);
            QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}), printed);
        }
        CloseWindows();
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LabelWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "label_window_test.moc"
