#pragma once
// The rows of the "Списки" screen: the lists of the poller's last listing with their states. A
// new listing changes the rows where it differs from the one shown, in time linear in their
// number and without a copy of the listing, so that a folder of thousands of lists never stalls
// the windows. Main thread only.

#include <QAbstractTableModel>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "job/incoming.h"

namespace tandrel::console {

class TIncomingPoller;
struct TIncomingSnapshot;

class TListsModel : public QAbstractTableModel {
  public:
    enum TColumn { Name, Time, Pieces, State, kColumns };

    TListsModel(const TIncomingPoller& poller, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The rows of the poller's last listing (none while the folder cannot be read); inWork marks
    // the list in work, old greys every row (a listing that hangs).
    void Update(const std::filesystem::path& inWork, bool old);
    // Some lists' states were read.
    void StatesRead();

    struct TRow {
        const job::TIncomingFile* File = nullptr;  // in the listing shown
        bool Complete = false;
    };
    const TRow* Row(int row) const;
    // The row of a file, -1 when none shows it.
    int RowOf(const std::filesystem::path& file) const;
    // The text of a cell as shown, Windows-1251.
    std::string Text(int row, int column) const;

  private:
    // Rows removed and added as runs, when the lists that stay keep their order and the runs are
    // few; false (nothing changed) otherwise.
    bool MoveRows(const std::vector<TRow>& rows);

    const TIncomingPoller& poller_;
    std::shared_ptr<const TIncomingSnapshot> shown_;  // the listing the rows point into
    std::vector<TRow> rows_;
    std::filesystem::path inWork_;
    bool old_ = false;
};

}  // namespace tandrel::console
