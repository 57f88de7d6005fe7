// The keypad, the keyboard and the correction panel on the real main window, offscreen.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <fstream>

#include "base/cp1251.h"
#include "console/application.h"
#include "console/nastr.h"
#include "console/qt_text.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
void Limits(double minSize, double maxSize, std::int32_t precision) {
    Form1->Link.MinSize = minSize;
    Form1->Link.MaxSize = maxSize;
    Form1->Link.Precision = precision;
}
void Type(const char* keys) {
    for (const char* k = keys; *k; ++k) Form1->FormKeyPress(*k);
}
std::string Info() {
    return ControlText(Form1->Label3);
}
void LoadTwoRows() {
    const auto list = std::filesystem::current_path() / "two.txt";
    std::ofstream(list) << "1000 A\r\n1200 B\r\n";
    Form1->LoadList(list.string());
}
}  // namespace

class KeypadWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TProgramDir> dir_;

  private slots:
    void init() {
        dir_ = std::make_unique<TProgramDir>();
        StartWindows();
        WaitForStartingValues();
    }
    void cleanup() { dir_.reset(); }

    void typingTable_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("precision");
        QTest::addColumn<QString>("shown");
        QTest::newRow("3051 stops at 305") << "3051" << 0 << "305";
        QTest::newRow("1234*5") << "1234*5" << 1 << "1234.5";
        QTest::newRow("erased to the point") << "1234*5*" << 1 << "1234.";
        QTest::newRow("comma is the star key") << "12,5" << 1 << "12.5";
        QTest::newRow("star under precision 0") << "12*" << 0 << "1";
        QTest::newRow("letters do nothing") << "1a2b" << 0 << "12";
    }
    void typingTable() {
        QFETCH(QString, keys);
        QFETCH(int, precision);
        QFETCH(QString, shown);
        Limits(200, 3050, precision);
        Type(keys.toLatin1().constData());
        QCOMPARE(Info(), shown.toStdString());
        QCOMPARE(Form1->Entry.ManualEntry, shown.toStdString());
    }

    void onScreenKeysTypeToo() {
        Limits(200, 3050, 1);
        for (int key : {3, 4, 10, 7}) Form1->Key(key)->click();  // 1 2 * 4
        QCOMPARE(Info(), std::string("12.4"));
    }

    void outOfRangeOrNoPortKeepsTheEntry() {
        Limits(200, 3050, 0);
        Type("150");
        Form1->FormKeyPress(13);
        QCOMPARE(Form1->Entry.ManualEntry, std::string("150"));  // below the minimum
        Type("0");
        Form1->FormKeyPress(13);  // in range, but no device port: nothing sent, entry kept
        QCOMPARE(Form1->Entry.ManualEntry, std::string("1500"));
        QVERIFY(Form1->StatusIsFault());
        QCOMPARE(int(Form1->Link.LinkState.load()), 0);
    }

    void enterWithNothingTypedChangesNothing() {
        Limits(200, 3050, 0);
        // The parse of an empty entry fails: the failure reaches the application's handler and
        // the action simply stops.
        QTest::keyClick(Form1, Qt::Key_Return);
        QCOMPARE(Form1->Entry.ManualEntry, std::string());
    }

    void startWithAPendingEntryDoesNotStepTheList() {
        Limits(200, 3050, 0);
        const auto list = dir_->Path() / "list.txt";
        std::ofstream(list) << "1000 A\r\n1200 B\r\n";
        Form1->LoadList(list.string());
        Type("1500");
        Form1->BitBtn1->click();
        QCOMPARE(Form1->Job.CurrentRow, 0);  // the "#" action ran instead
        Form1->Entry.ManualEntry.clear();
        Form1->BitBtn1->click();
        QCOMPARE(Form1->Job.CurrentRow, 1);
    }

    void aFocusedStartActsOnceOnSpace() {
        Limits(0, 5000, 0);
        const auto list = dir_->Path() / "list.txt";
        std::ofstream(list) << "1000 A\r\n1200 B\r\n1300 C\r\n";
        Form1->LoadList(list.string());
        Form1->BitBtn1->setFocus();
        QTest::keyClick(Form1->BitBtn1, Qt::Key_Space);
        QTRY_COMPARE(Form1->Job.CurrentRow, 1);           // one step, not two
        QTest::keyClick(Form1->BitBtn1, Qt::Key_Return);  // Enter is "#", which has no entry
        QCOMPARE(Form1->Job.CurrentRow, 1);
    }

    void plusTogglesTheKeypadEvenWhenItIsSwitchedOff() {
        LoadTwoRows();
        Form1->Settings.ShowKeypad = false;
        Form1->ShowPanels();
        SetControlText(Form1->Label3, "1200");
        Form1->FormKeyPress('+');
        QVERIFY(Form1->KeypadFull());
        QVERIFY(!Form1->BitBtn1->isVisible() && !Form1->BitBtn2->isVisible());
        QVERIFY(Info().empty());
        // Switched off, the panel is never shown and the list stays in view.
        QVERIFY(!Form1->Panel3->isVisible());
        QVERIFY(Form1->StringGrid1->isVisible());
        Form1->FormKeyPress('+');
        QVERIFY(!Form1->KeypadFull());
        QVERIFY(Form1->BitBtn1->isVisible() && Form1->BitBtn2->isVisible());
        QVERIFY(!Form1->Panel3->isVisible());
        QVERIFY(Form1->StringGrid1->isVisible());
        QVERIFY(!Form1->Key(3)->isVisible());
    }

    // The settings window switches the keypad off and on again while it is full.
    void switchingTheKeypadOffWhileFullBringsTheGridBack() {
        LoadTwoRows();
        Form1->FormKeyPress('+');
        QVERIFY(!Form1->StringGrid1->isVisible());
        Form3->show();
        Form3->CheckBox1->setChecked(false);  // "Клавиатура"
        Form3->BitBtn1->click();              // "Применить"
        QVERIFY(Form1->StringGrid1->isVisible());
        QVERIFY(!Form1->Panel3->isVisible());
        // Start and Back stay hidden until "+" or a load shows them.
        QVERIFY(!Form1->BitBtn1->isVisible() && !Form1->BitBtn2->isVisible());
        Form3->CheckBox1->setChecked(true);
        Form3->BitBtn1->click();
        QVERIFY(Form1->Panel3->isVisible() && Form1->Key(14)->isVisible());
        QVERIFY(!Form1->StringGrid1->isVisible());
        Form3->reject();
    }

    // A full keypad hides Start and Back; a load and a completion with no row in work show
    // both again, the start of a handshake shows Start.
    void startAndBackComeBackOverAFullKeypad_data() {
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("back");
        QTest::newRow("list load") << "load" << true;
        QTest::newRow("completion with no row in work") << "completion" << true;
        QTest::newRow("handshake") << "handshake" << false;
    }
    void startAndBackComeBackOverAFullKeypad() {
        QFETCH(QString, event);
        QFETCH(bool, back);
        QTRY_VERIFY(Form1->BitBtn1->isVisible());  // the first handshake has shown it
        SetControlText(Form1->Edit1, "3050");      // the handshake's starting position
        Form1->FormKeyPress('+');
        QVERIFY(!Form1->BitBtn1->isVisible() && !Form1->BitBtn2->isVisible());
        if (event == QLatin1String("load")) {
            LoadTwoRows();
        } else if (event == QLatin1String("completion")) {
            SetControlText(Form1->Edit1, "1500");
        } else {
            Form1->StartDrayver();
        }
        QTRY_VERIFY(Form1->BitBtn1->isVisible());
        QCOMPARE(Form1->BitBtn2->isVisible(), back);
        QVERIFY(Form1->KeypadFull());
    }

    void fullKeypadIsLaidOutAndFollowsResizes_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1280x800") << QSize(1280, 800);
        QTest::newRow("1920x1080") << QSize(1920, 1080);
    }
    void fullKeypadIsLaidOutAndFollowsResizes() {
        QFETCH(QSize, size);
        Form1->showNormal();
        Form1->resize(size);
        QCoreApplication::processEvents();
        Form1->Panel3DblClick();
        QCoreApplication::processEvents();
        const TKeyLayout expected = ButtonsSize(Form1->Panel3->height(), Form1->Panel3->width());
        QCOMPARE(Form1->Key(3)->size(), QSize(expected.keyWidth, expected.keyHeight));
        QCOMPARE(Form1->Key(14)->pos(), QPoint(expected.columnLefts[3], expected.rowTops[2]));
        // Big enough for a gloved finger: at least 2 cm at 96 dpi.
        QVERIFY(expected.keyWidth >= 76 && expected.keyHeight >= 76);
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        QVERIFY(Form1->grab().save(QStringLiteral(TANDREL_SCREENS_DIR "/keypad-%1x%2.png")
                                       .arg(size.width())
                                       .arg(size.height())));
        Form1->resize(size - QSize(200, 100));
        QCoreApplication::processEvents();
        const TKeyLayout after = ButtonsSize(Form1->Panel3->height(), Form1->Panel3->width());
        QCOMPARE(Form1->Key(3)->size(), QSize(after.keyWidth, after.keyHeight));
    }

    void correctionGoesBelowZero() {
        Form1->Settings.ShowCorrection = true;
        Form1->ShowPanels();
        Form1->Button1->click();
        QCOMPARE(Form1->Label2->text(), QStringLiteral("-1"));
        QCOMPARE(Form1->Job.Correction, -1);
        Form1->Button2->click();
        Form1->Button2->click();
        QCOMPARE(Form1->Label2->text(), QStringLiteral("1"));
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        QVERIFY(Form1->grab().save(QStringLiteral(TANDREL_SCREENS_DIR "/correction.png")));
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    KeypadWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "keypad_window_test.moc"
