#include <QGuiApplication>
#include <QSessionManager>
#include <QWidget>

#include "program/session.h"

namespace tandrel::program {

void CloseOnSessionEnd(QWidget* mainWindow) {
    // Windows asks the application to save its data when the user's session ends.
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, mainWindow,
                     [mainWindow](QSessionManager&) { mainWindow->close(); });
}

}  // namespace tandrel::program
