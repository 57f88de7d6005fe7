// The program's entry: the application, the four windows, the message loop.

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "base/cp1251.h"
#include "base/system.h"
#include "console/Unit1.h"
#include "console/application.h"
#include "console/windows.h"
#include "feed/feed_secret.h"
#include "program/session.h"

namespace {

// With TANDREL_SCREENSHOT set (the run script sets it where there is no display), the main
// window is saved there as PNG every TANDREL_SCREENSHOT_SECONDS seconds (5 by default), so
// that a program running offscreen can still be seen; a screen open over it is saved beside.
void StartScreenshots(QWidget* window) {
    const char* path = std::getenv("TANDREL_SCREENSHOT");
    if (path == nullptr || *path == '\0') return;
    int seconds = 5;
    if (const char* text = std::getenv("TANDREL_SCREENSHOT_SECONDS")) {
        const int value = std::atoi(text);
        if (value > 0) seconds = value;
    }
    auto* timer = new QTimer(window);
    const QString file = QString::fromLocal8Bit(path);
    auto save = [window, file] {
        auto saveAs = [](QWidget* shown, const QString& name) {
            const QString partial = name + QStringLiteral(".part.png");
            // Saved beside and renamed, so that a viewer never reads half a picture.
            if (shown->grab().save(partial, "PNG")) {
                QFile::remove(name);
                QFile::rename(partial, name);
            }
        };
        saveAs(window, file);
        // A named screen open over the window (the lists) beside it, as "<file>-<its name>.png".
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != window && !modal->objectName().isEmpty()) {
            QString name = file;
            if (name.endsWith(QStringLiteral(".png"))) name.chop(4);
            saveAs(modal, name + QLatin1Char('-') + modal->objectName() + QStringLiteral(".png"));
        }
    };
    QObject::connect(timer, &QTimer::timeout, window, save);
    timer->start(seconds * 1000);
    QTimer::singleShot(1000, window, save);
}

int Tandrel(int argc, char** argv) {
    tandrel::console::TApplication application(argc, argv);
    tandrel::console::LoadProgramFonts();
    tandrel::console::LoadQtTranslations();
    tandrel::console::CreateWindows();
    QWidget* main = tandrel::console::Form1;
    tandrel::program::CloseOnSessionEnd(main);
    StartScreenshots(main);
    main->showMaximized();
    // The session may end while the first show still waits on a box (the restart question of
    // the command line's list): the main window is closed then, and there is nothing to run.
    const int result = main->isVisible() ? application.exec() : 0;
    tandrel::console::DestroyWindows();
    return result;
}

// Tandrel --feed-password: one line of standard input becomes the station's broker password,
// for the scripts that set stations up; no window opens. 0 when stored, 2 with the reason.
int FeedPassword() {
    using tandrel::operator""_cp1251;
    std::string line;
    if (!std::getline(std::cin, line)) {
        tandrel::program::SayOnStderr("Пароль не задан: на входе нет строки"_cp1251);
        return 2;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
        tandrel::feed::StorePassword(tandrel::ProgramDir(), line);
    } catch (const std::exception& e) {
        tandrel::program::SayOnStderr(e.what());
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "--feed-password") return FeedPassword();
    return Tandrel(argc, argv);
}
