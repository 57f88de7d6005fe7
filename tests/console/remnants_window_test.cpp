// Remnants through the real main window, offscreen: a kept leftover's label read on the far end
// of a pseudo-terminal, its journal lines and the store; the "Остатки" screen opened by the menu
// and by a scanned label, a remnant removed by touch.

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "console/application.h"
#include "console/nastr_file.h"
#include "console/qt_text.h"
#include "console/remnants_screen.h"
#include "labels/label.h"
#include "serial/pty_peer.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {

std::int64_t clockMs = 0;

// A wedge scanner's keys, 5 ms apart, ended by Enter.
void Scan(QWidget* to, const QString& code) {
    for (const QChar c : code + QLatin1Char('\n')) {
        const bool enter = c == QLatin1Char('\n');
        const int key = enter ? int(Qt::Key_Return) : int(c.toUpper().unicode());
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, Qt::NoModifier, enter ? QStringLiteral("\r") : QString(c));
            QApplication::sendEvent(to, &event);
        }
        clockMs += 5;
    }
    clockMs += 1000;
}

std::string JournalTail(const TProgramDir& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        if (entry.path().extension() == ".csv")
            return Cp1251ToUtf8(ReadWholeFile(entry.path()).value_or(""));
    return {};
}

}  // namespace

class RemnantsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void aKeptLeftoverIsLabelledJournalledAndStored() {
        TProgramDir dir;
        serial::testing::TPty printer;
        TSettings settings = DefaultSettings(dir.Path());
        settings.LabelPortName = printer.Path();
        settings.PrintLabels = true;
        WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
        const auto list = dir.Path() / "1502.txt";
        std::ofstream(list, std::ios::binary) << "1000 A\r\n";
        StartWindows();
        Form1->JournalClock = [] { return job::TLocalTime{2026, 12, 10, 9, 0, 0}; };
        Form1->OpenJournal();
        Form1->LoadList(list.string());
        QCOMPARE(dir.Read("ostatok.eti"), std::string(labels::kDefaultRemnantTemplate));

        const auto kept = Form1->KeepRemnant(12400, "AL");
        QVERIFY(kept);
        QCOMPARE(kept->Id, std::string("R000001"));
        const std::string label =
            "^XA^PW360^FO10,10^ASN,60,50^FD1240^FS^FO10,80^BY2^BCN,70,Y,N,N^FDR000001^FS"
            "^FO10,190^ASN,28,24^FD1502.txt^FS^FO10,225^ASN,28,24^FD10.12.2026^FS^XZ";
        QCOMPARE(printer.Read(label.size()), label);
        QTRY_VERIFY(!Form1->LabelsPending());
        Form1->JournalLeftover(3205, job::TLeftover::Waste);
        QCOMPARE(dir.Read("ostatki.dat"), std::string("R000001;1240;AL;10.12.2026;1502.txt\r\n"));

        const std::string journal = JournalTail(dir);
        const std::string waste = std::string("320") + DecimalSeparator() + "5";
        for (const std::string& line :
             {std::string(";;1240;;1240;да;нет;остаток R000001: в очереди\r\n"),
              std::string(";;1240;;1240;да;нет;остаток R000001: итог: напечатана\r\n"),
              ";;" + waste + ";;" + waste + ";да;нет;отход\r\n"})
            QVERIFY2(journal.find(line) != std::string::npos, journal.c_str());
        QCOMPARE(Form1->Journal()->Counts().Today, 0);  // a leftover is no piece
    }

    void theScreenListsFindsByScanAndRemoves() {
        TProgramDir dir;
        dir.Write("ostatki.dat",
                  "R000007;2100;AL;01.12.2026;a.txt\r\n"
                  "R000009;980.5;;05.12.2026;b.txt\r\n");
        StartWindows();
        Form1->SetScanClock([] { return clockMs; });

        Form1->N8->trigger();
        TRemnantsScreen* screen = Form1->RemnantsScreen();
        QVERIFY(screen && screen->isVisible());
        QCOMPARE(screen->RowCount(), 2);
        QCOMPARE(screen->CellText(0, 0), std::string("R000009"));  // newest first
        QCOMPARE(screen->CellText(1, 1), std::string("2100"));
        Scan(screen, QStringLiteral("R000007"));
        QTRY_COMPARE(screen->SelectedId(), std::string("R000007"));
        Scan(screen, QStringLiteral("R123456"));
        QTRY_VERIFY(screen->Notice->isVisible());
        QCOMPARE(ControlText(screen->Notice), "Остаток R123456 не найден"_cp1251);
        screen->CloseButton->click();
        QVERIFY(!screen->isVisible());

        // Elsewhere a remnant's code opens the screen on it rather than a list.
        Scan(Form1, QStringLiteral("R000009"));
        QTRY_VERIFY(screen->isVisible());
        QCOMPARE(screen->SelectedId(), std::string("R000009"));
        QVERIFY(!screen->Notice->isVisible());
        const QRect row = screen->Table->visualRect(screen->Table->model()->index(1, 0));
        QTest::mouseClick(screen->Table->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(screen->SelectedId(), std::string("R000007"));
        screen->RemoveButton->click();
        QCOMPARE(screen->RowCount(), 1);
        QCOMPARE(dir.Read("ostatki.dat"), std::string("R000009;980.5;;05.12.2026;b.txt\r\n"));
        QCOMPARE(Form1->Job.RowCount, 0);
        screen->CloseButton->click();

        // A store that cannot be written: said and journalled, never passed over.
        std::filesystem::remove(dir.Path() / "ostatki.dat");
        std::filesystem::create_directory(dir.Path() / "ostatki.dat");
        QVERIFY(!Form1->KeepRemnant(7000, ""));
        QVERIFY(Form1->StatusText().starts_with("Остаток не записан в ostatki.dat: "_cp1251));
        QVERIFY(JournalTail(dir).find("остаток: не записан в ostatki.dat: ") != std::string::npos);
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    RemnantsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "remnants_window_test.moc"
