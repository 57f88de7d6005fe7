#include "console/nastr.h"

#include "base/cp1251.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

namespace tandrel::console {

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(ToQ("Настройки"_cp1251));
    setFont(WindowFont());
}

}  // namespace tandrel::console
