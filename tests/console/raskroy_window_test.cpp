// The "Раскрой" window through the real windows: its settings kept in raskroy.dat, a bad entry
// refused, the list in work planned and drawn, a long plan cancelled with its best plan shown.

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "base/cp1251.h"
#include "console/application.h"
#include "console/qt_text.h"
#include "console/raskroy.h"
#include "support/exact_triples.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {

constexpr int kWaitMs = 60000;

TRaskroyWindow* OpenRaskroy() {
    Form1->N7->trigger();
    TRaskroyWindow* window = Form1->Raskroy();
    if (window != nullptr) (void)QTest::qWaitForWindowExposed(window);
    return window;
}

void SetFields(TRaskroyWindow* w, const TCutFields& f) {
    SetControlText(w->StockEdit, f.Stock);
    SetControlText(w->KerfEdit, f.Kerf);
    SetControlText(w->HeadEdit, f.Head);
    SetControlText(w->RemnantEdit, f.Remnant);
    SetControlText(w->PiecesEdit, f.Pieces);
}

std::string Utf8(const std::string& cp1251) {
    return Cp1251ToUtf8(cp1251);
}

// A list of exact triples: a search that runs for seconds.
std::string ExactTriplesList(int bars) {
    std::string list;
    for (const int mm : tandrel::testing::ExactTripleSizes(bars))
        list += std::to_string(mm) + " x\r\n";
    return list;
}

}  // namespace

class RaskroyWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void settingsAreKeptAndABadEntryIsRefused() {
        TProgramDir dir;
        StartWindows();
        TRaskroyWindow* w = OpenRaskroy();
        QVERIFY(w != nullptr);
        QCOMPARE(FromQ(w->StockEdit->text()), std::string("6000"));  // the defaults, no file yet

        SetFields(w, {"6000x20,3000", "3,5", "10", "500", "4"});
        w->SaveButton->click();
        QCOMPARE(dir.Read("raskroy.dat"),
                 std::string("stock=6000x20,3000\r\nkerf=3.5\r\nhead=10\r\nremnant=500\r\n"
                             "pieces=4\r\n"));

        SetControlText(w->KerfEdit, "4");
        SetControlText(w->HeadEdit, "десять"_cp1251);
        w->SaveButton->click();
        QVERIFY2(Utf8(w->NoticeText()).find("Торцовка") != std::string::npos,
                 Utf8(w->NoticeText()).c_str());
        QVERIFY(dir.Read("raskroy.dat").find("kerf=3.5\r\n") != std::string::npos);

        // Reopened, the window shows what the file holds, not the refused entry.
        w->close();
        w = OpenRaskroy();
        QCOMPARE(FromQ(w->HeadEdit->text()), std::string("10"));
        QCOMPARE(FromQ(w->KerfEdit->text()), std::string("3.5"));

        w->PlanButton->click();  // no list in work
        QVERIFY2(Utf8(w->NoticeText()).starts_with("Нет списка в работе"),
                 Utf8(w->NoticeText()).c_str());
        QVERIFY(w->ShownPlan() == nullptr);
        QVERIFY(!w->WorkButton->isEnabled());
    }

    // Two stock lengths: the two 2900s share a 6000 bar, the 2000 takes a 2500 one.
    void planIsDrawnWithItsTotalsAndProof() {
        TProgramDir dir;
        dir.Write("raskroy.dat", "stock=6000,2500\r\nkerf=4\r\nhead=10\r\nremnant=500\r\n");
        dir.Write("small.txt", "2900 Стойка\r\n2000 Ригель\r\n2900 Стойка\r\n"_cp1251);
        StartWindows();
        Form1->LoadList((dir.Path() / "small.txt").string());
        QCOMPARE(Form1->Job.RowCount, 3);
        TRaskroyWindow* w = OpenRaskroy();
        w->PlanButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->ShownPlan() != nullptr, kWaitMs);
        QCOMPARE(Utf8(w->TotalsText()),
                 std::string("Хлыстов: 2 · израсходовано 8500 мм · отходы 700 мм · выход 91,8 %"));
        QCOMPARE(Utf8(w->ProofText()), std::string("план оптимален"));
        QCOMPARE(w->Picture->Groups().size(), std::size_t(2));
        QVERIFY(!w->Progress->isVisible());
        // Handed to the main window, which works the list by it.
        QVERIFY(w->WorkButton->isEnabled());
        w->WorkButton->click();
        QVERIFY(!w->isVisible());
        QVERIFY2(Utf8(Form1->StatusText()).starts_with("Работа по плану: хлыстов 2"),
                 Utf8(Form1->StatusText()).c_str());
        // Another list in work: the plan shown is not its plan.
        dir.Write("other.txt", "2900 Стойка\r\n2100 Ригель\r\n2900 Стойка\r\n"_cp1251);
        Form1->LoadList((dir.Path() / "other.txt").string());
        w = OpenRaskroy();
        QVERIFY(w->ShownPlan() == nullptr);
        QVERIFY(!w->WorkButton->isEnabled());

        // A piece no stock length holds: the reason, and no plan.
        SetControlText(w->StockEdit, "2500");
        w->PlanButton->click();
        QVERIFY2(Utf8(w->NoticeText()).starts_with("План не рассчитан: "),
                 Utf8(w->NoticeText()).c_str());
        QVERIFY(w->ShownPlan() == nullptr);
    }

    void cancelShowsTheBestPlanWithItsBound() {
        TProgramDir dir;
        dir.Write("raskroy.dat", "stock=6000\r\nkerf=0\r\nhead=0\r\nremnant=0\r\n");
        dir.Write("long.txt", ExactTriplesList(300));
        StartWindows();
        Form1->LoadList((dir.Path() / "long.txt").string());
        TRaskroyWindow* w = OpenRaskroy();
        w->TimeLimit = std::chrono::minutes(10);
        w->PlanButton->click();
        QVERIFY(w->Planning());
        QTRY_VERIFY_WITH_TIMEOUT(w->CancelButton->isVisible(), kWaitMs);
        QVERIFY(w->Progress->isVisible());
        QVERIFY(w->ShownPlan() == nullptr);
        w->CancelButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->ShownPlan() != nullptr, kWaitMs);
        const plan::TPlan& shown = *w->ShownPlan();
        QVERIFY(shown.Stopped);
        QVERIFY(shown.Unplaced.empty());
        QVERIFY(!w->CancelButton->isVisible());
        QVERIFY2(Utf8(w->NoticeText()).starts_with("Расчёт прерван"),
                 Utf8(w->NoticeText()).c_str());
        QCOMPARE(Utf8(w->ProofText()), "не более " +
                                           Utf8(plan::FormatTenths(shown.NewStock - shown.Bound)) +
                                           " мм сверх нижней границы");
    }

    // The window with a plan as the operator sees it, at both screen sizes.
    void renders_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1280x800") << QSize(1280, 800);
        QTest::newRow("1920x1080") << QSize(1920, 1080);
    }
    void renders() {
        QFETCH(QSize, size);
        TProgramDir dir;
        dir.Write("raskroy.dat", "stock=6000,4000x10\r\nkerf=4\r\nhead=10\r\nremnant=500\r\n");
        const char* parts[] = {"2450 Стойка",    "1800 Ригель", "1200 Перемычка",
                               "900 Подоконник", "3100 Балка",  "600 Вставка"};
        std::string list;
        for (int n = 0; n < 36; ++n) list += Utf8ToCp1251(parts[n % 6]) + "\r\n";
        dir.Write("order.txt", list);
        StartWindows();
        Form1->resize(size);
        Form1->LoadList((dir.Path() / "order.txt").string());
        TRaskroyWindow* w = OpenRaskroy();
        w->resize(size);
        w->PlanButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->ShownPlan() != nullptr, kWaitMs);
        QCoreApplication::processEvents();
        const QWidget* clipped = FirstClippedChild(w);
        QVERIFY2(clipped == nullptr, clipped ? qPrintable(clipped->objectName()) : "");
        QVERIFY(w->minimumSizeHint().width() <= 1280 && w->minimumSizeHint().height() <= 800);
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        const QString path = QStringLiteral(TANDREL_SCREENS_DIR "/raskroy-%1x%2.png")
                                 .arg(size.width())
                                 .arg(size.height());
        QVERIFY2(w->grab().save(path), qPrintable(path));
        qInfo("render: %s", qPrintable(path));
    }
};

int main(int argc, char** argv) {
    TApplication app(ProgramArgc(), argv);
    LoadProgramFonts();
    RaskroyWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "raskroy_window_test.moc"
