#include "console/lists_model.h"

#include <QColor>
#include <QDateTime>
#include <string_view>
#include <unordered_set>

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
    return a.Complete == b.Complete && a.File == b.File;
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
    const auto it = index_.find(file.string());
    return it == index_.end() ? -1 : it->second;
}

QVariant TListsModel::data(const QModelIndex& index, int role) const {
    const TRow* row = Row(index.row());
    if (row == nullptr) return {};
    const bool working = !inWork_.empty() && row->File.Path == inWork_;
    switch (role) {
        case Qt::DisplayRole: {
            const job::TListState* state = poller_.StateOf(row->File.Path);
            switch (index.column()) {
                case Name:
                    return ToQ(row->File.Name + (working ? " (в работе)"_cp1251 : ""));
                case Time:
                    return QDateTime::fromMSecsSinceEpoch(row->File.Time / 1000000)
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
    const TIncomingSnapshot& shot = poller_.Last();
    std::vector<TRow> rows;
    if (shot.Look.Readable) {
        rows.reserve(shot.Look.Files.size());
        for (const job::TIncomingFile& file : shot.Look.Files)
            rows.push_back({file, shot.IsComplete(&file)});
    }
    const bool marks = inWork != inWork_ || old != old_;
    inWork_ = inWork;
    old_ = old;
    bool sameLists = rows.size() == rows_.size();
    for (std::size_t i = 0; sameLists && i < rows.size(); ++i)
        sameLists = rows[i].File.Name == rows_[i].File.Name;
    if (!sameLists && !MoveRows(rows)) {
        beginResetModel();
        rows_ = std::move(rows);
        Index();
        endResetModel();
        return;
    }
    // The same lists in the same order now: only what changed in them is told.
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (SameRow(rows[i], rows_[i])) continue;
        rows_[i] = std::move(rows[i]);
        changed.push_back(i);
    }
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
    std::unordered_map<std::string_view, int> after;
    after.reserve(rows.size());
    for (std::size_t j = 0; j < rows.size(); ++j)
        after.emplace(rows[j].File.Name, static_cast<int>(j));
    std::unordered_set<std::string_view> before;
    before.reserve(rows_.size());
    std::vector<bool> removed(rows_.size());
    int runs = 0;
    int lastPlace = -1;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        before.insert(rows_[i].File.Name);
        const auto it = after.find(rows_[i].File.Name);
        if (it == after.end()) {
            removed[i] = true;
            if (i == 0 || !removed[i - 1]) ++runs;
            continue;
        }
        if (it->second < lastPlace) return false;  // a list moved: its time changed
        lastPlace = it->second;
    }
    std::vector<bool> added(rows.size());
    for (std::size_t j = 0; j < rows.size(); ++j) {
        added[j] = !before.contains(rows[j].File.Name);
        if (added[j] && (j == 0 || !added[j - 1])) ++runs;
    }
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
    Index();
    return true;
}

void TListsModel::Index() {
    index_.clear();
    index_.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i)
        index_.emplace(rows_[i].File.Path.string(), static_cast<int>(i));
}

void TListsModel::StatesRead(const std::vector<std::filesystem::path>& files) {
    for (const std::filesystem::path& file : files) {
        const int row = RowOf(file);
        if (row >= 0) emit dataChanged(index(row, Pieces), index(row, State));
    }
}

}  // namespace tandrel::console
