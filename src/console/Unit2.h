#pragma once
// The connection information window: the device's identity, limits and position, the list's
// row count, and the counters of the automatic test mode. Closing it only hides it.

#include <QWidget>
#include <array>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tandrel::console {

class TLabelPreview;

// A label as the printer would receive it, and whose it is (Windows-1251).
struct TLabelToPreview {
    std::string Zpl;
    std::string Caption;
};

class TForm2 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm2(QWidget* parent = nullptr);

    // LabeledEdit1 .. LabeledEdit11, read-only; Field(n) is LabeledEdit<n>.
    QLineEdit* Field(int n) const { return fields_.at(static_cast<std::size_t>(n - 1)); }
    QLabel* FieldLabel(int n) const { return labels_.at(static_cast<std::size_t>(n - 1)); }
    QLineEdit* LabeledEdit4() const { return Field(4); }  // "Текущее положение"
    QLineEdit* LabeledEdit8() const { return Field(8); }  // "COM порт"
    QLineEdit* LabeledEdit9() const { return Field(9); }  // "Записей"

    QCheckBox* CheckBox1 = nullptr;  // "авто"
    QPushButton* Button1 = nullptr;  // "Этикетка": the preview of the next step's label

    // The label the next step would print; set by the main window.
    std::function<TLabelToPreview()> NextLabel;
    void Button1Click();
    TLabelPreview* LabelPreview() const { return preview_; }

    // Pieces from the production journal: today's and those of the last hour.
    QLineEdit* LabeledEdit12 = nullptr;  // "Штук сегодня"
    QLineEdit* LabeledEdit13 = nullptr;  // "Штук за час"
    void ShowPieces(int today, int lastHour);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::array<QLineEdit*, 11> fields_{};
    std::array<QLabel*, 11> labels_{};
    TLabelPreview* preview_ = nullptr;  // made at the first click
};

extern TForm2* Form2;

}  // namespace tandrel::console
