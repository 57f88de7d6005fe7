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
#include "support/hostile_printer.h"
#include "support/private_cupsd.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
const std::string kFixedStart = "^XA^PW360^FO0,0^FB320,7,0,L,0^ASN,36,30^FD";

// The journal's lines after its header, UTF-8.
std::vector<std::string> JournalLines(const TProgramDir& dir) {
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        if (entry.path().extension() != ".csv") continue;
        const std::string journal = ReadWholeFile(entry.path()).value_or(std::string());
        for (std::size_t at = journal.find("\r\n"); at != std::string::npos;) {
            const std::size_t next = journal.find("\r\n", at + 2);
            if (next == std::string::npos) break;
            lines.push_back(Cp1251ToUtf8(journal.substr(at + 2, next - at - 2)));
            at = next;
        }
    }
    return lines;
}

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
        Form1->PrintTestLabel();
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
            {"paper", "Этикетка строки 2 не напечатана: принтер: нет бумаги. Повторить: F2", 1},
            {"pause", "Принтер на паузе", 2},
        };
        for (const auto& step : steps) {
            QCOMPARE(sim.Command(std::string("printer ") + step.state),
                     std::string("ok printer ") + step.state);
            Form1->BitBtn1Click();
            QTRY_VERIFY2(!Form1->LabelsPending(), step.state);
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
    // changed, its outcome journalled; a paused queue says so, a refusing one fails with the
    // way to try again, which F2 then takes whatever row is selected.
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
        const auto status = [] { return Cp1251ToUtf8(Form1->StatusText()); };
        const auto press = [](bool key) {
            if (key)
                QTest::keyClick(Form1->StringGrid1, Qt::Key_F2);
            else
                Form1->Fields().Reprint->click();
            QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), 15000);
        };
        const std::string printed = kFixedStart + "A^FS^XZ";
        Form1->BitBtn1Click();
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), 15000);
        QVERIFY(std::filesystem::exists(label(1)));
        const std::string progress = dir.Read("list.crc");
        const std::int32_t remaining = Form1->Job.RemainingCount;

        press(true);
        QCOMPARE(status(), std::string("Этикетка строки 1 напечатана повторно"));
        press(false);
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(label(3)), 10000);
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(ReadWholeFile(label(n)).value_or(std::string()), printed);
        QCOMPARE(Form1->Job.CurrentRow, 1);
        QCOMPARE(Form1->Job.RemainingCount, remaining);
        QCOMPARE(dir.Read("list.crc"), progress);

        QVERIFY(cupsd.Queue("cupsdisable"));
        press(true);
        QCOMPARE(status(), std::string("Принтер на паузе"));
        QVERIFY(cupsd.Queue("cupsreject"));
        press(true);
        const std::string refused = "не напечатана: очередь принтера не принимает задания: Label";
        QCOMPARE(status(), "Этикетка строки 1 " + refused + ". Повторить: F2");

        Form1->BitBtn1Click();  // 6000: out of range, no label
        press(true);            // the failure still stands: row 1 again, not the selected row
        QCOMPARE(status(), "Этикетка строки 1 " + refused + ". Повторить: F2");
        Form1->ShowStatus("", false);
        QTest::keyClick(Form1->StringGrid1, Qt::Key_F2);
        QCOMPARE(status(),
                 std::string("Этикетка не напечатана: размер 6000 строки 2 вне диапазона"));
        Form1->BitBtn1Click();  // the last row; its label refused
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), 15000);
        QCOMPARE(status(),
                 "Этикетка строки 3 " + refused + ". Повторить: F2. Список выполнен: 3 из 3");

        const std::string reprintRefused = "перепечатка: Этикетка " + refused;
        const std::vector<std::string> ends = {
            ";1000;0;1000;да;нет;в очереди",
            ";1000;0;1000;да;да;итог: напечатана",
            ";1000;0;1000;да;да;перепечатка: напечатана",
            ";1000;0;1000;да;да;перепечатка: напечатана",
            ";1000;0;1000;да;да;перепечатка: на паузе",
            ";1000;0;1000;да;да;" + reprintRefused,
            ";6000;0;6000;нет;нет;не напечатана",
            ";1000;0;1000;да;да;" + reprintRefused,
            ";1200;0;1200;да;нет;в очереди",
            ";1200;0;1200;да;да;итог: очередь принтера не принимает задания: Label",
        };
        const std::vector<std::string> lines = JournalLines(dir);
        QCOMPARE(lines.size(), ends.size());
        for (std::size_t i = 0; i < ends.size(); ++i)
            QVERIFY2(lines[i].ends_with(ends[i]), lines[i].c_str());
        QCOMPARE(Form1->Journal()->Counts().Today, 2);
        CloseWindows();
    }

    // A network printer that never answers a connect: the step sends its move string and hands
    // the label over without waiting, keys are handled while the label waits, and its outcome
    // comes later to the status line and the journal; F2 then prints that row whatever row is
    // selected. A label still waiting at the close is journalled as not printed.
    void aPrinterThatNeverAnswersHoldsNoStep() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--speed", "1000000"});
        QVERIFY(sim.Ready());
        tandrel::testing::FullListener deaf("127.0.0.1");
        TSettings settings = DefaultSettings(dir.Path());
        settings.DevicePortName = sim.Device();
        settings.LabelPortName = "127.0.0.1:" + std::to_string(deaf.Port());
        settings.PrintLabels = true;
        settings.SendSizes = true;
        WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
        const auto list = dir.Path() / "list.txt";
        std::ofstream(list, std::ios::binary) << "1000 A\r\n1100 B\r\n";
        StartWindows();
        // Longer than a loaded machine takes to handle a key, shorter than a test may wait.
        Form1->StartPrinting(
            {.Start = std::chrono::seconds(12), .Connect = std::chrono::seconds(6)});
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, 10000);
        Form1->LoadList(list.string());

        Form1->BitBtn1->click();
        QVERIFY(Form1->LabelsPending());
        QTRY_COMPARE_WITH_TIMEOUT(Form1->Link.CurrentPosition.load(), 1000.0, 5000);
        for (const char key : std::string("1500")) Form1->FormKeyPress(key);
        Form1->FormKeyPress(13);
        QTRY_COMPARE_WITH_TIMEOUT(Form1->Link.CurrentPosition.load(), 1500.0, 5000);
        QVERIFY2(Form1->LabelsPending(), "the keys waited for the label");

        const std::string late =
            "Этикетка строки 1 не напечатана: принтер не отвечает. Повторить: F2";
        QTRY_COMPARE_WITH_TIMEOUT(Cp1251ToUtf8(Form1->StatusText()), late, 15000);
        Form1->StringGrid1->selectRow(1);
        QTest::keyClick(Form1->StringGrid1, Qt::Key_F2);
        QTest::keyClick(Form1->StringGrid1, Qt::Key_F2);
        QCOMPARE(Cp1251ToUtf8(Form1->StatusText()), std::string("Этикетка строки 1 уже в очереди"));
        CloseWindows();

        const std::vector<std::string> ends = {
            ";1;1000;0;1000;да;нет;в очереди",
            ";;1500;;1500;да;нет;не напечатана",
            ";1;1000;0;1000;да;да;итог: принтер не отвечает",
            ";1;1000;0;1000;да;да;перепечатка: Этикетка не напечатана: программа закрыта",
        };
        const std::vector<std::string> lines = JournalLines(dir);
        QCOMPARE(lines.size(), ends.size());
        for (std::size_t i = 0; i < ends.size(); ++i)
            QVERIFY2(lines[i].ends_with(ends[i]), lines[i].c_str());
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LabelWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "label_window_test.moc"
