#pragma once
// The end of the operator's session closes the main window the normal way, so that its
// FormClose runs (and the settings are written). One implementation file per platform.

class QWidget;

namespace tandrel::program {

// Linux: SIGTERM and SIGINT; Windows: the end of the user's session. Main thread, once.
void CloseOnSessionEnd(QWidget* mainWindow);

}  // namespace tandrel::program

#include <string>

namespace tandrel::program {

// A line for a script on standard error, in the text its console shows: UTF-8 on Linux, the
// system's ANSI code page (Windows-1251 where the program is used) on Windows.
void SayOnStderr(const std::string& cp1251);

}  // namespace tandrel::program
