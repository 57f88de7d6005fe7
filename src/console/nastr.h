#pragma once
// The settings window: font sizes and switches, edited in memory; the file itself is written
// by the main window at its close and at a change of data directory.

#include <QDialog>
#include <array>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tandrel::console {

class TForm3 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* parent = nullptr);

    QTableWidget* ValueListEditor1 = nullptr;  // rows 1 to 3: the three font sizes
    QCheckBox* CheckBox1 = nullptr;            // "Клавиатура"
    QCheckBox* CheckBox2 = nullptr;            // "Коррекция"
    QCheckBox* CheckBox4 = nullptr;            // "Номера подряд"
    QCheckBox* CheckBox5 = nullptr;     // "Отправлять размеры на упор"
    QCheckBox* CheckBox6 = nullptr;     // "Вести журнал"
    QPushButton* BitBtn1 = nullptr;     // "Применить"
    QLabel* Label1 = nullptr;           // hidden: the label printer's controls
    QCheckBox* CheckBox3 = nullptr;     // hidden: "Печать этикеток"
    QComboBox* ComboBox1 = nullptr;     // hidden: the label printer's port
    QPushButton* Button1 = nullptr;     // hidden: "Тест"
    QLineEdit* IncomingEdit = nullptr;  // " Папка входящих списков", empty for d's
    QPushButton* IncomingChoose = nullptr;  // its folder chooser

    // Value row n (1 to 3) as Windows-1251 text.
    std::string ValueRow(int row) const;
    void SetValueRow(int row, const std::string& cp1251);
    // Marks a row the operator must correct (or clears the mark).
    void MarkValueRow(int row, bool refused);
    bool ValueRowMarked(int row) const;

    void FormShow();
    void BitBtn1Click();
    void FormClose();
    void CheckBox3Click();
    void ComboBox1Change();
    void Button1Click();

    // The serial ports offered for the label printer; the main window sets the source.
    std::function<std::vector<std::string>()> PortList;
    // "Тест": prints the test label; set by the label printing.
    std::function<void()> OnTestLabel;

    // The chooser's dialog; tests replace it. Returns the chosen folder, empty when cancelled.
    std::function<QString(const QString& start)> ChooseFolder;

  protected:
    void AddIncomingFolderRow(QBoxLayout* layout);
    void CopySwitches();
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
};

extern TForm3* Form3;

}  // namespace tandrel::console
