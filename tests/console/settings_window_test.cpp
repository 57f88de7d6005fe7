// The settings file as the main window applies and writes it, and the settings window.

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "base/cp1251.h"
#include "console/application.h"
#include "console/incoming_poller.h"
#include "console/nastr.h"
#include "console/qt_text.h"
#include "support/platform.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
std::string Lines(std::initializer_list<const char*> lines) {
    std::string bytes;
    for (const char* line : lines) bytes += std::string(line) + "\r\n";
    return bytes;
}
}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { CloseWindows(); }

    void noFileGivesTheDefaultsAndWritesThemAtClose() {
        TProgramDir dir;
        StartWindows();
        QVERIFY(Form1->Panel3->isVisible());
        QVERIFY(!Form1->Panel2->isVisible());
        QCOMPARE(Form1->StringGrid1->horizontalHeader()->sectionSize(0), 207);
        QCOMPARE(Form1->StringGrid1->verticalHeader()->defaultSectionSize(), 24);
        QCOMPARE(DataDir, dir.Path().string());
        CloseWindows();
        const std::string file = dir.Read("nastr.dat");
        QVERIFY(file.find("a=207\r\n") != std::string::npos);
        QVERIFY(file.find("b=367\r\n") != std::string::npos);
        QVERIFY(file.find("d=" + dir.Path().string() + "\r\n") != std::string::npos);
        QVERIFY(file.find("h=-1\r\n") != std::string::npos);
    }

    void fileValuesReachTheControls_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("infoPixels");
        QTest::addColumn<int>("rowHeight");
        QTest::addColumn<bool>("keypad");
        // Only an e line sets the rows' height; without one they stay 24 high.
        QTest::newRow("c=48") << "c=48" << 64 << 24 << true;
        QTest::newRow("e=12") << "e=12" << 53 << 24 << true;
        QTest::newRow("e=8") << "e=8" << 53 << 16 << true;
        QTest::newRow("e=20") << "e=20" << 53 << 40 << true;
        QTest::newRow("e refused") << "e=wide" << 53 << 24 << true;
        QTest::newRow("h=0") << "h=0" << 53 << 24 << false;
        QTest::newRow("h=no") << "h=no" << 53 << 24 << true;
        QTest::newRow("h=") << "h=" << 53 << 24 << true;
        QTest::newRow("upper-case key") << "H=0" << 53 << 24 << true;
        QTest::newRow("c out of range") << "c=1000" << 53 << 24 << true;
    }
    void fileValuesReachTheControls() {
        QFETCH(QString, line);
        QFETCH(int, infoPixels);
        QFETCH(int, rowHeight);
        QFETCH(bool, keypad);
        TProgramDir dir;
        dir.Write("nastr.dat", Lines({" comment", line.toLatin1().constData()}));
        StartWindows();
        QCOMPARE(Form1->Label3->font().pixelSize(), infoPixels);
        QCOMPARE(Form1->StringGrid1->verticalHeader()->defaultSectionSize(), rowHeight);
        QCOMPARE(Form1->Panel3->isVisible(), keypad);
    }

    void dataDirWithABlankSurvivesARestart() {
        TProgramDir dir;
        const auto lists = dir.Path() / "cut lists";
        std::filesystem::create_directories(lists);
        dir.Write("nastr.dat", Lines({("d=" + lists.string()).c_str(), "p=/dev/ttyUSB0"}));
        StartWindows();
        QCOMPARE(DataDir, lists.string());
        QCOMPARE(DevicePortName, std::string("/dev/ttyUSB0"));
        CloseWindows();
        QVERIFY(dir.Read("nastr.dat").find("d=" + lists.string() + "\r\n") != std::string::npos);
    }

    void windowShowsTheSizesInForceAndAppliesRow3() {
        TProgramDir dir;
        dir.Write("nastr.dat", Lines({"c=48"}));
        StartWindows();
        Form3->show();
        QCOMPARE(Form3->ValueRow(1), std::string("48"));
        QCOMPARE(Form3->ValueRow(3), std::string("8"));
        Form3->SetValueRow(3, "30");
        Form3->SetValueRow(2, "wide");
        Form3->BitBtn1->click();
        QCOMPARE(Form1->StringGrid1->verticalHeader()->defaultSectionSize(), 60);
        QCOMPARE(Form1->StringGrid1->font().pixelSize(), 40);
        QVERIFY(Form3->ValueRowMarked(2));  // refused and marked
        QVERIFY(!Form3->ValueRowMarked(3));
        QCOMPARE(Form1->Edit1->font().pixelSize(), 53);  // unchanged
        Form3->accept();
        CloseWindows();
        QVERIFY(dir.Read("nastr.dat").find("e=30\r\n") != std::string::npos);
    }

    void switchClosedWithoutApplyGovernsTheNextStart() {
        TProgramDir dir;
        StartWindows();
        Form3->show();
        Form3->CheckBox2->setChecked(true);  // "Коррекция", not applied
        Form3->reject();
        QVERIFY(!Form1->Panel2->isVisible());
        CloseWindows();
        QVERIFY(dir.Read("nastr.dat").find("i=-1\r\n") != std::string::npos);
        StartWindows();
        QVERIFY(Form1->Panel2->isVisible());
    }

    void theJournalSwitchGoesThroughTheWindowAndTheFile() {
        TProgramDir dir;
        dir.Write("nastr.dat", Lines({"m=0"}));
        StartWindows();
        QVERIFY(!Form1->Settings.KeepJournal);
        Form3->show();
        QVERIFY(!Form3->CheckBox6->isChecked());
        QCOMPARE(FromQ(Form3->CheckBox6->text()), "Вести журнал"_cp1251);
        Form3->CheckBox6->setChecked(true);
        Form3->reject();  // closing keeps the switch
        QVERIFY(Form1->Settings.KeepJournal);
        CloseWindows();
        const std::string file = dir.Read("nastr.dat");
        QVERIFY(file.find("k=0\r\n"_cp1251) < file.find(" Вести журнал\r\nm=-1\r\n"_cp1251));
    }

    // The incoming folder: read from r, chosen in the window, kept whole at close, written as r.
    void theIncomingFolderGoesThroughTheWindowAndTheFile() {
        TProgramDir dir;
        const auto spaced = dir.Path() / "from the office ";
        std::filesystem::create_directories(spaced);
        dir.Write("nastr.dat", Lines({"r=/nowhere yet"}));
        StartWindows();
        QCOMPARE(Form1->IncomingDir, std::filesystem::path("/nowhere yet"));
        Form3->show();
        QCOMPARE(ControlText(Form3->IncomingEdit), std::string("/nowhere yet"));
        QVERIFY(Form3->rect().contains(Form3->IncomingChoose->mapTo(Form3, QPoint(0, 0))));
        Form3->ChooseFolder = [&](const QString&) {
            return QString::fromStdString(spaced.string());
        };
        Form3->IncomingChoose->click();
        Form3->reject();
        QCOMPARE(Form1->IncomingDir, spaced);
        QCOMPARE(Form1->Incoming().Folder(), spaced);
        CloseWindows();
        QVERIFY(dir.Read("nastr.dat")
                    .find(" Папка входящих списков\r\nr="_cp1251 + spaced.string() + "\r\n") !=
                std::string::npos);
    }

    // "Отправлять размеры на упор": read from l, shown in its box, kept at close, written as l.
    void sendingSizesIsReadShownAndWritten_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("written");
        QTest::newRow("no line, checked") << "" << false << true << "l=-1";
        QTest::newRow("l=-1, unchecked") << "l=-1" << true << false << "l=0";
        QTest::newRow("l=0, left") << "l=0" << false << false << "l=0";
        QTest::newRow("l=1, left") << "l=1" << true << true << "l=-1";
    }
    void sendingSizesIsReadShownAndWritten() {
        QFETCH(QString, line);
        QFETCH(bool, fromFile);
        QFETCH(bool, checked);
        QFETCH(QString, written);
        TProgramDir dir;
        dir.Write("nastr.dat", Lines({"k=0", line.toLatin1().constData()}));
        StartWindows();
        QCOMPARE(Form1->Settings.SendSizes, fromFile);
        Form3->show();
        QCOMPARE(Form3->CheckBox5->isChecked(), fromFile);
        QCOMPARE(FromQ(Form3->CheckBox5->text()), "Отправлять размеры на упор"_cp1251);
        QVERIFY(Form3->rect().contains(Form3->CheckBox5->geometry()));
        Form3->CheckBox5->setChecked(checked);
        Form3->reject();
        QCOMPARE(Form1->Settings.SendSizes, checked);
        CloseWindows();
        const std::string file = dir.Read("nastr.dat");
        const std::string tail =
            " Отправлять размеры на упор\r\n"_cp1251 + written.toStdString() + "\r\n";
        // Right after k, and the journal's switch after it.
        QVERIFY(file.find(" Только новые размеры\r\nk=0\r\n"_cp1251 + tail +
                          " Вести журнал\r\n"_cp1251) != std::string::npos);
    }

    void menuCommandOpensTheWindowModally() {
        TProgramDir dir;
        StartWindows();
        bool wasModal = false;
        QTimer::singleShot(0, [&] {
            wasModal = Form3->isModal() && Form3->isVisible();
            Form3->reject();
        });
        Form1->N4->trigger();
        QVERIFY(wasModal);
    }

    void aReadOnlyProgramFolderKeepsTheOldFile() {
        if (!tandrel::testing::ReadOnlyFoldersRefuseWrites())
            QSKIP("root and Windows write into read-only folders");
        TProgramDir dir;
        dir.Write("nastr.dat", Lines({"c=48"}));
        StartWindows();
        std::filesystem::permissions(
            dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        CloseWindows();  // the write fails; the program ends all the same
        std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
        QCOMPARE(dir.Read("nastr.dat"), Lines({"c=48"}));
    }

    void settingsWindowScreen() {
        TProgramDir dir;
        StartWindows();
        Form3->show();
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        QVERIFY(Form3->grab().save(QStringLiteral(TANDREL_SCREENS_DIR "/settings.png")));
        Form3->reject();
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    SettingsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "settings_window_test.moc"
