#pragma once
// A one-line label that never asks its window for room: a text wider than the label is drawn
// cut short with an ellipsis, while text() keeps the whole of it.

#include <QLabel>

namespace tandrel::console {

class TElidedLabel : public QLabel {
  public:
    explicit TElidedLabel(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The text as drawn at the label's present width.
    QString ShownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tandrel::console
