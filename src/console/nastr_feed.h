#pragma once
// The plant feed's rows of the settings window: the broker, the station's name, and a remark
// while the journal (the source of the pieces it sends) is off.

class QFormLayout;
class QLabel;
class QLineEdit;

namespace tandrel::console {

struct TFeedRows {
    QLineEdit* Broker = nullptr;   // setting o, "host:port"
    QLineEdit* Station = nullptr;  // setting q
    QLabel* JournalOff = nullptr;  // shown while "Вести журнал" is not checked
};

// Adds the rows to layout; the window fills, applies and drops them like its other values.
TFeedRows AddFeedRows(QFormLayout* layout);

// A broker text refused by "Применить" is marked until it is corrected.
void MarkBroker(const TFeedRows& rows, bool refused);

}  // namespace tandrel::console
