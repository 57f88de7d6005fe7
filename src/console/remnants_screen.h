#pragma once
// The "Остатки" screen: the store's remnants, newest first, in large type for a touch screen; a
// touch selects one, "Удалить" removes it and "Этикетка" prints its label again. It shows what
// it is given and asks the main window to change the store. Main thread only.

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "plan/remnant_store.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace tandrel::console {

class TRemnantsScreen : public QDialog {
    Q_OBJECT
  public:
    explicit TRemnantsScreen(QWidget* parent);

    QLabel* Notice = nullptr;  // a remnant not found, the store not written, lines skipped
    QTableWidget* Table = nullptr;
    QPushButton* RemoveButton = nullptr;  // "Удалить"
    QPushButton* PrintButton = nullptr;   // "Этикетка"
    QPushButton* CloseButton = nullptr;

    // Removes the remnant from the store: "" or why not (Windows-1251). The screen then shows
    // the store again through Show.
    std::function<std::string(const std::string& id)> OnRemove;
    // Prints the remnant's label again.
    std::function<void(const std::string& id)> OnPrint;

    // The rows, newest first; the selected remnant stays selected while it is there.
    void Show(const std::vector<plan::TStoredRemnant>& newest);
    // Selects the remnant and brings its row into view; false (and "Остаток <id> не найден")
    // when the screen has none of that id.
    bool Select(const std::string& id);
    // A notice in red (Windows-1251); "" hides it.
    void Say(const std::string& cp1251);
    std::string SelectedId() const;
    int RowCount() const;
    // The text of a cell as shown (Windows-1251): 0 id, 1 length, 2 material, 3 date, 4 list.
    std::string CellText(int row, int column) const;

  private:
    void RemoveSelected();
};

}  // namespace tandrel::console
