// Labels through the real main window, offscreen: the template's bytes as etik.eti holds them
// reach the printer's port, read on the far end of a pseudo-terminal.

#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "base/cp1251.h"
#include "console/Unit1_operator.h"
#include "console/application.h"
#include "console/nastr_file.h"
#include "serial/pty_peer.h"
#include "simulator.h"
#include "support/private_cupsd.h"
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

    // A print queue as a shop with a USB printer sets it up, and the label of a worked row
    // printed again by F2 and by the button: the same bytes, no row, counter or progress record
    // changed, a reprint line in the journal; a paused queue says so, a refusing one fails with
    // the way to try again, and a row out of range prints nothing.
    void aQueuePrintsAndAWorkedRowIsPrintedAgain() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--printer-tcp", "0"}, true);
        QVERIFY(sim.Ready());
        const std::string tcp = sim.NetworkPrinter();
        tandrel::testing::PrivateCupsd cupsd(
            dir.Path() / "cups", "Label",
            static_cast<std::uint16_t>(std::stoi(tcp.substr(tcp.rfind(':') + 1))));
        QVERIFY2(cupsd.Ready(), cupsd.Log().c_str());
        cupsd.UseHere();
        WriteSettings(dir, "printer:Label");
        const auto list = dir.Path() / "list.txt";
        std::ofstream(list, std::ios::binary) << "1000 A\r\n6000 B\r\n1200 C\r\n";
        StartWindows();
        Form1->Link.MaxSize = 5000;
        Form1->LoadList(list.string());
        const auto label = [&](int n) {
            return sim.Labels() / ("label-000" + std::to_string(n) + ".zpl");
        };
        const std::string printed = kFixedStart + "A^FS^XZ";
        Form1->BitBtn1Click();
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(label(1)), 10000);
        const std::string progress = dir.Read("list.crc");
        const std::int32_t remaining = Form1->Job.RemainingCount;

        const auto statusIs = [](const std::string& utf8) {
            return Cp1251ToUtf8(Form1->StatusText()) == utf8;
        };
        QTest::keyClick(Form1->StringGrid1, Qt::Key_F2);
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(label(2)), 10000);
        QVERIFY(statusIs("Этикетка строки 1 напечатана повторно"));
        Form1->Fields().Reprint->click();
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(label(3)), 10000);
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(ReadWholeFile(label(n)).value_or(std::string()), printed);
        QCOMPARE(Form1->Job.CurrentRow, 1);
        QCOMPARE(Form1->Job.RemainingCount, remaining);
        QCOMPARE(dir.Read("list.crc"), progress);

        QVERIFY(cupsd.Queue("cupsdisable"));
        QTest::keyClick(Form1->StringGrid1, Qt::Key_F2);
        QVERIFY(statusIs("Принтер на паузе"));
        QVERIFY(cupsd.Queue("cupsreject"));
        QTest::keyClick(Form1->StringGrid1, Qt::Key_F2);
        const std::string refused =
            "Этикетка не напечатана: очередь принтера не принимает задания: Label";
        QVERIFY2(statusIs(refused + ". Повторить: F2"), Cp1251ToUtf8(Form1->StatusText()).c_str());

        Form1->BitBtn1Click();  // 6000: out of range, no label
        QTest::keyClick(Form1->StringGrid1, Qt::Key_F2);
        QVERIFY2(statusIs("Этикетка не напечатана: размер 6000 строки 2 вне диапазона"),
                 Cp1251ToUtf8(Form1->StatusText()).c_str());
        Form1->BitBtn1Click();  // the last row; its label refused
        QVERIFY2(statusIs(refused + ". Повторить: F2. Список выполнен: 3 из 3"),
                 Cp1251ToUtf8(Form1->StatusText()).c_str());

        std::string journal;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            if (entry.path().filename().string().rfind("journal-", 0) == 0)
                journal = ReadWholeFile(entry.path()).value_or(std::string());
        const std::string ends[] = {
            ";1000;0;1000;да;нет;напечатана",
            ";1000;0;1000;да;да;перепечатка: напечатана",
            ";1000;0;1000;да;да;перепечатка: напечатана",
            ";1000;0;1000;да;да;перепечатка: напечатана",  // paused: the queue holds it
            ";1000;0;1000;да;да;перепечатка: " + refused,
            ";6000;0;6000;нет;нет;не напечатана",
            ";1200;0;1200;да;нет;" + refused,
        };
        std::size_t at = journal.find("\r\n");
        for (const std::string& end : ends) {
            const std::size_t next = journal.find("\r\n", at + 2);
            QVERIFY(next != std::string::npos);
            const std::string line = Cp1251ToUtf8(journal.substr(at + 2, next - at - 2));
            QVERIFY2(line.ends_with(end), line.c_str());
            at = next;
        }
        QCOMPARE(journal.find("\r\n", at + 2), std::string::npos);
        QCOMPARE(Form1->Journal()->Counts().Today, 2);
        CloseWindows();
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LabelWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "label_window_test.moc"
