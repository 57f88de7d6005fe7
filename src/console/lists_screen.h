#pragma once
// The "Списки" screen: the lists of the incoming folder, newest first, with their state; a touch
// on a row (or Enter) opens it. It follows the folder's poller and never reads the folder itself;
// its rows change only while it is shown, and never while a finger is down on them. Main thread
// only.

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QTableView;

namespace tandrel::console {

class TIncomingPoller;
class TListsModel;

class TListsScreen : public QDialog {
    Q_OBJECT
  public:
    TListsScreen(TIncomingPoller& poller, QWidget* parent);

    QLabel* FolderLabel = nullptr;  // the folder's name
    QLabel* Notice = nullptr;       // a folder unreadable or late, a list that cannot open yet
    QTableView* Table = nullptr;
    QPushButton* CloseButton = nullptr;

    // Loads the list (its full name, Windows-1251); the screen has closed by then.
    std::function<void(const std::string& listName)> OnOpen;
    // The file of the list in work, to mark its row.
    std::function<std::filesystem::path()> ListInWork;

    // The rows from the poller's last listing, while the screen is shown.
    void Refresh();
    // Opens the list that row (from 0) shows now: Enter on the selected row.
    void OpenRow(int row);
    // Opens the list by its file, as a touch does with the row the finger went down on; a file
    // gone from the folder meanwhile is said and opens nothing.
    void OpenFile(const std::filesystem::path& file);
    int RowCount() const;
    // The text of a row's cell as shown (Windows-1251): 0 the name, 3 the state.
    std::string CellText(int row, int column) const;
    std::string StateText(int row) const { return CellText(row, 3); }

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Say(const std::string& cp1251);

    TIncomingPoller& poller_;
    TListsModel* model_ = nullptr;
    bool fingerDown_ = false;
    bool refreshHeld_ = false;       // a listing came while the finger was down
    std::filesystem::path touched_;  // the file of the row the finger went down on
    std::string said_;               // a notice of the screen's own, until the next listing
};

}  // namespace tandrel::console
