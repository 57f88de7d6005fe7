#pragma once
// The program's windows on a temporary program directory, for the window tests.

#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/files.h"
#include "console/Unit1.h"
#include "console/windows.h"
#include "console/windows_common.h"

namespace tandrel::console::testing {

// The argument count the application is given: the program's name alone. The rest of the test
// runner's arguments (a test function's name, "-o file,txt") are QtTest's, not the program's, and
// its first show would take the first of them for a list to load.
inline int& ProgramArgc() {
    static int argc = 1;
    return argc;
}

// Creates the windows and shows the main window, which runs its FormShow.
inline void StartWindows() {
    CreateWindows();
    Form1->showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
}

// The first visible child of window that does not lie wholly inside it (clipped at the
// operator's screen size), or nullptr.
inline QWidget* FirstClippedChild(QWidget* window) {
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (!child->isVisible()) continue;
        const QRect box(child->mapTo(window, QPoint(0, 0)), child->size());
        if (!window->rect().contains(box)) return child;
    }
    return nullptr;
}

// The handshake thread stores the device's starting values (limits, precision) as it begins and
// then shows Start: a test that sets its own limits waits for that first, or they are overwritten.
inline void WaitForStartingValues() {
    QTRY_VERIFY(Form1->BitBtn1->isVisible());
}

// What the open dialog was given, seen from inside its event loop.
struct TSeenDialog {
    QStringList filters;
    QString directory;
};
// The next open dialog chooses file (or is cancelled when file is empty) as the operator would.
inline void ChooseInNextOpenDialog(const QString& file, TSeenDialog& seen) {
    // Qt's own dialog, which a test can drive: the system's (Windows, Wine) is no widget.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, true);
    auto* poll = new QTimer(qApp);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, file, &seen] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        seen.filters = dialog->nameFilters();
        seen.directory = dialog->directory().absolutePath();
        if (file.isEmpty()) {
            dialog->reject();
        } else {
            // Typed as the operator would: selectFile leaves a focused name field as it is.
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(file);
            else
                dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();  // checks the file as the Open button does
        }
        if (dialog->isVisible()) return;  // not taken yet: the next tick tries again
        poll->stop();
        poll->deleteLater();
    });
    poll->start();
}

// Runs act on the next modal window of type T once it shows, from inside its event loop.
template <typename T>
inline void WhenModal(std::function<void(T*)> act) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window == nullptr || !window->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        act(window);
    });
    poll->start();
}

// Closes the main window the normal way (FormClose runs) and destroys the windows.
inline void CloseWindows() {
    if (Form1 == nullptr) return;
    Form1->close();
    DestroyWindows();
}

// A temporary program directory for the windows; the windows are closed before it goes.
class TProgramDir {
  public:
    TProgramDir() {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("tandrel-program-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        SetProgramDirectory(path_);
        // Progress files go to the current directory: keep them in here too.
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~TProgramDir() {
        CloseWindows();
        SetProgramDirectory({});
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TProgramDir(const TProgramDir&) = delete;
    TProgramDir& operator=(const TProgramDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const {
        return ReadWholeFile(path_ / name).value_or(std::string());
    }

  private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

}  // namespace tandrel::console::testing
