#include "console/label_preview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QVBoxLayout>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "console/label_render.h"
#include "console/qt_text.h"
#include "console/windows_common.h"
#include "labels/zpl_layout.h"

namespace tandrel::console {

TLabelPreview::TLabelPreview(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("LabelPreview"));
    setWindowTitle(ToQ("Этикетка"_cp1251));
    setFont(WindowFont());
    auto* column = new QVBoxLayout(this);
    Caption = new QLabel(this);
    Caption->setObjectName(QStringLiteral("LabelCaption"));
    column->addWidget(Caption);
    auto* row = new QHBoxLayout;
    column->addLayout(row, 1);
    Picture = new QLabel(this);
    Picture->setObjectName(QStringLiteral("LabelPicture"));
    Picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The label's edge shows against the window.
    Picture->setStyleSheet(QStringLiteral("QLabel { border: 1px solid gray; background: white; }"));
    row->addWidget(Picture, 0, Qt::AlignTop);
    auto* side = new QVBoxLayout;
    row->addLayout(side);
    side->addWidget(new QLabel(ToQ("Не показано:"_cp1251), this));
    Unknown = new QListWidget(this);
    Unknown->setObjectName(QStringLiteral("UnknownCommands"));
    Unknown->setMinimumWidth(180);
    side->addWidget(Unknown, 1);
}

void TLabelPreview::ShowLabel(const std::string& zpl, const std::string& caption) {
    const labels::TZplLayout layout = labels::LayOutZpl(zpl);
    const QImage image = RenderLabel(layout);
    Picture->setPixmap(QPixmap::fromImage(image));
    Picture->setFixedSize(image.size() + QSize(2, 2));
    const char separator = DecimalSeparator();
    auto mm = [separator](int dots) {
        return FormatGeneral(dots / double(labels::kDotsPerMillimetre), separator);
    };
    SetControlText(Caption,
                   caption + "  (" + mm(layout.Width) + " x " + mm(layout.Height) + " мм)"_cp1251);
    Unknown->clear();
    for (const auto& command : layout.Unknown) Unknown->addItem(ToQ(command));
    for (const auto& notice : layout.Notices) Unknown->addItem(ToQ(notice));
    adjustSize();
}

}  // namespace tandrel::console
