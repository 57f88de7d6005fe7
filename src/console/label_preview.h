#pragma once
// The label preview: a picture of a label at the printer's 8 dots per millimetre and, beside it,
// the commands the picture leaves out. Opened from the connection information window; closing
// it only hides it. Main thread only.

#include <QWidget>
#include <string>

class QLabel;
class QListWidget;

namespace tandrel::console {

class TLabelPreview : public QWidget {
    Q_OBJECT
  public:
    explicit TLabelPreview(QWidget* parent = nullptr);

    // Lays out and draws the ZPL bytes (as the printer receives them); caption (Windows-1251)
    // says whose label it is.
    void ShowLabel(const std::string& zpl, const std::string& caption);

    QLabel* Caption = nullptr;       // whose label, and its size in millimetres
    QLabel* Picture = nullptr;       // the label, one pixel per dot
    QListWidget* Unknown = nullptr;  // commands not drawn, and why
};

}  // namespace tandrel::console
