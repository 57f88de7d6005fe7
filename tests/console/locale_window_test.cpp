// Numbers through the real windows, offscreen, under a user's locale whose decimal separator is
// a comma, with the device simulator on the far end of a pseudo-terminal; and the automatic
// test's counters across a reconnect.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <fstream>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "console/Unit2.h"
#include "console/application.h"
#include "console/nastr_file.h"
#include "console/qt_text.h"
#include "console/rows_model.h"
#include "simulator.h"
#include "support/locales.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
void WriteSettings(const TProgramDir& dir, const std::string& devicePort) {
    TSettings settings = DefaultSettings(dir.Path());
    settings.DevicePortName = devicePort;
    WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
}

std::string Field(int n) {
    return FromQ(Form2->Field(n)->text());
}

std::string GridSize(int row) {
    return FromQ(
        Form1->RowsModel()->data(Form1->RowsModel()->index(row, 0), Qt::DisplayRole).toString());
}

constexpr int kLinkWaitMs = 10000;
}  // namespace

class LocaleWindowTest : public QObject {
    Q_OBJECT

  private slots:
    // The environment of a Russian desktop: LC_NUMERIC gives the comma, taken at start-up.
    void init() {
        const std::string why = tandrel::testing::ProvideLocale("ru_RU.UTF-8");
        if (!why.empty()) QSKIP(why.c_str());
        unsetenv("LC_ALL");
        setenv("LC_NUMERIC", "ru_RU.UTF-8", 1);
    }
    void cleanup() {
        unsetenv("LC_NUMERIC");
        SetDecimalSeparator('.');
    }

    void everyShownNumberHasTheUsersSeparator() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--min", "200.5", "--max", "3050", "--precision", "1",
                                    "--start", "2500.5", "--ping-ms", "20", "--speed", "100000"});
        QVERIFY(sim.Ready());
        WriteSettings(dir, sim.Device());
        StartWindows();
        QCOMPARE(DecimalSeparator(), ',');
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        QCOMPARE(Field(2), std::string("200,5"));  // the information window
        QCOMPARE(Field(3), std::string("3050"));
        QCOMPARE(Field(4), std::string("2500,5"));
        QCOMPARE(ControlText(Form1->Edit1), std::string("2500,5"));  // the position display

        // Typed with the point, sent with "*", shown back with the comma.
        for (char key : std::string("1234*5")) Form1->FormKeyPress(key);
        QCOMPARE(ControlText(Form1->Label3), std::string("1234.5"));
        Form1->FormKeyPress(13);
        QTRY_COMPARE_WITH_TIMEOUT(ControlText(Form1->Edit1), std::string("1234,5"), kLinkWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(Field(4), std::string("1234,5"), kLinkWaitMs);

        // Both separators are read from a list; the grid and the targets show the comma.
        const auto list = dir.Path() / "list.txt";
        std::ofstream(list) << "1300,25 A\r\n1400.5 B\r\n5000.5 C\r\n";
        Form1->LoadList(list.string());
        QCOMPARE(GridSize(0), std::string("1300,25"));
        QCOMPARE(GridSize(1), std::string("1400,5"));
        Form1->BitBtn1Click();
        QCOMPARE(ControlText(Form1->Edit1), std::string("1300,2"));  // tenths, ties to even
        QVERIFY(Form1->Job.Rows[1].Done);  // the completion compared the same text
        Form1->BitBtn1Click();
        QCOMPARE(ControlText(Form1->Edit1), std::string("1400,5"));
        QVERIFY(Form1->Job.Rows[2].Done);
        Form1->BitBtn1Click();
        QCOMPARE(ControlText(Form1->Label3), "Ошибка! Размер 5000,5 вне диапазона!"_cp1251);
    }

    // Moves, a reconnect (the handshake's end zeroes the counters without showing them), more
    // moves: both counters of the window follow.
    void autoTestCountersAcrossAReconnect() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--min", "200", "--max", "200", "--precision", "0", "--ping-ms",
                                    "20", "--speed", "1000000"});
        QVERIFY(sim.Ready());
        WriteSettings(dir, sim.Device());
        StartWindows();
        Form1->SetRecoveryIntervals(300, 200, 100);
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        QCOMPARE(Field(4), std::string("3050"));
        Form2->CheckBox1->setChecked(true);  // 3050 to 200, then 200 to 200 when it arrives
        QCOMPARE(Field(10), std::string("1"));
        QCOMPARE(Field(11), "2,85 метров"_cp1251);
        // Every later target is 200 again: a move for each position report on the way (one at
        // least, on arrival), none once the position stays.
        QTRY_COMPARE_WITH_TIMEOUT(Field(4), std::string("200"), kLinkWaitMs);
        QTest::qWait(200);
        Form2->CheckBox1->setChecked(false);
        const int moves = Form1->AutoTest.MoveCount;
        QVERIFY(moves >= 2);
        QCOMPARE(Field(10), std::to_string(moves));
        QCOMPARE(Field(11), "2,85 метров"_cp1251);

        const std::string dropped = sim.Command("drop 1500");
        QVERIFY2(dropped.rfind("ok", 0) == 0, dropped.c_str());
        QTRY_VERIFY_WITH_TIMEOUT(Form1->Link.DeviceArrivalPending, kLinkWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->Link.DeviceArrivalPending, kLinkWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kLinkWaitMs);
        // The new handshake's end zeroes the counters; the link state alone does not show that
        // it has run yet.
        QTRY_COMPARE_WITH_TIMEOUT(Form1->AutoTest.MoveCount, 0, kLinkWaitMs);
        QCOMPARE(Form1->AutoTest.Distance, 0.0);
        QCOMPARE(Form1->AutoTest.LastAutoTarget, 200.0);
        QCOMPARE(Field(10), std::to_string(moves));  // not refreshed until the next move
        QCOMPARE(Field(11), "2,85 метров"_cp1251);

        Form2->CheckBox1->setChecked(true);
        Form2->CheckBox1->setChecked(false);
        QCOMPARE(Field(10), std::string("1"));
        QCOMPARE(Field(11), "0 метров"_cp1251);
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    LocaleWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "locale_window_test.moc"
