// The job through the real main window: a list worked half-way resumes after a restart.

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <cerrno>
#include <fstream>

#include "base/cp1251.h"
#include "console/application.h"
#include "console/qt_text.h"
#include "console/rows_model.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
int FailJournalWrites(FileStep step, const std::filesystem::path& path) {
    return step == FileStep::Write && path.filename().string().rfind("journal-", 0) == 0 ? EIO : 0;
}
}  // namespace

class JobWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void aListWorkedHalfWayResumesAfterARestart() {
        TProgramDir dir;
        const auto list = dir.Path() / "plan.txt";
        std::ofstream(list) << "1000 A\r\n1100 B\r\n1200 C\r\n1300 D\r\n";
        StartWindows();
        Form1->Link.MinSize = 0;
        Form1->Link.MaxSize = 5000;
        Form1->LoadList(list.string());
        QVERIFY(Form1->StringGrid1->isVisible());
        QCOMPARE(Form1->RowsModel()->rowCount(), 4);
        Form1->BitBtn1->click();
        Form1->BitBtn1->click();
        QCOMPARE(ControlText(Form1->Edit1), std::string("1100"));
        QCOMPARE(Form1->RowsModel()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("4/2"));
        CloseWindows();

        StartWindows();
        Form1->Link.MinSize = 0;
        Form1->Link.MaxSize = 5000;
        Form1->LoadList(list.string());
        QCOMPARE(Form1->Job.RemainingCount, 2);
        QCOMPARE(Form1->RowsModel()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("4/2"));
        // Done rows are painted yellow.
        const QVariant done =
            Form1->RowsModel()->data(Form1->RowsModel()->index(0, 0), Qt::BackgroundRole);
        QCOMPARE(done.value<QBrush>().color(), QColor(255, 255, 0));
        Form1->BitBtn1->click();
        QCOMPARE(Form1->Job.CurrentRow, 3);  // the first row not done
        QCOMPARE(ControlText(Form1->Edit1), std::string("1200"));
    }

    void aJournalThatCannotBeWrittenIsSaidOnceAndTheWorkGoesOn() {
        TProgramDir dir;
        const auto list = dir.Path() / "plan.txt";
        std::ofstream(list) << "1000 A\r\n1100 B\r\n1200 C\r\n";
        StartWindows();
        Form1->Link.MinSize = 0;
        Form1->Link.MaxSize = 5000;
        Form1->LoadList(list.string());
        const FileStepHook previous = SetFileStepHook(&FailJournalWrites);
        Form1->BitBtn1->click();
        const std::string notice = Form1->StatusText();
        QVERIFY(Form1->StatusIsFault());
        QVERIFY(notice.rfind("Журнал не записан"_cp1251, 0) == 0);
        Form1->ShowStatus("", false);
        Form1->BitBtn1->click();
        SetFileStepHook(previous);
        QVERIFY(Form1->StatusText().empty());  // said once
        QCOMPARE(Form1->Job.CurrentRow, 2);
        QCOMPARE(Form1->Job.RemainingCount, 1);
        Form1->BitBtn1->click();
        // The list is finished and says so; the journal has nothing more to say.
        QVERIFY(Form1->StatusText().rfind("Журнал не записан"_cp1251, 0) == std::string::npos);
        // Only the line written once the journal worked again.
        int lines = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            if (entry.path().filename().string().rfind("journal-", 0) != 0) continue;
            const std::string text = dir.Read(entry.path().filename().string());
            for (char c : text) lines += c == '\n';
        }
        QCOMPARE(lines, 2);  // the header and row 3
    }

    void aRejectedListKeepsThePreviousOneAndSaysWhy() {
        TProgramDir dir;
        const auto good = dir.Path() / "good.txt";
        const auto bad = dir.Path() / "bad.txt";
        std::ofstream(good) << "1000 A\r\n1100 B\r\n";
        std::ofstream(bad) << "1000 A\r\n1..5 B\r\n";
        StartWindows();
        Form1->Link.MinSize = 0;
        Form1->Link.MaxSize = 5000;
        Form1->LoadList(good.string());
        Form1->BitBtn1->click();
        QCOMPARE(ControlText(Form1->Label3), std::string("A"));
        Form1->LoadList(bad.string());
        QVERIFY(ControlText(Form1->Label3).empty());  // every load empties the info line
        QCOMPARE(Form1->Job.RowCount, 2);
        QCOMPARE(Form1->RowsModel()->rowCount(), 2);
        QVERIFY(Form1->StatusIsFault());
        QVERIFY(Form1->StatusText().find('2') != std::string::npos);  // the line number
        QDir().mkpath(QStringLiteral(TANDREL_SCREENS_DIR));
        QVERIFY(Form1->grab().save(QStringLiteral(TANDREL_SCREENS_DIR "/list.png")));
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    JobWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "job_window_test.moc"
