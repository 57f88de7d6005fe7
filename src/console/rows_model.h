#pragma once
// The list grid's model over the job's row table: list row r is the model's row r - 1 (a plan's
// grid: its own lines, headings among them), and the grid's header is the list's header row (the
// row counter and the list's name). Nothing is
// copied, so a 30000-row list costs nothing to show.

#include <QAbstractTableModel>
#include <string>

#include "job/job_state.h"

namespace tandrel::console {

class TRowsModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit TRowsModel(const job::TJobState& state, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The state's list was replaced: every row anew.
    void Reset(const std::string& listName);
    void SetCounter(const std::string& counter);
    // One list row's Done mark changed.
    void RowChanged(std::int32_t row);

  private:
    const job::TJobState& state_;
    std::int32_t shownRows_ = 0;
    QString counter_;
    QString listName_;
};

}  // namespace tandrel::console
