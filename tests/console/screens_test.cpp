// Renders every window offscreen to PNG files in the build folder, to be looked at after ctest.

#include <QDir>
#include <QLabel>
#include <QTableWidget>
#include <QtTest>

#include "base/cp1251.h"
#include "console/Unit1.h"
#include "console/Unit2.h"
#include "console/about.h"
#include "console/application.h"
#include "console/column_map_dialog.h"
#include "console/lists_screen.h"
#include "console/nastr.h"
#include "console/qt_text.h"
#include "console/remnants_screen.h"
#include "console/windows.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
void Save(QWidget* window, const QString& name) {
    QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
    const QString path = QStringLiteral(TANDREL_SCREENS_DIR "/") + name + QStringLiteral(".png");
    QVERIFY2(window->grab().save(path), qPrintable(path));
}

// No child of the window may end outside it: nothing clipped at the operator's screen size.
void CheckNothingClipped(QWidget* window) {
    const QWidget* clipped = FirstClippedChild(window);
    QVERIFY2(clipped == nullptr, clipped ? qPrintable(clipped->objectName()) : "");
}
}  // namespace

class ScreensTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TProgramDir> dir_;

  private slots:
    void initTestCase() {
        dir_ = std::make_unique<TProgramDir>();
        CreateWindows();
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
    }
    void cleanupTestCase() {
        DestroyWindows();
        dir_.reset();
    }

    void mainWindow_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1280x800") << QSize(1280, 800);
        QTest::newRow("1920x1080") << QSize(1920, 1080);
    }
    void mainWindow() {
        QFETCH(QSize, size);
        Form1->resize(size);
        SetControlText(Form1->Edit1, "1234,5"_cp1251);
        Form1->ShowStatus("Порт устройства COM3 не открыт: Порт занят другой программой"_cp1251,
                          true);
        QCoreApplication::processEvents();
        CheckNothingClipped(Form1);
        Save(Form1, QStringLiteral("main-%1x%2").arg(size.width()).arg(size.height()));
        Form1->ShowStatus("", false);
    }

    // A plan in work shows "Хлыст с дефектом" beside Start and Back.
    void mainWindowByPlan_data() { mainWindow_data(); }
    void mainWindowByPlan() {
        QFETCH(QSize, size);
        dir_->Write("plan.txt", "2900\r\n2000\r\n2900\r\n2000\r\n");
        Form1->LoadList((dir_->Path() / "plan.txt").string());
        QTRY_COMPARE(Form1->Job.RowCount, 4);
        plan::TProblem problem;
        problem.Stock = {{60000, plan::kUnlimited, ""}};
        for (std::int32_t row = 1; row <= 4; ++row)
            problem.Pieces.push_back({row, plan::ToTenths(Form1->Job.Rows[row].Size), ""});
        Form1->WorkByPlan(problem, plan::MakePlan(problem));
        Form1->BitBtn1Click();
        Form1->resize(size);
        QCoreApplication::processEvents();
        QVERIFY(Form1->BitBtn3->isVisible());
        CheckNothingClipped(Form1);
        QVERIFY(Form1->BitBtn1->width() >= Form1->BitBtn1->sizeHint().width());
        Save(Form1, QStringLiteral("main-plan-%1x%2").arg(size.width()).arg(size.height()));
    }

    void listsScreen_data() { mainWindow_data(); }
    void listsScreen() {
        QFETCH(QSize, size);
        const auto in = dir_->Path() / "incoming";
        std::filesystem::create_directories(in);
        dir_->Write("incoming/1502.txt", "1000 A\r\n1200 B\r\n");
        dir_->Write("incoming/order 77.csv", "Размер;Кол-во\r\n2450;4\r\n"_cp1251);
        dir_->Write("incoming/broken.txt", "x\r\n");
        Form1->SetIncomingDir(in);
        Form1->resize(size);
        Form1->ListsClick();
        QTRY_COMPARE(Form1->ListsScreen()->RowCount(), 3);
        QCoreApplication::processEvents();
        CheckNothingClipped(Form1->ListsScreen());
        Save(Form1->ListsScreen(),
             QStringLiteral("lists-%1x%2").arg(size.width()).arg(size.height()));
        Form1->ListsScreen()->reject();
    }

    void remnantsScreen_data() { mainWindow_data(); }
    void remnantsScreen() {
        QFETCH(QSize, size);
        dir_->Write("ostatki.dat",
                    "R000118;2100;AL 40x40;01.12.2026;1502.txt\r\n"
                    "R000121;980.5;;05.12.2026;order 77.csv\r\n"
                    "R000122;1240;Сталь;10.12.2026;Заказ 1503 (второй этаж).xlsx\r\n"_cp1251);
        Form1->resize(size);
        Form1->RemnantsClick();
        QCOMPARE(Form1->RemnantsScreen()->RowCount(), 3);
        Form1->RemnantsScreen()->Select("R000121");
        QCoreApplication::processEvents();
        CheckNothingClipped(Form1->RemnantsScreen());
        Save(Form1->RemnantsScreen(),
             QStringLiteral("remnants-%1x%2").arg(size.width()).arg(size.height()));
        Form1->RemnantsScreen()->reject();
    }

    void columnMapDialog_data() { mainWindow_data(); }
    void columnMapDialog() {
        QFETCH(QSize, size);
        using R = job::TColumnRole;
        TColumnMapDialog dialog("order 77.csv",
                                {"Деталь"_cp1251, "L"_cp1251, "Штук"_cp1251, "Кромка"_cp1251, ""},
                                {R::Caption, R::Size, R::Quantity, R::E1, R::Unused}, Form1);
        dialog.resize(size * 9 / 10);
        dialog.show();
        QCoreApplication::processEvents();
        CheckNothingClipped(&dialog);
        Save(&dialog, QStringLiteral("column-map-%1x%2").arg(size.width()).arg(size.height()));
    }

    void secondaryWindows() {
        Form2->show();
        Save(Form2, QStringLiteral("information"));
        Form2->hide();
        Form3->show();
        Save(Form3, QStringLiteral("settings"));
        Form3->hide();
        AboutBox->show();
        Save(AboutBox, QStringLiteral("about"));
        AboutBox->hide();
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    ScreensTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "screens_test.moc"
