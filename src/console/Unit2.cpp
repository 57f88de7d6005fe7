#include "console/Unit2.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/cp1251.h"
#include "console/label_preview.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

namespace tandrel::console {

TForm2* Form2 = nullptr;

namespace {
struct FieldPlace {
    const char* caption;  // UTF-8
    int top;
    const char* initial;
};
constexpr FieldPlace kFields[11] = {
    {"Серийный номер", 32, ""},     {"Минимум", 56, ""},      {"Максимум", 80, ""},
    {"Текущее положение", 104, ""}, {"Состояние", 128, ""},   {"Точность", 152, ""},
    {"Версия прошивки", 176, ""},   {"COM порт", 200, ""},    {"Записей", 224, "0"},
    {"Перемещений", 247, "0"},      {"Расстояние", 270, "0"},
};
}  // namespace

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(ToQ("Информация о подключении"_cp1251));
    setFont(WindowFont());
    setFixedSize(319, 384);
    for (int i = 0; i < 11; ++i) {
        const FieldPlace& place = kFields[i];
        auto* field = new QLineEdit(ToQ(Utf8ToCp1251(place.initial)), this);
        field->setObjectName(QStringLiteral("LabeledEdit%1").arg(i + 1));
        field->setReadOnly(true);
        field->setGeometry(120, place.top, 121, 21);
        auto* label = new QLabel(ToQ(Utf8ToCp1251(place.caption)), this);
        label->setGeometry(4, place.top, 112, 21);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setBuddy(field);
        fields_[static_cast<std::size_t>(i)] = field;
        labels_[static_cast<std::size_t>(i)] = label;
    }
    CheckBox1 = new QCheckBox(ToQ("авто"_cp1251), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(120, 296, 49, 17);
    Button1 = new QPushButton(ToQ("Этикетка"_cp1251), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(172, 292, 69, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    auto addPieces = [this](int n, const char* caption, int top) {
        auto* field = new QLineEdit(QStringLiteral("0"), this);
        field->setObjectName(QStringLiteral("LabeledEdit%1").arg(n));
        field->setReadOnly(true);
        field->setGeometry(120, top, 121, 21);
        auto* label = new QLabel(ToQ(Utf8ToCp1251(caption)), this);
        label->setGeometry(4, top, 112, 21);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setBuddy(field);
        return field;
    };
    LabeledEdit12 = addPieces(12, "Штук сегодня", 320);
    LabeledEdit13 = addPieces(13, "Штук за час", 344);
}

void TForm2::Button1Click() {
    if (!NextLabel) return;
    const TLabelToPreview label = NextLabel();
    if (preview_ == nullptr) preview_ = new TLabelPreview(this);
    preview_->ShowLabel(label.Zpl, label.Caption);
    preview_->show();
    preview_->raise();
}

void TForm2::ShowPieces(int today, int lastHour) {
    SetControlText(LabeledEdit12, std::to_string(today));
    SetControlText(LabeledEdit13, std::to_string(lastHour));
}

void TForm2::showEvent(QShowEvent* event) {
    // X11 window managers put a minimise box on every dialog whatever the hints ask; the
    // toolbar type is the one they keep to a title and a close box. Other platforms ignore
    // it. Set once the native window exists, before it is mapped.
    if (!testAttribute(Qt::WA_X11NetWmWindowTypeToolBar))
        setAttribute(Qt::WA_X11NetWmWindowTypeToolBar);
    if (QWidget* owner = parentWidget()) move(owner->geometry().center() - rect().center());
    QWidget::showEvent(event);
}

}  // namespace tandrel::console
