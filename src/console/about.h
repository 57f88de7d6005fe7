#pragma once
// The about window.

#include <QDialog>

class QLabel;
class QPushButton;

namespace tandrel::console {

class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QWidget* Panel1 = nullptr;  // holds the picture and the two lines
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QPushButton* OKButton = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
};

extern TAboutBox* AboutBox;

}  // namespace tandrel::console
