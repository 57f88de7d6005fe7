// The incoming folder through the real windows: the "Списки" screen following the folder, and
// barcode scans that open a list without ever sending a move.

#include <QMessageBox>
#include <QTableWidget>
#include <QtTest>
#include <fstream>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "base/cp1251.h"
#include "console/application.h"
#include "console/column_map_dialog.h"
#include "console/incoming_poller.h"
#include "console/lists_screen.h"
#include "console/qt_text.h"
#include "job/crc32.h"
#include "job/progress.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;
namespace fs = std::filesystem;

namespace {

std::int64_t clockMs = 0;

void Write(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// Keys as a wedge scanner or a hand types them: gapMs on the gate's clock between keys, or
// (stamped) on the events' own timestamps while the clock stands still. "\n" is Enter.
void TypeKeys(QWidget* to, const QString& keys, int gapMs, bool stamped = false) {
    static quint64 stamp = 1000;
    for (const QChar c : keys) {
        const bool enter = c == QLatin1Char('\n');
        const int key = enter ? int(Qt::Key_Return) : int(c.toUpper().unicode());
        const QString text = enter ? QStringLiteral("\r") : QString(c);
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, Qt::NoModifier, text);
            if (stamped) event.setTimestamp(stamp);
            QApplication::sendEvent(to, &event);
        }
        if (stamped)
            stamp += static_cast<quint64>(gapMs);
        else
            clockMs += gapMs;
    }
}

// Windows refuses to rename or delete what the folder's look holds open at that moment: tried
// again for a while.
template <typename Op>
bool Done(Op op) {
    for (int attempt = 0; attempt < 250; ++attempt) {
        std::error_code ec;
        op(ec);
        if (!ec) return true;
        QTest::qWait(20);
    }
    return false;
}

std::string Status() {
    return Form1->StatusText();
}

}  // namespace

class ListsWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TProgramDir> dir_;
    fs::path in_;

  private slots:
    void init() {
        dir_ = std::make_unique<TProgramDir>();
        in_ = dir_->Path() / "incoming";
        fs::create_directories(in_);
        StartWindows();
        WaitForStartingValues();
        Form1->Link.MinSize = 200;
        Form1->Link.MaxSize = 3050;
        Form1->Link.Precision = 0;
        Form1->SetScanClock([] { return clockMs; });
        Form1->Incoming().SetInterval(50);
    }
    void cleanup() { dir_.reset(); }

    void theScreenFollowsTheFolder() {
        Write(in_ / "old.txt", "1000 A\r\n1200 B\r\n");
        fs::last_write_time(in_ / "old.txt",
                            fs::file_time_type::clock::now() - std::chrono::hours(1));
        Form1->SetIncomingDir(in_);
        Form1->ListsButton->click();
        TListsScreen* screen = Form1->ListsScreen();
        QVERIFY(screen->isVisible());
        QTRY_COMPARE(screen->Table->rowCount(), 1);
        QCOMPARE(screen->StateText(0), "новый"_cp1251);
        QVERIFY(screen->Table->rowHeight(0) >= 60);
        QVERIFY(screen->Table->font().pixelSize() >= 24);

        // A file that appears while it is still being written cannot be opened yet.
        QTimer growing;
        int lines = 0;
        connect(&growing, &QTimer::timeout, [&] {
            std::ofstream out(in_ / "new.txt", std::ios::binary | std::ios::app);
            if (out << "1500 C\r\n" << std::flush) ++lines;
        });
        growing.start(20);
        QTRY_COMPARE(screen->Table->rowCount(), 2);
        QTRY_COMPARE(screen->StateText(0), "записывается"_cp1251);
        screen->OpenRow(0);
        QVERIFY(screen->isVisible());
        QVERIFY(ControlText(screen->Notice).find("записывается"_cp1251) != std::string::npos);
        growing.stop();
        QTRY_COMPARE(screen->StateText(0), "новый"_cp1251);

        QVERIFY(Done([&](std::error_code& ec) { fs::remove(in_ / "old.txt", ec); }));
        QTRY_COMPARE(screen->Table->rowCount(), 1);

        // A folder that cannot be read is said; it comes back by itself.
        QVERIFY(Done([&](std::error_code& ec) { fs::rename(in_, dir_->Path() / "away", ec); }));
        QTRY_VERIFY(screen->Notice->isVisible() &&
                    ControlText(screen->Notice).find("недоступна"_cp1251) != std::string::npos);
        QCOMPARE(screen->Table->rowCount(), 0);
        QVERIFY(Done([&](std::error_code& ec) { fs::rename(dir_->Path() / "away", in_, ec); }));
        QTRY_COMPARE(screen->Table->rowCount(), 1);
        QTRY_VERIFY(!screen->Notice->isVisible());

        // A touch opens the list and closes the screen; its row is then marked as in work.
        QTest::mouseClick(screen->Table->viewport(), Qt::LeftButton, {},
                          screen->Table->visualItemRect(screen->Table->item(0, 0)).center());
        QVERIFY(!screen->isVisible());
        QCOMPARE(Form1->Job.RowCount, lines);
        QCOMPARE(Form1->Job.ListPath, in_ / "new.txt");
        // Read off the main thread, its CRC is still the file's: the progress file resumes.
        QCOMPARE(Form1->Job.ProgressCrc, tandrel::job::FileCrc32(in_ / "new.txt", "").Crc);
    }

    void scansOpenListsAndNeverMoveTheStop_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<bool>("stamped");
        QTest::addColumn<QString>("entry");  // the manual entry afterwards
        QTest::addColumn<int>("rows");       // the list loaded, 0 for none
        QTest::newRow("scanner") << "1502\n" << 8 << false << "" << 3;
        QTest::newRow("scanner, other case") << "a7\n" << 8 << false << "" << 1;
        QTest::newRow("scanner, by the events' times") << "1502\n" << 8 << true << "" << 3;
        QTest::newRow("hand") << "1502\n" << 120 << false << "1502" << 0;
        QTest::newRow("hand on a busy main thread") << "1502\n" << 120 << true << "1502" << 0;
        QTest::newRow("a path names nothing") << "..\\1502\n" << 8 << false << "" << 0;
    }
    void scansOpenListsAndNeverMoveTheStop() {
        QFETCH(QString, keys);
        QFETCH(int, gapMs);
        QFETCH(bool, stamped);
        QFETCH(QString, entry);
        QFETCH(int, rows);
        Write(in_ / "1502.txt", "1000 A\r\n1200 B\r\n1300 C\r\n");
        Write(in_ / "1502.csv", "Размер\r\n1000\r\n"_cp1251);
        Write(in_ / "A7.txt", "900 D\r\n");
        fs::create_directories(dir_->Path() / "1502");  // a list beside the folder, never reached
        Form1->SetIncomingDir(in_);
        TypeKeys(Form1, keys, gapMs, stamped);
        clockMs += 1000;
        if (rows > 0) {
            QTRY_COMPARE(Form1->Job.RowCount, rows);
            QVERIFY(Status().find("не найден"_cp1251) == std::string::npos);
        } else if (entry.isEmpty()) {
            QTRY_VERIFY(Status().find("не найден в"_cp1251) != std::string::npos);
            QCOMPARE(Form1->Job.RowCount, 0);
        }
        QCOMPARE(Form1->Entry.ManualEntry, entry.toStdString());
        // Without a device port a typed Enter says so: a scan sent nothing and said nothing of it.
        QCOMPARE(Form1->StatusIsFault() && Status().find("1502") == std::string::npos,
                 !entry.isEmpty());
    }

    void aFileSeenOnceGetsItsSecondLook() {
        Form1->SetIncomingDir(in_);
        QTRY_VERIFY(Form1->Incoming().Last().Taken);
        Write(in_ / "77.txt", "1000 A\r\n");
        TypeKeys(Form1, QStringLiteral("77\n"), 5);
        QTRY_COMPARE(Form1->Job.RowCount, 1);
    }

    // A list whose read never ends (a share that hangs; here a pipe nobody writes into) is
    // refused once the limit has passed, and the windows go on.
    void aListThatCannotBeReadInTimeIsRefused() {
#ifdef _WIN32
        QSKIP("a pipe in a folder is a POSIX thing");
#else
        const fs::path pipe = in_ / "hung.txt";
        QVERIFY(mkfifo(pipe.c_str(), 0600) == 0);
        Form1->IncomingReadLimit = std::chrono::milliseconds(200);
        Form1->LoadIncoming(pipe.string());
        QCOMPARE(Status(), "Файл hung.txt не загружен: файл не прочитан за 1 с"_cp1251);
        QCOMPARE(Form1->Job.RowCount, 0);
        std::ofstream(pipe) << "1000 A\r\n";  // lets the reading thread end
#endif
    }

    // A header without a size column asks for a map; Cancel keeps the list in work, a map applied
    // is kept in maps.dat and asked no more, and "Столбцы…" opens it again with what was kept.
    void aColumnMapIsAskedOnceAndKept() {
        Write(in_ / "plain.txt", "1000 A\r\n");
        Write(in_ / "odd.csv", "Деталь;L;Штук\r\nA;1200;2\r\n"_cp1251);
        Form1->LoadList((in_ / "plain.txt").string());
        int asked = 0;
        std::vector<job::TColumnRole> shown;
        auto answer = [&](bool apply, std::vector<job::TColumnRole> roles) {
            QTimer::singleShot(50, [&, apply, roles] {
                auto* dialog = qobject_cast<TColumnMapDialog*>(QApplication::activeModalWidget());
                if (dialog == nullptr) return;
                ++asked;
                shown = dialog->Roles();
                for (std::size_t i = 0; i < roles.size(); ++i) dialog->SetRole(int(i), roles[i]);
                (apply ? dialog->OkButton : dialog->CancelButton)->click();
            });
        };
        using R = job::TColumnRole;
        answer(false, {});
        Form1->LoadList((in_ / "odd.csv").string());
        QCOMPARE(asked, 1);
        QCOMPARE(Form1->Job.ListPath, in_ / "plain.txt");  // Cancel: the list in work stays

        answer(true, {R::Unused, R::Size, R::Quantity});
        Form1->LoadList((in_ / "odd.csv").string());
        QCOMPARE(asked, 2);
        QCOMPARE(Form1->Job.RowCount, 2);
        QVERIFY(dir_->Read("maps.dat").find("none=Деталь\tsize=L\tqty=Штук\r\n"_cp1251) == 0);

        answer(true, {});
        Form1->LoadList((in_ / "odd.csv").string());
        QTest::qWait(100);
        QCOMPARE(asked, 2);  // the kept map: not asked again

        answer(true, {R::E1});
        Form1->N6->trigger();
        QCOMPARE(asked, 3);
        QCOMPARE(shown, (std::vector<R>{R::Unused, R::Size, R::Quantity}));
        QCOMPARE(Form1->Job.Rows[1].Fields[0], "A"_cp1251);
    }

    void aBurstDuringTheRestartQuestionAnswersNothing() {
        Write(in_ / "done.txt", "1000 A\r\n");
        Form1->SetIncomingDir(in_);
        Form1->LoadList((in_ / "done.txt").string());
        std::string failure;
        QVERIFY(job::AppendProgress(Form1->Job, 1, &failure));
        bool stillOpen = false;
        QTimer::singleShot(50, [&stillOpen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            TypeKeys(box, QStringLiteral("1502\n"), 8);
            QTest::qWait(100);
            stillOpen = box->isVisible();
            box->button(QMessageBox::No)->click();
        });
        Form1->LoadList((in_ / "done.txt").string());  // every row done: the question
        QVERIFY(stillOpen);
        QCOMPARE(Form1->Job.RemainingCount, 0);  // not restarted
        QCOMPARE(Form1->Entry.ManualEntry, std::string());
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    ListsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "lists_window_test.moc"
