#pragma once
// The plant feed's rows of the settings window: the broker, the station's name, and a remark
// while the journal (the source of the pieces it sends) is off.

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tandrel::console {

struct TFeedRows {
    QLineEdit* Broker = nullptr;         // setting o, "host:port"
    QLineEdit* Station = nullptr;        // setting q
    QPushButton* Credentials = nullptr;  // "Брокер…": log-in and TLS files
    // Shown while "Вести журнал" is not checked, or with why "Применить" refused the feed.
    QLabel* JournalOff = nullptr;
};

// Adds a captioned row (an empty caption: the control alone) to the window's group, with a
// button in the group's column of buttons.
using TAddRow =
    std::function<void(const std::string& captionCp1251, QWidget* control, QWidget* button)>;

// Adds the rows through addRow; the window fills, applies and drops them like its other values.
TFeedRows AddFeedRows(const TAddRow& addRow);

// The feed refused by "Применить" (reason, Windows-1251) is marked and said until it is
// corrected; an empty reason clears it. journalOn: the remark's other use.
void MarkFeed(const TFeedRows& rows, const std::string& reason, bool journalOn);

}  // namespace tandrel::console
