// The main window and its siblings, created as the program creates them, driven offscreen.

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>
#include <fstream>
#include <stdexcept>

#include "base/cp1251.h"
#include "console/Unit1.h"
#include "console/Unit1_operator.h"
#include "console/Unit2.h"
#include "console/about.h"
#include "console/application.h"
#include "console/nastr.h"
#include "console/qt_text.h"
#include "console/session_end.h"
#include "console/steps.h"
#include "console/windows.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
// The operator's screens: the window tests run on both.
QScreen* ScreenOfSize(QSize size) {
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().size() == size) return screen;
    return nullptr;
}

void MaximiseOn(QScreen* screen) {
    Form1->showNormal();
    Form1->windowHandle()->setScreen(screen);
    Form1->move(screen->geometry().topLeft() + QPoint(10, 10));
    Form1->showMaximized();
    QTRY_COMPARE(Form1->frameGeometry(), screen->availableGeometry());
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TProgramDir> dir_;

  private slots:
    void init() {
        dir_ = std::make_unique<TProgramDir>();
        StartWindows();
    }
    void cleanup() {
        DestroyWindows();
        dir_.reset();
    }

    void windowsExistWithTheirCaptions() {
        QVERIFY(Form2 && AboutBox && Form3);
        QCOMPARE(FromQ(Form1->windowTitle()),
                 "Автоматический ввод размеров на рольганг серии ВЕЛТА"_cp1251);
        QCOMPARE(FromQ(Form2->windowTitle()), "Информация о подключении"_cp1251);
        QCOMPARE(FromQ(AboutBox->windowTitle()), "О программе"_cp1251);
        QCOMPARE(FromQ(Form3->windowTitle()), "Настройки"_cp1251);
        QVERIFY(Form1->isMaximized());
    }

    void menuCommandsInOrder() {
        const QList<QAction*> actions = Form1->menuBar()->actions();
        const std::string captions[] = {
            "Открыть файл"_cp1251, "Списки"_cp1251,    "Остатки"_cp1251,    "Столбцы…"_cp1251,
            "Раскрой"_cp1251,      "Настройки"_cp1251, "Информация"_cp1251, "О программе"_cp1251};
        QCOMPARE(actions.size(), int(std::size(captions)));
        for (int i = 0; i < actions.size(); ++i) QCOMPARE(FromQ(actions[i]->text()), captions[i]);
        QCOMPARE(TForm1::OpenDialogFilter(),
                 "Списки|*.txt *.csv *.xlsx *.ods|Текстовый файл с разделителями|*.txt"_cp1251);
    }

    void initialStateOfTheControls() {
        QVERIFY(Form1->Label3->text().isEmpty());
        QVERIFY(Form1->Edit1->isReadOnly());
        // Once the handshake has shown its starting values, Start and Back are visible and
        // stay disabled: no list is loaded.
        QTRY_VERIFY(Form1->BitBtn1->isVisible() && Form1->BitBtn2->isVisible());
        QVERIFY(!Form1->BitBtn1->isEnabled() && !Form1->BitBtn2->isEnabled());
        QCOMPARE(FromQ(Form1->BitBtn1->text()), "Старт"_cp1251);
        QCOMPARE(FromQ(Form1->BitBtn2->text()), "Назад"_cp1251);
        QVERIFY(!Form1->StringGrid1->isVisible());
        QVERIFY(Form1->Panel3->isVisible());
        QCOMPARE(Form1->Panel3->width(), 97);
        for (int n = 3; n <= 14; ++n) {
            QVERIFY(!Form1->Key(n)->isVisible());
            QCOMPARE(Form1->Key(n)->objectName(), QStringLiteral("BitBtn%1").arg(n));
        }
        QCOMPARE(Form1->Key(6)->text(), QStringLiteral("0"));
        QCOMPARE(Form1->Key(10)->text(), QStringLiteral("*"));
        QCOMPARE(Form1->Key(14)->text(), QStringLiteral("#"));
        QCOMPARE(Form1->Label1->text(), QStringLiteral("Label1"));
        // No device port is set: the link indicator says so, and the status line has no event to
        // tell of.
        QCOMPARE(FromQ(Form1->Fields().LinkIndicator->text()),
                 "Нет связи с устройством: порт устройства не задан в настройках"_cp1251);
        QVERIFY2(!Form1->StatusLine->isVisible(), Cp1251ToUtf8(Form1->StatusText()).c_str());
        // Edit1 on the left, Start between, Back on the right.
        QLayout* row = Form1->Panel1->layout();
        QCOMPARE(row->indexOf(Form1->Edit1), 0);
        QCOMPARE(row->indexOf(Form1->BitBtn1), 1);
        QCOMPARE(row->indexOf(Form1->BitBtn2), 2);
    }

    // The control-text rule: the handler runs inside the assignment, and only on a change.
    void controlTextRaisesChangeOnlyOnRealChange_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("notifications");
        QTest::newRow("same text") << "1234,5"
                                   << "1234,5" << 0;
        QTest::newRow("new text") << "1234,5"
                                  << "1234,6" << 1;
        QTest::newRow("to empty") << "1234,5"
                                  << "" << 1;
        QTest::newRow("empty to empty") << ""
                                        << "" << 0;
        QTest::newRow("cyrillic") << QString::fromUtf8("Ошибка") << QString::fromUtf8("Ошибка!")
                                  << 1;
    }
    void controlTextRaisesChangeOnlyOnRealChange() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(int, notifications);
        SetControlText(Form1->Edit1, FromQ(before));
        int seen = 0;
        std::string textInsideHandler;
        auto connection = QObject::connect(Form1->Edit1, &QLineEdit::textChanged, [&] {
            ++seen;
            textInsideHandler = ControlText(Form1->Edit1);
        });
        const bool changed = SetControlText(Form1->Edit1, FromQ(after));
        QObject::disconnect(connection);
        QCOMPARE(seen, notifications);  // counted before the call returned
        QCOMPARE(changed, notifications == 1);
        if (notifications == 1) QCOMPARE(textInsideHandler, FromQ(after));
    }

    // A handler that raises reaches the installed handler; the program goes on.
    void exceptionFromAHandlerReachesTheApplicationHandler() {
        std::string caught;
        TApplication::Instance()->SetExceptionHandler([&](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                caught = e.what();
            }
        });
        QPushButton button(QStringLiteral("throw"));
        QObject::connect(&button, &QPushButton::clicked,
                         [] { throw std::runtime_error("handler failed"); });
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(caught, std::string("handler failed"));
        QTest::mouseClick(&button, Qt::LeftButton);  // and again: nothing was left broken
        QCOMPARE(caught, std::string("handler failed"));
    }

    void aFailingStepDoesNotStopTheLaterOnes() {
        std::string ran;
        int errors = 0;
        RunEachStep(
            {
                {"first", [&] { ran += "1"; }},
                {"fails", [&] { throw std::runtime_error("step"); }},
                {"third", [&] { ran += "3"; }},
                {"fails too", [&] { throw 42; }},
                {"last", [&] { ran += "5"; }},
            },
            [&](std::exception_ptr) { ++errors; });
        QCOMPARE(ran, std::string("135"));
        QCOMPARE(errors, 2);
    }

    void statusLineShowsNoticesAndFaults() {
        Form1->ShowStatus("Нет связи с устройством"_cp1251, true);
        QVERIFY(Form1->StatusLine->isVisible());
        QVERIFY(Form1->StatusIsFault());
        QCOMPARE(Form1->StatusText(), "Нет связи с устройством"_cp1251);
        QVERIFY(Form1->Label3->text().isEmpty());  // the info line keeps its role
        Form1->ShowStatus("", false);
        QVERIFY(!Form1->StatusLine->isVisible());
        QVERIFY(!Form1->StatusIsFault());
    }

    void informationWindowOpensModeless() {
        Form1->N3->trigger();
        QVERIFY(Form2->isVisible());
        QVERIFY(!Form2->isModal());
    }

    // A caption longer than the screen is cut short on the info line; the window keeps its
    // size and stays maximised, and Start, Back and the correction panel stay on screen.
    void aLongCaptionNeverWidensTheWindow_data() {
        QTest::addColumn<QSize>("screen");
        QTest::newRow("1280x800") << QSize(1280, 800);
        QTest::newRow("1920x1080") << QSize(1920, 1080);
    }
    void aLongCaptionNeverWidensTheWindow() {
        QFETCH(QSize, screen);
        QScreen* target = ScreenOfSize(screen);
        QVERIFY(target != nullptr);
        Form1->Settings.ShowCorrection = true;
        Form1->ShowPanels();
        MaximiseOn(target);
        const QRect before = Form1->geometry();
        const std::string caption = std::string(300, 'W');
        const auto list = dir_->Path() / "long.txt";
        std::ofstream(list) << "1000 " << caption << "\r\n1200 B\r\n";
        Form1->Link.MinSize = 0;
        Form1->Link.MaxSize = 5000;
        Form1->LoadList(list.string());
        Form1->BitBtn1->click();
        QCOMPARE(ControlText(Form1->Label3), caption);  // the whole caption is kept
        QTest::qWait(50);                               // the layout settles
        QCOMPARE(Form1->geometry(), before);
        QVERIFY(Form1->isMaximized());
        const QWidget* clipped = FirstClippedChild(Form1);
        QVERIFY2(clipped == nullptr, clipped ? qPrintable(clipped->objectName()) : "");
        QVERIFY(Form1->BitBtn1->isVisible() && Form1->BitBtn2->isVisible());
        QVERIFY(Form1->Panel2->isVisible());
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        QVERIFY(Form1->grab().save(QStringLiteral(TANDREL_SCREENS_DIR "/long-caption-%1x%2.png")
                                       .arg(screen.width())
                                       .arg(screen.height())));
        // A notice with a word longer than the screen wraps or is cut, never widens it.
        Form1->ShowStatus(std::string(300, 'N'), true);
        QTest::qWait(50);
        QCOMPARE(Form1->geometry(), before);
        std::string words;
        for (int i = 0; i < 40; ++i) words += "notice ";
        Form1->ShowStatus(words, true);
        QTest::qWait(50);
        QCOMPARE(Form1->geometry(), before);
        // Wrapped onto more lines, all of it on screen.
        QVERIFY(Form1->StatusLine->height() >= 2 * Form1->StatusLine->fontMetrics().height());
        QVERIFY(Form1->StatusLine->geometry().bottom() < Form1->centralWidget()->height());
        QVERIFY(Form1->grab().save(QStringLiteral(TANDREL_SCREENS_DIR "/long-notice-%1x%2.png")
                                       .arg(screen.width())
                                       .arg(screen.height())));
        Form1->ShowStatus("", false);
        // The next short caption: still the same window.
        Form1->BitBtn1->click();
        QCOMPARE(ControlText(Form1->Label3), std::string("B"));
        QTest::qWait(50);
        QCOMPARE(Form1->geometry(), before);
    }

    void restoredTheWindowStandsInTheMiddleOfTheScreen() {
        // Placed by the window itself: some platforms cascade a window left to them.
        QVERIFY(Form1->testAttribute(Qt::WA_Moved));
        QScreen* screen = Form1->screen();
        Form1->showNormal();
        QTRY_VERIFY(!Form1->isMaximized());
        const QPoint offset = Form1->geometry().center() - screen->availableGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
    }

    // The about window's panel: a lowered outer bevel around a raised inner one.
    void aboutPanelHasItsBevels() {
        QWidget* panel = AboutBox->Panel1;
        QCOMPARE(panel->geometry(), QRect(8, 8, 233, 137));
        const QImage image = panel->grab().toImage();
        const QPalette& colours = panel->palette();
        const QRgb dark = colours.dark().color().rgb();
        const QRgb light = colours.light().color().rgb();
        const int w = image.width();
        const int h = image.height();
        const struct {
            QPoint at;
            QRgb colour;
        } edges[] = {
            {{w / 2, 0}, dark},      {{0, h / 2}, dark},       // outer top and left: shadow
            {{w / 2, h - 1}, light}, {{w - 1, h / 2}, light},  // outer bottom, right: light
            {{w / 2, 1}, light},     {{1, h / 2}, light},      // inner top and left: light
            {{w / 2, h - 2}, dark},  {{w - 2, h / 2}, dark},   // inner bottom, right: shadow
        };
        for (const auto& edge : edges)
            QVERIFY2(image.pixel(edge.at) == edge.colour,
                     qPrintable(QStringLiteral("%1,%2").arg(edge.at.x()).arg(edge.at.y())));
        AboutBox->show();
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        QVERIFY(AboutBox->grab().save(QStringLiteral(TANDREL_SCREENS_DIR "/about.png")));
        AboutBox->hide();
    }

    // The end of the session while a box or dialog waits: each gets its Escape answer, the
    // other windows close, the main window closes as usual and writes the settings.
    void sessionEndAnswersTheOpenBox_data() {
        QTest::addColumn<QString>("box");
        QTest::newRow("restart question") << "restart";
        QTest::newRow("message") << "message";
        QTest::newRow("open dialog") << "open";
        QTest::newRow("settings window") << "settings";
        QTest::newRow("about window") << "about";
    }
    void sessionEndAnswersTheOpenBox() {
        QFETCH(QString, box);
        const auto list = dir_->Path() / "done.txt";
        std::ofstream(list) << "1000 A\r\n1200 B\r\n";
        Form1->Link.MinSize = 0;
        Form1->Link.MaxSize = 5000;
        if (box == QLatin1String("restart")) {
            Form1->LoadList(list.string());
            Form1->BitBtn1->click();
            Form1->BitBtn1->click();  // every row done: the next load asks
        }
        Form1->N3->trigger();
        QVERIFY(Form2->isVisible());
        QVERIFY(!QFile::exists(QString::fromStdString((dir_->Path() / "nastr.dat").string())));
        QString seen;
        QTimer::singleShot(300, [&] {
            if (QWidget* modal = QApplication::activeModalWidget())
                seen = QString::fromLatin1(modal->metaObject()->className());
            EndSession(Form1);
        });
        if (box == QLatin1String("restart")) {
            Form1->LoadList(list.string());
            QCOMPARE(seen, QStringLiteral("QMessageBox"));
            QCOMPARE(Form1->Job.RemainingCount, 0);  // Escape answers No
        } else if (box == QLatin1String("message")) {
            QMessageBox::information(Form1, Form1->windowTitle(), QStringLiteral("CRC"));
            QCOMPARE(seen, QStringLiteral("QMessageBox"));
        } else if (box == QLatin1String("open")) {
            Form1->N2Click();
            QCOMPARE(seen, QStringLiteral("QFileDialog"));
            QCOMPARE(Form1->Job.RowCount, 0);  // cancelled: nothing loaded
        } else if (box == QLatin1String("settings")) {
            Form1->N4Click();
            QVERIFY(seen.endsWith(QStringLiteral("TForm3")));
        } else {
            Form1->J1Click();
            QVERIFY(seen.endsWith(QStringLiteral("TAboutBox")));
        }
        QTRY_VERIFY(!Form1->isVisible());
        QVERIFY(!Form2->isVisible());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(dir_->Read("nastr.dat").find("a=207\r\n") != std::string::npos);
    }

    void aboutWindowAsLaidOut() {
        QCOMPARE(AboutBox->size(), QSize(254, 191));
        QCOMPARE(AboutBox->ProductName->text(), QStringLiteral("Tandrel 32bit"));
        QCOMPARE(FromQ(AboutBox->Version->text()), "Версия 2.0"_cp1251);
        QVERIFY(AboutBox->OKButton->isDefault());
        QTimer::singleShot(0, [] { AboutBox->OKButton->click(); });
        Form1->J1->trigger();  // modal: returns once OK has closed it
        QCOMPARE(AboutBox->result(), int(QDialog::Accepted));
    }
};

int main(int argc, char** argv) {
    // Two screens, the operator's 1280 x 800 and a 1920 x 1080 beside it. The file is named
    // relative to the working folder: the platform's arguments are split at colons, and so
    // would be a Windows drive letter.
    const QString config =
        QStringLiteral("tandrel-screens-%1.json").arg(QCoreApplication::applicationPid());
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write(R"({"windowFrameMargins": false, "screens": [
        {"name": "operator", "x": 0, "y": 0, "width": 1280, "height": 800, "logicalDpi": 96},
        {"name": "wide", "x": 1280, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    MainWindowTest test;
    const int result = QTest::qExec(&test, argc, argv);
    QFile::remove(config);
    return result;
}

#include "main_window_test.moc"
