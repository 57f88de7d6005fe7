// The job through the real main window: a list worked half-way resumes after a restart.

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <cerrno>
#include <fstream>
#include <iterator>

#include "base/cp1251.h"
#include "console/Unit1_operator.h"
#include "console/Unit2.h"
#include "console/application.h"
#include "console/column_map_dialog.h"
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
int FailProgressWrites(FileStep step, const std::filesystem::path& path) {
    return step == FileStep::Write && path.extension() == ".crc" ? EIO : 0;
}

std::string HeaderName() {
    return FromQ(Form1->RowsModel()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString());
}

// The windows with a device whose limits take every size of the tests.
void StartWithList(const std::filesystem::path& list) {
    StartWindows();
    WaitForStartingValues();
    Form1->Link.MinSize = 0;
    Form1->Link.MaxSize = 5000;
    if (!list.empty()) Form1->LoadList(list.string());
}
}  // namespace

class JobWindowTest : public QObject {
    Q_OBJECT

  private slots:
    // F2 and "Печать этикетки" on rows that cannot print again say why, a printer that fails
    // says how to try again, and no reprint counts as a piece.
    void aReprintThatPrintsNothingSaysWhy() {
        TProgramDir dir;
        const auto list = dir.Path() / "plan.txt";
        std::ofstream(list) << "1000 A\r\n1100 B\r\n";
        StartWithList(list);
        Form1->BitBtn1->click();
#ifdef _WIN32
        const std::string missing = "COM250";
#else
        const std::string missing = "/dev/tandrel-no-such-port";
#endif
        const struct {
            bool printing;
            int row;
            const char* status;  // UTF-8, from its start
        } cases[] = {
            {false, 1, "Этикетка не напечатана: печать этикеток выключена"},
            {true, 2, "Этикетка не напечатана: строка 2 ещё не выполнена"},
            {true, 1, "Этикетка строки 1 не напечатана: "},
        };
        for (const auto& c : cases) {
            Form1->Settings.PrintLabels = c.printing;
            LabelPortName = missing;
            Form1->StringGrid1->selectRow(c.row - 1);
            Form1->StringGrid1->setCurrentIndex(Form1->RowsModel()->index(c.row - 1, 0));
            for (const bool key : {true, false}) {
                Form1->ShowStatus("", false);
                if (key)
                    QTest::keyClick(Form1->StringGrid1, Qt::Key_F2);
                else
                    Form1->Fields().Reprint->click();
                QTRY_VERIFY(!Form1->LabelsPending());  // its outcome, when it was handed over
                const std::string status = Cp1251ToUtf8(Form1->StatusText());
                QVERIFY2(status.rfind(c.status, 0) == 0, status.c_str());
            }
        }
        const std::string status = Form1->StatusText();
        QVERIFY(status.ends_with(". Повторить: F2"_cp1251));
        QCOMPARE(Form1->Job.CurrentRow, 1);
        QCOMPARE(Form1->Job.RemainingCount, 1);
        QVERIFY(!Form1->Job.Rows[2].Done);
        QCOMPARE(Form1->Journal()->Counts().Today, 1);
    }

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

    // A fault of the last row's step stays on screen, first, with the finished notice.
    void aStepsFaultStaysWithTheFinishedNotice_data() {
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QString>("fault");
        QTest::newRow("progress") << false
                                  << QStringLiteral("Строка 2 не записана в файл хода работы");
        QTest::newRow("journal") << true << QStringLiteral("Журнал не записан");
    }
    void aStepsFaultStaysWithTheFinishedNotice() {
        QFETCH(bool, journal);
        QFETCH(QString, fault);
        TProgramDir dir;
        const auto list = dir.Path() / "plan.txt";
        std::ofstream(list) << "1000 A\r\n1100 B\r\n";
        StartWithList(list);
        Form1->BitBtn1->click();
        const FileStepHook previous =
            SetFileStepHook(journal ? &FailJournalWrites : &FailProgressWrites);
        Form1->BitBtn1->click();
        SetFileStepHook(previous);
        const QString status = ToQ(Form1->StatusText());
        QVERIFY2(status.startsWith(fault), qPrintable(status));
        QVERIFY2(status.endsWith(QStringLiteral(". Список выполнен: 2 из 2")), qPrintable(status));
        QVERIFY(Form1->StatusIsFault());
    }

    // A single click only selects; a double-click of the mouse works the row.
    void theGridWorksARowOnADoubleClick() {
        TProgramDir dir;
        const auto list = dir.Path() / "plan.txt";
        std::ofstream(list) << "1000 A\r\n1100 B\r\n1200 C\r\n";
        StartWithList(list);
        Form1->BitBtn1->click();
        QTableView* grid = Form1->StringGrid1;
        const QPoint third = grid->visualRect(Form1->RowsModel()->index(2, 1)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, third);
        QCOMPARE(Form1->Job.CurrentRow, 1);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, third);
        QCOMPARE(Form1->Job.CurrentRow, 3);
        QCOMPARE(ControlText(Form1->Edit1), std::string("1200"));
    }

    // "Открыть файл": the dialog offers the list filter in the folder of lists; the chosen file
    // is loaded by its full name, its folder becomes the current one and the folder of lists.
    void theOpenCommandLoadsTheChosenFile() {
        TProgramDir dir;
        const auto folder = dir.Path() / std::filesystem::path(u8"Списки");
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "plan.txt") << "1000 A\r\n1100 B\r\n";
        StartWithList({});
        const std::string listsBefore = DataDir;
        const QString chosen = QString::fromStdU16String((folder / "plan.txt").u16string());
        TSeenDialog seen;
        ChooseInNextOpenDialog(chosen, seen);
        Form1->N2Click();
        QCOMPARE(seen.filters,
                 (QStringList{QStringLiteral("Списки (*.txt *.csv *.xlsx *.ods)"),
                              QStringLiteral("Текстовый файл с разделителями (*.txt)")}));
        QCOMPARE(QDir(seen.directory), QDir(ToQ(listsBefore)));
        QTRY_COMPARE(Form1->Job.RowCount, 2);
        QCOMPARE(QDir::current(), QDir(QString::fromStdU16String(folder.u16string())));
        const std::string name = HeaderName();
        QCOMPARE(std::filesystem::path(Cp1251ToPath(name)), folder / "plan.txt");
        const char separator = std::filesystem::path::preferred_separator == L'\\' ? '\\' : '/';
        // The system's separators only, in the header and in the folder of lists.
        for (const std::string& path : {name, DataDir}) {
            QVERIFY2(path.find(separator == '/' ? '\\' : '/') == std::string::npos, path.c_str());
        }
        QCOMPARE(DataDir.back(), separator);
        QVERIFY(dir.Read("nastr.dat").find("d=" + DataDir + "\r\n") != std::string::npos);
    }

    // A CSV as Excel saves it: each piece a row of its own, counted in "Записей".
    void aSpreadsheetListShowsItsPieces() {
        TProgramDir dir;
        dir.Write("order.csv", Utf8ToCp1251("Размер;Кол-во;Наименование\r\n2450;2;Стойка\r\n"));
        StartWithList(dir.Path() / "order.csv");
        QCOMPARE(Form1->RowsModel()->rowCount(), 2);
        QCOMPARE(
            Form1->RowsModel()->data(Form1->RowsModel()->index(1, 1), Qt::DisplayRole).toString(),
            QStringLiteral("Стойка (2/2)"));
        QCOMPARE(Form2->LabeledEdit9()->text(), QStringLiteral("2"));
        Form1->BitBtn1->click();
        QCOMPARE(ControlText(Form1->Label3), "Стойка"_cp1251);
    }

    // Files as offices save them: the status line says which sheet was read and how many rows
    // above the header were skipped, or why the file is refused; a header that names no size
    // column offers the first 50 of its columns that hold something.
    void officeFilesSayHowTheyWereRead() {
        TProgramDir dir;
        StartWithList({});
        const struct {
            const char* file;
            int rows;
            const char* status;
        } cases[] = {
            {"hidden-first.xlsx", 3, "прочитан лист «Заказ»"},
            {"title-sep.csv", 2, "строк над заголовком пропущено: 2"},
            {"lo-order.ods", 6, ""},
            {"lo-order.xls", 6,
             "Файл lo-order.xls не загружен: старая книга Excel (.xls): сохраните её как .xlsx"},
        };
        for (const auto& c : cases) {
            std::ifstream in(std::string(TANDREL_JOB_FIXTURES "/office/") + c.file,
                             std::ios::binary);
            dir.Write(c.file, std::string(std::istreambuf_iterator<char>(in), {}));
            Form1->LoadList((dir.Path() / c.file).string());
            QCOMPARE(Form1->Job.RowCount, c.rows);
            QCOMPARE(Cp1251ToUtf8(Form1->StatusText()), std::string(c.status));
        }
        std::string wide, row;
        for (int i = 0; i < 80; ++i) {
            wide += "Поле " + std::to_string(i) + ";";
            row += std::to_string(i) + ";";
        }
        dir.Write("wide.csv", Utf8ToCp1251(wide + "\r\n" + row + "\r\n"));
        qsizetype offered = -1;
        QTimer::singleShot(50, [&offered] {
            auto* dialog = qobject_cast<TColumnMapDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            offered = static_cast<qsizetype>(dialog->Choices.size());
            dialog->CancelButton->click();
        });
        Form1->LoadList((dir.Path() / "wide.csv").string());
        QCOMPARE(offered, qsizetype(50));
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
