#pragma once
// The one place where the program's Windows-1251 texts meet Qt's Unicode strings, and the
// control-text rule every window relies on.

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <string>
#include <string_view>

namespace tandrel::console {

QString ToQ(std::string_view cp1251);
std::string FromQ(const QString& text);

// Sets a control's text only when it differs from what the control shows. A change handler
// connected to the control's textChanged therefore runs inside this call, and only on a real
// change. Returns true when the text changed. Main thread only.
bool SetControlText(QLineEdit* control, std::string_view cp1251);
bool SetControlText(QLabel* control, std::string_view cp1251);

// The control's text as Windows-1251 bytes.
std::string ControlText(const QLineEdit* control);
std::string ControlText(const QLabel* control);

}  // namespace tandrel::console
