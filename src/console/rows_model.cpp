#include "console/rows_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include "base/numbers.h"
#include "console/qt_text.h"
#include "job/cut_list.h"
#include "job/sequence.h"

namespace tandrel::console {

namespace {
QBrush Brush(job::TRgb colour) {
    return QBrush(QColor(colour.R, colour.G, colour.B));
}
// A bar's heading in a plan: apart from the header's green and the done rows' yellow.
constexpr job::TRgb kHeadingColour{210, 225, 245};
}  // namespace

TRowsModel::TRowsModel(const job::TJobState& state, QObject* parent)
    : QAbstractTableModel(parent), state_(state) {}

int TRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int TRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant TRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shownRows_) return {};
    const std::int32_t gridRow = index.row() + 1;
    if (const std::string* heading = job::HeadingAt(state_, gridRow)) {
        switch (role) {
            case Qt::DisplayRole:
                return index.column() == 0 ? ToQ(*heading) : QVariant();
            case Qt::BackgroundRole:
                return Brush(kHeadingColour);
            case Qt::FontRole: {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            default:
                return {};
        }
    }
    const std::int32_t listRow = job::ListRowAt(state_, gridRow);
    if (listRow == 0) return {};
    const job::SizeRow& row = state_.Rows[static_cast<std::size_t>(listRow)];
    switch (role) {
        case Qt::DisplayRole:
            return index.column() == 0 ? ToQ(FormatGeneral(row.Size, DecimalSeparator()))
                                       : ToQ(job::GridCaption(row));
        case Qt::BackgroundRole:
            // The selection keeps the grid's look: the view paints it over the background.
            return job::CellLook(state_, gridRow, false) == job::TCellLook::Done
                       ? QVariant(Brush(job::kDoneColour))
                       : QVariant();
        default:
            return {};
    }
}

QVariant TRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return section == 0 ? counter_ : listName_;
    if (role == Qt::BackgroundRole) return Brush(job::kHeaderColour);
    return {};
}

void TRowsModel::Reset(const std::string& listName) {
    beginResetModel();
    shownRows_ = job::GridRowCount(state_);
    listName_ = ToQ(listName);
    endResetModel();
}

void TRowsModel::SetCounter(const std::string& counter) {
    counter_ = ToQ(counter);
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void TRowsModel::RowChanged(std::int32_t row) {
    const std::int32_t gridRow = job::GridRowOf(state_, row);
    if (gridRow < 1 || gridRow > shownRows_) return;
    emit dataChanged(index(gridRow - 1, 0), index(gridRow - 1, 1));
}

}  // namespace tandrel::console
