// Working by a bar plan through the real main window and the device simulator: the grid's
// headings, the device's "#" taking the pieces in cut order with the stop, the labels, the
// journal and the progress file following; the plan saved, resumed after a restart and kept by
// the recovery's reload; a plan that no longer fits the settings is said and not taken; the
// store of remnants, a flawed bar and the catch-up after a kill.

#include <QMessageBox>
#include <QTableView>
#include <QtTest>

#include "base/cp1251.h"
#include "console/application.h"
#include "console/nastr_file.h"
#include "console/qt_text.h"
#include "console/raskroy.h"
#include "console/rows_model.h"
#include "job/journal.h"
#include "job/work_order.h"
#include "plan/cut_file.h"
#include "plan/plan_file.h"
#include "plan/remnant_store.h"
#include "simulator.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
constexpr int kWaitMs = 10000;

std::string Status() {
    return Cp1251ToUtf8(Form1->StatusText());
}

std::string GridText(int gridRow, int column) {
    return FromQ(Form1->RowsModel()->index(gridRow - 1, column).data().toString());
}

// The list rows of the journal's lines, in the order written; a label's outcome comes as a line
// of its own after its step's.
std::vector<std::int32_t> JournalRows(const std::filesystem::path& dir) {
    std::vector<std::int32_t> rows;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string().rfind("journal-", 0) != 0) continue;
        const std::string text = ReadWholeFile(entry.path()).value_or("");
        std::size_t pos = text.find('\n') + 1;  // after the header
        while (pos < text.size()) {
            const auto end = text.find('\n', pos);
            const auto f = job::SplitJournalLine(std::string_view(text).substr(pos, end - pos));
            const std::int32_t row = f.size() > 3 ? std::atoi(f[3].c_str()) : -1;
            if (f.size() > 3 && f[3].empty()) {  // a bar's leftover, no piece
                pos = end + 1;
                continue;
            }
            if (rows.empty() || rows.back() != row) rows.push_back(row);
            pos = end + 1;
        }
    }
    return rows;
}

// The labels that reached the simulator's printer (a file each once it has gone through) and
// hold text.
int LabelsHolding(const TSimulator& sim, const std::string& text) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sim.Labels()))
        count += ReadWholeFile(entry.path()).value_or("").find(text) != std::string::npos;
    return count;
}

// The journal files' text, UTF-8.
std::string JournalText(const std::filesystem::path& dir) {
    std::string journal;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string().rfind("journal-", 0) == 0)
            journal += Cp1251ToUtf8(ReadWholeFile(entry.path()).value_or(""));
    return journal;
}

// The progress file's rows after its CRC line; the stop's arrival records its row again.
std::vector<std::int32_t> ProgressRows(const std::filesystem::path& file) {
    std::vector<std::int32_t> rows;
    const std::string text = ReadWholeFile(file).value_or("");
    std::size_t pos = text.find('\n') + 1;
    while (pos < text.size()) {
        const auto end = text.find('\n', pos);
        const std::int32_t row = std::atoi(text.c_str() + pos);
        if (rows.empty() || rows.back() != row) rows.push_back(row);
        pos = end + 1;
    }
    return rows;
}

const std::vector<std::string> kSimOptions = {"--min",     "100", "--max",   "6000",
                                              "--ping-ms", "20",  "--speed", "100000"};

// Sizes go to the stop and labels to the printer, both the simulator's.
void UseSimulator(const TProgramDir& dir, const TSimulator& sim) {
    TSettings settings = DefaultSettings(dir.Path());
    settings.DevicePortName = sim.Device();
    settings.SendSizes = true;
    settings.PrintLabels = true;
    settings.LabelPortName = sim.Printer();
    WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
}

// The windows started and linked to the simulator's device.
bool StartLinked() {
    StartWindows();
    return QTest::qWaitFor([] { return Form1->Link.LinkState.load() == 7; }, kWaitMs);
}

void AnswerNextBox(QMessageBox::StandardButton answer, std::string& question) {
    WhenModal<QMessageBox>([answer, &question](QMessageBox* box) {
        question = FromQ(box->text());
        box->button(answer)->click();
    });
}
}  // namespace

class PlanWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { CloseWindows(); }

    void aPlanIsWorkedByTheDeviceKeyAndGoesOnAfterARestart() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), kSimOptions, true);
        QVERIFY(sim.Ready());
        UseSimulator(dir, sim);
        plan::TStationCut cut = plan::DefaultStationCut();
        cut.Stock = {{60000, plan::kUnlimited, ""}, {25000, 2, ""}};
        plan::WriteCutFile(plan::CutFilePath(dir.Path()), cut);
        const std::vector<int> sizes = {2400, 1800, 2000, 1500, 900, 2450, 1150};
        std::string list;
        for (std::size_t i = 0; i < sizes.size(); ++i)
            list += std::to_string(sizes[i]) + " P <E1P" + std::to_string(i + 1) + ">\r\n";
        dir.Write("list.txt", list);
        const std::string listPath = (dir.Path() / "list.txt").string();

        QVERIFY(StartLinked());
        Form1->LoadList(listPath);
        plan::TProblem problem;
        problem.Stock = cut.Stock;
        problem.Cut = cut.Cut;
        for (std::size_t i = 0; i < sizes.size(); ++i)
            problem.Pieces.push_back({int(i) + 1, plan::ToTenths(sizes[i]), ""});
        const plan::TPlan made = plan::MakePlan(problem);
        QVERIFY(made.Unplaced.empty());
        QVERIFY(made.Bars.size() >= 2);
        Form1->WorkByPlan(problem, made);

        // The grid: each bar's heading over its pieces; the order the steps will take.
        std::vector<std::int32_t> order;
        int gridRow = 1;
        for (std::size_t b = 0; b < made.Bars.size(); ++b) {
            const plan::TBar& bar = made.Bars[b];
            QCOMPARE(GridText(gridRow, 0),
                     Utf8ToCp1251("Хлыст " + std::to_string(b + 1) + " из " +
                                  std::to_string(made.Bars.size()) + " · " +
                                  plan::FormatTenths(bar.Length) + " · остаток " +
                                  plan::FormatTenths(bar.Leftover)));
            ++gridRow;
            for (const std::int32_t piece : bar.Pieces) {
                const std::int32_t row = problem.Pieces[std::size_t(piece)].Row;
                QCOMPARE(GridText(gridRow++, 0), std::to_string(sizes[std::size_t(row) - 1]));
                order.push_back(row);
            }
        }
        QCOMPARE(Form1->RowsModel()->rowCount(), gridRow - 1);
        QCOMPARE(Form1->StringGrid1->columnSpan(0, 0), 2);
        const auto planFile = dir.Path() / "list.plan";
        plan::TPlanFile saved;
        QVERIFY(plan::ReadPlanFile(planFile, saved).Problem.empty());
        QCOMPARE(saved.Bars.size(), made.Bars.size());
        QCOMPARE(saved.Bars[0].Rows.front(), order.front());
        QCOMPARE(saved.Cut, cut);

        // The first bar and one piece of the second by the device's "#": the stop goes to each
        // piece in cut order, its label prints, its line and its progress record are written.
        const std::size_t worked = made.Bars[0].Pieces.size() + 1;
        QVERIFY(order.size() > worked + 1);
        for (std::size_t i = 0; i < worked; ++i) {
            QVERIFY(sim.Command("key #").rfind("ok", 0) == 0);
            const int size = sizes[std::size_t(order[i]) - 1];
            QTRY_COMPARE_WITH_TIMEOUT(sim.StateValue("moves"), static_cast<long long>(i + 1),
                                      kWaitMs);
            QCOMPARE(sim.StateValue("target"), static_cast<long long>(size));
            QCOMPARE(Form1->Job.CurrentRow, order[i]);
            QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kWaitMs);
            const auto label = sim.Labels() / ("label-000" + std::to_string(i + 1) + ".zpl");
            QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(label), kWaitMs);
            const std::string printed = ReadWholeFile(label).value_or("");
            QVERIFY2(printed.find("P" + std::to_string(order[i]) + "^FS") != std::string::npos,
                     printed.c_str());
        }
        const std::vector<std::int32_t> workedRows(order.begin(), order.begin() + long(worked));
        QCOMPARE(ProgressRows(dir.Path() / "list.crc"), workedRows);
        QCOMPARE(JournalRows(dir.Path()), workedRows);

        // Back takes the piece before in cut order, a heading in between or not.
        Form1->BitBtn2Click();
        QCOMPARE(Form1->Job.CurrentRow, order[worked - 2]);
        Form1->BitBtn1Click();  // and Start goes on after it: the next piece not done
        QCOMPARE(Form1->Job.CurrentRow, order[worked]);
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kWaitMs);

        // The recovery's reload keeps the plan and the place.
        Form1->ReloadListInWork();
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->Loading(), kWaitMs);
        QVERIFY(Form1->Job.Order.Active());
        QCOMPARE(Form1->Job.CurrentRow, order[worked - 1]);
        QCOMPARE(Form1->RowsModel()->rowCount(), gridRow - 1);

        // The program ends as a kill would leave it (every piece on the disk already) and starts
        // again: the list offers its plan and goes on with the first piece not worked.
        CloseWindows();
        QVERIFY(StartLinked());
        std::string question;
        AnswerNextBox(QMessageBox::Yes, question);
        Form1->LoadList(listPath);
        QVERIFY2(Cp1251ToUtf8(question).find("Продолжить работу по плану?") != std::string::npos,
                 question.c_str());
        QVERIFY(Form1->Job.Order.Active());
        QVERIFY(sim.Command("key #").rfind("ok", 0) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(Form1->Job.CurrentRow, order[worked + 1], kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(sim.StateValue("target"),
                                  static_cast<long long>(sizes[std::size_t(order[worked + 1]) - 1]),
                                  kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kWaitMs);

        // Other settings in raskroy.dat: the plan is stale, said, and the list loads as a list.
        cut.Cut.Kerf = 30;
        plan::WriteCutFile(plan::CutFilePath(dir.Path()), cut);
        Form1->LoadList(listPath);
        QVERIFY(!Form1->Job.Order.Active());
        QCOMPARE(Form1->RowsModel()->rowCount(), int(sizes.size()));
        QVERIFY2(Status().find("План устарел: настройки раскроя изменены") != std::string::npos,
                 Status().c_str());

        // A plan file cut short is no plan, and said.
        const std::string whole = ReadWholeFile(planFile).value_or("");
        dir.Write("list.plan", whole.substr(0, whole.size() / 2));
        Form1->LoadList(listPath);
        QVERIFY(!Form1->Job.Order.Active());
        QVERIFY2(Status().find("План list.plan не прочитан") != std::string::npos,
                 Status().c_str());
    }

    // The store's remnant and two materials, planned in the window and worked to the end.
    void aPlanCutsTheStoreFirstAndKeepsItsLeftovers() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), kSimOptions, true);
        QVERIFY(sim.Ready());
        UseSimulator(dir, sim);
        dir.Write("ostatki.dat", "R000005;1500;AL;01.12.2026;old.csv\r\n");
        dir.Write("list.csv", Utf8ToCp1251("Размер;Материал\r\n2500;ST\r\n1400;AL\r\n"
                                           "2000;AL\r\n2000;ST\r\n"));
        QVERIFY(StartLinked());
        Form1->JournalClock = [] { return job::TLocalTime{2026, 12, 10, 9, 0, 0}; };
        Form1->OpenJournal();
        Form1->LoadList((dir.Path() / "list.csv").string());
        QTRY_COMPARE_WITH_TIMEOUT(Form1->Job.RowCount, 4, kWaitMs);

        Form1->N7->trigger();
        TRaskroyWindow* w = Form1->Raskroy();
        QVERIFY(w != nullptr);
        SetControlText(w->StockEdit, "6000:ST,3000:");
        w->PlanButton->click();
        QCOMPARE(Cp1251ToUtf8(w->NoticeText()),
                 "Не сохранено: Хлысты: хлыст: после \":\" нужен материал");
        SetControlText(w->StockEdit, "6000:ST,3000:AL");
        w->PlanButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->WorkButton->isEnabled(), kWaitMs);
        w->WorkButton->click();
        QVERIFY(Form1->Job.Order.Active());

        // 1400 AL from R000005 (96 left: waste), 2000 AL from a new 3000 (986 kept), both ST
        // pieces from a 6000 (1482 kept).
        for (int step = 1; step <= 4; ++step) {
            QVERIFY(sim.Command("key #").rfind("ok", 0) == 0);
            QTRY_COMPARE_WITH_TIMEOUT(sim.StateValue("moves"), static_cast<long long>(step),
                                      kWaitMs);
            if (Form1->Job.Rows[std::size_t(Form1->Job.CurrentRow)].Size == 1400)
                QVERIFY(dir.Read("ostatki.dat").find("R000005") == std::string::npos);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kWaitMs);
        const std::string store = dir.Read("ostatki.dat");
        Form1->BitBtn2Click();  // a revisit of the last piece keeps nothing twice
        Form1->BitBtn1Click();
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kWaitMs);
        QCOMPARE(dir.Read("ostatki.dat"), store);

        const std::vector<plan::TStoredRemnant> kept = Form1->Remnants().Newest();
        QCOMPARE(int(kept.size()), 2);
        const std::string journal = JournalText(dir.Path());
        const std::string waste = std::string("96;;96;да;нет;отход\r\n");
        QVERIFY2(journal.find(waste) != std::string::npos, journal.c_str());
        for (const plan::TStoredRemnant& one : kept) {
            const std::string length = plan::FormatTenths(one.Length);
            QVERIFY((length == "986" && one.Material == "AL") ||
                    (length == "1482" && one.Material == "ST"));
            QVERIFY2(one.Id == "R000006" || one.Id == "R000007", store.c_str());
            QVERIFY(store.find(one.Id + ";" + length + ";" + one.Material +
                               ";10.12.2026;list.csv\r\n") != std::string::npos);
            const std::string label =
                "^XA^PW360^FO10,10^ASN,60,50^FD" + length + "^FS^FO10,80^BY2^BCN,70,Y,N,N^FD" +
                one.Id + "^FS^FO10,190^ASN,28,24^FDlist.csv^FS^FO10,225^ASN,28,24^FD10.12.2026" +
                "^FS^XZ";
            QTRY_COMPARE_WITH_TIMEOUT(LabelsHolding(sim, label), 1, kWaitMs);
            for (const char* outcome : {"в очереди", "итог: напечатана"}) {
                const std::string line = ";;" + length + ";;" + length + ";да;нет;остаток " +
                                         one.Id + ": " + outcome + "\r\n";
                QVERIFY2(journal.find(line) != std::string::npos, journal.c_str());
            }
        }
    }

    // A bar found flawed after its first piece: the piece it still held is planned again from the
    // stock the plan leaves, and cut next.
    void aFlawedBarsPiecesArePlannedAgain() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), kSimOptions, true);
        QVERIFY(sim.Ready());
        UseSimulator(dir, sim);
        plan::TStationCut cut = plan::DefaultStationCut();
        cut.Stock = {{60000, 3, ""}};
        plan::WriteCutFile(plan::CutFilePath(dir.Path()), cut);
        dir.Write("list.txt", "2900\r\n2000\r\n2900\r\n2000\r\n");
        QVERIFY(StartLinked());
        Form1->LoadList((dir.Path() / "list.txt").string());
        QTRY_COMPARE_WITH_TIMEOUT(Form1->Job.RowCount, 4, kWaitMs);
        Form1->N7->trigger();
        TRaskroyWindow* w = Form1->Raskroy();
        w->PlanButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->WorkButton->isEnabled(), kWaitMs);
        w->WorkButton->click();
        QVERIFY(Form1->BitBtn3->isVisible());

        plan::TPlanFile saved;
        QVERIFY(plan::ReadPlanFile(dir.Path() / "list.plan", saved).Problem.empty());
        QCOMPARE(int(saved.Bars.size()), 2);
        QCOMPARE(int(saved.Bars[0].Rows.size()), 2);
        const std::int32_t first = saved.Bars[0].Rows[0], other = saved.Bars[0].Rows[1];
        Form1->BitBtn1Click();
        QCOMPARE(Form1->Job.CurrentRow, first);
        const double size = Form1->Job.Rows[std::size_t(first)].Size;
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kWaitMs);
        std::string question;
        AnswerNextBox(QMessageBox::Yes, question);
        Form1->BitBtn3->click();
        QVERIFY2(Cp1251ToUtf8(question).find("Хлыст 1 (6000) с дефектом?") == 0, question.c_str());
        QTRY_VERIFY_WITH_TIMEOUT(Status().find("Хлыст 1 с дефектом: новых хлыстов 1") == 0,
                                 kWaitMs);

        // Two bars planned, one flawed: the third and last 6000 takes the piece, right after it.
        const int left = 6000 - 10 - int(size) - 4;
        QCOMPARE(Cp1251ToUtf8(GridText(1, 0)), std::string("Хлыст 1 из 3 · 6000 · с дефектом"));
        QCOMPARE(GridText(2, 0), plan::FormatTenths(plan::ToTenths(size)));
        QVERIFY(Cp1251ToUtf8(GridText(3, 0)).find("Хлыст 2 из 3 · 6000 · остаток") == 0);
        QCOMPARE(job::ListRowAt(Form1->Job, 4), other);
        QVERIFY(plan::ReadPlanFile(dir.Path() / "list.plan", saved).Problem.empty());
        QCOMPARE(saved.Flawed, std::vector<std::int32_t>{1});
        QCOMPARE(saved.Bars[0].Leftover, plan::TLength(left) * 10);
        const std::string journal = JournalText(dir.Path());
        const std::string line = ";;" + std::to_string(left) + ";;" + std::to_string(left) +
                                 ";да;нет;хлыст с дефектом\r\n";
        QVERIFY2(journal.find(line) != std::string::npos, journal.c_str());

        QVERIFY(sim.Command("key #").rfind("ok", 0) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(Form1->Job.CurrentRow, other, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kWaitMs);
    }

    // A bar's leftover after a kill before it was recorded, a list started anew, a remnant gone.
    void aRestartKeepsTheLeftoverAKillLeftUnrecordedOnce() {
        TProgramDir dir;
        TSimulator sim(dir.Path(), kSimOptions, true);
        QVERIFY(sim.Ready());
        UseSimulator(dir, sim);
        plan::TStationCut cut = plan::DefaultStationCut();
        cut.Stock = {{30000, plan::kUnlimited, ""}};
        plan::WriteCutFile(plan::CutFilePath(dir.Path()), cut);
        dir.Write("ostatki.dat", "R000005;1500;;01.12.2026;old.csv\r\n");
        dir.Write("list.txt", "1200\r\n1000\r\n1400\r\n");
        const std::string listPath = (dir.Path() / "list.txt").string();
        auto keptOf782 = [&dir] {
            plan::TRemnantStore store(plan::RemnantStorePath(dir.Path()));
            store.Load();
            std::vector<plan::TStoredRemnant> kept;
            for (const plan::TStoredRemnant& one : store.Newest())
                if (one.Length == 7820) kept.push_back(one);
            return kept;
        };
        auto load = [&listPath](std::string& question) {
            question.clear();
            AnswerNextBox(QMessageBox::Yes, question);
            Form1->LoadList(listPath);
            QTRY_VERIFY_WITH_TIMEOUT(!question.empty(), kWaitMs);
            QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kWaitMs);
        };
        auto restart = [] {
            CloseWindows();
            QVERIFY(StartLinked());
        };
        auto work = [&sim](std::initializer_list<std::int32_t> rows) {
            for (const std::int32_t row : rows) {
                const long long moves = sim.StateValue("moves");
                QVERIFY(sim.Command("key #").rfind("ok", 0) == 0);
                QTRY_COMPARE_WITH_TIMEOUT(sim.StateValue("moves"), moves + 1, kWaitMs);
                QCOMPARE(Form1->Job.CurrentRow, row);
            }
            QTRY_VERIFY_WITH_TIMEOUT(!Form1->LabelsPending(), kWaitMs);
        };

        QVERIFY(StartLinked());
        Form1->LoadList(listPath);
        QTRY_COMPARE_WITH_TIMEOUT(Form1->Job.RowCount, 3, kWaitMs);
        plan::TProblem problem;
        problem.Stock = cut.Stock;
        problem.Cut = cut.Cut;
        problem.Remnants = {{"R000005", 15000, ""}};
        for (const int size : {1200, 1000, 1400})
            problem.Pieces.push_back({int(problem.Pieces.size()) + 1, plan::ToTenths(size), ""});
        // A new bar of 1200 and 1000 (head, two kerfs: 782 kept), then 1400 from R000005.
        plan::TPlan made;
        made.Bars = {{0, -1, 30000, {0, 1}, 7820}, {-1, 0, 15000, {2}, 960}};
        Form1->WorkByPlan(problem, made);
        QVERIFY(Form1->Job.Order.Active());
        work({1, 2});
        QCOMPARE(int(keptOf782().size()), 1);

        // As a kill before the bar was settled leaves it: the piece recorded, no remnant, the
        // plan file not naming the bar.
        CloseWindows();
        const auto planFile = dir.Path() / "list.plan";
        plan::TPlanFile saved;
        QVERIFY(plan::ReadPlanFile(planFile, saved).Problem.empty());
        QCOMPARE(saved.Settled, std::vector<std::int32_t>{1});
        saved.Settled.clear();
        plan::WritePlanFile(planFile, saved);
        dir.Write("ostatki.dat", "R000005;1500;;01.12.2026;old.csv\r\n");

        restart();
        std::string question;
        load(question);
        QVERIFY2(Cp1251ToUtf8(question).find("сделано деталей 2 из 3") != std::string::npos,
                 question.c_str());
        QVERIFY(Form1->Job.Order.Active());
        const std::vector<plan::TStoredRemnant> caught = keptOf782();
        QCOMPARE(int(caught.size()), 1);
        QCOMPARE(caught[0].List, std::string("list.txt"));
        const std::string label = "^BCN,70,Y,N,N^FD" + caught[0].Id + "^FS";
        QTRY_COMPARE_WITH_TIMEOUT(LabelsHolding(sim, label), 1, kWaitMs);
        const std::string store = dir.Read("ostatki.dat");
        load(question);  // a second restart has nothing left to catch up
        QCOMPARE(dir.Read("ostatki.dat"), store);
        QCOMPARE(LabelsHolding(sim, label), 1);

        // The list started anew: the bar is cut again and leaves its leftover again.
        CloseWindows();
        std::filesystem::remove(dir.Path() / "list.crc");
        restart();
        load(question);
        QVERIFY2(Cp1251ToUtf8(question).find("сделано деталей 0 из 3") != std::string::npos,
                 question.c_str());
        work({1, 2});
        QCOMPARE(int(keptOf782().size()), 2);

        // The whole list worked, then a kill before the first bar was settled, and the restart
        // starts the list again: the leftover is kept before the pieces are undone. R000005 went
        // with its bar, now undone, so the plan is stale.
        work({3});
        QVERIFY(dir.Read("ostatki.dat").find("R000005") == std::string::npos);
        CloseWindows();
        plan::TPlanFile worked;
        QVERIFY(plan::ReadPlanFile(planFile, worked).Problem.empty());
        QCOMPARE(worked.Settled, (std::vector<std::int32_t>{1, 2}));
        worked.Settled = {2};
        plan::WritePlanFile(planFile, worked);
        {
            plan::TRemnantStore store(plan::RemnantStorePath(dir.Path()));
            store.Load();
            QVERIFY(store.Remove(keptOf782().front().Id));
        }
        restart();
        load(question);
        QVERIFY2(Cp1251ToUtf8(question).find("полностью сделан") != std::string::npos,
                 question.c_str());
        QCOMPARE(int(keptOf782().size()), 2);
        QVERIFY(!Form1->Job.Order.Active());
        QVERIFY2(Status().find("План устарел: остатка R000005 больше нет на складе; список "
                               "загружен как список") != std::string::npos,
                 Status().c_str());
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    LoadProgramFonts();
    LoadQtTranslations();
    PlanWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "plan_window_test.moc"
