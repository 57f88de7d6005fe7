// The operator's own fields through the real main window, offscreen, with the device simulator:
// the target and where the stop stands, the move that follows a step with "Отправлять размеры
// на упор", refusals and pending entries, the link indicator, the finished list, the dialogs.
// Renders the main window in each state to the screens folder.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <fstream>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "console/Unit1_operator.h"
#include "console/application.h"
#include "console/nastr_file.h"
#include "console/qt_text.h"
#include "link/device_port.h"
#include "simulator.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
constexpr int kWaitMs = 10000;

void WriteSettings(const TProgramDir& dir, const std::string& devicePort, bool sendSizes) {
    TSettings settings = DefaultSettings(dir.Path());
    settings.DevicePortName = devicePort;
    settings.SendSizes = sendSizes;
    WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
}

std::string Utf8(const QLabel* label) {
    return label->text().toStdString();
}

std::string Status() {
    return Cp1251ToUtf8(Form1->StatusText());
}

std::string WriteList(const TProgramDir& dir, const std::string& name, const std::string& utf8) {
    dir.Write(name, Utf8ToCp1251(utf8));
    return (dir.Path() / name).string();
}

// The windows without a device, its limits 200 to 3050, the list loaded.
void StartWithoutDevice(const std::string& list) {
    StartWindows();
    SetDecimalSeparator(',');  // the Russian locale's, after the first show took this machine's
    WaitForStartingValues();
    Form1->Link.MinSize = 200;
    Form1->Link.MaxSize = 3050;
    Form1->LoadList(list);
}

// The buttons of the modal box on screen, seen from inside its event loop. Yes is answered
// with Enter, as the default button must take it; any other answer is clicked.
struct TSeenBox {
    QStringList texts;
    int lowest = 0;
};
void CloseNextBoxWith(TSeenBox& seen, QMessageBox::StandardButton answer) {
    QTimer::singleShot(50, [&seen, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seen.lowest = 10000;
        for (QAbstractButton* button : box->buttons()) {
            seen.texts << button->text().remove(QLatin1Char('&'));
            seen.lowest = std::min(seen.lowest, button->height());
        }
        if (answer == QMessageBox::Yes)
            QTest::keyClick(box, Qt::Key_Return);
        else
            box->button(answer)->click();
    });
}
}  // namespace

class OperatorWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { CloseWindows(); }

    // With the setting on, the row's target follows the step on the line, after the row is
    // recorded; the stop arrives, the row completes again and is counted once.
    void sendingSizesMovesTheStopToEachRow_data() {
        QTest::addColumn<bool>("send");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }
    void sendingSizesMovesTheStopToEachRow() {
        QFETCH(bool, send);
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--min", "200", "--max", "3050", "--precision", "1",
                                    "--ping-ms", "20", "--speed", "100000"});
        QVERIFY(sim.Ready());
        WriteSettings(dir, sim.Device(), send);
        const std::string list = WriteList(dir, "list.txt", "1234,56 Дверь\r\n1500 Полка\r\n");
        StartWindows();
        SetDecimalSeparator(',');  // the Russian locale's, after the first show took this machine's
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kWaitMs);
        Form1->LoadList(list);
        TOperatorFields& f = Form1->Fields();
        QCOMPARE(Utf8(f.TargetValue), std::string("Цель: —"));
        Form1->BitBtn1->click();
        QCOMPARE(Utf8(f.TargetValue), std::string("Цель: 1234,6"));
        if (send) {
            QCOMPARE(int(Form1->Link.LinkState.load()), 8);  // until the next position report
            QTRY_COMPARE_WITH_TIMEOUT(sim.StateValue("moves"), 1LL, kWaitMs);
            QTRY_COMPARE_WITH_TIMEOUT(Utf8(f.TargetState), std::string("на месте"), kWaitMs);
            QCOMPARE(f.Look, TTargetLook::AtTarget);
            QCOMPARE(ControlText(Form1->Edit1), std::string("1234,6"));
        } else {
            QTest::qWait(300);
            QCOMPARE(sim.StateValue("moves"), 0LL);
            QTRY_COMPARE_WITH_TIMEOUT(Utf8(f.TargetState), std::string("упор на 3050"), kWaitMs);
            QCOMPARE(f.Look, TTargetLook::Elsewhere);
        }
        Form1->BitBtn1->click();
        QCOMPARE(Utf8(f.TargetValue), std::string("Цель: 1500"));
        QTRY_COMPARE_WITH_TIMEOUT(sim.StateValue("moves"), send ? 2LL : 0LL, kWaitMs);
        QCOMPARE(Status(), std::string("Список выполнен: 2 из 2"));
        // Reloaded, the list is finished: every row once, however often it was recorded.
        TSeenBox seen;
        CloseNextBoxWith(seen, QMessageBox::No);
        Form1->LoadList(list);
        QCOMPARE(Form1->Job.RemainingCount, 0);
        QCOMPARE(Status(), std::string("Список выполнен: 2 из 2"));
    }

    // Nothing goes out while the link is not up, and the status line says so.
    void withoutALinkTheSizeIsNotSentAndThatIsSaid() {
        TProgramDir dir;
        WriteSettings(dir, "", true);
        const std::string list = WriteList(dir, "list.txt", "1000 A\r\n1100 B\r\n");
        StartWithoutDevice(list);
        Form1->BitBtn1->click();
        QCOMPARE(Form1->Job.CurrentRow, 1);
        QCOMPARE(Status(),
                 std::string("Размер 1000 не отправлен на упор: нет связи с устройством"));
        QVERIFY(Form1->StatusIsFault());
        QCOMPARE(Utf8(Form1->Fields().TargetState), std::string("нет связи с упором"));
        QVERIFY(Form1->Link.LinkState.load() != 8);
    }

    void refusalsAreSaidAndPendingEntriesShown() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--min", "200", "--max", "3050", "--precision", "0",
                                    "--ping-ms", "20", "--speed", "100000"});
        WriteSettings(dir, sim.Device(), false);
        StartWindows();
        SetDecimalSeparator(',');  // the Russian locale's, after the first show took this machine's
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kWaitMs);
        TOperatorFields& f = Form1->Fields();
        for (char key : std::string("150")) Form1->FormKeyPress(key);
        QVERIFY(f.EntryPanel->isVisible());
        QVERIFY(f.EntryClear->isVisible());
        QCOMPARE(Utf8(f.EntryHint),
                 std::string("Набрано 150: «Старт» или # отправит этот размер на упор"));
        Form1->FormKeyPress(13);
        QCOMPARE(Status(), std::string("Размер 150 меньше наименьшего 200 мм"));
        QCOMPARE(ControlText(Form1->Label3), std::string("150"));  // kept for correcting
        Form1->FormKeyPress('0');  // 1500: accepted, the refusal goes
        QCOMPARE(Status(), std::string());
        Form1->FormKeyPress('0');  // 15000 passes the maximum
        QCOMPARE(Status(), std::string("Размер 15000 больше наибольшего 3050 мм"));
        QCOMPARE(ControlText(Form1->Label3), std::string("1500"));
        f.EntryClear->click();
        QVERIFY(Form1->Entry.ManualEntry.empty());
        QCOMPARE(ControlText(Form1->Label3), std::string());
        QVERIFY(!f.EntryPanel->isVisible());
        // A typed size that goes out becomes the target shown.
        for (char key : std::string("2000")) Form1->FormKeyPress(key);
        Form1->FormKeyPress(13);
        QCOMPARE(Utf8(f.TargetValue), std::string("Цель: 2000"));
        QTRY_COMPARE_WITH_TIMEOUT(Utf8(f.TargetState), std::string("на месте"), kWaitMs);
        // The device keypad's entry is shown while it is not empty.
        QVERIFY(sim.Command("keys 12").rfind("ok", 0) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(Utf8(f.EntryHint), std::string("на пульте упора набрано 12"),
                                  kWaitMs);
        QVERIFY(f.EntryPanel->isVisible());
        QVERIFY(!f.EntryClear->isVisible());  // the device's own entry is cleared there
        QVERIFY(sim.Command("keys **").rfind("ok", 0) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(!f.EntryPanel->isVisible(), kWaitMs);
    }

    // The indicator says the link in the operator's words and no notice overwrites it.
    void linkIndicator_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("text");
        QTest::newRow("not set")
            << ""
            << "Нет связи с устройством: порт устройства не задан в настройках";
        QTest::newRow("not found") << "/dev/ttyUSB97"
                                   << "Нет связи с устройством: порт /dev/ttyUSB97 не найден";
    }
    void linkIndicator() {
        QFETCH(QString, port);
        QFETCH(QString, text);
        TProgramDir dir;
        WriteSettings(dir, FromQ(port), false);
        StartWindows();
        SetDecimalSeparator(',');  // the Russian locale's, after the first show took this machine's
        const QLabel* indicator = Form1->Fields().LinkIndicator;
        QTRY_COMPARE(indicator->text(), text);
        QVERIFY(indicator->isVisible());
        Form1->ShowStatus("Этикетка не напечатана"_cp1251, true);
        QCOMPARE(indicator->text(), text);
        QVERIFY(indicator->styleSheet().contains(QStringLiteral("#c00000")));
    }

    void linkIndicatorFollowsTheDevice() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20"});
        WriteSettings(dir, sim.Device(), false);
        StartWindows();
        SetDecimalSeparator(',');  // the Russian locale's, after the first show took this machine's
        Form1->SetRecoveryIntervals(300, 200, 100);
        const QLabel* indicator = Form1->Fields().LinkIndicator;
        QTRY_COMPARE_WITH_TIMEOUT(Utf8(indicator), std::string("Связь с устройством есть"),
                                  kWaitMs);
        QVERIFY(indicator->styleSheet().contains(QStringLiteral("#007a33")));
        QVERIFY(sim.Command("drop 1500").rfind("ok", 0) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(Utf8(indicator).rfind("Нет связи с устройством: ", 0) == 0,
                                 kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(Utf8(indicator), std::string("Связь с устройством есть"),
                                  kWaitMs);
    }

    // With the cable pulled at the device's end the port stays and nothing fails: the silence
    // alone says that the link is gone, and a row's size is not sent into it.
    void aSilentDeviceIsNoLink() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--ping-ms", "20", "--speed", "100000"});
        WriteSettings(dir, sim.Device(), true);
        const std::string list = WriteList(dir, "list.txt", "1000 A\r\n1100 B\r\n");
        StartWindows();
        const QLabel* indicator = Form1->Fields().LinkIndicator;
        QTRY_COMPARE_WITH_TIMEOUT(Utf8(indicator), std::string("Связь с устройством есть"),
                                  kWaitMs);
        Form1->LoadList(list);
        QVERIFY(sim.Command("silent on").rfind("ok", 0) == 0);
        const std::string silent =
            "Нет связи с устройством: устройство не отвечает (порт " + sim.Device() + ")";
        QTRY_COMPARE_WITH_TIMEOUT(Utf8(indicator), silent, kWaitMs);
        QVERIFY(indicator->styleSheet().contains(QStringLiteral("#c00000")));
        Form1->BitBtn1->click();
        QCOMPARE(Status(), std::string("Размер 1000 не отправлен на упор: устройство не отвечает"));
        QCOMPARE(Utf8(Form1->Fields().TargetState), std::string("нет связи с упором"));
        QVERIFY(sim.Command("silent off").rfind("ok", 0) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(Utf8(indicator), std::string("Связь с устройством есть"),
                                  kWaitMs);
    }

    // The out-of-range message is red on the info line until the next caption.
    void outOfRangeIsRedUntilTheNextCaption() {
        TProgramDir dir;
        const std::string list = WriteList(dir, "list.txt", "5000 Длинная\r\n1000 Дверь\r\n");
        StartWithoutDevice(list);
        Form1->BitBtn1->click();
        QCOMPARE(ControlText(Form1->Label3), "Ошибка! Размер 5000 вне диапазона!"_cp1251);
        QVERIFY(Form1->Label3->styleSheet().contains(QStringLiteral("#c00000")));
        QCOMPARE(Utf8(Form1->Fields().TargetState), std::string("вне диапазона 200–3050"));
        Form1->BitBtn1->click();
        QCOMPARE(ControlText(Form1->Label3), "Дверь"_cp1251);
        QVERIFY(Form1->Label3->styleSheet().contains(QStringLiteral("blue")));
    }

    // Qt's own texts in Russian; the restart question's buttons sized for gloves.
    void restartQuestionSpeaksRussianWithLargeButtons() {
        TProgramDir dir;
        const std::string list = WriteList(dir, "list.txt", "1000 A\r\n");
        StartWithoutDevice(list);
        Form1->BitBtn1->click();
        TSeenBox seen;
        CloseNextBoxWith(seen, QMessageBox::Yes);
        Form1->LoadList(list);
        QCOMPARE(seen.texts, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
        QVERIFY2(seen.lowest >= 76, qPrintable(QString::number(seen.lowest)));
        QCOMPARE(Form1->Job.RemainingCount, 1);
        QCOMPARE(QCoreApplication::translate("QFileDialog", "&Open").remove(QLatin1Char('&')),
                 QStringLiteral("Открыть"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
    }

    void utf8ListIsReadAndWhatWasLostIsSaid() {
        TProgramDir dir;
        dir.Write("utf8.txt",
                  "\xEF\xBB\xBF"
                  "1000 Дверь <E1Шкаф>\r\n1100 Полка 日本\r\n");
        StartWindows();
        SetDecimalSeparator(',');  // the Russian locale's, after the first show took this machine's
        Form1->LoadList((dir.Path() / "utf8.txt").string());
        QCOMPARE(Form1->Job.RowCount, 2);
        QCOMPARE(Form1->Job.Rows[1].Caption, "Дверь"_cp1251);
        QVERIFY2(Status().find("UTF-8") != std::string::npos, Status().c_str());
        QVERIFY2(Status().find(": 2") != std::string::npos, Status().c_str());
    }

    // The main window as the operator sees it from afar, in each state, at both screen sizes.
    void renders_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1280x800") << QSize(1280, 800);
        QTest::newRow("1920x1080") << QSize(1920, 1080);
    }
    void renders() {
        QFETCH(QSize, size);
        TProgramDir dir;
        TSimulator sim(dir.Path(), {"--min", "200", "--max", "3050", "--precision", "1",
                                    "--ping-ms", "20", "--speed", "1000"});
        WriteSettings(dir, sim.Device(), true);
        const std::string list = WriteList(dir, "order.txt",
                                           "1234,5 Стойка каркаса <E1Заказ 1502>\r\n"
                                           "4000 Балка длинная\r\n1500 Ригель верхний\r\n");
        CreateWindows();
        Form1->resize(size);
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        Form1->SetRecoveryIntervals(300, 200, 100);
        QTRY_COMPARE_WITH_TIMEOUT(int(Form1->Link.LinkState.load()), 7, kWaitMs);
        Form1->LoadList(list);
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        const QString suffix = QStringLiteral("-%1x%2.png").arg(size.width()).arg(size.height());
        auto save = [&](const char* name) {
            QCoreApplication::processEvents();
            QVERIFY2(Form1->width() <= size.width(), name);  // nothing off the screen
            const QString path =
                QStringLiteral(TANDREL_SCREENS_DIR "/") + QLatin1String(name) + suffix;
            QVERIFY2(Form1->grab().save(path), qPrintable(path));
        };
        TOperatorFields& f = Form1->Fields();
        Form1->BitBtn1->click();  // 1234,5: the stop travels from 3050
        QCOMPARE(f.Look, TTargetLook::Elsewhere);
        save("main-target");
        QTRY_COMPARE_WITH_TIMEOUT(f.Look, TTargetLook::AtTarget, kWaitMs);
        save("main-at-target");
        Form1->BitBtn1->click();  // 4000: out of range
        QCOMPARE(f.Look, TTargetLook::OutOfRange);
        save("main-out-of-range");
        Form1->BitBtn1->click();  // 1500, the last row
        QTRY_COMPARE_WITH_TIMEOUT(f.Look, TTargetLook::AtTarget, kWaitMs);
        QCOMPARE(Status(), std::string("Список выполнен: 3 из 3"));
        save("main-finished");
        QVERIFY(sim.Command("drop 60000").rfind("ok", 0) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(Form1->Fields().LinkUp, false, kWaitMs);
        QTest::qWait(300);
        save("main-link-lost");
        CloseWindows();
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    LoadQtTranslations();
    OperatorWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "operator_window_test.moc"
