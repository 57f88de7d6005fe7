#pragma once
// The column-map dialog: for each column of a table's header, which part of a list row it holds
// (size, quantity, caption, a label field E1 to E6, or nothing). Sized for a touch screen. Main
// thread only.

#include <QDialog>
#include <string>
#include <vector>

#include "job/column_maps.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace tandrel::console {

class TColumnMapDialog : public QDialog {
    Q_OBJECT
  public:
    // header: the column names (Windows-1251); roles: what each is to begin with.
    TColumnMapDialog(const std::string& listName, const std::vector<std::string>& header,
                     const std::vector<job::TColumnRole>& roles, QWidget* parent);

    std::vector<QComboBox*> Choices;  // one a column, in the header's order
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QLabel* Hint = nullptr;

    std::vector<job::TColumnRole> Roles() const;
    void SetRole(int column, job::TColumnRole role);

  private:
    void Check();
};

}  // namespace tandrel::console
