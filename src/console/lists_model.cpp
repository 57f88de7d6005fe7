#include "console/lists_model.h"

#include <QColor>
#include <QDateTime>
#include <string_view>
#include <unordered_map>

#include "base/cp1251.h"
#include "console/incoming_poller.h"
#include "console/qt_text.h"

namespace tandrel::console {
namespace {

// Beyond this many runs of rows added or removed, one reset costs the view less.
constexpr int kMaxRuns = 32;
// Beyond this many changed rows, one change of them all.
constexpr std::size_t kMaxChangedRows = 256;

bool SameRow(const TListsModel::TRow& a, const TListsModel::TRow& b) {
    return a.Complete == b.Complete && a.File->Size == b.File->Size && a.File->Time == b.File->Time;
}

}  // namespace

TListsModel::TListsModel(const TIncomingPoller& poller, QObject* parent)
    : QAbstractTableModel(parent), poller_(poller) {}

int TListsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TListsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

const TListsModel::TRow* TListsModel::Row(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? &rows_[static_cast<std::size_t>(row)]
                                                            : nullptr;
}

int TListsModel::RowOf(const std::filesystem::path& file) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].File->Path.native() == file.native()) return static_cast<int>(i);
    return -1;
}

QVariant TListsModel::data(const QModelIndex& index, int role) const {
    const TRow* row = Row(index.row());
    if (row == nullptr) return {};
    const job::TIncomingFile& file = *row->File;
    const bool working = !inWork_.empty() && file.Path.native() == inWork_.native();
    switch (role) {
        case Qt::DisplayRole: {
            const job::TListState* state = poller_.StateOf(file.Path);
            switch (index.column()) {
                case Name:
                    return ToQ(file.Name + (working ? " (в работе)"_cp1251 : ""));
                case Time:
                    return QDateTime::fromMSecsSinceEpoch(file.Time / 1000000)
                        .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
                case Pieces:
                    if (state == nullptr) return QString();
                    return state->Read ? QString::number(state->Pieces) : QStringLiteral("-");
                case State:
                    if (!row->Complete) return ToQ("записывается"_cp1251);
                    return state ? ToQ(job::ListStateText(*state)) : ToQ("…"_cp1251);
                default:
                    return {};
            }
        }
        case Qt::BackgroundRole:
            return working ? QVariant(QColor(0xc8, 0xf0, 0xc8)) : QVariant();
        case Qt::ForegroundRole:
            return !row->Complete || old_ ? QVariant(QColor(0x80, 0x80, 0x80)) : QVariant();
        default:
            return {};
    }
}

QVariant TListsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[kColumns] = {"Список", "Дата и время", "Строк", "Состояние"};
    return section >= 0 && section < kColumns ? ToQ(Utf8ToCp1251(kTitles[section])) : QVariant();
}

std::string TListsModel::Text(int row, int column) const {
    return FromQ(data(index(row, column), Qt::DisplayRole).toString());
}

void TListsModel::Update(const std::filesystem::path& inWork, bool old) {
    std::shared_ptr<const TIncomingSnapshot> shot = poller_.Shared();
    std::vector<TRow> rows;
    if (shot->Look.Readable) {
        rows.reserve(shot->Look.Files.size());
        for (const job::TIncomingFile& file : shot->Look.Files)
            rows.push_back({&file, shot->IsComplete(&file)});
    }
    const bool marks = inWork != inWork_ || old != old_;
    inWork_ = inWork;
    old_ = old;
    bool sameLists = rows.size() == rows_.size();
    for (std::size_t i = 0; sameLists && i < rows.size(); ++i)
        sameLists = rows[i].File->Name == rows_[i].File->Name;
    // A first listing, or a folder gone: nothing of the old rows to keep.
    if (!sameLists && (rows_.empty() || rows.empty() || !MoveRows(rows))) {
        beginResetModel();
        rows_ = std::move(rows);
        shown_ = std::move(shot);
        endResetModel();
        return;
    }
    // The same lists in the same order now: only what changed in them is told, once the rows
    // point into the new listing.
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!SameRow(rows[i], rows_[i])) changed.push_back(i);
        rows_[i] = rows[i];
    }
    shown_ = std::move(shot);
    const int last = static_cast<int>(rows_.size()) - 1;
    if (last < 0) return;
    if (marks || changed.size() > kMaxChangedRows) {
        emit dataChanged(index(0, 0), index(last, kColumns - 1));
        return;
    }
    for (std::size_t i = 0; i < changed.size();) {
        std::size_t end = i + 1;
        while (end < changed.size() && changed[end] == changed[end - 1] + 1) ++end;
        emit dataChanged(index(static_cast<int>(changed[i]), 0),
                         index(static_cast<int>(changed[end - 1]), kColumns - 1));
        i = end;
    }
}

bool TListsModel::MoveRows(const std::vector<TRow>& rows) {
    // Where each list of the new listing stands; found marks those the old one holds too.
    std::unordered_map<std::string_view, std::size_t> after;
    after.reserve(rows.size());
    for (std::size_t j = 0; j < rows.size(); ++j) after.emplace(rows[j].File->Name, j);
    std::vector<bool> removed(rows_.size()), added(rows.size(), true);
    int runs = 0;
    std::size_t lastPlace = 0;
    bool placed = false;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const auto it = after.find(rows_[i].File->Name);
        if (it == after.end()) {
            removed[i] = true;
            if (i == 0 || !removed[i - 1]) ++runs;
            continue;
        }
        if (placed && it->second < lastPlace) return false;  // a list moved: its time changed
        lastPlace = it->second;
        placed = true;
        added[it->second] = false;
    }
    for (std::size_t j = 0; j < rows.size(); ++j)
        if (added[j] && (j == 0 || !added[j - 1])) ++runs;
    if (runs > kMaxRuns) return false;

    for (int i = static_cast<int>(rows_.size()) - 1; i >= 0;) {
        if (!removed[static_cast<std::size_t>(i)]) {
            --i;
            continue;
        }
        const int lastRow = i;
        while (i >= 0 && removed[static_cast<std::size_t>(i)]) --i;
        beginRemoveRows({}, i + 1, lastRow);
        rows_.erase(rows_.begin() + i + 1, rows_.begin() + lastRow + 1);
        endRemoveRows();
    }
    // What stays is in the new order now; each run of new lists goes in at its place.
    for (int j = 0; j < static_cast<int>(rows.size());) {
        if (!added[static_cast<std::size_t>(j)]) {
            ++j;
            continue;
        }
        const int first = j;
        while (j < static_cast<int>(rows.size()) && added[static_cast<std::size_t>(j)]) ++j;
        beginInsertRows({}, first, j - 1);
        rows_.insert(rows_.begin() + first, rows.begin() + first, rows.begin() + j);
        endInsertRows();
    }
    return true;
}

void TListsModel::StatesRead() {
    // One notice for the columns of them all: the view repaints the rows it shows.
    if (!rows_.empty())
        emit dataChanged(index(0, Pieces), index(static_cast<int>(rows_.size()) - 1, State));
}

}  // namespace tandrel::console
