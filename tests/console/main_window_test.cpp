// The main window and its siblings, created as the program creates them, driven offscreen.

#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>
#include <stdexcept>

#include "base/cp1251.h"
#include "console/Unit1.h"
#include "console/Unit2.h"
#include "console/about.h"
#include "console/application.h"
#include "console/nastr.h"
#include "console/qt_text.h"
#include "console/steps.h"
#include "console/windows.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

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

    void menuHasFourCommandsInOrder() {
        const QList<QAction*> actions = Form1->menuBar()->actions();
        QCOMPARE(actions.size(), 4);
        const std::string captions[] = {"Открыть файл"_cp1251, "Настройки"_cp1251,
                                        "Информация"_cp1251, "О программе"_cp1251};
        for (int i = 0; i < 4; ++i) QCOMPARE(FromQ(actions[i]->text()), captions[i]);
        QCOMPARE(TForm1::OpenDialogFilter(), "Текстовый файл с разделителями|*.txt"_cp1251);
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
        // No device port is set: the status line says there is no link, as a fault.
        QVERIFY(Form1->StatusLine->isVisible());
        QVERIFY(Form1->StatusIsFault());
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
    TApplication app(argc, argv);
    LoadProgramFonts();
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
