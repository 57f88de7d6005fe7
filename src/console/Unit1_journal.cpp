// The main window's side of the production journal: the lines of the steps and keypad moves,
// the notice when it cannot be written, and the pieces shown in the information window.

#include <QTimer>

#include "base/cp1251.h"
#include "console/Unit1.h"
#include "console/Unit2.h"
#include "console/windows_common.h"

namespace tandrel::console {

namespace {
constexpr int kPiecesRefreshMs = 30 * 1000;
}  // namespace

void TForm1::OpenJournal() {
    journal_ = std::make_unique<job::TJournal>(ProgramDirectory(), JournalClock);
    journal_->LoadPieces();
    if (!piecesTimer_) {
        piecesTimer_ = new QTimer(this);
        piecesTimer_->setInterval(kPiecesRefreshMs);
        connect(piecesTimer_, &QTimer::timeout, this, [this] { ShowPieces(); });
        piecesTimer_->start();
    }
    ShowPieces();
}

void TForm1::WriteJournal(const job::TJournalEntry& entry) {
    if (!journal_ || !Settings.KeepJournal) return;
    const job::TJournal::TAppend result = journal_->Append(entry);
    // The work goes on without its journal; the operator hears of it once.
    if (result.FirstFailure) ShowStatus("Журнал не записан: "_cp1251 + result.Failure, true);
    ShowPieces();
}

void TForm1::ShowPieces() {
    if (!journal_ || !Form2) return;
    const job::TPieceCounts counts = journal_->Counts();
    Form2->ShowPieces(counts.Today, counts.LastHour);
}

}  // namespace tandrel::console
