#include "console/Unit2.h"

#include "base/cp1251.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

namespace tandrel::console {

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(ToQ("Информация о подключении"_cp1251));
    setFont(WindowFont());
}

}  // namespace tandrel::console
