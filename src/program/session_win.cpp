#include <QGuiApplication>
#include <QSessionManager>
#include <QWidget>
#include <cstdio>

#include "console/session_end.h"
#include "program/session.h"

namespace tandrel::program {

void CloseOnSessionEnd(QWidget* mainWindow) {
    // Windows asks the application to save its data when the user's session ends.
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, mainWindow,
                     [mainWindow](QSessionManager&) { console::EndSession(mainWindow); });
}

void SayOnStderr(const std::string& cp1251) {
    std::fprintf(stderr, "%s\n", cp1251.c_str());
}

}  // namespace tandrel::program
