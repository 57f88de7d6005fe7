#pragma once
// The connection information window: the device's identity, limits and position, and the
// automatic test mode.

#include <QWidget>

namespace tandrel::console {

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
};

extern TForm2* Form2;

}  // namespace tandrel::console
