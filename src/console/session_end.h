#pragma once
// The end of the operator's session (a signal on Linux, the end of a Windows session): the
// program ends the way the operator would end it, so that the settings file is written.

class QWidget;

namespace tandrel::console {

// Answers every open modal box or dialog as Escape would (the restart question with No, a
// message with its OK, the open dialog with Cancel), closes the other windows, then closes the
// main window, whose close handler writes the settings. A box that opens later is answered the
// same way. Main thread.
void EndSession(QWidget* mainWindow);

}  // namespace tandrel::console
