// Power loss: a child appends progress rows with their journal lines and rewrites nastr.dat in a
// loop and is killed with SIGKILL at a random moment, round after round. Whatever it reported as
// recorded must be in the progress file and in the journal as whole lines, a torn last line must
// mark no row that was not being written and must not spoil the next line, and nastr.dat must be
// the old or the new file whole. Every third child first saves a bar plan, as working by a plan
// begins: the plan file must be the old or the new one whole, and resuming by it must take the
// first piece in its order that was not worked. The store of remnants is killed the same way.
// TANDREL_KILL_ROUNDS sets the rounds for a long run.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "base/files.h"
#include "base/numbers.h"
#include "console/nastr_file.h"
#include "job/job_io.h"
#include "job/journal.h"
#include "job/progress.h"
#include "job/sequence.h"
#include "plan/plan_file.h"
#include "plan/remnant_store.h"
#include "support/temp_dir.h"

namespace tandrel {
namespace {

using job::SizeRow;
using job::TJobState;

constexpr std::uint32_t kCrc = 3141592653u;
const job::TLocalTime kMoment{2026, 12, 9, 10, 0, 0};

// The journal line of row in the generation-th progress file.
job::TJournalEntry JournalEntry(std::int32_t generation, std::int32_t row) {
    job::TJournalEntry e;
    e.ListName = "plan-" + std::to_string(generation) + ".txt";
    e.Row = row;
    e.Size = 1000 + row / 10.0;
    e.Correction = generation;
    e.Target = e.Size + generation;
    return e;
}

struct TJournalCheck {
    std::set<std::pair<std::int32_t, std::int32_t>> lines;  // (generation, row) of whole lines
    int broken = 0;  // whole lines that are no line the child wrote
};

TJournalCheck CheckJournal(const std::filesystem::path& file) {
    TJournalCheck check;
    const std::string text = testing::ReadBytes(file);
    job::io::TLineReader reader(text);
    std::string_view line;
    if (reader.Next(line) && std::string(line) + "\r\n" != job::JournalHeader()) ++check.broken;
    while (reader.Next(line)) {
        const std::vector<std::string> f = job::SplitJournalLine(line);
        std::int32_t generation = -1, row = -1;
        if (f.size() > 5 && TryStrToInt32(f[5], generation) && TryStrToInt32(f[3], row) &&
            std::string(line) + "\r\n" == job::JournalLine(JournalEntry(generation, row), kMoment))
            check.lines.emplace(generation, row);
        else
            ++check.broken;
    }
    return check;
}

TSettings SettingsNumber(std::int32_t n) {
    TSettings s = DefaultSettings("/tmp");
    s.Column0Width = n % (kMaxColumnWidth + 1);
    s.Column1Width = (n / (kMaxColumnWidth + 1)) % (kMaxColumnWidth + 1);
    s.DevicePortName = "/dev/ttyS" + std::to_string(n);
    return s;
}

// The n-th plan: 64 rows about where the child's rows have got to by then, last first, eight to
// a bar.
plan::TPlanFile PlanNumber(std::int32_t n) {
    const std::int32_t first = 1 + (17 * n) % 2000;
    plan::TPlanFile p;
    p.Crc = static_cast<std::uint32_t>(n);
    p.Sizes.assign(static_cast<std::size_t>(first) + 63, 10000 + n);
    p.Cut = plan::DefaultStationCut();
    for (std::int32_t row = first + 63; row >= first; --row) {
        if ((row - first) % 8 == 7) p.Bars.push_back({60000, 100, "", {}});
        p.Bars.back().Rows.push_back(row);
    }
    return p;
}
// Reports of a saved plan lie above the rows'.
constexpr std::int32_t kPlanReport = job::kRowCapacity + 1;

class Pipe {
  public:
    Pipe() {
        if (::pipe(fd_) != 0) fd_[0] = fd_[1] = -1;
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool Ok() const { return fd_[0] >= 0; }
    int Read() const { return fd_[0]; }
    int Write() const { return fd_[1]; }
    void CloseRead() { CloseOne(fd_[0]); }
    void CloseWrite() { CloseOne(fd_[1]); }

  private:
    static void CloseOne(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int fd_[2];
};

// The child: records rows from firstRow on and settings from firstSettings on, reporting each
// on the pipe once its call has returned. Never returns.
[[noreturn]] void RunChild(int out, const std::filesystem::path& progress,
                           const std::filesystem::path& nastr, std::int32_t firstRow,
                           std::int32_t firstSettings, std::int32_t generation,
                           std::int32_t planToSave) {
    if (planToSave >= 0) {
        try {
            plan::WritePlanFile(plan::PlanFilePath(progress), PlanNumber(planToSave));
        } catch (const Exception&) {
            ::_exit(6);
        }
        const std::int32_t report = kPlanReport + planToSave;
        if (::write(out, &report, sizeof report) != sizeof report) ::_exit(4);
    }
    job::TJournal journal(progress.parent_path(), [] { return kMoment; });
    TJobState state;
    state.ProgressFile = progress;
    state.ProgressCrc = kCrc;
    std::int32_t row = firstRow;
    std::int32_t settings = firstSettings;
    for (std::uint32_t step = 0;; ++step) {
        std::int32_t report = 0;
        if (step % 4 == 3) {
            try {
                WriteSettingsFile(nastr, SettingsNumber(settings));
            } catch (const Exception&) {
                ::_exit(3);
            }
            report = -settings++;
        } else {
            // Room for the row the parent may find in flight.
            while (row >= job::kRowCapacity) ::pause();
            if (!job::AppendProgress(state, row, nullptr)) ::_exit(2);
            if (!journal.Append(JournalEntry(generation, row)).Written) ::_exit(5);
            report = row++;
        }
        if (::write(out, &report, sizeof report) != sizeof report) ::_exit(4);
    }
}

// Kills the child when the test leaves early.
class Child {
  public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child() {
        if (pid_ > 0) Kill();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    int Kill() {
        int status = 0;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

  private:
    pid_t pid_;
};

// Starts a child that runs writer on the pipe's write end (it never returns) and kills it at a
// random moment; the child's exit status (a signal when it did not end by itself).
int KillMidWay(Pipe& pipe, int round, std::mt19937& random,
               const std::function<void(int out)>& writer) {
    static std::uniform_int_distribution<int> delayMicros(0, 40000);
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        pipe.CloseRead();
        writer(pipe.Write());
        ::_exit(6);
    }
    pipe.CloseWrite();
    Child child(pid);
    if (round % 2 == 1) {
        // Every other kill comes after the child's first report (poll consumes nothing): on a
        // slow machine (a sanitizer build, a busy disk) the kills would otherwise all come
        // while the child is still starting, and check nothing.
        pollfd ready{pipe.Read(), POLLIN, 0};
        ::poll(&ready, 1, 10000);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
    return child.Kill();
}

int Rounds() {
    if (const char* env = std::getenv("TANDREL_KILL_ROUNDS")) return std::max(1, std::atoi(env));
    return 150;
}

TEST(PowerLoss, KilledWriterLosesNoReportedRowAndLeavesSettingsWhole) {
    testing::TempDir dir;
    const auto progress = dir.Path() / "plan.crc";
    const auto nastr = dir.Path() / "nastr.dat";
    ASSERT_TRUE(job::ResetProgress(progress, kCrc, nullptr));
    WriteSettingsFile(nastr, SettingsNumber(0));

    std::mt19937 random(20261208);
    std::set<std::int32_t> reported;
    std::size_t recordedBefore = 0;  // rows of the progress files started afresh
    std::int32_t nextRow = 1, nextSettings = 1, lastSettings = 0, generation = 0;
    int survived = 0, lost = 0, wrong = 0, torn = 0, settingsBroken = 0;
    const auto planFile = plan::PlanFilePath(progress);
    plan::WritePlanFile(planFile, PlanNumber(0));
    std::int32_t lastPlan = 0;
    int planBroken = 0, resumedWrong = 0, resumedInPlan = 0;
    const auto journalFile = dir.Path() / job::JournalFileName(kMoment);
    std::set<std::pair<std::int32_t, std::int32_t>> acknowledged;  // journal lines reported
    int journalLost = 0, journalWrong = 0, journalBroken = 0, journalTorn = 0;
    const int rounds = Rounds();

    for (int round = 0; round < rounds; ++round) {
        if (nextRow > job::kRowCapacity - 5000) {
            // The table is full: start a fresh progress file, as a restarted list would.
            ASSERT_TRUE(job::ResetProgress(progress, kCrc, nullptr));
            recordedBefore += reported.size();
            reported.clear();
            nextRow = 1;
            ++generation;
        }
        Pipe pipe;
        ASSERT_TRUE(pipe.Ok());
        const int status = KillMidWay(pipe, round, random, [&](int out) {
            RunChild(out, progress, nastr, nextRow, nextSettings, generation,
                     round % 3 == 0 ? lastPlan + 1 : -1);
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;

        std::int32_t report = 0;
        std::int32_t lastRow = nextRow - 1;
        while (::read(pipe.Read(), &report, sizeof report) == sizeof report) {
            if (report >= kPlanReport) {
                lastPlan = report - kPlanReport;
            } else if (report > 0) {
                reported.insert(report);
                acknowledged.emplace(generation, report);
                lastRow = report;
            } else {
                lastSettings = -report;
            }
        }
        // The one call that may have been under way when the kill came.
        const std::int32_t inFlightRow = lastRow + 1;
        const std::int32_t inFlightSettings = lastSettings + 1;

        // A single write() is not torn by SIGKILL; a power cut inside it would be. Leave such a
        // tail now and then: digits of a row nobody recorded, without their line end.
        if (round % 5 == 4) {
            std::ofstream tail(progress, std::ios::binary | std::ios::app);
            tail << job::kRowCapacity - 1 - round % 1000;
        }
        const std::string text = testing::ReadBytes(progress);
        if (!text.empty() && text.back() != '\n') ++torn;
        std::vector<SizeRow> rows(job::kRowCapacity + 1);
        std::int32_t remaining = job::kRowCapacity;
        const job::TProgressRead read = job::ReadProgress(progress, kCrc, rows, remaining);
        ASSERT_TRUE(read.Matched) << "round " << round;
        for (const std::int32_t r : reported)
            lost += rows[static_cast<std::size_t>(r)].Done ? 0 : 1;
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const auto n = static_cast<std::int32_t>(r);
            if (rows[r].Done && !reported.count(n) && n != inFlightRow) ++wrong;
        }
        if (rows[static_cast<std::size_t>(inFlightRow)].Done) reported.insert(inFlightRow);

        // The journal: every acknowledged line whole; a torn tail left now and then, which the
        // next child must cut before its first line.
        if (round % 5 == 2) {
            std::ofstream tail(journalFile, std::ios::binary | std::ios::app);
            tail << "09.12.2026;10:00:00;plan-" << generation << ".txt;" << inFlightRow;
        }
        {
            const std::string text = testing::ReadBytes(journalFile);
            if (!text.empty() && text.back() != '\n') ++journalTorn;
            const TJournalCheck check = CheckJournal(journalFile);
            journalBroken += check.broken;
            for (const auto& a : acknowledged) journalLost += check.lines.count(a) ? 0 : 1;
            for (const auto& l : check.lines) {
                if (acknowledged.count(l)) continue;
                // Only the row under way may have its line without having been reported.
                if (l == std::make_pair(generation, inFlightRow))
                    acknowledged.insert(l);
                else
                    ++journalWrong;
            }
        }

        const std::string settings = testing::ReadBytes(nastr);
        if (settings == FormatSettings(SettingsNumber(inFlightSettings))) {
            lastSettings = inFlightSettings;
        } else if (settings != FormatSettings(SettingsNumber(lastSettings))) {
            ++settingsBroken;
        }
        // The plan: old or new, whole; resumed, it takes its first piece not worked.
        plan::TPlanFile saved;
        if (!plan::ReadPlanFile(planFile, saved).Problem.empty()) {
            ++planBroken;
        } else if (saved == PlanNumber(lastPlan + 1)) {
            ++lastPlan;
        } else if (!(saved == PlanNumber(lastPlan))) {
            ++planBroken;
        } else {
            TJobState resumed;
            resumed.Rows = rows;
            resumed.RowCount = job::kRowCapacity;
            resumed.RemainingCount = remaining;
            resumed.Order =
                job::MakeWorkOrder(plan::PlanGridLines(saved, resumed), resumed.RowCount);
            std::int32_t expected = 0;
            for (const plan::TPlanBar& bar : saved.Bars)
                for (const std::int32_t row : bar.Rows)
                    if (expected == 0 && !rows[static_cast<std::size_t>(row)].Done) expected = row;
            const std::int32_t next = job::NextStepRow(resumed, false);
            resumedInPlan += expected != 0 ? 1 : 0;
            if (next == 0 || rows[static_cast<std::size_t>(next)].Done ||
                (expected != 0 && next != expected))
                ++resumedWrong;
        }
        nextRow = reported.empty() ? inFlightRow : std::max(inFlightRow, *reported.rbegin() + 1);
        nextSettings = lastSettings + 1;
        ++survived;
    }

    std::printf(
        "power-loss kills survived: %d, rows recorded: %zu, rows lost: %d, "
        "wrong rows: %d, torn lines: %d, settings files broken: %d\n",
        survived, recordedBefore + reported.size(), lost, wrong, torn, settingsBroken);
    std::printf(
        "power-loss journal lines acknowledged: %zu, lost: %d, wrong: %d, broken: %d, "
        "torn lines: %d\n",
        acknowledged.size(), journalLost, journalWrong, journalBroken, journalTorn);
    std::printf(
        "power-loss plans saved: %d, broken: %d, resumed inside the plan: %d, at the wrong "
        "piece: %d\n",
        lastPlan, planBroken, resumedInPlan, resumedWrong);
    RecordProperty("kills", survived);
    RecordProperty("lost", lost);
    RecordProperty("journal_lost", journalLost);
    EXPECT_EQ(journalLost, 0);
    EXPECT_EQ(journalWrong, 0);
    EXPECT_EQ(journalBroken, 0);
    EXPECT_GT(acknowledged.size(), 0u);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(settingsBroken, 0);
    EXPECT_EQ(planBroken, 0);
    EXPECT_EQ(resumedWrong, 0);
    EXPECT_GT(resumedInPlan, 0);
}

// SIGKILL keeps the page cache; what reaches the disk rests on the flush calls being made.
std::vector<std::pair<FileStep, std::string>> g_steps;
int g_failAt = -1;

int RecordStep(FileStep step, const std::filesystem::path& path) {
    g_steps.emplace_back(step, path.filename().string());
    return static_cast<int>(step) == g_failAt ? EIO : 0;
}

class StepHook {
  public:
    explicit StepHook(int failAt = -1) {
        g_steps.clear();
        g_failAt = failAt;
        previous_ = SetFileStepHook(&RecordStep);
    }
    ~StepHook() { SetFileStepHook(previous_); }
    StepHook(const StepHook&) = delete;
    StepHook& operator=(const StepHook&) = delete;

  private:
    FileStepHook previous_;
};

TEST(PowerLoss, RowsAndSettingsAreFlushedBeforeTheCallReturns) {
    testing::TempDir dir;
    TJobState state;
    state.ProgressFile = dir.Path() / "plan.crc";
    state.ProgressCrc = kCrc;
    ASSERT_TRUE(job::ResetProgress(state.ProgressFile, kCrc, nullptr));
    {
        StepHook hook;
        ASSERT_TRUE(job::AppendProgress(state, 7, nullptr));
        const std::vector<std::pair<FileStep, std::string>> expected = {
            {FileStep::Create, "plan.crc"},
            {FileStep::Write, "plan.crc"},
            {FileStep::Flush, "plan.crc"}};
        EXPECT_EQ(g_steps, expected);
    }
    {
        job::TJournal journal(dir.Path(), [] { return kMoment; });
        StepHook hook;
        ASSERT_TRUE(journal.Append(JournalEntry(0, 7)).Written);
        const std::string name = job::JournalFileName(kMoment);
        const std::vector<std::pair<FileStep, std::string>> expected = {
            {FileStep::Create, name}, {FileStep::Write, name}, {FileStep::Flush, name}};
        EXPECT_EQ(g_steps, expected);
    }
    {
        StepHook hook;
        WriteSettingsFile(dir.Path() / "nastr.dat", SettingsNumber(5));
        std::vector<FileStep> steps;
        for (const auto& s : g_steps) steps.push_back(s.first);
        const std::vector<FileStep> expected = {FileStep::Create, FileStep::Write, FileStep::Flush,
                                                FileStep::Rename, FileStep::FlushFolder};
        EXPECT_EQ(steps, expected);
    }
}

TEST(PowerLoss, AFailedFlushIsReportedAsAFailure) {
    testing::TempDir dir;
    TJobState state;
    state.ProgressFile = dir.Path() / "plan.crc";
    ASSERT_TRUE(job::ResetProgress(state.ProgressFile, kCrc, nullptr));
    WriteSettingsFile(dir.Path() / "nastr.dat", SettingsNumber(1));
    StepHook hook(static_cast<int>(FileStep::Flush));
    std::string failure;
    EXPECT_FALSE(job::AppendProgress(state, 7, &failure));
    EXPECT_FALSE(failure.empty());
    EXPECT_THROW(WriteSettingsFile(dir.Path() / "nastr.dat", SettingsNumber(2)), Exception);
    EXPECT_EQ(testing::ReadBytes(dir.Path() / "nastr.dat"), FormatSettings(SettingsNumber(1)));
}

// The store of remnants: a child keeps remnants and removes the oldest now and then, reporting
// each call once it has returned (the id's number, negative for a removal), and is killed at a
// random moment. Every remnant reported kept and not removed must be in the store, no line may
// be garbled, and no id may ever be given twice.
[[noreturn]] void RunStoreChild(int out, const std::filesystem::path& file) {
    plan::TRemnantStore store(file);
    if (!store.Load().empty()) ::_exit(2);
    for (std::uint32_t step = 0;; ++step) {
        std::int32_t report = 0;
        try {
            const auto newest = store.Newest();
            if (step % 3 == 2 && !newest.empty()) {
                store.Remove(newest.back().Id);
                report = -std::stoi(newest.back().Id.substr(1));
            } else {
                report = std::stoi(store.Add(5000 + step, "AL", "plan.txt", kMoment).Id.substr(1));
            }
        } catch (const Exception&) {
            ::_exit(3);
        }
        if (::write(out, &report, sizeof report) != sizeof report) ::_exit(4);
    }
}

TEST(PowerLoss, KilledStoreWriterLosesNoRemnantAndNeverGivesAnIdTwice) {
    testing::TempDir dir;
    const auto file = plan::RemnantStorePath(dir.Path());
    std::mt19937 random(20261210);
    std::set<std::int32_t> kept, given;
    int lost = 0, reused = 0, garbled = 0;
    const int rounds = std::max(1, Rounds() / 3);
    for (int round = 0; round < rounds; ++round) {
        Pipe pipe;
        ASSERT_TRUE(pipe.Ok());
        const int status =
            KillMidWay(pipe, round, random, [&](int out) { RunStoreChild(out, file); });
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
        std::int32_t report = 0;
        while (::read(pipe.Read(), &report, sizeof report) == sizeof report) {
            if (report > 0) {
                reused += given.insert(report).second ? 0 : 1;
                kept.insert(report);
            } else {
                kept.erase(-report);
            }
        }
        plan::TRemnantStore store(file);
        garbled += store.Load().empty() ? 0 : 1;
        std::set<std::int32_t> present;
        for (const auto& r : store.Newest()) present.insert(std::stoi(r.Id.substr(1)));
        // The call under way may have kept one more, or removed the oldest: the store now says
        // which.
        for (const std::int32_t id : kept)
            if (!present.count(id) && !(id == *kept.begin() && present.size() + 1 == kept.size()))
                ++lost;
        for (const std::int32_t id : present) {
            if (kept.count(id)) continue;
            reused += given.insert(id).second ? 0 : 1;
        }
        kept = present;
    }
    std::printf("store kills survived: %d, remnants ever given: %zu, lost: %d, reused: %d\n",
                rounds, given.size(), lost, reused);
    EXPECT_GT(given.size(), 0u);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(reused, 0);
    EXPECT_EQ(garbled, 0);
}

}  // namespace
}  // namespace tandrel
