#pragma once
// The plant feed's rows of the settings window: the broker, the station's name, and a remark
// while the journal (the source of the pieces it sends) is off.

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QWidget;

namespace tandrel::console {

struct TFeedRows {
    QLineEdit* Broker = nullptr;   // setting o, "host:port"
    QLineEdit* Station = nullptr;  // setting q
    QLabel* JournalOff = nullptr;  // shown while "Вести журнал" is not checked
};

// Adds a captioned row (an empty caption: the control alone) to the window's group.
using TAddRow = std::function<void(const std::string& captionCp1251, QWidget* control)>;

// Adds the rows through addRow; the window fills, applies and drops them like its other values.
TFeedRows AddFeedRows(const TAddRow& addRow);

// A broker text refused by "Применить" is marked until it is corrected.
void MarkBroker(const TFeedRows& rows, bool refused);

}  // namespace tandrel::console
