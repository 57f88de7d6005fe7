#include "console/about.h"

#include <qdrawutil.h>

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "base/cp1251.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

namespace tandrel::console {

TAboutBox* AboutBox = nullptr;

namespace {
// A panel with a lowered outer and a raised inner bevel, one pixel each.
class TBevelPanel : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        qDrawShadePanel(&painter, rect(), palette(), true, 1);
        qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), palette(), false, 1);
    }
};
}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(ToQ("О программе"_cp1251));
    setFont(WindowFont());
    setFixedSize(254, 191);  // fixed dialog border
    auto* panel = new TBevelPanel(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(8, 8, 233, 137);
    Panel1 = panel;
    ProgramIcon = new QLabel(panel);
    ProgramIcon->setGeometry(8, 8, 129, 73);
    ProgramIcon->setPixmap(ProgramPicture(129, 73));
    ProgramIcon->setScaledContents(true);
    ProductName = new QLabel(QStringLiteral("Tandrel 32bit"), panel);
    ProductName->move(153, 16);
    Version = new QLabel(ToQ("Версия 2.0"_cp1251), panel);
    Version->move(155, 40);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(95, 148, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* event) {
    // Centred on the main window.
    if (QWidget* owner = parentWidget()) move(owner->geometry().center() - rect().center());
    QDialog::showEvent(event);
}

}  // namespace tandrel::console
