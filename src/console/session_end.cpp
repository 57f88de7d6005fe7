#include "console/session_end.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace tandrel::console {

namespace {

// Each modal window in turn, innermost first, gets the Escape key; one that does not close on
// it is rejected or closed.
void AnswerModalBoxes() {
    for (int guard = 0; guard < 32; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(modal, &escape);
        if (!modal->isVisible()) continue;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (modal->isVisible()) modal->hide();
    }
}

void CloseWindows(QWidget* mainWindow) {
    AnswerModalBoxes();
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != mainWindow && window->isVisible()) window->close();
    if (mainWindow->isVisible()) mainWindow->close();
}

}  // namespace

void EndSession(QWidget* mainWindow) {
    CloseWindows(mainWindow);
    // The code that waited on a box goes on once the box is gone and may open another one
    // (a load shows the CRC message, then asks the restart question): answer those too, until
    // the event loop ends.
    static QPointer<QTimer> sweeper;
    if (sweeper) return;
    sweeper = new QTimer(mainWindow);
    QObject::connect(sweeper, &QTimer::timeout, mainWindow,
                     [mainWindow] { CloseWindows(mainWindow); });
    sweeper->start(20);
}

}  // namespace tandrel::console
