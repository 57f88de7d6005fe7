// The device link, the keypad, the job and the recovery through the real windows, offscreen,
// with the device simulator on the far end of a pseudo-terminal.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <atomic>
#include <fstream>
#include <future>
#include <thread>

#include "base/cp1251.h"
#include "console/Unit2.h"
#include "console/application.h"
#include "console/nastr.h"
#include "console/nastr_file.h"
#include "console/qt_executor.h"
#include "console/qt_text.h"
#include "console/rows_model.h"
#include "job/journal.h"
#include "link/device_port.h"
#include "link/port_device.h"
#include "link/recovery.h"
#include "simulator.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
void WriteSettings(const TProgramDir& dir, const std::string& devicePort,
                   const std::string& printerPort = "", bool printLabels = false) {
    TSettings settings = DefaultSettings(dir.Path());
    settings.DevicePortName = devicePort;
    settings.LabelPortName = printerPort;
    settings.PrintLabels = printLabels;
    WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
}

std::string Field(int n) {
    return FromQ(Form2->Field(n)->text());
}

constexpr int kLinkWaitMs = 10000;

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}
}  // namespace

// Says, at each switch, whether the device port was still open then.
class TSwitchLog : public link::TPortDevices {
  public:
    explicit TSwitchLog(std::vector<std::string>& log) : log_(log) {}
    bool SetPortDeviceEnabled(const std::string&, bool on) override {
        log_.push_back(std::string(on ? "on" : "off") +
                       (Form1->Link.GetDevicePort() ? ", port open" : ""));
        return false;  // refused: the recovery reopens the port by itself
    }

  private:
    std::vector<std::string>& log_;
};

class LinkWindowTest : public QObject {
    Q_OBJECT

  private slots:
    // A port's event thread that waits for the busy main thread gives up when the port stops,
    // and its call never runs later; not stopped, the call runs on the main thread.
    void aWaitingCallGivesUpWhenStoppedAndRunsOtherwise() {
        TQtExecutor executor;
        std::atomic<int> ran{0};
        std::stop_source stop;
        auto stopped = std::async(std::launch::async, [&] {
            return executor.RunAndWait([&] { ++ran; }, stop.get_token());
        });
        QThread::msleep(20);  // queued by now; this thread runs no events meanwhile
        stop.request_stop();
        QVERIFY(stopped.wait_for(std::chrono::seconds(10)) == std::future_status::ready);
        QVERIFY(!stopped.get());
        QCoreApplication::processEvents();
        QCOMPARE(ran.load(), 0);
        std::stop_source running;
        std::thread::id ranOn;
        auto runs = std::async(std::launch::async, [&] {
            return executor.RunAndWait([&] { ranOn = std::this_thread::get_id(); },
                                       running.get_token());
        });
        QTRY_VERIFY(runs.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
        QVERIFY(runs.get());
        QVERIFY(ranOn == std::this_thread::get_id());
    }

    void handshakeFillsTheInformationWindow() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--min", "200", "--max", "3050", "--precision", "1", "--serial",
                                    "4711", "--firmware", "12", "--ping-ms", "50"});
        QVERIFY(sim.Ready());
        WriteSettings(dir, sim.Device());
        StartWindows();
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        QCOMPARE(Field(1), std::string("4711"));
        QCOMPARE(Field(2), std::string("200"));
        QCOMPARE(Field(3), std::string("3050"));
        QCOMPARE(Field(4), std::string("3050"));
        QCOMPARE(Field(6), std::string("1"));
        QCOMPARE(Field(7), std::string("12"));
        QCOMPARE(Field(8), sim.Device());
        QCOMPARE(ControlText(Form1->Edit1), std::string("3050"));
        QVERIFY(Form1->BitBtn1->isVisible());
        QVERIFY(!Form1->BitBtn1->isEnabled());  // no list yet
    }

    void keypadSendsTheTypedSizeAndThePositionFollows() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20", "--speed", "100000"});
        WriteSettings(dir, sim.Device());
        StartWindows();
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        for (char key : std::string("1500")) Form1->FormKeyPress(key);
        QCOMPARE(ControlText(Form1->Label3), std::string("1500"));
        Form1->FormKeyPress(13);  // Enter: the "#" key
        QCOMPARE(ControlText(Form1->Label3), std::string());
        QTRY_COMPARE_WITH_TIMEOUT(ControlText(Form1->Edit1), std::string("1500"), kLinkWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(Field(4), std::string("1500"), kLinkWaitMs);
        QCOMPARE(int(Form1->Link.LinkState.load()), 7);
    }

    void deviceKeypadIsMirroredAndItsEnterPressesStart() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20"});
        WriteSettings(dir, sim.Device());
        const auto list = dir.Path() / "list.txt";
        std::ofstream(list) << "1000 A\r\n1200 B\r\n";
        StartWindows();
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        QVERIFY(sim.Command("keys 12").rfind("ok", 0) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(ControlText(Form1->Label1), std::string("12"), kLinkWaitMs);
        QVERIFY(sim.Command("keys ***").rfind("ok", 0) == 0);  // erases the device's entry
        QTRY_COMPARE_WITH_TIMEOUT(ControlText(Form1->Label1), std::string(), kLinkWaitMs);
        Form1->LoadList(list.string());
        QVERIFY(Form1->BitBtn1->isEnabled());
        QVERIFY(sim.Command("key #").rfind("ok", 0) == 0);  // Start from the device
        QTRY_COMPARE_WITH_TIMEOUT(Form1->Job.CurrentRow, 1, kLinkWaitMs);
    }

    void deviceAbsentAtStartLinksUpWhenItComes() {
        TProgramDir dir;
        const std::string device = (dir.Path() / "device").string();
        WriteSettings(dir, device);
        StartWindows();
        QVERIFY(Form1->StatusIsFault());  // says there is no link
        QCOMPARE(int(Form1->Link.LinkState.load()), 0);
        Form1->DevicePortBinding()->RetryInterval = std::chrono::milliseconds(200);
        TSimulator sim(dir.Path(), {"--ping-ms", "20"});
        QVERIFY(sim.Ready());
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        QCOMPARE(Field(8), device);
    }

    void autoTestMovesWithinTheLimits() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--min", "200", "--max", "3050", "--precision", "0",
                                    "--ping-ms", "20", "--speed", "1000000"});
        WriteSettings(dir, sim.Device());
        StartWindows();
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        Form2->CheckBox1->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(Form1->AutoTest.MoveCount >= 3, kLinkWaitMs);
        Form2->CheckBox1->setChecked(false);
        QCOMPARE(FromQ(Form2->Field(10)->text()).empty(), false);
        QVERIFY(FromQ(Form2->Field(11)->text()).find("метров"_cp1251) != std::string::npos);
        const double target = Form1->AutoTest.LastAutoTarget;
        QVERIFY(target >= 200 && target < 3050);
    }

    void aLineDropIsRecoveredByItself() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20"});
        WriteSettings(dir, sim.Device());
        const auto list = dir.Path() / "list.txt";
        std::ofstream(list) << "1000 A\r\n1100 B\r\n1200 C\r\n1300 D\r\n";
        StartWindows();
        Form1->SetRecoveryIntervals(300, 200, 100);
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        Form1->LoadList(list.string());
        Form1->BitBtn1Click();
        Form1->BitBtn1Click();
        Form1->BitBtn1Click();
        QCOMPARE(Form1->Job.CurrentRow, 3);
        Form2->Field(10)->setText(QStringLiteral("5"));  // the move counter is kept
        const std::string dropped = sim.Command("drop 3000");
        QVERIFY2(dropped.rfind("ok", 0) == 0, dropped.c_str());
        // The next ping's answer fails to write, or the line is lost: either way the recovery.
        QTRY_VERIFY_WITH_TIMEOUT(Form1->Link.DeviceArrivalPending, kLinkWaitMs);
        QVERIFY(!Form1->BitBtn1->isVisible() && !Form1->BitBtn2->isVisible());
        QVERIFY(Form1->Edit1->text().isEmpty());
        QVERIFY(Form2->Field(1)->text().isEmpty());
        QCOMPARE(Form2->Field(10)->text(), QStringLiteral("5"));
        // The nine device fields stay empty until the new port is open, "COM порт" included.
        int filled = 0;
        QElapsedTimer waited;
        waited.start();
        while (Form1->Link.DeviceArrivalPending && waited.elapsed() < kLinkWaitMs) {
            for (int field = 1; field <= 9; ++field)
                filled += !Form2->Field(field)->text().isEmpty();
            QTest::qWait(5);
        }
        QCOMPARE(filled, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->Link.DeviceArrivalPending, kLinkWaitMs);
        QTRY_VERIFY(!Form1->Loading());
        QCOMPARE(Field(8), sim.Device());
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        QCOMPARE(Form1->Job.CurrentRow, 2);  // the operator's place: remembered row - 1
        QVERIFY(Form1->BitBtn1->isEnabled());
        // The fault's notice goes with the fault.
        QVERIFY2(!Form1->StatusIsFault(), Cp1251ToUtf8(Form1->StatusText()).c_str());
    }

    // "авто" ticked across a fault: emptying the position field moves nothing on the port
    // under recovery, the port is closed before its device is switched off, and the link comes
    // back.
    void aFaultWithAutoTickedMovesNothingAndReleasesThePortFirst() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20", "--speed", "100000"});
        WriteSettings(dir, sim.Device());
        StartWindows();
        Form1->SetRecoveryIntervals(300, 200, 100);
        std::vector<std::string> switches;
        Form1->SetPortDevices(std::make_unique<TSwitchLog>(switches));
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        Form2->CheckBox1->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(Form1->AutoTest.MoveCount > 0, kLinkWaitMs);
        // A loaded machine may time a write out meanwhile: that fault's way back ends first.
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->Link.DeviceArrivalPending, kLinkWaitMs);
        switches.clear();
        const std::int32_t moves = Form1->AutoTest.MoveCount;
        Form1->AppException(std::make_exception_ptr(Exception("Ошибка записи в порт"_cp1251)));
        QCOMPARE(Form1->AutoTest.MoveCount, moves);
        QCOMPARE(QString::fromStdString(Joined(switches)), QStringLiteral("off"));
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->Link.DeviceArrivalPending, kLinkWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(Form1->Link.LinkState.load() >= 7, kLinkWaitMs);
        Form2->CheckBox1->setChecked(false);
    }

    // Another device port applied in the settings window: the recovery in progress ends (the
    // device switched back on), and the link comes up on the new port.
    void aPortChangedInTheSettingsWindowRelinks() {
        TProgramDir dir;
        TSimulator first(dir.Path() / "a", {"--serial", "1111", "--ping-ms", "20"});
        TSimulator second(dir.Path() / "b", {"--serial", "2222", "--ping-ms", "20"});
        QVERIFY(first.Ready() && second.Ready());
        WriteSettings(dir, first.Device());
        StartWindows();
        std::vector<std::string> switches;
        Form1->SetPortDevices(std::make_unique<TSwitchLog>(switches));
        QTRY_COMPARE_WITH_TIMEOUT(Field(1), std::string("1111"), kLinkWaitMs);
        Form1->AppException(std::make_exception_ptr(Exception("Ошибка записи в порт"_cp1251)));
        QVERIFY(Form1->Recovery().Pending());
        Form3->show();
        Form3->ComboBox2->setEditText(ToQ(second.Device()));
        Form3->BitBtn1->click();
        Form3->reject();
        QVERIFY(!Form1->Recovery().Pending());
        QCOMPARE(QString::fromStdString(Joined(switches)), QStringLiteral("off; on"));
        QTRY_COMPARE_WITH_TIMEOUT(Field(1), std::string("2222"), kLinkWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        QCOMPARE(DevicePortName, second.Device());
        CloseWindows();
        QVERIFY(dir.Read("nastr.dat").find("p=" + second.Device() + "\r\n") != std::string::npos);
    }

    void aRejectedListIsNotTheOneToReload() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20"});
        WriteSettings(dir, sim.Device());
        const auto good = dir.Path() / "good.txt";
        std::ofstream(good) << "1000 A\r\n1100 B\r\n1200 C\r\n";
        dir.Write("binary.txt", std::string("\0\x01\x02", 3));
        StartWindows();
        Form1->SetRecoveryIntervals(300, 200, 100);
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        const struct {
            std::string name;
            std::string toReload;
        } loads[] = {
            {(dir.Path() / "missing.txt").string(), ""},  // nothing loaded yet
            {good.string(), good.string()},
            {(dir.Path() / "binary.txt").string(), good.string()},
            {(dir.Path() / "missing.txt").string(), good.string()},
        };
        for (const auto& load : loads) {
            Form1->LoadList(load.name);
            QCOMPARE(Form1->Job.ListName, load.toReload);
        }
        Form1->BitBtn1Click();
        Form1->BitBtn1Click();
        Form1->BitBtn1Click();
        // Changed on disk meanwhile: the reload reads it again, from the list loaded last.
        std::ofstream(good) << "1000 A\r\n1100 B\r\n1200 C\r\n1300 D\r\n";
        Form1->AppException(std::make_exception_ptr(Exception("Ошибка записи в порт"_cp1251)));
        QVERIFY(Form1->Link.DeviceArrivalPending);
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->Link.DeviceArrivalPending, kLinkWaitMs);
        QTRY_VERIFY(!Form1->Loading());
        QCOMPARE(Form1->Job.RowCount, 4);
        QCOMPARE(Form1->Job.CurrentRow, 2);
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        QVERIFY2(!Form1->StatusIsFault(), Cp1251ToUtf8(Form1->StatusText()).c_str());
    }

    // The reload after a fault reads the list in work from where it was loaded, keeping its
    // progress, whatever list of the same name the dialog's folder holds.
    void theReloadTakesTheListFromWhereItWasLoaded() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20"});
        WriteSettings(dir, sim.Device());
        for (const char* folder : {"A", "B"})
            std::filesystem::create_directories(dir.Path() / folder);
        std::ofstream(dir.Path() / "A" / "plan.txt") << "1000 A\r\n1100 B\r\n1200 C\r\n";
        std::ofstream(dir.Path() / "B" / "plan.txt") << "2000 X\r\n2100 Y\r\n";
        std::ofstream(dir.Path() / "B" / "bad.txt") << "1..5 Z\r\n";
        std::filesystem::current_path(dir.Path() / "A");
        StartWindows();
        Form1->SetRecoveryIntervals(300, 200, 100);
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        Form1->LoadList("plan.txt");  // as a command line names it
        Form1->BitBtn1Click();
        Form1->BitBtn1Click();
        TSeenDialog seen;
        ChooseInNextOpenDialog(
            QString::fromStdU16String((dir.Path() / "B" / "bad.txt").u16string()), seen);
        Form1->N2Click();  // refused, the current folder now B
        QTRY_VERIFY(!Form1->Loading());
        QCOMPARE(Form1->Job.ListName, std::string("plan.txt"));
        Form1->AppException(std::make_exception_ptr(Exception("Ошибка записи в порт"_cp1251)));
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->Link.DeviceArrivalPending, kLinkWaitMs);
        QTRY_VERIFY(!Form1->Loading());
        QCOMPARE(Form1->Job.RowCount, 3);
        QCOMPARE(Form1->Job.RemainingCount, 1);
        QCOMPARE(
            FromQ(Form1->RowsModel()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString()),
            std::string("plan.txt"));
        QVERIFY(!std::filesystem::exists(dir.Path() / "B" / "plan.crc"));
        Form1->BitBtn1Click();
        const std::string progress = ReadWholeFile(dir.Path() / "A" / "plan.crc").value_or("");
        QVERIFY2(progress.ends_with("\r\n1\r\n2\r\n3\r\n"), progress.c_str());
    }

    // A fault's reload while the restart question of another list waits: the reload waits for
    // the answer, which then acts on the list it was asked about.
    void theReloadWaitsForTheRestartQuestion() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20"});
        WriteSettings(dir, sim.Device());
        const auto done = dir.Path() / "done.txt";
        const auto work = dir.Path() / "work.txt";
        std::ofstream(done) << "1000 A\r\n";
        std::ofstream(work) << "1000 A\r\n1100 B\r\n1200 C\r\n";
        StartWindows();
        Form1->SetRecoveryIntervals(300, 200, 100);
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        Form1->LoadList(done.string());
        Form1->BitBtn1Click();
        Form1->LoadList(work.string());
        Form1->BitBtn1Click();
        Form1->BitBtn1Click();
        const std::string workProgress = dir.Read("work.crc");
        int stage = 0;
        QTimer driver;
        driver.setInterval(20);
        connect(&driver, &QTimer::timeout, [&stage] {
            QWidget* box = QApplication::activeModalWidget();
            if (box == nullptr) return;
            if (stage == 0) {
                Form1->AppException(
                    std::make_exception_ptr(Exception("Ошибка записи в порт"_cp1251)));
                stage = 1;
            } else if (stage == 1 && !Form1->Link.DeviceArrivalPending) {
                QTest::keyClick(box, Qt::Key_Return);  // Yes
                stage = 2;
            }
        });
        driver.start();
        Form1->LoadList(done.string());  // every row done: the question
        driver.stop();
        QCOMPARE(stage, 2);
        QCOMPARE(Form1->Job.ListName, done.string());
        QCOMPARE(Form1->Job.RemainingCount, 1);
        QCOMPARE(dir.Read("work.crc"), workProgress);
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
    }

    // A label that prints again takes the old failure off the status line.
    void aLabelFaultGoesWhenALabelPrints() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20"}, true);
        WriteSettings(dir, sim.Device(), (dir.Path() / "no-such-port").string(), true);
        const auto list = dir.Path() / "list.txt";
        std::ofstream(list) << "1000 A\r\n1100 B\r\n1200 C\r\n";
        StartWindows();
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(Cp1251ToUtf8(Form1->StatusText()),
                                  std::string("Устройство подключено"), kLinkWaitMs);
        Form1->LoadList(list.string());
        Form1->BitBtn1Click();
        QTRY_VERIFY(Form1->StatusIsFault());
        LabelPortName = sim.Printer();
        Form1->BitBtn1Click();
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kLinkWaitMs);
        QVERIFY2(!Form1->StatusIsFault(), Cp1251ToUtf8(Form1->StatusText()).c_str());
        LabelPortName.clear();
    }

    void lineNoiseDuringTheHandshakeAndTheWork() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20", "--seed", "7"});
        WriteSettings(dir, sim.Device());
        const auto list = dir.Path() / "list.txt";
        {
            std::ofstream out(list);
            for (int i = 1; i <= 50; ++i) out << 1000 + i << " row\r\n";
        }
        StartWindows();
        for (int i = 0; i < 5; ++i) {  // while the handshake runs
            sim.Command("noise 64");
            QTest::qWait(10);
        }
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        Form1->LoadList(list.string());
        for (int i = 0; i < 10; ++i) {
            sim.Command("noise 32");
            sim.Command("key #");
            QTest::qWait(30);
        }
        QTest::qWait(300);
        QTRY_VERIFY_WITH_TIMEOUT(Form1->Link.LinkState.load() >= 7, kLinkWaitMs);
        // The rows marked done and the rows in the progress file agree.
        Form1->LoadList(list.string());
        int done = 0;
        for (int row = 1; row <= Form1->Job.RowCount; ++row) done += Form1->Job.Rows[row].Done;
        QCOMPARE(Form1->Job.RemainingCount, Form1->Job.RowCount - done);
    }

    void anErrorOtherThanTheWriteErrorChangesNothing() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20"});
        WriteSettings(dir, sim.Device());
        StartWindows();
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        const std::string errors[] = {"Ошибка записи в порт COM2"_cp1251, "other"};
        for (const std::string& message : errors) {
            Form1->AppException(std::make_exception_ptr(Exception(message)));
            QVERIFY(!Form1->Link.DeviceArrivalPending);
            QVERIFY(!Form2->Field(1)->text().isEmpty());
        }
    }

    void labelsArePrintedOnThePrinterPort() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20"}, true);
        WriteSettings(dir, sim.Device(), sim.Printer(), true);
        const auto list = dir.Path() / "list.txt";
        std::ofstream(list) << "1000 Door <E1123>\r\n";
        StartWindows();
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        Form1->LoadList(list.string());
        Form1->BitBtn1Click();
        const auto label = sim.Labels() / "label-0001.zpl";
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(label), kLinkWaitMs);
        const std::string bytes = ReadWholeFile(label).value_or("");
        QCOMPARE(bytes, std::string("^XA^PW360^FO10,00^ASN,70,70^FD123^FS^XZ"));
    }

    void theJournalRecordsEveryStepAndKeypadMoveAndCountsThePieces() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20", "--min", "200", "--max", "3050"}, true);
        WriteSettings(dir, sim.Device(), sim.Printer(), true);
        const job::TLocalTime now{2026, 12, 9, 10, 0, 0};
        const std::string earlier =
            job::JournalHeader() +
            job::JournalLine(job::KeypadMoveEntry("", 900), {2026, 12, 8, 23, 0, 0}) +
            Utf8ToCp1251(
                "08.12.2026;23:10:00;old.txt;1;800;0;800;да;нет;x\r\n"
                "09.12.2026;08:00:00;old.txt;2;800;0;800;да;нет;x\r\n"
                "09.12.2026;09:30:00;old.txt;3;800;0;800;да;нет;x\r\n");
        const std::string journalName = job::JournalFileName(now);
        dir.Write(journalName, earlier + "09.12.2026;09:4");  // torn by a power loss
        const auto list = dir.Path() / "list.txt";
        std::ofstream(list) << "1000 A <E1x>\r\n5000 B\r\n1200 C\r\n";

        CreateWindows();
        Form1->JournalClock = [now] { return now; };
        Form1->showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        QCOMPARE(FromQ(Form2->LabeledEdit12->text()), std::string("2"));
        QCOMPARE(FromQ(Form2->LabeledEdit13->text()), std::string("1"));
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        // The handshake's own notice follows the link state: let it arrive before the label's
        // failure is said, which it would otherwise replace.
        QTRY_COMPARE_WITH_TIMEOUT(Cp1251ToUtf8(Form1->StatusText()),
                                  std::string("Устройство подключено"), kLinkWaitMs);
        Form1->LoadList(list.string());

        Form1->BitBtn1Click();  // printed
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kLinkWaitMs);
        Form1->BitBtn1Click();  // out of range
        LabelPortName = (dir.Path() / "no-such-port").string();
        Form1->BitBtn1Click();  // the label fails at the last row
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kLinkWaitMs);
        const std::string finished = "Список выполнен: 3 из 3"_cp1251;
        const std::string both = Form1->StatusText();
        QVERIFY2(both.size() > finished.size() + 2 &&
                     both.substr(both.size() - finished.size() - 2) == ". " + finished,
                 Cp1251ToUtf8(both).c_str());
        QVERIFY(Form1->StatusIsFault());
        // The status line names the row and says how to print it again; the journal keeps the
        // reason alone.
        const std::string retry = TForm1::RetryHint() + ". " + finished;
        QVERIFY(both.ends_with(retry));
        const std::string row3 = "Этикетка строки 3 не напечатана: "_cp1251;
        QVERIFY(both.starts_with(row3));
        const std::string failure =
            both.substr(row3.size(), both.size() - retry.size() - row3.size());
        Form1->BitBtn2Click();  // row 2 again
        for (char key : std::string("1500")) Form1->FormKeyPress(key);
        Form1->FormKeyPress(13);
        QTRY_COMPARE_WITH_TIMEOUT(ControlText(Form1->Edit1), std::string("1500"), kLinkWaitMs);
        Form1->Settings.KeepJournal = false;  // "Вести журнал" off: nothing more is written
        for (char key : std::string("1600")) Form1->FormKeyPress(key);
        Form1->FormKeyPress(13);
        QTRY_COMPARE_WITH_TIMEOUT(ControlText(Form1->Edit1), std::string("1600"), kLinkWaitMs);

        const std::string head = "09.12.2026;10:00:00;" + list.string() + ";";
        const std::string expected[] = {
            head + "1;1000;0;1000;да;нет;в очереди",
            head + "1;1000;0;1000;да;да;итог: напечатана",
            head + "2;5000;0;5000;нет;нет;не напечатана",
            head + "3;1200;0;1200;да;нет;в очереди",
            head + "3;1200;0;1200;да;да;итог: " + Cp1251ToUtf8(failure),
            head + "2;5000;0;5000;нет;да;не напечатана",
            head + ";1500;;1500;да;нет;не напечатана",
        };
        std::string lines = earlier;
        for (const std::string& line : expected) lines += Utf8ToCp1251(line) + "\r\n";
        QCOMPARE(Cp1251ToUtf8(dir.Read(journalName)), Cp1251ToUtf8(lines));
        QCOMPARE(FromQ(Form2->LabeledEdit12->text()), std::string("4"));
        QCOMPARE(FromQ(Form2->LabeledEdit13->text()), std::string("3"));
        QVERIFY(Form1->StatusText() == finished);  // the journal worked: no notice of it
        LabelPortName.clear();
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    LinkWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "link_window_test.moc"
