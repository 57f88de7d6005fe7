#include "console/qt_text.h"

#include "base/cp1251.h"

namespace tandrel::console {

QString ToQ(std::string_view cp1251) {
    return QString::fromStdU16String(Cp1251ToUtf16(cp1251));
}

std::string FromQ(const QString& text) {
    return Utf16ToCp1251(text.toStdU16String());
}

namespace {
template <class Control>
bool SetIfChanged(Control* control, std::string_view cp1251) {
    const QString text = ToQ(cp1251);
    if (control->text() == text) return false;
    control->setText(text);
    return true;
}
}  // namespace

bool SetControlText(QLineEdit* control, std::string_view cp1251) {
    return SetIfChanged(control, cp1251);
}
bool SetControlText(QLabel* control, std::string_view cp1251) {
    return SetIfChanged(control, cp1251);
}

std::string ControlText(const QLineEdit* control) {
    return FromQ(control->text());
}
std::string ControlText(const QLabel* control) {
    return FromQ(control->text());
}

}  // namespace tandrel::console
