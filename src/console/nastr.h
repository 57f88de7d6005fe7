#pragma once
// The settings window: font sizes and switches, edited in memory; the file itself is written
// by the main window at its close and at a change of data directory.

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console/Unit1.h"
#include "console/nastr_feed.h"
#include "labels/printer.h"
#include "printer/queue_printer.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tandrel::console {

class TBrokerDialog;

class TForm3 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* parent = nullptr);

    QTableWidget* ValueListEditor1 = nullptr;  // rows 1 to 3: the three font sizes
    QCheckBox* CheckBox1 = nullptr;            // "Клавиатура"
    QCheckBox* CheckBox2 = nullptr;            // "Коррекция"
    QCheckBox* CheckBox4 = nullptr;            // "Номера подряд"
    QCheckBox* CheckBox5 = nullptr;  // "Отправлять размеры на упор"
    QCheckBox* CheckBox6 = nullptr;  // "Вести журнал"
    QPushButton* BitBtn1 = nullptr;  // "Применить"

    // The group "Подключение": the station's ports and printer, applied by "Применить" alone.
    QGroupBox* GroupBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;  // "Порт устройства" (p)
    QComboBox* ComboBox1 = nullptr;  // "Принтер этикеток" (g): ports, queues, an address
    QCheckBox* CheckBox3 = nullptr;  // "Печать этикеток" (j)
    QCheckBox* CheckBox7 = nullptr;  // "Спрашивать состояние принтера" (n)
    QPushButton* Button1 = nullptr;  // "Тест"
    QLabel* Label2 = nullptr;        // the test label's outcome
    TFeedRows FeedRows;              // the plant feed's broker and station name (o, q)
    // "Брокер…", opened by FeedRows.Credentials: its values wait here for "Применить".
    TBrokerDialog* BrokerDialog = nullptr;
    QLineEdit* IncomingEdit = nullptr;  // " Папка входящих списков" (r), empty for d's
    QPushButton* IncomingChoose = nullptr;  // its folder chooser
    // Adds a row to the group: a caption, its control and optionally one more beside it, and
    // grows the window to hold it. Returns the row.
    int AddConnectionRow(const std::string& captionCp1251, QWidget* control,
                         QWidget* extra = nullptr);

    // Value row n (1 to 3) as Windows-1251 text.
    std::string ValueRow(int row) const;
    void SetValueRow(int row, const std::string& cp1251);
    // Marks a row the operator must correct (or clears the mark).
    void MarkValueRow(int row, bool refused);
    bool ValueRowMarked(int row) const;

    void FormShow();
    void BitBtn1Click();
    void FormClose();
    void CheckBox3Click();
    void ComboBox1Change();
    void Button1Click();

    // The serial ports offered for the device and the label printer; the main window sets the
    // source. PortList may raise.
    std::function<std::vector<std::string>()> PortList;
    // Asks for the system's print queues without waiting; ShowQueues gets them when they come.
    std::function<void()> RequestQueues;
    // The print queues ("printer:" names) joined to the printer's list, or why there are none.
    void ShowQueues(const printer::TQueueList& list);
    // "Тест": hands the test label with these settings to the printer; TestLabelDone gets its
    // outcome when it comes.
    std::function<void(const labels::TPrintSettings&)> OnTestLabel;
    void TestLabelDone(const labels::TPrintOutcome& outcome);
    // "Применить" with another device port: the link moves to it.
    std::function<void(const std::string& port)> OnDevicePortChanged;

    // The chooser's dialog; tests replace it. Returns the chosen folder, empty when cancelled.
    std::function<QString(const QString& start)> ChooseFolder;

  protected:
    void AddIncomingFolderRow();
    void CopySwitches();
    void BuildConnectionGroup();
    void ApplyConnection();
    void ShowConnection();
    // The printer as the group sets it now, applied or not.
    labels::TPrintSettings GroupPrintSettings() const;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void CredentialsClick();
    TFeedSetup feedSetup_;  // the feed's log-in and TLS files as shown, with a new password
    QGridLayout* connectionRows_ = nullptr;
    std::vector<std::string> ports_;  // the serial ports the printer's list holds
    std::optional<bool> askState_;    // n as shown: unset until the operator sets it
};

extern TForm3* Form3;

}  // namespace tandrel::console
