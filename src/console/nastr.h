#pragma once
// The settings window: font sizes and switches, edited in memory; the file is written by the
// main window.

#include <QDialog>

namespace tandrel::console {

class TForm3 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* parent = nullptr);
};

extern TForm3* Form3;

}  // namespace tandrel::console
