#pragma once
// The operator's own fields of the main window, on top of the form's controls: the target in
// work and where the stop stands, the entries pending on the keypad and on the device's
// keypad, and the link indicator beside the status line. Main thread only.

#include <string>

#include "console/operator_view.h"

class QLabel;
class QMessageBox;
class QPushButton;
class QTimer;
class QWidget;

namespace tandrel::console {

struct TOperatorFields {
    QWidget* TargetPanel = nullptr;  // under the position display
    QLabel* TargetValue = nullptr;   // "Цель: 1235"
    QLabel* TargetState = nullptr;   // "на месте", "упор на 3050", ...
    QPushButton* Reprint = nullptr;  // "Печать этикетки", the row's last button
    QWidget* EntryPanel = nullptr;   // shown while an entry is pending
    QLabel* EntryHint = nullptr;
    QPushButton* EntryClear = nullptr;  // "Стереть": empties the keypad's entry
    QLabel* LinkIndicator = nullptr;    // beside the status line, never used for notices
    QLabel* FeedIndicator = nullptr;    // the plant feed's connection, shown while it is on
    QTimer* Refresh = nullptr;          // the device keypad and the link change between events

    TTargetShown Target;
    TTargetLook Look = TTargetLook::None;
    bool LinkUp = false;
    bool Styled = false;        // the colours above have been set once
    bool InfoLineRed = false;   // the info line shows the out-of-range message
    std::string RefusalNotice;  // the refusal on the status line, while it is shown
};

// Buttons of a message box at least 20 mm (76 px at 96 dpi) high, and a font read from afar.
void FitForGloves(QMessageBox& box);

}  // namespace tandrel::console
