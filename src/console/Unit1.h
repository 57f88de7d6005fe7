#pragma once
// The main window: the operator screen. It holds the state of every subsystem and the
// controls; the subsystems' logic works on that state through narrow interfaces.

#include <QMainWindow>
#include <array>
#include <exception>
#include <string>

#include "console/nastr_file.h"

class QAction;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QWidget;

namespace tandrel::console {

// The settings group of the main window's state: the switches of the settings file.
struct TSettingsState {
    bool ShowKeypad = false;       // h: the keypad panel shown
    bool ShowCorrection = false;   // i: the correction panel shown
    bool PrintLabels = false;      // j: a label for every row
    bool ConsecutiveRows = false;  // k: the next row in order even when it is done
};

// Process-wide strings of the main window's unit, kept in the settings file (Windows-1251).
extern std::string DevicePortName;  // p: the device port (a device path on Linux)
extern std::string DataDir;         // d: where the open dialog starts
extern std::string LabelPortName;   // g: the label printer's port

class TForm1 : public QMainWindow {
    Q_OBJECT

  public:
    // Creates the controls and runs FormCreate.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, under their form names.
    QLabel* Label3 = nullptr;  // info line
    QWidget* Panel1 = nullptr;
    QLineEdit* Edit1 = nullptr;      // position display
    QPushButton* BitBtn2 = nullptr;  // Back
    QPushButton* BitBtn1 = nullptr;  // Start / Next
    QTableView* StringGrid1 = nullptr;
    QWidget* Panel2 = nullptr;  // correction
    QLabel* Label2 = nullptr;
    QPushButton* Button2 = nullptr;  // "+"
    QPushButton* Button1 = nullptr;  // "-"
    QWidget* Panel3 = nullptr;       // keypad
    // BitBtn3 .. BitBtn14, in rows of four: 1 2 3 0 / 4 5 6 * / 7 8 9 #.
    std::array<QPushButton*, 12> Keys{};
    QLabel* Label1 = nullptr;         // mirror of the device keypad entry
    QPlainTextEdit* Memo1 = nullptr;  // label template lines
    QAction* N1 = nullptr;            // "Открыть файл"
    QAction* N4 = nullptr;            // "Настройки"
    QAction* N3 = nullptr;            // "Информация"
    QAction* J1 = nullptr;            // "О программе"
    // Where the program's own notices go (no link, a list not loaded, a label not printed),
    // so that they never overwrite the info line.
    QLabel* StatusLine = nullptr;

    // OpenDialog1's filter, "description|pattern" in Windows-1251.
    static std::string OpenDialogFilter();

    QPushButton* Key(int n) const { return Keys.at(static_cast<std::size_t>(n - 3)); }

    // State, grouped by subsystem.
    TSettingsState Settings;

    // The settings in force, gathered from the controls, the switches and the port names.
    TSettings CurrentSettings() const;
    // The three font sizes (and the grid's row height) of settings.
    void ApplyFonts(const TSettings& settings);
    // Everything of settings; shows or hides the panels.
    void ApplySettings(const TSettings& settings);
    // Shows or hides the keypad and correction panels by the switches.
    void ShowPanels();
    // nastr.dat in the program's directory: applied at the first show, written at close.
    void ReadSettings();
    void WriteSettings();

    // Lifecycle.
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();

    // The application-wide exception handler. Main thread.
    void AppException(std::exception_ptr error);

    // Menu commands.
    void N2Click();
    void N4Click();
    void N3Click();
    void J1Click();

    // The status line: a notice, red when it reports a fault; empty text clears it.
    void ShowStatus(const std::string& cp1251, bool fault);
    std::string StatusText() const;
    bool StatusIsFault() const { return statusFault_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateControls();
    void CreateMenu();
    void DockPositionRow();

    std::array<int, 3> fontPoints_{40, 40, 8};  // info line, position display, grid
    bool shown_ = false;
    bool statusFault_ = false;
};

// The process-wide single instance, created by the program's entry.
extern TForm1* Form1;

}  // namespace tandrel::console
