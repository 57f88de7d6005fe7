#pragma once
// The "Списки" screen: the lists of the incoming folder, newest first, with their state; a touch
// on a row (or Enter) opens it. It follows the folder's poller and never reads the folder itself.
// Main thread only.

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace tandrel::console {

class TIncomingPoller;

class TListsScreen : public QDialog {
    Q_OBJECT
  public:
    TListsScreen(TIncomingPoller& poller, QWidget* parent);

    QLabel* FolderLabel = nullptr;  // the folder's name
    QLabel* Notice = nullptr;       // an unreadable folder, a list still being written
    QTableWidget* Table = nullptr;
    QPushButton* CloseButton = nullptr;

    // Loads the list (its full name, Windows-1251); the screen has closed by then.
    std::function<void(const std::string& listName)> OnOpen;
    // The file of the list in work, to mark its row.
    std::function<std::filesystem::path()> ListInWork;

    // The rows from the poller's last look.
    void Refresh();
    // A touch on row (from 0), or Enter on it.
    void OpenRow(int row);
    // The row's state column as shown (Windows-1251), for tests.
    std::string StateText(int row) const;

  private:
    struct TRow {
        std::filesystem::path Path;
        std::string Name;
        bool Complete = false;
    };
    TIncomingPoller& poller_;
    std::vector<TRow> rows_;
};

}  // namespace tandrel::console
