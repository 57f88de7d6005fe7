#pragma once
// The end of the operator's session closes the main window the normal way, so that its
// FormClose runs (and the settings are written). One implementation file per platform.

class QWidget;

namespace tandrel::program {

// Linux: SIGTERM and SIGINT; Windows: the end of the user's session. Main thread, once.
void CloseOnSessionEnd(QWidget* mainWindow);

}  // namespace tandrel::program
