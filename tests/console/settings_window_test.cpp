// The settings file as the main window applies and writes it, and the settings window.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "base/cp1251.h"
#include "console/Unit1.h"
#include "console/application.h"
#include "console/broker_dialog.h"
#include "console/incoming_poller.h"
#include "console/nastr.h"
#include "console/qt_text.h"
#include "feed/feed.h"
#include "feed/feed_secret.h"
#include "support/platform.h"
#ifndef _WIN32
#include "support/hostile_printer.h"
#endif
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
        Form3->BitBtn1Click();
        Form3->IncomingEdit->setText(QStringLiteral("/dropped"));
        Form3->reject();  // a value not applied is dropped with the window
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

    // The feed's broker and station name: shown, refused when no host:port, applied by
    // "Применить" (which starts the feed), dropped by a close, written as o and q.
    void theFeedRowsApplyLikeTheValues() {
        TProgramDir dir;
        dir.Write("nastr.dat", Lines({"m=0"}) + "q=Линия 1\r\n"_cp1251);
        StartWindows();
        Form3->show();
        const TFeedRows& rows = Form3->FeedRows;
        QVERIFY(
            Form3->rect().contains(rows.Broker->mapTo(Form3, rows.Broker->rect().bottomRight())));
        QVERIFY(rows.Broker->text().isEmpty());
        QCOMPARE(FromQ(rows.Station->text()), "Линия 1"_cp1251);
        QVERIFY(rows.JournalOff->isVisible());
        Form3->CheckBox6->setChecked(true);
        QVERIFY(!rows.JournalOff->isVisible());

        rows.Broker->setText(QStringLiteral("plant:99999"));
        Form3->BitBtn1Click();
        QVERIFY(Form1->Settings.Broker.empty());
        QVERIFY(!rows.Broker->styleSheet().isEmpty());
        rows.Broker->setText(QStringLiteral("127.0.0.1:1"));  // nobody listens there
        Form3->BitBtn1Click();
        QVERIFY(rows.Broker->styleSheet().isEmpty());
        QCOMPARE(Form1->Settings.Broker, std::string("127.0.0.1:1"));
        QVERIFY(Form1->Feed() && Form1->Feed()->Running());
        QCOMPARE(Form1->FeedText(), "MQTT: нет связи с брокером"_cp1251);
        // A name that cannot be a topic level is refused, and the row says why.
        rows.Station->setText(ToQ("Линия/1"_cp1251));
        Form3->BitBtn1Click();
        QCOMPARE(Form1->Settings.StationName, "Линия 1"_cp1251);
        QVERIFY(!rows.Station->styleSheet().isEmpty());
        QVERIFY(rows.JournalOff->isVisible());
        QVERIFY(FromQ(rows.JournalOff->text()).find("«/»"_cp1251) != std::string::npos);
        rows.Station->setText(ToQ("Линия 1"_cp1251));

        // "Брокер…": the log-in and TLS files wait for "Применить"; the password goes to
        // mqtt.key, never to nastr.dat.
        QTimer::singleShot(0, [&] {
            TBrokerDialog* d = Form3->BrokerDialog;
            d->User->setText(ToQ("Линия-1"_cp1251));
            d->Password->setText(QStringLiteral("s3cret"));
            d->ChooseFile = [](const QString&) { return QStringLiteral("/plant/ca.pem"); };
            d->CaChoose->click();
            d->accept();
        });
        rows.Credentials->click();
        QVERIFY(Form1->Settings.MqttUser.empty());
        Form3->BitBtn1Click();
        QCOMPARE(Form1->Settings.MqttUser, "Линия-1"_cp1251);
        QCOMPARE(Form1->Settings.MqttCaFile, std::filesystem::path("/plant/ca.pem"));
        QCOMPARE(feed::LoadPassword(dir.Path()).value_or("none"), std::string("s3cret"));
        QVERIFY(tandrel::testing::SecretProtected(dir.Path() / "mqtt.key", "s3cret"));
        rows.Station->setText(QStringLiteral("X"));
        Form3->reject();
        QCOMPARE(Form1->Settings.StationName, "Линия 1"_cp1251);
        CloseWindows();
        const std::string file = dir.Read("nastr.dat");
        QVERIFY(
            file.find(
                "m=-1\r\n Брокер MQTT\r\no=127.0.0.1:1\r\n Имя станции\r\nq=Линия 1\r\n"_cp1251) !=
            std::string::npos);
        // The chooser's file as the system writes its paths (backslashes on Windows).
        const std::string ca = FromQ(QDir::toNativeSeparators(QStringLiteral("/plant/ca.pem")));
        QVERIFY(
            file.find(" Пользователь MQTT\r\ns=Линия-1\r\n Сертификат центра MQTT\r\nt="_cp1251 +
                      ca + "\r\n") != std::string::npos);
        QVERIFY(file.find("s3cret") == std::string::npos);
    }

    // A station name from the file that cannot be one is read with "_" and said once.
    void aStationNameFromTheFileIsMendedAndSaid() {
        TProgramDir dir;
        dir.Write("nastr.dat", "q=Линия"_cp1251 + "\x98/1\r\n");
        StartWindows();
        QCOMPARE(Form1->Settings.StationName, "Линия__1"_cp1251);
        QVERIFY(Form1->StatusText().find("Линия__1"_cp1251) != std::string::npos);
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

    // The group "Подключение" changes nothing until "Применить"; closed without it, its values
    // are dropped. Its controls suit a finger.
    void theConnectionGroupAppliesOnlyWhenApplied() {
        TProgramDir dir;
        dir.Write("nastr.dat", Lines({"p=PORT-A", "g=PRN-A", "j=0"}));
        StartWindows();
        for (const bool apply : {false, true}) {
            Form3->show();
            QCOMPARE(FromQ(Form3->ComboBox2->currentText()), std::string("PORT-A"));
            QCOMPARE(FromQ(Form3->ComboBox1->currentText()), std::string("PRN-A"));
            QVERIFY(!Form3->CheckBox3->isChecked());
            QVERIFY(!Form3->ComboBox1->isEnabled());
            Form3->CheckBox3->setChecked(true);
            QVERIFY(Form3->ComboBox1->isEnabled() && Form3->Button1->isEnabled());
            Form3->ComboBox1->setEditText(QStringLiteral("printer:Этикетки"));
            QVERIFY(Form3->CheckBox7->isChecked());  // a queue's state is the system's
            Form3->ComboBox1->setEditText(QStringLiteral("label-1"));
            QVERIFY(Form3->CheckBox7->isChecked());  // a network printer is asked
            Form3->CheckBox7->click();
            for (QWidget* control : Form3->GroupBox1->findChildren<QWidget*>()) {
                const bool touched = qobject_cast<QComboBox*>(control) ||
                                     qobject_cast<QAbstractButton*>(control) ||
                                     qobject_cast<QLabel*>(control);
                if (!control->isVisible() || !touched) continue;
                QVERIFY2(control->height() >= 40, qPrintable(control->objectName()));
                QVERIFY2(QFontInfo(control->font()).pixelSize() >= 20,
                         qPrintable(control->objectName()));
            }
            QVERIFY(Form3->rect().contains(Form3->GroupBox1->geometry()));
            if (apply) Form3->BitBtn1->click();
            Form3->reject();
            if (!apply) {
                QCOMPARE(LabelPortName, std::string("PRN-A"));
                QVERIFY(!Form1->Settings.PrintLabels);
                QVERIFY(!Form1->Settings.AskPrinterState.has_value());
                continue;
            }
            QCOMPARE(LabelPortName, std::string("label-1"));
            QVERIFY(Form1->Settings.PrintLabels);
            QCOMPARE(Form1->Settings.AskPrinterState, std::optional<bool>(false));
        }
        CloseWindows();
        const std::string file = dir.Read("nastr.dat");
        QVERIFY(file.find("g=label-1\r\n") != std::string::npos);
        QVERIFY(file.find("j=-1\r\n") != std::string::npos);
        QVERIFY(file.find("n=0\r\n") != std::string::npos);
    }

#ifndef _WIN32
    // A print service that takes the connection and never answers: the window is there at once
    // with the serial ports, and says why no queue joins them once the service's time is out.
    void aPrintServiceThatNeverAnswersHoldsNoWindow() {
        TProgramDir dir;
        tandrel::testing::HostilePrinter deaf(
            "127.0.0.1", {.HostStatus = std::nullopt,
                          .ReadLimit = 0,
                          .End = tandrel::testing::HostilePrinter::TEnd::Hold});
        setenv("CUPS_SERVER", ("127.0.0.1:" + std::to_string(deaf.Port())).c_str(), 1);
        StartWindows();
        Form3->PortList = [] { return std::vector<std::string>{"/dev/ttyS7"}; };
        Form3->show();
        QCOMPARE(Form3->ComboBox1->count(), 1);
        QVERIFY(Form3->Label2->text().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(FromQ(Form3->Label2->text()),
                                  "Очереди печати не получены: служба печати не отвечает"_cp1251,
                                  10000);
        Form3->reject();
        unsetenv("CUPS_SERVER");
    }
#endif

    // "Тест" prints with the group's printer and says the outcome in the window.
    void theTestButtonSaysItsOutcome() {
        TProgramDir dir;
        StartWindows();
        Form3->show();
        Form3->CheckBox3->setChecked(true);
#ifdef _WIN32
        const char* missing = "COM250";
#else
        const char* missing = "/dev/tandrel-no-such-port";
#endif
        Form3->ComboBox1->setEditText(QString::fromLatin1(missing));
        Form3->Button1->click();
        QTRY_VERIFY2(FromQ(Form3->Label2->text()).rfind("Этикетка не напечатана: "_cp1251, 0) == 0,
                     qPrintable(Form3->Label2->text()));
        Form3->reject();
        Form3->show();  // an old outcome is not said again
        QVERIFY(Form3->Label2->text().isEmpty());
        Form3->reject();
    }

    // The window over the main window at the operator's screen sizes, for the eye.
    void settingsWindowScreens_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1280x800") << QSize(1280, 800);
        QTest::newRow("1920x1080") << QSize(1920, 1080);
    }
    void settingsWindowScreens() {
        QFETCH(QSize, size);
        TProgramDir dir;
        StartWindows();
        Form1->showNormal();
        Form1->resize(size);
        Form3->show();
        // The group lays itself out again once the journal remark is hidden.
        QCoreApplication::processEvents();
        Form3->move(Form1->geometry().center() - Form3->rect().center());
        QVERIFY(Form3->height() <= size.height() && Form3->width() <= size.width());
        QVERIFY(FirstClippedChild(Form3) == nullptr);
        // The longest outcome the window says is read whole.
        Form3->Label2->setText(ToQ("Очереди печати не получены: служба печати не отвечает"_cp1251));
        QVERIFY(Form3->Label2->heightForWidth(Form3->Label2->width()) <= Form3->Label2->height());
        QPixmap screen = Form1->grab();
        QPainter(&screen).drawPixmap(Form3->geometry().topLeft() - Form1->geometry().topLeft(),
                                     Form3->grab());
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        const QString name = QStringLiteral(TANDREL_SCREENS_DIR "/settings-%1x%2.png")
                                 .arg(size.width())
                                 .arg(size.height());
        QVERIFY(screen.save(name));
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
